#pragma once

#include "queries/querycells.h"
#include "queries/querytable.h"

#include <QString>
#include <optional>

class Database;
class QueryProgress;

// Whole bills of all items over a month range, grouped by door number (latest
// month first), and the sums of the bills listed.
class AllItemsQuery {
public:
    explicit AllItemsQuery(Database& db) : db_(db) {}

    // Mode letter "A": paid bills; "B": unpaid bills; anything else: all bills.
    // The table, or std::nullopt when the operator cancelled. Throws StoreError.
    std::optional<QueryTable> run(const QString& mode, const QueryRange& range, QueryProgress* progress = nullptr);

    static PaidState paidState(const QString& mode);
    static QString statusLine(const QString& mode);
    static QStringList headers();

private:
    Database& db_;
};
