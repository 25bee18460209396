// Query texts of the search, show-all and header sort.
#include "common/VbError.h"
#include "search/SearchQuery.h"

#include <gtest/gtest.h>

#include <climits>

using namespace melodeck;
using namespace melodeck::search;

namespace {

const QStringList kCols = {QString(),
                           QStringLiteral("ID"),
                           QStringLiteral("歌手名"),
                           QStringLiteral("曲名"),
                           QStringLiteral("歌い出し"),
                           QStringLiteral("ハモリ"),
                           QStringLiteral("備考")};

Conditions None() {
    Conditions c;
    for (auto& r : c.rows)
        r = {1, QString()};
    c.harmony = 2;
    return c;
}

} // namespace

TEST(SearchSource, ExactTexts) {
    // Only the title row, a quote in it, harmony required, sorted descending by the title.
    Conditions c = None();
    c.rows[1].text = QStringLiteral("ab'c");
    c.harmony = 0;
    EXPECT_EQ(BuildSearchSource(QStringLiteral("MeloDeck"), kCols, c, 3, true),
              QStringLiteral("SELECT * FROM MeloDeck WHERE 1=1 AND 曲名 LIKE '*ab''c*' AND ハモリ "
                             "IS NOT NULL ORDER BY 曲名 DESC "));

    // Nothing takes part: every song, sorted by the first field.
    EXPECT_EQ(BuildSearchSource(QStringLiteral("MeloDeck"), kCols, None(), 0, false),
              QStringLiteral("SELECT * FROM MeloDeck WHERE 1=1 ORDER BY ID"));

    // All rows and "no harmony": clauses always singer, title, lyric start, harmony.
    c = None();
    c.rows[0].text = QStringLiteral("ｻｻﾞﾝ");
    c.rows[1].text = QStringLiteral("''");
    c.rows[2].text = QStringLiteral("  ");
    c.harmony = 1;
    EXPECT_EQ(BuildSearchSource(QStringLiteral("T"), kCols, c, 99999, true),
              QStringLiteral("SELECT * FROM T WHERE 1=1 AND 歌手名 LIKE '*ｻｻﾞﾝ*' AND 曲名 LIKE "
                             "'*''''*' AND 歌い出し LIKE '*  *' AND ハモリ IS NULL ORDER BY ID"));
}

TEST(SearchSource, RowsThatDoNotTakePart) {
    Conditions c = None();
    c.rows[0] = {0, QStringLiteral("unticked")};
    c.rows[1] = {2, QStringLiteral("grey")};
    c.rows[2] = {1, QString()};
    EXPECT_EQ(BuildSearchSource(QStringLiteral("T"), kCols, c, 2, false),
              QStringLiteral("SELECT * FROM T WHERE 1=1 ORDER BY 歌手名"));
    EXPECT_FALSE(TakesPart({1, QString()}));
    EXPECT_TRUE(TakesPart({1, QStringLiteral(" ")}));
    EXPECT_FALSE(TakesPart({-1, QStringLiteral("x")}));
}

TEST(SearchSource, WildcardsPassThroughUntouched) {
    Conditions c = None();
    c.rows[2].text = QStringLiteral("[abc *?# ORDER BY x");
    EXPECT_EQ(BuildSearchSource(QStringLiteral("T"), kCols, c, 1, false),
              QStringLiteral("SELECT * FROM T WHERE 1=1 AND 歌い出し LIKE '*[abc *?# ORDER BY x*' "
                             "ORDER BY ID"));
}

TEST(SearchSource, TableWithTooFewFields) {
    const QStringList three = {QString(), QStringLiteral("a"), QStringLiteral("b"),
                               QStringLiteral("c")};
    Conditions c = None();
    c.rows[1].text = QStringLiteral("x");
    // Fields 2 and 3 exist; harmony "either" needs nothing more.
    EXPECT_EQ(BuildSearchSource(QStringLiteral("T"), three, c, 0, false),
              QStringLiteral("SELECT * FROM T WHERE 1=1 AND c LIKE '*x*' ORDER BY a"));
    c.rows[2].text = QStringLiteral("y");
    EXPECT_THROW(BuildSearchSource(QStringLiteral("T"), three, c, 0, false), VbError);
    c.rows[2].text.clear();
    c.harmony = 0;
    EXPECT_THROW(BuildSearchSource(QStringLiteral("T"), three, c, 0, false), VbError);
}

TEST(ShowAllSource, SortsByFirstField) {
    EXPECT_EQ(BuildShowAllSource(QStringLiteral("MeloDeck"), kCols),
              QStringLiteral("SELECT * FROM MeloDeck ORDER BY ID"));
}

TEST(HeaderSort, WholeColumnTest) {
    EXPECT_TRUE(IsWholeColumnSelection(3, 3, 1, 9, 10));  // header click
    EXPECT_TRUE(IsWholeColumnSelection(3, 3, 9, 1, 10));  // the same, drawn upwards
    EXPECT_FALSE(IsWholeColumnSelection(3, 4, 1, 9, 10)); // two columns
    EXPECT_FALSE(IsWholeColumnSelection(3, 3, 4, 4, 10)); // one cell
    EXPECT_TRUE(IsWholeColumnSelection(2, 2, 1, 1, 2));   // any cell of a one-row grid
    EXPECT_FALSE(IsWholeColumnSelection(2, 2, 1, 1, 1));  // no data row
    EXPECT_FALSE(IsWholeColumnSelection(1, 1, INT32_MIN, INT32_MAX, INT32_MAX));
}

TEST(HeaderSort, Toggling) {
    std::int32_t col = 0;
    bool desc = false;
    ToggleSort(1, col, desc); // from show-all: column 1 ascending, order unchanged
    EXPECT_EQ(col, 1);
    EXPECT_FALSE(desc);
    ToggleSort(1, col, desc);
    EXPECT_TRUE(desc);
    ToggleSort(1, col, desc);
    EXPECT_FALSE(desc);
    ToggleSort(1, col, desc);
    ToggleSort(4, col, desc); // another column: ascending whatever the direction was
    EXPECT_EQ(col, 4);
    EXPECT_FALSE(desc);
}

TEST(HeaderSort, NewRecordSource) {
    // The kept text keeps the blank before the old clause.
    EXPECT_EQ(ResortSource(QStringLiteral("SELECT * FROM T ORDER BY ID"), kCols, 3, true),
              QStringLiteral("SELECT * FROM T  ORDER BY 曲名 DESC "));
    EXPECT_EQ(ResortSource(QStringLiteral("SELECT * FROM T  ORDER BY 曲名 DESC "), kCols, 3, false),
              QStringLiteral("SELECT * FROM T   ORDER BY 曲名"));
    // No clause yet: appended whole.
    EXPECT_EQ(ResortSource(QStringLiteral("SELECT * FROM T"), kCols, 2, false),
              QStringLiteral("SELECT * FROM T ORDER BY 歌手名"));
    // Out-of-range column: the first field.
    EXPECT_EQ(ResortSource(QStringLiteral("SELECT * FROM T ORDER BY 曲名"), kCols, -7, true),
              QStringLiteral("SELECT * FROM T  ORDER BY ID"));
}

TEST(HeaderSort, OrderByInsideACondition) {
    const QString search =
        QStringLiteral("SELECT * FROM T WHERE 1=1 AND 曲名 LIKE '*x Order By y''s ORDER BY z*'");
    EXPECT_EQ(ResortSource(search + QStringLiteral(" ORDER BY ID"), kCols, 2, false),
              search + QStringLiteral("  ORDER BY 歌手名"));
    EXPECT_EQ(ResortSource(search + QStringLiteral(" ORDER BY 歌手名 DESC "), kCols, 4, true),
              search + QStringLiteral("  ORDER BY 歌い出し DESC "));
    // Without an appended clause the condition is not mistaken for one.
    EXPECT_EQ(ResortSource(search, kCols, 2, false), search + QStringLiteral(" ORDER BY 歌手名"));
}
