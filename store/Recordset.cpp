#include "store/Recordset.h"

#include "common/VbError.h"

#include <QByteArray>
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <new>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace melodeck {

namespace {
std::string upper(std::string_view s) {
    std::string r(s);
    for (char& c : r)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return r;
}
std::string baseName(const std::string& u) {
    // "VARCHAR(255)" -> "VARCHAR"; "DOUBLE PRECISION" stays whole.
    auto p = u.find('(');
    std::string b = p == std::string::npos ? u : u.substr(0, p);
    while (!b.empty() && b.back() == ' ')
        b.pop_back();
    while (!b.empty() && b.front() == ' ')
        b.erase(b.begin());
    return b;
}
} // namespace

int FieldTypeFromDecl(std::string_view declaredType) {
    const std::string u = upper(declaredType);
    const std::string b = baseName(u);
    if (b.empty())
        return FieldType::Text;
    struct Entry {
        const char* name;
        int code;
    };
    static const Entry table[] = {
        {"BIT", FieldType::Boolean},
        {"YESNO", FieldType::Boolean},
        {"TINYINT", FieldType::Byte},
        {"SMALLINT", FieldType::Integer},
        {"INTEGER", FieldType::Long},
        {"LONG", FieldType::Long},
        {"CURRENCY", FieldType::Currency},
        {"REAL", FieldType::Single},
        {"FLOAT4", FieldType::Single},
        {"SINGLE", FieldType::Single},
        {"DOUBLE", FieldType::Double},
        {"FLOAT", FieldType::Double},
        {"DATETIME", FieldType::Date},
        {"BINARY", FieldType::Binary},
        {"TEXT", FieldType::Text},
        {"VARCHAR", FieldType::Text},
        {"LONGBINARY", FieldType::LongBinary},
        {"BLOB", FieldType::LongBinary},
        {"LONGTEXT", FieldType::Memo},
        {"GUID", FieldType::GUID},
        {"BIGINT", FieldType::BigInt},
        {"VARBINARY", FieldType::VarBinary},
        {"CHAR", FieldType::Char},
        {"NUMERIC", FieldType::Numeric},
        {"DECIMAL", FieldType::Decimal},
        {"TIME", FieldType::Time},
        {"TIMESTAMP", FieldType::TimeStamp},
    };
    for (const Entry& e : table)
        if (b == e.name)
            return e.code;
    // SQLite's own affinity rules for names the table does not know.
    if (u.find("INT") != std::string::npos)
        return FieldType::Long;
    if (u.find("CHAR") != std::string::npos || u.find("CLOB") != std::string::npos ||
        u.find("TEXT") != std::string::npos)
        return FieldType::Text;
    if (u.find("REAL") != std::string::npos || u.find("FLOA") != std::string::npos ||
        u.find("DOUB") != std::string::npos)
        return FieldType::Double;
    return FieldType::Numeric;
}

void Recordset::setFields(std::vector<QString> names, std::vector<int> types) {
    names_ = std::move(names);
    types_ = std::move(types);
    pool_.clear();
    rowStarts_.clear();
    rowStarts_.push_back(0);
    cells_.clear();
    longEnds_.clear();
    rows_ = 0;
}

void Recordset::appendCell(CellTag tag, std::string_view utf8) {
    static_assert(TagBlob < (1u << kTagBits), "every tag fits the bits a cell word keeps for it");
    if (rowStarts_.size() == 0)
        rowStarts_.push_back(0);
    if (pool_.size() + utf8.size() > UINT32_MAX)
        throw VbError(VbError::Database, QStringLiteral("メモリが不足しています。"));
    pool_.append(utf8.data(), utf8.size());
    const size_t end = pool_.size() - rowStarts_[rowStarts_.size() - 1];
    if (end <= kMaxShortEnd) {
        cells_.push_back(std::uint16_t(end << kTagBits | tag));
    } else {
        longEnds_.push_back({cells_.size(), std::uint32_t(pool_.size())});
        cells_.push_back(std::uint16_t(kLongEnd << kTagBits | tag));
    }
}

void Recordset::finishRow() {
    if (rowStarts_.size() == 0)
        rowStarts_.push_back(0);
    rowStarts_.push_back(std::uint32_t(pool_.size()));
    ++rows_;
}

size_t Recordset::longEnd(size_t k) const {
    const auto it = std::lower_bound(longEnds_.begin(), longEnds_.end(), k,
                                     [](const LongEnd& e, size_t cell) { return e.cell < cell; });
    return it->end;
}

namespace {
constexpr size_t kMapFrom = size_t(1) << 20; // bytes

size_t pageRound(size_t bytes) {
    static const size_t page = size_t(sysconf(_SC_PAGESIZE));
    return (bytes + page - 1) / page * page;
}
} // namespace

template <class T> void Recordset::PodBuffer<T>::release() {
    if (!p_)
        return;
    if (mapped_)
        munmap(p_, cap_ * sizeof(T));
    else
        std::free(p_);
    p_ = nullptr;
    n_ = cap_ = 0;
    mapped_ = false;
}

template <class T>
Recordset::PodBuffer<T>& Recordset::PodBuffer<T>::operator=(PodBuffer&& o) noexcept {
    if (this != &o) {
        release();
        p_ = o.p_;
        n_ = o.n_;
        cap_ = o.cap_;
        mapped_ = o.mapped_;
        o.p_ = nullptr;
        o.n_ = o.cap_ = 0;
        o.mapped_ = false;
    }
    return *this;
}

template <class T> Recordset::PodBuffer<T>::~PodBuffer() {
    release();
}

template <class T> void Recordset::PodBuffer<T>::reserve(size_t cap) {
    if (cap <= cap_)
        return;
    const size_t bytes = cap * sizeof(T);
    if (!mapped_ && bytes < kMapFrom) {
        T* q = static_cast<T*>(std::realloc(p_, bytes));
        if (!q)
            throw std::bad_alloc();
        p_ = q;
        cap_ = cap;
        return;
    }
    const size_t mappedBytes = pageRound(bytes);
    void* q;
    if (mapped_) {
        q = mremap(p_, cap_ * sizeof(T), mappedBytes, MREMAP_MAYMOVE);
        if (q == MAP_FAILED)
            throw std::bad_alloc();
    } else {
        q = mmap(nullptr, mappedBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (q == MAP_FAILED)
            throw std::bad_alloc();
        if (n_)
            std::memcpy(q, p_, n_ * sizeof(T));
        std::free(p_);
    }
    p_ = static_cast<T*>(q);
    cap_ = mappedBytes / sizeof(T);
    mapped_ = true;
}

template <class T> void Recordset::PodBuffer<T>::shrinkToFit() {
    if (n_ == cap_)
        return;
    if (n_ == 0) {
        release();
        return;
    }
    if (mapped_) {
        const size_t keep = pageRound(n_ * sizeof(T));
        if (keep < cap_ * sizeof(T) && mremap(p_, cap_ * sizeof(T), keep, 0) != MAP_FAILED)
            cap_ = keep / sizeof(T);
        return;
    }
    if (T* q = static_cast<T*>(std::realloc(p_, n_ * sizeof(T)))) {
        p_ = q;
        cap_ = n_;
    }
}

void Recordset::shrinkToFit() {
    pool_.shrinkToFit();
    rowStarts_.shrinkToFit();
    cells_.shrinkToFit();
    longEnds_.shrink_to_fit();
}

template <class T> void Recordset::PodBuffer<T>::grow(size_t need) {
    reserve(std::max(need, std::max<size_t>(cap_ + cap_ / 2, 4096 / sizeof(T))));
}

template class Recordset::PodBuffer<char>;
template class Recordset::PodBuffer<std::uint32_t>;
template class Recordset::PodBuffer<std::uint16_t>;

std::string_view Recordset::CellBytes(std::int64_t r, int i) const {
    const size_t row = size_t(r);
    const size_t k = row * names_.size() + size_t(i);
    const size_t begin = i == 0 ? rowStarts_[row] : cellEnd(row, k - 1);
    return {pool_.data() + begin, cellEnd(row, k) - begin};
}

QString Recordset::CellText(std::int64_t r, int i) const {
    if (r < 0 || r >= rows_ || i < 0 || i >= FieldCount())
        return {};
    const auto b = CellBytes(r, i);
    return QString::fromUtf8(b.data(), qsizetype(b.size()));
}

Value Recordset::FieldValue(std::int64_t r, int i) const {
    if (r < 0 || r >= rows_ || i < 0 || i >= FieldCount())
        return Value::null();
    const auto b = CellBytes(r, i);
    switch (tag(r, i)) {
    case TagNull:
        return Value::null();
    case TagInteger: {
        std::int64_t v = 0;
        std::from_chars(b.data(), b.data() + b.size(), v);
        switch (types_[size_t(i)]) {
        case FieldType::Boolean:
            return Value::boolean(v != 0);
        case FieldType::Byte:
            if (v >= 0 && v <= 255)
                return Value::byte(std::uint8_t(v));
            break;
        case FieldType::Integer:
            if (v >= INT16_MIN && v <= INT16_MAX)
                return Value::integer(std::int16_t(v));
            break;
        default:
            break;
        }
        if (v >= INT32_MIN && v <= INT32_MAX)
            return Value::lng(std::int32_t(v));
        return Value::bigint(v);
    }
    case TagReal: {
        const double d = QByteArray(b.data(), qsizetype(b.size())).toDouble();
        switch (types_[size_t(i)]) {
        case FieldType::Single:
            return Value::single(float(d));
        case FieldType::Currency:
            return Value::currency(d);
        default:
            return Value::dbl(d);
        }
    }
    case TagText:
    case TagBlob:
        return Value::string(QString::fromUtf8(b.data(), qsizetype(b.size())));
    }
    return Value::null();
}

size_t Recordset::memoryBytes() const {
    return pool_.capacity() + rowStarts_.capacity() * sizeof(std::uint32_t) +
           cells_.capacity() * sizeof(std::uint16_t) + longEnds_.capacity() * sizeof(LongEnd) +
           names_.capacity() * sizeof(QString) + types_.capacity() * sizeof(int);
}

} // namespace melodeck
