#pragma once

#include "accounts/ledger.h"

class Clock;
class DataEnvironment;
struct AppContext;

namespace Accounts {
// Makes the file's ledger ready and registers the hooks through which every row a
// record set writes to 档案库 keeps it: a new household's opening balance (期初), a
// balance changed in a window (调整, new − stored) and a door number changed (its
// movements follow). Called once where the data environment of a run is made.
void install(DataEnvironment& env, const AppContext& app, const Clock& clock);

// A ledger writing as the logged-in operator at the clock's time.
Ledger ledger(Database& db, const AppContext& app, const Clock& clock);
}  // namespace Accounts
