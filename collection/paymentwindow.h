#pragma once

#include "collection/collection.h"

#include <QWidget>
#include <functional>

class Binder;
class QGroupBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class RecordSetGrid;
struct ReceiptData;
struct Services;

// The payment window: a household's bills, the lines of the selected bill,
// collection of the bill and its receipt. Everything it shows is the shared record
// sets; its handlers narrow them to the household's bills and the bill's lines.
class PaymentWindow : public QWidget {
    Q_OBJECT
public:
    explicit PaymentWindow(Services& services, QWidget* parent = nullptr);
    ~PaymentWindow() override;

    // Where receipts go; by default the default printer (or a preview).
    using ReceiptSink = std::function<void(const ReceiptData&)>;
    void setReceiptSink(ReceiptSink sink) { sink_ = std::move(sink); }

    RecordSetGrid* householdGrid() const { return grid1_; }
    RecordSetGrid* billGrid() const { return grid2_; }
    RecordSetGrid* fixedGrid() const { return grid3_; }
    RecordSetGrid* meteredGrid() const { return grid4_; }
    QPlainTextEdit* remarksBox() const { return text1_; }

    // The handlers of the window's buttons and grids.
    void householdChanged();
    void billChanged();
    void showPaid();
    void showUnpaid();
    void showAll();
    void collect();
    // 冲正 of the current bill's collection (level A only).
    void reverse();
    void printCurrent();
    void previewCurrent();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    enum class Bills { All, Paid, Unpaid };
    void filterBills(Bills which);
    void print(bool preview);
    void fail(const QString& what, const QString& message);
    void unload();
    // Tells the operator what became of collections whose commit went unanswered.
    void tellUnanswered();

    Services& s_;
    ReceiptSink sink_;
    RecordSetGrid* grid1_ = nullptr;
    RecordSetGrid* grid2_ = nullptr;
    RecordSetGrid* grid3_ = nullptr;
    RecordSetGrid* grid4_ = nullptr;
    QPlainTextEdit* text1_ = nullptr;
    Binder* householdBinder_ = nullptr;
    Binder* billBinder_ = nullptr;
    QList<Collection::Unanswered> unanswered_;
    Database* db_ = nullptr;
    int connectionListener_ = 0;
};
