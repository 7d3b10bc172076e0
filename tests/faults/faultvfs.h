#pragma once

#include <QString>
#include <QStringList>

// A SQLite VFS wrapping the default one of SQLCipher and made the default, so every
// connection opened after install() writes through it. It counts the writes, syncs
// and deletions (of journals) that reach the disk and can act on the Nth one: kill
// the process with SIGKILL right after it is done, or fail it with an error code
// instead of doing it.
namespace FaultVfs {

enum class Action { Count, Kill, Fail };

// Registers the VFS as the default (once per process).
void install();

// Counts from zero again; the Nth write or sync (1-based) gets `action`.
void arm(Action action, int n = 0, int errorCode = 0);
void disarm();  // counting only, nothing fires

int events();     // writes, syncs and deletions since the last arm()
int syncs();      // syncs since the last arm()
QStringList syncedFiles();  // the file of each of them
bool fired();     // the armed failure was injected
QString lastFile();  // the file of the last event

}  // namespace FaultVfs
