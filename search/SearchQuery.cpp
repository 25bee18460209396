#include "search/SearchQuery.h"

#include "common/ModCommon.h"
#include "common/VbError.h"
#include "store/OrderBy.h"

namespace melodeck::search {

namespace {

// sColName(k), as the array lookup would fail on a table with fewer fields.
const QString& FieldName(const QStringList& sColName, int k) {
    if (k < 1 || k >= sColName.size())
        throw VbError::subscript();
    return sColName[k];
}

} // namespace

bool TakesPart(const ConditionRow& row) {
    return row.check == 1 && !row.text.isEmpty();
}

QString BuildSearchSource(const QString& sListTable, const QStringList& sColName,
                          const Conditions& conditions, std::int32_t lListOrderCol,
                          bool bListOrderDesc) {
    static const int fields[3] = {SingerColumn, TitleColumn, LyricStartColumn};
    QString sql = QStringLiteral("SELECT * FROM ") + sListTable + QStringLiteral(" WHERE 1=1");
    for (int i = 0; i < 3; ++i) {
        const ConditionRow& row = conditions.rows[size_t(i)];
        if (!TakesPart(row))
            continue;
        // Only the quote is treated: every wildcard the user types keeps its meaning.
        sql += QStringLiteral(" AND ") + FieldName(sColName, fields[i]) +
               QStringLiteral(" LIKE '*") + ModCommon::DoubleChar(row.text, QLatin1Char('\'')) +
               QStringLiteral("*'");
    }
    if (conditions.harmony == 0)
        sql += QStringLiteral(" AND ") + FieldName(sColName, HarmonyColumn) +
               QStringLiteral(" IS NOT NULL");
    else if (conditions.harmony == 1)
        sql += QStringLiteral(" AND ") + FieldName(sColName, HarmonyColumn) +
               QStringLiteral(" IS NULL");
    sql += BuildOrderBy(sColName, lListOrderCol, bListOrderDesc);
    return sql;
}

QString BuildShowAllSource(const QString& sListTable, const QStringList& sColName) {
    return QStringLiteral("SELECT * FROM ") + sListTable + BuildOrderBy(sColName, 0, false);
}

bool IsWholeColumnSelection(std::int32_t col, std::int32_t colSel, std::int32_t row,
                            std::int32_t rowSel, std::int32_t rows) {
    if (colSel != col)
        return false;
    const std::int64_t span = std::int64_t(rowSel) - std::int64_t(row);
    return (span < 0 ? -span : span) + 2 == std::int64_t(rows);
}

void ToggleSort(std::int32_t col, std::int32_t& orderCol, bool& orderDesc) {
    if (col == orderCol) {
        orderDesc = !orderDesc;
    } else {
        orderCol = col;
        orderDesc = false;
    }
}

QString ResortSource(const QString& recordSource, const QStringList& sColName,
                     std::int32_t orderCol, bool orderDesc) {
    QString kept = recordSource;
    // Only the clause the program appended counts; "ORDER BY" typed into a
    // condition stands inside a quoted literal and is passed over.
    if (const qsizetype clause = FindOrderClause(recordSource); clause >= 0)
        kept = recordSource.left(clause);
    return kept + BuildOrderBy(sColName, orderCol, orderDesc);
}

} // namespace melodeck::search
