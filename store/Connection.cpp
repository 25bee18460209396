#include "store/Connection.h"

#include "common/VbError.h"
#include "store/EngineError.h"
#include "store/JetLike.h"
#include "store/Names.h"
#include "store/ReadAhead.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstring>

namespace melodeck {

namespace {

// A lock held by another program is reported after this long instead of
// leaving the window hanging.
constexpr int kBusyTimeoutMs = 2000;

// Read connections kept open for the next snapshot: one for each grid.
constexpr size_t kIdleReaders = 2;

// The size the write log is cut back to whenever it starts over.
constexpr const char* kLogSizeLimit = "PRAGMA journal_size_limit=4194304";

// Runs sql (statements whose rows are not wanted); the engine's result code.
int run(sqlite3* db, const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
}

// A lock held by another connection: what a call without waiting may meet.
bool heldUp(int rc) {
    return (rc & 0xFF) == SQLITE_BUSY || (rc & 0xFF) == SQLITE_LOCKED;
}

// The journal mode a "PRAGMA journal_mode..." statement gives back, or the
// engine's result code when it fails.
int journalMode(sqlite3* db, const char* sql, std::string& mode) {
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v2(db, sql, -1, &st, nullptr);
    if (rc == SQLITE_OK && (rc = sqlite3_step(st)) == SQLITE_ROW) {
        const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
        mode = t ? t : "";
        rc = SQLITE_OK;
    }
    sqlite3_finalize(st);
    return rc;
}

} // namespace

Connection::Connection(QString path, sqlite3* writer, bool readOnly)
    : path_(std::move(path)), writer_(writer), mode_(readOnly ? Mode::ReadOnly : Mode::Pending) {
    sqlite3_extended_result_codes(writer_, 1);
    sqlite3_busy_timeout(writer_, kBusyTimeoutMs);
    // Debian's engine zeroes every page a delete frees; an import frees the
    // whole song table and fills the same pages again at once. FAST still
    // clears what deletes leave in pages in use, at no extra writes.
    if (const int rc = run(writer_, "PRAGMA secure_delete=FAST"); rc != SQLITE_OK)
        raise(writer_, rc);
    if (readOnly)
        return;
    std::string mode;
    if (const int rc = journalMode(writer_, "PRAGMA journal_mode", mode); rc != SQLITE_OK)
        raise(writer_, rc);
    if (mode == "wal") {
        mode_ = Mode::Log;
        if (const int rc = run(writer_, kLogSizeLimit); rc != SQLITE_OK)
            raise(writer_, rc);
    }
}

Connection::~Connection() {
    sqlite3_finalize(dataVersion_);
    for (sqlite3* r : idle_)
        sqlite3_close_v2(r);
    if (mode_ == Mode::Switched) {
        // The last connection to the file folds the log back into it; the
        // file then goes back to its rollback journal, so that it stays one
        // file that also opens from a read-only folder. Another program
        // still using it makes the engine refuse: the file keeps the log
        // until that program ends, and nothing more can be done here.
        std::string mode;
        withoutWaiting([&] { return journalMode(writer_, "PRAGMA journal_mode=DELETE", mode); });
    }
    sqlite3_close_v2(writer_);
}

void Connection::raise(sqlite3* db, int rc) const {
    RaiseEngineError(path_, rc, sqlite3_errmsg(db));
}

int Connection::withoutWaiting(const std::function<int()>& call) {
    sqlite3_busy_timeout(writer_, 0);
    const int rc = call();
    sqlite3_busy_timeout(writer_, kBusyTimeoutMs);
    return rc;
}

bool Connection::useWriteLog() {
    if (mode_ != Mode::Pending)
        return true;
    // The snapshots held now keep every writer out, so the file's change
    // counter is what they saw. The switch moves it on by one; any other
    // write between their end and the switch moves it further, and any
    // write after the switch leaves frames in the log.
    const std::vector<std::shared_ptr<Snapshot>> held = live();
    std::uint32_t before = 0;
    const bool counted = !held.empty() && changeCounter(before);
    for (const auto& s : held)
        s->end();
    // Without waiting: a file another program holds locked now is read
    // without snapshots rather than opened late.
    std::string mode;
    const int rc =
        withoutWaiting([&] { return journalMode(writer_, "PRAGMA journal_mode=WAL", mode); });
    if (rc != SQLITE_OK && !heldUp(rc))
        raise(writer_, rc);
    mode_ = rc == SQLITE_OK && mode == "wal" ? Mode::Switched : Mode::Refused;
    if (mode_ == Mode::Switched)
        if (const int limit = run(writer_, kLogSizeLimit); limit != SQLITE_OK)
            raise(writer_, limit);
    for (const auto& s : held)
        s->begin();
    if (held.empty())
        return true;
    // The switch moved the data version as another program's write would;
    // once the checks below find no write, the move was this program's own.
    const std::int64_t now = dataVersion();
    std::uint32_t after = 0;
    int logFrames = -1;
    const bool same = mode_ == Mode::Switched && counted && changeCounter(after) &&
                      after == before + 1 && walCheckpoint(SQLITE_CHECKPOINT_PASSIVE, logFrames) &&
                      logFrames == 0;
    if (same)
        seenDataVersion_ = now;
    return same;
}

bool Connection::changeCounter(std::uint32_t& out) {
    sqlite3_file* f = nullptr;
    unsigned char b[4];
    if (sqlite3_file_control(writer_, "main", SQLITE_FCNTL_FILE_POINTER, &f) != SQLITE_OK || !f ||
        !f->pMethods || f->pMethods->xRead(f, b, 4, 24) != SQLITE_OK)
        return false;
    out = std::uint32_t(b[0]) << 24 | std::uint32_t(b[1]) << 16 | std::uint32_t(b[2]) << 8 | b[3];
    return true;
}

void Connection::renewSnapshots() {
    // The writer's write lock: no other program commits while the snapshots
    // begin again, so that a snapshot whose table is unchanged now sees
    // what it saw. A write lock held elsewhere leaves them as they are.
    const int rc = withoutWaiting([&] { return run(writer_, "BEGIN IMMEDIATE"); });
    if (heldUp(rc))
        return;
    if (rc != SQLITE_OK)
        raise(writer_, rc);
    try {
        const std::int64_t now = dataVersion();
        for (const auto& s : live()) {
            if (s->table_.empty() || versionAt(s->table_, now) != s->version_)
                continue;
            s->end();
            s->begin();
        }
    } catch (...) {
        run(writer_, "ROLLBACK");
        throw;
    }
    if (const int end = run(writer_, "ROLLBACK"); end != SQLITE_OK)
        raise(writer_, end);
}

bool Connection::walCheckpoint(int mode, int& logFrames) {
    int copied = 0;
    logFrames = 0;
    const int rc = withoutWaiting(
        [&] { return sqlite3_wal_checkpoint_v2(writer_, "main", mode, &logFrames, &copied); });
    if (heldUp(rc))
        return false;
    if (rc != SQLITE_OK)
        raise(writer_, rc);
    return copied == logFrames;
}

void Connection::checkpoint() {
    // Inside a transaction of this program's (an import that lets the window
    // paint) its end is the time for it.
    if (!inLog() || !sqlite3_get_autocommit(writer_))
        return;
    // Snapshots at the log's end let every frame be copied; begun again
    // once it is all in the file, they read the file alone and the log can
    // start over, cut to nothing. The writer starting the log over itself
    // does not move its data version: no table counts as changed.
    renewSnapshots();
    int frames = 0;
    if (!walCheckpoint(SQLITE_CHECKPOINT_PASSIVE, frames) || frames == 0)
        return;
    renewSnapshots();
    walCheckpoint(SQLITE_CHECKPOINT_TRUNCATE, frames);
}

std::vector<std::shared_ptr<Connection::Snapshot>> Connection::live() {
    std::vector<std::shared_ptr<Snapshot>> out;
    for (const auto& w : snapshots_)
        if (auto s = w.lock())
            out.push_back(std::move(s));
    return out;
}

sqlite3* Connection::openReader() {
    if (!idle_.empty()) {
        sqlite3* r = idle_.back();
        idle_.pop_back();
        return r;
    }
    const char* file = sqlite3_db_filename(writer_, "main");
    sqlite3* r = nullptr;
    // Read connections read ahead: their scans of a table are what the user waits for.
    int rc = sqlite3_open_v2(file ? file : "", &r, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX,
                             readahead::VfsName());
    if (rc == SQLITE_OK) {
        sqlite3_extended_result_codes(r, 1);
        sqlite3_busy_timeout(r, kBusyTimeoutMs);
        rc = jetlike::registerLike(r);
    }
    // A scan reads each page once: a small cache will do.
    if (rc == SQLITE_OK)
        rc = run(r, "PRAGMA cache_size=-512");
    if (rc != SQLITE_OK) {
        const QString d = DescribeEngineError(path_, rc, r ? sqlite3_errmsg(r) : nullptr);
        sqlite3_close_v2(r);
        throw VbError(VbError::Database, d);
    }
    return r;
}

void Connection::release(sqlite3* reader) {
    // A connection whose transaction did not end is of no use to the next
    // snapshot.
    if (!sqlite3_get_autocommit(reader) || idle_.size() >= kIdleReaders) {
        sqlite3_close_v2(reader);
        return;
    }
    idle_.push_back(reader);
}

std::shared_ptr<Connection::Snapshot> Connection::beginSnapshot(std::string_view table) {
    const std::int64_t before = dataVersion();
    if (snapshotSeam)
        snapshotSeam(table);
    auto s = std::make_shared<Snapshot>(shared_from_this(), openReader());
    s->begin();
    s->dataVersionBefore_ = before;
    // The version belongs to what the snapshot sees only when nobody wrote
    // between the reading of the data version before it began and after.
    const std::int64_t after = dataVersion();
    if (!table.empty()) {
        s->table_ = names::key(table);
        s->version_ = after == before ? versionAt(table, after) : ++counter_;
    }
    std::erase_if(snapshots_, [](const std::weak_ptr<Snapshot>& w) { return w.expired(); });
    snapshots_.push_back(s);
    return s;
}

std::shared_ptr<Connection::Snapshot> Connection::beginSnapshotBeside(const Snapshot& first) {
    auto second = std::make_shared<Snapshot>(shared_from_this(), openReader());
    second->begin();
    second->dataVersionBefore_ = first.dataVersionBefore_;
    // Nobody wrote between the first one's start and now: both see the same.
    if (dataVersion() != first.dataVersionBefore_)
        return nullptr;
    return second;
}

Connection::Snapshot::Snapshot(std::shared_ptr<Connection> owner, sqlite3* db)
    : owner_(std::move(owner)), db_(db) {}

void Connection::Snapshot::begin() {
    readahead::Forget(db_);
    // Reading the schema's version starts the snapshot now, not at the
    // set's first read.
    const int rc = run(db_, "BEGIN; PRAGMA schema_version");
    if (rc != SQLITE_OK) {
        const QString d = DescribeEngineError(owner_->path_, rc, sqlite3_errmsg(db_));
        run(db_, "ROLLBACK");
        throw VbError(VbError::Database, d);
    }
}

void Connection::Snapshot::end() {
    for (sqlite3_stmt* st = sqlite3_next_stmt(db_, nullptr); st; st = sqlite3_next_stmt(db_, st))
        if (sqlite3_stmt_busy(st))
            sqlite3_reset(st);
    ++generation_;
    if (const int rc = run(db_, "ROLLBACK"); rc != SQLITE_OK)
        owner_->raise(db_, rc);
    readahead::Forget(db_);
}

Connection::Snapshot::~Snapshot() {
    // A transaction that would not end leaves the connection closed by
    // release instead of kept for the next snapshot.
    run(db_, "ROLLBACK");
    readahead::Forget(db_);
    owner_->release(db_);
}

std::int64_t Connection::dataVersion() {
    int rc = SQLITE_OK;
    if (!dataVersion_)
        rc = sqlite3_prepare_v3(writer_, "PRAGMA data_version", -1, SQLITE_PREPARE_PERSISTENT,
                                &dataVersion_, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_step(dataVersion_);
    const std::int64_t v = rc == SQLITE_ROW ? sqlite3_column_int64(dataVersion_, 0) : 0;
    sqlite3_reset(dataVersion_);
    if (rc != SQLITE_ROW)
        raise(writer_, rc);
    return v;
}

std::uint64_t Connection::versionAt(std::string_view table, std::int64_t dataVersion) {
    // Moves when another connection has committed since this one last asked.
    if (dataVersion != seenDataVersion_)
        othersAt_ = ++counter_;
    seenDataVersion_ = dataVersion;
    const auto it = versions_.find(names::key(table));
    return std::max(it == versions_.end() ? 0 : it->second, othersAt_);
}

std::uint64_t Connection::version(std::string_view table) {
    return versionAt(table, dataVersion());
}

void Connection::changed(std::string_view table) {
    versions_[names::key(table)] = ++counter_;
}

} // namespace melodeck
