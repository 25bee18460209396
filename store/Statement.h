#pragma once
// A prepared statement that is finalised when it goes, and cannot be copied.

#include <memory>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace melodeck {

struct StatementFinalizer {
    void operator()(sqlite3_stmt* st) const;
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

// Prepares sql on db into st (null for a text with no statement); the
// engine's result code. used, when given, is set to the length of sql that
// the statement took.
int Prepare(sqlite3* db, std::string_view sql, Statement& st, unsigned flags = 0,
            size_t* used = nullptr);

} // namespace melodeck
