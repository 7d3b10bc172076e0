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
// the rename it is opened with the key and must answer "ok" to PRAGMA
// integrity_check. Its name is the date and time, the reason and ".备份"
// ("20240715-083000-登录.备份"), so the backup tool lists and restores it.
// On a server database the copy is a data file written from one snapshot of the
// database and then copied and checked the same way: the office always has file
// copies, whichever engine it runs.
//
// The clock may be wrong, so the names do not order the copies: the file
// "自动备份次序.txt" of the data folder lists them in the order they were made, each
// name written there before its copy is renamed into place. Copies it does not list
// (made by an earlier version, or the list was deleted) count as older than every
// listed one, in the order of their names. The newest `keep` good copies stay;
// older ones go once a new good copy is in place.
//
// A copy of a data.dat that fails the check is kept as "…-损坏.备份", reported and
// not counted: it never makes a good copy go. Of those only the newest
// `keepDamaged` stay.
class SafetyCopies {
public:
    static inline const QString folderName = DataFolder::safetyCopyFolderName;
    static inline const QString extension = QStringLiteral(".备份");
    static inline const QString orderFileName = QStringLiteral("自动备份次序.txt");
    static inline const QString damagedMark = QStringLiteral("损坏");
    static constexpr int keep = 30;
    static constexpr int keepDamaged = 3;

    struct Result {
        bool ok = false;
        QString path;      // the new copy
        QString error;     // why no copy counts
        QString damaged;   // the copy of a damaged file, kept but not counted
        QStringList removed;  // older copies deleted after it
    };

    SafetyCopies(Database& db, const QString& dataFolder);

    QString folder() const;
    // The good copies in the folder, oldest first (in the order they were made).
    QStringList copies() const;
    // The copies of a damaged data.dat, oldest first.
    QStringList damagedCopies() const;
    // True when a good copy for `why` was taken on `day` (by the date in its name).
    bool hasCopy(const QDate& day, const QString& why) const;
    // Copies data.dat now; `when` names the copy.
    Result take(const QString& why, const QDateTime& when);

    SafeCopier& copier() { return copier_; }
    // How many good copies stay (tests make it small).
    void setKeep(int count) { keep_ = count; }

private:
    struct Entry {
        QString name;
        bool damaged = false;
    };
    // Every copy in the folder, oldest first.
    QList<Entry> ordered() const;
    QStringList readOrder() const;
    bool writeOrder(const QStringList& names, QString* error) const;

    Database& db_;
    QString dataFolder_;
    SafeCopier copier_;
    int keep_ = keep;
};

// Takes a safety copy before an operation. When the copy fails the operator is
// told why and asked whether to go on; returns whether the operation may start.
bool takeSafetyCopyOrAsk(SafetyCopies& copies, Prompter& prompter, const QString& title, const QString& why,
                         const QDateTime& when);
