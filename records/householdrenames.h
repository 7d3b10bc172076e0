#pragma once

#include <QString>

class Database;
struct RowWrite;

// A household whose door number changes takes its bills and both kinds of charge
// lines along, in the transaction that writes the household row. A door number
// that another household already has is refused and nothing changes.
class HouseholdRenames {
public:
    static QString duplicateText();
    // Installs the rule on the connection (once, however often it is called).
    static void install(Database& db);
    // The rule itself, run before the household row is written.
    static void follow(Database& db, const RowWrite& write);
};
