#include "store/ReadAhead.h"

#include <sqlite3.h>

#include <cstring>
#include <mutex>

namespace melodeck::readahead {

namespace {

// Bytes read at once: 32 pages of the usual 4 KiB.
constexpr int kWindow = 128 * 1024;
// A file control of this layer's own: drop what was read ahead.
constexpr int kForget = 0x4D444B01;

sqlite3_vfs* base() {
    return static_cast<sqlite3_vfs*>(sqlite3_vfs_find(VfsName())->pAppData);
}

struct File {
    sqlite3_file methods; // first: what the engine sees
    sqlite3_file* real;   // the base layer's file, right after this object
    bool mainDb;
    char* window;
    sqlite3_int64 windowStart;
    int windowBytes; // 0: nothing read ahead
    // Where the last read asked for ended, and how many reads in a row began
    // at or a little after it: reading ahead pays only for a scan, not for
    // a look-up.
    sqlite3_int64 lastEnd;
    int inSequence;
    // How much to read at once, and how much of the window now held was
    // asked for: a scan whose pages lie far apart (an index whose pages lie
    // between its table's) would otherwise read the whole file to use a
    // tenth of it. adjacent: reads in a row that began where the last ended.
    int size;
    int served;
    int adjacent;
};

File* self(sqlite3_file* f) {
    return reinterpret_cast<File*>(f);
}
const sqlite3_io_methods* realMethods(sqlite3_file* f) {
    return self(f)->real->pMethods;
}

void forget(File* f) {
    f->windowBytes = 0;
    f->served = 0;
    f->size = kWindow;
}

// After a window: read ahead less when little of it was used, more again
// when most of it was. Below four pages nothing is read ahead, until reads
// run on without a gap again.
void adapt(File* f, int amount) {
    if (f->windowBytes > 0) {
        if (f->served * 4 < f->windowBytes)
            f->size /= 4;
        else if (f->served * 2 < f->windowBytes)
            f->size /= 2;
        else if (f->served * 4 >= f->windowBytes * 3 && f->size < kWindow)
            f->size *= 2;
    }
    if (f->size < 4 * amount)
        f->size = f->adjacent >= 8 ? 8 * amount : 0;
}

int xClose(sqlite3_file* f) {
    File* file = self(f);
    const int rc = file->real->pMethods ? file->real->pMethods->xClose(file->real) : SQLITE_OK;
    sqlite3_free(file->window);
    file->window = nullptr;
    return rc;
}

int xRead(sqlite3_file* f, void* out, int amount, sqlite3_int64 offset) {
    File* file = self(f);
    if (!file->mainDb || amount > kWindow)
        return realMethods(f)->xRead(file->real, out, amount, offset);
    const bool inside = file->windowBytes > 0 && offset >= file->windowStart &&
                        offset + amount <= file->windowStart + file->windowBytes;
    // A little forward of the last read still counts: a table's pages lie
    // between those of its indexes.
    const bool onward = offset >= file->lastEnd && offset - file->lastEnd < kWindow;
    file->inSequence = onward ? file->inSequence + 1 : 0;
    file->adjacent = offset == file->lastEnd ? file->adjacent + 1 : 0;
    file->lastEnd = offset + amount;
    if (!inside && file->inSequence >= 2) {
        adapt(file, amount);
        file->windowBytes = 0;
        file->served = 0;
        const sqlite3_int64 start = file->size > 0 ? offset - offset % file->size : offset;
        if (file->size >= 4 * amount && offset + amount <= start + file->size) {
            if (!file->window)
                file->window = static_cast<char*>(sqlite3_malloc(kWindow));
            // A read past the end (the file's last pages) is not kept: the
            // engine's own short-read rule then applies to the page asked for.
            if (file->window &&
                realMethods(f)->xRead(file->real, file->window, file->size, start) == SQLITE_OK) {
                file->windowStart = start;
                file->windowBytes = file->size;
            }
        }
    }
    if (file->windowBytes > 0 && offset >= file->windowStart &&
        offset + amount <= file->windowStart + file->windowBytes) {
        std::memcpy(out, file->window + (offset - file->windowStart), size_t(amount));
        file->served += amount;
        return SQLITE_OK;
    }
    return realMethods(f)->xRead(file->real, out, amount, offset);
}

int xWrite(sqlite3_file* f, const void* data, int amount, sqlite3_int64 offset) {
    forget(self(f));
    return realMethods(f)->xWrite(self(f)->real, data, amount, offset);
}
int xTruncate(sqlite3_file* f, sqlite3_int64 size) {
    forget(self(f));
    return realMethods(f)->xTruncate(self(f)->real, size);
}
int xSync(sqlite3_file* f, int flags) {
    return realMethods(f)->xSync(self(f)->real, flags);
}
int xFileSize(sqlite3_file* f, sqlite3_int64* size) {
    return realMethods(f)->xFileSize(self(f)->real, size);
}
int xLock(sqlite3_file* f, int level) {
    forget(self(f));
    return realMethods(f)->xLock(self(f)->real, level);
}
int xUnlock(sqlite3_file* f, int level) {
    forget(self(f));
    return realMethods(f)->xUnlock(self(f)->real, level);
}
int xCheckReservedLock(sqlite3_file* f, int* out) {
    return realMethods(f)->xCheckReservedLock(self(f)->real, out);
}
int xFileControl(sqlite3_file* f, int op, void* arg) {
    if (op == kForget) {
        forget(self(f));
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
    forget(self(f));
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
    file->mainDb = (flags & SQLITE_OPEN_MAIN_DB) != 0;
    file->window = nullptr;
    file->windowStart = 0;
    file->lastEnd = -1;
    file->inSequence = 0;
    file->adjacent = 0;
    forget(file);
    f->pMethods = nullptr;
    sqlite3_vfs* b = base();
    const int rc = b->xOpen(b, name, file->real, flags, outFlags);
    // The engine closes a file that failed to open only when it has methods.
    if (file->real->pMethods)
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
    int unused = 0;
    sqlite3_file_control(db, "main", kForget, &unused);
}

} // namespace melodeck::readahead
