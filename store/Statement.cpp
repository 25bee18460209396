#include "store/Statement.h"

#include <sqlite3.h>

namespace melodeck {

void StatementFinalizer::operator()(sqlite3_stmt* st) const {
    sqlite3_finalize(st);
}

int Prepare(sqlite3* db, std::string_view sql, Statement& st, unsigned flags, size_t* used) {
    sqlite3_stmt* p = nullptr;
    const char* tail = nullptr;
    const int rc = sqlite3_prepare_v3(db, sql.data(), int(sql.size()), flags, &p, &tail);
    st.reset(p);
    if (used)
        *used = tail ? size_t(tail - sql.data()) : sql.size();
    return rc;
}

} // namespace melodeck
