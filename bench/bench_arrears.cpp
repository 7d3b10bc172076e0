// Times the arrears board, the month summary, the XLSX of the all-items listing and
// 500 notices to PDF on the large estate. Run by hand: `fenwary_bench_arrears
// /tmp/fenwary-large` (the estate of fenwary_generate); prints the median of 5 runs.
#include "documents/documentprinter.h"
#include "common/tableout.h"
#include "queries/allitemsquery.h"
#include "queries/arrearsboard.h"
#include "queries/arrearsnotice.h"
#include "queries/monthsummary.h"
#include "queries/queryexport.h"
#include "store/database.h"
#include "store/datafile.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

double median(const std::function<void()>& step, int runs = 5)
{
    QList<double> ms;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        step();
        ms << t.nsecsElapsed() / 1e6;
    }
    std::sort(ms.begin(), ms.end());
    return ms.at(ms.size() / 2);
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp/fenwary-large");
    auto db = DataFile::openExisting(DataFile::path(folder));
    QTemporaryDir out;

    int listed = 0;
    const double board = median([&] {
        const QList<ArrearsRow> rows = ArrearsBoard::load(*db, ArrearsFilter{});
        ArrearsBoard::totals(rows);
        listed = int(rows.size());
    });
    std::printf("arrears board: %.1f ms median (%d households listed)\n", board, listed);

    const QString first = db->scalar(QStringLiteral("select min(月份) from 缴费历史")).toString();
    const QString last = db->scalar(QStringLiteral("select max(月份) from 缴费历史")).toString();
    int summaryRows = 0;
    const double summary = median([&] {
        const QList<SummaryRow> rows = MonthSummary::load(*db, {first, last, QStringLiteral("-"), QString()});
        MonthSummary::byMonth(rows);
        summaryRows = int(rows.size());
    });
    std::printf("month summary %s..%s: %.1f ms median (%d rows)\n", qPrintable(first), qPrintable(last), summary,
                summaryRows);

    // The all-items listing of the last 12 months.
    QString first12 = db->scalar(QStringLiteral("select min(月份) from (select distinct 月份 from 缴费历史 order by 月份 desc limit 12)")).toString();
    const std::optional<QueryTable> listing = AllItemsQuery(*db).run(QStringLiteral("C"), {QString(), first12, last});
    const double xlsx = median([&] {
        writeXlsx(QueryExport::outTable(*listing), out.filePath(QStringLiteral("listing.xlsx")));
    });
    std::printf("XLSX of the all-items listing (%d table rows): %.1f ms median\n", int(listing->rowCount()), xlsx);
    const double csv = median([&] { writeCsv(QueryExport::outTable(*listing), out.filePath(QStringLiteral("listing.csv"))); });
    std::printf("CSV of the same listing: %.1f ms median\n", csv);

    QList<ArrearsRow> rows = ArrearsBoard::load(*db, ArrearsFilter{});
    while (!rows.isEmpty() && rows.size() < 500)
        rows += rows.mid(0, 500 - rows.size());
    rows = rows.mid(0, 500);
    const double pdf = median(
        [&] {
            QList<NoticeData> notices;
            for (const ArrearsRow& r : rows)
                if (auto n = NoticeData::read(*db, r.door, QStringLiteral("示例小区"), QStringLiteral("请按时缴费"),
                                              QDate(2026, 12, 8)))
                    notices << *n;
            const DocumentPrinter::Pages pages = [&](int width) {
                QList<DocumentPage> p;
                for (const NoticeData& n : notices)
                    p << NoticePage::pages(n, width);
                return p;
            };
            DocumentPrinter::printToPdf(pages, QStringLiteral("催缴通知单"), out.filePath(QStringLiteral("n.pdf")));
        },
        3);
    std::printf("%d notices to PDF: %.1f ms median of 3\n", int(rows.size()), pdf);
    return 0;
}
