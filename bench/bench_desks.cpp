// fenwary_bench_desks --server "<libpq connection string>" [folder] [--desks D] [--collections N]
//
// Several desks collecting at once on one server database over its connection: the
// generated estate (folder, default /tmp/fenwary-large, made when missing) is moved
// into the schema fenwary_desks of the database named, made afresh; then D desks
// (processes of this program, default 4), each serving its own households, collect N
// bills each (default 200) through the program's collection. Prints the collections
// per second of all desks together, the median and 95th percentile of one collection,
// whether every balance still equals its ledger's sum and the receipt numbers run
// without a gap, and how long a commit at one desk takes until another desk's open
// household list has read it again (median of 20).
#include "accounts/accounts.h"
#include "accounts/bookscheck.h"
#include "bench/estategenerator.h"
#include "collection/collection.h"
#include "common/dates.h"
#include "common/fileopener.h"
#include "common/prompter.h"
#include "common/services.h"
#include "store/criterion.h"
#include "store/database.h"
#include "store/dataenvironment.h"
#include "store/datafile.h"
#include "store/datamove.h"
#include "store/recordset.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTextStream>
#include <QThread>

#include <algorithm>

namespace {

const QString kSchema = QStringLiteral("fenwary_desks");

double percentile(QList<double> v, double p)
{
    if (v.isEmpty())
        return 0;
    std::sort(v.begin(), v.end());
    return v.at(std::min<qsizetype>(v.size() - 1, qsizetype(p * double(v.size() - 1) + 0.5)));
}

QString inSchema(const QString& conninfo)
{
    return conninfo + QStringLiteral(" options='-c search_path=%1'").arg(kSchema);
}

// One desk: the unpaid bills of its own households (every D-th), one per household,
// each collected with the cash of its charge. Prints "start end" (ms since the epoch)
// and then one line per collection with its milliseconds.
int desk(const QString& conninfo, int index, int desks, int collections)
{
    DataEnvironment env(DataFile::openServer(conninfo));
    ScriptedPrompter prompter;
    RecordingFileOpener opener;
    FixedClock clock{QDate(2024, 7, 15)};
    AppContext app;
    app.operatorName = QStringLiteral("收费员%1").arg(index + 1);
    env.db().setDesk(QStringLiteral("desk-%1").arg(index + 1), app.operatorName);
    Accounts::install(env, app, clock);
    Services sv{env, prompter, app, opener, clock};
    const QList<QVariantList> bills = env.db().query(
        QStringLiteral("select min(b.ID), b.门牌号 from 缴费历史 b join 档案库 d on d.门牌号 = b.门牌号 "
                       "where coalesce(b.缴费标志, 0) = 0 and d.ID % ? = ? group by b.门牌号 order by 1 limit ?"),
        {desks, index, collections});
    QTextStream out(stdout);
    QList<double> ms;
    const qint64 start = QDateTime::currentMSecsSinceEpoch();
    for (const QVariantList& b : bills) {
        const QString door = b.value(1).toString();
        env.rs档案().find(Criterion::equals(QStringLiteral("门牌号"), door), RecordSet::Direction::Forward,
                          RecordSet::Start::First);
        RecordSet& rs = env.rs缴费历史();
        rs.setFilter(Criterion::equals(QStringLiteral("门牌号"), door));
        rs.moveToBookmark(b.value(0).toLongLong());
        const QVariant charge = rs.value(QStringLiteral("收费金额"));
        prompter.clear();
        prompter.yes();
        prompter.type(QString::number(charge.toDouble(), 'f', 2));
        prompter.no();
        QElapsedTimer t;
        t.start();
        const bool settled = Collection(sv).collect(QString()).settled;
        ms << t.nsecsElapsed() / 1e6;
        if (!settled)
            return 3;
    }
    out << start << ' ' << QDateTime::currentMSecsSinceEpoch() << '\n';
    for (double v : ms)
        out << v << '\n';
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.size() == 5 && args[0] == QLatin1String("--desk"))
        return desk(args[1], args[2].toInt(), args[3].toInt(), args[4].toInt());
    QTextStream out(stdout);
    QTextStream err(stderr);
    QString server, folder = QStringLiteral("/tmp/fenwary-large");
    int desks = 4, collections = 200;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--server") && i + 1 < args.size())
            server = args[++i];
        else if (args[i] == QLatin1String("--desks") && i + 1 < args.size())
            desks = std::max(1, args[++i].toInt());
        else if (args[i] == QLatin1String("--collections") && i + 1 < args.size())
            collections = std::max(1, args[++i].toInt());
        else
            folder = args[i];
    }
    if (server.isEmpty()) {
        err << "usage: fenwary_bench_desks --server \"<libpq connection string>\" [folder] [--desks D] [--collections N]\n";
        return 2;
    }
    try {
        if (!QFileInfo::exists(DataFile::path(folder))) {
            out << "generating the estate into " << folder << " ...\n";
            out.flush();
            EstateGenerator(EstateOptions()).create(folder);
        }
        Database::connect(server)->execScript(
            QStringLiteral("drop schema if exists %1 cascade; create schema %1").arg(kSchema));
        const QString conninfo = inSchema(server);
        {
            QElapsedTimer t;
            t.start();
            const std::unique_ptr<Database> from = DataFile::openExisting(DataFile::path(folder));
            const std::unique_ptr<Database> to = Database::connect(conninfo);
            DataMove::toServer(*from, *to);
            // The ledger and the books check's mark made once, as at the owner's first log-in.
            Ledger::ensure(*to);
            BooksCheck::runAndMark(*to);
            to->execScript(QStringLiteral("analyze"));
            out << "estate moved to the server in " << QString::number(t.nsecsElapsed() / 1e9, 'f', 1) << " s\n";
            out.flush();
        }
        // The notice: a commit at one desk until another desk's household list read it again.
        QList<double> notice;
        {
            DataEnvironment shown(DataFile::openServer(conninfo));
            RecordSet& households = shown.rs档案();
            households.moveFirst();
            QElapsedTimer since;
            bool reread = false;
            QObject::connect(&households, &RecordSet::rowsReset, [&] { reread = true; });
            const std::unique_ptr<Database> other = Database::connect(conninfo);
            for (int i = 0; i < 20; ++i) {
                QThread::msleep(300);
                QCoreApplication::processEvents();
                reread = false;
                other->exec(QStringLiteral("update 档案库 set 户名 = 户名 where ID = ?"), {i + 1});
                since.start();
                while (!reread && since.elapsed() < 5000)
                    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
                notice << (reread ? since.nsecsElapsed() / 1e6 : 5000.0);
            }
        }
        QList<QProcess*> running;
        for (int d = 0; d < desks; ++d) {
            auto* p = new QProcess;
            p->start(QCoreApplication::applicationFilePath(),
                     {QStringLiteral("--desk"), conninfo, QString::number(d), QString::number(desks),
                      QString::number(collections)});
            running << p;
        }
        QList<double> ms;
        qint64 first = std::numeric_limits<qint64>::max(), last = 0;
        bool allRan = true;
        for (QProcess* p : running) {
            p->waitForFinished(-1);
            const QList<QByteArray> lines = p->readAllStandardOutput().trimmed().split('\n');
            if (p->exitCode() != 0 || lines.isEmpty()) {
                err << "a desk failed (" << p->exitCode() << "): " << p->readAllStandardError() << "\n";
                allRan = false;
            } else {
                const QList<QByteArray> span = lines.first().split(' ');
                first = std::min(first, span.value(0).toLongLong());
                last = std::max(last, span.value(1).toLongLong());
                for (qsizetype i = 1; i < lines.size(); ++i)
                    ms << lines[i].toDouble();
            }
            delete p;
        }
        const std::unique_ptr<Database> db = Database::connect(conninfo);
        const QList<QVariantList> receipts = db->query(QStringLiteral(
            "select count(*), count(distinct 收据号), min(收据号), max(收据号) from 账户流水 where 类别 = '收款' and 电脑 like 'desk-%'"));
        const QVariantList r = receipts.value(0);
        const int books = int(BooksCheck::run(*db).size());
        const double seconds = (last - first) / 1000.0;
        out << desks << " desks, " << ms.size() << " collections in " << QString::number(seconds, 'f', 2) << " s: "
            << QString::number(seconds > 0 ? ms.size() / seconds : 0, 'f', 1) << " collections/s\n";
        out << "one collection: median " << QString::number(percentile(ms, 0.5), 'f', 1) << " ms, 95th percentile "
            << QString::number(percentile(ms, 0.95), 'f', 1) << " ms (target 50)\n";
        out << "receipts: " << r.value(0).toLongLong() << " movements, " << r.value(1).toLongLong()
            << " distinct numbers " << r.value(2).toLongLong() << ".." << r.value(3).toLongLong()
            << "; books check: " << books << " findings\n";
        out << "notice to re-read at another desk: median " << QString::number(percentile(notice, 0.5), 'f', 1)
            << " ms, max " << QString::number(percentile(notice, 1.0), 'f', 1) << " ms (target 200)\n";
        Database::connect(server)->execScript(QStringLiteral("drop schema if exists %1 cascade").arg(kSchema));
        return allRan ? 0 : 1;
    } catch (const StoreError& e) {
        err << "failed: " << e.message() << "\n";
        return 1;
    }
}
