#include "store/OrderBy.h"

#include "common/VbError.h"

namespace melodeck {

QString BuildOrderBy(const QStringList& sColName, std::int32_t col, bool desc) {
    const qsizetype upper = sColName.size() - 1;
    if (col < 1 || col > upper) {
        col = 1;
        desc = false;
    }
    if (upper < 1)
        throw VbError::subscript();
    QString r = QStringLiteral(" ORDER BY ") + sColName[col];
    if (desc)
        r += QStringLiteral(" DESC ");
    return r;
}

qsizetype FindOrderClause(const QString& recordSource) {
    static const QString word = QStringLiteral(" ORDER BY ");
    const qsizetype n = recordSource.size();
    qsizetype found = -1;
    bool inLiteral = false;
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = recordSource[i];
        if (inLiteral) {
            // '' inside a literal is one quote and keeps the literal open;
            // the second quote is read as a new opening below.
            if (c == QLatin1Char('\''))
                inLiteral = false;
            continue;
        }
        if (c == QLatin1Char('\'')) {
            inLiteral = true;
            continue;
        }
        if (c == QLatin1Char(' ') &&
            QStringView(recordSource).mid(i, word.size()).compare(word, Qt::CaseInsensitive) == 0)
            found = i;
    }
    return found;
}

} // namespace melodeck
