// Song-list lines, whatever they hold, become exactly one INSERT with one value
// per field of the song table: the engine parses the logged text as a single
// statement with nothing after it and adds exactly one row, the row holds what
// the line's fields say, and the values the import binds for the line store
// the very same row through the data layer.
//
// Input: byte 0 chooses the field count (1 to 12), bytes 1 and 2 which fields
// take text; the rest is the line as code page 932 bytes.
#include "common/Cp932.h"
#include "common/ModCommon.h"
#include "common/Value.h"
#include "common/VbError.h"
#include "import/SongListImport.h"
#include "store/Database.h"

#include <QByteArray>
#include <QDir>
#include <QString>
#include <QTemporaryDir>
#include <sqlite3.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

using namespace melodeck;

namespace {

constexpr int kMaxFields = 12;

[[noreturn]] void fault(const char* what, const std::string& detail) {
    std::fprintf(stderr, "fuzz_insert: %s\n%s\n", what, detail.c_str());
    std::abort();
}

void exec(sqlite3* db, const std::string& sql) {
    char* err = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK)
        fault("setup statement refused", err ? err : sql);
}

// Tables T1..T12 with untyped fields, so a value is stored as the statement
// gives it and the check sees exactly that.
std::string schema() {
    std::string sql;
    for (int n = 1; n <= kMaxFields; ++n) {
        sql += "CREATE TABLE T" + std::to_string(n) + " (";
        for (int i = 1; i <= n; ++i)
            sql += (i > 1 ? ",c" : "c") + std::to_string(i);
        sql += ");";
    }
    return sql;
}

struct World {
    QTemporaryDir dir;
    sqlite3* reference = nullptr; // in memory: the engine's own parse
    std::unique_ptr<Database> db; // a file, through the data layer

    World() {
        if (!dir.isValid())
            fault("no temporary folder", "");
        if (sqlite3_open(":memory:", &reference) != SQLITE_OK)
            fault("no in-memory database", "");
        exec(reference, schema());
        const QString path = QDir(dir.path()).filePath(QStringLiteral("fuzz.mdb"));
        sqlite3* file = nullptr;
        if (sqlite3_open(path.toUtf8().constData(), &file) != SQLITE_OK)
            fault("cannot create the database file", "");
        exec(file, "PRAGMA journal_mode=MEMORY;" + schema());
        sqlite3_close(file);
        db = std::make_unique<Database>(path);
        db->BeginTrans(); // never committed: the file stays small
    }
};

World& world() {
    static World w;
    return w;
}

// One stored cell, comparable across connections.
struct Cell {
    int type = SQLITE_NULL;
    sqlite3_int64 i = 0;
    double d = 0;
    std::string text;
    bool operator==(const Cell& o) const {
        if (type != o.type)
            return false;
        switch (type) {
        case SQLITE_INTEGER:
            return i == o.i;
        case SQLITE_FLOAT:
            return std::memcmp(&d, &o.d, sizeof d) == 0;
        case SQLITE_NULL:
            return true;
        default:
            return text == o.text;
        }
    }
};

std::vector<std::vector<Cell>> readAll(sqlite3* db, const std::string& table) {
    std::vector<std::vector<Cell>> rows;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, ("SELECT * FROM " + table).c_str(), -1, &st, nullptr) != SQLITE_OK)
        fault("cannot read back", sqlite3_errmsg(db));
    while (sqlite3_step(st) == SQLITE_ROW) {
        std::vector<Cell> row;
        for (int k = 0; k < sqlite3_column_count(st); ++k) {
            Cell c;
            c.type = sqlite3_column_type(st, k);
            if (c.type == SQLITE_INTEGER)
                c.i = sqlite3_column_int64(st, k);
            else if (c.type == SQLITE_FLOAT)
                c.d = sqlite3_column_double(st, k);
            else if (c.type != SQLITE_NULL)
                c.text.assign(static_cast<const char*>(sqlite3_column_blob(st, k)),
                              size_t(sqlite3_column_bytes(st, k)));
            row.push_back(c);
        }
        rows.push_back(std::move(row));
    }
    sqlite3_finalize(st);
    return rows;
}

// The same through the data layer (inside its transaction, its own reads).
std::vector<std::vector<Cell>> readAll(Database& db, const std::string& table) {
    std::vector<std::vector<Cell>> rows;
    const auto rs = db.OpenRecordset(QString::fromStdString("SELECT * FROM " + table));
    for (std::int64_t r = 0; r < rs->RecordCount(); ++r) {
        std::vector<Cell> row;
        for (int k = 0; k < rs->FieldCount(); ++k) {
            const Value v = rs->FieldValue(r, k);
            Cell c;
            if (v.isNull()) {
                c.type = SQLITE_NULL;
            } else if (v.type() == VType::String) {
                c.type = SQLITE_TEXT;
                c.text = v.asString().toStdString();
            } else if (v.isWholeNumber()) {
                c.type = SQLITE_INTEGER;
                c.i = v.asInt64();
            } else {
                c.type = SQLITE_FLOAT;
                c.d = v.asDouble();
            }
            row.push_back(c);
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

// The same row, a real allowed one unit in the last place apart: the
// engine's reading of a decimal literal is not always correctly rounded,
// where the bound value is the double nearest to the literal.
bool sameRow(const std::vector<Cell>& a, const std::vector<Cell>& b) {
    if (a.size() != b.size())
        return false;
    for (size_t k = 0; k < a.size(); ++k) {
        if (a[k] == b[k])
            continue;
        if (a[k].type != SQLITE_FLOAT || b[k].type != SQLITE_FLOAT ||
            (b[k].d != std::nextafter(a[k].d, HUGE_VAL) &&
             b[k].d != std::nextafter(a[k].d, -HUGE_VAL)))
            return false;
    }
    return true;
}

// What field i of the line must store: the text without NUL characters and
// without outer half-width spaces (NULL when nothing is left), or the leading
// number of the field.
bool expectedCell(const QString& field, bool text, const Cell& got) {
    if (text) {
        QString t = field;
        t.remove(QChar(u'\0'));
        t = ModCommon::TrimSpaces(t);
        if (t.isEmpty())
            return got.type == SQLITE_NULL;
        return got.type == SQLITE_TEXT && got.text == t.toStdString();
    }
    const double v = ModCommon::LeadingNumber(field);
    if (got.type == SQLITE_INTEGER)
        return double(got.i) == v;
    // The engine's reading of a decimal literal is not always correctly
    // rounded: one unit in the last place either way is its, not ours.
    return got.type == SQLITE_FLOAT && (got.d == v || got.d == std::nextafter(v, HUGE_VAL) ||
                                        got.d == std::nextafter(v, -HUGE_VAL));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    if (size < 3)
        return 0;
    World& w = world();
    const int n = 1 + data[0] % kMaxFields;
    const unsigned bits = data[1] | unsigned(data[2]) << 8;
    std::vector<bool> flags;
    for (int i = 0; i < n; ++i)
        flags.push_back(bits >> i & 1);
    const std::string table = "T" + std::to_string(n);
    const QString line =
        cp932::decode(std::string_view(reinterpret_cast<const char*>(data + 3), size - 3));

    songlist::InsertBuilder builder(QString::fromStdString(table), flags);
    std::string sql;
    try {
        sql = builder.build(line).toStdString();
    } catch (const VbError& e) {
        // The one refusal allowed: a number field too large for any number.
        if (e.number() != VbError::Overflow)
            fault("builder raised", e.description().toStdString());
        return 0;
    }

    // The engine's parse: one statement, nothing after it, one row added.
    const std::string prefix = "INSERT INTO " + table + " VALUES (";
    if (sql.compare(0, prefix.size(), prefix) != 0)
        fault("statement does not begin as an INSERT of the table", sql);
    sqlite3_stmt* st = nullptr;
    const char* tail = nullptr;
    if (sqlite3_prepare_v2(w.reference, sql.data(), int(sql.size()), &st, &tail) != SQLITE_OK)
        fault("statement refused by the engine", sqlite3_errmsg(w.reference) + ("\n" + sql));
    if (!st || tail != sql.data() + sql.size())
        fault("more than one statement", sql);
    if (sqlite3_bind_parameter_count(st) != 0)
        fault("statement has parameters", sql);
    if (sqlite3_step(st) != SQLITE_DONE || sqlite3_changes(w.reference) != 1)
        fault("statement did not add exactly one row", sql);
    sqlite3_finalize(st);

    // The row holds what the fields say.
    const auto parsed = readAll(w.reference, table);
    if (parsed.size() != 1 || parsed[0].size() != size_t(n))
        fault("unexpected rows", sql);
    QStringView rest = line;
    for (int i = 0; i < n; ++i) {
        const qsizetype comma = rest.indexOf(u',');
        const QString field = (comma < 0 ? rest : rest.left(comma)).toString();
        rest = comma < 0 ? QStringView() : rest.mid(comma + 1);
        if (!expectedCell(field, flags[size_t(i)], parsed[0][size_t(i)]))
            fault("stored value differs from the field",
                  "field " + std::to_string(i + 1) + "\n" + sql);
    }

    // The values bound for the line store the same row.
    RowValues row;
    try {
        builder.values(line, row);
        w.db->InsertRow(QString::fromStdString(table), row, [&] { return builder.build(line); });
    } catch (const VbError& e) {
        fault("data layer refused the row", e.description().toStdString() + "\n" + sql);
    }
    const auto bound = readAll(*w.db, table);
    if (bound.size() != 1 || !sameRow(bound[0], parsed[0]))
        fault("the bound values stored another row than the engine's parse", sql);

    exec(w.reference, "DELETE FROM " + table);
    w.db->Execute(QString::fromStdString("DELETE FROM " + table));
    return 0;
}
