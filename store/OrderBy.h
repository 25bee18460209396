#pragma once
#include <QString>
#include <QStringList>
#include <cstdint>

namespace melodeck {

// " ORDER BY " + sColName(col) [+ " DESC "]; col outside 1..upper bound gives
// column 1 ascending. sColName[0] is unused (index from 1).
QString BuildOrderBy(const QStringList& sColName, std::int32_t col, bool desc);

// Position of the order clause that the program appended to a record source:
// the last " ORDER BY " that stands outside every quoted literal, or -1.
qsizetype FindOrderClause(const QString& recordSource);

} // namespace melodeck
