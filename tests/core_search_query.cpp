// Query texts of the search, show-all and header sort.
#include "common/VbError.h"
#include "search/SearchQuery.h"

#include <gtest/gtest.h>

#include <climits>

using namespace melodeck;
using namespace Qt::Literals::StringLiterals;
using namespace melodeck::search;

namespace {

const QStringList kCols = {QString(),     u"ID"_s,     u"歌手名"_s, u"曲名"_s,
                           u"歌い出し"_s, u"ハモリ"_s, u"備考"_s};

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
    c.rows[1].text = u"ab'c"_s;
    c.harmony = 0;
    EXPECT_EQ(BuildSearchSource(u"MeloDeck"_s, kCols, c, 3, true),
              u"SELECT * FROM MeloDeck WHERE 1=1 AND 曲名 LIKE '*ab''c*' AND ハモリ "
              u"IS NOT NULL ORDER BY 曲名 DESC "_s);

    // Nothing takes part: every song, sorted by the first field.
    EXPECT_EQ(BuildSearchSource(u"MeloDeck"_s, kCols, None(), 0, false),
              u"SELECT * FROM MeloDeck WHERE 1=1 ORDER BY ID"_s);

    // All rows and "no harmony": clauses always singer, title, lyric start, harmony.
    c = None();
    c.rows[0].text = u"ｻｻﾞﾝ"_s;
    c.rows[1].text = u"''"_s;
    c.rows[2].text = u"  "_s;
    c.harmony = 1;
    EXPECT_EQ(BuildSearchSource(u"T"_s, kCols, c, 99999, true),
              u"SELECT * FROM T WHERE 1=1 AND 歌手名 LIKE '*ｻｻﾞﾝ*' AND 曲名 LIKE "
              u"'*''''*' AND 歌い出し LIKE '*  *' AND ハモリ IS NULL ORDER BY ID"_s);
}

TEST(SearchSource, RowsThatDoNotTakePart) {
    Conditions c = None();
    c.rows[0] = {0, u"unticked"_s};
    c.rows[1] = {2, u"grey"_s};
    c.rows[2] = {1, QString()};
    EXPECT_EQ(BuildSearchSource(u"T"_s, kCols, c, 2, false),
              u"SELECT * FROM T WHERE 1=1 ORDER BY 歌手名"_s);
    EXPECT_FALSE(TakesPart({1, QString()}));
    EXPECT_TRUE(TakesPart({1, u" "_s}));
    EXPECT_FALSE(TakesPart({-1, u"x"_s}));
}

TEST(SearchSource, WildcardsPassThroughUntouched) {
    Conditions c = None();
    c.rows[2].text = u"[abc *?# ORDER BY x"_s;
    EXPECT_EQ(BuildSearchSource(u"T"_s, kCols, c, 1, false),
              u"SELECT * FROM T WHERE 1=1 AND 歌い出し LIKE '*[abc *?# ORDER BY x*' "
              u"ORDER BY ID"_s);
}

TEST(SearchSource, TableWithTooFewFields) {
    const QStringList three = {QString(), u"a"_s, u"b"_s, u"c"_s};
    Conditions c = None();
    c.rows[1].text = u"x"_s;
    // Fields 2 and 3 exist; harmony "either" needs nothing more.
    EXPECT_EQ(BuildSearchSource(u"T"_s, three, c, 0, false),
              u"SELECT * FROM T WHERE 1=1 AND c LIKE '*x*' ORDER BY a"_s);
    c.rows[2].text = u"y"_s;
    EXPECT_THROW(BuildSearchSource(u"T"_s, three, c, 0, false), VbError);
    c.rows[2].text.clear();
    c.harmony = 0;
    EXPECT_THROW(BuildSearchSource(u"T"_s, three, c, 0, false), VbError);
}

TEST(ShowAllSource, SortsByFirstField) {
    EXPECT_EQ(BuildShowAllSource(u"MeloDeck"_s, kCols), u"SELECT * FROM MeloDeck ORDER BY ID"_s);
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
    const QString plain = u"SELECT * FROM T"_s;
    const QString search =
        u"SELECT * FROM T WHERE 1=1 AND 曲名 LIKE '*x Order By y''s ORDER BY z*'"_s;
    const struct {
        const QString& start;
        const char16_t *oldEnd, *newEnd;
        std::int32_t col;
        bool desc;
    } cases[] = {
        // The kept text keeps the blank before the old clause.
        {plain, u" ORDER BY ID", u"  ORDER BY 曲名 DESC ", 3, true},
        {plain, u"  ORDER BY 曲名 DESC ", u"   ORDER BY 曲名", 3, false},
        // No clause yet: appended whole; an out-of-range column: the first field.
        {plain, u"", u" ORDER BY 歌手名", 2, false},
        {plain, u" ORDER BY 曲名", u"  ORDER BY ID", -7, true},
        // The words inside a condition are not mistaken for the clause.
        {search, u" ORDER BY ID", u"  ORDER BY 歌手名", 2, false},
        {search, u" ORDER BY 歌手名 DESC ", u"  ORDER BY 歌い出し DESC ", 4, true},
        {search, u"", u" ORDER BY 歌手名", 2, false},
    };
    for (const auto& c : cases) {
        const QString source = c.start + QString::fromUtf16(c.oldEnd);
        EXPECT_EQ(ResortSource(source, kCols, c.col, c.desc),
                  c.start + QString::fromUtf16(c.newEnd))
            << source.toStdString();
    }
}
