#include "store/SortCache.h"

#include "store/Names.h"

namespace melodeck {

namespace {

// Fields kept at once: each costs four bytes a row.
constexpr size_t kFields = 2;

} // namespace

const SortCache::Ranks* SortCache::find(std::string_view table, std::string_view field,
                                        std::uint64_t version) const {
    for (const Ranks& r : kept_)
        if (r.version == version && r.table == names::key(table) && r.field == names::key(field))
            return &r;
    return nullptr;
}

void SortCache::keep(std::string_view table, std::string_view field, std::uint64_t version,
                     const std::vector<std::int64_t>& ids,
                     const std::vector<std::uint8_t>& groupStarts, bool descending) {
    if (ids.empty() || groupStarts.size() != ids.size())
        return;
    std::int64_t first = ids[0], last = ids[0];
    for (std::int64_t id : ids) {
        first = std::min(first, id);
        last = std::max(last, id);
    }
    const std::uint64_t span = std::uint64_t(last) - std::uint64_t(first) + 1;
    if (span > 2 * ids.size() + 65536)
        return;
    Ranks r;
    r.table = names::key(table);
    r.field = names::key(field);
    r.version = version;
    r.first = first;
    r.rank.assign(size_t(span), kNone);
    std::uint32_t g = 0;
    for (std::uint8_t s : groupStarts)
        g += s;
    r.groups = g;
    // Group k of the order is rank k ascending; descending, the other way.
    std::uint32_t group = 0;
    for (size_t k = 0; k < ids.size(); ++k) {
        group += groupStarts[k];
        r.rank[size_t(ids[k] - first)] = descending ? r.groups - group : group - 1;
    }
    for (auto it = kept_.begin(); it != kept_.end(); ++it)
        if (it->table == r.table && it->field == r.field) {
            kept_.erase(it);
            break;
        }
    if (kept_.size() >= kFields)
        kept_.erase(kept_.begin());
    kept_.push_back(std::move(r));
}

std::vector<std::int64_t> SortCache::RowIds(const Ranks& r) {
    std::vector<std::int64_t> ids;
    for (size_t k = 0; k < r.rank.size(); ++k)
        if (r.rank[k] != kNone)
            ids.push_back(r.first + std::int64_t(k));
    return ids;
}

std::vector<std::int64_t> SortCache::Order(const Ranks& r, const std::vector<std::int64_t>& ids,
                                           bool descending,
                                           const std::vector<std::int64_t>* prior) {
    const std::int64_t span = std::int64_t(r.rank.size());
    auto place = [&](std::int64_t id) -> std::int64_t {
        const std::int64_t k = id - r.first;
        return k >= 0 && k < span && r.rank[size_t(k)] != kNone ? k : -1;
    };
    // The rows in the order their ties keep: prior's first, then the rest.
    enum : std::uint8_t { Out, In, Taken };
    std::vector<std::uint8_t> mark(size_t(span), Out);
    for (std::int64_t id : ids) {
        const std::int64_t k = place(id);
        if (k < 0)
            return {};
        mark[size_t(k)] = In;
    }
    std::vector<std::int64_t> tied;
    tied.reserve(ids.size());
    if (prior)
        for (std::int64_t id : *prior)
            if (const std::int64_t k = place(id); k >= 0 && mark[size_t(k)] == In) {
                mark[size_t(k)] = Taken;
                tied.push_back(id);
            }
    for (std::int64_t id : ids)
        if (mark[size_t(id - r.first)] == In)
            tied.push_back(id);
    // A counting sort by rank keeps that order among the rows of one rank.
    std::vector<std::uint32_t> start(size_t(r.groups) + 1, 0);
    for (std::int64_t id : tied) {
        const std::uint32_t g = r.rank[size_t(id - r.first)];
        ++start[descending ? r.groups - 1 - g : g];
    }
    std::uint32_t at = 0;
    for (std::uint32_t& s : start) {
        const std::uint32_t n = s;
        s = at;
        at += n;
    }
    std::vector<std::int64_t> out(tied.size());
    for (std::int64_t id : tied) {
        const std::uint32_t g = r.rank[size_t(id - r.first)];
        out[start[descending ? r.groups - 1 - g : g]++] = id;
    }
    return out;
}

} // namespace melodeck
