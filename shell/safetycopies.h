#pragma once

#include "datafiles/datafolder.h"
#include "datafiles/safecopier.h"

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <functional>

class Database;
class Prompter;

// The automatic safety copies of data.dat in the folder "自动备份" of the data
// folder. A copy is taken while no transaction is open, through the same copier
// as the backup tool (temporary file, sync, size and SHA-256 check, rename); before
// the rename it is opened with the key. Its name is the date and time, the reason
// and ".备份" ("20240715-083000-登录.备份"), so the backup tool lists and restores
// it. The newest `keep` copies stay; older ones go once a new copy is in place.
class SafetyCopies {
public:
    static inline const QString folderName = DataFolder::safetyCopyFolderName;
    static inline const QString extension = QStringLiteral(".备份");
    static constexpr int keep = 30;

    struct Result {
        bool ok = false;
        QString path;      // the new copy
        QString error;     // why no copy was made
        QStringList removed;  // older copies deleted after it
    };

    SafetyCopies(Database& db, const QString& dataFolder);

    QString folder() const;
    // The copies in the folder, oldest first (by the date and time in their names).
    QStringList copies() const;
    // True when a copy for `why` was taken on `day`.
    bool hasCopy(const QDate& day, const QString& why) const;
    // Copies data.dat now; `when` names the copy.
    Result take(const QString& why, const QDateTime& when);

    SafeCopier& copier() { return copier_; }

private:
    Database& db_;
    QString dataFolder_;
    SafeCopier copier_;
};

// Takes a safety copy before an operation. When the copy fails the operator is
// told why and asked whether to go on; returns whether the operation may start.
bool takeSafetyCopyOrAsk(SafetyCopies& copies, Prompter& prompter, const QString& title, const QString& why,
                         const QDateTime& when);
