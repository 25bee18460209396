#pragma once
// One open database file: the connection that writes it, the read
// connections on which record sets hold their snapshots, and a version per
// table that moves whenever this program writes the table or another program
// writes the file.
//
// A snapshot is a read transaction: every read in it sees the file as it was
// at its first read, whatever is written meanwhile. With the write-ahead log
// other writers go on beside it; for a file opened read-only the reader's
// shared lock keeps writers out instead. A file that can be written but not
// switched to the log (another program holding a lock at the open, a folder
// that cannot hold the log) gives no snapshots: its record sets then hold
// their rows in memory.

#include <QString>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace melodeck {

class Connection : public std::enable_shared_from_this<Connection> {
public:
    // Takes over writer, an open connection to path; readOnly when it was
    // opened so. Switches a writable file to the write-ahead log.
    Connection(QString path, sqlite3* writer, bool readOnly);
    // Closes every connection; a log this object switched on is folded back
    // into the file and switched off again, so that the file stays one file.
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    sqlite3* writer() const { return writer_; }
    const QString& path() const { return path_; }

    // Whether reads can hold snapshots of their own.
    bool snapshots() const { return snapshots_; }

    // A read transaction on a read connection of this file (snapshots()
    // only); it has not read anything yet, so its snapshot is taken at its
    // first read. VbError when no read connection can be opened.
    class Snapshot;
    std::shared_ptr<Snapshot> beginSnapshot();
    // A second read transaction that sees the file as first does (to read
    // a part of the same rows on another thread); null when another program
    // wrote the file after first began, so that this cannot be made sure of.
    std::shared_ptr<Snapshot> beginSnapshotBeside(const Snapshot& first);

    // The version of a table (names compared without regard to ASCII letter
    // case): moves when this program writes the table or when another
    // program has written the file since the last call.
    std::uint64_t version(std::string_view table);
    void changed(std::string_view table);
    // A write whose tables are not known: every table has changed.
    void changedAll() { othersAt_ = ++counter_; }

private:
    // The writer's data version: it moves when another connection commits.
    std::int64_t dataVersion();
    // A read connection in a read transaction that has begun reading.
    sqlite3* beginRead();
    sqlite3* openReader();
    void release(sqlite3* reader);

    QString path_;
    sqlite3* writer_;
    bool readOnly_;
    bool snapshots_ = false;
    std::vector<sqlite3*> idle_;
    sqlite3_stmt* dataVersion_ = nullptr;
    std::int64_t seenDataVersion_ = -1;
    std::uint64_t failedAsks_ = 0;
    std::map<std::string, std::uint64_t> versions_;
    std::uint64_t counter_ = 0;
    std::uint64_t othersAt_ = 0; // counter_ when another program's write was seen
};

class Connection::Snapshot {
public:
    Snapshot(std::shared_ptr<Connection> owner, sqlite3* db, std::int64_t dataVersionBefore)
        : owner_(std::move(owner)), db_(db), dataVersionBefore_(dataVersionBefore) {}
    ~Snapshot(); // ends the read transaction; the connection goes back to its owner
    Snapshot(const Snapshot&) = delete;
    Snapshot& operator=(const Snapshot&) = delete;

    sqlite3* handle() const { return db_; }
    const Connection& owner() const { return *owner_; }

private:
    friend class Connection;
    std::shared_ptr<Connection> owner_;
    sqlite3* db_;
    std::int64_t dataVersionBefore_; // the writer's, just before it began
};

} // namespace melodeck
