// Jet LIKE: wildcards, lists, malformed patterns, the comparison folding, and
// the function as SQLite calls it.
#include "common/VbError.h"
#include "store/Database.h"
#include "store/JetLike.h"
#include "support/store_TestDb.h"

#include <QTemporaryDir>
#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <regex>

using namespace melodeck;
using jetlike::Pattern;

namespace {

bool like(const char* pattern, const char* text) {
    auto p = Pattern::compile(pattern);
    EXPECT_TRUE(p.has_value()) << "malformed: " << pattern;
    return p && p->matches(text);
}

bool malformed(const char* pattern) {
    return !Pattern::compile(pattern).has_value();
}

} // namespace

TEST(JetLike, StarQuestionAndDigit) {
    EXPECT_TRUE(like("a*c", "abbc"));
    EXPECT_TRUE(like("a*c", "ac"));
    EXPECT_FALSE(like("a*c", "ab"));
    EXPECT_TRUE(like("*", ""));
    EXPECT_FALSE(like("", "a"));
    EXPECT_TRUE(like("", ""));
    EXPECT_FALSE(like("abc", "abcd")); // no star: the whole text
    EXPECT_TRUE(like("ab*yz", "abyz"));
    EXPECT_FALSE(like("ab*bc", "abc")); // prefix and suffix may not overlap
    EXPECT_TRUE(like("a*b*c", "axbxc"));
    EXPECT_FALSE(like("a*b*c", "acb"));
    EXPECT_TRUE(like("**a**", "xax"));

    EXPECT_TRUE(like("a?c", "abc"));
    EXPECT_FALSE(like("a?c", "ac"));
    EXPECT_FALSE(like("a?c", "abbc"));
    EXPECT_TRUE(like("?", "曲")); // one character, three bytes
    EXPECT_TRUE(like("?", "ｶﾞ")); // a half-width voiced pair is one character
    EXPECT_FALSE(like("??", "ｶﾞ"));

    EXPECT_TRUE(like("#1", "21"));
    EXPECT_FALSE(like("#1", "a1"));
    EXPECT_TRUE(like("#1", "２1")); // full-width digit
    EXPECT_FALSE(like("#", "①"));

    // % and _ are ordinary characters; ] and ! outside a list are literal.
    EXPECT_FALSE(like("a%", "abc"));
    EXPECT_TRUE(like("a%", "a%"));
    EXPECT_FALSE(like("a_c", "abc"));
    EXPECT_TRUE(like("a]!", "a]!"));
}

TEST(JetLike, Lists) {
    EXPECT_TRUE(like("[abc]x", "bx"));
    EXPECT_FALSE(like("[abc]x", "dx"));
    EXPECT_TRUE(like("[!abc]x", "dx"));
    EXPECT_FALSE(like("[!abc]x", "ax"));
    EXPECT_FALSE(like("[!abc]", "")); // a negated list still takes one character
    EXPECT_TRUE(like("[a-c]", "b"));
    EXPECT_FALSE(like("[a-c]", "d"));
    EXPECT_TRUE(like("[a-cx-z0-9]", "y"));
    EXPECT_TRUE(like("[a-cx-z0-9]", "5"));
    EXPECT_FALSE(like("[a-cx-z0-9]", "m"));

    // "-" is literal first (also after "!") and last.
    EXPECT_TRUE(like("[-a]", "-"));
    EXPECT_TRUE(like("[a-]", "-"));
    EXPECT_FALSE(like("[a-]", "b"));
    EXPECT_TRUE(like("[!-a]", "b"));
    EXPECT_FALSE(like("[!-a]", "-"));

    // "[]" matches the empty string.
    EXPECT_TRUE(like("a[]b", "ab"));
    EXPECT_FALSE(like("a[]b", "axb"));

    // Wildcards in brackets are literal.
    EXPECT_TRUE(like("[*]", "*"));
    EXPECT_FALSE(like("[*]", "a"));
    EXPECT_TRUE(like("[?]", "?"));
    EXPECT_FALSE(like("[?]", "x"));
    EXPECT_TRUE(like("[#]", "#"));
    EXPECT_FALSE(like("[#]", "1"));
    EXPECT_TRUE(like("*[[]*", "a[b"));
    EXPECT_FALSE(like("*[[]*", "ab"));

    // List members and ranges compare folded.
    EXPECT_TRUE(like("[ａ-ｃ]", "B"));
    EXPECT_TRUE(like("[A-C]", "b"));
    EXPECT_TRUE(like("[か]", "ｶ"));
    EXPECT_TRUE(like("[ｶﾞ]", "が"));
    EXPECT_TRUE(like("[ア-ン]", "ね"));
}

TEST(JetLike, MalformedPatterns) {
    EXPECT_TRUE(malformed("[abc"));
    EXPECT_TRUE(malformed("*[abc*"));
    EXPECT_TRUE(malformed("["));
    EXPECT_TRUE(malformed("[a-"));
    EXPECT_TRUE(malformed("[!"));
    EXPECT_TRUE(malformed("[z-a]"));
    EXPECT_TRUE(malformed("[9-0]"));
    EXPECT_FALSE(malformed("[a-a]"));
    EXPECT_FALSE(malformed("]"));
    EXPECT_EQ(jetlike::malformedDescription(), QStringLiteral("パターン文字列が不正です。"));
}

TEST(JetLike, ComparisonFolding) {
    // Letter case, also full width.
    EXPECT_TRUE(like("ABC", "abc"));
    EXPECT_TRUE(like("ＡＢＣ", "abc"));
    EXPECT_TRUE(like("ａｂｃ", "ABC"));
    EXPECT_TRUE(like("Ａ", "ａ"));
    EXPECT_TRUE(like("é", "É"));
    // Width.
    EXPECT_TRUE(like("１２３！", "123!"));
    EXPECT_TRUE(like("a　b", "a b"));
    EXPECT_TRUE(like("ｶﾀｶﾅ", "カタカナ"));
    EXPECT_TRUE(like("ｶﾞﾝﾊﾞﾚ", "ガンバレ"));
    EXPECT_TRUE(like("ﾊﾟﾋﾟﾌﾟ", "パピプ"));
    EXPECT_TRUE(like("ｳﾞｫ", "ヴォ"));
    EXPECT_TRUE(like("ｰ", "ー"));
    // Kana type.
    EXPECT_TRUE(like("か", "カ"));
    EXPECT_TRUE(like("か", "ｶ"));
    EXPECT_TRUE(like("ｶﾞ", "が"));
    EXPECT_TRUE(like("か\u3099", "ガ")); // decomposed text
    // Look-alikes.
    EXPECT_TRUE(like("〜", "～"));
    EXPECT_TRUE(like("~", "〜"));
    EXPECT_TRUE(like("−", "－"));
    EXPECT_TRUE(like("-", "−"));

    // Voicing, small kana and kanji stay distinct.
    EXPECT_FALSE(like("ヒ", "ビ"));
    EXPECT_FALSE(like("ビ", "ピ"));
    EXPECT_FALSE(like("ﾋ", "ﾋﾞ"));
    EXPECT_FALSE(like("ﾋﾞ", "ﾋﾟ"));
    EXPECT_FALSE(like("ッ", "ツ"));
    EXPECT_FALSE(like("ゃ", "や"));
    EXPECT_FALSE(like("夢", "梦"));

    // The example of the search field.
    for (const char* t : {"みかん", "ミカン", "ﾐｶﾝ", "冬のみかん箱"})
        EXPECT_TRUE(like("*ﾐｶﾝ*", t)) << t;
    for (const char* t : {"蜜柑", "MIKAN"})
        EXPECT_FALSE(like("*ﾐｶﾝ*", t)) << t;

    const std::u32string folded = jetlike::foldUtf8("ＡｂｶﾞかⅠ");
    EXPECT_EQ(folded, jetlike::fold(U"abガカⅰ"));
}

TEST(JetLike, PathologicalPatternsFinish) {
    const std::string text(200000, 'a');
    EXPECT_FALSE(like("*a*a*a*a*a*a*a*b", text.c_str()));
    EXPECT_TRUE(like("*a*a*a*a*a*a*a*b", (text + "b").c_str()));
    EXPECT_FALSE(like("*?a?a?a?a?b*", text.c_str()));
    EXPECT_FALSE(like("*[a]a[!b]aaaaaaaaab*", text.c_str()));
    // One pattern object reused over texts of growing and shrinking length.
    auto p = Pattern::compile("*aab*");
    ASSERT_TRUE(p);
    EXPECT_FALSE(p->matches(text));
    EXPECT_TRUE(p->matches("xaab"));
    EXPECT_FALSE(p->matches("ab"));
}

class JetLikeSql : public ::testing::Test {
protected:
    void SetUp() override {
        path = testdb::createSongDb(dir.path());
        testdb::insertSongs(path, QStringLiteral("MeloDeck"),
                            {{1201, QStringLiteral("ﾐｶﾝｽﾞ"), QStringLiteral("It's ok"), {}, {}},
                             {2200, QStringLiteral("みかんず"), QStringLiteral("a*b"), {}, {}},
                             {3300, {}, QStringLiteral("蜜柑"), {}, {}}});
        db = std::make_unique<Database>(path);
    }
    QString scalar(const QString& q) {
        const auto rs = db->OpenRecordset(q);
        return rs->IsNull(0, 0) ? QStringLiteral("<NULL>") : rs->CellText(0, 0);
    }
    QTemporaryDir dir;
    QString path;
    std::unique_ptr<Database> db;
};

TEST_F(JetLikeSql, OperandsEscapeAndErrors) {
    EXPECT_EQ(scalar(QStringLiteral("SELECT NULL LIKE 'a'")), QStringLiteral("<NULL>"));
    EXPECT_EQ(scalar(QStringLiteral("SELECT 'a' LIKE NULL")), QStringLiteral("<NULL>"));
    EXPECT_EQ(scalar(QStringLiteral("SELECT 'abc' LIKE 'a%'")), QStringLiteral("0"));
    EXPECT_EQ(scalar(QStringLiteral("SELECT 'ABC' LIKE 'a*'")), QStringLiteral("1"));
    EXPECT_EQ(scalar(QStringLiteral("SELECT 'a*b' LIKE 'a\\*b' ESCAPE '\\'")), QStringLiteral("1"));
    EXPECT_EQ(scalar(QStringLiteral("SELECT 'axb' LIKE 'a\\*b' ESCAPE '\\'")), QStringLiteral("0"));

    // A singer that is Null never matches, not even '*'.
    EXPECT_EQ(scalar(QStringLiteral("SELECT COUNT(*) FROM MeloDeck WHERE 歌手名 LIKE '*'")),
              QStringLiteral("2"));
    EXPECT_EQ(scalar(QStringLiteral("SELECT COUNT(*) FROM MeloDeck WHERE 歌手名 LIKE '*ﾐｶﾝ*'")),
              QStringLiteral("2"));
    // A number column is matched on its decimal text.
    EXPECT_EQ(scalar(QStringLiteral("SELECT 曲番号 FROM MeloDeck WHERE 曲番号 LIKE '*20*'")),
              QStringLiteral("1201"));
    // A doubled quote in the literal is one quote in the pattern.
    EXPECT_EQ(scalar(QStringLiteral("SELECT COUNT(*) FROM MeloDeck WHERE 曲名 LIKE '*it''s*'")),
              QStringLiteral("1"));
    EXPECT_EQ(scalar(QStringLiteral("SELECT COUNT(*) FROM MeloDeck WHERE 曲名 LIKE '*[*]*'")),
              QStringLiteral("1"));

    try {
        db->OpenRecordset(QStringLiteral(
            "SELECT * FROM MeloDeck WHERE 1=1 AND 曲名 LIKE '*[abc*' ORDER BY 曲番号"));
        ADD_FAILURE() << "a malformed pattern must fail";
    } catch (const VbError& e) {
        EXPECT_EQ(e.number(), VbError::Database);
        EXPECT_EQ(e.description(), QStringLiteral("パターン文字列が不正です。"));
    }
    EXPECT_THROW(db->OpenRecordset(QStringLiteral("SELECT 'a' LIKE 'a' ESCAPE 'xy'")), VbError);
}

TEST(JetLike, AgreesWithARegularExpressionOnRandomPatterns) {
    // Small alphabets make overlaps, repeats and near misses common; a
    // regular expression with the same meaning is the reference. Half the
    // texts are made from the pattern (so they mostly match), some of them
    // then changed in one place.
    struct Piece {
        const char* jet;
        const char* re;
        const char* makes; // characters one instance may use; "" for a star
    };
    const Piece pieces[] = {
        {"a", "a", "aA"},        {"b", "b", "bB"},        {"A", "a", "aA"},
        {"1", "1", "1"},         {"*", ".*", ""},         {"?", ".", "ab12"},
        {"#", "[0-9]", "12"},    {"[ab]", "[ab]", "abB"}, {"[!a]", "[^a]", "b1"},
        {"[0-9]", "[0-9]", "2"}, {"ab", "ab", "ab"},      {"*a", ".*a", ""},
    };
    const char textChars[] = {'a', 'b', 'B', '1', '2'};
    std::mt19937 rng(1204);
    auto pick = [&](const char* from) { return from[rng() % std::strlen(from)]; };
    int matched = 0;
    for (int round = 0; round < 5000; ++round) {
        std::string pattern, re, made;
        const int k = 1 + int(rng() % 7);
        for (int i = 0; i < k; ++i) {
            const Piece& p = pieces[rng() % std::size(pieces)];
            pattern += p.jet;
            re += p.re;
            if (std::string(p.jet) == "ab")
                made += "ab";
            else if (*p.makes)
                made += pick(p.makes);
            else
                for (int r = int(rng() % 4); r > 0; --r)
                    made += pick("ab12");
            if (std::string(p.jet) == "*a")
                made += 'a';
        }
        std::string text;
        if (rng() % 2) {
            text = made;
            if (!text.empty() && rng() % 3 == 0)
                text[rng() % text.size()] = textChars[rng() % std::size(textChars)];
        } else {
            for (int i = int(rng() % 9); i > 0; --i)
                text += textChars[rng() % std::size(textChars)];
        }
        const bool expected =
            std::regex_match(text, std::regex(re, std::regex::ECMAScript | std::regex::icase));
        matched += expected;
        EXPECT_EQ(like(pattern.c_str(), text.c_str()), expected)
            << "pattern " << pattern << " text " << text;
    }
    EXPECT_GT(matched, 1000); // the comparison covered both outcomes
    EXPECT_LT(matched, 4000);
}
