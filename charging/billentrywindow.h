#pragma once

#include <QWidget>

class Binder;
class NavBar;
class QCheckBox;
class QLineEdit;
class QPushButton;
class RecordSet;
class RecordSetGrid;
struct Services;

// The bill entry window: a household (its own household set with a navigation
// bar) and a month, the bill and charge lines of that household and month, and
// the buttons for single entry, continuous entry and finding a door number.
class BillEntryWindow : public QWidget {
    Q_OBJECT
public:
    explicit BillEntryWindow(Services& services, QWidget* parent = nullptr);

    RecordSet* households() const { return households_; }
    RecordSet* bill() const { return bill_; }
    RecordSet* fixedLines() const { return fixedLines_; }
    RecordSet* meteredLines() const { return meteredLines_; }
    NavBar* navBar() const { return nav_; }
    QLineEdit* monthBox() const { return month_; }
    QLineEdit* doorBox() const { return door_; }
    QLineEdit* nameBox() const { return name_; }
    QLineEdit* noteBox() const { return note_; }
    QLineEdit* chargeBox() const { return charge_; }
    QLineEdit* cashBox() const { return cash_; }
    QLineEdit* paidOnBox() const { return paidOn_; }
    QLineEdit* balanceBox() const { return balance_; }
    QLineEdit* monthBalanceBox() const { return monthBalance_; }
    QLineEdit* areaBox() const { return area_; }
    QCheckBox* paidBox() const { return paid_; }
    RecordSetGrid* fixedGrid() const { return grid1_; }
    RecordSetGrid* meteredGrid() const { return grid2_; }
    QPushButton* singleButton() const { return single_; }
    QPushButton* continuousButton() const { return continuous_; }
    QPushButton* findButton() const { return find_; }
    QPushButton* closeButton() const { return close_; }

    // Shows the bill and lines of the door number and month in the boxes and makes
    // that household current.
    void showBill();
    void singleEntry();
    void continuousEntry();
    void findDoor();
    // The month check; true (after showing the bill) when the month box holds a month.
    bool checkMonth();
    // Writes the window's own pending edits and re-reads the shared bill, line and
    // household sets; false (after the message) when the edits could not be written.
    bool unload();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void householdMoved();
    // A paid bill's money moves only through collection, re-entry and reversal: its
    // boxes are shown, not edited.
    void lockPaidBill();
    void loadBill();  // throws StoreError
    bool flushOwnEdits();
    void report(const QString& what, const QString& message);

    Services& services_;
    RecordSet* households_;
    RecordSet* bill_;
    RecordSet* fixedLines_;
    RecordSet* meteredLines_;
    NavBar* nav_;
    QLineEdit* month_;
    QLineEdit* door_;
    QLineEdit* name_;
    QLineEdit* phone_;
    QLineEdit* area_;
    QLineEdit* note_;
    QLineEdit* balance_;
    QLineEdit* monthBalance_;
    QLineEdit* charge_;
    QLineEdit* cash_;
    QLineEdit* paidOn_;
    QCheckBox* paid_;
    RecordSetGrid* grid1_;
    RecordSetGrid* grid2_;
    QPushButton* single_;
    QPushButton* continuous_;
    QPushButton* find_;
    QPushButton* close_;
    bool showing_ = false;
    bool checking_ = false;
};
