#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QString>
#include <functional>

class RecordSet;

// One column of a grid over a record set.
struct GridColumn {
    enum class Kind { Auto, Text, Number, Bool, Date };
    QString field;
    QString caption;      // empty: the field name
    QString format;       // display mask ("￥"#,##0.00) or date format (yyyy-MM-dd)
    Kind kind = Kind::Auto;
    bool editable = true;
};

// The grid adapter: shows a record set's rows with captions, masks and check boxes
// for Boolean columns, and writes edits back into the record set.
class RecordSetModel : public QAbstractTableModel {
    Q_OBJECT
public:
    RecordSetModel(RecordSet& rs, QList<GridColumn> columns, QObject* parent = nullptr);

    RecordSet& recordSet() const { return rs_; }
    const QList<GridColumn>& gridColumns() const { return cols_; }
    // An extra empty line at the end; typing into it adds a row.
    void setNewRowLine(bool on);
    bool newRowLine() const { return newRowLine_; }
    bool isNewRowLine(int row) const;
    void setReadOnly(bool ro) { readOnly_ = ro; }
    // Called with the message when writing an edit fails.
    void setErrorHandler(std::function<void(const QString&)> h) { onError_ = std::move(h); }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation o, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

    // The text a cell shows.
    QString displayText(int row, int column) const;
    // Converts typed text into the value stored for a column; false when unusable
    // (a number column takes full-width digits as plain ones).
    static bool toStored(const QString& text, GridColumn::Kind kind, QVariant& out);

signals:
    // A text typed into a number cell was refused (and the operator told).
    void refused(const QModelIndex& index);

private:
    GridColumn::Kind kindOf(int column) const;
    int fieldOf(int column) const;

    RecordSet& rs_;
    QList<GridColumn> cols_;
    QList<int> fields_;
    bool newRowLine_ = false;
    bool readOnly_ = false;
    std::function<void(const QString&)> onError_;
};
