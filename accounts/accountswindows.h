#pragma once

#include "accounts/accountstatement.h"
#include "accounts/bookscheck.h"
#include "accounts/daytakings.h"
#include "accounts/reporttable.h"
#include "documents/documentpage.h"

#include <QWidget>
#include <functional>

class QComboBox;
class QDateEdit;
class QLabel;
class QPushButton;
class QTableView;
class ReportTableModel;
struct Services;

// What the ledger's windows share: a grid over a ReportTable, a line of totals
// under it, and printing of the window's document with preview and PDF.
class LedgerReportWindow : public QWidget {
    Q_OBJECT
public:
    // The table shown (for exports).
    const ReportTable& table() const;
    QTableView* grid() const { return grid_; }
    QLabel* summary() const { return summary_; }
    // The document as printed.
    virtual QList<DocumentPage> pages() const = 0;
    virtual QString documentName() const = 0;
    // Where documents go; by default the printer (or a preview).
    using PageSink = std::function<void(const QList<DocumentPage>&)>;
    void setPageSink(PageSink sink) { sink_ = std::move(sink); }

    void print(bool preview);
    // 导出Excel: the table shown, as <document name>.xlsx and .csv in the report folder.
    void exportExcel();
    virtual void refresh() = 0;

protected:
    LedgerReportWindow(Services& services, QWidget* parent);
    // Lays out: the boxes row, the grid, the summary and the buttons row.
    void build(QLayout* boxes, const QList<QPushButton*>& buttons);
    // The boxes row, then the report buttons 查询, 打印, 打印预览, 关闭, 导出Excel.
    void buildReport(QLayout* boxes);
    void showTable(const ReportTable& table, const QString& summary);
    void fail(const QString& message);
    QPushButton* button(const QString& name, const QString& text);

    Services& s_;
    ReportTableModel* model_;
    QTableView* grid_;
    QLabel* summary_;
    PageSink sink_;
};

// 收款日报: a day's collections and reversals, by one operator or all.
class DayTakingsWindow : public LedgerReportWindow {
    Q_OBJECT
public:
    explicit DayTakingsWindow(Services& services, QWidget* parent = nullptr);
    QDateEdit* dayBox() const { return day_; }
    QComboBox* operatorBox() const { return operator_; }
    QComboBox* deskBox() const { return desk_; }
    const DayTakings& takings() const { return takings_; }
    QList<DocumentPage> pages() const override;
    QString documentName() const override { return QStringLiteral("收款日报"); }
    void refresh() override;

private:
    QDateEdit* day_;
    QComboBox* operator_;
    QComboBox* desk_;
    DayTakings takings_;
    void fillDesks();
};

// 对账单: the statement of the household that is current in rs档案.
class StatementWindow : public LedgerReportWindow {
    Q_OBJECT
public:
    explicit StatementWindow(Services& services, QWidget* parent = nullptr);
    QComboBox* firstBox() const { return first_; }
    QComboBox* lastBox() const { return last_; }
    QLabel* householdLabel() const { return household_; }
    const AccountStatement& statement() const { return statement_; }
    QList<DocumentPage> pages() const override;
    QString documentName() const override { return QStringLiteral("对账单"); }
    void refresh() override;
    // Follows the current household of rs档案.
    void householdChanged();

private:
    QString door_;
    QLabel* household_;
    QComboBox* first_;
    QComboBox* last_;
    AccountStatement statement_;
};

// 账务核对: what does not agree between balances, bills and the ledger.
class BooksCheckWindow : public LedgerReportWindow {
    Q_OBJECT
public:
    explicit BooksCheckWindow(Services& services, QWidget* parent = nullptr);
    const QList<BooksCheck::Mismatch>& found() const { return found_; }
    QList<DocumentPage> pages() const override;
    QString documentName() const override { return QStringLiteral("账务核对"); }
    void refresh() override;
    static QString allAgreeText();

private:
    QList<BooksCheck::Mismatch> found_;
};
