#pragma once
#include <QString>
#include <QStringList>
#include <cstdint>

namespace melodeck {

// " ORDER BY " + sColName(col) [+ " DESC "]; col outside 1..upper bound gives
// column 1 ascending. sColName[0] is unused (index from 1). With no column
// name at all (sColName holds fewer than two entries) raises the subscript
// error, as indexing the empty array would.
QString BuildOrderBy(const QStringList& sColName, std::int32_t col, bool desc);

// Position of the order clause that the program appended to a record source:
// the index of the blank that starts the last " ORDER BY " (any letter case)
// standing outside every single-quoted literal, or -1. So left(pos + 1) keeps
// everything up to and including that blank.
qsizetype FindOrderClause(const QString& recordSource);

} // namespace melodeck
