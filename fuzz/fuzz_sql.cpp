// Any text, read by the program's SQL reader, is read as the engine reads it:
// the reader's tokens, joined by blanks with the comments left out, make the
// statement the engine makes of the text (the same program, or the same
// refusal); a grid query rebuilt from the parts the reader gives is the
// same statement again; and the order clause the reader finds is the one a
// re-sort may cut off.
//
// Input: the text itself (UTF-8 or not: the engine reads bytes).
#include "store/SqlReader.h"

#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

using namespace melodeck;

namespace {

[[noreturn]] void fault(const char* what, std::string_view text) {
    std::fprintf(stderr, "fuzz_sql: %s\n%.*s\n", what, int(text.size()), text.data());
    std::abort();
}

sqlite3* world() {
    static sqlite3* db = [] {
        sqlite3* d = nullptr;
        if (sqlite3_open(":memory:", &d) != SQLITE_OK)
            fault("no in-memory database", "");
        const char* schema = "CREATE TABLE T (a, b, c, \"ORDER\" , [x y]);"
                             "CREATE TABLE U (a, b);"
                             "CREATE VIEW V AS SELECT * FROM T;";
        if (sqlite3_exec(d, schema, nullptr, nullptr, nullptr) != SQLITE_OK)
            fault("schema refused", schema);
        // Bounded work for any statement the fuzzer writes.
        sqlite3_limit(d, SQLITE_LIMIT_SQL_LENGTH, 1 << 16);
        sqlite3_limit(d, SQLITE_LIMIT_EXPR_DEPTH, 100);
        return d;
    }();
    return db;
}

// The program the engine makes of a statement (EXPLAIN, addresses and
// comments left out), or its refusal as "error: <message>"; "empty" for a
// text without a statement. Only the first statement counts.
std::string programOf(std::string_view text) {
    sqlite3* db = world();
    const std::string explain = "EXPLAIN " + std::string(text);
    sqlite3_stmt* st = nullptr;
    const char* tail = nullptr;
    if (sqlite3_prepare_v2(db, explain.c_str(), int(explain.size()), &st, &tail) != SQLITE_OK)
        return std::string("error: ") + sqlite3_errmsg(db);
    if (!st)
        return "empty";
    std::string out;
    for (int rows = 0; sqlite3_step(st) == SQLITE_ROW && rows < 10000; ++rows) {
        for (int c = 1; c <= 6; ++c) {
            const auto* v = reinterpret_cast<const char*>(sqlite3_column_text(st, c));
            out += v ? v : "";
            out += '|';
        }
        out += '\n';
    }
    sqlite3_finalize(st);
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    // The engine stops at a NUL byte; the data layer refuses such texts before.
    if (text.find('\0') != std::string_view::npos || text.size() > 4096)
        return 0;
    const sql::Statement st = sql::Read(text);

    std::string joined;
    bool illegal = false;
    for (const sql::Token& t : sql::Tokenize(text)) {
        if (t.kind == sql::Token::Comment)
            continue;
        illegal = illegal || t.kind == sql::Token::Illegal;
        joined += t.in(text);
        joined += ' ';
    }
    // Only texts the engine takes are compared: an illegal token's message
    // names the token, which a blank may cut differently.
    const std::string original = programOf(text);
    if (!illegal && original.rfind("error:", 0) != 0 && programOf(joined) != original)
        fault("the tokens make another statement than the text", text);

    // A text the engine refuses, or one holding a comment (which the data
    // layer refuses), is run by no one.
    if (st.gridQuery && !st.comment && original.rfind("error:", 0) != 0) {
        std::string rebuilt = "SELECT * FROM " + st.table + st.where;
        if (!st.orderField.empty())
            rebuilt += " ORDER BY " + st.orderField + (st.descending ? " DESC" : "");
        if (programOf(rebuilt) != original)
            fault("the grid query's parts make another statement", text);
        if (st.orderField.empty() != (st.orderAt == sql::npos))
            fault("the grid query's order clause is not the last one found", text);
    }
    if (st.orderAt != sql::npos) {
        // Cut there, the text takes any other order clause.
        const std::string kept = std::string(text.substr(0, st.orderAt)) + " ORDER BY a";
        if (original.rfind("error:", 0) != 0 && st.gridQuery &&
            programOf(kept).rfind("error:", 0) == 0)
            fault("a re-sort of the grid query is refused", text);
    }
    return 0;
}
