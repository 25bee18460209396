#pragma once
// Rows held compactly: one byte pool for all cell texts, one 32-bit offset
// per row and one 16-bit word per cell, no object per cell.

#include <cstdint>
#include <string_view>
#include <vector>

struct sqlite3_stmt;

namespace melodeck {

class RowBlock {
public:
    enum CellTag : std::uint8_t { TagNull, TagInteger, TagReal, TagText, TagBlob };

    explicit RowBlock(int fields = 0) : fields_(size_t(fields)) {}

    std::int64_t rows() const { return std::int64_t(rowStarts_.size()) - 1; }

    // The current row of a stepped statement with as many columns as fields.
    void appendRow(sqlite3_stmt* st);
    // Gives back the room left over from growing, once the block is complete.
    void shrinkToFit();

    CellTag tag(std::int64_t r, int i) const {
        return CellTag(cells_[size_t(r) * fields_ + size_t(i)] & ((1u << kTagBits) - 1));
    }
    // The cell's bytes: UTF-8 text, a number in decimal, or a blob's bytes.
    std::string_view bytes(std::int64_t r, int i) const;

private:
    void appendCell(CellTag tag, std::string_view bytes);

    // A cell word: the cell's end, counted from the start of its row, above
    // three bits of tag. An end past kMaxShortEnd (a row of more than 8 KiB)
    // is written as kLongEnd, and its offset in the pool is in longEnds_.
    static constexpr unsigned kTagBits = 3;
    static constexpr std::uint32_t kLongEnd = 0xFFFFu >> kTagBits;
    static constexpr std::uint32_t kMaxShortEnd = kLongEnd - 1;

    // Offset in pool_ just past cell k (r * fields + i) of row r.
    size_t cellEnd(size_t r, size_t k) const {
        const std::uint32_t end = cells_[k] >> kTagBits;
        return end == kLongEnd ? longEnd(k) : rowStarts_[r] + end;
    }
    size_t longEnd(size_t k) const;

    struct LongEnd {
        size_t cell;
        std::uint32_t end;
    };

    size_t fields_;
    std::vector<char> pool_;
    // Start of each row in pool_, and one more: the end of the last row
    // (while a row is being filled, its start).
    std::vector<std::uint32_t> rowStarts_{0};
    std::vector<std::uint16_t> cells_;
    // Cells ending more than kMaxShortEnd bytes into their row, in cell order.
    std::vector<LongEnd> longEnds_;
};

} // namespace melodeck
