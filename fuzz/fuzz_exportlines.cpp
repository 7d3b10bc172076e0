// The line builders of the household and query exports on any texts: one line per
// household or row, never a line break inside one.
#include "fuzzinput.h"
#include "queries/queryexport.h"
#include "records/householdexport.h"

#include <QVariant>

namespace {

bool oneLine(const QString& s)
{
    return !s.contains(QLatin1Char('\r')) && !s.contains(QLatin1Char('\n'));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    QVariantList f;
    for (int i = 0; i < 5; ++i)
        f << (in.byte() % 7 == 0 ? QVariant() : QVariant(in.text()));
    const QString line = HouseholdExport::line(f[0], f[1], f[2], f[3], f[4]);
    FUZZ_CHECK(oneLine(line), line);

    QStringList headers;
    const int columns = in.byte() % 6;
    for (int c = 0; c < columns; ++c)
        headers << in.text();
    QueryTable table(headers);
    while (!in.empty()) {
        const uint8_t kind = in.byte();
        if (kind % 5 == 0) {
            table.addSeparator();
            continue;
        }
        QStringList cells;
        const int n = kind % 8;
        for (int c = 0; c < n; ++c)
            cells << in.text();
        table.addRow(kind % 3 ? QueryTable::RowKind::Bill : QueryTable::RowKind::Totals, cells);
    }
    const QStringList lines = QueryExport::lines(table);
    FUZZ_CHECK(!lines.isEmpty(), QString());
    FUZZ_CHECK(lines.size() <= table.rowCount() + 1, QString::number(lines.size()));
    for (int i = 0; i < lines.size(); ++i) {
        FUZZ_CHECK(oneLine(lines[i]), lines[i]);
        // The header is 30 characters a caption; a row 30, then 4 + 26 a further column.
        const int width = i == 0 ? 30 * columns : 30 + qMax(0, columns - 1) * 30;
        FUZZ_CHECK(lines[i].size() == width, lines[i]);
    }
    return 0;
}
