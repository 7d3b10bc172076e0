#pragma once

#include "common/numbers.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QVariant>
#include <functional>

class Database;
class RecordSet;

// One item of 项目 as bill entry reads it.
struct BillItem {
    QVariant no;
    QString name;
    QVariant fixed;
    bool computed = false;  // 计算标志: quantity × price, lines in 收费2
    bool metered = false;   // 项目标志 (with 计算标志): a reading with a previous one
    bool byArea = false;    // 按面积
    // The name a new line gets: the item name, "(按面积)" after it for area items.
    QString lineName() const;
    // Needs a number from the operator: a reading or a quantity.
    bool needsNumber() const { return computed; }
};

// The items in the order of the set (项目号 ascending in the shared set).
QList<BillItem> chargeItems(RecordSet& items);

// The price or amount offered for an item: its 固定收费, "0" when empty.
QString offeredFixed(const QVariant& fixed);

// The previous reading of a metered item, as bill entry finds it: the 本月数 of the
// household's line of the item in the latest earlier month that has one, else 0.
double previousReading(Database& db, const QString& door, const QVariant& itemNo, const QString& month);
// The same for several items in one statement, by 项目号 (items without one are left out).
QHash<QString, double> previousReadings(Database& db, const QString& door, const QList<QVariant>& itemNos,
                                        const QString& month);

// The numbers that fill one household's lines. Single entry asks the operator for
// each; the month's run reads them from the reading sheet.
class BillAnswers {
public:
    virtual ~BillAnswers() = default;
    // This month's reading of a metered item; `previous` is the reading found.
    virtual double reading(const BillItem& item, double previous) = 0;
    // Asked once when the reading is below the previous one: the previous reading to use.
    virtual double correctedPrevious(const BillItem& item, double previous) = 0;
    // The quantity of a quantity item.
    virtual double quantity(const BillItem& item) = 0;
    // The unit price of a metered or quantity item.
    virtual double price(const BillItem& item) = 0;
    // The amount of a fixed item, before the area.
    virtual double amount(const BillItem& item) = 0;
};

// Writes one household's bill of the month, from the step that marks it unpaid:
// a new bill row when `billId` is 0 (门牌号, 月份, 实缴金额 0, 收费金额 0, 其他说明 =
// `note`, 缴费标志 0), else 缴费标志 set back to 0; one line per item in 收费1 or 收费2,
// created when missing (named by lineName()) or rewritten; the bill total as the
// sum of the amounts its lines hold. Every row is saved at its step; the caller
// decides whether they share a transaction. Returns the bill's ID.
qint64 writeBill(Database& db, const QString& door, const QString& month, const QString& note, double area,
                 qint64 billId, const QList<BillItem>& items, BillAnswers& answers);

// A household's bill worked out before anything is written, as writeBill would write
// it: the same lines, amounts and total. Reads only; the answers may throw.
struct BillDraft {
    struct Rewrite {
        bool computed = false;  // a line of 收费2, else of 收费1
        qint64 id = 0;
        double previous = 0, current = 0, price = 0, amount = 0;
    };
    QString door, month;
    qint64 billId = 0;
    double total = 0;
    bool linesFound[2] = {false, false};  // the month already holds lines of 收费1, 收费2
    QList<Rewrite> rewritten;
    QList<QVariantList> newLines[2];  // new rows of 收费1, 收费2 in column order
};
BillDraft draftBill(Database& db, const QString& door, const QString& month, double area, qint64 billId,
                    const QList<BillItem>& items, BillAnswers& answers);
// Writes a draft: the bill with its total in one statement, the new lines of each
// table in one. Returns the bill's ID.
qint64 saveBill(Database& db, const BillDraft& draft, const QString& note);
