// The order clause the grids' queries end with, where a re-sort cuts the
// record source, how the data layer carries it out, and the type codes of
// declared column types.
#include "common/VbError.h"
#include "store/DataControl.h"
#include "store/OrderBy.h"
#include "store/Recordset.h"
#include "store/SqlReader.h"
#include "support/store_TestDb.h"

#include <QTemporaryDir>
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
    // The clause starts at its ORDER; -1 for none. The words inside a
    // condition's literal or a quoted name, or inside brackets, do not count,
    // with or without a doubled quote before them.
    const std::pair<QString, qsizetype> cases[] = {
        {u"SELECT * FROM MeloDeck ORDER BY 曲番号"_s, 23},
        {u"SELECT * FROM MeloDeck"_s, -1},
        {u"SELECT * FROM T order by a"_s, 16},
        {u"SELECT * FROM T WHERE 1=1  ORDER BY a DESC "_s, 27}, // two blanks after a re-sort
        {u"SELECT * FROM T ORDER  BY a"_s, 16},
        {u"SELECT * FROM T WHERE 1=1 AND 曲名 LIKE '*x ORDER BY y*' ORDER BY 曲名 DESC "_s, 55},
        {u"SELECT * FROM T WHERE 1=1 AND a LIKE '*x ORDER BY y*'"_s, -1},
        {u"SELECT * FROM T WHERE 1=1 AND a LIKE '*it'' ORDER BY z*' AND b IS NULL"_s, -1},
        {u"SELECT * FROM T WHERE 1=1 AND a LIKE '*it'' order by ''z*' ORDER BY a"_s, 59},
        {u"SELECT * FROM T WHERE a = '' ORDER BY a"_s, 29}, // an empty text closes at once
        {u"SELECT * FROM T WHERE \"ORDER BY\" = 1 AND [ORDER BY] = `ORDER BY`"_s, -1},
        {u"SELECT * FROM T WHERE a IN (SELECT a FROM U ORDER BY a)"_s, -1},
        {u"SELECT * FROM T WHERE a = 'x ORDER BY"_s, -1}, // an open literal runs to the end
    };
    for (const auto& [source, at] : cases) {
        EXPECT_EQ(FindOrderClause(source), at) << source.toStdString();
        if (at >= 0) {
            EXPECT_TRUE(source.mid(at).startsWith(u"ORDER"_s, Qt::CaseInsensitive));
        }
    }
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

// Two values of one field as the Japanese database orders them: the first
// before the second, or the two equal (ties keep the order they had).
TEST(StoreOrder, JapaneseSortOrder) {
    QTemporaryDir dir;
    const QString path = test::createSongDb(dir.path());
    DataControl dat;
    dat.DatabaseName = path;
    dat.Database().UseWriteLog(); // as the window does once started
    enum Relation { Before, Tie };
    struct Pair {
        const char* field;
        QVariant first, second;
        Relation relation;
    };
    const QVariant null;
    const Pair pairs[] = {
        {"曲名", u"pamo"_s, u"ＰＡＭＯ"_s, Tie},
        {"曲名", u"ｐａｍｏ"_s, u"PAMO"_s, Tie},
        {"曲名", u"apple"_s, u"Zebra"_s, Before},
        {"曲名", u"Zebra"_s, u"あ"_s, Before},          // letters before kana
        {"曲名", u"アイナ"_s, u"あいみょん"_s, Before}, // not thousands of rows apart
        {"曲名", u"か"_s, u"ｶﾞ"_s, Before},             // voiced after unvoiced
        {"曲名", u"ｶﾞ"_s, u"ガ"_s, Tie},
        {"曲名", u"ガ"_s, u"が"_s, Tie},
        {"曲名", u"ヒ"_s, u"ビ"_s, Before},
        {"曲名", u"ビ"_s, u"ピ"_s, Before},
        {"曲名", u"ッ"_s, u"ツ"_s, Before},
        {"曲名", u"～"_s, u"〜"_s, Tie},
        {"曲名", u"ん"_s, u"亜"_s, Before}, // kana before kanji
        {"曲名", u"亜"_s, u"腕"_s, Before}, // first level by reading
        {"曲名", u"腕"_s, u"弌"_s, Before}, // then the second level
        {"曲名", u"愛"_s, u"夢"_s, Before}, // あい before ゆめ, unlike their code points
        {"曲名", u"夢"_s, u"夢の"_s, Before},
        {"曲名", null, u"0"_s, Before},
        {"曲名", null, u" "_s, Before},
        {"曲名", u"10"_s, u"9"_s, Before}, // text stays text
        {"演奏時間", 9, 10, Before},       // numbers as numbers
        {"演奏時間", -1, 0, Before},
        {"演奏時間", null, -5, Before},
        {"演奏時間", 2.5, 3, Before},
        {"演奏時間", 7, 7.0, Tie},
    };
    for (const Pair& p : pairs) {
        const QString field = QString::fromUtf8(p.field);
        const int column = field == u"曲名"_s ? 2 : 7;
        // Each way round, so that a tie shows as the order the rows had.
        for (bool swapped : {false, true}) {
            test::exec(path, u"DELETE FROM MeloDeck"_s);
            std::vector<std::vector<QVariant>> rows(2, std::vector<QVariant>(8));
            rows[0][0] = 1;
            rows[1][0] = 2;
            rows[0][size_t(column)] = swapped ? p.second : p.first;
            rows[1][size_t(column)] = swapped ? p.first : p.second;
            test::insertRows(path, u"MeloDeck"_s, rows);
            const bool firstIsOne = !swapped;
            for (bool desc : {false, true}) {
                dat.RecordSource = u"SELECT * FROM MeloDeck  ORDER BY "_s + field +
                                   (desc ? u" DESC "_s : QString());
                dat.Refresh();
                const Recordset& rs = dat.Recordset();
                ASSERT_EQ(rs.RecordCount(), 2);
                const QString got = rs.CellText(0, 0) + rs.CellText(1, 0);
                QString want;
                if (p.relation == Tie)
                    want = u"12"_s; // as inserted, either direction
                else
                    want = (firstIsOne != desc) ? u"12"_s : u"21"_s;
                EXPECT_EQ(got, want)
                    << field.toStdString() << " " << p.first.toString().toStdString() << " / "
                    << p.second.toString().toStdString() << (desc ? " DESC" : "")
                    << (swapped ? " swapped" : "");
                // The next query sees a new table: no order carried over.
                dat.RecordSource = u"SELECT * FROM PickupList"_s;
                dat.Refresh();
            }
        }
    }
}

TEST(StoreOrder, GridQueriesAsTheReaderTakesThem) {
    // The parts of a grid query, or none for any other statement.
    struct Case {
        const char* text;
        bool grid;
        const char* table = "";
        const char* where = "";
        const char* field = "";
        bool desc = false;
    };
    const Case cases[] = {
        {"SELECT * FROM MeloDeck", true, "MeloDeck"},
        {"select * from T where 1=1 and a like '*x*'  order by b desc ;", true, "T",
         " where 1=1 and a like '*x*'  ", "b", true},
        {"SELECT * FROM T WHERE a IN (SELECT a FROM U ORDER BY a) ORDER BY 曲名 ASC", true, "T",
         " WHERE a IN (SELECT a FROM U ORDER BY a) ", "曲名"},
        {"SELECT * FROM T WHERE a = 'x' ;;", true, "T", " WHERE a = 'x'"},
        {"SELECT * FROM T, U", false},
        {"SELECT * FROM T JOIN U ORDER BY a", false},
        {"SELECT * FROM T WHERE 1 GROUP BY a", false},
        {"SELECT * FROM T ORDER BY a LIMIT 1", false},
        {"SELECT * FROM T ORDER BY a COLLATE NOCASE", false},
        {"SELECT * FROM T ORDER BY \"a b\"", false},
        {"SELECT * FROM [T]", false},
        {"SELECT * FROM T WHERE a = 1 UNION SELECT * FROM U", false},
        {"SELECT COUNT(*) FROM T WHERE a = 1", false},
        // A text the engine cannot take apart (an open literal) is no query.
        {"SELECT * FROM T WHERE 1=1 AND a LIKE '*x ORDER BY ORDERRDER BYpULL,-2 ", false},
    };
    for (const Case& c : cases) {
        const sql::Statement st = sql::Read(c.text);
        EXPECT_EQ(st.gridQuery, c.grid) << c.text;
        if (!c.grid)
            continue;
        EXPECT_EQ(st.table, c.table) << c.text;
        EXPECT_EQ(st.where, c.where) << c.text;
        EXPECT_EQ(st.orderField, c.field) << c.text;
        EXPECT_EQ(st.descending, c.desc) << c.text;
    }
    // The verb, where a conflict rule goes, and comments outside literals.
    EXPECT_EQ(sql::Read(" insert into T values (1)").verb, "INSERT");
    EXPECT_EQ(sql::Read(" insert into T values (1)").verbEnd, 7u);
    EXPECT_TRUE(sql::Read("INSERT OR REPLACE INTO T VALUES (1)").namesConflictRule);
    EXPECT_TRUE(sql::Read("DELETE FROM T -- WHERE a = 1").comment);
    EXPECT_TRUE(sql::Read("DELETE FROM T /* WHERE a = 1").comment);
    EXPECT_FALSE(sql::Read("DELETE FROM T WHERE a = '--' OR \"/*\" = [--]").comment);
}
