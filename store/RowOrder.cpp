#include "store/RowOrder.h"

#include "store/JetLike.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace melodeck {

namespace {

// Bits of a double that order as unsigned integers the way the numbers do.
std::uint64_t orderedBits(double v) {
    if (v == 0)
        v = 0; // -0 and 0 are equal
    std::uint64_t b;
    std::memcpy(&b, &v, sizeof b);
    return (b & (std::uint64_t(1) << 63)) ? ~b : b | (std::uint64_t(1) << 63);
}

constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();

// Position of each row key in prior, for the keys at hand: a table indexed
// by key when the keys lie close together (a song table's do), else a
// sorted list searched.
class PriorPositions {
public:
    explicit PriorPositions(const std::vector<std::int64_t>& prior) {
        if (prior.empty())
            return;
        const auto [lo, hi] = std::minmax_element(prior.begin(), prior.end());
        const std::uint64_t span = std::uint64_t(*hi) - std::uint64_t(*lo);
        if (span < 2 * prior.size() + 65536) {
            base_ = *lo;
            dense_.assign(size_t(span) + 1, kNone);
            for (size_t i = 0; i < prior.size(); ++i)
                dense_[size_t(prior[i] - base_)] = std::uint32_t(i);
        } else {
            sparse_.reserve(prior.size());
            for (size_t i = 0; i < prior.size(); ++i)
                sparse_.emplace_back(prior[i], std::uint32_t(i));
            std::sort(sparse_.begin(), sparse_.end());
        }
    }
    std::uint32_t of(std::int64_t key) const {
        if (!dense_.empty()) {
            const std::uint64_t d = std::uint64_t(key) - std::uint64_t(base_);
            return d < dense_.size() ? dense_[size_t(d)] : kNone;
        }
        const auto it =
            std::lower_bound(sparse_.begin(), sparse_.end(), std::make_pair(key, std::uint32_t(0)));
        return it != sparse_.end() && it->first == key ? it->second : kNone;
    }

private:
    std::int64_t base_ = 0;
    std::vector<std::uint32_t> dense_;
    std::vector<std::pair<std::int64_t, std::uint32_t>> sparse_;
};

} // namespace

void RowOrder::reserve(size_t rows) {
    // Room not written to costs no memory, and growing would copy.
    items_.reserve(rows);
    keys_.reserve(rows);
    tails_.reserve(rows * 16);
}

void RowOrder::addNull(std::int64_t key) {
    items_.push_back({0, 0, std::uint32_t(keys_.size()), 0, 0, Null, 0});
    keys_.push_back(key);
}

void RowOrder::addNumber(std::int64_t key, double value) {
    items_.push_back({orderedBits(value), 0, std::uint32_t(keys_.size()), 0, 0, Number, 0});
    keys_.push_back(key);
}

void RowOrder::addText(std::int64_t key, std::string_view utf8) {
    scratch_.clear();
    jetlike::appendSortKey(utf8, scratch_);
    addKeyBytes(key, Text, scratch_);
}

void RowOrder::addBlob(std::int64_t key, std::string_view bytes) {
    addKeyBytes(key, Blob, bytes);
}

void RowOrder::addKeyBytes(std::int64_t key, Class cls, std::string_view bytes) {
    std::uint64_t head = 0;
    const size_t k = std::min<size_t>(bytes.size(), 8);
    for (size_t i = 0; i < 8; ++i)
        head = head << 8 | (i < k ? static_cast<unsigned char>(bytes[i]) : 0u);
    Item it{head, 0, std::uint32_t(keys_.size()), 0, 0, cls, std::uint8_t(k)};
    if (bytes.size() > 8) {
        const size_t n = std::min<size_t>(bytes.size() - 8, UINT16_MAX);
        it.tailOff = std::uint32_t(tails_.size());
        it.tailLen = std::uint16_t(n);
        tails_.append(bytes.substr(8, n));
    }
    items_.push_back(it);
    keys_.push_back(key);
}

std::vector<std::int64_t> RowOrder::sorted(bool descending,
                                           const std::vector<std::int64_t>* prior) {
    std::vector<Item>& items = items_;
    const std::uint32_t after = prior ? std::uint32_t(prior->size()) : 0;
    if (prior && !prior->empty()) {
        const PriorPositions pos(*prior);
        for (Item& it : items) {
            const std::uint32_t p = pos.of(keys_[it.index]);
            it.tie = p != kNone ? p : after + it.index;
        }
    } else {
        for (Item& it : items)
            it.tie = it.index;
    }

    const char* tails = tails_.data();
    // -1, 0, 1 as a's key is below, equal to or above b's.
    auto compareKeys = [tails](const Item& a, const Item& b) {
        if (a.cls != b.cls)
            return a.cls < b.cls ? -1 : 1;
        if (a.head != b.head)
            return a.head < b.head ? -1 : 1;
        if (a.headLen != b.headLen)
            return a.headLen < b.headLen ? -1 : 1;
        const size_t n = std::min(a.tailLen, b.tailLen);
        if (n > 0)
            if (const int c = std::memcmp(tails + a.tailOff, tails + b.tailOff, n))
                return c < 0 ? -1 : 1;
        if (a.tailLen != b.tailLen)
            return a.tailLen < b.tailLen ? -1 : 1;
        return 0;
    };
    if (descending)
        std::sort(items.begin(), items.end(), [&](const Item& a, const Item& b) {
            const int c = compareKeys(a, b);
            return c != 0 ? c > 0 : a.tie < b.tie;
        });
    else
        std::sort(items.begin(), items.end(), [&](const Item& a, const Item& b) {
            const int c = compareKeys(a, b);
            return c != 0 ? c < 0 : a.tie < b.tie;
        });

    std::vector<std::int64_t> out(items.size());
    for (size_t i = 0; i < items.size(); ++i)
        out[i] = keys_[items[i].index];
    return out;
}

} // namespace melodeck
