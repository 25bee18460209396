// The order clause the grids' queries end with, where a re-sort cuts the
// record source, and the type codes of declared column types.
#include "common/VbError.h"
#include "store/OrderBy.h"
#include "store/Recordset.h"

#include <gtest/gtest.h>

#include <vector>

using namespace melodeck;
using namespace Qt::Literals::StringLiterals;

TEST(StoreOrder, BuildOrderBy) {
    const QStringList names{QString(), u"曲番号"_s, u"歌手名"_s, u"曲名"_s};
    EXPECT_EQ(BuildOrderBy(names, 1, false), u" ORDER BY 曲番号"_s);
    EXPECT_EQ(BuildOrderBy(names, 3, true), u" ORDER BY 曲名 DESC "_s);
    EXPECT_EQ(BuildOrderBy(names, 3, false), u" ORDER BY 曲名"_s);
    // Outside 1..3: column 1, ascending whatever was asked.
    for (std::int32_t col : {0, 4, -1, INT32_MIN, INT32_MAX}) {
        EXPECT_EQ(BuildOrderBy(names, col, true), u" ORDER BY 曲番号"_s) << col;
        EXPECT_EQ(BuildOrderBy(names, col, false), u" ORDER BY 曲番号"_s) << col;
    }
    // No column names at all.
    try {
        BuildOrderBy(QStringList{QString()}, 1, false);
        ADD_FAILURE() << "no error";
    } catch (const VbError& e) {
        EXPECT_EQ(e.number(), VbError::SubscriptOutOfRange);
    }
}

TEST(StoreOrder, FindOrderClause) {
    const QString plain = u"SELECT * FROM MeloDeck ORDER BY 曲番号"_s;
    EXPECT_EQ(FindOrderClause(plain), plain.indexOf(u" ORDER BY "_s));
    EXPECT_EQ(FindOrderClause(u"SELECT * FROM MeloDeck"_s), -1);
    EXPECT_EQ(FindOrderClause(u"SELECT * FROM T order by a"_s), 15);

    // Two blanks after a re-sort: the clause starts at the second.
    const QString twice = u"SELECT * FROM T WHERE 1=1  ORDER BY a DESC "_s;
    EXPECT_EQ(FindOrderClause(twice), 26);

    // The words inside a condition's literal do not count, with or without
    // a doubled quote before them.
    const QString quoted =
        u"SELECT * FROM T WHERE 1=1 AND 曲名 LIKE '*x ORDER BY y*' ORDER BY 曲名 DESC "_s;
    EXPECT_EQ(FindOrderClause(quoted), quoted.lastIndexOf(u" ORDER BY "_s));
    EXPECT_EQ(FindOrderClause(u"SELECT * FROM T WHERE 1=1 AND a LIKE '*x ORDER BY y*'"_s), -1);
    EXPECT_EQ(FindOrderClause(
                  u"SELECT * FROM T WHERE 1=1 AND a LIKE '*it'' ORDER BY z*' AND b IS NULL"_s),
              -1);
    const QString afterQuote =
        u"SELECT * FROM T WHERE 1=1 AND a LIKE '*it'' order by ''z*' ORDER BY a"_s;
    EXPECT_EQ(FindOrderClause(afterQuote), afterQuote.size() - 11);
    // A literal that is just two quotes (an empty text) closes at once.
    const QString empty = u"SELECT * FROM T WHERE a = '' ORDER BY a"_s;
    EXPECT_EQ(FindOrderClause(empty), empty.size() - 11);
}

TEST(StoreOrder, FieldTypeFromDeclaredType) {
    // Type code and the declared types that give it.
    const std::pair<int, std::vector<const char*>> codes[] = {
        {1, {"BIT", "YESNO"}},
        {2, {"TINYINT"}},
        {3, {"SMALLINT"}},
        {4, {"INTEGER", "LONG", "integer", "MEDIUMINT"}},
        {5, {"CURRENCY"}},
        {6, {"REAL", "FLOAT4", "SINGLE"}},
        {7, {"DOUBLE", "FLOAT", "DOUBLE PRECISION"}},
        {8, {"DATETIME"}},
        {9, {"BINARY(16)"}},
        {10, {"TEXT", "TEXT(50)", "VARCHAR(100)", "", "NVARCHAR(20)", "CLOB"}},
        {11, {"LONGBINARY", "BLOB"}},
        {12, {"LONGTEXT"}},
        {15, {"GUID"}},
        {16, {"BIGINT"}},
        {17, {"VARBINARY"}},
        {18, {"CHAR(10)", "char (2)"}},
        {19, {"NUMERIC", "MEMO", "WHATEVER"}},
        {20, {"DECIMAL(10,2)"}},
        {22, {"TIME"}},
        {23, {"TIMESTAMP"}}};
    for (const auto& [code, decls] : codes)
        for (const char* decl : decls)
            EXPECT_EQ(FieldTypeFromDecl(decl), code) << decl;
}
