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
    enum class Problem { None, NoHousehold, NoItem, NoNumber };
    struct Row {
        int line = 0;  // 1-based line of the file
        QString door;
        QString item;
        QString text;  // the reading as written
        Problem problem = Problem::None;
        int sheetRow = -1;
        std::optional<double> value;
    };

    // The cells of the file, line by line. Throws FileError when it cannot be read.
    static QList<QStringList> readFile(const QString& path);
    static QList<QStringList> readCsv(const QByteArray& bytes);
    static QList<QStringList> readXlsx(const QString& path);
    static QString problemText(Problem p);

    ReadingImport(const ReadingSheet& sheet, const QList<QStringList>& table);

    const QList<Row>& rows() const { return rows_; }
    int matched() const { return matched_; }
    QList<Row> problems() const;
    // Writes the matched readings into the sheet's draft, in one transaction.
    void apply(ReadingSheet& sheet) const;

private:
    QList<Row> rows_;
    int matched_ = 0;
};
