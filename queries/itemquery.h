#pragma once

#include "queries/querycells.h"
#include "queries/querytable.h"

#include <QString>
#include <QVariant>
#include <optional>

class Database;
class QueryProgress;
class RecordSet;

// A charge item as the query needs it.
struct ChargeItem {
    QString number;  // 项目号
    QString name;    // 项目名
    bool metered = false;  // 计算标志: lines in 收费2, the eight-column layout
};

// One item's charge lines over a month range, household by household, with the
// total of the amounts.
class ItemQuery {
public:
    // The three buttons: "开始查询", "未缴统计", "已缴统计".
    enum class Variant { Details, Unpaid, Paid };

    explicit ItemQuery(Database& db) : db_(db) {}

    // The table, or std::nullopt when the operator cancelled. Throws StoreError.
    std::optional<QueryTable> run(Variant variant, const ChargeItem& item, const QString& itemBoxText,
                                  const QueryRange& range, QueryProgress* progress = nullptr);

    // The all-items mode letter a button passes on when the item box shows "全部项目".
    static QString modeLetter(Variant variant);
    static QString statusLine(Variant variant, const QString& itemBoxText);
    static QStringList headers(bool metered);
    // The column of the amount: sub-item 6 (metered) or 3 (fixed).
    static int amountColumn(bool metered) { return metered ? 6 : 3; }
    static QString allItemsText() { return QStringLiteral("全部项目"); }

    // The item the item box names: the chosen item when the box still shows its
    // name, else the first item of that name, else none.
    static std::optional<ChargeItem> itemNamed(RecordSet& items, const QString& text,
                                               const QVariant& chosenNumber = QVariant());
    static QString unknownItemMessage(const QString& text);

private:
    Database& db_;
};
