#pragma once
// One open database file: the connection that writes it, the read
// connections on which record sets hold their snapshots, and a version per
// table that moves whenever this program writes the table or another program
// writes the file.
//
// A snapshot is a read transaction: every read in it sees the file as it was
// when it began, whatever is written meanwhile. A file in the write-ahead
// log (the user's own choice, or switched to it by useWriteLog once
// start-up has found nothing to refuse) lets other writers go on beside
// snapshots. Before that switch, and for a file opened read-only, a
// snapshot's shared lock keeps writers out instead. A writable file whose
// switch the engine refused (another program held a lock at that moment)
// gives no snapshots: its record sets then hold their rows in memory.

#include <QString>
#include <cstdint>
#include <functional>
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
    // Takes over writer, an open connection to path that has read the
    // file's header; readOnly when it was opened so. Writes nothing.
    // VbError when the engine refuses a setting of the connection.
    Connection(QString path, sqlite3* writer, bool readOnly);
    // Closes every connection. A file that useWriteLog switched to the log
    // has the log folded back and goes back to its rollback journal (unless
    // another program still has it open, which then keeps the log); a file
    // that was in the log when it was opened stays in it.
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    sqlite3* writer() const { return writer_; }
    const QString& path() const { return path_; }

    // Whether reads can hold snapshots of their own.
    bool snapshots() const { return mode_ != Mode::Refused; }

    // Switches a writable file in a rollback journal to the write-ahead log
    // (once; later calls do nothing and give true). The snapshots held so
    // far end for the switch and begin again. False when they may not see
    // what they saw before (another program wrote in between) or the engine
    // refused the switch: the record sets of before should then be read
    // again. VbError when the engine fails otherwise.
    bool useWriteLog();

    // Copies the write log into the file as far as the snapshots allow,
    // and empties it when no reader needs it any more. Every snapshot whose
    // table has not changed since it began moves on to a new read
    // transaction of the same content first, so that none holds the log
    // back longer than it must. Never waits for another program: what it
    // holds is left for a later checkpoint. VbError when the engine fails.
    void checkpoint();

    // A read transaction on a read connection of this file (snapshots()
    // only), begun at once. table: the table its rows come from ("" for
    // none), whose version it then tells. VbError when it cannot begin.
    class Snapshot;
    std::shared_ptr<Snapshot> beginSnapshot(std::string_view table);
    // A second read transaction that sees the file as first does (to read
    // a part of the same rows on another thread); null when another program
    // may have written the file after first began.
    std::shared_ptr<Snapshot> beginSnapshotBeside(const Snapshot& first);

    // The version of a table (names compared without regard to ASCII letter
    // case): moves when this program writes the table or when another
    // program has written the file since the last call. VbError when the
    // engine cannot tell (a lock of another program held too long).
    std::uint64_t version(std::string_view table);
    void changed(std::string_view table);
    // A write whose tables are not known: every table has changed.
    void changedAll() { othersAt_ = ++counter_; }

    // Tests: runs as a snapshot of a table begins, after the data version
    // before it was read (another program's write there must not pass
    // unnoticed).
    std::function<void(std::string_view table)> snapshotSeam;

private:
    enum class Mode {
        ReadOnly, // opened for reading only
        Log,      // in the write-ahead log when it was opened
        Pending,  // a rollback journal, not switched yet
        Switched, // switched to the log by useWriteLog
        Refused,  // a rollback journal the engine would not switch
    };
    bool inLog() const { return mode_ == Mode::Log || mode_ == Mode::Switched; }
    // The writer's data version: it moves when another connection commits.
    std::int64_t dataVersion();
    // The version of table for a given data version of the writer's.
    std::uint64_t versionAt(std::string_view table, std::int64_t dataVersion);
    // The file change counter in the file's header as the file holds it
    // now; false when it cannot be read.
    bool changeCounter(std::uint32_t& out);
    // The snapshots alive now.
    std::vector<std::shared_ptr<Snapshot>> live();
    sqlite3* openReader();
    void release(sqlite3* reader);
    // A checkpoint of the given mode, without waiting; false when a reader
    // or writer held it up. logFrames: the frames the log held.
    bool walCheckpoint(int mode, int& logFrames);
    // Snapshots whose table is unchanged begin again at the newest content,
    // which the writer's write lock keeps from moving meanwhile.
    void renewSnapshots();
    [[noreturn]] void raise(sqlite3* db, int rc) const;
    // call's result, the writer meeting a lock without waiting for it.
    int withoutWaiting(const std::function<int()>& call);

    QString path_;
    sqlite3* writer_;
    Mode mode_;
    std::vector<sqlite3*> idle_;
    std::vector<std::weak_ptr<Snapshot>> snapshots_;
    sqlite3_stmt* dataVersion_ = nullptr;
    std::int64_t seenDataVersion_ = -1;
    std::map<std::string, std::uint64_t> versions_;
    std::uint64_t counter_ = 0;
    std::uint64_t othersAt_ = 0; // counter_ when another program's write was seen
};

class Connection::Snapshot {
public:
    Snapshot(std::shared_ptr<Connection> owner, sqlite3* db);
    ~Snapshot(); // ends the read transaction; the connection goes back to its owner
    Snapshot(const Snapshot&) = delete;
    Snapshot& operator=(const Snapshot&) = delete;

    sqlite3* handle() const { return db_; }
    // The version of the table it was begun for, as it sees the table; a
    // number no other version has when a write of another program may have
    // come between its beginning and the reading of the version.
    std::uint64_t version() const { return version_; }
    // Moves each time the read transaction ends and begins again (on the
    // same content): a statement stepped part of the way was reset then and
    // starts over.
    std::uint64_t generation() const { return generation_; }

private:
    friend class Connection;
    // Ends the read transaction, resetting statements stepped part of the
    // way (a transaction ends only without them), and begins it again.
    void end();
    void begin();
    std::shared_ptr<Connection> owner_;
    sqlite3* db_;
    std::string table_; // as a key (names::key); "" for none
    std::uint64_t version_ = 0;
    std::uint64_t generation_ = 0;
    std::int64_t dataVersionBefore_ = 0; // the writer's, just before it began
};

} // namespace melodeck
