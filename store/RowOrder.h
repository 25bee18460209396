#pragma once
// Orders the rows of one query by one field the way the Japanese database
// sorts: Null first, then numbers as numbers, then text by its sort key
// (appendSortKey), then binary data byte by byte; descending reverses that.
// Rows that compare equal keep the order they had before (their "prior"
// position), so sorting by one field and then another keeps the first order
// among ties.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace melodeck {

class RowOrder {
public:
    void reserve(size_t rows);
    // One row, in the order the query produced them, with its field value.
    void addNull(std::int64_t key);
    void addNumber(std::int64_t key, double value);
    void addText(std::int64_t key, std::string_view utf8);
    void addBlob(std::int64_t key, std::string_view bytes);
    size_t size() const { return items_.size(); }

    // The row keys in sorted order (once: the rows are sorted in place).
    // prior, when given, is a previous order of row keys: rows found in it
    // keep that order among ties, the others follow them in the order they
    // were added.
    std::vector<std::int64_t> sorted(bool descending, const std::vector<std::int64_t>* prior);

private:
    enum Class : std::uint8_t { Null, Number, Text, Blob };
    struct Item {
        std::uint64_t head;    // the first eight key bytes, big-endian, or a number's bits
        std::uint32_t tailOff; // key bytes after the first eight, in tails_
        std::uint32_t index;   // into keys_
        std::uint32_t tie;     // prior position
        std::uint16_t tailLen; // how many (a longer tail is cut: its rest ties)
        std::uint8_t cls;
        std::uint8_t headLen; // key bytes in head (texts and blobs)
    };
    void addKeyBytes(std::int64_t key, Class cls, std::string_view bytes);

    std::vector<Item> items_;
    std::vector<std::int64_t> keys_;
    std::string tails_;
    std::string scratch_;
};

} // namespace melodeck
