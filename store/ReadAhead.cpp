#include "store/ReadAhead.h"

#include <sqlite3.h>

#include <cstring>
#include <mutex>
#include <new>
#include <vector>

namespace melodeck::readahead {

namespace {

// Bytes read ahead at most while the pages are small: 32 pages of 4 KiB.
// Pages of 32 KiB and more are read ahead eight at a time instead.
constexpr int kWindow = 128 * 1024;
// A file control of this layer's own: drop what was read ahead.
constexpr int kForget = 0x4D444B01;

sqlite3_vfs* base() {
    return static_cast<sqlite3_vfs*>(sqlite3_vfs_find(VfsName())->pAppData);
}

// What one open main database file has read ahead, and how it was read.
struct Ahead {
    // The bytes read ahead, from windowStart on, when held: always as many
    // as the last read into it asked for, since every read into it asks for
    // its size. It keeps its memory between windows of the same size.
    std::vector<char> window;
    sqlite3_int64 windowStart = 0;
    bool held = false;
    // Where the last read asked for ended, and how many reads in a row began
    // at or a little after it: reading ahead pays only for a scan, not for
    // a look-up.
    sqlite3_int64 lastEnd = -1;
    int inSequence = 0;
    // How much to read at once, and how much of the window now held was
    // asked for: a scan whose pages lie far apart (an index whose pages lie
    // between its table's) would otherwise read the whole file to use a
    // tenth of it. adjacent: reads in a row that began where the last ended.
    size_t size = kWindow;
    size_t served = 0;
    int adjacent = 0;

    void forget() {
        held = false;
        served = 0;
        size = kWindow;
    }
    bool holds(sqlite3_int64 offset, int amount) const {
        return held && offset >= windowStart &&
               offset + amount <= windowStart + sqlite3_int64(window.size());
    }
    // After a window: read ahead less when little of it was used, more again
    // when most of it was. Below four pages nothing is read ahead, until
    // reads run on without a gap again.
    void adapt(int amount) {
        const size_t read = held ? window.size() : 0, page = size_t(amount);
        if (read > 0) {
            if (served * 4 < read)
                size /= 4;
            else if (served * 2 < read)
                size /= 2;
            else if (served * 4 >= read * 3 && size < kWindow)
                size *= 2;
        }
        if (size < 4 * page)
            size = adjacent >= 8 ? 8 * page : 0;
    }
};

// The file as the engine holds it: this layer's methods first, the base
// layer's file right after it in the memory the engine gives.
struct File {
    sqlite3_file methods;
    sqlite3_file* real;
    Ahead* ahead; // main database files only
};

File* self(sqlite3_file* f) {
    return reinterpret_cast<File*>(f);
}
const sqlite3_io_methods* realMethods(sqlite3_file* f) {
    return self(f)->real->pMethods;
}

void forget(sqlite3_file* f) {
    if (Ahead* a = self(f)->ahead)
        a->forget();
}

// Without the memory for a window, the page asked for is read on its own.
bool resize(std::vector<char>& v, size_t n) {
    try {
        v.resize(n);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

int xClose(sqlite3_file* f) {
    File* file = self(f);
    const int rc = file->real->pMethods ? file->real->pMethods->xClose(file->real) : SQLITE_OK;
    delete file->ahead;
    file->ahead = nullptr;
    return rc;
}

int xRead(sqlite3_file* f, void* out, int amount, sqlite3_int64 offset) {
    File* file = self(f);
    Ahead* a = file->ahead;
    if (!a || amount <= 0)
        return realMethods(f)->xRead(file->real, out, amount, offset);
    const bool inside = a->holds(offset, amount);
    // A little forward of the last read still counts: a table's pages lie
    // between those of its indexes.
    const bool onward = offset >= a->lastEnd && offset - a->lastEnd < kWindow;
    a->inSequence = onward ? a->inSequence + 1 : 0;
    a->adjacent = offset == a->lastEnd ? a->adjacent + 1 : 0;
    a->lastEnd = offset + amount;
    if (!inside && a->inSequence >= 2) {
        a->adapt(amount);
        a->held = false;
        a->served = 0;
        const auto size = sqlite3_int64(a->size);
        const sqlite3_int64 start = size > 0 ? offset - offset % size : offset;
        if (size >= 4 * sqlite3_int64(amount) && offset + amount <= start + size) {
            if (!resize(a->window, a->size))
                return realMethods(f)->xRead(file->real, out, amount, offset);
            // A read past the end (the file's last pages) is not kept: the
            // engine's own short-read rule then applies to the page asked for.
            a->held = realMethods(f)->xRead(file->real, a->window.data(), int(a->window.size()),
                                            start) == SQLITE_OK;
            a->windowStart = start;
        }
    }
    if (a->holds(offset, amount)) {
        std::memcpy(out, a->window.data() + (offset - a->windowStart), size_t(amount));
        a->served += size_t(amount);
        return SQLITE_OK;
    }
    return realMethods(f)->xRead(file->real, out, amount, offset);
}

int xWrite(sqlite3_file* f, const void* data, int amount, sqlite3_int64 offset) {
    forget(f);
    return realMethods(f)->xWrite(self(f)->real, data, amount, offset);
}
int xTruncate(sqlite3_file* f, sqlite3_int64 size) {
    forget(f);
    return realMethods(f)->xTruncate(self(f)->real, size);
}
int xSync(sqlite3_file* f, int flags) {
    return realMethods(f)->xSync(self(f)->real, flags);
}
int xFileSize(sqlite3_file* f, sqlite3_int64* size) {
    return realMethods(f)->xFileSize(self(f)->real, size);
}
int xLock(sqlite3_file* f, int level) {
    forget(f);
    return realMethods(f)->xLock(self(f)->real, level);
}
int xUnlock(sqlite3_file* f, int level) {
    forget(f);
    return realMethods(f)->xUnlock(self(f)->real, level);
}
int xCheckReservedLock(sqlite3_file* f, int* out) {
    return realMethods(f)->xCheckReservedLock(self(f)->real, out);
}
int xFileControl(sqlite3_file* f, int op, void* arg) {
    if (op == kForget) {
        forget(f);
        return SQLITE_OK;
    }
    return realMethods(f)->xFileControl(self(f)->real, op, arg);
}
int xSectorSize(sqlite3_file* f) {
    return realMethods(f)->xSectorSize(self(f)->real);
}
int xDeviceCharacteristics(sqlite3_file* f) {
    return realMethods(f)->xDeviceCharacteristics(self(f)->real);
}
int xShmMap(sqlite3_file* f, int region, int size, int extend, void volatile** out) {
    return realMethods(f)->xShmMap(self(f)->real, region, size, extend, out);
}
int xShmLock(sqlite3_file* f, int offset, int n, int flags) {
    // A read lock of the log taken or let go: a read transaction begins or ends.
    forget(f);
    return realMethods(f)->xShmLock(self(f)->real, offset, n, flags);
}
void xShmBarrier(sqlite3_file* f) {
    realMethods(f)->xShmBarrier(self(f)->real);
}
int xShmUnmap(sqlite3_file* f, int deleteFlag) {
    return realMethods(f)->xShmUnmap(self(f)->real, deleteFlag);
}
int xFetch(sqlite3_file* f, sqlite3_int64 offset, int amount, void** out) {
    // No memory-mapped reads: an I/O error must stay an error.
    (void)f, (void)offset, (void)amount;
    *out = nullptr;
    return SQLITE_OK;
}
int xUnfetch(sqlite3_file* f, sqlite3_int64 offset, void* page) {
    (void)f, (void)offset, (void)page;
    return SQLITE_OK;
}

const sqlite3_io_methods kMethods = {
    3,
    xClose,
    xRead,
    xWrite,
    xTruncate,
    xSync,
    xFileSize,
    xLock,
    xUnlock,
    xCheckReservedLock,
    xFileControl,
    xSectorSize,
    xDeviceCharacteristics,
    xShmMap,
    xShmLock,
    xShmBarrier,
    xShmUnmap,
    xFetch,
    xUnfetch,
};

int xOpen(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* f, int flags, int* outFlags) {
    File* file = self(f);
    file->real = reinterpret_cast<sqlite3_file*>(file + 1);
    f->pMethods = nullptr;
    sqlite3_vfs* b = base();
    const int rc = b->xOpen(b, name, file->real, flags, outFlags);
    // The engine closes a file that failed to open only when it has methods.
    if (!file->real->pMethods) {
        file->ahead = nullptr;
        return rc;
    }
    // Without the memory for it, the file is read as the base layer reads it.
    file->ahead = (flags & SQLITE_OPEN_MAIN_DB) ? new (std::nothrow) Ahead : nullptr;
    f->pMethods = &kMethods;
    return rc;
}

int xDelete(sqlite3_vfs*, const char* name, int syncDir) {
    return base()->xDelete(base(), name, syncDir);
}
int xAccess(sqlite3_vfs*, const char* name, int flags, int* out) {
    return base()->xAccess(base(), name, flags, out);
}
int xFullPathname(sqlite3_vfs*, const char* name, int n, char* out) {
    return base()->xFullPathname(base(), name, n, out);
}
void* xDlOpen(sqlite3_vfs*, const char* name) {
    return base()->xDlOpen(base(), name);
}
void xDlError(sqlite3_vfs*, int n, char* out) {
    base()->xDlError(base(), n, out);
}
void (*xDlSym(sqlite3_vfs*, void* h, const char* sym))(void) {
    return base()->xDlSym(base(), h, sym);
}
void xDlClose(sqlite3_vfs*, void* h) {
    base()->xDlClose(base(), h);
}
int xRandomness(sqlite3_vfs*, int n, char* out) {
    return base()->xRandomness(base(), n, out);
}
int xSleep(sqlite3_vfs*, int us) {
    return base()->xSleep(base(), us);
}
int xCurrentTime(sqlite3_vfs*, double* out) {
    return base()->xCurrentTime(base(), out);
}
int xGetLastError(sqlite3_vfs*, int n, char* out) {
    return base()->xGetLastError(base(), n, out);
}
int xCurrentTimeInt64(sqlite3_vfs*, sqlite3_int64* out) {
    return base()->xCurrentTimeInt64(base(), out);
}

} // namespace

const char* VfsName() {
    static std::once_flag once;
    static sqlite3_vfs vfs;
    std::call_once(once, [] {
        sqlite3_vfs* b = sqlite3_vfs_find(nullptr);
        vfs = sqlite3_vfs{};
        vfs.iVersion = 2;
        vfs.szOsFile = int(sizeof(File)) + b->szOsFile;
        vfs.mxPathname = b->mxPathname;
        vfs.zName = "melodeck-readahead";
        vfs.pAppData = b;
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
        sqlite3_vfs_register(&vfs, 0);
    });
    return vfs.zName;
}

void Forget(sqlite3* db) {
    // Its only other answer, "not found", comes from a file of another layer
    // or one not open, which has nothing read ahead to drop.
    int unused = 0;
    (void)sqlite3_file_control(db, "main", kForget, &unused);
}

} // namespace melodeck::readahead
