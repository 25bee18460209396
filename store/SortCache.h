#pragma once
// What a sort of a whole table by one field learnt, kept for the next sort by
// that field: the rank of every row's value (rows whose values tie share
// one). With it a sort of the same table at the same version, the other way
// round or of a search's rows, orders row ids by a number instead of reading
// the field and building its sort keys again. Kept for a few fields; a
// version that moved (any write to the table, by this program or another)
// finds nothing.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace melodeck {

class SortCache {
public:
    struct Ranks {
        std::string table, field; // as keys (names::key)
        std::uint64_t version = 0;
        std::int64_t first = 0;          // the row id of rank[0]
        std::vector<std::uint32_t> rank; // by row id - first; kNone: no such row
        std::uint32_t groups = 0;        // how many different values
    };
    static constexpr std::uint32_t kNone = UINT32_MAX;

    const Ranks* find(std::string_view table, std::string_view field, std::uint64_t version) const;

    // Keeps the ranks of a whole table's order: its row ids in order (by
    // the field, descending or not) and a 1 for each row whose value differs
    // from the one before. Tables whose row ids lie far apart are not kept.
    void keep(std::string_view table, std::string_view field, std::uint64_t version,
              const std::vector<std::int64_t>& ids, const std::vector<std::uint8_t>& groupStarts,
              bool descending);

    // Every row id of the table, in row id order.
    static std::vector<std::int64_t> RowIds(const Ranks& r);
    // ids (rows of the table, in row id order) in the order of the field;
    // ties in the order of prior (those found in it), then of ids. Empty
    // when an id has no rank.
    static std::vector<std::int64_t> Order(const Ranks& r, const std::vector<std::int64_t>& ids,
                                           bool descending, const std::vector<std::int64_t>* prior);

private:
    std::vector<Ranks> kept_; // oldest first
};

} // namespace melodeck
