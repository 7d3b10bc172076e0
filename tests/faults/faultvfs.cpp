#include "faultvfs.h"

#include "store/sqlite.h"

#include <atomic>
#include <csignal>
#include <cstring>
#include <mutex>
#include <unistd.h>

#include <QStringList>

namespace {

struct State {
    FaultVfs::Action action = FaultVfs::Action::Count;
    int n = 0;
    int code = 0;
    int events = 0;
    int syncs = 0;
    QStringList synced;
    bool fired = false;
    QString lastFile;
} state;

sqlite3_vfs* real = nullptr;
sqlite3_vfs vfs;
sqlite3_io_methods methods;

struct File {
    sqlite3_file base;  // pMethods = &methods
    const char* name;
    sqlite3_file* real;  // follows in the same allocation
};

sqlite3_file* realOf(sqlite3_file* f) { return reinterpret_cast<File*>(f)->real; }

// Called before the Nth operation is done: returns the error code of an armed
// failure, else 0.
int before(const char* name)
{
    ++state.events;
    state.lastFile = name ? QString::fromUtf8(name) : QString();
    if (state.events == state.n && state.action == FaultVfs::Action::Fail) {
        state.fired = true;
        return state.code;
    }
    return 0;
}

// Called after the operation reached the file: an armed kill happens here.
int after(int rc)
{
    if (state.events == state.n && state.action == FaultVfs::Action::Kill) {
        ::kill(::getpid(), SIGKILL);
        ::pause();
    }
    return rc;
}

const char* nameOf(sqlite3_file* f) { return reinterpret_cast<File*>(f)->name; }

int xClose(sqlite3_file* f)
{
    sqlite3_file* r = realOf(f);
    const int rc = r->pMethods ? r->pMethods->xClose(r) : SQLITE_OK;
    return rc;
}
int xRead(sqlite3_file* f, void* p, int n, sqlite3_int64 off) { return realOf(f)->pMethods->xRead(realOf(f), p, n, off); }
int xWrite(sqlite3_file* f, const void* p, int n, sqlite3_int64 off)
{
    if (int rc = before(nameOf(f)))
        return rc == SQLITE_FULL ? SQLITE_FULL : SQLITE_IOERR_WRITE;
    return after(realOf(f)->pMethods->xWrite(realOf(f), p, n, off));
}
int xTruncate(sqlite3_file* f, sqlite3_int64 size) { return realOf(f)->pMethods->xTruncate(realOf(f), size); }
int xSync(sqlite3_file* f, int flags)
{
    ++state.syncs;
    state.synced << QString::fromUtf8(nameOf(f));
    if (int rc = before(nameOf(f)))
        return rc == SQLITE_FULL ? SQLITE_FULL : SQLITE_IOERR_FSYNC;
    return after(realOf(f)->pMethods->xSync(realOf(f), flags));
}
int xFileSize(sqlite3_file* f, sqlite3_int64* size) { return realOf(f)->pMethods->xFileSize(realOf(f), size); }
int xLock(sqlite3_file* f, int l) { return realOf(f)->pMethods->xLock(realOf(f), l); }
int xUnlock(sqlite3_file* f, int l) { return realOf(f)->pMethods->xUnlock(realOf(f), l); }
int xCheckReservedLock(sqlite3_file* f, int* out) { return realOf(f)->pMethods->xCheckReservedLock(realOf(f), out); }
int xFileControl(sqlite3_file* f, int op, void* arg) { return realOf(f)->pMethods->xFileControl(realOf(f), op, arg); }
int xSectorSize(sqlite3_file* f) { return realOf(f)->pMethods->xSectorSize(realOf(f)); }
int xDeviceCharacteristics(sqlite3_file* f) { return realOf(f)->pMethods->xDeviceCharacteristics(realOf(f)); }
// The WAL index in <file>-shm is shared memory, rebuilt from the -wal after a crash:
// passed through, not counted.
int xShmMap(sqlite3_file* f, int page, int size, int extend, void volatile** out)
{
    return realOf(f)->pMethods->xShmMap(realOf(f), page, size, extend, out);
}
int xShmLock(sqlite3_file* f, int offset, int n, int flags) { return realOf(f)->pMethods->xShmLock(realOf(f), offset, n, flags); }
void xShmBarrier(sqlite3_file* f) { realOf(f)->pMethods->xShmBarrier(realOf(f)); }
int xShmUnmap(sqlite3_file* f, int deleteFlag) { return realOf(f)->pMethods->xShmUnmap(realOf(f), deleteFlag); }

int xOpen(sqlite3_vfs*, const char* name, sqlite3_file* f, int flags, int* outFlags)
{
    File* w = reinterpret_cast<File*>(f);
    w->name = name;
    w->real = reinterpret_cast<sqlite3_file*>(w + 1);
    w->real->pMethods = nullptr;
    const int rc = real->xOpen(real, name, w->real, flags, outFlags);
    // The WAL needs the shared-memory methods of version 2; memory maps are not used.
    w->base.pMethods = w->real->pMethods ? &methods : nullptr;
    return rc;
}

// Deleting a rollback journal commits its transaction; a kill point after it sees the change whole.
int xDelete(sqlite3_vfs*, const char* name, int syncDir)
{
    if (int rc = before(name))
        return rc == SQLITE_FULL ? SQLITE_FULL : SQLITE_IOERR_DELETE;
    return after(real->xDelete(real, name, syncDir));
}
int xAccess(sqlite3_vfs*, const char* name, int flags, int* out) { return real->xAccess(real, name, flags, out); }
int xFullPathname(sqlite3_vfs*, const char* name, int n, char* out) { return real->xFullPathname(real, name, n, out); }
void* xDlOpen(sqlite3_vfs*, const char* name) { return real->xDlOpen(real, name); }
void xDlError(sqlite3_vfs*, int n, char* msg) { real->xDlError(real, n, msg); }
void (*xDlSym(sqlite3_vfs*, void* h, const char* sym))(void) { return real->xDlSym(real, h, sym); }
void xDlClose(sqlite3_vfs*, void* h) { real->xDlClose(real, h); }
int xRandomness(sqlite3_vfs*, int n, char* out) { return real->xRandomness(real, n, out); }
int xSleep(sqlite3_vfs*, int us) { return real->xSleep(real, us); }
int xCurrentTime(sqlite3_vfs*, double* t) { return real->xCurrentTime(real, t); }
int xGetLastError(sqlite3_vfs*, int n, char* msg) { return real->xGetLastError ? real->xGetLastError(real, n, msg) : 0; }
int xCurrentTimeInt64(sqlite3_vfs*, sqlite3_int64* t) { return real->xCurrentTimeInt64(real, t); }

}  // namespace

namespace FaultVfs {

void install()
{
    static std::once_flag once;
    std::call_once(once, [] {
        sqlite3_initialize();
        real = sqlite3_vfs_find(nullptr);
        std::memset(&vfs, 0, sizeof vfs);
        vfs.iVersion = 2;
        vfs.szOsFile = int(sizeof(File)) + real->szOsFile;
        vfs.mxPathname = real->mxPathname;
        vfs.zName = "fenwary-fault";
        vfs.xOpen = xOpen;
        vfs.xDelete = xDelete;
        vfs.xAccess = xAccess;
        vfs.xFullPathname = xFullPathname;
        vfs.xDlOpen = xDlOpen;
        vfs.xDlError = xDlError;
        vfs.xDlSym = xDlSym;
        vfs.xDlClose = xDlClose;
        vfs.xRandomness = xRandomness;
        vfs.xSleep = xSleep;
        vfs.xCurrentTime = xCurrentTime;
        vfs.xGetLastError = xGetLastError;
        vfs.xCurrentTimeInt64 = xCurrentTimeInt64;

        std::memset(&methods, 0, sizeof methods);
        methods.iVersion = 2;
        methods.xClose = xClose;
        methods.xRead = xRead;
        methods.xWrite = xWrite;
        methods.xTruncate = xTruncate;
        methods.xSync = xSync;
        methods.xFileSize = xFileSize;
        methods.xLock = xLock;
        methods.xUnlock = xUnlock;
        methods.xCheckReservedLock = xCheckReservedLock;
        methods.xFileControl = xFileControl;
        methods.xSectorSize = xSectorSize;
        methods.xDeviceCharacteristics = xDeviceCharacteristics;
        methods.xShmMap = xShmMap;
        methods.xShmLock = xShmLock;
        methods.xShmBarrier = xShmBarrier;
        methods.xShmUnmap = xShmUnmap;
        sqlite3_vfs_register(&vfs, 1);
    });
}

void arm(Action action, int n, int errorCode)
{
    state.action = action;
    state.n = n;
    state.code = errorCode;
    state.events = 0;
    state.syncs = 0;
    state.synced.clear();
    state.fired = false;
}

void disarm()
{
    state.action = Action::Count;
    state.n = 0;
}

int events() { return state.events; }
int syncs() { return state.syncs; }
QStringList syncedFiles() { return state.synced; }
bool fired() { return state.fired; }
QString lastFile() { return state.lastFile; }

}  // namespace FaultVfs
