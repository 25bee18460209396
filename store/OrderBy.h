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

// Where the order clause of a record source starts: the index of the ORDER
// of its last ORDER BY outside brackets, literals and quoted names, or -1.
// So left(pos) keeps everything before the clause, the blank in front of it
// included.
qsizetype FindOrderClause(const QString& recordSource);

} // namespace melodeck
