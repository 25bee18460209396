#include "store/Recordset.h"

#include "common/VbError.h"
#include "store/EngineError.h"

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

// A set of table rows: its row ids and statements, and the blocks of rows
// read so far.
struct Recordset::Table {
    static constexpr std::int64_t kBlockRows = 64;
    // Blocks kept at once with a snapshot: enough for every row a window
    // shows, and then some. Without one every block stays.
    static constexpr size_t kMaxBlocks = 256;

    TableRows rows;
    QString path;
    std::vector<std::unique_ptr<RowBlock>> blocks; // by block number
    std::deque<size_t> read;                       // blocks held, oldest first
    // The snapshot's generation the row id cursor was stepped in.
    std::uint64_t cursorGeneration = 0;
};

Recordset::Recordset() = default;
Recordset::~Recordset() = default;

std::unique_ptr<Recordset> Recordset::held(Fields fields, RowBlock rows,
                                           std::vector<std::uint32_t> order) {
    auto rs = std::make_unique<Recordset>();
    rs->fields_ = std::move(fields);
    rs->count_ = order.empty() ? rows.rows() : std::int64_t(order.size());
    rs->readable_ = rs->count_;
    rs->held_ = std::move(rows);
    rs->held_.shrinkToFit();
    rs->order_ = std::move(order);
    return rs;
}

std::unique_ptr<Recordset> Recordset::ofTable(Fields fields, TableRows rows, const QString& path) {
    auto rs = std::make_unique<Recordset>();
    rs->fields_ = std::move(fields);
    rs->count_ = rs->readable_ = std::max<std::int64_t>(rows.count, 0);
    auto t = std::make_unique<Table>();
    t->rows = std::move(rows);
    t->path = path;
    t->blocks.resize(size_t((rs->count_ + Table::kBlockRows - 1) / Table::kBlockRows));
    if (t->rows.snapshot)
        t->cursorGeneration = t->rows.snapshot->generation();
    rs->table_ = std::move(t);
    if (!rs->table_->rows.snapshot) {
        // No snapshot to come back to: every row now, or the query fails.
        for (size_t b = 0; b < rs->table_->blocks.size(); ++b) {
            rs->readBlock(b);
            if (!rs->readError_.isEmpty())
                throw VbError(VbError::Database, rs->readError_);
        }
        rs->table_->rows.fetch.reset();
        rs->table_->rows.moreRowIds.reset();
    }
    return rs;
}

const std::string& Recordset::table() const {
    static const std::string none;
    return table_ ? table_->rows.table : none;
}

std::uint64_t Recordset::tableVersion() const {
    return table_ ? table_->rows.version : 0;
}

const std::string& Recordset::tiesInRowIdOrder() const {
    static const std::string none;
    return table_ ? table_->rows.orderField : none;
}

const std::vector<std::int64_t>* Recordset::rowIds() const {
    if (!table_ || (count_ > 0 && !readRowIds(count_ - 1)))
        return nullptr;
    return &table_->rows.rowIds;
}

void Recordset::failAt(std::int64_t r, int rc, const char* engineMessage) const {
    readable_ = std::min(readable_, r);
    if (!readError_.isEmpty())
        return;
    readError_ = DescribeEngineError(table_->path, rc, engineMessage);
    findFirstUnreadable();
}

void Recordset::findFirstUnreadable() const {
    // Damage seldom comes alone: rows before the failed one that no block
    // has read yet are looked up now (by row id only, which reads the page
    // that holds the row), so that the set ends at the first row that
    // cannot be read and the failure is told once, for all of them.
    TableRows& t = table_->rows;
    if (!t.snapshot)
        return;
    Statement probe;
    if (Prepare(t.snapshot->handle(), "SELECT 1 FROM " + t.table + " WHERE " + t.rowIdName + " = ?",
                probe) != SQLITE_OK)
        return;
    for (std::int64_t r = 0; r < readable_; ++r) {
        const size_t b = size_t(r / Table::kBlockRows);
        if (table_->blocks[b] && table_->blocks[b]->rows() == Table::kBlockRows) {
            r = std::int64_t(b + 1) * Table::kBlockRows - 1; // read whole already
            continue;
        }
        int rc = sqlite3_bind_int64(probe.get(), 1, t.rowIds[size_t(r)]);
        if (rc == SQLITE_OK)
            rc = sqlite3_step(probe.get());
        sqlite3_reset(probe.get());
        if (rc != SQLITE_ROW) {
            readable_ = r;
            return;
        }
    }
}

bool Recordset::readRowIds(std::int64_t r) const {
    TableRows& t = table_->rows;
    if (std::int64_t(t.rowIds.size()) > r || !t.moreRowIds)
        return std::int64_t(t.rowIds.size()) > r;
    sqlite3_stmt* st = t.moreRowIds.get();
    if (t.snapshot && table_->cursorGeneration != t.snapshot->generation()) {
        // The snapshot began again on the same content, which reset the
        // cursor: it starts over and passes the row ids read before.
        table_->cursorGeneration = t.snapshot->generation();
        for (size_t k = 0; k < t.rowIds.size(); ++k) {
            const int rc = sqlite3_step(st);
            if (rc == SQLITE_ROW && sqlite3_column_int64(st, 0) == t.rowIds[k])
                continue;
            failAt(std::int64_t(k), rc == SQLITE_ROW || rc == SQLITE_DONE ? SQLITE_CORRUPT : rc,
                   rc == SQLITE_ROW || rc == SQLITE_DONE ? nullptr
                                                         : sqlite3_errmsg(sqlite3_db_handle(st)));
            t.moreRowIds.reset();
            return false;
        }
    }
    while (std::int64_t(t.rowIds.size()) <= r && t.moreRowIds) {
        const int rc = sqlite3_step(st);
        if (rc == SQLITE_ROW) {
            t.rowIds.push_back(sqlite3_column_int64(st, 0));
            continue;
        }
        // Fewer rows than counted: the table's index and its rows disagree.
        if (rc == SQLITE_DONE)
            failAt(std::int64_t(t.rowIds.size()), SQLITE_CORRUPT, nullptr);
        else
            failAt(std::int64_t(t.rowIds.size()), rc, sqlite3_errmsg(sqlite3_db_handle(st)));
        t.moreRowIds.reset();
    }
    return std::int64_t(t.rowIds.size()) > r;
}

void Recordset::readBlock(size_t b) const {
    Table& t = *table_;
    if (t.rows.snapshot && t.read.size() >= Table::kMaxBlocks) {
        t.blocks[t.read.front()].reset();
        t.read.pop_front();
    }
    const std::int64_t first = std::int64_t(b) * Table::kBlockRows;
    const std::int64_t last = std::min(count_, first + Table::kBlockRows);
    readRowIds(last - 1);
    auto block = std::make_unique<RowBlock>(FieldCount());
    sqlite3_stmt* fetch = t.rows.fetch.get();
    for (std::int64_t r = first; r < last && r < readable_; ++r) {
        int rc = sqlite3_bind_int64(fetch, 1, t.rows.rowIds[size_t(r)]);
        if (rc == SQLITE_OK)
            rc = sqlite3_step(fetch);
        if (rc == SQLITE_ROW) {
            block->appendRow(fetch);
            sqlite3_reset(fetch);
            continue;
        }
        // A row id of the snapshot without its row is a damaged table.
        failAt(r, rc == SQLITE_DONE ? SQLITE_CORRUPT : rc,
               rc == SQLITE_DONE ? nullptr : sqlite3_errmsg(sqlite3_db_handle(fetch)));
        sqlite3_reset(fetch);
    }
    t.blocks[b] = std::move(block);
    t.read.push_back(b);
}

const RowBlock* Recordset::locate(std::int64_t r, std::int64_t& local) const {
    if (r < 0 || r >= readable_)
        return nullptr;
    if (!table_) {
        local = order_.empty() ? r : std::int64_t(order_[size_t(r)]);
        return &held_;
    }
    const size_t b = size_t(r / Table::kBlockRows);
    local = r % Table::kBlockRows;
    if (!table_->blocks[b])
        readBlock(b);
    return r < readable_ ? table_->blocks[b].get() : nullptr;
}

bool Recordset::IsNull(std::int64_t r, int i) const {
    std::int64_t local = 0;
    const RowBlock* h = i >= 0 && i < FieldCount() ? locate(r, local) : nullptr;
    return !h || h->tag(local, i) == RowBlock::TagNull;
}

QString Recordset::CellText(std::int64_t r, int i) const {
    std::int64_t local = 0;
    const RowBlock* h = i >= 0 && i < FieldCount() ? locate(r, local) : nullptr;
    if (!h)
        return {};
    const auto b = h->bytes(local, i);
    return QString::fromUtf8(b.data(), qsizetype(b.size()));
}

Value Recordset::FieldValue(std::int64_t r, int i) const {
    std::int64_t local = 0;
    const RowBlock* h = i >= 0 && i < FieldCount() ? locate(r, local) : nullptr;
    if (!h)
        return Value::null();
    const auto b = h->bytes(local, i);
    switch (h->tag(local, i)) {
    case RowBlock::TagNull:
        return Value::null();
    case RowBlock::TagInteger: {
        std::int64_t v = 0;
        std::from_chars(b.data(), b.data() + b.size(), v);
        switch (FieldType(i)) {
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
    case RowBlock::TagReal: {
        const double d = QByteArray(b.data(), qsizetype(b.size())).toDouble();
        switch (FieldType(i)) {
        case FieldType::Single:
            return Value::single(float(d));
        case FieldType::Currency:
            return Value::currency(d);
        default:
            return Value::dbl(d);
        }
    }
    case RowBlock::TagText:
    case RowBlock::TagBlob:
        return Value::string(QString::fromUtf8(b.data(), qsizetype(b.size())));
    }
    return Value::null();
}

} // namespace melodeck
