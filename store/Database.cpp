#include "store/Database.h"

#include "common/SafeFile.h"
#include "common/VbError.h"
#include "store/EngineError.h"
#include "store/JetLike.h"
#include "store/Names.h"
#include "store/RowOrder.h"
#include "store/SortCache.h"
#include "store/SqlReader.h"
#include "store/TableScan.h"

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

size_t skipBlanks(const std::string& s, size_t i) {
    while (i < s.size() && isBlank(s[i]))
        ++i;
    return i;
}

// INSERT and UPDATE run with the IGNORE conflict rule, so that a row refused
// by a constraint is skipped without an error, as Jet does when the
// fail-on-error option is not given. A statement that names its own rule is
// left alone.
std::string withIgnoreRule(std::string sql, const sql::Statement& read) {
    if ((read.verb == "INSERT" || read.verb == "UPDATE") && !read.namesConflictRule)
        sql.insert(read.verbEnd, " OR IGNORE");
    return sql;
}

// Prepares the one statement of sql (read: what the reader makes of it).
// Anything but blanks and semicolons after it is refused rather than run or
// silently dropped.
void prepareOne(sqlite3* db, const std::string& sql, const sql::Statement& read, Statement& st,
                int& rc, unsigned flags = 0) {
    // The engine reads a text only up to a NUL byte and would run what stands
    // before it: "DELETE FROM t<NUL> WHERE k = 1" would empty the table.
    if (sql.find('\0') != std::string::npos)
        fail(QStringLiteral("SQL ステートメントに NUL 文字が含まれています。"));
    // Jet SQL has no comments and the program writes none; a table or field
    // name holding one ("PickupList --" in an edited settings file) would
    // silently cut off the rest of a statement, turning
    // "DELETE FROM t -- WHERE k = 1" into a delete of every row.
    if (read.comment)
        fail(QStringLiteral("SQL ステートメントにコメント（-- または /*）は使用できません。"));
    size_t used = 0;
    rc = Prepare(db, sql, st, flags, &used);
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

void prepareOne(sqlite3* db, const std::string& sql, Statement& st, int& rc) {
    prepareOne(db, sql, sql::Read(sql), st, rc);
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

    // Opening reads nothing yet; reading the schema tells a database from
    // any other file.
    int src = jetlike::registerLike(db_);
    sqlite3_stmt* st = nullptr;
    if (src == SQLITE_OK)
        src = sqlite3_prepare_v2(db_, "SELECT count(*) FROM sqlite_master", -1, &st, nullptr);
    if (src == SQLITE_OK)
        src = sqlite3_step(st) == SQLITE_ROW ? SQLITE_OK : sqlite3_errcode(db_);
    sqlite3_finalize(st);
    if (src != SQLITE_OK) {
        const QString d = DescribeEngineError(path_, src, sqlite3_errmsg(db_));
        sqlite3_close_v2(db_);
        db_ = nullptr;
        fail(d);
    }
    try {
        conn_ = std::make_shared<Connection>(path_, db_, readOnly);
    } catch (...) {
        sqlite3_close_v2(db_);
        db_ = nullptr;
        throw;
    }
    sqlite3_set_authorizer(db_, &Database::authorize, this);
}

bool Database::UseWriteLog() {
    return conn_->useWriteLog();
}

void Database::Checkpoint() {
    conn_->checkpoint();
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

void Database::prepareWrite(const std::string& sql, Statement& st, int& rc,
                            std::vector<std::string>& writes, unsigned flags) {
    written_.clear();
    {
        // The tables it writes are told to the authoriser while it is prepared.
        collecting_ = true;
        const auto stop = qScopeGuard([this] { collecting_ = false; });
        prepareOne(db_, sql, sql::Read(sql), st, rc, flags);
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

Database::InsertCache::Entry& Database::insertStatement(const std::string& table, size_t count) {
    if (!inserts_)
        inserts_ = std::make_unique<InsertCache>();
    InsertCache& c = *inserts_;
    for (auto& entry : c.entries)
        if (entry.count == count && entry.table == table)
            return entry;
    // The table name goes in bare, as in every statement the program makes.
    std::string text = "INSERT OR IGNORE INTO " + table + " VALUES (";
    for (size_t k = 0; k < count; ++k)
        text += k ? ",?" : "?";
    text += ")";
    Statement st;
    std::vector<std::string> writes;
    int rc = SQLITE_OK;
    prepareWrite(text, st, rc, writes, SQLITE_PREPARE_PERSISTENT);
    if (rc != SQLITE_OK)
        raise(db_, rc);
    if (c.entries.size() >= 8)
        c.entries.erase(c.entries.begin());
    c.entries.push_back({table, count, std::move(st), std::move(writes)});
    return c.entries.back();
}

namespace {

// The engine's result code.
int bindValues(sqlite3_stmt* st, const RowValues& values) {
    const std::string& texts = values.texts();
    const auto& items = values.items();
    int rc = SQLITE_OK;
    for (size_t k = 0; k < items.size() && rc == SQLITE_OK; ++k) {
        const auto& l = items[k];
        const int pos = int(k) + 1;
        switch (l.kind) {
        case RowValues::Item::Null:
            rc = sqlite3_bind_null(st, pos);
            break;
        case RowValues::Item::Integer:
            rc = sqlite3_bind_int64(st, pos, l.number);
            break;
        case RowValues::Item::Real:
            rc = sqlite3_bind_double(st, pos, l.real);
            break;
        case RowValues::Item::Text:
            // A list line is at most 16 MiB: its texts fit an int.
            rc = sqlite3_bind_text(st, pos, texts.data() + l.begin, int(l.length), SQLITE_STATIC);
            break;
        }
    }
    return rc;
}

} // namespace

void Database::InsertRow(const QString& table, const RowValues& values,
                         const std::function<QString()>& statement) {
    if (log_)
        log_->push_back(statement());
    affected_ = 0;
    beforeWrite();
    InsertCache::Entry& e = insertStatement(table.toStdString(), values.items().size());
    sqlite3_stmt* st = e.st.get();
    int rc = bindValues(st, values);
    if (rc == SQLITE_OK) {
        rc = sqlite3_step(st);
        wrote(st, e.writes);
    }
    QString error;
    if (rc != SQLITE_DONE)
        error = DescribeEngineError(path_, rc, sqlite3_errmsg(db_));
    // The step's own failure is told by its result code; reset repeats it.
    sqlite3_reset(st);
    sqlite3_clear_bindings(st);
    if (rc != SQLITE_DONE)
        fail(error);
    affected_ = sqlite3_changes(db_);
}

void Database::Execute(const QString& statement) {
    if (log_)
        log_->push_back(statement);
    affected_ = 0;
    beforeWrite();
    const std::string text = statement.toStdString();
    Statement st;
    int rc = SQLITE_OK;
    std::vector<std::string> writes;
    prepareWrite(withIgnoreRule(text, sql::Read(text)), st, rc, writes);
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

// Sets of up to this many rows read all their row ids at once.
constexpr std::int64_t kReadAllIdsUpTo = 4096;

// Stored as a number by the engine, so its index order is numeric order.
bool isNumberType(int type) {
    return type == FieldType::Boolean || FieldType::IsNumeric(type);
}

// The name under which table's row ids can be read (one its fields do not
// take); empty for a view, a table without row ids, or no such table. rc:
// the engine's result code when it cannot tell.
std::string rowIdName(sqlite3* db, const std::string& table, const Fields& fields, int& rc) {
    Statement st;
    rc = Prepare(db, "SELECT type, wr FROM pragma_table_list(?1) WHERE schema = 'main'", st);
    if (rc == SQLITE_OK)
        rc = sqlite3_bind_text(st.get(), 1, table.data(), int(table.size()), SQLITE_STATIC);
    if (rc == SQLITE_OK)
        rc = sqlite3_step(st.get());
    if (rc != SQLITE_ROW) {
        rc = rc == SQLITE_DONE ? SQLITE_OK : rc; // no such table: not a failure
        return {};
    }
    rc = SQLITE_OK;
    const auto* type = reinterpret_cast<const char*>(sqlite3_column_text(st.get(), 0));
    if (!type || std::strcmp(type, "table") != 0 || sqlite3_column_int(st.get(), 1) != 0)
        return {};
    for (const char* name : {"rowid", "_rowid_", "oid"}) {
        bool taken = false;
        for (const QString& f : fields.names)
            taken = taken || names::same(f.toStdString(), name);
        if (!taken)
            return name;
    }
    return {};
}

// The field called name among fields; -1 for none.
int fieldIndex(const Fields& fields, const std::string& name) {
    for (size_t k = 0; k < fields.names.size(); ++k)
        if (names::same(fields.names[k].toStdString(), name))
            return int(k);
    return -1;
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

std::unique_ptr<Recordset> Database::openTable(sqlite3* db, const sql::Statement& plan,
                                               Fields fields, Recordset::TableRows rows,
                                               const std::string& rowId, const Recordset* prior) {
    const bool ordered = !plan.orderField.empty();
    const int col = ordered ? fieldIndex(fields, plan.orderField) : -1;
    const int fieldType = col >= 0 ? fields.types[size_t(col)] : FieldType::Text;
    // Ties keep the order of the set this one replaces when that holds rows
    // of the same table as it is now. A set in the engine's order by this
    // same field had its ties by row id, as a sort without it leaves them.
    const Recordset* tiePrior = ordered && prior && prior->RecordCount() > 0 &&
                                        names::same(prior->table(), plan.table) &&
                                        prior->tableVersion() == rows.version &&
                                        !names::same(prior->tiesInRowIdOrder(), plan.orderField)
                                    ? prior
                                    : nullptr;
    rows.rowIdName = rowId;
    const int rc = Prepare(db, "SELECT * FROM " + plan.table + " WHERE " + rowId + " = ?",
                           rows.fetch, SQLITE_PREPARE_PERSISTENT);
    if (rc != SQLITE_OK)
        raise(db, rc);
    if (sqlite3_column_count(rows.fetch.get()) != int(fields.names.size()))
        fail(DescribeEngineError(path_, SQLITE_CORRUPT, nullptr));
    // The whole table ascending by a number, with no earlier order to keep
    // among ties: the engine's own order (Null first, ties by row id) is the
    // one wanted, and an index gives it without sorting.
    const bool blankWhere = skipBlanks(plan.where, 0) == plan.where.size();
    if (ordered && !plan.descending && !tiePrior && blankWhere && isNumberType(fieldType))
        return openInIndexOrder(db, plan, std::move(fields), std::move(rows));
    return openSorted(db, plan, std::move(fields), std::move(rows), tiePrior);
}

std::unique_ptr<Recordset> Database::openInIndexOrder(sqlite3* db, const sql::Statement& plan,
                                                      Fields fields, Recordset::TableRows rows) {
    const std::string& rowId = rows.rowIdName;
    rows.orderField = plan.orderField;
    Statement ids;
    int rc = Prepare(db,
                     "SELECT " + rowId + " FROM " + plan.table + " ORDER BY " + plan.orderField +
                         ", " + rowId,
                     ids);
    if (rc != SQLITE_OK)
        raise(db, rc);
    if (rows.snapshot) {
        // A large table: counted now (the engine counts an index page by
        // page), its row ids read as the rows are shown.
        Statement count;
        rc = Prepare(db, "SELECT count(*) FROM " + plan.table, count);
        if (rc == SQLITE_OK)
            rc = sqlite3_step(count.get());
        if (rc != SQLITE_ROW)
            raise(db, rc);
        rows.count = sqlite3_column_int64(count.get(), 0);
        if (rows.count > kReadAllIdsUpTo) {
            rows.moreRowIds = std::move(ids);
            return Recordset::ofTable(std::move(fields), std::move(rows), path_);
        }
    }
    std::int64_t first = 1, last = 0;
    if (const int range = scan::RowIdRange(db, plan.table, rowId, first, last); range != SQLITE_OK)
        raise(db, range);
    if (last >= first)
        rows.rowIds.reserve(
            size_t(std::min<std::int64_t>(last - first + 1, std::int64_t(1) << 22)));
    while ((rc = sqlite3_step(ids.get())) == SQLITE_ROW)
        rows.rowIds.push_back(sqlite3_column_int64(ids.get(), 0));
    if (rc != SQLITE_DONE)
        raise(db, rc);
    return ofRows(std::move(fields), std::move(rows));
}

namespace {

// The positions of a set's row ids, for the ties; null when it has none or
// they cannot be read.
std::shared_ptr<const RowOrder::Prior> priorOf(const Recordset* set) {
    const std::vector<std::int64_t>* ids = set ? set->rowIds() : nullptr;
    return ids && !ids->empty() ? RowOrder::priorOf(*ids) : nullptr;
}

} // namespace

std::unique_ptr<Recordset> Database::openSorted(sqlite3* db, const sql::Statement& plan,
                                                Fields fields, Recordset::TableRows rows,
                                                const Recordset* tiePrior) {
    scan::Query q;
    q.table = plan.table;
    q.rowId = rows.rowIdName;
    q.conditions = plan.conditions;
    q.field = plan.orderField;
    q.descending = plan.descending;
    const bool wholeTable = q.conditions.empty();
    // A sort of this field learnt its ranks: the rows are ordered by them.
    if (const SortCache::Ranks* ranks = rows.snapshot && !q.field.empty()
                                            ? sortCache_.find(q.table, q.field, rows.version)
                                            : nullptr) {
        q.field.clear();
        const std::vector<std::int64_t> ids =
            wholeTable ? SortCache::RowIds(*ranks) : readRows(db, q, rows).ids;
        rows.rowIds =
            SortCache::Order(*ranks, ids, q.descending, tiePrior ? tiePrior->rowIds() : nullptr);
        if (rows.rowIds.size() == ids.size())
            return ofRows(std::move(fields), std::move(rows));
        q.field = plan.orderField; // a row without a rank: read the field after all
    }
    // Ties in the order of the set this one replaces: when that was the
    // engine's order by a number, the scan tells whether row id order is
    // that order already (a list imported in number order), sparing the
    // reading of all its row ids.
    std::shared_ptr<const RowOrder::Prior> prior;
    if (tiePrior && !q.field.empty() && !tiePrior->tiesInRowIdOrder().empty())
        q.tieField = tiePrior->tiesInRowIdOrder();
    else if (tiePrior && !q.field.empty())
        prior = priorOf(tiePrior);
    q.prior = prior.get();
    scan::Rows read = readRows(db, q, rows);
    if (q.field.empty()) {
        rows.rowIds = std::move(read.ids);
        return ofRows(std::move(fields), std::move(rows));
    }
    if (!q.tieField.empty() && !read.tieFieldRises && (prior = priorOf(tiePrior)))
        for (auto& p : read.parts)
            p->sort(q.descending, prior.get());
    std::vector<RowOrder*> parts;
    for (auto& p : read.parts)
        parts.push_back(p.get());
    // A sort of the whole table in a snapshot: its ranks are worth keeping.
    const bool learn = wholeTable && rows.snapshot;
    std::vector<std::uint8_t> groupStarts;
    rows.rowIds = RowOrder::merge(parts, q.descending, learn ? &groupStarts : nullptr);
    read.parts.clear();
    if (learn)
        sortCache_.keep(q.table, q.field, rows.version, rows.rowIds, groupStarts, q.descending);
    return ofRows(std::move(fields), std::move(rows));
}

scan::Rows Database::readRows(sqlite3* db, const scan::Query& q, Recordset::TableRows& rows) {
    // A large table is read in two halves at once, the second through a
    // snapshot of the same moment on a second read connection. Its ends are
    // looked up only then: a query that takes no row (start-up's first)
    // reads nothing, and one whose end cannot be read is read whole, on one
    // thread, where the scan finds what it finds.
    std::int64_t first = INT64_MIN, last = INT64_MAX;
    std::vector<sqlite3*> dbs{db};
    std::shared_ptr<Connection::Snapshot> beside;
    std::int64_t lo = 1, hi = 0;
    if (rows.snapshot && scan::RowIdRange(db, q.table, q.rowId, lo, hi) == SQLITE_OK && hi >= lo &&
        hi - lo >= scan::kSplitFrom)
        beside = conn_->beginSnapshotBeside(*rows.snapshot);
    if (beside) {
        first = lo;
        last = hi;
        dbs.push_back(beside->handle());
    }
    int rc = SQLITE_OK;
    std::string message;
    scan::Rows read = scan::Read(dbs, q, first, last, rc, message);
    if (rc != SQLITE_OK)
        fail(DescribeEngineError(path_, rc, message.c_str()));
    return read;
}

std::unique_ptr<Recordset> Database::ofRows(Fields fields, Recordset::TableRows rows) {
    rows.rowIds.shrink_to_fit();
    rows.count = std::int64_t(rows.rowIds.size());
    return Recordset::ofTable(std::move(fields), std::move(rows), path_);
}

std::unique_ptr<Recordset> Database::openHeld(sqlite3* db, sqlite3_stmt* query, Fields fields,
                                              const sql::Statement* plan) {
    // A grid query on a view or a table without row ids: its rows as the
    // engine gives them without the order clause, put in order here so that
    // they sort as a table's do.
    const int col = plan && !plan->orderField.empty() ? fieldIndex(fields, plan->orderField) : -1;
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
            scan::AddOrderValue(order, k, query, col);
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
    const std::string text = query.toStdString();
    const sql::Statement plan = sql::Read(text);
    const bool grid = plan.gridQuery;

    Recordset::TableRows rows;
    // The rows come from a snapshot of their own; inside a transaction of
    // this connection they must show its changes, and are read through it.
    // The table's version is the one the rows are read at: kept sort ranks
    // and the ties of the set before go by it.
    if (conn_->snapshots() && !InTransaction())
        rows.snapshot = conn_->beginSnapshot(grid ? plan.table : std::string());
    if (grid) {
        rows.table = plan.table;
        rows.version = rows.snapshot ? rows.snapshot->version() : conn_->version(plan.table);
    }
    sqlite3* db = rows.snapshot ? rows.snapshot->handle() : db_;

    // The whole text is prepared as given, also when the rows are read
    // another way: it is checked, and it names and types the fields.
    Statement st;
    int rc = SQLITE_OK;
    prepareOne(db, text, plan, st, rc);
    if (rc != SQLITE_OK)
        raise(db, rc);
    Fields fields = fieldsOf(st.get());
    if (grid) {
        const std::string rowId = rowIdName(db, plan.table, fields, rc);
        if (rc != SQLITE_OK)
            raise(db, rc);
        if (!rowId.empty())
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

void Database::beforeWrite() {
    // Start-up switches the file to the log once it has found nothing to
    // refuse; a program that writes without that switch gets it here. Its
    // record sets of before may then see another program's writes, which
    // only a Refresh can tell them.
    conn_->useWriteLog();
}

void Database::BeginTrans() {
    beforeWrite();
    control("BEGIN");
}
void Database::CommitTrans() {
    control("COMMIT");
}
void Database::Rollback() {
    control("ROLLBACK");
    // What was read inside the transaction is gone with it.
    conn_->changedAll();
}
bool Database::InTransaction() const {
    return db_ && !sqlite3_get_autocommit(db_);
}

} // namespace melodeck
