#include "store/RowOrder.h"

#include "store/JetLike.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <thread>

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

} // namespace

// Position of each row key in prior, for the keys at hand: a table indexed
// by key when the keys lie close together (a song table's do), else a
// sorted list searched.
class RowOrder::Prior {
public:
    explicit Prior(const std::vector<std::int64_t>& prior) : size_(std::uint32_t(prior.size())) {
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
    std::uint32_t size() const { return size_; }

private:
    std::uint32_t size_;
    std::int64_t base_ = 0;
    std::vector<std::uint32_t> dense_;
    std::vector<std::pair<std::int64_t, std::uint32_t>> sparse_;
};

std::shared_ptr<const RowOrder::Prior> RowOrder::priorOf(const std::vector<std::int64_t>& keys) {
    return std::make_shared<const Prior>(keys);
}

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
        const std::string_view tail = bytes.substr(8, n);
        tails_.insert(tails_.end(), tail.begin(), tail.end());
    }
    items_.push_back(it);
    keys_.push_back(key);
}

int RowOrder::compareKeys(const Item& a, const char* aTails, const Item& b, const char* bTails) {
    if (a.cls != b.cls)
        return a.cls < b.cls ? -1 : 1;
    if (a.head != b.head)
        return a.head < b.head ? -1 : 1;
    if (a.headLen != b.headLen)
        return a.headLen < b.headLen ? -1 : 1;
    const size_t n = std::min(a.tailLen, b.tailLen);
    if (n > 0)
        if (const int c = std::memcmp(aTails + a.tailOff, bTails + b.tailOff, n))
            return c < 0 ? -1 : 1;
    if (a.tailLen != b.tailLen)
        return a.tailLen < b.tailLen ? -1 : 1;
    return 0;
}

void RowOrder::sort(bool descending, const Prior* prior) {
    // Rows without a prior position follow those with one, in the order
    // they were added.
    after_ = prior ? prior->size() : 0;
    for (Item& it : items_) {
        const std::uint32_t p = prior ? prior->of(keys_[it.index]) : kNone;
        it.tie = p != kNone ? p : after_ + it.index;
    }
    const char* tails = tails_.data();
    if (descending)
        std::sort(items_.begin(), items_.end(), [tails](const Item& a, const Item& b) {
            const int c = compareKeys(a, tails, b, tails);
            return c != 0 ? c > 0 : a.tie < b.tie;
        });
    else
        std::sort(items_.begin(), items_.end(), [tails](const Item& a, const Item& b) {
            const int c = compareKeys(a, tails, b, tails);
            return c != 0 ? c < 0 : a.tie < b.tie;
        });
}

namespace {

// Parts below this many rows in all are merged on one thread.
constexpr size_t kMergeApartFrom = 32768;

} // namespace

// One item of a part, as the merge sees it.
struct RowOrder::At {
    const RowOrder* part;
    const Item* item;
};

bool RowOrder::comesFirst(const At& x, const At& y, bool descending) {
    const int c = compareKeys(*x.item, x.part->tails_.data(), *y.item, y.part->tails_.data());
    return c != 0 ? (descending ? c > 0 : c < 0) : x.part->tieOf(*x.item) < y.part->tieOf(*y.item);
}

void RowOrder::mergeRange(const RowOrder& a, size_t i, size_t iEnd, const RowOrder& b, size_t j,
                          size_t jEnd, bool descending, const At* prev, std::int64_t* out,
                          std::uint8_t* starts) {
    At last = prev ? *prev : At{nullptr, nullptr};
    while (i < iEnd || j < jEnd) {
        At next;
        if (j == jEnd ||
            (i < iEnd && comesFirst({&a, &a.items_[i]}, {&b, &b.items_[j]}, descending)))
            next = {&a, &a.items_[i++]};
        else
            next = {&b, &b.items_[j++]};
        *out++ = next.part->keys_[next.item->index];
        if (starts)
            *starts++ = !last.item || compareKeys(*last.item, last.part->tails_.data(), *next.item,
                                                  next.part->tails_.data()) != 0;
        last = next;
    }
}

std::vector<std::int64_t> RowOrder::merge(const std::vector<RowOrder*>& parts, bool descending,
                                          std::vector<std::uint8_t>* groupStarts) {
    static const RowOrder none;
    const RowOrder& a = *parts.at(0);
    const RowOrder& b = parts.size() > 1 ? *parts[1] : none;
    const size_t na = a.items_.size(), nb = b.items_.size(), total = na + nb;
    std::vector<std::int64_t> out(total);
    std::uint8_t* starts = nullptr;
    if (groupStarts) {
        groupStarts->assign(total, 0);
        starts = groupStarts->data();
    }
    if (nb == 0 || total < kMergeApartFrom) {
        mergeRange(a, 0, na, b, 0, nb, descending, nullptr, out.data(), starts);
        return out;
    }
    // Two threads, each merging one half of the output: the first half takes
    // the first i items of a and h - i of b (where the merge would be).
    const size_t h = total / 2;
    size_t lo = h > nb ? h - nb : 0, hi = std::min(h, na), i = lo;
    while (lo <= hi) {
        i = lo + (hi - lo) / 2;
        const size_t j = h - i;
        if (i > 0 && j < nb && comesFirst({&b, &b.items_[j]}, {&a, &a.items_[i - 1]}, descending))
            hi = i - 1;
        else if (j > 0 && i < na &&
                 comesFirst({&a, &a.items_[i]}, {&b, &b.items_[j - 1]}, descending))
            lo = i + 1;
        else
            break;
    }
    const size_t j = h - i;
    // The item the first half ends with, for the group of the second's first.
    At prev{nullptr, nullptr};
    if (i > 0)
        prev = {&a, &a.items_[i - 1]};
    if (j > 0 && (!prev.item || comesFirst(prev, {&b, &b.items_[j - 1]}, descending)))
        prev = {&b, &b.items_[j - 1]};
    std::thread second(mergeRange, std::cref(a), i, na, std::cref(b), j, nb, descending, &prev,
                       out.data() + h, starts ? starts + h : nullptr);
    mergeRange(a, 0, i, b, 0, j, descending, nullptr, out.data(), starts);
    second.join();
    return out;
}

std::vector<std::int64_t> RowOrder::sorted(bool descending,
                                           const std::vector<std::int64_t>* prior) {
    const auto positions = prior && !prior->empty() ? priorOf(*prior) : nullptr;
    sort(descending, positions.get());
    return merge({this}, descending);
}

} // namespace melodeck
