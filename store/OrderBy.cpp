#include "store/OrderBy.h"

#include "common/VbError.h"
#include "store/SqlReader.h"

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
    const QByteArray utf8 = recordSource.toUtf8();
    const sql::Statement st = sql::Read(std::string_view(utf8.constData(), size_t(utf8.size())));
    if (st.orderAt == sql::npos)
        return -1;
    return QString::fromUtf8(utf8.constData(), qsizetype(st.orderAt)).size();
}

} // namespace melodeck
