#include "store/Database.h"

#include "common/SafeFile.h"
#include "common/VbError.h"
#include "store/EngineError.h"
#include "store/JetLike.h"
#include "store/RowOrder.h"

#include <QFileInfo>
#include <QScopeGuard>
#include <QStringEncoder>
#include <sqlite3.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <utility>

namespace melodeck {

namespace {

[[noreturn]] void fail(QString description) {
    throw VbError(VbError::Database, std::move(description));
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Names and keywords match as the engine matches them: ASCII letters in any case.
bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t k = 0; k < a.size(); ++k) {
        char x = a[k], y = b[k];
        if (x >= 'A' && x <= 'Z')
            x = char(x + 32);
        if (y >= 'A' && y <= 'Z')
            y = char(y + 32);
        if (x != y)
            return false;
    }
    return true;
}

// Whether the keyword kw stands at s[i], in any letter case, with a blank after it.
bool keywordAt(const std::string& s, size_t i, const char* kw) {
    const size_t n = std::strlen(kw);
    return i + n < s.size() && isBlank(s[i + n]) && sameName(std::string_view(s).substr(i, n), kw);
}

size_t skipBlanks(const std::string& s, size_t i) {
    while (i < s.size() && isBlank(s[i]))
        ++i;
    return i;
}

// INSERT and UPDATE run with the IGNORE conflict rule, so that a row refused
// by a constraint is skipped without an error, as Jet does when the
// fail-on-error option is not given. A statement that names its own rule is
// left alone.
std::string withIgnoreRule(std::string sql) {
    const size_t i = skipBlanks(sql, 0);
    for (const char* verb : {"INSERT", "UPDATE"}) {
        if (!keywordAt(sql, i, verb))
            continue;
        const size_t after = i + std::strlen(verb);
        if (keywordAt(sql, skipBlanks(sql, after), "OR"))
            return sql;
        sql.insert(after, " OR IGNORE");
        return sql;
    }
    return sql;
}

} // namespace

Database::Database(const QString& path) : path_(path) {
    const QFileInfo fi(path);
    if (path.isEmpty() || !fi.exists())
        fail(QStringLiteral("ファイル '%1' が見つかりません。").arg(path));
    if (fi.isDir())
        fail(QStringLiteral("'%1' はフォルダーです。データベースのファイルを指定してください。")
                 .arg(path));
    // SQLite would take an empty file for an empty database; it is no
    // database file this program can work with.
    if (fi.size() == 0)
        fail(QStringLiteral("ファイル '%1' はデータベースではありません。").arg(path));

    const QByteArray name = path.toUtf8();
    // A file that nobody may write (read-only as its owner set it) is opened
    // for reading only, so that it stays as it is also for a user whom the
    // system would let write it anyway; a change then fails with the engine's
    // read-only error instead of going through.
    const bool readOnly = !files::HasWriteBit(fi);
    // Never SQLITE_OPEN_CREATE: a missing file is an error, not a new
    // database. One connection serves one thread (the window's), so it
    // needs no mutex of its own around every column read.
    const int rc = sqlite3_open_v2(
        name.constData(), &db_,
        (readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        const QString d = DescribeEngineError(path_, rc, db_ ? sqlite3_errmsg(db_) : nullptr);
        sqlite3_close_v2(db_);
        db_ = nullptr;
        fail(d);
    }
    sqlite3_extended_result_codes(db_, 1);
    jetlike::registerLike(db_);

    // Opening reads nothing yet; reading the schema tells a database from
    // any other file.
    sqlite3_stmt* st = nullptr;
    int src = sqlite3_prepare_v2(db_, "SELECT count(*) FROM sqlite_master", -1, &st, nullptr);
    if (src == SQLITE_OK)
        src = sqlite3_step(st) == SQLITE_ROW ? SQLITE_OK : sqlite3_errcode(db_);
    sqlite3_finalize(st);
    if (src != SQLITE_OK) {
        const QString d = DescribeEngineError(path_, src, sqlite3_errmsg(db_));
        sqlite3_close_v2(db_);
        db_ = nullptr;
        fail(d);
    }
    conn_ = std::make_shared<Connection>(path_, db_, readOnly);
    sqlite3_set_authorizer(db_, &Database::authorize, this);
}

bool Database::ReadOnly() const {
    return sqlite3_db_readonly(db_, "main") == 1;
}

Database::~Database() {
    inserts_.reset(); // its statements go before the connection
    // Record sets may still read their snapshots; the file closes with the last.
    sqlite3_set_authorizer(db_, nullptr, nullptr);
}

int Database::authorize(void* self, int action, const char* a1, const char*, const char* a3,
                        const char* a4) {
    auto* d = static_cast<Database*>(self);
    if (d->collecting_ && a1 &&
        (action == SQLITE_INSERT || action == SQLITE_UPDATE || action == SQLITE_DELETE ||
         action == SQLITE_DROP_TABLE))
        d->written_.emplace_back(a1);
    // A read with a view or trigger named in a4 is the view's own doing.
    if (d->collectingReads_ && action == SQLITE_READ && a1 && a3 && !a4) {
        const Table t{QString::fromUtf8(a3), QString::fromUtf8(a1)};
        if (std::find(d->read_.begin(), d->read_.end(), t) == d->read_.end())
            d->read_.push_back(t);
    }
    return SQLITE_OK;
}

void Database::raise(sqlite3* db, int rc) const {
    RaiseEngineError(path_, rc, sqlite3_errmsg(db));
}

namespace {

// Whether sql holds a comment ("--" or "/*") outside its quoted literals and
// names, read the way the engine's tokenizer reads quotes. Jet SQL has no
// comments and the program writes none; a table or field name holding one
// ("PickupList --" in an edited settings file) would silently cut off the
// rest of a statement, turning "DELETE FROM t -- WHERE k = 1" into a delete
// of every row.
bool hasComment(const std::string& sql) {
    const size_t n = sql.size();
    for (size_t i = 0; i < n; ++i) {
        const char c = sql[i];
        if (c == '\'' || c == '"' || c == '`' || c == '[') {
            const char close = c == '[' ? ']' : c;
            for (++i; i < n; ++i) {
                if (sql[i] != close)
                    continue;
                if (close != ']' && i + 1 < n && sql[i + 1] == close) {
                    ++i; // a doubled quote stands for one
                    continue;
                }
                break;
            }
            continue;
        }
        if (i + 1 < n && ((c == '-' && sql[i + 1] == '-') || (c == '/' && sql[i + 1] == '*')))
            return true;
    }
    return false;
}

// Prepares the one statement of sql. Anything but blanks and semicolons
// after it is refused rather than run or silently dropped.
void prepareOne(sqlite3* db, const std::string& sql, Statement& st, int& rc) {
    // The engine reads a text only up to a NUL byte and would run what stands
    // before it: "DELETE FROM t<NUL> WHERE k = 1" would empty the table.
    if (sql.find('\0') != std::string::npos)
        fail(QStringLiteral("SQL ステートメントに NUL 文字が含まれています。"));
    if (hasComment(sql))
        fail(QStringLiteral("SQL ステートメントにコメント（-- または /*）は使用できません。"));
    size_t used = 0;
    rc = Prepare(db, sql, st, 0, &used);
    if (rc != SQLITE_OK)
        return;
    if (!st)
        fail(QStringLiteral("SQL ステートメントが空です。"));
    std::string_view tail = std::string_view(sql).substr(used);
    while (!tail.empty()) {
        Statement rest;
        size_t took = 0;
        if (Prepare(db, tail, rest, 0, &took) != SQLITE_OK || rest)
            fail(QStringLiteral("SQL ステートメントの後に文字が見つかりました。"));
        if (took == 0)
            break;
        tail = tail.substr(took);
    }
}

} // namespace

// ------------------------------------------------------------ INSERT fast path
//
// The import runs one "INSERT INTO t VALUES (literals)" per song, and parsing
// each text costs more than writing the row. A statement of exactly that form
// with NULL, integer and quoted text literals is run on a prepared statement
// with the literals bound, which stores the same values the parsed text
// would. Anything else (a real number, an expression, a column list, a table
// whose prepare fails) takes the ordinary path, which also words the errors.

namespace {

bool identChar(unsigned char c) {
    return c >= 0x80 || c == '_' || (c >= '0' && c <= '9') ||
           ((c | 0x20) >= 'a' && (c | 0x20) <= 'z');
}

// Whether the word kw (upper case) stands at s[i] in any letter case and no
// name character follows it.
bool wordAt(const std::string& s, size_t i, const char* kw) {
    const size_t n = std::strlen(kw);
    return i + n <= s.size() && sameName(std::string_view(s).substr(i, n), kw) &&
           (i + n == s.size() || !identChar(static_cast<unsigned char>(s[i + n])));
}

// Takes the word kw at s[i] and the blanks after it; false, i unchanged, when
// it does not stand there.
bool takeWord(const std::string& s, size_t& i, const char* kw) {
    if (!wordAt(s, i, kw))
        return false;
    i = skipBlanks(s, i + std::strlen(kw));
    return true;
}

struct ParsedInsert {
    std::string table;
    RowValues values;
};

// A plain table or field name at s[i] into name, i past it; false when there
// is none (a name cannot start with a digit).
bool readName(const std::string& s, size_t& i, std::string& name) {
    const size_t t0 = i;
    while (i < s.size() && identChar(static_cast<unsigned char>(s[i])))
        ++i;
    if (i == t0 || (s[t0] >= '0' && s[t0] <= '9'))
        return false;
    name.assign(s, t0, i - t0);
    return true;
}

// Reads "INSERT INTO t VALUES (l1,...,ln)" with NULL, whole-number and quoted
// text literals; false for anything else.
bool parseInsert(const std::string& s, ParsedInsert& out) {
    if (s.find('\0') != std::string::npos)
        return false;
    size_t i = skipBlanks(s, 0);
    if (!takeWord(s, i, "INSERT") || !takeWord(s, i, "INTO") || !readName(s, i, out.table))
        return false;
    i = skipBlanks(s, i);
    if (!takeWord(s, i, "VALUES") || i >= s.size() || s[i] != '(')
        return false;
    ++i;
    out.values.clear();
    for (;;) {
        i = skipBlanks(s, i);
        if (i >= s.size())
            return false;
        if (s[i] == '\'') {
            std::string& texts = out.values.beginText();
            const size_t begin = texts.size();
            for (++i;; ++i) {
                if (i >= s.size())
                    return false;
                if (s[i] == '\'') {
                    if (i + 1 < s.size() && s[i + 1] == '\'') {
                        texts += '\'';
                        ++i;
                        continue;
                    }
                    ++i;
                    break;
                }
                texts += s[i];
            }
            out.values.endText(begin);
        } else if (wordAt(s, i, "NULL")) {
            i += 4;
            out.values.addNull();
        } else {
            // A whole number that fits 64 bits; a point, an exponent or an
            // overflow leaves it to the parser.
            const bool neg = s[i] == '-';
            if (s[i] == '-' || s[i] == '+')
                i = skipBlanks(s, i + 1);
            const size_t d0 = i;
            std::uint64_t v = 0;
            while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
                const unsigned d = unsigned(s[i] - '0');
                if (v > (std::uint64_t(INT64_MAX) - d) / 10)
                    return false;
                v = v * 10 + d;
                ++i;
            }
            if (i == d0)
                return false;
            out.values.addInteger(neg ? -std::int64_t(v) : std::int64_t(v));
        }
        i = skipBlanks(s, i);
        if (i >= s.size())
            return false;
        if (s[i] == ',') {
            ++i;
            continue;
        }
        if (s[i] != ')')
            return false;
        ++i;
        break;
    }
    // Only blanks and semicolons may follow.
    for (; i < s.size(); ++i)
        if (!isBlank(s[i]) && s[i] != ';')
            return false;
    return true;
}

} // namespace

void RowValues::addText(std::string_view utf8) {
    const size_t begin = texts_.size();
    texts_.append(utf8);
    endText(begin);
}

void RowValues::addText(QStringView utf16) {
    // Stateless: a lone surrogate becomes U+FFFD, as QString::toUtf8 writes it,
    // instead of waiting for a next call.
    QStringEncoder utf8(QStringEncoder::Utf8, QStringConverter::Flag::Stateless);
    const size_t begin = texts_.size();
    texts_.resize(begin + size_t(utf8.requiredSpace(utf16.size())));
    const char* end = utf8.appendToBuffer(texts_.data() + begin, utf16);
    texts_.resize(size_t(end - texts_.data()));
    endText(begin);
}

struct Database::InsertCache {
    struct Entry {
        std::string table;
        size_t count;
        Statement st;
        std::vector<std::string> writes; // the tables it writes (a trigger may add some)
    };
    std::vector<Entry> entries;
    ParsedInsert parsed;
};

Database::InsertCache& Database::insertCache() {
    if (!inserts_)
        inserts_ = std::make_unique<InsertCache>();
    return *inserts_;
}

bool Database::executeInsertFast(const std::string& sql) {
    ParsedInsert& p = insertCache().parsed;
    return parseInsert(sql, p) && insertBound(p.table, p.values);
}

void Database::prepareWrite(const std::string& sql, Statement& st, int& rc,
                            std::vector<std::string>& writes, unsigned flags) {
    written_.clear();
    {
        // The tables it writes are told to the authoriser while it is prepared.
        collecting_ = true;
        const auto stop = qScopeGuard([this] { collecting_ = false; });
        if (flags)
            rc = Prepare(db_, sql, st, flags);
        else
            prepareOne(db_, sql, st, rc);
    }
    writes = std::move(written_);
    written_.clear();
}

void Database::wrote(sqlite3_stmt* st, const std::vector<std::string>& writes) {
    // Record sets made from here on know the tables as changed.
    for (const std::string& t : writes)
        conn_->changed(t);
    if (writes.empty() && !sqlite3_stmt_readonly(st))
        conn_->changedAll();
}

bool Database::insertBound(const std::string& table, const RowValues& values) {
    InsertCache& c = insertCache();
    const auto& items = values.items();
    const size_t n = items.size();
    InsertCache::Entry* e = nullptr;
    for (auto& entry : c.entries)
        if (entry.count == n && entry.table == table)
            e = &entry;
    if (!e) {
        std::string text = "INSERT OR IGNORE INTO " + table + " VALUES (";
        for (size_t k = 0; k < n; ++k)
            text += k ? ",?" : "?";
        text += ")";
        Statement st;
        std::vector<std::string> writes;
        int rc = SQLITE_OK;
        prepareWrite(text, st, rc, writes, SQLITE_PREPARE_PERSISTENT);
        if (rc != SQLITE_OK)
            return false; // the ordinary path reports what is wrong
        if (c.entries.size() >= 8)
            c.entries.erase(c.entries.begin());
        c.entries.push_back({table, n, std::move(st), std::move(writes)});
        e = &c.entries.back();
    }
    sqlite3_stmt* st = e->st.get();
    const std::string& texts = values.texts();
    for (size_t k = 0; k < n; ++k) {
        const auto& l = items[k];
        const int pos = int(k) + 1;
        switch (l.kind) {
        case RowValues::Item::Null:
            sqlite3_bind_null(st, pos);
            break;
        case RowValues::Item::Integer:
            sqlite3_bind_int64(st, pos, l.number);
            break;
        case RowValues::Item::Text:
            sqlite3_bind_text(st, pos, texts.data() + l.begin, int(l.length), SQLITE_STATIC);
            break;
        }
    }
    const int rc = sqlite3_step(st);
    wrote(st, e->writes);
    QString error;
    if (rc != SQLITE_DONE)
        error = DescribeEngineError(path_, rc, sqlite3_errmsg(db_));
    sqlite3_reset(st);
    sqlite3_clear_bindings(st);
    if (rc != SQLITE_DONE)
        fail(error);
    affected_ = sqlite3_changes(db_);
    return true;
}

void Database::InsertRow(const QString& table, const RowValues& values,
                         const std::function<QString()>& statement) {
    // The table name must be one the parsed text would accept; anything
    // else (a quoted or odd name) goes the ordinary way.
    const std::string name = table.toStdString();
    size_t end = 0;
    std::string read;
    const bool plainName = readName(name, end, read) && end == name.size();
    if (plainName && log_)
        log_->push_back(statement());
    affected_ = 0;
    if (plainName && insertBound(name, values))
        return;
    if (plainName && log_)
        log_->pop_back(); // Execute logs it again
    Execute(statement());
}

void Database::Execute(const QString& statement) {
    if (log_)
        log_->push_back(statement);
    affected_ = 0;
    const std::string sql = statement.toStdString();
    if (executeInsertFast(sql))
        return;
    Statement st;
    int rc = SQLITE_OK;
    std::vector<std::string> writes;
    prepareWrite(withIgnoreRule(sql), st, rc, writes);
    if (rc != SQLITE_OK)
        raise(db_, rc);
    while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) {
    }
    wrote(st.get(), writes);
    if (rc != SQLITE_DONE)
        raise(db_, rc);
    affected_ = sqlite3_changes(db_);
}

namespace {

// The parts of "SELECT * FROM table [WHERE ...] [ORDER BY field [ASC|DESC]]",
// the form of every grid query. Anything else (a join, a grouping, a
// compound, an order by an expression) is left to the engine as it stands.
} // namespace

struct Database::KeyedPlan {
    std::string table;
    std::string where; // from the table name to the order clause
    std::string field; // empty: no order clause
    bool descending = false;
};

namespace {

using KeyedPlan = Database::KeyedPlan;

bool planKeyed(const std::string& s, KeyedPlan& plan) {
    size_t i = skipBlanks(s, 0);
    if (!takeWord(s, i, "SELECT") || i >= s.size() || s[i] != '*')
        return false;
    i = skipBlanks(s, i + 1);
    if (!takeWord(s, i, "FROM") || !readName(s, i, plan.table))
        return false;

    // The words outside literals and brackets: the last ORDER starts the
    // order clause; the words that change what rows are are not taken.
    size_t order = std::string::npos;
    int depth = 0;
    for (size_t k = i; k < s.size();) {
        const char c = s[k];
        if (c == '\'' || c == '"' || c == '`' || c == '[') {
            const char close = c == '[' ? ']' : c;
            for (++k; k < s.size(); ++k) {
                if (s[k] != close)
                    continue;
                if (close != ']' && k + 1 < s.size() && s[k + 1] == close) {
                    ++k;
                    continue;
                }
                break;
            }
            ++k;
            continue;
        }
        if (c == '(' || c == ')') {
            depth += c == '(' ? 1 : -1;
            ++k;
            continue;
        }
        if (!identChar(static_cast<unsigned char>(c))) {
            ++k;
            continue;
        }
        const size_t w0 = k;
        while (k < s.size() && identChar(static_cast<unsigned char>(s[k])))
            ++k;
        if (depth != 0)
            continue;
        const std::string_view w(s.data() + w0, k - w0);
        if (sameName(w, "ORDER")) {
            if (order != std::string::npos)
                return false;
            order = w0;
        } else if (order == std::string::npos) {
            for (const char* kw :
                 {"UNION", "INTERSECT", "EXCEPT", "GROUP", "HAVING", "LIMIT", "WINDOW", "OFFSET"})
                if (sameName(w, kw))
                    return false;
        }
    }
    const size_t end = order == std::string::npos ? s.size() : order;
    plan.where.assign(s, i, end - i);
    const size_t w = skipBlanks(plan.where, 0);
    if (w < plan.where.size() && !wordAt(plan.where, w, "WHERE"))
        return false;
    if (order == std::string::npos)
        return true;

    // ORDER BY field [ASC | DESC], then nothing but blanks and semicolons.
    size_t k = skipBlanks(s, order + 5);
    if (!takeWord(s, k, "BY") || !readName(s, k, plan.field))
        return false;
    k = skipBlanks(s, k);
    if (takeWord(s, k, "DESC"))
        plan.descending = true;
    else
        takeWord(s, k, "ASC");
    for (; k < s.size(); ++k)
        if (!isBlank(s[k]) && s[k] != ';')
            return false;
    return true;
}

} // namespace

namespace {

// Sets of up to this many rows read all their row ids at once.
constexpr std::int64_t kReadAllIdsUpTo = 4096;

// Stored as a number by the engine, so its index order is numeric order.
bool isNumberType(int type) {
    return type == FieldType::Boolean || FieldType::IsNumeric(type);
}

// At most how many rows the table holds, from its first and last row id;
// each is one step down the table's tree (the two in one query would scan
// it). 0 when that cannot be told.
size_t rowsAtMost(sqlite3* db, const std::string& table, const std::string& rowId) {
    std::int64_t ends[2] = {0, 0};
    for (int k = 0; k < 2; ++k) {
        const std::string sql = (k ? "SELECT max(" : "SELECT min(") + rowId + ") FROM " + table;
        Statement st;
        if (Prepare(db, sql, st) != SQLITE_OK || sqlite3_step(st.get()) != SQLITE_ROW)
            return 0;
        ends[k] = sqlite3_column_int64(st.get(), 0);
    }
    const std::int64_t n = ends[1] - ends[0] + 1;
    return n > 0 ? size_t(std::min<std::int64_t>(n, std::int64_t(1) << 22)) : 0;
}

// The name under which table's row ids can be read (one its fields do not
// take); empty for a view, a table without row ids, or no such table.
std::string rowIdName(sqlite3* db, const std::string& table, const Fields& fields) {
    Statement st;
    if (Prepare(db, "SELECT type, wr FROM pragma_table_list(?1) WHERE schema = 'main'", st) !=
        SQLITE_OK)
        return {};
    sqlite3_bind_text(st.get(), 1, table.data(), int(table.size()), SQLITE_STATIC);
    if (sqlite3_step(st.get()) != SQLITE_ROW)
        return {};
    const auto* type = reinterpret_cast<const char*>(sqlite3_column_text(st.get(), 0));
    if (!type || std::strcmp(type, "table") != 0 || sqlite3_column_int(st.get(), 1) != 0)
        return {};
    for (const char* name : {"rowid", "_rowid_", "oid"}) {
        bool taken = false;
        for (const QString& f : fields.names)
            taken = taken || sameName(f.toStdString(), name);
        if (!taken)
            return name;
    }
    return {};
}

// The field called name among fields; -1 for none.
int fieldIndex(const Fields& fields, const std::string& name) {
    for (size_t k = 0; k < fields.names.size(); ++k)
        if (sameName(fields.names[k].toStdString(), name))
            return int(k);
    return -1;
}

// Column col of st's current row into order, for the row with key.
void addOrderValue(RowOrder& order, std::int64_t key, sqlite3_stmt* st, int col) {
    switch (sqlite3_column_type(st, col)) {
    case SQLITE_NULL:
        order.addNull(key);
        break;
    case SQLITE_INTEGER:
    case SQLITE_FLOAT:
        order.addNumber(key, sqlite3_column_double(st, col));
        break;
    case SQLITE_TEXT: {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(st, col));
        order.addText(key, std::string_view(p ? p : "", size_t(sqlite3_column_bytes(st, col))));
        break;
    }
    default: {
        const auto* p = static_cast<const char*>(sqlite3_column_blob(st, col));
        order.addBlob(key, std::string_view(p ? p : "", size_t(sqlite3_column_bytes(st, col))));
        break;
    }
    }
}

Fields fieldsOf(sqlite3_stmt* st) {
    Fields f;
    const int n = sqlite3_column_count(st);
    for (int i = 0; i < n; ++i) {
        f.names.push_back(QString::fromUtf8(sqlite3_column_name(st, i)));
        const char* decl = sqlite3_column_decltype(st, i);
        f.types.push_back(FieldTypeFromDecl(decl ? decl : ""));
    }
    return f;
}

} // namespace

std::unique_ptr<Recordset> Database::openTable(sqlite3* db, const KeyedPlan& plan, Fields fields,
                                               Recordset::TableRows rows, const std::string& rowId,
                                               const Recordset* prior) {
    const bool ordered = !plan.field.empty();
    const int col = ordered ? fieldIndex(fields, plan.field) : -1;
    const int fieldType = col >= 0 ? fields.types[size_t(col)] : FieldType::Text;
    // Ties keep the order of the set this one replaces when that holds rows
    // of the same table as it is now. A set in the engine's order by this
    // same field had its ties by row id, as a sort without it leaves them.
    const std::vector<std::int64_t>* priorIds = nullptr;
    if (ordered && prior && prior->RecordCount() > 0 && sameName(prior->table(), plan.table) &&
        prior->tableVersion() == rows.version && !sameName(prior->tiesInRowIdOrder(), plan.field))
        priorIds = prior->rowIds();
    // The whole table ascending by a number, with no earlier order to keep
    // among ties: the engine's own order (Null first, ties by row id) is the
    // one wanted, and an index gives it without sorting.
    const bool blankWhere = skipBlanks(plan.where, 0) == plan.where.size();
    const bool engineOrders =
        ordered && !plan.descending && !priorIds && blankWhere && isNumberType(fieldType);
    std::string ids = "SELECT " + rowId;
    if (ordered && !engineOrders)
        ids += ", " + plan.field;
    ids += " FROM " + plan.table + " " + plan.where;
    if (engineOrders) {
        ids += " ORDER BY " + plan.field + ", " + rowId;
        rows.orderField = plan.field;
    }
    rows.rowIdName = rowId;
    Statement st;
    int rc = Prepare(db, ids, st);
    if (rc == SQLITE_OK)
        rc = Prepare(db, "SELECT * FROM " + plan.table + " WHERE " + rowId + " = ?", rows.fetch,
                     SQLITE_PREPARE_PERSISTENT);
    if (rc != SQLITE_OK)
        raise(db, rc);
    if (sqlite3_column_count(rows.fetch.get()) != int(fields.names.size()))
        fail(DescribeEngineError(path_, SQLITE_CORRUPT, nullptr));

    if (engineOrders && rows.snapshot) {
        // A large table in its index order: counted now (the engine counts
        // an index page by page), its row ids read as the rows are shown.
        Statement count;
        rc = Prepare(db, "SELECT count(*) FROM " + plan.table, count);
        if (rc == SQLITE_OK)
            rc = sqlite3_step(count.get());
        if (rc != SQLITE_ROW)
            raise(db, rc);
        rows.count = sqlite3_column_int64(count.get(), 0);
        if (rows.count > kReadAllIdsUpTo) {
            rows.moreRowIds = std::move(st);
            return Recordset::ofTable(std::move(fields), std::move(rows), path_);
        }
    }

    const size_t expected = rowsAtMost(db, plan.table, rowId);
    RowOrder order;
    const bool sorting = ordered && !engineOrders;
    if (sorting)
        order.reserve(expected);
    else
        rows.rowIds.reserve(expected);
    while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) {
        const std::int64_t id = sqlite3_column_int64(st.get(), 0);
        if (sorting)
            addOrderValue(order, id, st.get(), 1);
        else
            rows.rowIds.push_back(id);
    }
    if (rc != SQLITE_DONE)
        raise(db, rc);
    if (sorting)
        rows.rowIds = order.sorted(plan.descending, priorIds);
    else if (rows.rowIds.capacity() > rows.rowIds.size() + rows.rowIds.size() / 4)
        rows.rowIds.shrink_to_fit();
    rows.count = std::int64_t(rows.rowIds.size());
    return Recordset::ofTable(std::move(fields), std::move(rows), path_);
}

std::unique_ptr<Recordset> Database::openHeld(sqlite3* db, sqlite3_stmt* query, Fields fields,
                                              const KeyedPlan* plan) {
    // A grid query on a view or a table without row ids: its rows as the
    // engine gives them without the order clause, put in order here so that
    // they sort as a table's do.
    const int col = plan && !plan->field.empty() ? fieldIndex(fields, plan->field) : -1;
    Statement unordered;
    if (col >= 0) {
        const int rc = Prepare(db, "SELECT * FROM " + plan->table + " " + plan->where, unordered);
        if (rc != SQLITE_OK)
            raise(db, rc);
        query = unordered.get();
    }
    RowBlock rows(int(fields.names.size()));
    RowOrder order;
    int rc;
    for (std::int64_t k = 0; (rc = sqlite3_step(query)) == SQLITE_ROW; ++k) {
        rows.appendRow(query);
        if (col >= 0)
            addOrderValue(order, k, query, col);
    }
    if (rc != SQLITE_DONE)
        raise(db, rc);
    std::vector<std::uint32_t> places;
    if (col >= 0) {
        const std::vector<std::int64_t> sorted = order.sorted(plan->descending, nullptr);
        places.assign(sorted.begin(), sorted.end());
    }
    return Recordset::held(std::move(fields), std::move(rows), std::move(places));
}

std::unique_ptr<Recordset> Database::OpenRecordset(const QString& query, const Recordset* prior) {
    if (log_)
        log_->push_back(query);
    const std::string sql = query.toStdString();
    KeyedPlan plan;
    const bool grid = planKeyed(sql, plan);

    Recordset::TableRows rows;
    // The version before the snapshot starts: a write in between counts as
    // coming after it, so that ties are kept less often, never wrongly.
    if (grid) {
        rows.table = plan.table;
        rows.version = conn_->version(plan.table);
    }
    // The rows come from a snapshot of their own; inside a transaction of
    // this connection they must show its changes, and are read through it.
    if (conn_->snapshots() && !InTransaction())
        rows.snapshot = conn_->beginSnapshot();
    sqlite3* db = rows.snapshot ? rows.snapshot->handle() : db_;

    // The whole text is prepared as given, also when the rows are read
    // another way: it is checked, and it names and types the fields.
    Statement st;
    int rc = SQLITE_OK;
    prepareOne(db, sql, st, rc);
    if (rc != SQLITE_OK)
        raise(db, rc);
    Fields fields = fieldsOf(st.get());
    if (grid) {
        if (const std::string rowId = rowIdName(db, plan.table, fields); !rowId.empty())
            return openTable(db, plan, std::move(fields), std::move(rows), rowId, prior);
    }
    return openHeld(db, st.get(), std::move(fields), grid ? &plan : nullptr);
}

std::vector<Database::Table> Database::TablesRead(const QString& query) {
    Statement st;
    int rc = SQLITE_OK;
    read_.clear();
    {
        // The engine names each column it reads to the authoriser while the
        // statement is prepared.
        collectingReads_ = true;
        const auto stop = qScopeGuard([this] { collectingReads_ = false; });
        prepareOne(db_, query.toStdString(), st, rc);
    }
    if (rc != SQLITE_OK)
        raise(db_, rc);
    return std::exchange(read_, {});
}

void Database::control(const char* sql) {
    char* err = nullptr;
    const int rc = sqlite3_exec(db_, sql, nullptr, nullptr, &err);
    sqlite3_free(err);
    if (rc != SQLITE_OK)
        raise(db_, rc);
}

void Database::BeginTrans() {
    control("BEGIN");
}
void Database::CommitTrans() {
    control("COMMIT");
}
void Database::Rollback() {
    control("ROLLBACK");
}
bool Database::InTransaction() const {
    return db_ && !sqlite3_get_autocommit(db_);
}

} // namespace melodeck
