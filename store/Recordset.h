#pragma once
// The rows of one query. Either held whole and compactly (one byte pool for
// all cell texts, one 32-bit offset per row and one 16-bit word per cell, no
// object per cell), or, for a query on one table, only as the ordered keys of
// its rows: the cells are then read from the table when asked, a block of
// rows at a time, so that a result of a million songs costs eight bytes a row.

#include "common/Value.h"

#include <QString>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3_stmt;

namespace melodeck {

class Connection;

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

class Recordset {
public:
    enum CellTag : std::uint8_t { TagNull, TagInteger, TagReal, TagText, TagBlob };

    Recordset();
    ~Recordset();
    Recordset(const Recordset&) = delete;
    Recordset& operator=(const Recordset&) = delete;

    int FieldCount() const { return int(names_.size()); }
    const QString& FieldName(int i) const { return names_[size_t(i)]; }
    int FieldType(int i) const { return types_[size_t(i)]; }
    std::int64_t RecordCount() const { return rows_; }

    // Value of field i (0-based) of record r (0-based). A record of a keyed
    // set that its table no longer holds reads as Null in every field.
    Value FieldValue(std::int64_t r, int i) const;
    // Text the grid shows for that cell ("" for Null).
    QString CellText(std::int64_t r, int i) const;
    bool IsNull(std::int64_t r, int i) const;

    // Building a held set (used by the database layer): setFields, then per
    // row one appendCell for each field and finishRow, or appendRow.
    void setFields(std::vector<QString> names, std::vector<int> types);
    void appendCell(CellTag tag, std::string_view utf8);
    void finishRow();
    // The current row of a stepped statement with FieldCount() columns.
    void appendRow(sqlite3_stmt* st);
    // Gives back the room left over from growing, once the set is complete.
    void shrinkToFit();
    size_t memoryBytes() const;

    // Makes this a keyed set (after setFields): the rows of `table`, by their
    // row keys in order, read through conn.
    void setKeys(std::shared_ptr<Connection> conn, std::string table,
                 std::vector<std::int64_t> keys);
    // The same, with the keys read only as far as rows are asked for:
    // keyQuery gives all total row keys in order.
    void setKeysFrom(std::shared_ptr<Connection> conn, std::string table, std::string keyQuery,
                     std::int64_t total);
    // The row keys of a keyed set in order (null for a held set), its table
    // and connection, and the table's version when the set was made.
    const std::vector<std::int64_t>* rowKeys() const;
    const std::string& keyTable() const;
    const Connection* keyConnection() const;
    std::uint64_t keyVersion() const;
    // The field a keyed set is ordered by when its ties are in row-key order
    // (the engine's order); empty otherwise.
    const std::string& keyOrderField() const;
    void setKeyOrderField(std::string field);

private:
    struct Keyed;
    // Makes this a keyed set of total rows, none read yet.
    Keyed& startKeyed(std::shared_ptr<Connection> conn, std::string table, std::int64_t total);
    // The held set that holds record r (a block of a keyed set), and r's
    // index in it; null when r lies outside the set.
    const Recordset* holder(std::int64_t r, std::int64_t& local) const;
    CellTag tag(std::int64_t r, int i) const {
        return CellTag(cells_[size_t(r) * names_.size() + size_t(i)] & ((1u << kTagBits) - 1));
    }
    std::string_view cellBytes(std::int64_t r, int i) const;

    // A cell word: the cell's end, counted from the start of its row, above
    // three bits of tag. An end past kMaxShortEnd (a row of more than 8 KiB)
    // is written as kLongEnd, and its offset in the pool is in longEnds_.
    static constexpr unsigned kTagBits = 3;
    static constexpr std::uint32_t kLongEnd = 0xFFFFu >> kTagBits;
    static constexpr std::uint32_t kMaxShortEnd = kLongEnd - 1;

    // Offset in pool_ just past cell k (r * FieldCount() + i) of row r.
    size_t cellEnd(size_t r, size_t k) const {
        const std::uint32_t end = cells_[k] >> kTagBits;
        return end == kLongEnd ? longEnd(k) : rowStarts_[r] + end;
    }
    size_t longEnd(size_t k) const;

    struct LongEnd {
        size_t cell;
        std::uint32_t end;
    };

    std::vector<QString> names_;
    std::vector<int> types_;
    std::vector<char> pool_;
    // Start of each row in pool_, and one more: the end of the last row
    // (while building, the start of the row being filled).
    std::vector<std::uint32_t> rowStarts_;
    std::vector<std::uint16_t> cells_;
    // Cells ending more than kMaxShortEnd bytes into their row, in cell order.
    std::vector<LongEnd> longEnds_;
    std::int64_t rows_ = 0;
    std::unique_ptr<Keyed> keyed_;
};

} // namespace melodeck
