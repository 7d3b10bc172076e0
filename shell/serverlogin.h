#pragma once

#include <QString>
#include <memory>

class Database;
class Prompter;

namespace ServerLogin {
// Connects to a server database. When the server wants a password that neither
// ~/.pgpass nor a service file gives, the operator is asked for it (three times at
// most); it is sent once and kept nowhere. Null when the operator cancels; throws
// StoreError when the server cannot be used.
std::unique_ptr<Database> connect(const QString& conninfo, Prompter& prompter, const QString& title);
}  // namespace ServerLogin
