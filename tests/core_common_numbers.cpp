// Reading numbers from text, rounding, strict conversion and the value and
// text helpers.

#include "common/ModCommon.h"
#include "common/Value.h"
#include "common/VbError.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <span>

using namespace melodeck;
using namespace Qt::Literals::StringLiterals;
using namespace ModCommon;

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

int errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const VbError& e) {
        return e.number();
    }
    return 0;
}

// A row's text, written as UTF-8 or as any text.
struct Text {
    Text(const char* utf8) : s(QString::fromUtf8(utf8)) {}
    Text(QString text) : s(std::move(text)) {}
    QString s;
};

struct Reads {
    Text text;
    double want;
};

void expectLeading(std::span<const Reads> rows) {
    for (const Reads& r : rows)
        EXPECT_EQ(LeadingNumber(r.text.s), r.want) << '"' << r.text.s.toStdString() << '"';
}

// Input and expected output of a text function.
struct Maps {
    Text in, want;
};
void expectTexts(const std::function<QString(const QString&)>& f, std::span<const Maps> rows) {
    for (const Maps& r : rows)
        EXPECT_EQ(f(r.in.s), r.want.s) << '"' << r.in.s.toStdString() << '"';
}

} // namespace

TEST(LeadingNumber, DecimalFormsAndWhereReadingStops) {
    const Reads rows[] = {{"42", 42},   {"3.5kg", 3.5},   {"1,234", 1}, {"1.2.3", 1.2},
                          {"+.5", 0.5}, {"-.25x", -0.25}, {"5.", 5},    {"007", 7}};
    expectLeading(rows);
    // Nothing numeric at the start; full-width digits are not digits here, and
    // stop the number.
    const Reads none[] = {{"", 0},    {"-", 0},        {"+", 0},    {".", 0},     {"abc12", 0},
                          {"NaN", 0}, {"Infinity", 0}, {"１２", 0}, {"12３4", 12}};
    expectLeading(none);
    // A negative zero never leaks out.
    EXPECT_FALSE(std::signbit(LeadingNumber(u"-0"_s)));
}

TEST(LeadingNumber, BlanksTabsAndLineFeedsAreSkippedAnywhere) {
    // Carriage returns and the ideographic space are not among them.
    const Reads rows[] = {{" 1 2 3", 123}, {"\t-\n4", -4},  {"   7", 7},
                          {"1 . 5", 1.5},  {"2 e 3", 2000}, {"& h 1 f", 31},
                          {"\r5", 0},      {"1\r5", 1},     {"\u30005", 0}};
    expectLeading(rows);
}

TEST(LeadingNumber, ExponentsWithEOrD) {
    // An exponent letter without digits ends the number before it.
    const Reads rows[] = {{"1E3", 1000}, {"1e+3", 1000}, {"1D3", 1000}, {"2e", 2},
                          {"2e+", 2},    {"2ex", 2},     {"2E-x", 2}};
    expectLeading(rows);
    EXPECT_DOUBLE_EQ(LeadingNumber(u"1.5d-1"_s), 0.15);
    EXPECT_DOUBLE_EQ(LeadingNumber(u"25E-2m"_s), 0.25);
}

TEST(LeadingNumber, OverflowAndUnderflowDoNotRaise) {
    const Reads rows[] = {{"1e400", kInf},
                          {"-1e400", -kInf},
                          {u"1"_s + QString(400, u'0'), kInf},
                          {"1e-400", 0},
                          {"0.0e999999", 0},
                          {"1e99999999999999999999999", kInf},
                          {"1e-99999999999999999999999", 0},
                          // Many digits still round correctly.
                          {"123456789012345678901234567890", 1.2345678901234568e29}};
    expectLeading(rows);
    EXPECT_DOUBLE_EQ(LeadingNumber(u"0."_s + QString(400, u'0') + u"1e350"_s), 1e-51);
}

TEST(LeadingNumber, HexAndOctalAsSixteenThenThirtyTwoBitIntegers) {
    const Reads rows[] = {{"&H10", 16},
                          {"&hff", 255},
                          {"&H7FFF", 32767},
                          {"&H8000", -32768},
                          {"&HFFFF", -1},
                          {"&H0FFFF", -1},
                          {"&H10000", 65536},
                          {"&H7FFFFFFF", 2147483647},
                          {"&H80000000", -2147483648},
                          {"&HFFFFFFFF", -1},
                          {"&H100000000", 4294967296},
                          {"&HFFz", 255},
                          {"&O17", 15},
                          {"&o177777", -1},
                          {"&O37777777777", -1},
                          {"&O78", 7}};
    expectLeading(rows);
    // No digit after the prefix, an unknown prefix, or a sign before it.
    const Reads none[] = {{"&", 0}, {"&H", 0}, {"&HG", 0}, {"&O8", 0}, {"&X1", 0}, {"-&H10", 0}};
    expectLeading(none);
}

TEST(Rounding, HalvesGoToTheEvenNeighbour) {
    const std::pair<double, double> halfEven[] = {
        {0.5, 0},       {1.5, 2},
        {2.5, 2},       {3.5, 4},
        {-2.5, -2},     {-3.5, -4},
        {2.4999999, 2}, {2.5000001, 3},
        {-2.6, -3},     {4503599627370497.0, 4503599627370497.0}};
    for (const auto& [in, want] : halfEven)
        EXPECT_EQ(RoundHalfEven(in), want) << in;
    EXPECT_FALSE(std::signbit(RoundHalfEven(-0.5)));

    EXPECT_EQ(RoundToLong(2147483647.4), 2147483647);
    EXPECT_EQ(RoundToLong(-2147483648.5), -2147483647 - 1);
    EXPECT_EQ(RoundToLong(-0.5), 0);
    for (double v : {2147483647.5, -2147483649.0, std::nan(""), kInf, LeadingNumber(u"1e400"_s)})
        EXPECT_EQ(errorOf([&] { RoundToLong(v); }), VbError::Overflow) << v;
}

TEST(StrictLong, WholeTextMustBeANumber) {
    const struct {
        Text text;
        std::int32_t want;
    } good[] = {
        {"42", 42},         {"  42  ", 42}, {"\t-7\r\n", -7},
        {"+3", 3},          {"2.5", 2},     {"3.5", 4},
        {"-2.5", -2},       {".5", 0},      {"1e3", 1000},
        {"1D2", 100},       {"&HFFFF", -1}, {"&H7FFFFFFF", 2147483647},
        {"&HFFFFFFFF", -1}, {"&O17", 15},   {"-2147483648", -2147483647 - 1},
    };
    for (const auto& [text, want] : good)
        EXPECT_EQ(StrictLong(text.s), want) << text.s.toStdString();

    for (const char* bad : {"", "   ", "abc", "1 2", "3.5kg", "-", ".", "+", "1,234", "2e", "2e+",
                            "&H", "&HG", "& H1", "1e3x", "NaN", "１２", "\u300012"})
        EXPECT_EQ(errorOf([&] { StrictLong(QString::fromUtf8(bad)); }), VbError::TypeMismatch)
            << bad;
    for (const char* big : {"2147483648", "-2147483649", "1e400", "&H100000000"})
        EXPECT_EQ(errorOf([&] { StrictLong(QString::fromLatin1(big)); }), VbError::Overflow) << big;
}

TEST(ValueHelpers, NullToZeroAndNullToStr) {
    const std::pair<Value, double> zero[] = {
        {Value::null(), 0},
        {Value(), 0},
        {Value::string(u"42"_s), 42},
        {Value::string(u"3.5kg"_s), 3.5},
        {Value::string(u""_s), 0},
        {Value::string(u"abc"_s), 0},
        {Value::string(u"   7"_s), 7},
        {Value::lng(-12), -12},
        {Value::dbl(1e20), 1e20},
        {Value::dbl(1e300), 1e300},
        {Value::single(0.1f), 0.1}, // read from its text form "0.1"
        {Value::currency(12.5), 12.5},
        {Value::boolean(true), 0}, // its text form "True" reads as 0
        {Value::dbl(std::nan("")), 0}};
    for (size_t i = 0; i < std::size(zero); ++i)
        EXPECT_EQ(NullToZero(zero[i].first), zero[i].second) << "row " << i;

    const std::pair<Value, QString> str[] = {
        {Value::null(), u""_s},
        {Value(), u""_s},
        {Value::string(u"  word  "_s), u"word"_s},
        {Value::string(u"    "_s), u""_s},
        {Value::lng(12), u"12"_s},
        {Value::dbl(1.5), u"1.5"_s},
        {Value::string(u" a b "_s), u"a b"_s},
        // Only half-width spaces are trimmed; tabs and ideographic spaces stay.
        {Value::string(u"\u3000x\u3000 "_s), u"\u3000x\u3000"_s},
        {Value::string(u"\tx "_s), u"\tx"_s}};
    for (size_t i = 0; i < std::size(str); ++i)
        EXPECT_EQ(NullToStr(str[i].first), str[i].second) << "row " << i;
}

TEST(TextHelpers, DoubleCharAddLastCharTrimNullTrimSpaces) {
    const Maps doubled[] = {
        {"abc", "abc"}, {"O'Neil", "O''Neil"}, {"end'", "end''"}, {"''", "''''"},
        {"", ""},       {"ａ'ｂ", "ａ''ｂ"},   {"ｂ’", "ｂ’"}, // a look-alike is not the quote
    };
    expectTexts([](const QString& s) { return DoubleChar(s, u'\''); }, doubled);

    const Maps slashed[] = {{"", "\\"}, {"C:\\", "C:\\"}, {"C:\\dir", "C:\\dir\\"}};
    expectTexts([](const QString& s) { return AddLastChar(s, u'\\'); }, slashed);

    const QString nul(QChar(u'\0'));
    const Maps nulTrimmed[] = {
        {u"abc"_s + nul + nul, u"abc"_s},
        {u"abc "_s + nul + u" "_s + nul + u"  "_s, u"abc"_s},
        {u"a"_s + nul + u"b  "_s, u"a"_s + nul + u"b"_s},
        {" a b", " a b"},
        {nul + u" "_s + nul, u""_s},
        {"", ""},
        {"x\u3000", "x\u3000"},
    };
    expectTexts(TrimNull, nulTrimmed);

    const Maps trimmed[] = {{"  a b  ", "a b"}, {"   ", ""}, {"\u3000a\u3000", "\u3000a\u3000"}};
    expectTexts(qOverload<const QString&>(TrimSpaces), trimmed);
}

TEST(GetToken, TakesFieldsLeftToRightInListOrder) {
    struct Step {
        Text token, rest; // what one call returns, and the text after it
    };
    const struct {
        Text text, delimiters;
        bool remove;
        std::vector<Step> steps;
    } cases[] = {
        {"a,b,c", ",", true, {{"a", "b,c"}, {"b", "c"}, {"c", ""}, {"", ""}}},
        {",x", ",", true, {{"", "x"}}},
        {"a,,b,", ",", true, {{"a", ",b,"}, {"", "b,"}, {"b", ""}}},
        // Quotes get no special treatment.
        {"\"x,y\",z", ",", true, {{"\"x", "y\",z"}}},
        // The first delimiter of the list that occurs wins; an absent one is skipped.
        {"a,b;c", ";,", true, {{"a,b", "c"}}},
        {"a,b;c", "|;", true, {{"a,b", "c"}}},
        // Without remove the text stays as it was.
        {"x,y", ",", false, {{"x", "x,y"}, {"x", "x,y"}}},
        {"no delimiter", "", true, {{"no delimiter", ""}}},
        // Non-ASCII text is cut by characters.
        {"歌手,曲名", ",", true, {{"歌手", "曲名"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.s.toStdString() + " split at " + c.delimiters.s.toStdString());
        QString text = c.text.s;
        for (const Step& s : c.steps) {
            EXPECT_EQ(GetToken(text, c.delimiters.s, c.remove), s.token.s);
            EXPECT_EQ(text, s.rest.s);
        }
    }
}

TEST(NumberText, PlainDecimalWithoutExponentForOrdinaryValues) {
    const std::pair<double, QString> texts[] = {
        {123, u"123"_s},
        {0, u"0"_s},
        {-0.0, u"0"_s},
        {-3, u"-3"_s},
        {1.5, u"1.5"_s},
        {0.1, u"0.1"_s},
        {-0.25, u"-0.25"_s},
        {1e20, u"100000000000000000000"_s},
        {1e15, u"1000000000000000"_s},
        {123456789.125, u"123456789.125"_s},
        {0.000001, u"0.000001"_s},
        {2147483647.0, u"2147483647"_s},
        {0.1 + 0.2, u"0.30000000000000004"_s},
    };
    for (const auto& [v, want] : texts)
        EXPECT_EQ(NumberText(v), want) << v;
    // Every text reads back as the same number.
    for (double v : {1.0 / 3, 2.0 / 3 * 1e10, 9007199254740993.0, 1e-10, 5e-324, 1.7e308, 1e21})
        EXPECT_EQ(LeadingNumber(NumberText(v)), v) << NumberText(v).toStdString();

    const std::pair<Value, QString> values[] = {
        {Value::single(0.1f), u"0.1"_s},
        {Value::single(16777216.0f), u"16777216"_s},
        {Value::dbl(0.1), u"0.1"_s},
        {Value::currency(12.5), u"12.5"_s},
        {Value::boolean(true), u"True"_s},
        {Value::null(), u""_s},
        {Value::bigint(9007199254740993LL), u"9007199254740993"_s}};
    for (const auto& [v, want] : values)
        EXPECT_EQ(v.toText(), want) << want.toStdString();
}
