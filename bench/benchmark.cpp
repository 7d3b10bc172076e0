// fenwary_bench [folder] [households months] [--runs R] [--entry K] [--large]
//               [--server "<libpq connection string>"]
//
// The estate: 5,000 households × 36 months in /tmp/fenwary-large, or with --large
// 20,000 households × 120 months in /tmp/fenwary-large-20000x120; the targets are
// those of the estate run.
//
// Opens a generated estate through the program's own classes (offscreen, scripted
// answers, a fixed clock) and times the operator's steps, each as the median of R
// runs; times the bare SQLite statements of the same listings on a connection of
// its own; prints one table. The estate is generated when the folder has none.
// Every step that writes works on a copy of the file.
//
// With --server the same steps run again on a PostgreSQL database the estate is
// moved into (see README.md), and both engines' figures are printed side by side.
#include "accounts/accounts.h"
#include "accounts/accountstatement.h"
#include "accounts/accountswindows.h"
#include "accounts/bookscheck.h"
#include "accounts/daytakings.h"
#include "accounts/ledger.h"
#include "bench/estategenerator.h"

#include "charging/billentrywindow.h"
#include "charging/continuousentry.h"
#include "charging/monthrun.h"
#include "charging/readingimport.h"
#include "charging/readingsheet.h"
#include "charging/readingsheetmodel.h"
#include "charging/readingsheetwindow.h"
#include "charging/singleentry.h"
#include "collection/paymentwindow.h"
#include "collection/receipt.h"
#include "common/dates.h"
#include "common/fileopener.h"
#include "common/gbkfile.h"
#include "common/prompter.h"
#include "maintenance/cleanup.h"
#include "queries/allitemsquery.h"
#include "queries/itemquery.h"
#include "queries/queryexport.h"
#include "records/householdwindow.h"
#include "records/searchwindow.h"
#include "shell/loginwindow.h"
#include "common/services.h"
#include "shell/startup.h"
#include "common/windowregistry.h"
#include "store/criterion.h"
#include "store/database.h"
#include "store/dataenvironment.h"
#include "store/datafile.h"
#include "store/datamove.h"
#include "store/recordset.h"
#include "store/sqlite.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPointer>
#include <QSet>
#include <QTableView>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <libpq-fe.h>
#include <unistd.h>
#include <cstdio>
#include <functional>
#include <malloc.h>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace {

QTextStream out(stdout);
QTextStream err(stderr);

// ---- timing ----------------------------------------------------------------

struct Timing {
    double median = 0;
    double first = 0;
    int runs = 0;
};

// `setup` runs before each run, untimed; `body` is timed.
Timing measure(int runs, const std::function<void(int)>& body, const std::function<void(int)>& setup = {})
{
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        if (setup)
            setup(i);
        QElapsedTimer c;
        c.start();
        body(i);
        ms.push_back(c.nsecsElapsed() / 1e6);
    }
    Timing t;
    t.runs = runs;
    t.first = ms.empty() ? 0 : ms.front();
    std::sort(ms.begin(), ms.end());
    t.median = ms.empty() ? 0 : (ms.size() % 2 ? ms[ms.size() / 2] : (ms[ms.size() / 2 - 1] + ms[ms.size() / 2]) / 2);
    return t;
}

// measure() where `run` holds; no figure otherwise.
std::optional<Timing> measureIf(bool run, int runs, const std::function<void(int)>& body,
                                const std::function<void(int)>& setup = {})
{
    return run ? std::optional<Timing>(measure(runs, body, setup)) : std::nullopt;
}

void settle()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QApplication::processEvents();
    QApplication::processEvents();
}

// ---- bare SQLite ------------------------------------------------------------

using Value = std::variant<std::monostate, qint64, double, QByteArray>;

// A read through an engine's C API alone, every column of every row read out;
// returns the rows.
class BareReads {
public:
    virtual ~BareReads() = default;
    virtual qint64 run(const char* sql, const std::vector<Value>& binds = {}) = 0;
};

// One connection through the sqlite3 C API alone: keyed like the program's, with
// the same page cache, statements prepared once and rebound.
class Bare : public BareReads {
public:
    explicit Bare(const QString& path)
    {
        if (sqlite3_open_v2(path.toUtf8().constData(), &db_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
            fail("open");
        const char* key = Database::Password;
        sqlite3_key(db_, key, int(qstrlen(key)));
        exec("PRAGMA cipher_page_size = 4096; PRAGMA cache_size = -65536; select count(*) from sqlite_master;");
    }
    ~Bare()
    {
        for (auto& s : statements_)
            sqlite3_finalize(s.second);
        sqlite3_close(db_);
    }

    // Gives back the page cache; the statements stay prepared.
    void releaseMemory() { sqlite3_db_release_memory(db_); }
    // The bytes its page cache holds now.
    qint64 cacheBytes() const
    {
        int now = 0, highest = 0;
        sqlite3_db_status(db_, SQLITE_DBSTATUS_CACHE_USED, &now, &highest, 0);
        return now;
    }

    void exec(const char* sql)
    {
        if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
            fail(sql);
    }

    // Steps the statement to its end, reading every column of every row as its type;
    // returns the rows.
    qint64 run(const char* sql, const std::vector<Value>& binds = {}) override
    {
        sqlite3_stmt* st = statement(sql);
        for (size_t i = 0; i < binds.size(); ++i) {
            const int at = int(i) + 1;
            const Value& v = binds[i];
            if (const auto* n = std::get_if<qint64>(&v))
                sqlite3_bind_int64(st, at, *n);
            else if (const auto* d = std::get_if<double>(&v))
                sqlite3_bind_double(st, at, *d);
            else if (const auto* t = std::get_if<QByteArray>(&v))
                sqlite3_bind_text(st, at, t->constData(), int(t->size()), SQLITE_TRANSIENT);
            else
                sqlite3_bind_null(st, at);
        }
        qint64 rows = 0;
        int rc;
        volatile qint64 sink = 0;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            const int n = sqlite3_column_count(st);
            for (int c = 0; c < n; ++c) {
                switch (sqlite3_column_type(st, c)) {
                case SQLITE_INTEGER:
                    sink = sink + sqlite3_column_int64(st, c);
                    break;
                case SQLITE_FLOAT:
                    sink = sink + qint64(sqlite3_column_double(st, c));
                    break;
                case SQLITE_TEXT:
                    sink = sink + qint64(sqlite3_column_text(st, c)[0]) + sqlite3_column_bytes(st, c);
                    break;
                default:
                    break;
                }
            }
            ++rows;
        }
        sqlite3_reset(st);
        sqlite3_clear_bindings(st);
        if (rc != SQLITE_DONE)
            fail(sql);
        return rows;
    }

private:
    sqlite3_stmt* statement(const char* sql)
    {
        for (auto& s : statements_)
            if (s.first == sql)
                return s.second;
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db_, sql, -1, &st, nullptr) != SQLITE_OK)
            fail(sql);
        statements_.push_back({sql, st});
        return st;
    }
    [[noreturn]] void fail(const char* what)
    {
        throw StoreError(sqlite3_errcode(db_), QStringLiteral("bare %1: %2")
                                                   .arg(QString::fromUtf8(what), QString::fromUtf8(sqlite3_errmsg(db_))));
    }

    sqlite3* db_ = nullptr;
    std::vector<std::pair<std::string, sqlite3_stmt*>> statements_;
};

QByteArray u8(const QVariant& v)
{
    return v.toString().toUtf8();
}

// ---- bare libpq ---------------------------------------------------------------

// The words of a libpq connection string (key=value words or a URI) that are set.
QList<std::pair<QString, QString>> conninfoWords(const QString& conninfo)
{
    char* why = nullptr;
    PQconninfoOption* options = PQconninfoParse(conninfo.toUtf8().constData(), &why);
    if (!options) {
        const QString text = why ? QString::fromUtf8(why) : QStringLiteral("out of memory");
        PQfreemem(why);
        throw StoreError(0, QStringLiteral("connection string: %1").arg(text));
    }
    QList<std::pair<QString, QString>> words;
    for (PQconninfoOption* o = options; o->keyword; ++o)
        if (o->val)
            words.append({QString::fromUtf8(o->keyword), QString::fromUtf8(o->val)});
    PQconninfoFree(options);
    return words;
}

QString conninfoWord(const QString& conninfo, const QString& key)
{
    for (const auto& [k, v] : conninfoWords(conninfo))
        if (k == key)
            return v;
    return QString();
}

// The connection string with `key` set to `value`, as key=value words.
QString withWord(const QString& conninfo, const QString& key, const QString& value)
{
    QStringList words;
    const auto word = [&](const QString& k, QString v) {
        v.replace(QLatin1Char('\\'), QStringLiteral("\\\\")).replace(QLatin1Char('\''), QStringLiteral("\\'"));
        words << QStringLiteral("%1='%2'").arg(k, v);
    };
    for (const auto& [k, v] : conninfoWords(conninfo))
        if (k != key)
            word(k, v);
    word(key, value);
    return words.join(QLatin1Char(' '));
}

QString withDatabase(const QString& conninfo, const QString& dbname)
{
    return withWord(conninfo, QStringLiteral("dbname"), dbname);
}

// One connection through libpq alone: each statement sent with PQexecParams, its
// values as text (as the server engine sends them), every cell read with PQgetvalue.
class ServerBare : public BareReads {
public:
    explicit ServerBare(const QString& conninfo) : conn_(PQconnectdb(conninfo.toUtf8().constData()))
    {
        if (PQstatus(conn_) != CONNECTION_OK)
            fail("connect", nullptr);
        PQsetNoticeProcessor(conn_, [](void*, const char*) {}, nullptr);
    }
    ~ServerBare() override { PQfinish(conn_); }

    void exec(const QString& sql)
    {
        PGresult* r = PQexec(conn_, sql.toUtf8().constData());
        const ExecStatusType st = PQresultStatus(r);
        if (st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK)
            fail(sql.toUtf8().constData(), r);
        PQclear(r);
    }

    // `?` placeholders are numbered as the server wants them.
    qint64 run(const char* sql, const std::vector<Value>& binds = {}) override
    {
        QByteArray text;
        int n = 0;
        for (const char* c = sql; *c; ++c)
            if (*c == '?')
                text += '$' + QByteArray::number(++n);
            else
                text += *c;
        std::vector<QByteArray> values(binds.size());
        std::vector<const char*> ptrs(binds.size(), nullptr);
        for (size_t i = 0; i < binds.size(); ++i) {
            const Value& v = binds[i];
            if (const auto* k = std::get_if<qint64>(&v))
                values[i] = QByteArray::number(*k);
            else if (const auto* d = std::get_if<double>(&v))
                values[i] = QByteArray::number(*d, 'g', 17);
            else if (const auto* t = std::get_if<QByteArray>(&v))
                values[i] = *t;
            else
                continue;
            ptrs[i] = values[i].constData();
        }
        PGresult* r = PQexecParams(conn_, text.constData(), int(binds.size()), nullptr, ptrs.data(), nullptr, nullptr, 0);
        if (PQresultStatus(r) != PGRES_TUPLES_OK && PQresultStatus(r) != PGRES_COMMAND_OK)
            fail(sql, r);
        const int rows = PQntuples(r), columns = PQnfields(r);
        volatile qint64 sink = 0;
        for (int row = 0; row < rows; ++row)
            for (int c = 0; c < columns; ++c)
                if (!PQgetisnull(r, row, c))
                    sink = sink + qint64(PQgetvalue(r, row, c)[0]) + PQgetlength(r, row, c);
        PQclear(r);
        return rows;
    }

private:
    [[noreturn]] void fail(const char* what, PGresult* r)
    {
        const QString message = QString::fromUtf8(PQerrorMessage(conn_)).trimmed();
        PQclear(r);
        throw StoreError(0, QStringLiteral("bare libpq %1: %2").arg(QString::fromUtf8(what), message));
    }

    PGconn* conn_;
};

// Scripted answers that also keep the longest wait from an answer (or the start)
// to the next box: what the operator waits for between two prompts.
class TimedPrompter : public ScriptedPrompter {
public:
    void startClock()
    {
        clock_.start();
        longest_ = 0;
    }
    void lap()
    {
        if (clock_.isValid())
            longest_ = std::max(longest_, clock_.nsecsElapsed() / 1e6);
    }
    double longest() const { return longest_; }

    void inform(const QString& text, const QString& title, Icon icon = Icon::Information) override
    {
        lap();
        ScriptedPrompter::inform(text, title, icon);
        restart();
    }
    bool askYesNo(const QString& text, const QString& title, Default preset = Default::Accept,
                  Icon icon = Icon::Question) override
    {
        lap();
        const bool a = ScriptedPrompter::askYesNo(text, title, preset, icon);
        restart();
        return a;
    }
    bool askOkCancel(const QString& text, const QString& title, Default preset = Default::Accept,
                     Icon icon = Icon::Question) override
    {
        lap();
        const bool a = ScriptedPrompter::askOkCancel(text, title, preset, icon);
        restart();
        return a;
    }
    std::optional<QString> input(const QString& prompt, const QString& title, const QString& offered) override
    {
        lap();
        std::optional<QString> a = ScriptedPrompter::input(prompt, title, offered);
        restart();
        return a;
    }

private:
    void restart()
    {
        if (clock_.isValid())
            clock_.restart();
    }
    QElapsedTimer clock_;
    double longest_ = 0;
};

// ---- the table ---------------------------------------------------------------

struct Line {
    QString step;
    Timing t;
    std::optional<Timing> bare;
    double targetMs = 0;            // 0: no time target
    double targetRatio = 0;         // 0: no ratio target
    QString note;
};

QString ms(double v)
{
    return v >= 100 ? QString::number(v, 'f', 0) : QString::number(v, 'f', v >= 10 ? 1 : 2);
}

// VmHWM, the peak resident memory since the process began or since the last
// resetPeak().
qint64 vmHwmKb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return 0;
}

qint64 highestKb = 0;  // the peak before the last reset

// The peak of the whole run so far.
qint64 peakKb()
{
    return std::max(highestKb, vmHwmKb());
}

// Starts VmHWM again from the memory resident now; returns the peak it held.
qint64 resetPeak()
{
    const qint64 kb = vmHwmKb();
    highestKb = std::max(highestKb, kb);
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
    return kb;
}

// The table's lines; each is also reported on stderr as it is measured, so that
// an interrupted run keeps its figures, with the peak resident memory since the
// line before.
class Lines : public QList<Line> {
public:
    void append(Line l)
    {
        err << l.step << ": " << ms(l.t.median) << (l.bare ? QStringLiteral(" (bare %1)").arg(ms(l.bare->median)) : QString())
            << "; peak since the last line " << resetPeak() / 1024 << " MB\n";
        err.flush();
        QList<Line>::append(std::move(l));
    }
};
Lines lines;

// The targets of one estate; 0: none.
struct Targets {
    double start;          // to the ready log-in window, ms
    double loginCheck;     // the books check of a log-in, ms
    double windowOpen;     // household, bill entry and payment window, ms each
    double nextHousehold;  // the payment window's next household, ms
    double collection;     // one collection with its refresh, ms
    double answerWait;     // single entry's longest wait after an answer, ms
    double perHousehold;   // continuous entry, ms per household
    double queryRatio;     // the 12-month listings, × bare
    double runMs;          // the month's run, ms
    double runRatio;       // the month's run, × bare
    double sheet;          // the reading sheet of the whole estate opens, ms
    double memoryMb;       // peak resident memory of the whole run
};
constexpr Targets defaultTargets{30, 20, 16, 5, 10, 8, 10, 1.5, 0, 1.3, 100, 200};
constexpr Targets largeTargets{50, 50, 30, 8, 16, 16, 16, 1.5, 10000, 1.5, 400, 300};

Line& add(const QString& step, Timing t, double targetMs, const QString& note = QString())
{
    lines.append({step, t, std::nullopt, targetMs, 0, note});
    return lines.last();
}

bool printTable()
{
    bool all = true;
    out << "\n| Step | Runs | Median ms | First ms | Bare ms | Ratio | Target | Met | Note |\n";
    out << "|---|---:|---:|---:|---:|---:|---|---|---|\n";
    for (const Line& l : std::as_const(lines)) {
        QString target;
        bool met = true;
        if (l.targetMs > 0) {
            target = QStringLiteral("≤ %1 %2").arg(l.targetMs).arg(l.step.endsWith(QLatin1String("MB")) ? "MB" : "ms");
            met = met && l.t.median <= l.targetMs;
        }
        QString ratio;
        if (l.bare) {
            const double r = l.bare->median > 0 ? l.t.median / l.bare->median : 0;
            ratio = QString::number(r, 'f', 2) + QStringLiteral("×");
            if (l.targetRatio > 0) {
                target += (target.isEmpty() ? QString() : QStringLiteral(", ")) + QStringLiteral("≤ %1×").arg(l.targetRatio);
                met = met && r <= l.targetRatio;
            }
        }
        all = all && met;
        out << "| " << l.step << " | " << l.t.runs << " | " << ms(l.t.median) << " | " << ms(l.t.first) << " | "
            << (l.bare ? ms(l.bare->median) : QStringLiteral("")) << " | " << ratio << " | " << target << " | "
            << (target.isEmpty() ? QStringLiteral("") : met ? QStringLiteral("yes") : QStringLiteral("NO")) << " | "
            << l.note << " |\n";
    }
    out.flush();
    return all;
}

// ---- helpers -------------------------------------------------------------------

QString copyEstate(const QString& from, const QString& folder)
{
    QDir().mkpath(folder);
    const QString to = DataFile::path(folder);
    QFile::remove(to);
    if (!QFile::copy(DataFile::path(from), to))
        throw StoreError(0, QStringLiteral("cannot copy the estate to %1").arg(to));
    // The copy's dirty pages would otherwise be written back during the next
    // commits and be counted as theirs.
    ::sync();
    return folder;
}

// The working copies of the estate, each made afresh from the estate as generated:
// files copied from its data.dat, or databases on the server made from the one the
// estate was moved into (CREATE DATABASE ... TEMPLATE; nothing may be connected to it
// meanwhile). Each copy has a data folder for its reports.
class Copies {
public:
    explicit Copies(const QString& work) : work_(work) {}
    virtual ~Copies() = default;
    virtual bool onServer() const = 0;
    // Makes the copy `name` (ASCII letters and digits) afresh; returns its data folder.
    virtual QString make(const QString& name) = 0;
    // Opens the copy as the program opens its data.
    virtual std::unique_ptr<Database> open(const QString& name) = 0;
    // Removes the copy; nothing may hold it open.
    virtual void remove(const QString& name) = 0;
    // The copy's connection string (empty for a file).
    virtual QString conninfo(const QString& name) const = 0;

protected:
    QString folder(const QString& name) const { return work_ + QLatin1Char('/') + name; }

private:
    QString work_;
};

class FileCopies : public Copies {
public:
    FileCopies(const QString& estate, const QString& work) : Copies(work), estate_(estate) {}
    bool onServer() const override { return false; }
    QString make(const QString& name) override { return copyEstate(estate_, folder(name)); }
    std::unique_ptr<Database> open(const QString& name) override
    {
        return DataFile::openExisting(DataFile::path(folder(name)));
    }
    void remove(const QString& name) override { DataFile::removeWithLogs(DataFile::path(folder(name))); }
    QString conninfo(const QString&) const override { return QString(); }

private:
    QString estate_;
};

class ServerCopies : public Copies {
public:
    // `conninfo` names the database that holds the estate; the copies are made beside
    // it, named after it, through a connection to the server's "postgres" database.
    ServerCopies(const QString& conninfo, const QString& work)
        : Copies(work), conninfo_(conninfo), admin_(withDatabase(conninfo, QStringLiteral("postgres")))
    {
        estate_ = conninfoWord(conninfo, QStringLiteral("dbname"));
        if (estate_.isEmpty())
            estate_ = QString::fromUtf8(qgetenv("PGDATABASE"));
        if (estate_.isEmpty())
            throw StoreError(0, QStringLiteral("--server: the connection string names no database (dbname)"));
    }
    ~ServerCopies() override
    {
        for (const QString& name : std::as_const(made_))
            try {
                admin_.exec(QStringLiteral("drop database if exists %1 with (force)").arg(quoted(name)));
            } catch (const StoreError& e) {
                err << e.message() << "\n";
            }
    }
    bool onServer() const override { return true; }
    QString make(const QString& name) override
    {
        const QString db = quoted(name);
        admin_.exec(QStringLiteral("drop database if exists %1 with (force)").arg(db));
        admin_.exec(QStringLiteral("create database %1 template %2 strategy file_copy").arg(db, quoted(QString())));
        if (!made_.contains(name))
            made_ << name;
        QDir().mkpath(folder(name));
        return folder(name);
    }
    std::unique_ptr<Database> open(const QString& name) override { return DataFile::openServer(conninfo(name)); }
    void remove(const QString& name) override
    {
        admin_.exec(QStringLiteral("drop database if exists %1 with (force)").arg(quoted(name)));
        made_.removeAll(name);
    }
    QString conninfo(const QString& name) const override { return withDatabase(conninfo_, database(name)); }

private:
    QString database(const QString& name) const { return name.isEmpty() ? estate_ : estate_ + QLatin1Char('_') + name; }
    QString quoted(const QString& name) const
    {
        return QLatin1Char('"') + database(name).replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
    }

    QString conninfo_;
    ServerBare admin_;
    QString estate_;
    QStringList made_;
};

QString nextMonth(const QString& month)
{
    const QDate d = QDate(month.left(4).toInt(), month.mid(4, 2).toInt(), 1).addMonths(1);
    return monthKey(d);
}

struct ItemKinds {
    QList<bool> computed, metered;
};

// The items in the order single entry visits them.
ItemKinds itemKinds(DataEnvironment& env)
{
    RecordSet& items = env.rs项目();
    items.open();
    ItemKinds k;
    for (int i = 0; i < items.count(); ++i) {
        k.computed << Criterion::valueIsTrue(items.valueAt(i, QStringLiteral("计算标志")));
        k.metered << Criterion::valueIsTrue(items.valueAt(i, QStringLiteral("项目标志")));
    }
    return k;
}

// The answers of one single entry into a new month: a reading above every earlier
// one, a price, an amount.
void queueEntry(ScriptedPrompter& p, const ItemKinds& k)
{
    for (int i = 0; i < k.computed.size(); ++i) {
        if (k.computed[i]) {
            p.type(k.metered[i] ? QStringLiteral("999999") : QStringLiteral("3"));
            p.type(QStringLiteral("1.5"));
        } else {
            p.type(QStringLiteral("30"));
        }
    }
}

bool checkScript(ScriptedPrompter& p, const QString& step)
{
    const bool ok = p.pending() == 0 && p.unanswered() == 0;
    if (!ok) {
        err << "warning: " << step << ": " << p.pending() << " answers left, " << p.unanswered()
            << " boxes unanswered; last box: " << (p.boxes().isEmpty() ? QString() : p.boxes().last().text) << "\n";
        err.flush();
    }
    p.clear();
    return ok;
}

template <typename W>
void closeWindow(QPointer<W>& w)
{
    if (!w)
        return;
    w->close();
    settle();
    delete w.data();
    settle();
}

}  // namespace

// The server plans a statement by the statistics of its tables; a bulk write leaves
// them out of date until autovacuum comes round, which the steps of an office
// whose tables grew day by day never see: they are read again at once.
void refreshStatistics(Database& db)
{
    if (db.engine() == Database::Engine::Server)
        db.execScript(QStringLiteral("analyze"));
}

// The estate's history in the ledger, as if every paid bill had been collected through
// it: one 收款 per paid bill on its payment date, and opening balances such that every
// household's movements sum to its balance.
void fillLedger(Database& db)
{
    Ledger::ensure(db);
    Transaction tx(db);
    db.exec(QStringLiteral("delete from 账户流水"));
    db.exec(QStringLiteral(
        "insert into 账户流水 (门牌号, 时间, 操作员, 类别, 金额, 余额, 账单ID, 月份, 实收现金, 收据号, 说明) "
        "select 门牌号, coalesce(缴费时间, '2023-12-31') || ' 10:00:00', "
        "case when ID % 2 = 0 then '管理员' else '收费员' end, '收款', "
        "coalesce(实缴金额, 0) - coalesce(收费金额, 0), 账户余额, ID, 月份, 实缴金额, ID, '' "
        "from 缴费历史 where coalesce(缴费标志, 0) <> 0 order by 缴费时间, ID"));
    db.exec(QStringLiteral(
        "insert into 账户流水 (门牌号, 时间, 操作员, 类别, 金额, 余额, 说明) "
        "select h.门牌号, '2023-12-31 09:00:00', '管理员', '期初', coalesce(h.账户余额, 0) - "
        "coalesce((select sum(m.金额) from 账户流水 m where m.门牌号 = h.门牌号), 0), 0, '' from 档案库 h"));
    db.exec(QStringLiteral("update 账务参数 set 值 = (select max(收据号) from 账户流水) where 名称 = '收据号'"));
    tx.commit();
    refreshStatistics(db);
}

// ---- books check at log-in (its own copy) ---------------------------------------------
// On a fresh copy with its ledger filled: the full check (what the log-in ran before the
// mark), then the check since the mark with nothing changed and with 200 collections
// made since. The figure is on a connection opened anew before each run, as at a
// log-in; the note gives the median on the connection that is already open.
void measureBooksCheckAtLogIn(Copies& copies, int runs, double targetMs)
{
    const QString name = QStringLiteral("books");
    copies.make(name);
    std::unique_ptr<Database> db = copies.open(name);
    fillLedger(*db);
    const auto reopen = [&] {
        db.reset();
        db = copies.open(name);
    };
    int found = -1;
    const Timing tFull = measure(runs, [&](int) { found = int(BooksCheck::run(*db).size()); }, [&](int) { reopen(); });
    add(QStringLiteral("Books check at log-in, before: the full check"), tFull, 0,
        QStringLiteral("%1 mismatches").arg(found));
    BooksCheck::runAndMark(*db);
    BooksCheck::Scope scope = BooksCheck::Scope::Full;
    bool sinceMark = true;
    const auto check = [&](int) {
        found = int(BooksCheck::atLogIn(*db, &scope).size());
        sinceMark = sinceMark && scope == BooksCheck::Scope::SinceMark;
    };
    const auto addStep = [&](const QString& step, const Timing& fresh, const Timing& open) {
        add(step, fresh, targetMs,
            QStringLiteral("%1 mismatches, %2; %3 ms on the open connection")
                .arg(found)
                .arg(sinceMark ? QStringLiteral("since the mark") : QStringLiteral("FULL CHECK RAN"))
                .arg(open.median, 0, 'f', 2));
    };
    const Timing noneFresh = measure(runs, check, [&](int) { reopen(); });
    const Timing noneOpen = measure(runs, check);
    addStep(QStringLiteral("Books check at log-in, nothing changed since the mark"), noneFresh, noneOpen);

    const QList<QVariantList> unpaid = db->query(
        QStringLiteral("select ID, 门牌号, 月份, 收费金额 from 缴费历史 where coalesce(缴费标志, 0) = 0 order by ID limit ?"),
        {runs * 400});
    int batch = 0;
    const auto collect200 = [&] {
        Ledger ledger(*db, QStringLiteral("收费员"), QDateTime(QDate(2024, 7, 15), QTime(10, 0)));
        for (const QVariantList& b : unpaid.mid(batch++ * 200, 200)) {
            Transaction t(*db);
            Ledger::Movement m;
            m.door = b[1].toString();
            m.kind = LedgerKind::collection();
            m.cash = b[3].toDouble();
            m.billId = b[0];
            m.month = b[2];
            const double after = ledger.post(m);
            db->exec(QStringLiteral("update 缴费历史 set 缴费标志 = 1, 实缴金额 = ?, 账户余额 = ?, "
                                    "缴费时间 = '2024-07-15' where ID = ?"),
                     {b[3], after, b[0]});
            t.commit();
        }
    };
    const Timing someFresh = measure(runs, check, [&](int) {
        collect200();
        reopen();
    });
    const Timing someOpen = measure(runs, check, [&](int) { collect200(); });
    addStep(QStringLiteral("Books check at log-in, 200 collections since the mark"), someFresh, someOpen);
    db.reset();
    copies.remove(name);
}

// What the steps of one engine's run are given.
struct Bench {
    int runs;
    const Targets& target;
    bool large;
    int entryLimit;
    QString work;  // a temporary folder
};

// The targets on the server: every interactive step (a target of at most 100 ms on
// the file) within 30 ms or 2× the file's median, whichever is larger; the month's
// run within 5 s; the 12-month listings within 2× the same statements through bare
// libpq; the other steps keep the file's target.
struct ServerTarget {
    double ms = 0;
    double ratio = 0;  // × the bare libpq figure
};

ServerTarget serverTarget(const Line& file)
{
    if (file.step.startsWith(QLatin1String("Month's run")))
        return {5000, 0};
    if (file.step.startsWith(QLatin1String("Item query")) || file.step.startsWith(QLatin1String("All-items query")))
        return {0, 2};
    if (file.step.endsWith(QLatin1String("MB")) || file.targetMs <= 0)
        return {};
    if (file.targetMs > 100)
        return {file.targetMs, 0};
    return {std::max(30.0, 2 * file.t.median), 0};
}

// Both engines' figures, step by step; true when the server meets its targets.
bool printSideBySide(const QList<Line>& file, const QList<Line>& server)
{
    bool all = true;
    out << "\nFile and server side by side (server targets)\n\n"
           "| Step | Runs | File ms | Server ms | Server ÷ file | File bare ms | Server bare ms | Server ÷ bare "
           "| Server target | Met | Server note |\n"
           "|---|---:|---:|---:|---:|---:|---:|---:|---|---|---|\n";
    for (qsizetype i = 0; i < std::max(file.size(), server.size()); ++i) {
        if (i >= file.size() || i >= server.size() || file[i].step != server[i].step) {
            out << "| (steps differ: " << (i < file.size() ? file[i].step : QString()) << " / "
                << (i < server.size() ? server[i].step : QString()) << ") |\n";
            all = false;
            continue;
        }
        const Line& f = file[i];
        const Line& s = server[i];
        const ServerTarget st = serverTarget(f);
        QString target;
        bool met = true;
        if (st.ms > 0) {
            target = QStringLiteral("≤ %1 ms").arg(ms(st.ms));
            met = s.t.median <= st.ms;
        }
        QString bareRatio;
        if (s.bare && s.bare->median > 0) {
            const double r = s.t.median / s.bare->median;
            bareRatio = QString::number(r, 'f', 2) + QStringLiteral("×");
            if (st.ratio > 0) {
                target = QStringLiteral("≤ %1× bare").arg(st.ratio);
                met = r <= st.ratio;
            }
        } else if (st.ratio > 0) {
            target = QStringLiteral("≤ %1× bare").arg(st.ratio);
            met = false;
        }
        all = all && met;
        const QString ratio =
            f.t.median > 0 ? QString::number(s.t.median / f.t.median, 'f', 2) + QStringLiteral("×") : QString();
        out << "| " << s.step << " | " << s.t.runs << " | " << ms(f.t.median) << " | " << ms(s.t.median) << " | "
            << ratio << " | " << (f.bare ? ms(f.bare->median) : QString()) << " | "
            << (s.bare ? ms(s.bare->median) : QString()) << " | " << bareRatio << " | " << target << " | "
            << (target.isEmpty() ? QString() : met ? QStringLiteral("yes") : QStringLiteral("NO")) << " | " << s.note
            << " |\n";
    }
    out.flush();
    return all;
}

// Every step on one engine: the working copies of the estate come from `copies`.
void runSteps(Copies& copies, const Bench& bench)
{
    const int runs = bench.runs;
    const Targets& target = bench.target;
    const bool large = bench.large;
    const int entryLimit = bench.entryLimit;
    const bool server = copies.onServer();
    const QString estate = copies.make(QStringLiteral("main"));

    TimedPrompter prompter;
    FixedClock clock{QDate(2024, 7, 15)};
    AppContext appContext;
    RecordingFileOpener opener;
    WindowRegistry registry;

    // Start to a ready log-in window: lock, open and key the file, check its
    // tables, the data environment, the log-in window shown and painted. On the
    // server: connect, check the tables, the data environment and the log-in window
    // as the start-up builds them.
    std::unique_ptr<Startup> startup;
    std::unique_ptr<DataEnvironment> serverEnv;
    std::unique_ptr<Services> serverServices;
    QPointer<LoginWindow> serverLogin;
    const auto endServerStart = [&] {
        delete serverLogin.data();
        serverServices.reset();
        serverEnv.reset();
    };
    const Timing tStart = measure(
        runs,
        [&](int) {
            if (server) {
                serverEnv = std::make_unique<DataEnvironment>(copies.open(QStringLiteral("main")), estate);
                Accounts::install(*serverEnv, appContext, clock);
                serverServices.reset(new Services{*serverEnv, prompter, appContext, opener, clock});
                serverLogin = new LoginWindow(*serverServices);
                serverLogin->show();
            } else {
                startup = std::make_unique<Startup>(estate, registry, prompter, appContext, opener, clock);
                if (!startup->run() || !startup->loginWindow())
                    throw StoreError(0, QStringLiteral("start-up failed: ") + prompter.texts().join(" / "));
            }
            settle();
        },
        [&](int) {
            startup.reset();
            endServerStart();
            settle();
        });
    add(QStringLiteral("Start to ready log-in window (key derivation included)"), tStart, target.start,
        server ? QStringLiteral("connection, table checks, data environment, log-in window shown") : QString());
    checkScript(prompter, QStringLiteral("start"));

    Services& sv = server ? *serverServices : *startup->services();
    DataEnvironment& env = server ? *serverEnv : *startup->data();
    Database& db = env.db();
    // The bare statements: sqlite3 on the file, libpq on the server; the bare
    // writes run on the file only.
    std::unique_ptr<Bare> fileBare = server ? nullptr : std::make_unique<Bare>(DataFile::path(estate));
    std::unique_ptr<ServerBare> serverBare =
        server ? std::make_unique<ServerBare>(copies.conninfo(QStringLiteral("main"))) : nullptr;
    BareReads& reads = server ? static_cast<BareReads&>(*serverBare) : *fileBare;

    const QList<QVariantList> info = db.query(QStringLiteral(
        "select (select count(*) from 档案库), (select count(*) from 缴费历史), (select count(*) from 收费1), "
        "(select count(*) from 收费2), (select min(月份) from 缴费历史), (select max(月份) from 缴费历史)"));
    const qint64 nHouseholds = info[0][0].toLongLong();
    const QString firstMonth = info[0][4].toString(), lastMonth = info[0][5].toString();
    out << (server ? QStringLiteral("server ") + copies.conninfo(QStringLiteral("main")) : QStringLiteral("estate ") + DataFile::path(estate))
        << ": " << nHouseholds << " households, " << info[0][1].toLongLong()
        << " bills, " << info[0][2].toLongLong() << " + " << info[0][3].toLongLong() << " lines, months "
        << firstMonth << ".." << lastMonth << "; " << runs << " runs per step; targets of the "
        << (large ? "large" : "default") << " estate\n";
    out.flush();
    {
        QElapsedTimer t;
        t.start();
        fillLedger(db);
        out << "ledger: " << db.scalar(QStringLiteral("select count(*) from 账户流水")).toLongLong()
            << " movements written in " << t.elapsed() << " ms\n";
        out.flush();
        // The ledger's writing is the benchmark's, not a step: its sort's memory is
        // given back and the run's peak counted from here.
        malloc_trim(0);
        resetPeak();
        highestKb = 0;
    }
    const ItemKinds kinds = itemKinds(env);
    const QString entryMonth = nextMonth(lastMonth);
    // The last twelve months (the listings) and the first twelve (the cleanup).
    const QStringList months = Cleanup(env).months();
    const QString listFirst = months.value(std::max<qsizetype>(0, months.size() - 12)), listLast = months.last();
    const QString cleanFirst = months.first(), cleanLast = months.value(std::min<qsizetype>(11, months.size() - 1));

    // ---- household window --------------------------------------------------
    RecordSet& households = env.rs档案();
    QPointer<HouseholdWindow> hw;
    const Timing tHwOpen = measure(
        runs,
        [&](int) {
            hw = new HouseholdWindow(sv);
            hw->show();
            settle();
        },
        [&](int) {
            closeWindow(hw);
            households.requery();  // each open reads the households afresh
        });
    const Timing bHwOpen = measure(runs, [&](int) { reads.run("select * from 档案库 order by ID"); });
    lines.append({QStringLiteral("Household window open"), tHwOpen, bHwOpen, target.windowOpen, 0,
                  QStringLiteral("%1 households read and shown").arg(nHouseholds)});

    // Search by name: a name from four fifths down the list.
    const QString searchName =
        db.scalar(QStringLiteral("select 户名 from 档案库 order by ID limit 1 offset ?"), {nHouseholds * 4 / 5})
            .toString();
    auto* sw = new SearchWindow(sv);
    sw->show();
    settle();
    sw->textBox()->setText(searchName);
    qint64 foundAt = -1;
    const Timing tSearch = measure(
        runs,
        [&](int) {
            sw->startSearch();
            settle();
            foundAt = households.position();
        },
        [&](int) {
            households.moveFirst();
            settle();
        });
    const QByteArray nameU8 = searchName.toUtf8();
    const char* bareSearch = server ? "select ID from 档案库 where strpos(户名, ?) > 0 order by ID limit 1"
                                    : "select ID from 档案库 where instr(户名, ?) > 0 order by ID limit 1";
    const Timing bSearch = measure(runs, [&](int) { reads.run(bareSearch, {nameU8}); });
    lines.append({QStringLiteral("Search by name"), tSearch, bSearch, 50, 0,
                  QStringLiteral("\"%1\", found at row %2").arg(searchName).arg(foundAt + 1)});
    sw->close();
    delete sw;
    settle();
    checkScript(prompter, QStringLiteral("search"));

    const Timing tHwExport = measure(runs, [&](int) {
        hw->exportHouseholds();
        settle();
    });
    const Timing bHwExport = measure(
        runs, [&](int) { reads.run("select 门牌号, 户名, 联系电话, 单位, 其他信息 from 档案库 order by ID"); });
    lines.append({QStringLiteral("Export of all households (档案明细.txt)"), tHwExport, bHwExport, 1000, 0,
                  QStringLiteral("GBK file written")});
    checkScript(prompter, QStringLiteral("household export"));
    closeWindow(hw);

    // ---- bill entry window ---------------------------------------------------------
    {
        QPointer<BillEntryWindow> bw;
        const Timing tBwOpen = measure(
            runs,
            [&](int) {
                bw = new BillEntryWindow(sv);
                bw->show();
                settle();
            },
            [&](int) { closeWindow(bw); });
        add(QStringLiteral("Bill entry window open"), tBwOpen, target.windowOpen,
            QStringLiteral("%1 households").arg(bw->households()->count()));
        checkScript(prompter, QStringLiteral("bill entry window"));
        closeWindow(bw);
    }

    // ---- single entry ----------------------------------------------------------
    {
        QPointer<BillEntryWindow> bw = new BillEntryWindow(sv);
        bw->show();
        settle();
        RecordSet& own = *bw->households();
        std::vector<double> waits;
        const Timing tSingle = measure(
            runs,
            [&](int) {
                prompter.startClock();
                bw->singleEntry();
                settle();
                prompter.lap();
                waits.push_back(prompter.longest());
            },
            [&](int i) {
                const QString door = own.valueAt(int((i * 997 + 13) % own.count()), QStringLiteral("门牌号")).toString();
                bw->monthBox()->setText(entryMonth);
                bw->doorBox()->setText(door);
                bw->showBill();
                settle();
                prompter.clear();
                queueEntry(prompter, kinds);
            });
        // The same writes and reads through bare statements, each write committed on its own.
        bool oneTransaction = false;
        const auto bareEntry = [&](int i) {
            Bare& bare = *fileBare;
            const QByteArray door =
                u8(own.valueAt(int((i * 997 + (oneTransaction ? 733 : 511)) % own.count()), QStringLiteral("门牌号")));
            if (oneTransaction)
                bare.exec("BEGIN IMMEDIATE");
            const QByteArray month = entryMonth.toUtf8();
            bare.run("select ID, 缴费标志, 收费金额 from 缴费历史 where 门牌号 = ? and 月份 = ? order by ID limit 1",
                     {door, month});
            bare.run("insert into 缴费历史 (门牌号, 月份, 实缴金额, 收费金额, 其他说明, 缴费标志) values (?, ?, 0, 0, '', 0)",
                     {door, month});
            for (int k = 0; k < kinds.computed.size(); ++k) {
                const QByteArray no = QByteArray::number(k + 1).rightJustified(2, '0');
                if (kinds.computed[k]) {
                    bare.run("select ID from 收费2 where 门牌号 = ? and 月份 = ? and +项目号 = ? order by ID limit 1",
                             {door, month, no});
                    if (kinds.metered[k])
                        bare.run("select 本月数 from 收费2 where 门牌号 = ? and +项目号 = ? and 月份 < ? "
                                 "order by 月份 desc limit 1",
                                 {door, no, month});
                    bare.run("insert into 收费2 (门牌号, 月份, 项目号, 项目名, 上月数, 本月数, 单价, 收费金额) "
                             "values (?, ?, ?, 'x', 0, 1, 1.5, 1.5)",
                             {door, month, no});
                } else {
                    bare.run("select ID from 收费1 where 门牌号 = ? and 月份 = ? and +项目号 = ? order by ID limit 1",
                             {door, month, no});
                    bare.run("insert into 收费1 (门牌号, 月份, 项目号, 项目名, 收费金额) values (?, ?, ?, 'x', 30)",
                             {door, month, no});
                }
            }
            bare.run("update 缴费历史 set 收费金额 = 1 where 门牌号 = ? and 月份 = ?", {door, month});
            if (oneTransaction)
                bare.exec("COMMIT");
        };
        const std::optional<Timing> bSingle = measureIf(fileBare != nullptr, runs, bareEntry);
        oneTransaction = true;
        const std::optional<Timing> bSingleOne = measureIf(fileBare != nullptr, runs, bareEntry);
        std::sort(waits.begin(), waits.end());
        lines.append({QStringLiteral("Single entry (scripted answers, new month %1)").arg(entryMonth), tSingle,
                      bSingle, 50, 0,
                      QStringLiteral("%1 items, every row committed at its step; bill and lines shown after")
                              .arg(kinds.computed.size()) +
                          (bSingleOne ? QStringLiteral("; bare writes in one transaction: %1 ms").arg(ms(bSingleOne->median))
                                      : QString())});
        add(QStringLiteral("  of which the longest wait after one answer"),
            Timing{waits.empty() ? 0 : waits[waits.size() / 2], waits.empty() ? 0 : waits.front(), runs},
            target.answerWait);
        checkScript(prompter, QStringLiteral("single entry"));
        closeWindow(bw);
    }

    // ---- payment window ------------------------------------------------------------
    QPointer<PaymentWindow> pw;
    const Timing tPwOpen = measure(
        runs,
        [&](int) {
            pw = new PaymentWindow(sv);
            pw->setReceiptSink([](const ReceiptData&) {});
            pw->show();
            settle();
        },
        [&](int) {
            closeWindow(pw);
            households.moveFirst();
        });
    add(QStringLiteral("Payment window open"), tPwOpen, target.windowOpen);
    checkScript(prompter, QStringLiteral("payment window"));

    int moveFrom = std::max(0, int(households.count() / 2));
    const Timing tMove = measure(
        runs * 4,
        [&](int) {
            households.moveNext();
            settle();
        },
        [&](int i) {
            households.moveTo(moveFrom + 2 * i);
            settle();
        });
    // The same households through the bare statements; the first bill (by ID) is the one whose lines show.
    std::vector<std::pair<QByteArray, QByteArray>> moveKeys;
    for (int i = 0; i < runs * 4; ++i) {
        const QVariant door = households.valueAt(moveFrom + 2 * i + 1, QStringLiteral("门牌号"));
        moveKeys.push_back({u8(door), u8(db.scalar(QStringLiteral("select 月份 from 缴费历史 where 门牌号 = ? "
                                                                 "order by ID limit 1"),
                                                  {door}))});
    }
    const Timing bMove = measure(runs * 4, [&](int i) {
        const auto& [door, month] = moveKeys[size_t(i)];
        reads.run("select * from 缴费历史 where 门牌号=? order by ID, 月份 desc", {door});
        reads.run("select * from 收费1 where 门牌号=? and 月份=? order by ID, 项目号", {door, month});
        reads.run("select * from 收费2 where 门牌号=? and 月份=? order by ID, 项目号", {door, month});
    });
    checkScript(prompter, QStringLiteral("household move"));

    // ---- collection -------------------------------------------------------------------
    // Unpaid bills of households that owe little and hold no credit: the dialogue is
    // confirm, cash, print.
    // One bill per household: the timed collections, the bare ones, then the
    // batches before the books check.
    QList<QVariantList> unpaid;
    {
        QSet<QString> seen;
        for (QVariantList& b : db.query(QStringLiteral(
                 "select b.ID, b.门牌号, b.收费金额 from 缴费历史 b join 档案库 h on h.门牌号 = b.门牌号 "
                 "where coalesce(b.缴费标志, 0) = 0 and coalesce(h.账户余额, 0) between -1 and 0.5 "
                 "order by b.ID")))
            if (!seen.contains(b[1].toString())) {
                seen.insert(b[1].toString());
                unpaid.append(std::move(b));
            }
    }
    if (unpaid.size() < runs * 2)
        throw StoreError(0, QStringLiteral("too few unpaid bills for the collection runs"));
    RecordSet& bills = env.rs缴费历史();
    bool collectedAll = true;
    // The household and bill made current, the dialogue's answers queued.
    const auto prepareCollection = [&](const QVariantList& b) {
        households.find(Criterion::equals(QStringLiteral("门牌号"), b[1]), RecordSet::Direction::Forward,
                        RecordSet::Start::First);
        settle();
        bills.moveToBookmark(b[0].toLongLong());
        settle();
        prompter.clear();
        prompter.yes();
        prompter.type(QString::number(b[2].toDouble(), 'f', 2));
        prompter.no();
    };
    const Timing tCollect = measure(
        runs,
        [&](int i) {
            pw->collect();
            settle();
            collectedAll = collectedAll && Criterion::valueIsTrue(bills.value(QStringLiteral("缴费标志"))) &&
                           bills.bookmark() == unpaid[i][0].toLongLong();
        },
        [&](int i) { prepareCollection(unpaid[i]); });
    checkScript(prompter, QStringLiteral("collection"));

    const std::optional<Timing> bCollect = measureIf(fileBare != nullptr, runs, [&](int j) {
        Bare& bare = *fileBare;
        const QVariantList& b = unpaid[runs + j];
        const QByteArray door = u8(b[1]);
        const QByteArray today = "2024-07-15";
        bare.exec("BEGIN IMMEDIATE");
        bare.run("update 缴费历史 set 实缴金额 = ?, 账户余额 = ?, 缴费标志 = 1, 缴费时间 = ? where ID = ?",
                 {b[2].toDouble(), 0.0, today, b[0].toLongLong()});
        bare.run("update 档案库 set 账户余额 = ? where 门牌号 = ?", {0.0, door});
        bare.run("update 收费1 set 缴费时间 = ? where 门牌号 = ? and 月份 = (select 月份 from 缴费历史 where ID = ?)",
                 {today, door, b[0].toLongLong()});
        bare.run("update 收费2 set 缴费时间 = ? where 门牌号 = ? and 月份 = (select 月份 from 缴费历史 where ID = ?)",
                 {today, door, b[0].toLongLong()});
        bare.exec("COMMIT");
    });
    lines.append({QStringLiteral("Payment window: next household, bills and lines shown"), tMove, bMove,
                  target.nextHousehold, 0,
                  QStringLiteral("moves from row %1").arg(moveFrom + 1)});
    lines.append({QStringLiteral("One collection (its transaction, refresh)"), tCollect, bCollect, target.collection, 0,
                  collectedAll ? QStringLiteral("bill marked paid") : QStringLiteral("NOT every bill settled")});
    closeWindow(pw);

    // ---- the ledger ----------------------------------------------------------------------
    int mismatches = -1;
    const Timing tBooks = measure(runs, [&](int) { mismatches = int(BooksCheck::run(db).size()); });
    add(QStringLiteral("Books check of the whole estate (账务核对)"), tBooks, 1000,
        QStringLiteral("%1 movements; %2 mismatches (the bare collections above wrote balances without movements)")
            .arg(db.scalar(QStringLiteral("select count(*) from 账户流水")).toLongLong())
            .arg(mismatches));
    const QList<QVariantList> busiest = db.query(QStringLiteral(
        "select substr(时间, 1, 10), count(*) from 账户流水 where 类别 = '收款' group by 1 order by 2 desc, 1 limit 1"));
    const QDate busyDay = QDate::fromString(busiest.value(0).value(0).toString(), QStringLiteral("yyyy-MM-dd"));
    int takingsRows = 0;
    const Timing tTakings = measure(runs, [&](int) { takingsRows = int(DayTakings::read(db, busyDay).rows.size()); });
    add(QStringLiteral("Day's takings of the busiest day (收款日报, all operators)"), tTakings, 100,
        QStringLiteral("%1, %2 rows").arg(isoDate(busyDay)).arg(takingsRows));
    {
        clock.set(busyDay);
        QPointer<DayTakingsWindow> dw = new DayTakingsWindow(sv);
        dw->show();
        settle();
        const Timing tTakingsWindow = measure(runs, [&](int) {
            dw->refresh();
            settle();
        });
        add(QStringLiteral("  the same in its window (read, grid filled and sized)"), tTakingsWindow, 100,
            QStringLiteral("%1 grid rows").arg(dw->grid()->model()->rowCount()));
        closeWindow(dw);
        clock.set(QDate(2024, 7, 15));
    }
    const QString statementDoor =
        db.scalar(QStringLiteral("select 门牌号 from 档案库 order by ID limit 1 offset ?"), {nHouseholds / 2}).toString();
    int statementRows = 0;
    const Timing tStatement = measure(runs, [&](int) {
        statementRows = int(AccountStatement::read(db, statementDoor).rows.size());
    });
    add(QStringLiteral("Statement of one household, all months (对账单)"), tStatement, 100,
        QStringLiteral("%1, %2 movements").arg(statementDoor).arg(statementRows));
    {
        households.find(Criterion::equals(QStringLiteral("门牌号"), statementDoor), RecordSet::Direction::Forward,
                        RecordSet::Start::First);
        QPointer<StatementWindow> stw = new StatementWindow(sv);
        stw->show();
        settle();
        const Timing tStatementWindow = measure(runs, [&](int) {
            stw->refresh();
            settle();
        });
        add(QStringLiteral("  the same in its window"), tStatementWindow, 100,
            QStringLiteral("%1 grid rows").arg(stw->grid()->model()->rowCount()));
        closeWindow(stw);
    }

    // ---- queries ---------------------------------------------------------------------
    const QueryRange range{QString(), listFirst, listLast};
    const QList<QVariantList> meteredItem = db.query(
        QStringLiteral("select 项目号, 项目名 from 项目 where 计算标志 = 1 and 项目标志 = 1 order by 项目号 limit 1"));
    const ChargeItem item{meteredItem.value(0).value(0).toString(), meteredItem.value(0).value(1).toString(), true};
    int itemRows = 0;
    const Timing tItem = measure(runs, [&](int) {
        const std::optional<QueryTable> t =
            ItemQuery(db).run(ItemQuery::Variant::Details, item, item.name, range);
        itemRows = t ? t->rowCount() : -1;
    });
    const QByteArray itemNo = item.number.toUtf8(), lf = listFirst.toUtf8(), ll = listLast.toUtf8();
    // On the file a bare join of the same rows; on the server the program's own
    // statement as the server engine sends it.
    const Timing bItem = measure(runs, [&](int) {
        if (server)
            reads.run("select h.门牌号, h.户名, b.ID, b.缴费时间, l.ID, l.月份, l.收费金额, l.上月数, l.本月数, l.单价, h.ID "
                      "from 档案库 h "
                      "left join 缴费历史 b on b.门牌号 = h.门牌号 and b.月份 >= ? and b.月份 <= ? "
                      "left join 收费2 l on l.ID = (select min(x.ID) from 收费2 x "
                      "where x.门牌号 = b.门牌号 and x.项目号 = ? and x.月份 = b.月份) "
                      "where ? = 0 or h.门牌号 ilike ? escape '\\' "
                      "order by h.ID, b.月份, b.ID",
                      {lf, ll, itemNo, qint64(0), QByteArray("%")});
        else
            reads.run("select b.门牌号, b.月份, l.* from 缴费历史 b join 收费2 l on l.门牌号=b.门牌号 and "
                      "l.月份=b.月份 and l.项目号=? where b.月份 between ? and ? order by b.门牌号, b.月份",
                      {itemNo, lf, ll});
    });
    lines.append({QStringLiteral("Item query, 12 months (%1, %2..%3)").arg(item.name, listFirst, listLast), tItem,
                  bItem, 0, target.queryRatio, QStringLiteral("%1 table rows").arg(itemRows)});

    QueryTable allItems;
    const Timing tAll = measure(runs, [&](int) {
        std::optional<QueryTable> t = AllItemsQuery(db).run(QStringLiteral("C"), range);
        if (t)
            allItems = std::move(*t);
    });
    const Timing bAll = measure(runs, [&](int) {
        if (server) {
            reads.run("select b.门牌号, h.户名, b.月份, b.收费金额, b.实缴金额, b.账户余额, b.缴费标志, b.缴费时间 "
                      "from 缴费历史 b left join 档案库 h on h.门牌号 = b.门牌号 "
                      "where b.门牌号 ilike ? escape '\\' and b.月份 >= ? and b.月份 <= ? order by b.门牌号, b.月份 desc",
                      {QByteArray("%"), lf, ll});
            reads.run("select sum(b.收费金额), sum(b.实缴金额), sum(b.账户余额) from 缴费历史 b where b.月份 >= ? and b.月份 <= ?",
                      {lf, ll});
            return;
        }
        reads.run("select b.门牌号, h.户名, b.月份, b.收费金额, b.实缴金额, b.账户余额, b.缴费标志, b.缴费时间 "
                 "from 缴费历史 b left join 档案库 h on h.门牌号 = b.门牌号 where b.月份 between ? and ? "
                 "order by b.门牌号, b.月份 desc",
                 {lf, ll});
        reads.run("select sum(收费金额), sum(实缴金额), sum(账户余额) from 缴费历史 where 月份 between ? and ?",
                 {lf, ll});
    });
    lines.append({QStringLiteral("All-items query, 12 months"), tAll, bAll, 0, target.queryRatio,
                  QStringLiteral("%1 table rows").arg(allItems.rowCount())});

    QString exported;
    const Timing tQExport = measure(runs, [&](int) { exported = QueryExport::write(allItems); });
    qint64 exportedLines = 0;
    {
        QFile f(exported);
        if (f.open(QIODevice::ReadOnly))
            while (!f.atEnd())
                exportedLines += f.readLine().endsWith('\n');
    }
    add(QStringLiteral("Query export of the all-items table (查询明细.txt)"), tQExport, 1000,
        QStringLiteral("%1 lines").arg(exportedLines));

    // The program's own peak: one connection, every window and listing above (the
    // bare connection with its page cache included).
    const qint64 peakOwn = peakKb();
    const qint64 bareCacheKb = fileBare ? fileBare->cacheBytes() / 1024 : 0;
    // Not the program's to hold from here on: the bare connection's pages and the
    // benchmark's own copy of the listing.
    if (fileBare)
        fileBare->releaseMemory();
    allItems = QueryTable();

    // ---- continuous entry (a copy) -------------------------------------------------------
    {
        const QString copy = copies.make(QStringLiteral("entry"));
        DataEnvironment envB(copies.open(QStringLiteral("entry")), copy);
        Accounts::install(envB, appContext, clock);
        Services svB{envB, prompter, appContext, opener, clock};
        QPointer<BillEntryWindow> bw = new BillEntryWindow(svB);
        bw->show();
        settle();
        RecordSet& own = *bw->households();
        const int n = entryLimit > 0 ? std::min(entryLimit, own.count()) : own.count();
        // The script: every household's answers, then Yes to going on, except
        // after the last household and after one whose note stops the run.
        QList<bool> stops;
        prompter.clear();
        for (int i = 0; i < n; ++i) {
            const QVariant note = own.valueAt(i, QStringLiteral("收费说明"));
            const bool stop = SingleEntry::noteReminds(note.isNull() ? QString() : note.toString(), entryMonth);
            stops << stop;
            queueEntry(prompter, kinds);
            if (!stop && i + 1 < n)
                prompter.yes();
            else if (!stop && n < own.count())
                prompter.no();  // the limit: no to going on past it
        }
        int restarts = 0, billed = 0;
        bool failed = false;
        const Timing tCont = measure(1, [&](int) {
            own.moveFirst();
            bw->monthBox()->setText(entryMonth);
            for (;;) {
                bw->doorBox()->setText(own.value(QStringLiteral("门牌号")).toString());
                SingleEntry entry(svB);
                entry.setShowBill([&] { bw->showBill(); });
                ContinuousEntry run(entry, prompter, appContext);
                const ContinuousEntry::Result res = run.run(own, bw->doorBox()->text(), entryMonth);
                billed += res.runs;
                if (res.outcome != ContinuousEntry::Outcome::Reminded || own.position() + 1 >= n) {
                    failed = res.outcome == ContinuousEntry::Outcome::Failed;
                    if (failed)
                        err << "continuous entry failed: " << res.error << "\n";
                    break;
                }
                ++restarts;
                own.moveNext();
            }
            settle();
        });
        const qint64 written =
            envB.db().scalar(QStringLiteral("select count(*) from 缴费历史 where 月份 = ?"), {entryMonth}).toLongLong();
        checkScript(prompter, QStringLiteral("continuous entry"));
        add(QStringLiteral("Continuous entry of %1 for %2 households").arg(entryMonth, n == own.count() ? QStringLiteral("all") : QString::number(n)), tCont, 0,
            QStringLiteral("%1 households, %2 bills of the month in the file after, %3 restarts after a note; %4 ms per household")
                .arg(n)
                .arg(written)
                .arg(restarts)
                .arg(ms(tCont.median / std::max(1, billed))));
        Timing perHousehold{tCont.median / std::max(1, billed), tCont.first / std::max(1, billed), billed};
        add(QStringLiteral("  of which per household"), perHousehold, target.perHousehold);
        closeWindow(bw);
    }
    copies.remove(QStringLiteral("entry"));

    // ---- the reading sheet and the month's run (a copy) ---------------------------------------
    {
        const QString sf = copies.make(QStringLiteral("sheet"));
        auto envS = std::make_unique<DataEnvironment>(copies.open(QStringLiteral("sheet")), sf);
        const QString month =
            nextMonth(envS->db().scalar(QStringLiteral("select max(月份) from 缴费历史")).toString());
        // The window proposes the month after the estate's last (the clock 25 days into it).
        FixedClock sheetClock{QDate(month.left(4).toInt(), month.mid(4, 2).toInt(), 25)};
        Services svS{*envS, prompter, appContext, opener, sheetClock};
        std::unique_ptr<ReadingSheetWindow> sheetWindow;
        const Timing tSheet = measure(
            runs,
            [&](int) {
                sheetWindow = std::make_unique<ReadingSheetWindow>(svS);
                sheetWindow->show();
                sheetWindow->grid()->scrollTo(sheetWindow->model()->index(sheetWindow->model()->rowCount() - 1, 0));
                settle();
            },
            [&](int) {
                sheetWindow.reset();
                settle();
            });
        const int sheetRows = sheetWindow->model()->rowCount();
        add(QStringLiteral("Reading sheet of the whole estate opens (%1)").arg(month), tSheet, target.sheet,
            QStringLiteral("%1 rows: previous readings, six months' usage, draft; window shown").arg(sheetRows));
        // Down the reading column as Enter moves it, in the middle of the sheet.
        int at = sheetRows / 2;
        const Timing tSheetMove = measure(runs, [&](int) {
            sheetWindow->grid()->setCurrentIndex(sheetWindow->model()->index(++at, ReadingSheetModel::Reading));
            settle();
        });
        add(QStringLiteral("  moving down one row of the sheet"), tSheetMove, 50, QStringLiteral("current row set, repainted"));
        sheetWindow.reset();
        settle();

        ReadingSheet sheet(envS->db(), envS->rs项目());
        sheet.load(month);
        // 10,000 readings in a CSV file, as a meter reader's spreadsheet writes it.
        const QString csv = bench.work + QStringLiteral("/readings.csv");
        {
            QFile f(csv);
            if (!f.open(QIODevice::WriteOnly))
                throw StoreError(0, QStringLiteral("cannot write %1").arg(csv));
            QByteArray text = "门牌号,项目,读数\r\n";
            for (int i = 0; i < std::min(10000, int(sheet.rows().size())); ++i) {
                const SheetRow& sr = sheet.row(i);
                text += sr.door.toUtf8() + ',' + sheet.itemOf(i).name.toUtf8() + ',' +
                        QByteArray::number(sr.previous + 12.5) + "\r\n";
            }
            f.write(text);
        }
        int imported = 0;
        const Timing tImport = measure(
            runs,
            [&](int) {
                const ReadingImport im(sheet, ReadingImport::readFile(csv));
                im.apply(sheet);
                imported = im.matched();
            },
            [&](int) { envS->db().exec(QStringLiteral("delete from 抄表草稿")); });
        add(QStringLiteral("Import of 10,000 readings (CSV, matched and saved to the draft)"), tImport, 2000,
            QStringLiteral("%1 readings matched").arg(imported));

        // Every row read; the run bills all households, then is undone for the next run.
        QList<int> all;
        QList<std::optional<double>> values;
        for (int i = 0; i < sheet.rows().size(); ++i) {
            all << i;
            values << sheet.row(i).previous + 10;
        }
        sheet.setReadingsAt(all, values);
        MonthRun::Result ran;
        const Timing tRun = measure(
            runs,
            [&](int) {
                ran = MonthRun(envS->db(), sheet).run(false);
                if (ran.outcome != MonthRun::Outcome::Done)
                    throw StoreError(0, QStringLiteral("month run: %1").arg(ran.error));
            },
            [&](int i) {
                if (i > 0)
                    MonthRun::undo(envS->db());
            });
        MonthRun::undo(envS->db());
        const qint64 billRows = envS->db().scalar(QStringLiteral("select count(*) from 档案库")).toLongLong();

        // The same rows by bare prepared statements in one transaction.
        const QList<BillItem> items = sheet.items();
        std::unique_ptr<Bare> bareS;
        const QByteArray m8 = month.toUtf8();
        const std::optional<Timing> bRun = measureIf(
            !server, runs,
            [&](int) {
                bareS->exec("BEGIN IMMEDIATE");
                for (const SheetHousehold& h : sheet.households()) {
                    const QByteArray d8 = h.door.toUtf8();
                    double billTotal = 0;
                    for (const BillItem& it : items) {
                        if (it.computed) {
                            const SheetRow& sr = sheet.row(sheet.rowOf(h.door, it.no));
                            const double a = sr.amount(it);
                            billTotal += a;
                            bareS->run("insert into 收费2 (门牌号, 月份, 项目号, 项目名, 上月数, 本月数, 单价, 收费金额) "
                                       "values (?, ?, ?, ?, ?, ?, ?, ?)",
                                       {d8, m8, u8(it.no), it.lineName().toUtf8(), sr.usedPrevious(),
                                        sr.reading.value_or(0.0), sr.unitPrice(it), a});
                        } else {
                            const double a = ReadingSheet::offeredValue(it) * (it.byArea ? h.area : 1.0);
                            billTotal += a;
                            bareS->run("insert into 收费1 (门牌号, 月份, 项目号, 项目名, 收费金额) values (?, ?, ?, ?, ?)",
                                       {d8, m8, u8(it.no), it.lineName().toUtf8(), a});
                        }
                    }
                    bareS->run("insert into 缴费历史 (门牌号, 月份, 实缴金额, 收费金额, 其他说明, 缴费标志) "
                               "values (?, ?, 0, ?, ?, 0)",
                               {d8, m8, billTotal, h.note.toUtf8()});
                }
                bareS->exec("COMMIT");
            },
            [&](int) {
                if (!bareS) {
                    envS.reset();
                    bareS = std::make_unique<Bare>(DataFile::path(sf));
                }
                bareS->exec("BEGIN IMMEDIATE");
                for (const char* t : {"delete from 缴费历史 where 月份 = ?", "delete from 收费1 where 月份 = ?",
                                      "delete from 收费2 where 月份 = ?"})
                    bareS->run(t, {m8});
                bareS->exec("COMMIT");
            });
        bareS.reset();
        Line& runLine = add(QStringLiteral("Month's run (生成本月账单) for every household"), tRun, target.runMs,
                            QStringLiteral("%1 new bills of %2 households; bare: the same rows inserted in one transaction")
                                .arg(ran.newBills)
                                .arg(billRows));
        runLine.bare = bRun;
        runLine.targetRatio = target.runRatio;
        envS.reset();
        copies.remove(QStringLiteral("sheet"));
    }

    // ---- cleanup (copies) ---------------------------------------------------------------------
    // Each run needs a fresh copy with its ledger: one run on the large estate.
    const int cleanRuns = large ? 1 : std::min(runs, 3);
    Cleanup::Result cleaned;
    std::unique_ptr<DataEnvironment> envC;
    const Timing tClean = measure(
        cleanRuns, [&](int) { cleaned = Cleanup(*envC).run(cleanFirst, cleanLast); },
        [&](int i) {
            envC.reset();
            const QString name = QStringLiteral("clean%1").arg(i);
            const QString c = copies.make(name);
            if (i > 0)
                copies.remove(QStringLiteral("clean%1").arg(i - 1));
            envC = std::make_unique<DataEnvironment>(copies.open(name), c);
            fillLedger(envC->db());  // the cleanup carries the movements of the bills it deletes
            Accounts::install(*envC, appContext, clock);
            envC->rs缴费历史().open();  // the window has the shared sets open
            envC->rs收费1().open();
            envC->rs收费2().open();
        });
    envC.reset();
    copies.remove(QStringLiteral("clean%1").arg(cleanRuns - 1));
    std::unique_ptr<Bare> bareC;
    const QByteArray cf = cleanFirst.toUtf8(), cl = cleanLast.toUtf8();
    const std::optional<Timing> bClean = measureIf(
        !server, cleanRuns,
        [&](int) {
            bareC->exec("BEGIN IMMEDIATE");
            const char* paid = "(门牌号, 月份) in (select 门牌号, 月份 from 缴费历史 where 缴费标志 and 月份 between ? and ?)";
            bareC->run((std::string("delete from 收费1 where ") + paid).c_str(), {cf, cl});
            bareC->run((std::string("delete from 收费2 where ") + paid).c_str(), {cf, cl});
            bareC->run("delete from 缴费历史 where 缴费标志 and 月份 between ? and ?", {cf, cl});
            bareC->exec("COMMIT");
        },
        [&](int i) {
            bareC.reset();
            const QString c = copies.make(QStringLiteral("bare%1").arg(i));
            if (i > 0)
                copies.remove(QStringLiteral("bare%1").arg(i - 1));
            bareC = std::make_unique<Bare>(DataFile::path(c));
        });
    bareC.reset();
    if (!server)
        copies.remove(QStringLiteral("bare%1").arg(cleanRuns - 1));
    lines.append({QStringLiteral("Cleanup of 12 months of paid history (%1..%2)").arg(cleanFirst, cleanLast), tClean,
                  bClean, 0, 0,
                  QStringLiteral("%1 bills, %2 + %3 lines deleted")
                      .arg(cleaned.bills)
                      .arg(cleaned.fixedLines)
                      .arg(cleaned.meteredLines)});

    const qint64 peak = peakKb();
    Line& mem = add(QStringLiteral("Peak resident memory (VmHWM), MB"), Timing{peak / 1024.0, peak / 1024.0, 1}, 0);
    mem.targetMs = target.memoryMb;
    mem.note = QStringLiteral("whole run after the ledger was written: the program's connection, then a second one on the continuous-entry copy (64 MB page cache each)");
    Line& own = add(QStringLiteral("Peak resident memory before the continuous entry, MB"),
                    Timing{peakOwn / 1024.0, peakOwn / 1024.0, 1}, 0);
    own.note = QStringLiteral("the program's connection and the bare one, every window and listing above; "
                              "the bare connection's page cache held %1 MB of it")
                   .arg(bareCacheKb / 1024.0, 0, 'f', 1);

    measureBooksCheckAtLogIn(copies, runs, target.loginCheck);  // after the memory figures: a third connection

    // The windows and the data environment go before their copy.
    startup.reset();
    endServerStart();
    settle();
}

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    QStringList args = app.arguments().mid(1);
    int runs = 5;
    const int r = args.indexOf(QStringLiteral("--runs"));
    if (r >= 0) {
        runs = std::max(1, args.value(r + 1).toInt());
        args.remove(r, std::min<qsizetype>(2, args.size() - r));
    }
    QString serverInfo;  // the server database the estate is moved into; empty: the file only
    const int sv = args.indexOf(QStringLiteral("--server"));
    if (sv >= 0) {
        serverInfo = args.value(sv + 1);
        args.remove(sv, std::min<qsizetype>(2, args.size() - sv));
        if (serverInfo.isEmpty()) {
            err << "--server needs a libpq connection string\n";
            return 2;
        }
    }
    const bool large = args.removeAll(QStringLiteral("--large")) > 0;
    const Targets& target = large ? largeTargets : defaultTargets;
    int entryLimit = 0;  // households of the continuous entry; 0: all
    const int l = args.indexOf(QStringLiteral("--entry"));
    if (l >= 0) {
        entryLimit = std::max(0, args.value(l + 1).toInt());
        args.remove(l, std::min<qsizetype>(2, args.size() - l));
    }
    if (args.size() > 3 || args.value(0).startsWith(QLatin1Char('-'))) {
        err << "usage: fenwary_bench [folder=/tmp/fenwary-large] [households months] [--runs R] [--entry K] [--large]\n"
               "                    [--server <libpq connection string>]\n"
               "       --large: 20000 households, 120 months in /tmp/fenwary-large-20000x120\n"
               "       --server: every step also on that server database: the estate is moved into its schema\n"
               "                 fenwary_bench (dropped and made afresh), working copies are made beside the\n"
               "                 database as databases named after it and dropped at the end (the role must\n"
               "                 be allowed to create databases)\n";
        return 2;
    }
    const QString folder =
        QDir(args.value(0, large ? QStringLiteral("/tmp/fenwary-large-20000x120") : QStringLiteral("/tmp/fenwary-large")))
            .absolutePath();
    EstateOptions options = large ? EstateOptions::large() : EstateOptions();
    if (args.size() > 1)
        options.households = args[1].toInt();
    if (args.size() > 2)
        options.months = args[2].toInt();

    QTemporaryDir work(QDir::tempPath() + QStringLiteral("/fenwary-bench-XXXXXX"));
    qputenv("FENWARY_REPORT_DIR", (work.path() + QStringLiteral("/reports")).toUtf8());

    try {
        QElapsedTimer total;
        total.start();
        if (!QFileInfo::exists(DataFile::path(folder))) {
            const QString why = EstateGenerator::check(options);
            if (!why.isEmpty()) {
                err << why << "\n";
                return 2;
            }
            out << "generating " << options.households << " households × " << options.months << " months into "
                << folder << " ...\n";
            out.flush();
            EstateGenerator(options).create(folder);
        }
        const Bench bench{runs, target, large, entryLimit, work.path()};
        {
            FileCopies files(folder, work.path() + QStringLiteral("/file"));
            runSteps(files, bench);
        }
        bool met = printTable();
        if (!serverInfo.isEmpty()) {
            // The estate goes into the schema fenwary_bench of the database named,
            // made afresh; the database's other schemas are left alone.
            ServerBare(serverInfo).exec(QStringLiteral("drop schema if exists fenwary_bench cascade; create schema fenwary_bench"));
            serverInfo = withWord(serverInfo, QStringLiteral("options"),
                                  (conninfoWord(serverInfo, QStringLiteral("options")) +
                                   QStringLiteral(" -c search_path=fenwary_bench")).trimmed());
            {
                // A fresh copy of the estate into that schema.
                FileCopies files(folder, work.path() + QStringLiteral("/file"));
                files.make(QStringLiteral("move"));
                QElapsedTimer t;
                t.start();
                {
                    const std::unique_ptr<Database> from = files.open(QStringLiteral("move"));
                    const std::unique_ptr<Database> to = Database::connect(serverInfo);
                    DataMove::toServer(*from, *to);
                    refreshStatistics(*to);  // the move leaves them unset
                }
                files.remove(QStringLiteral("move"));
                out << "\nestate moved to the server in " << QString::number(t.nsecsElapsed() / 1e9, 'f', 1) << " s\n";
                out.flush();
            }
            const QList<Line> fileLines = lines;
            lines.clear();
            malloc_trim(0);
            resetPeak();
            highestKb = 0;
            {
                ServerCopies databases(serverInfo, work.path() + QStringLiteral("/server"));
                runSteps(databases, bench);
            }
            met = printSideBySide(fileLines, lines) && met;
        }
        out << "\ntotal " << QString::number(total.nsecsElapsed() / 1e9, 'f', 1) << " s; targets "
            << (met ? "met" : "NOT all met") << "\n";
        out.flush();
    } catch (const StoreError& e) {
        err << "failed: " << e.message() << "\n";
        return 1;
    } catch (const FileError& e) {
        err << "failed: " << e.message() << "\n";
        return 1;
    }
    return 0;
}
