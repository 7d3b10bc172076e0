#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QString>
#include <QStringList>

// The result table of the combined query window: column captions, rows of texts
// (the row text first, then its sub-items) and the kind of each row.
class QueryTable {
public:
    enum class RowKind { Bill, Separator, Totals };
    struct Row {
        RowKind kind = RowKind::Bill;
        QStringList cells;  // cells[0] is the row text; missing cells count as empty
    };

    QueryTable() = default;
    explicit QueryTable(QStringList headers) : headers_(std::move(headers)) {}

    const QStringList& headers() const { return headers_; }
    int columnCount() const { return int(headers_.size()); }
    int rowCount() const { return int(rows_.size()); }
    const QList<Row>& rows() const { return rows_; }
    const Row& row(int i) const { return rows_.at(i); }
    // The text of a cell; empty when the row does not have it.
    QString cell(int row, int column) const;

    // The line under the search boxes that says what the table shows.
    QString status() const { return status_; }
    void setStatus(const QString& s) { status_ = s; }

    // A separator row: the text " " and no sub-items.
    void addSeparator();
    void addRow(RowKind kind, QStringList cells);
    Row& last() { return rows_.last(); }
    void reserve(int n) { rows_.reserve(n); }

private:
    QStringList headers_;
    QList<Row> rows_;
    QString status_;
};

// A QueryTable for a QTableView (report view: texts only, not editable).
class QueryTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit QueryTableModel(QObject* parent = nullptr);

    void setTable(QueryTable table);
    const QueryTable& table() const { return table_; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    QueryTable table_;
};
