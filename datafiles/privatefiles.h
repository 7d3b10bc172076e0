#pragma once

#include <QFileDevice>
#include <QString>

// The files of the office (data.dat, its copies) are readable by their owner only,
// and so are the folders that hold them, whatever the process's umask. Files and
// folders made by an earlier version keep the permissions they have.
namespace PrivateFiles {

inline constexpr QFileDevice::Permissions fileMode = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
inline constexpr QFileDevice::Permissions folderMode =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;

// Makes folder and the folders above it when missing; the folder itself, when made
// here, gets 0700. False when it does not exist afterwards.
bool makeFolder(const QString& folder);

// Gives a file this program just created the mode 0600. A file system without Unix
// permissions (a FAT memory stick) refuses; the file is kept as it is.
void restrict(const QString& file);

}  // namespace PrivateFiles
