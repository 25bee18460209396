#include "store/TableScan.h"

#include "store/Statement.h"

#include <sqlite3.h>

#include <algorithm>
#include <exception>
#include <thread>

namespace melodeck::scan {

namespace {

// Where a number field's value stands in the engine's order (Null first,
// then numbers; anything else after them all).
struct Rank {
    int cls; // 0 Null, 1 number, 2 other
    double value;
    bool operator<=(const Rank& o) const {
        return cls != o.cls ? cls < o.cls : cls != 1 || value <= o.value;
    }
};

Rank rankOf(sqlite3_stmt* st, int col) {
    switch (sqlite3_column_type(st, col)) {
    case SQLITE_NULL:
        return {0, 0};
    case SQLITE_INTEGER:
    case SQLITE_FLOAT:
        return {1, sqlite3_column_double(st, col)};
    default:
        return {2, 0};
    }
}

// One part: a range of row ids read through a connection of its own.
struct Part {
    sqlite3* db;
    std::int64_t first, last;
    // The tie field: its first and last value, and whether it never fell.
    bool seen = false, rises = true;
    Rank firstTie{0, 0}, lastTie{0, 0};
    std::unique_ptr<RowOrder> order;
    std::vector<std::int64_t> ids;
    int rc = SQLITE_OK;
    std::string message;
    std::exception_ptr thrown;
};

void readPart(Part& p, const std::string& sql, const Query& q) {
    try {
        Statement st;
        p.rc = Prepare(p.db, sql, st);
        if (p.rc == SQLITE_OK)
            p.rc = sqlite3_bind_int64(st.get(), 1, p.first);
        if (p.rc == SQLITE_OK)
            p.rc = sqlite3_bind_int64(st.get(), 2, p.last);
        if (p.rc == SQLITE_OK) {
            const int tieCol = q.field.empty() ? 1 : 2;
            while ((p.rc = sqlite3_step(st.get())) == SQLITE_ROW) {
                const std::int64_t id = sqlite3_column_int64(st.get(), 0);
                if (!q.tieField.empty() && p.rises) {
                    const Rank r = rankOf(st.get(), tieCol);
                    p.rises = r.cls != 2 && (!p.seen || p.lastTie <= r);
                    if (!p.seen)
                        p.firstTie = r;
                    p.seen = true;
                    p.lastTie = r;
                }
                if (p.order)
                    AddOrderValue(*p.order, id, st.get(), 1);
                else
                    p.ids.push_back(id);
            }
            if (p.rc == SQLITE_DONE)
                p.rc = SQLITE_OK;
        }
        if (p.rc != SQLITE_OK)
            p.message = sqlite3_errmsg(p.db);
        else if (p.order)
            p.order->sort(q.descending, q.prior);
    } catch (...) {
        p.thrown = std::current_exception();
    }
}

} // namespace

// Column col of st's current row into order, for the row with key.
void AddOrderValue(RowOrder& order, std::int64_t key, sqlite3_stmt* st, int col) {
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

int RowIdRange(sqlite3* db, const std::string& table, const std::string& rowId, std::int64_t& first,
               std::int64_t& last) {
    first = 1;
    last = 0;
    // Each end is one step down the table's tree; the two in one query
    // would scan it.
    std::int64_t ends[2] = {1, 0};
    for (int k = 0; k < 2; ++k) {
        Statement st;
        int rc = Prepare(db, (k ? "SELECT max(" : "SELECT min(") + rowId + ") FROM " + table, st);
        if (rc == SQLITE_OK)
            rc = sqlite3_step(st.get());
        if (rc != SQLITE_ROW)
            return rc;
        if (sqlite3_column_type(st.get(), 0) == SQLITE_NULL)
            return SQLITE_OK; // no row
        ends[k] = sqlite3_column_int64(st.get(), 0);
    }
    first = ends[0];
    last = ends[1];
    return SQLITE_OK;
}

Rows Read(const std::vector<sqlite3*>& dbs, const Query& q, std::int64_t first, std::int64_t last,
          int& rc, std::string& message) {
    // In row id order, so that ties keep that order however the table is cut.
    std::string sql = "SELECT " + q.rowId;
    if (!q.field.empty())
        sql += ", " + q.field;
    if (!q.tieField.empty())
        sql += ", " + q.tieField;
    sql += " FROM " + q.table + " WHERE " + q.rowId + " BETWEEN ?1 AND ?2";
    if (!q.conditions.empty())
        sql += " AND (" + q.conditions + ")";
    sql += " ORDER BY " + q.rowId;

    const size_t n = dbs.size();
    std::vector<Part> parts(n);
    // Row ids split evenly between the parts; room for the rows expected,
    // not more than a table this program is given needs.
    const std::uint64_t span = last >= first ? std::uint64_t(last) - std::uint64_t(first) + 1 : 0;
    const size_t expected =
        span ? size_t(std::min<std::uint64_t>(span, std::uint64_t(1) << 22)) / n : 0;
    for (size_t k = 0; k < n; ++k) {
        Part& p = parts[k];
        p.db = dbs[k];
        p.first = k == 0 ? first : parts[k - 1].last + 1;
        p.last = k + 1 == n ? last : std::int64_t(std::uint64_t(first) + span / n * (k + 1) - 1);
        if (!q.field.empty()) {
            p.order = std::make_unique<RowOrder>(std::uint32_t(k));
            p.order->reserve(expected);
        } else {
            p.ids.reserve(expected);
        }
    }
    std::vector<std::thread> others;
    for (size_t k = 1; k < n; ++k)
        others.emplace_back(readPart, std::ref(parts[k]), std::cref(sql), std::cref(q));
    readPart(parts[0], sql, q);
    for (std::thread& t : others)
        t.join();

    Rows out;
    rc = SQLITE_OK;
    out.tieFieldRises = !q.tieField.empty();
    const Part* before = nullptr;
    for (const Part& p : parts) {
        out.tieFieldRises = out.tieFieldRises && p.rises &&
                            (!before || !before->seen || !p.seen || before->lastTie <= p.firstTie);
        if (p.seen)
            before = &p;
    }
    for (Part& p : parts) {
        if (p.thrown)
            std::rethrow_exception(p.thrown);
        if (p.rc != SQLITE_OK && rc == SQLITE_OK) {
            rc = p.rc;
            message = p.message;
        }
        if (p.order)
            out.parts.push_back(std::move(p.order));
        else
            out.ids.insert(out.ids.end(), p.ids.begin(), p.ids.end());
    }
    return out;
}

} // namespace melodeck::scan
