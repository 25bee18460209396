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
#include <span>

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

struct Match {
    const char* pattern;
    const char* text;
    bool matches;
};

void expectMatches(std::span<const Match> rows) {
    for (const Match& m : rows)
        EXPECT_EQ(like(m.pattern, m.text), m.matches) << m.pattern << " against " << m.text;
}

} // namespace

TEST(JetLike, StarQuestionAndDigit) {
    // Without a star the whole text must match; the fixed parts around a
    // star may not overlap.
    const Match star[] = {
        {"a*c", "abbc", true},    {"a*c", "ac", true},     {"a*c", "ab", false},
        {"*", "", true},          {"", "a", false},        {"", "", true},
        {"abc", "abcd", false},   {"ab*yz", "abyz", true}, {"ab*bc", "abc", false},
        {"a*b*c", "axbxc", true}, {"a*b*c", "acb", false}, {"**a**", "xax", true}};
    expectMatches(star);
    // One character, however many bytes: a half-width voiced pair is one.
    const Match question[] = {{"a?c", "abc", true}, {"a?c", "ac", false}, {"a?c", "abbc", false},
                              {"?", "曲", true},    {"?", "ｶﾞ", true},    {"??", "ｶﾞ", false}};
    expectMatches(question);
    // Digits, full width too; % and _ are ordinary characters; ] and !
    // outside a list are literal.
    const Match digit[] = {{"#1", "21", true},    {"#1", "a1", false},  {"#1", "２1", true},
                           {"#", "①", false},     {"a%", "abc", false}, {"a%", "a%", true},
                           {"a_c", "abc", false}, {"a]!", "a]!", true}};
    expectMatches(digit);
}

TEST(JetLike, Lists) {
    const Match lists[] = {{"[abc]x", "bx", true},     {"[abc]x", "dx", false},
                           {"[!abc]x", "dx", true},    {"[!abc]x", "ax", false},
                           {"[!abc]", "", false}, // a negated list still takes one character
                           {"[a-c]", "b", true},       {"[a-c]", "d", false},
                           {"[a-cx-z0-9]", "y", true}, {"[a-cx-z0-9]", "5", true},
                           {"[a-cx-z0-9]", "m", false}};
    expectMatches(lists);
    // "-" is literal first (also after "!") and last; "[]" matches the empty
    // string; wildcards in brackets are literal.
    const Match literal[] = {
        {"[-a]", "-", true},   {"[a-]", "-", true},    {"[a-]", "b", false},   {"[!-a]", "b", true},
        {"[!-a]", "-", false}, {"a[]b", "ab", true},   {"a[]b", "axb", false}, {"[*]", "*", true},
        {"[*]", "a", false},   {"[?]", "?", true},     {"[?]", "x", false},    {"[#]", "#", true},
        {"[#]", "1", false},   {"*[[]*", "a[b", true}, {"*[[]*", "ab", false}};
    expectMatches(literal);
    // List members and ranges compare folded.
    const Match folded[] = {{"[ａ-ｃ]", "B", true},
                            {"[A-C]", "b", true},
                            {"[か]", "ｶ", true},
                            {"[ｶﾞ]", "が", true},
                            {"[ア-ン]", "ね", true}};
    expectMatches(folded);
}

TEST(JetLike, MalformedPatterns) {
    for (const char* bad : {"[abc", "*[abc*", "[", "[a-", "[!", "[z-a]", "[9-0]"})
        EXPECT_TRUE(malformed(bad)) << bad;
    for (const char* good : {"[a-a]", "]"})
        EXPECT_FALSE(malformed(good)) << good;
    EXPECT_EQ(jetlike::malformedDescription(), QStringLiteral("パターン文字列が不正です。"));
}

TEST(JetLike, ComparisonFolding) {
    // Letter case (also full width), width, kana type (also of decomposed
    // text) and look-alikes fold.
    const Match same[] = {
        {"ABC", "abc", true},       {"ＡＢＣ", "abc", true},    {"ａｂｃ", "ABC", true},
        {"Ａ", "ａ", true},         {"é", "É", true},           {"１２３！", "123!", true},
        {"a　b", "a b", true},      {"ｶﾀｶﾅ", "カタカナ", true}, {"ｶﾞﾝﾊﾞﾚ", "ガンバレ", true},
        {"ﾊﾟﾋﾟﾌﾟ", "パピプ", true}, {"ｳﾞｫ", "ヴォ", true},      {"ｰ", "ー", true},
        {"か", "カ", true},         {"か", "ｶ", true},          {"ｶﾞ", "が", true},
        {"か\u3099", "ガ", true},   {"〜", "～", true},         {"~", "〜", true},
        {"−", "－", true},          {"-", "−", true},           {"abガカⅰ", "ＡｂｶﾞかⅠ", true}};
    expectMatches(same);
    // Voicing, small kana and kanji stay distinct.
    const Match distinct[] = {{"ヒ", "ビ", false}, {"ビ", "ピ", false}, {"ﾋ", "ﾋﾞ", false},
                              {"ﾋﾞ", "ﾋﾟ", false}, {"ッ", "ツ", false}, {"ゃ", "や", false},
                              {"夢", "梦", false}};
    expectMatches(distinct);
    // The example of the search field.
    const Match example[] = {{"*ﾐｶﾝ*", "みかん", true}, {"*ﾐｶﾝ*", "ミカン", true},
                             {"*ﾐｶﾝ*", "ﾐｶﾝ", true},    {"*ﾐｶﾝ*", "冬のみかん箱", true},
                             {"*ﾐｶﾝ*", "蜜柑", false},  {"*ﾐｶﾝ*", "MIKAN", false}};
    expectMatches(example);
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
        path = test::createSongDb(dir.path());
        test::insertSongs(path, QStringLiteral("MeloDeck"),
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
    const std::pair<const char*, const char*> cases[] = {
        {"SELECT NULL LIKE 'a'", "<NULL>"},
        {"SELECT 'a' LIKE NULL", "<NULL>"},
        {"SELECT 'abc' LIKE 'a%'", "0"},
        {"SELECT 'ABC' LIKE 'a*'", "1"},
        {"SELECT 'a*b' LIKE 'a\\*b' ESCAPE '\\'", "1"},
        {"SELECT 'axb' LIKE 'a\\*b' ESCAPE '\\'", "0"},
        // A singer that is Null never matches, not even '*'.
        {"SELECT COUNT(*) FROM MeloDeck WHERE 歌手名 LIKE '*'", "2"},
        {"SELECT COUNT(*) FROM MeloDeck WHERE 歌手名 LIKE '*ﾐｶﾝ*'", "2"},
        // A number column is matched on its decimal text.
        {"SELECT 曲番号 FROM MeloDeck WHERE 曲番号 LIKE '*20*'", "1201"},
        // A doubled quote in the literal is one quote in the pattern.
        {"SELECT COUNT(*) FROM MeloDeck WHERE 曲名 LIKE '*it''s*'", "1"},
        {"SELECT COUNT(*) FROM MeloDeck WHERE 曲名 LIKE '*[*]*'", "1"}};
    for (const auto& [sql, want] : cases)
        EXPECT_EQ(scalar(QString::fromUtf8(sql)), QString::fromUtf8(want)) << sql;

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
