#pragma once
// A database file behind the data controls: an SQLite connection that accepts
// the Jet SQL texts the program builds, with LIKE as the Jet pattern matcher.

#include "store/Recordset.h"

#include <QString>
#include <memory>

struct sqlite3;

namespace melodeck {

class Database {
public:
    // Opens an existing file; VbError (Database) with a Japanese description
    // when it is missing or is no database. Never creates a file.
    explicit Database(const QString& path);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    const QString& Name() const { return path_; }

    // Runs one action statement. A row refused by a constraint is skipped
    // without an error, as Jet does without its fail-on-error option.
    // Other failures raise VbError carrying the engine's description.
    void Execute(const QString& statement);

    // Runs a query and returns its rows (type 4: a read-only snapshot).
    std::unique_ptr<Recordset> OpenRecordset(const QString& query, int type = 4);

    // One transaction around many Execute calls (the import's replacement).
    void BeginTrans();
    void CommitTrans();
    void Rollback();
    bool InTransaction() const;

    // The statement texts that reached the engine, newest last (tests read it).
    void setStatementLog(std::vector<QString>* log) { log_ = log; }

    sqlite3* handle() const { return db_; }

private:
    [[noreturn]] void raise(int rc) const;

    QString path_;
    sqlite3* db_ = nullptr;
    std::vector<QString>* log_ = nullptr;
};

} // namespace melodeck
