#pragma once

#include <QString>
#include <memory>

class Database;
struct RowWrite;

// Every charge item needs an item number of its own: bill entry finds an item's
// charge line by it, and an item without one, or with another item's, adds a new
// line at every re-entry. Numbers compare without surrounding blanks and, for
// Latin letters, without regard to case.
class ItemNumbers {
public:
    // Why the item row being written may not be stored, or an empty text when it
    // may. An edit that leaves 项目号 alone is not checked. Reads the other items
    // from the database (inside the writing transaction).
    static QString refusal(Database& db, const RowWrite& write);

    // Refuses (StoreError) every row of 项目 that a record set writes while `owner`
    // exists; the hook does nothing once it is gone.
    static void guard(Database& db, const std::shared_ptr<void>& owner);
};
