#pragma once
// The rows of one query as they were when it ran: the ordered row keys of a
// snapshot of the file, with a cache of the blocks of rows shown. A query on
// one table keeps only the row ids of its rows and reads their cells from its
// snapshot when they are asked for, a block of rows at a time, so that a
// result of a million songs costs eight bytes a row; any other query holds
// its rows in memory, and its keys are their places there.

#include "common/Value.h"
#include "store/Connection.h"
#include "store/RowBlock.h"
#include "store/Statement.h"

#include <QString>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace melodeck {

// DAO field type codes.
namespace FieldType {
constexpr int Boolean = 1, Byte = 2, Integer = 3, Long = 4, Currency = 5, Single = 6, Double = 7,
              Date = 8, Binary = 9, Text = 10, LongBinary = 11, Memo = 12, GUID = 15, BigInt = 16,
              VarBinary = 17, Char = 18, Numeric = 19, Decimal = 20, Float = 21, Time = 22,
              TimeStamp = 23;

// True for the types that hold numbers (Boolean not among them).
constexpr bool IsNumeric(int type) {
    switch (type) {
    case Byte:
    case Integer:
    case Long:
    case Currency:
    case Single:
    case Double:
    case BigInt:
    case Numeric:
    case Decimal:
    case Float:
        return true;
    default:
        return false;
    }
}
} // namespace FieldType

// DAO type code of an SQLite declared column type ("" for none).
int FieldTypeFromDecl(std::string_view declaredType);

struct Fields {
    std::vector<QString> names;
    std::vector<int> types;
};

class Recordset {
public:
    Recordset(); // no field and no row
    ~Recordset();
    Recordset(const Recordset&) = delete;
    Recordset& operator=(const Recordset&) = delete;

    int FieldCount() const { return int(fields_.names.size()); }
    const QString& FieldName(int i) const { return fields_.names[size_t(i)]; }
    int FieldType(int i) const { return fields_.types[size_t(i)]; }
    // The rows the query gave when it ran.
    std::int64_t RecordCount() const { return count_; }

    // Field i (0-based) of record r (0-based). These read lazily: the block
    // of rows that holds r is read from the snapshot when it is not at hand.
    // A record that cannot be read (see ReadError) reads as Null.
    Value FieldValue(std::int64_t r, int i) const;
    // The text the grid shows for that cell ("" for Null).
    QString CellText(std::int64_t r, int i) const;
    bool IsNull(std::int64_t r, int i) const;

    // Once a lazy read has failed (a damaged page, a disk error): the
    // description of the failure, and how many records from the first can
    // still be read. ReadError is empty and ReadableCount is RecordCount
    // while every read went well.
    const QString& ReadError() const { return readError_; }
    std::int64_t ReadableCount() const { return readable_; }

    // ---- made by the database layer -----------------------------------------
    // Rows held in memory (order: the places in rows of the records in turn;
    // empty when they are in rows' own order).
    static std::unique_ptr<Recordset> held(Fields fields, RowBlock rows,
                                           std::vector<std::uint32_t> order = {});

    // The rows of one table by their row ids, in order.
    struct TableRows {
        // Where the rows are read from: a snapshot of the set's own, whose
        // connection the statements below are prepared on. Without one they
        // are read at once, through the connection the statements are of.
        // (First, so that it ends after the statements are finalised.)
        std::shared_ptr<Connection::Snapshot> snapshot;
        std::string table;
        std::string rowIdName;     // the name its row ids answer to
        std::uint64_t version = 0; // the table's version when the query ran
        std::string orderField;    // see tiesInRowIdOrder
        std::int64_t count = 0;
        std::vector<std::int64_t> rowIds;
        // The row ids not in rowIds yet, stepped as far as records are asked
        // for (null when rowIds holds them all).
        Statement moreRowIds;
        // "SELECT * FROM table WHERE <row id> = ?".
        Statement fetch;
    };
    // VbError when the rows are to be read at once and cannot be.
    static std::unique_ptr<Recordset> ofTable(Fields fields, TableRows rows, const QString& path);

    // The table a set of table rows is of ("" for any other set), its
    // version when the query ran, and the field whose engine order (ties in
    // row id order) the set has, when it has one.
    const std::string& table() const;
    std::uint64_t tableVersion() const;
    const std::string& tiesInRowIdOrder() const;
    // The row ids of a set of table rows in order, all of them (reads the
    // rest lazily); null for any other set and when they cannot all be read.
    const std::vector<std::int64_t>* rowIds() const;

private:
    struct Table;
    // The block of rows and the row in it that record r is; null when r
    // cannot be read.
    const RowBlock* locate(std::int64_t r, std::int64_t& local) const;
    // Reads block b of a set of table rows; a record that cannot be read
    // ends the readable records before it.
    void readBlock(size_t b) const;
    // Reads row ids until record r has one; false when it cannot.
    bool readRowIds(std::int64_t r) const;
    void failAt(std::int64_t r, int rc, const char* engineMessage) const;
    // After the first failed read: the first record before it that cannot
    // be read either ends the readable records instead.
    void findFirstUnreadable() const;

    Fields fields_;
    std::int64_t count_ = 0;
    // Held rows and their order.
    RowBlock held_;
    std::vector<std::uint32_t> order_;
    std::unique_ptr<Table> table_; // a set of table rows
    mutable std::int64_t readable_ = 0;
    mutable QString readError_;
};

} // namespace melodeck
