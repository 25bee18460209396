#include "store/Recordset.h"

#include "common/VbError.h"
#include "store/Connection.h"

#include <QByteArray>
#include <algorithm>
#include <cctype>
#include <charconv>
#include <climits>
#include <deque>
#include <sqlite3.h>
#include <string>

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

// A keyed set: the row keys in order, and the blocks of rows read so far.
struct Recordset::Keyed final : Connection::Reader {
    static constexpr std::int64_t kBlockRows = 64;
    // Keys read at least at once when more are needed.
    static constexpr std::int64_t kFirstKeys = 1024;
    // Blocks kept at once: enough for every row a window shows, and then some.
    static constexpr size_t kMaxBlocks = 256;

    std::shared_ptr<Connection> conn;
    std::string table;
    const std::uint64_t* version = nullptr; // the table's live version
    std::uint64_t madeAt = 0;               // its version when the set was made
    std::uint64_t seen = 0;                 // the version the blocks were read at
    std::vector<std::int64_t> keys;
    sqlite3_stmt* fetch = nullptr;
    bool fetchFailed = false;
    std::vector<std::unique_ptr<Recordset>> blocks; // by block number
    std::deque<size_t> held;                        // blocks read, oldest first
    // Keys not read yet: the query that gives them all, and how many there are.
    std::string keyQuery;
    std::string orderField; // see keyOrderField
    std::int64_t total = 0;
    bool complete = true;

    ~Keyed() {
        sqlite3_finalize(fetch);
        if (!complete)
            conn->removeReader(this);
    }

    void settle() override { readUpTo(total - 1); }

    // Reads keys until key r is there (or all are). Reading on from where
    // the last read stopped, at least as many again, keeps the whole list
    // one pass over the table however it is paged through.
    void readUpTo(std::int64_t r) {
        if (complete || std::int64_t(keys.size()) > r)
            return;
        const std::int64_t have = std::int64_t(keys.size());
        const std::int64_t want = std::min(total, std::max({r + 1, 2 * have, kFirstKeys}));
        const std::string sql =
            keyQuery + " LIMIT " + std::to_string(want - have) + " OFFSET " + std::to_string(have);
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(conn->handle(), sql.c_str(), int(sql.size()), &st, nullptr) ==
            SQLITE_OK) {
            while (sqlite3_step(st) == SQLITE_ROW)
                keys.push_back(sqlite3_column_int64(st, 0));
        }
        sqlite3_finalize(st);
        // Rows gone meanwhile (another program): their places read as empty.
        keys.resize(size_t(want), kNoRow);
        if (want == total) {
            complete = true;
            conn->removeReader(this);
        }
    }
    static constexpr std::int64_t kNoRow = INT64_MIN;

    const Recordset& block(const Recordset& owner, size_t b) {
        if (*version != seen) {
            // The table changed: what was read may be gone or different.
            for (size_t k : held)
                blocks[k].reset();
            held.clear();
            seen = *version;
        }
        if (blocks[b])
            return *blocks[b];
        if (held.size() >= kMaxBlocks) {
            blocks[held.front()].reset();
            held.pop_front();
        }
        auto rs = std::make_unique<Recordset>();
        rs->setFields(owner.names_, owner.types_);
        if (!fetch && !fetchFailed) {
            const std::string sql = "SELECT * FROM " + table + " WHERE rowid = ?";
            fetchFailed =
                sqlite3_prepare_v3(conn->handle(), sql.c_str(), int(sql.size()),
                                   SQLITE_PREPARE_PERSISTENT, &fetch, nullptr) != SQLITE_OK;
        }
        const size_t first = b * kBlockRows;
        const size_t last = size_t(std::min<std::int64_t>(total, std::int64_t(first) + kBlockRows));
        readUpTo(std::int64_t(last) - 1);
        const int n = owner.FieldCount();
        for (size_t r = first; r < last; ++r) {
            bool found = false;
            if (fetch && keys[r] != kNoRow) {
                sqlite3_bind_int64(fetch, 1, keys[r]);
                if (sqlite3_step(fetch) == SQLITE_ROW && sqlite3_column_count(fetch) == n) {
                    rs->appendRow(fetch);
                    found = true;
                }
                sqlite3_reset(fetch);
            }
            if (!found) {
                // Deleted since, or unreadable: an empty row, never a stale one.
                for (int i = 0; i < n; ++i)
                    rs->appendCell(TagNull, {});
                rs->finishRow();
            }
        }
        blocks[b] = std::move(rs);
        held.push_back(b);
        return *blocks[b];
    }
};

Recordset::Recordset() = default;
Recordset::~Recordset() = default;

Recordset::Keyed& Recordset::startKeyed(std::shared_ptr<Connection> conn, std::string table,
                                        std::int64_t total) {
    auto k = std::make_unique<Keyed>();
    k->version = conn->version(table);
    k->madeAt = k->seen = *k->version;
    k->conn = std::move(conn);
    k->table = std::move(table);
    k->total = std::max<std::int64_t>(total, 0);
    k->blocks.resize(size_t((k->total + Keyed::kBlockRows - 1) / Keyed::kBlockRows));
    rows_ = k->total;
    pool_.clear();
    rowStarts_.clear();
    cells_.clear();
    longEnds_.clear();
    keyed_ = std::move(k);
    return *keyed_;
}

void Recordset::setKeys(std::shared_ptr<Connection> conn, std::string table,
                        std::vector<std::int64_t> keys) {
    const auto total = std::int64_t(keys.size());
    startKeyed(std::move(conn), std::move(table), total).keys = std::move(keys);
}

void Recordset::setKeysFrom(std::shared_ptr<Connection> conn, std::string table,
                            std::string keyQuery, std::int64_t total) {
    Keyed& k = startKeyed(std::move(conn), std::move(table), total);
    k.keyQuery = std::move(keyQuery);
    if (k.total > 0) {
        k.complete = false;
        k.conn->addReader(&k);
    }
}

const std::vector<std::int64_t>* Recordset::rowKeys() const {
    if (!keyed_)
        return nullptr;
    keyed_->readUpTo(keyed_->total - 1);
    return &keyed_->keys;
}

const std::string& Recordset::keyTable() const {
    static const std::string none;
    return keyed_ ? keyed_->table : none;
}

const Connection* Recordset::keyConnection() const {
    return keyed_ ? keyed_->conn.get() : nullptr;
}

std::uint64_t Recordset::keyVersion() const {
    return keyed_ ? keyed_->madeAt : 0;
}

const std::string& Recordset::keyOrderField() const {
    static const std::string none;
    return keyed_ ? keyed_->orderField : none;
}

void Recordset::setKeyOrderField(std::string field) {
    if (keyed_)
        keyed_->orderField = std::move(field);
}

const Recordset* Recordset::holder(std::int64_t r, std::int64_t& local) const {
    if (r < 0 || r >= rows_)
        return nullptr;
    if (!keyed_) {
        local = r;
        return this;
    }
    const size_t b = size_t(r / Keyed::kBlockRows);
    local = r % Keyed::kBlockRows;
    return &keyed_->block(*this, b);
}

void Recordset::setFields(std::vector<QString> names, std::vector<int> types) {
    names_ = std::move(names);
    types_ = std::move(types);
    pool_.clear();
    rowStarts_.assign(1, 0);
    cells_.clear();
    longEnds_.clear();
    rows_ = 0;
    keyed_.reset();
}

void Recordset::appendCell(CellTag tag, std::string_view utf8) {
    static_assert(TagBlob < (1u << kTagBits), "every tag fits the bits a cell word keeps for it");
    if (rowStarts_.empty())
        rowStarts_.push_back(0);
    if (pool_.size() + utf8.size() > UINT32_MAX)
        throw VbError(VbError::Database, QStringLiteral("メモリが不足しています。"));
    pool_.insert(pool_.end(), utf8.begin(), utf8.end());
    const size_t end = pool_.size() - rowStarts_.back();
    if (end <= kMaxShortEnd) {
        cells_.push_back(std::uint16_t(end << kTagBits | tag));
    } else {
        longEnds_.push_back({cells_.size(), std::uint32_t(pool_.size())});
        cells_.push_back(std::uint16_t(kLongEnd << kTagBits | tag));
    }
}

void Recordset::finishRow() {
    if (rowStarts_.empty())
        rowStarts_.push_back(0);
    rowStarts_.push_back(std::uint32_t(pool_.size()));
    ++rows_;
}

void Recordset::appendRow(sqlite3_stmt* st) {
    const int n = FieldCount();
    char num[32];
    for (int i = 0; i < n; ++i) {
        switch (sqlite3_column_type(st, i)) {
        case SQLITE_NULL:
            appendCell(TagNull, {});
            break;
        case SQLITE_INTEGER: {
            const auto r = std::to_chars(num, num + sizeof num, sqlite3_column_int64(st, i));
            appendCell(TagInteger, std::string_view(num, size_t(r.ptr - num)));
            break;
        }
        case SQLITE_FLOAT: {
            const QByteArray t = NumberText(sqlite3_column_double(st, i)).toUtf8();
            appendCell(TagReal, std::string_view(t.constData(), size_t(t.size())));
            break;
        }
        case SQLITE_TEXT: {
            const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
            const int b = sqlite3_column_bytes(st, i);
            appendCell(TagText, std::string_view(p ? p : "", size_t(b)));
            break;
        }
        default: {
            const auto* p = static_cast<const char*>(sqlite3_column_blob(st, i));
            const int b = sqlite3_column_bytes(st, i);
            appendCell(TagBlob, std::string_view(p ? p : "", size_t(b)));
            break;
        }
        }
    }
    finishRow();
}

size_t Recordset::longEnd(size_t k) const {
    const auto it = std::lower_bound(longEnds_.begin(), longEnds_.end(), k,
                                     [](const LongEnd& e, size_t cell) { return e.cell < cell; });
    return it->end;
}

void Recordset::shrinkToFit() {
    pool_.shrink_to_fit();
    rowStarts_.shrink_to_fit();
    cells_.shrink_to_fit();
    longEnds_.shrink_to_fit();
}

std::string_view Recordset::cellBytes(std::int64_t r, int i) const {
    const size_t row = size_t(r);
    const size_t k = row * names_.size() + size_t(i);
    const size_t begin = i == 0 ? rowStarts_[row] : cellEnd(row, k - 1);
    return {pool_.data() + begin, cellEnd(row, k) - begin};
}

bool Recordset::IsNull(std::int64_t r, int i) const {
    std::int64_t local = 0;
    const Recordset* h = i >= 0 && i < FieldCount() ? holder(r, local) : nullptr;
    return !h || h->tag(local, i) == TagNull;
}

QString Recordset::CellText(std::int64_t r, int i) const {
    std::int64_t local = 0;
    const Recordset* h = i >= 0 && i < FieldCount() ? holder(r, local) : nullptr;
    if (!h)
        return {};
    const auto b = h->cellBytes(local, i);
    return QString::fromUtf8(b.data(), qsizetype(b.size()));
}

Value Recordset::FieldValue(std::int64_t r, int i) const {
    std::int64_t local = 0;
    const Recordset* h = i >= 0 && i < FieldCount() ? holder(r, local) : nullptr;
    if (!h)
        return Value::null();
    const auto b = h->cellBytes(local, i);
    switch (h->tag(local, i)) {
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
    size_t n = pool_.capacity() + rowStarts_.capacity() * sizeof(std::uint32_t) +
               cells_.capacity() * sizeof(std::uint16_t) + longEnds_.capacity() * sizeof(LongEnd) +
               names_.capacity() * sizeof(QString) + types_.capacity() * sizeof(int);
    if (keyed_) {
        n += keyed_->keys.capacity() * sizeof(std::int64_t) +
             keyed_->blocks.capacity() * sizeof(keyed_->blocks[0]);
        for (size_t b : keyed_->held)
            n += keyed_->blocks[b]->memoryBytes();
    }
    return n;
}

} // namespace melodeck
