#pragma once
// A database file behind the data controls: an SQLite connection that accepts
// the Jet SQL texts the program builds, with LIKE as the Jet pattern matcher.

#include "store/Connection.h"
#include "store/Recordset.h"
#include "store/SortCache.h"
#include "store/TableScan.h"

#include <QString>
#include <QStringView>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace melodeck {

namespace sql {
struct Statement;
}

// The values of one row to insert: Null, numbers and texts.
class RowValues {
public:
    struct Item {
        enum Kind { Null, Integer, Real, Text } kind;
        std::int64_t number;
        double real;
        size_t begin, length; // Text: where in texts()
    };
    void clear() {
        items_.clear();
        texts_.clear();
    }
    void addNull() { items_.push_back({Item::Null, 0, 0, 0, 0}); }
    void addInteger(std::int64_t v) { items_.push_back({Item::Integer, v, 0, 0, 0}); }
    void addReal(double v) { items_.push_back({Item::Real, 0, v, 0, 0}); }
    void addText(std::string_view utf8);
    // A text given as UTF-16, written as UTF-8 without a copy of its own.
    void addText(QStringView utf16);
    const std::vector<Item>& items() const { return items_; }
    const std::string& texts() const { return texts_; }

private:
    void endText(size_t begin) {
        items_.push_back({Item::Text, 0, 0, begin, texts_.size() - begin});
    }
    std::vector<Item> items_;
    std::string texts_;
};

class Database {
public:
    // Opens an existing file; VbError (Database) with a Japanese description
    // when it is missing or is no database. Never creates a file.
    explicit Database(const QString& path);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    const QString& Name() const { return path_; }
    // True when the file is open for reading only: nobody may write it.
    bool ReadOnly() const;

    // Runs one action statement. A row refused by a constraint is skipped
    // without an error, as Jet does without its fail-on-error option.
    // Other failures raise VbError carrying the engine's description; a
    // second statement after the first is refused, not run.
    void Execute(const QString& statement);
    // Runs "INSERT INTO table VALUES (...)" with the values bound to one
    // prepared statement (the import's one INSERT per song; no text is
    // parsed back). statement builds that INSERT as text, for the statement
    // log only. A row refused by a constraint is skipped as by Execute.
    void InsertRow(const QString& table, const RowValues& values,
                   const std::function<QString()>& statement);

    // Rows written or deleted by the last Execute.
    int RecordsAffected() const { return affected_; }

    // Runs a query and returns its rows as they are now: a snapshot that
    // later writes, by this program or another, do not change.
    // "SELECT * FROM table [WHERE ...] [ORDER BY field [DESC]]" on a table
    // gives a set that reads its rows from the snapshot when asked. Text
    // orders as the Japanese database sorts it, on views as on tables, and
    // rows that tie keep their order in prior (the set this one replaces)
    // when that is a set of the same, unchanged table.
    std::unique_ptr<Recordset> OpenRecordset(const QString& query,
                                             const Recordset* prior = nullptr);

    // A table as the engine resolved a name: the database it lies in ("main"
    // for the file's own tables) and the table's name as the file spells it.
    struct Table {
        QString database;
        QString name;
        bool operator==(const Table&) const = default;
    };
    // The tables a query reads itself (not through a view), found the way
    // the engine finds them: names in any ASCII letter case, quoted or in
    // brackets, with a database in front or without. The query is prepared,
    // not run; VbError when the engine refuses it.
    std::vector<Table> TablesRead(const QString& query);

    // One transaction around many Execute calls (the import's replacement).
    void BeginTrans();
    void CommitTrans();
    void Rollback();
    bool InTransaction() const;

    // Start-up found nothing to refuse: a writable file in a rollback
    // journal goes over to the write-ahead log, so that other programs can
    // write while the grids hold their snapshots. False when the record sets
    // opened so far should be read again (see Connection::useWriteLog).
    bool UseWriteLog();
    // After writes, once the window is idle: the write log copied into the
    // file and emptied as far as the open record sets and other programs
    // allow, without waiting for them.
    void Checkpoint();

    // The statement and query texts that reached the engine through Execute
    // and OpenRecordset (a data control's Refresh included), as the caller
    // built them, newest last (tests read it). Transaction control is not logged.
    void setStatementLog(std::vector<QString>* log) { log_ = log; }
    // Tests: see Connection::snapshotSeam.
    void setSnapshotSeam(std::function<void(std::string_view table)> seam) {
        conn_->snapshotSeam = std::move(seam);
    }

private:
    [[noreturn]] void raise(sqlite3* db, int rc) const;
    void control(const char* sql);
    void beforeWrite();
    // Prepares a statement that may write, learning which tables it writes.
    void prepareWrite(const std::string& sql, Statement& st, int& rc,
                      std::vector<std::string>& writes, unsigned flags = 0);
    // After st ran: the tables it wrote have changed.
    void wrote(sqlite3_stmt* st, const std::vector<std::string>& writes);
    std::unique_ptr<Recordset> openTable(sqlite3* db, const sql::Statement& plan, Fields fields,
                                         Recordset::TableRows rows, const std::string& rowId,
                                         const Recordset* prior);
    // The whole table in the order of its number field's index.
    std::unique_ptr<Recordset> openInIndexOrder(sqlite3* db, const sql::Statement& plan,
                                                Fields fields, Recordset::TableRows rows);
    // The rows the conditions take, in the order the query asks for.
    // tiePrior: the set whose order ties keep, if any.
    std::unique_ptr<Recordset> openSorted(sqlite3* db, const sql::Statement& plan, Fields fields,
                                          Recordset::TableRows rows, const Recordset* tiePrior);
    // The rows of a query, read through the set's snapshot and, for a large
    // table, a second one of the same moment.
    scan::Rows readRows(sqlite3* db, const scan::Query& q, Recordset::TableRows& rows);
    std::unique_ptr<Recordset> ofRows(Fields fields, Recordset::TableRows rows);
    std::unique_ptr<Recordset> openHeld(sqlite3* db, sqlite3_stmt* query, Fields fields,
                                        const sql::Statement* plan);
    static int authorize(void* self, int action, const char* a1, const char* a2, const char* a3,
                         const char* a4);

    // Prepared "INSERT OR IGNORE INTO t VALUES (?,...)" statements, by table
    // and value count, for the import's one INSERT per song.
    struct InsertCache {
        struct Entry {
            std::string table;
            size_t count;
            Statement st;
            std::vector<std::string> writes; // the tables it writes (a trigger may add some)
        };
        std::vector<Entry> entries;
    };
    std::unique_ptr<InsertCache> inserts_;
    SortCache sortCache_;
    // The cached INSERT of count values into table; prepared when new.
    InsertCache::Entry& insertStatement(const std::string& table, size_t count);

    QString path_;
    sqlite3* db_ = nullptr;
    std::shared_ptr<Connection> conn_;
    // Tables the statement being prepared by Execute writes to.
    bool collecting_ = false;
    std::vector<std::string> written_;
    // Tables the statement being prepared by TablesRead reads.
    bool collectingReads_ = false;
    std::vector<Table> read_;
    std::vector<QString>* log_ = nullptr;
    int affected_ = 0;
};

} // namespace melodeck
