#pragma once

#include "queries/monthsummary.h"

#include <QWidget>

class QComboBox;
class QLabel;
class QLineEdit;
class QTableView;
class QStandardItemModel;
struct Services;

class QChartView;

// 收费汇总: per building and month, households billed, charged, collected, still
// unpaid and the collection rate, with a bar chart of the rate by month.
class SummaryWindow : public QWidget {
    Q_OBJECT
public:
    explicit SummaryWindow(Services& services, QWidget* parent = nullptr);

    void setRange(const QString& first, const QString& last);
    void refresh();
    const QList<SummaryRow>& rows() const { return rows_; }
    QTableView* table() const { return table_; }
    QChartView* chart() const { return chart_; }
    QLabel* rule() const { return rule_; }

private:
    void showChart();
    void exportExcel();

    Services& services_;
    QLineEdit* separator_ = nullptr;
    QLineEdit* building_ = nullptr;
    QComboBox* first_ = nullptr;
    QComboBox* last_ = nullptr;
    QTableView* table_ = nullptr;
    QStandardItemModel* model_ = nullptr;
    QChartView* chart_ = nullptr;
    QLabel* rule_ = nullptr;
    QList<SummaryRow> rows_;
    int households_ = 0;
};
