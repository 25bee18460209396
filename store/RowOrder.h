#pragma once
// Orders the rows of one query by one field the way the Japanese database
// sorts: Null first, then numbers as numbers, then text by its sort key
// (appendSortKey), then binary data byte by byte; descending reverses that.
// Rows that compare equal keep the order they had before (their "prior"
// position), so sorting by one field and then another keeps the first order
// among ties; rows without one follow in the order they were added.
//
// The rows may come in parts (the halves of a table read on two threads):
// each part is sorted on its own, on any thread, and the sorted parts are
// merged into the one order a single part of all the rows would give.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace melodeck {

class RowOrder {
public:
    // Positions of the row keys of an earlier order, for the ties.
    class Prior;
    static std::shared_ptr<const Prior> priorOf(const std::vector<std::int64_t>& keys);

    // part: the place of this part among the parts (all rows of a part
    // were added after those of the parts before it).
    explicit RowOrder(std::uint32_t part = 0) : part_(part) {}

    void reserve(size_t rows);
    // One row, in the order the query produced them, with its field value.
    void addNull(std::int64_t key);
    void addNumber(std::int64_t key, double value);
    void addText(std::int64_t key, std::string_view utf8);
    void addBlob(std::int64_t key, std::string_view bytes);
    size_t size() const { return items_.size(); }

    // Sorts this part in place (once), prior's positions first among ties.
    void sort(bool descending, const Prior* prior);
    // The row keys of sorted parts (one or two, in the order they were
    // added) in the order of all their rows. groupStarts, when given,
    // gets a 1 for each row whose key differs from the row's before it.
    static std::vector<std::int64_t> merge(const std::vector<RowOrder*>& parts, bool descending,
                                           std::vector<std::uint8_t>* groupStarts = nullptr);

    // The row keys of a single part in sorted order (sort and merge).
    std::vector<std::int64_t> sorted(bool descending, const std::vector<std::int64_t>* prior);

private:
    enum Class : std::uint8_t { Null, Number, Text, Blob };
    struct Item {
        std::uint64_t head;    // the first eight key bytes, big-endian, or a number's bits
        std::uint32_t tailOff; // key bytes after the first eight, in tails_
        std::uint32_t index;   // into keys_
        std::uint32_t tie;     // prior position, or after them the place in the part
        std::uint16_t tailLen; // how many (a longer tail is cut: its rest ties)
        std::uint8_t cls;
        std::uint8_t headLen; // key bytes in head (texts and blobs)
    };
    void addKeyBytes(std::int64_t key, Class cls, std::string_view bytes);
    struct At;
    static bool comesFirst(const At& x, const At& y, bool descending);
    // Merges a's items i to iEnd with b's j to jEnd into out (prev: the item
    // before them in the whole order, for starts).
    static void mergeRange(const RowOrder& a, size_t i, size_t iEnd, const RowOrder& b, size_t j,
                           size_t jEnd, bool descending, const At* prev, std::int64_t* out,
                           std::uint8_t* starts);
    // -1, 0, 1 as a's key is below, equal to or above b's (tails of each part).
    static int compareKeys(const Item& a, const char* aTails, const Item& b, const char* bTails);

    // The place among all rows that ties are kept by: a prior position, or
    // after all of those the part and the place in it.
    std::uint64_t tieOf(const Item& it) const {
        return it.tie < after_ ? it.tie : (std::uint64_t(part_) << 32) | it.tie;
    }

    std::uint32_t part_;
    std::uint32_t after_ = 0; // how many prior positions there are
    std::vector<Item> items_;
    std::vector<std::int64_t> keys_;
    std::vector<char> tails_;
    std::string scratch_;
};

} // namespace melodeck
