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

// The journal mode a "PRAGMA journal_mode..." statement gives back; empty
// when it fails.
std::string journalMode(sqlite3* db, const char* sql) {
    sqlite3_stmt* st = nullptr;
    std::string mode;
    if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW) {
        const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
        mode = t ? t : "";
    }
    sqlite3_finalize(st);
    return mode;
}

} // namespace

Connection::Connection(QString path, sqlite3* writer, bool readOnly)
    : path_(std::move(path)), writer_(writer), readOnly_(readOnly) {
    sqlite3_extended_result_codes(writer_, 1);
    // Debian's engine zeroes every page a delete frees; an import frees the
    // whole song table and fills the same pages again at once. FAST still
    // clears what deletes leave in pages in use, at no extra writes.
    sqlite3_exec(writer_, "PRAGMA secure_delete=FAST", nullptr, nullptr, nullptr);
    if (readOnly_) {
        snapshots_ = true;
    } else {
        // Without waiting: a file another program holds locked now is read
        // without snapshots rather than opened late.
        sqlite3_busy_timeout(writer_, 0);
        snapshots_ = journalMode(writer_, "PRAGMA journal_mode=WAL") == "wal";
    }
    sqlite3_busy_timeout(writer_, kBusyTimeoutMs);
}

Connection::~Connection() {
    sqlite3_finalize(dataVersion_);
    for (sqlite3* r : idle_)
        sqlite3_close_v2(r);
    if (!readOnly_ && snapshots_) {
        // The last connection to the file folds the log back into it; the
        // file then goes back to its plain journal, so that it stays one
        // file that also opens from a read-only folder. Another program
        // still using it keeps the log until it ends.
        sqlite3_busy_timeout(writer_, 0);
        journalMode(writer_, "PRAGMA journal_mode=DELETE");
    }
    sqlite3_close_v2(writer_);
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
    const int rc = sqlite3_open_v2(file ? file : "", &r, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX,
                                   readahead::VfsName());
    if (rc != SQLITE_OK) {
        const QString d = DescribeEngineError(path_, rc, r ? sqlite3_errmsg(r) : nullptr);
        sqlite3_close_v2(r);
        throw VbError(VbError::Database, d);
    }
    sqlite3_extended_result_codes(r, 1);
    sqlite3_busy_timeout(r, kBusyTimeoutMs);
    jetlike::registerLike(r);
    sqlite3_exec(r, "PRAGMA cache_size=-512", nullptr, nullptr, nullptr);
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

sqlite3* Connection::beginRead() {
    sqlite3* r = openReader();
    readahead::Forget(r);
    // Reading the schema's version starts the snapshot now, not at the
    // set's first read.
    char* err = nullptr;
    const int rc = sqlite3_exec(r, "BEGIN; PRAGMA schema_version", nullptr, nullptr, &err);
    sqlite3_free(err);
    if (rc != SQLITE_OK) {
        const QString d = DescribeEngineError(path_, rc, sqlite3_errmsg(r));
        sqlite3_close_v2(r);
        throw VbError(VbError::Database, d);
    }
    return r;
}

std::shared_ptr<Connection::Snapshot> Connection::beginSnapshot() {
    const std::int64_t before = dataVersion();
    return std::make_shared<Snapshot>(shared_from_this(), beginRead(), before);
}

std::shared_ptr<Connection::Snapshot> Connection::beginSnapshotBeside(const Snapshot& first) {
    auto second =
        std::make_shared<Snapshot>(shared_from_this(), beginRead(), first.dataVersionBefore_);
    // Nobody wrote between the first one's start and now: both see the same.
    if (dataVersion() != first.dataVersionBefore_)
        return nullptr;
    return second;
}

Connection::Snapshot::~Snapshot() {
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    readahead::Forget(db_);
    owner_->release(db_);
}

std::int64_t Connection::dataVersion() {
    if (!dataVersion_)
        sqlite3_prepare_v3(writer_, "PRAGMA data_version", -1, SQLITE_PREPARE_PERSISTENT,
                           &dataVersion_, nullptr);
    // Failing to tell counts as a change.
    std::int64_t v = -2 - std::int64_t(++failedAsks_);
    if (dataVersion_ && sqlite3_step(dataVersion_) == SQLITE_ROW)
        v = sqlite3_column_int64(dataVersion_, 0);
    if (dataVersion_)
        sqlite3_reset(dataVersion_);
    return v;
}

std::uint64_t Connection::version(std::string_view table) {
    // Moves when another connection has committed since this one last asked.
    const std::int64_t v = dataVersion();
    if (v != seenDataVersion_)
        othersAt_ = ++counter_;
    seenDataVersion_ = v;
    const auto it = versions_.find(names::key(table));
    return std::max(it == versions_.end() ? 0 : it->second, othersAt_);
}

void Connection::changed(std::string_view table) {
    versions_[names::key(table)] = ++counter_;
}

} // namespace melodeck
