// The order clause the grids' queries end with, where a re-sort cuts the
// record source, and the type codes of declared column types.
#include "common/VbError.h"
#include "store/OrderBy.h"
#include "store/Recordset.h"

#include <gtest/gtest.h>

using namespace melodeck;

TEST(StoreOrder, BuildOrderBy) {
    const QStringList names{QString(), QStringLiteral("曲番号"), QStringLiteral("歌手名"),
                            QStringLiteral("曲名")};
    EXPECT_EQ(BuildOrderBy(names, 1, false), QStringLiteral(" ORDER BY 曲番号"));
    EXPECT_EQ(BuildOrderBy(names, 3, true), QStringLiteral(" ORDER BY 曲名 DESC "));
    EXPECT_EQ(BuildOrderBy(names, 3, false), QStringLiteral(" ORDER BY 曲名"));
    // Outside 1..3: column 1, ascending whatever was asked.
    for (std::int32_t col : {0, 4, -1, INT32_MIN, INT32_MAX}) {
        EXPECT_EQ(BuildOrderBy(names, col, true), QStringLiteral(" ORDER BY 曲番号")) << col;
        EXPECT_EQ(BuildOrderBy(names, col, false), QStringLiteral(" ORDER BY 曲番号")) << col;
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
    const QString plain = QStringLiteral("SELECT * FROM MeloDeck ORDER BY 曲番号");
    EXPECT_EQ(FindOrderClause(plain), plain.indexOf(QStringLiteral(" ORDER BY ")));
    EXPECT_EQ(FindOrderClause(QStringLiteral("SELECT * FROM MeloDeck")), -1);
    EXPECT_EQ(FindOrderClause(QStringLiteral("SELECT * FROM T order by a")), 15);

    // Two blanks after a re-sort: the clause starts at the second.
    const QString twice = QStringLiteral("SELECT * FROM T WHERE 1=1  ORDER BY a DESC ");
    EXPECT_EQ(FindOrderClause(twice), 26);

    // The words inside a condition's literal do not count, with or without
    // a doubled quote before them.
    const QString quoted = QStringLiteral(
        "SELECT * FROM T WHERE 1=1 AND 曲名 LIKE '*x ORDER BY y*' ORDER BY 曲名 DESC ");
    EXPECT_EQ(FindOrderClause(quoted), quoted.lastIndexOf(QStringLiteral(" ORDER BY ")));
    EXPECT_EQ(
        FindOrderClause(QStringLiteral("SELECT * FROM T WHERE 1=1 AND a LIKE '*x ORDER BY y*'")),
        -1);
    EXPECT_EQ(FindOrderClause(QStringLiteral(
                  "SELECT * FROM T WHERE 1=1 AND a LIKE '*it'' ORDER BY z*' AND b IS NULL")),
              -1);
    const QString afterQuote =
        QStringLiteral("SELECT * FROM T WHERE 1=1 AND a LIKE '*it'' order by ''z*' ORDER BY a");
    EXPECT_EQ(FindOrderClause(afterQuote), afterQuote.size() - 11);
    // A literal that is just two quotes (an empty text) closes at once.
    const QString empty = QStringLiteral("SELECT * FROM T WHERE a = '' ORDER BY a");
    EXPECT_EQ(FindOrderClause(empty), empty.size() - 11);
}

TEST(StoreOrder, FieldTypeFromDeclaredType) {
    struct Case {
        const char* decl;
        int code;
    };
    const Case cases[] = {
        {"BIT", 1},
        {"YESNO", 1},
        {"TINYINT", 2},
        {"SMALLINT", 3},
        {"INTEGER", 4},
        {"LONG", 4},
        {"integer", 4},
        {"CURRENCY", 5},
        {"REAL", 6},
        {"FLOAT4", 6},
        {"SINGLE", 6},
        {"DOUBLE", 7},
        {"FLOAT", 7},
        {"DATETIME", 8},
        {"BINARY(16)", 9},
        {"TEXT", 10},
        {"TEXT(50)", 10},
        {"VARCHAR(100)", 10},
        {"LONGBINARY", 11},
        {"BLOB", 11},
        {"LONGTEXT", 12},
        {"GUID", 15},
        {"BIGINT", 16},
        {"VARBINARY", 17},
        {"CHAR(10)", 18},
        {"char (2)", 18},
        {"NUMERIC", 19},
        {"DECIMAL(10,2)", 20},
        {"TIME", 22},
        {"TIMESTAMP", 23},
        {"", 10},
        {"MEDIUMINT", 4},
        {"NVARCHAR(20)", 10},
        {"CLOB", 10},
        {"DOUBLE PRECISION", 7},
        {"MEMO", 19},
        {"WHATEVER", 19},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FieldTypeFromDecl(c.decl), c.code) << c.decl;
}
