#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

class ReadingSheet;

// Readings from a meter reader's file: a CSV file (UTF-8 or GBK, told apart by
// whether the bytes are valid UTF-8) or the first sheet of an XLSX file. Columns:
// door number, item (name or number), reading, unless a header names them (门牌号,
// 项目, 本月读数), as the blank sheet's does. A first line that matches no household
// and holds no number is a header. Nothing reaches the sheet until
// apply().
class ReadingImport {
public:
    // No reading file is larger than this; a larger file, or an XLSX part that
    // unpacks past it, is refused before it is read whole.
    static constexpr qint64 MaxFileBytes = qint64(64) * 1024 * 1024;
    // The cells kept of one file, counting the empty ones that stand before a cell.
    static constexpr qint64 MaxCells = 2'000'000;
    // The report lists this many unusable lines and counts the rest.
    static constexpr int ListedProblems = 1000;

    enum class Problem { None, NoHousehold, NoItem, NoNumber, TooLarge, Duplicate, StrayQuote };
    struct Row {
        int line = 0;  // 1-based line of the file
        QString door;
        QString item;
        QString text;  // the reading as written
        Problem problem = Problem::None;
        int sheetRow = -1;
        int countedLine = 0;  // a duplicate: the line that counts instead
        std::optional<double> value;
    };
    // A line of the file: its number (an XLSX row keeps its own; rows left out are
    // not lines) and its cells.
    struct Line {
        int number = 0;
        QStringList cells;
        bool strayQuote = false;  // a quote that opens or closes no quoted field
        bool operator==(const Line& o) const
        {
            return number == o.number && cells == o.cells && strayQuote == o.strayQuote;
        }
    };

    // The lines of the file. Throws FileError naming the file when it cannot be read.
    static QList<Line> readFile(const QString& path);
    static QList<Line> readCsv(const QByteArray& bytes);
    static QList<Line> readXlsx(const QString& path);
    // The first sheet's XML with the shared strings' XML (empty when the package has
    // none); errors name `path`.
    static QList<Line> readSheetXml(const QByteArray& sheet, const QByteArray& sharedStrings, const QString& path);
    static QString problemText(Problem p);
    // The reason shown for an unusable line (a duplicate names the line that counts).
    static QString reasonText(const Row& r);

    ReadingImport(const ReadingSheet& sheet, const QList<Line>& table);

    const QList<Row>& rows() const { return rows_; }
    int matched() const { return matched_; }
    QList<Row> problems() const;
    // Writes the matched readings into the sheet's draft, in one transaction.
    void apply(ReadingSheet& sheet) const;

private:
    QList<Row> rows_;
    int matched_ = 0;
};
