#pragma once

#include <QWidget>

class Binder;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class RecordSetGrid;
class RecordSetModel;
struct Services;

// The household window: a grid and bound boxes over the shared household record
// set, with add, delete, search, export and close.
class HouseholdWindow : public QWidget {
    Q_OBJECT
public:
    explicit HouseholdWindow(Services& services, QWidget* parent = nullptr);

    RecordSetGrid* grid() const { return grid_; }
    QLineEdit* doorBox() const { return door_; }
    QPushButton* addButton() const { return add_; }
    QPushButton* deleteButton() const { return delete_; }
    QPushButton* closeButton() const { return close_; }
    QPushButton* findButton() const { return find_; }
    QPushButton* exportButton() const { return export_; }
    // 对账单: the statement of the current household.
    QPushButton* statementButton() const { return statement_; }
    QPushButton* excelButton() const { return excel_; }

    void addHousehold();
    void deleteHousehold();
    void exportHouseholds();
    void exportExcel();
    // The closing steps: the final save.
    void unload();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void closeWindow();
    void showError(const QString& what, const QString& message);

    Services& services_;
    RecordSetGrid* grid_;
    RecordSetModel* model_;
    Binder* binder_;
    QLineEdit* door_;
    QPlainTextEdit* other_;
    QPushButton* add_;
    QPushButton* delete_;
    QPushButton* close_;
    QPushButton* statement_ = nullptr;
    QPushButton* find_;
    QPushButton* export_;
    QPushButton* excel_;
    bool unloaded_ = false;
};
