#pragma once
// The one SQLite of the process: SQLCipher's.
#include <sqlcipher/sqlite3.h>
