#pragma once

#include "common/dates.h"
#include "common/fileopener.h"
#include "common/prompter.h"
#include "common/services.h"
#include "store/dataenvironment.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

// The writing operations of the program, each driven through its window on an
// estate folder, and the invariants the estate must keep whatever stops them.

// A running program on an estate folder: the data environment and the services of
// the windows, with a scripted prompter and the fixed clock of the tests.
class Session {
public:
    explicit Session(const QString& folder);
    // On an open database (a server's); `folder` keeps the settings and copies.
    Session(const QString& folder, std::unique_ptr<Database> db);
    ~Session();
    QString folder() const { return folder_; }
    DataEnvironment& env() { return *env_; }
    Services& services() { return *services_; }
    ScriptedPrompter prompter;
    RecordingFileOpener opener;
    FixedClock clock{QDate(2024, 7, 15)};
    AppContext app;

private:
    QString folder_;
    std::unique_ptr<DataEnvironment> env_;
    std::unique_ptr<Services> services_;
};

// How much of the estate an interrupted operation may leave changed.
enum class Atomicity {
    Whole,     // the estate is as before or as after, as a whole
    PerTable,  // every table is as before or as after (several transactions)
    Steps,     // saved step by step; only the invariants hold
};

struct Operation {
    QString name;
    Atomicity atomicity;
    // Texts of boxes that report success; never shown when a write failed.
    QStringList successTexts;
    // Opens the window on the session, scripts the answers, calls arm() just before
    // the writing action, and performs it.
    std::function<void(Session&, const std::function<void()>& arm)> run;
    // True when the session shows that the operation completed.
    std::function<bool(Session&)> completed;
    // Brings the seed estate to where the operation starts (run first, in the same
    // session, without faults); the estate "before" is the one it leaves.
    std::function<void(Session&)> setUp = {};
};

QList<Operation> databaseOperations();
const Operation* findOperation(const QString& name);

// A folder holding a copy of the seed estate: ten households with opening balances,
// paid and unpaid bills with fixed and metered lines, three items, two operators.
QString seedFile();
QHash<QString, double> openingBalances();
void copySeed(const QString& folder);

// Every row of every table, as text, by table.
using Snapshot = QHash<QString, QStringList>;
Snapshot snapshot(Database& db);
// The estate an operation starts from: the seed, after the operation's setUp.
Snapshot snapshotBefore(const Operation& op);

// The invariants of an estate; an empty list when all hold.
//  - PRAGMA integrity_check says ok;
//  - a paid bill has its date, cash and balance, and every line of it is dated;
//  - a household's balance is its opening balance plus cash − charge of its paid bills
//    (not checked after cleanup, which deletes paid bills, nor after a balance typed
//    into the household window);
//  - the books check finds nothing: every balance is the sum of its movements;
//  - no bill or line is left for a door number that has no household, and no line
//    without its bill;
//  - a door number and month has at most one bill.
QStringList invariantFaults(Database& db, bool checkBalances = true);
// The bill the collection operation settles is wholly collected or not at all.
QStringList collectionFaults(Database& db);

// The texts of the inform boxes shown after `from`.
QStringList informsAfter(const ScriptedPrompter& p, int from);
