#pragma once
// Reads the rows a grid query takes from one table: their row ids in row id
// order and, for a sort, each row's value of the sorted field put into
// order. A large table is read in two halves at once, on two read
// connections that see the same snapshot; the result and its order are
// exactly those of one scan.

#include "store/RowOrder.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace melodeck::scan {

struct Query {
    std::string table;
    std::string rowId;      // the name the table's row ids answer to
    std::string conditions; // what follows WHERE ("" for every row)
    std::string field;      // the sorted field; "" for none (row ids only)
    bool descending = false;
    const RowOrder::Prior* prior = nullptr; // an earlier order, for the ties
    // A number field whose order, ties by row id, the ties should keep:
    // read along to tell whether row id order is that order already.
    std::string tieField;
};

struct Rows {
    // A sort: one sorted part per connection, in row id order, to merge.
    std::vector<std::unique_ptr<RowOrder>> parts;
    // No sort: the row ids.
    std::vector<std::int64_t> ids;
    // With a tie field: whether its values never fall in row id order (so
    // that row id order is its order).
    bool tieFieldRises = false;
};

// Tables of fewer rows than this are read on one thread.
constexpr std::int64_t kSplitFrom = 16384;

// Column col of st's current row into order, for the row with key.
void AddOrderValue(RowOrder& order, std::int64_t key, sqlite3_stmt* st, int col);

// The first and last row id of a table (first > last when it is empty).
// The engine's result code.
int RowIdRange(sqlite3* db, const std::string& table, const std::string& rowId, std::int64_t& first,
               std::int64_t& last);

// Reads the rows with row ids first to last through dbs (one connection, or
// two that see the same snapshot, the first this thread's), the ids split
// evenly between them; with one, first and last may be the ends of the
// 64-bit range. On failure rc is the engine's result code and message its
// message.
Rows Read(const std::vector<sqlite3*>& dbs, const Query& q, std::int64_t first, std::int64_t last,
          int& rc, std::string& message);

} // namespace melodeck::scan
