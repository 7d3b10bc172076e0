#pragma once

#include <QWidget>
#include <memory>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class QueryTable;
class QueryTableModel;
struct QueryRange;
struct Services;

// The combined query window: one item's charges or whole bills over a month
// range, by building and paid state, and the export of the table shown.
class QueryWindow : public QWidget {
    Q_OBJECT
public:
    explicit QueryWindow(Services& services, QWidget* parent = nullptr);
    ~QueryWindow() override;

    const QueryTable& table() const;
    QTableView* resultView() const { return list_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void loadMonths();
    void loadItems();
    // 0: 开始查询, 1: 未缴统计, 2: 已缴统计
    void itemQuery(int variant);
    void allItemsQuery(const QString& mode);
    void exportTable();
    void exportExcel();
    void unload();
    QueryRange range() const;
    void showTable(QueryTable&& table);
    void showStoreError(const QString& what, const QString& why);

    Services& services_;
    QLineEdit* building_ = nullptr;
    QComboBox* item_ = nullptr;
    QComboBox* firstMonth_ = nullptr;
    QComboBox* lastMonth_ = nullptr;
    QLabel* status_ = nullptr;
    QTableView* list_ = nullptr;
    QueryTableModel* model_ = nullptr;
    bool unloaded_ = false;
};
