#pragma once

#include <QString>

// The folder that holds data.dat, chosen the same way by both programs:
//  1. FENWARY_HOME, when that environment variable is set;
//  2. the program's own folder, when the program may write there (a program run
//     from its build folder or copied into a folder of its own);
//  3. otherwise the per-user folder ~/Fenwary (an installed program, whose folder
//     is a system "bin" folder or not writable).
namespace DataFolder {

inline const QString userFolderName = QStringLiteral("Fenwary");
// The folder of the data folder into which Tallowmere writes its automatic safety
// copies, and which Brisco shows.
inline const QString safetyCopyFolderName = QStringLiteral("自动备份");

// True when folder can hold the data file: a writable folder that is not a "bin"
// folder (root may write to /usr/bin, but data never belongs there).
bool canHoldData(const QString& folder);

// The choice itself, from its inputs.
QString choose(const QString& fenwaryHome, const QString& programFolder, bool programFolderUsable,
               const QString& homePath);

// The choice for this process: FENWARY_HOME, the executable's folder, the home
// folder. The per-user folder is created (0700) when it is chosen and missing.
QString current();

}  // namespace DataFolder
