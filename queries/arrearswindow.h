#pragma once

#include "documents/documentpage.h"
#include "queries/arrearsboard.h"

#include <QAbstractTableModel>
#include <QWidget>
#include <functional>

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QSpinBox;
class QTableView;
struct Services;

// The board's households for a grid; sorting goes through ArrearsBoard::sort.
class ArrearsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;
    void setRows(QList<ArrearsRow> rows);
    const QList<ArrearsRow>& rows() const { return rows_; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    void sort(int column, Qt::SortOrder order) override;

private:
    QList<ArrearsRow> rows_;
};

// 欠费一览: who owes, filtered by building, months and amount, with totals per
// building; notices for the chosen households; the board to Excel.
class ArrearsWindow : public QWidget {
    Q_OBJECT
public:
    explicit ArrearsWindow(Services& services, QWidget* parent = nullptr);

    QTableView* board() const { return board_; }
    QTableView* totalsView() const { return totals_; }
    ArrearsModel* model() const { return model_; }
    void refresh();
    // Opens the household of a board row in the payment window.
    void openHousehold(int row);
    // The households the notices are for: the selected rows, or every row listed.
    QList<ArrearsRow> noticeRows() const;
    // Where notices go; by default the printer (or a preview).
    using PageSink = std::function<void(const QList<DocumentPage>&)>;
    void setPageSink(PageSink sink) { sink_ = std::move(sink); }

private:
    void printNotices(bool preview);
    void exportExcel();
    void showTotals();

    Services& services_;
    QLineEdit* separator_ = nullptr;
    QLineEdit* building_ = nullptr;
    QSpinBox* minMonths_ = nullptr;
    QDoubleSpinBox* minOwed_ = nullptr;
    QLabel* status_ = nullptr;
    QTableView* board_ = nullptr;
    QTableView* totals_ = nullptr;
    ArrearsModel* model_ = nullptr;
    PageSink sink_;
};
