#include "store/Database.h"

#include "common/VbError.h"
#include "store/JetLike.h"

#include <QFileInfo>
#include <sqlite3.h>

#include <charconv>
#include <cstring>

namespace melodeck {

namespace {

// A lock held by another program is reported after this long instead of
// leaving the window hanging.
constexpr int kBusyTimeoutMs = 2000;

[[noreturn]] void fail(QString description) {
    throw VbError(VbError::Database, std::move(description));
}

// The engine's English message, reworded in Japanese where the user can act
// on it; any other message is passed on as the engine gave it.
QString describe(const QString& path, int rc, const char* engineMessage) {
    const QString msg = QString::fromUtf8(engineMessage ? engineMessage : "");
    auto after = [&](const char* prefix) -> QString {
        const QString p = QString::fromLatin1(prefix);
        return msg.startsWith(p) ? msg.mid(p.size()) : QString();
    };
    if (const QString t = after("no such table: "); !t.isEmpty())
        return QStringLiteral("テーブル '%1' が見つかりません。").arg(t);
    if (const QString c = after("no such column: "); !c.isEmpty())
        return QStringLiteral("フィールド '%1' が見つかりません。").arg(c);
    switch (rc & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return QStringLiteral("データベース '%1' は他のプログラムが使用中です。").arg(path);
    case SQLITE_READONLY:
        return QStringLiteral("データベース '%1' は読み取り専用のため更新できません。").arg(path);
    case SQLITE_NOTADB:
        return QStringLiteral("ファイル '%1' はデータベースではありません。").arg(path);
    case SQLITE_CORRUPT:
        return QStringLiteral("データベース '%1' が壊れています。").arg(path);
    case SQLITE_FULL:
        return QStringLiteral("ディスクがいっぱいのため '%1' に書き込めません。").arg(path);
    case SQLITE_CANTOPEN:
        return QStringLiteral("ファイル '%1' を開けません。").arg(path);
    default:
        return msg;
    }
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Whether the keyword kw (upper case) stands at s[i], in any letter case, with a blank after it.
bool keywordAt(const std::string& s, size_t i, const char* kw) {
    const size_t n = std::strlen(kw);
    if (i + n >= s.size() || !isBlank(s[i + n]))
        return false;
    for (size_t k = 0; k < n; ++k)
        if ((s[i + k] & ~0x20) != kw[k])
            return false;
    return true;
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

struct Stmt {
    sqlite3_stmt* p = nullptr;
    ~Stmt() { sqlite3_finalize(p); }
};

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
    const int rc = sqlite3_open_v2(name.constData(), &db_, SQLITE_OPEN_READWRITE, nullptr);
    if (rc != SQLITE_OK) {
        const QString d = describe(path_, rc, db_ ? sqlite3_errmsg(db_) : nullptr);
        sqlite3_close_v2(db_);
        db_ = nullptr;
        fail(d);
    }
    sqlite3_extended_result_codes(db_, 1);
    sqlite3_busy_timeout(db_, kBusyTimeoutMs);
    jetlike::registerLike(db_);

    // Opening reads nothing yet; reading the schema tells a database from
    // any other file.
    sqlite3_stmt* st = nullptr;
    int src = sqlite3_prepare_v2(db_, "SELECT count(*) FROM sqlite_master", -1, &st, nullptr);
    if (src == SQLITE_OK)
        src = sqlite3_step(st) == SQLITE_ROW ? SQLITE_OK : sqlite3_errcode(db_);
    sqlite3_finalize(st);
    if (src != SQLITE_OK) {
        const QString d = describe(path_, src, sqlite3_errmsg(db_));
        sqlite3_close_v2(db_);
        db_ = nullptr;
        fail(d);
    }
}

Database::~Database() {
    if (db_)
        sqlite3_close_v2(db_);
}

void Database::raise(int rc) const {
    fail(describe(path_, rc, sqlite3_errmsg(db_)));
}

namespace {

// Prepares the one statement of sql. Anything but blanks, semicolons and
// comments after it is refused rather than run or silently dropped.
void prepareOne(sqlite3* db, const std::string& sql, Stmt& st, int& rc) {
    const char* tail = nullptr;
    rc = sqlite3_prepare_v2(db, sql.c_str(), int(sql.size()), &st.p, &tail);
    if (rc != SQLITE_OK)
        return;
    if (!st.p)
        fail(QStringLiteral("SQL ステートメントが空です。"));
    while (tail && *tail) {
        Stmt rest;
        const char* next = nullptr;
        if (sqlite3_prepare_v2(db, tail, -1, &rest.p, &next) != SQLITE_OK || rest.p)
            fail(QStringLiteral("SQL ステートメントの後に文字が見つかりました。"));
        if (next == tail)
            break;
        tail = next;
    }
}

} // namespace

void Database::Execute(const QString& statement) {
    if (log_)
        log_->push_back(statement);
    affected_ = 0;
    Stmt st;
    int rc = SQLITE_OK;
    prepareOne(db_, withIgnoreRule(statement.toStdString()), st, rc);
    if (rc != SQLITE_OK)
        raise(rc);
    while ((rc = sqlite3_step(st.p)) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE)
        raise(rc);
    affected_ = sqlite3_changes(db_);
}

std::unique_ptr<Recordset> Database::OpenRecordset(const QString& query, int /*type*/) {
    if (log_)
        log_->push_back(query);
    Stmt st;
    int rc = SQLITE_OK;
    prepareOne(db_, query.toStdString(), st, rc);
    if (rc != SQLITE_OK)
        raise(rc);

    auto rs = std::make_unique<Recordset>();
    const int n = sqlite3_column_count(st.p);
    std::vector<QString> names;
    std::vector<int> types;
    names.reserve(size_t(n));
    types.reserve(size_t(n));
    for (int i = 0; i < n; ++i) {
        names.push_back(QString::fromUtf8(sqlite3_column_name(st.p, i)));
        const char* decl = sqlite3_column_decltype(st.p, i);
        types.push_back(FieldTypeFromDecl(decl ? decl : ""));
    }
    rs->setFields(std::move(names), std::move(types));

    char num[32];
    while ((rc = sqlite3_step(st.p)) == SQLITE_ROW) {
        for (int i = 0; i < n; ++i) {
            switch (sqlite3_column_type(st.p, i)) {
            case SQLITE_NULL:
                rs->appendCell(Recordset::TagNull, {});
                break;
            case SQLITE_INTEGER: {
                const auto r = std::to_chars(num, num + sizeof num, sqlite3_column_int64(st.p, i));
                rs->appendCell(Recordset::TagInteger, std::string_view(num, size_t(r.ptr - num)));
                break;
            }
            case SQLITE_FLOAT: {
                const QByteArray t = NumberText(sqlite3_column_double(st.p, i)).toUtf8();
                rs->appendCell(Recordset::TagReal,
                               std::string_view(t.constData(), size_t(t.size())));
                break;
            }
            case SQLITE_TEXT: {
                const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(st.p, i));
                const int b = sqlite3_column_bytes(st.p, i);
                rs->appendCell(Recordset::TagText, std::string_view(p ? p : "", size_t(b)));
                break;
            }
            default: {
                const auto* p = static_cast<const char*>(sqlite3_column_blob(st.p, i));
                const int b = sqlite3_column_bytes(st.p, i);
                rs->appendCell(Recordset::TagBlob, std::string_view(p ? p : "", size_t(b)));
                break;
            }
            }
        }
        rs->finishRow();
    }
    if (rc != SQLITE_DONE)
        raise(rc);
    return rs;
}

void Database::control(const char* sql) {
    char* err = nullptr;
    const int rc = sqlite3_exec(db_, sql, nullptr, nullptr, &err);
    sqlite3_free(err);
    if (rc != SQLITE_OK)
        raise(rc);
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
