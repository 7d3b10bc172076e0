// fenwary_generate <folder> [N=5000] [M=36] [end month=202612] [--large]
// Writes an estate into <folder>/data.dat for measurements; --large makes the
// large one (20,000 households, 120 months) unless counts are given.
#include "bench/estategenerator.h"

#include "store/database.h"
#include "store/datafile.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTextStream>

namespace {

bool readCount(const QString& text, int& out)
{
    bool ok = false;
    const int v = text.toInt(&ok);
    if (ok)
        out = v;
    return ok;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList args = app.arguments().mid(1);
    const bool large = args.removeAll(QStringLiteral("--large")) > 0;
    if (args.isEmpty() || args.size() > 4 || args[0].startsWith(QLatin1Char('-'))) {
        err << "usage: fenwary_generate <folder> [households=5000] [months=36] [end month yyyymm=202612] [--large]\n"
               "       --large: 20000 households, 120 months\n";
        return 2;
    }
    EstateOptions options = large ? EstateOptions::large() : EstateOptions();
    if ((args.size() > 1 && !readCount(args[1], options.households)) ||
        (args.size() > 2 && !readCount(args[2], options.months))) {
        err << "households and months must be whole numbers\n";
        return 2;
    }
    if (args.size() > 3)
        options.endMonth = args[3];
    const QString why = EstateGenerator::check(options);
    if (!why.isEmpty()) {
        err << why << "\n";
        return 2;
    }

    const QString path = DataFile::path(args[0]);
    if (QFileInfo::exists(path)) {
        err << "refusing to overwrite " << path << "\n";
        return 1;
    }
    QElapsedTimer clock;
    clock.start();
    EstateGenerator generator(options);
    try {
        std::unique_ptr<Database> db = generator.create(args[0]);
        const double seconds = clock.nsecsElapsed() / 1e9;
        const QStringList months = generator.months();
        out << "estate " << path << ": " << options.households << " households, months " << months.first()
            << ".." << months.last() << ", seed " << options.seed << "\n";
        static const char* const tables[] = {"档案库", "项目", "缴费历史", "收费1", "收费2", "操作员", "广告"};
        for (const char* t : tables) {
            const QString table = QString::fromUtf8(t);
            out << "  " << table << ": "
                << db->scalar(QStringLiteral("select count(*) from \"%1\"").arg(table)).toLongLong() << " rows\n";
        }
        const EstateCounts& c = generator.written();
        out << "  paid bills: " << c.paidBills << ", unpaid: " << c.bills - c.paidBills << "\n";
        out << "  households in credit: " << c.inCredit << ", in arrears: " << c.inArrears << "\n";
        db.reset();
        out << "  file size: " << QString::number(QFileInfo(path).size() / 1048576.0, 'f', 1) << " MB ("
            << QFileInfo(path).size() << " bytes)\n";
        out << "  written in " << QString::number(seconds, 'f', 2) << " s\n";
    } catch (const StoreError& e) {
        err << "failed: " << e.message() << "\n";
        return 1;
    }
    return 0;
}
