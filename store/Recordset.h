#pragma once
// The rows of one query, held compactly: one byte pool for all cell texts,
// one 32-bit offset per row and one 16-bit word per cell (its end within the
// row and its tag), no object per cell. Carries a 300,000-row song table in
// under forty megabytes.

#include "common/Value.h"

#include <QString>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

namespace melodeck {

// DAO field type codes.
namespace FieldType {
constexpr int Boolean = 1, Byte = 2, Integer = 3, Long = 4, Currency = 5, Single = 6, Double = 7,
              Date = 8, Binary = 9, Text = 10, LongBinary = 11, Memo = 12, GUID = 15, BigInt = 16,
              VarBinary = 17, Char = 18, Numeric = 19, Decimal = 20, Float = 21, Time = 22,
              TimeStamp = 23;
}

// DAO type code of an SQLite declared column type ("" for none).
int FieldTypeFromDecl(std::string_view declaredType);

class Recordset {
public:
    enum CellTag : std::uint8_t { TagNull, TagInteger, TagReal, TagText, TagBlob };

    int FieldCount() const { return int(names_.size()); }
    const QString& FieldName(int i) const { return names_[size_t(i)]; }
    int FieldType(int i) const { return types_[size_t(i)]; }
    std::int64_t RecordCount() const { return rows_; }

    // Value of field i (0-based) of record r (0-based).
    Value FieldValue(std::int64_t r, int i) const;
    // Text the grid shows for that cell ("" for Null).
    QString CellText(std::int64_t r, int i) const;
    // UTF-8 bytes of that cell as stored.
    std::string_view CellBytes(std::int64_t r, int i) const;
    bool IsNull(std::int64_t r, int i) const { return tag(r, i) == TagNull; }

    // Building (used by the database layer): setFields, then per row one
    // appendCell for each field and finishRow.
    void setFields(std::vector<QString> names, std::vector<int> types);
    void appendCell(CellTag tag, std::string_view utf8);
    void finishRow();
    void reserveBytes(size_t n) { pool_.reserve(n); }
    // Gives back the room left over from growing, once the set is complete.
    void shrinkToFit();
    size_t memoryBytes() const;

private:
    // A growable array of plain bytes or numbers. Once it passes a megabyte it
    // lives in pages of its own that grow by remapping rather than copying,
    // so filling never holds an old and a new copy at once, and freeing gives
    // the pages straight back.
    template <class T> class PodBuffer {
    public:
        PodBuffer() = default;
        PodBuffer(const PodBuffer&) = delete;
        PodBuffer& operator=(const PodBuffer&) = delete;
        PodBuffer(PodBuffer&& o) noexcept : p_(o.p_), n_(o.n_), cap_(o.cap_), mapped_(o.mapped_) {
            o.p_ = nullptr;
            o.n_ = o.cap_ = 0;
            o.mapped_ = false;
        }
        PodBuffer& operator=(PodBuffer&& o) noexcept;
        ~PodBuffer();
        void reserve(size_t cap);
        void shrinkToFit();
        void clear() { n_ = 0; }
        void push_back(T v) {
            if (n_ == cap_)
                grow(n_ + 1);
            p_[n_++] = v;
        }
        void append(const T* v, size_t k) {
            if (n_ + k > cap_)
                grow(n_ + k);
            if (k)
                std::memcpy(p_ + n_, v, k * sizeof(T));
            n_ += k;
        }
        size_t size() const { return n_; }
        size_t capacity() const { return cap_; }
        const T* data() const { return p_; }
        const T& operator[](size_t i) const { return p_[i]; }

    private:
        void grow(size_t need);
        void release();
        T* p_ = nullptr;
        size_t n_ = 0, cap_ = 0;
        bool mapped_ = false;
    };

    // A cell word: the cell's end, counted from the start of its row, above
    // three bits of tag. An end past kMaxShortEnd (a row of more than 8 KiB)
    // is written as kLongEnd, and its offset in the pool is in longEnds_.
    static constexpr unsigned kTagBits = 3;
    static constexpr std::uint32_t kLongEnd = 0xFFFFu >> kTagBits;
    static constexpr std::uint32_t kMaxShortEnd = kLongEnd - 1;

    CellTag tag(std::int64_t r, int i) const {
        return CellTag(cells_[size_t(r) * names_.size() + size_t(i)] & ((1u << kTagBits) - 1));
    }
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
    PodBuffer<char> pool_;
    // Start of each row in pool_, and one more: the end of the last row
    // (while building, the start of the row being filled).
    PodBuffer<std::uint32_t> rowStarts_;
    PodBuffer<std::uint16_t> cells_;
    // Cells ending more than kMaxShortEnd bytes into their row, in cell order.
    std::vector<LongEnd> longEnds_;
    std::int64_t rows_ = 0;
};

} // namespace melodeck
