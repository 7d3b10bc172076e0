#pragma once

#include <QAbstractTableModel>

class ReadingSheet;

// The reading sheet in a grid: one line per household × item. The reading and the
// unit price are edited in place; the previous reading of a row whose reading is
// below it takes the new meter's start; the 确认 box confirms such a row.
class ReadingSheetModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Door, Name, Item, Previous, Reading, Usage, Price, Amount, Confirm, Status, ColumnCount };

    explicit ReadingSheetModel(ReadingSheet& sheet, QObject* parent = nullptr);

    // Around a new load of the sheet.
    void beginReload() { beginResetModel(); }
    void endReload() { endResetModel(); }
    // Fills the reading column from `row` down with the numbers of a pasted column;
    // a blank line clears its row, a line that is no reading ends the column.
    // Returns the rows filled; pasted() tells how many and where it stopped.
    int pasteReadings(int row, const QString& text);
    // The status line: the rows and the count of each check.
    QString statusText() const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

signals:
    // A draft write failed; the row keeps its former value.
    void writeFailed(const QString& message);
    // After a paste: the rows filled and where the pasted column stopped.
    void pasted(const QString& report);

private:
    void rowsChanged(int first, int last);
    ReadingSheet& sheet_;
};
