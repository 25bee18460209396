// Reading numbers from text, rounding, strict conversion and the value and
// text helpers.

#include "common/ModCommon.h"
#include "common/Value.h"
#include "common/VbError.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace melodeck;
using namespace melodeck::ModCommon;
using namespace Qt::Literals::StringLiterals;

namespace {

int errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const VbError& e) {
        return e.number();
    }
    return 0;
}

} // namespace

TEST(LeadingNumber, DecimalFormsAndWhereReadingStops) {
    EXPECT_EQ(LeadingNumber(u"42"_s), 42);
    EXPECT_EQ(LeadingNumber(u"3.5kg"_s), 3.5);
    EXPECT_EQ(LeadingNumber(u"1,234"_s), 1);
    EXPECT_EQ(LeadingNumber(u"1.2.3"_s), 1.2);
    EXPECT_EQ(LeadingNumber(u"+.5"_s), 0.5);
    EXPECT_EQ(LeadingNumber(u"-.25x"_s), -0.25);
    EXPECT_EQ(LeadingNumber(u"5."_s), 5);
    EXPECT_EQ(LeadingNumber(u"007"_s), 7);
    // Nothing numeric at the start.
    EXPECT_EQ(LeadingNumber(u""_s), 0);
    EXPECT_EQ(LeadingNumber(u"-"_s), 0);
    EXPECT_EQ(LeadingNumber(u"+"_s), 0);
    EXPECT_EQ(LeadingNumber(u"."_s), 0);
    EXPECT_EQ(LeadingNumber(u"abc12"_s), 0);
    EXPECT_EQ(LeadingNumber(u"NaN"_s), 0);
    EXPECT_EQ(LeadingNumber(u"Infinity"_s), 0);
    // Full-width digits are not digits here, and stop the number.
    EXPECT_EQ(LeadingNumber(u"１２"_s), 0);
    EXPECT_EQ(LeadingNumber(u"12３4"_s), 12);
    // A negative zero never leaks out.
    EXPECT_FALSE(std::signbit(LeadingNumber(u"-0"_s)));
}

TEST(LeadingNumber, BlanksTabsAndLineFeedsAreSkippedAnywhere) {
    EXPECT_EQ(LeadingNumber(u" 1 2 3"_s), 123);
    EXPECT_EQ(LeadingNumber(u"\t-\n4"_s), -4);
    EXPECT_EQ(LeadingNumber(u"   7"_s), 7);
    EXPECT_EQ(LeadingNumber(u"1 . 5"_s), 1.5);
    EXPECT_EQ(LeadingNumber(u"2 e 3"_s), 2000);
    EXPECT_EQ(LeadingNumber(u"& h 1 f"_s), 31);
    // Carriage returns and the ideographic space are not among them.
    EXPECT_EQ(LeadingNumber(u"\r5"_s), 0);
    EXPECT_EQ(LeadingNumber(u"1\r5"_s), 1);
    EXPECT_EQ(LeadingNumber(u"\u30005"_s), 0);
}

TEST(LeadingNumber, ExponentsWithEOrD) {
    EXPECT_EQ(LeadingNumber(u"1E3"_s), 1000);
    EXPECT_EQ(LeadingNumber(u"1e+3"_s), 1000);
    EXPECT_EQ(LeadingNumber(u"1D3"_s), 1000);
    EXPECT_DOUBLE_EQ(LeadingNumber(u"1.5d-1"_s), 0.15);
    EXPECT_DOUBLE_EQ(LeadingNumber(u"25E-2m"_s), 0.25);
    // An exponent letter without digits ends the number before it.
    EXPECT_EQ(LeadingNumber(u"2e"_s), 2);
    EXPECT_EQ(LeadingNumber(u"2e+"_s), 2);
    EXPECT_EQ(LeadingNumber(u"2ex"_s), 2);
    EXPECT_EQ(LeadingNumber(u"2E-x"_s), 2);
}

TEST(LeadingNumber, OverflowAndUnderflowDoNotRaise) {
    EXPECT_EQ(LeadingNumber(u"1e400"_s), std::numeric_limits<double>::infinity());
    EXPECT_EQ(LeadingNumber(u"-1e400"_s), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(LeadingNumber(u"1"_s + QString(400, u'0')), std::numeric_limits<double>::infinity());
    EXPECT_EQ(LeadingNumber(u"1e-400"_s), 0);
    EXPECT_EQ(LeadingNumber(u"0.0e999999"_s), 0);
    EXPECT_DOUBLE_EQ(LeadingNumber(u"0."_s + QString(400, u'0') + u"1e350"_s), 1e-51);
    EXPECT_EQ(LeadingNumber(u"1e99999999999999999999999"_s),
              std::numeric_limits<double>::infinity());
    EXPECT_EQ(LeadingNumber(u"1e-99999999999999999999999"_s), 0);
    // Many digits still round correctly.
    EXPECT_EQ(LeadingNumber(u"123456789012345678901234567890"_s), 1.2345678901234568e29);
}

TEST(LeadingNumber, HexAndOctalAsSixteenThenThirtyTwoBitIntegers) {
    EXPECT_EQ(LeadingNumber(u"&H10"_s), 16);
    EXPECT_EQ(LeadingNumber(u"&hff"_s), 255);
    EXPECT_EQ(LeadingNumber(u"&H7FFF"_s), 32767);
    EXPECT_EQ(LeadingNumber(u"&H8000"_s), -32768);
    EXPECT_EQ(LeadingNumber(u"&HFFFF"_s), -1);
    EXPECT_EQ(LeadingNumber(u"&H0FFFF"_s), -1);
    EXPECT_EQ(LeadingNumber(u"&H10000"_s), 65536);
    EXPECT_EQ(LeadingNumber(u"&H7FFFFFFF"_s), 2147483647);
    EXPECT_EQ(LeadingNumber(u"&H80000000"_s), -2147483648.0);
    EXPECT_EQ(LeadingNumber(u"&HFFFFFFFF"_s), -1);
    EXPECT_EQ(LeadingNumber(u"&H100000000"_s), 4294967296.0);
    EXPECT_EQ(LeadingNumber(u"&HFFz"_s), 255);
    EXPECT_EQ(LeadingNumber(u"&O17"_s), 15);
    EXPECT_EQ(LeadingNumber(u"&o177777"_s), -1);
    EXPECT_EQ(LeadingNumber(u"&O37777777777"_s), -1);
    EXPECT_EQ(LeadingNumber(u"&O78"_s), 7);
    EXPECT_EQ(LeadingNumber(u"&"_s), 0);
    EXPECT_EQ(LeadingNumber(u"&H"_s), 0);
    EXPECT_EQ(LeadingNumber(u"&HG"_s), 0);
    EXPECT_EQ(LeadingNumber(u"&O8"_s), 0);
    EXPECT_EQ(LeadingNumber(u"&X1"_s), 0);
    EXPECT_EQ(LeadingNumber(u"-&H10"_s), 0);
}

TEST(Rounding, HalvesGoToTheEvenNeighbour) {
    EXPECT_EQ(RoundHalfEven(0.5), 0);
    EXPECT_EQ(RoundHalfEven(1.5), 2);
    EXPECT_EQ(RoundHalfEven(2.5), 2);
    EXPECT_EQ(RoundHalfEven(3.5), 4);
    EXPECT_EQ(RoundHalfEven(-2.5), -2);
    EXPECT_EQ(RoundHalfEven(-3.5), -4);
    EXPECT_EQ(RoundHalfEven(2.4999999), 2);
    EXPECT_EQ(RoundHalfEven(2.5000001), 3);
    EXPECT_EQ(RoundHalfEven(-2.6), -3);
    EXPECT_FALSE(std::signbit(RoundHalfEven(-0.5)));
    EXPECT_EQ(RoundHalfEven(4503599627370497.0), 4503599627370497.0);

    EXPECT_EQ(RoundToLong(2147483647.4), 2147483647);
    EXPECT_EQ(RoundToLong(-2147483648.5), -2147483647 - 1);
    EXPECT_EQ(RoundToLong(-0.5), 0);
    EXPECT_EQ(errorOf([] { RoundToLong(2147483647.5); }), VbError::Overflow);
    EXPECT_EQ(errorOf([] { RoundToLong(-2147483649.0); }), VbError::Overflow);
    EXPECT_EQ(errorOf([] { RoundToLong(std::nan("")); }), VbError::Overflow);
    EXPECT_EQ(errorOf([] { RoundToLong(std::numeric_limits<double>::infinity()); }),
              VbError::Overflow);
    EXPECT_EQ(errorOf([] { RoundToLong(LeadingNumber(u"1e400"_s)); }), VbError::Overflow);
}

TEST(StrictLong, WholeTextMustBeANumber) {
    EXPECT_EQ(StrictLong(u"42"_s), 42);
    EXPECT_EQ(StrictLong(u"  42  "_s), 42);
    EXPECT_EQ(StrictLong(u"\t-7\r\n"_s), -7);
    EXPECT_EQ(StrictLong(u"+3"_s), 3);
    EXPECT_EQ(StrictLong(u"2.5"_s), 2);
    EXPECT_EQ(StrictLong(u"3.5"_s), 4);
    EXPECT_EQ(StrictLong(u"-2.5"_s), -2);
    EXPECT_EQ(StrictLong(u".5"_s), 0);
    EXPECT_EQ(StrictLong(u"1e3"_s), 1000);
    EXPECT_EQ(StrictLong(u"1D2"_s), 100);
    EXPECT_EQ(StrictLong(u"&HFFFF"_s), -1);
    EXPECT_EQ(StrictLong(u"&H7FFFFFFF"_s), 2147483647);
    EXPECT_EQ(StrictLong(u"&HFFFFFFFF"_s), -1);
    EXPECT_EQ(StrictLong(u"&O17"_s), 15);
    EXPECT_EQ(StrictLong(u"-2147483648"_s), -2147483647 - 1);

    for (const QString& bad :
         {u""_s, u"   "_s, u"abc"_s, u"1 2"_s, u"3.5kg"_s, u"-"_s, u"."_s, u"+"_s, u"1,234"_s,
          u"2e"_s, u"2e+"_s, u"&H"_s, u"&HG"_s, u"& H1"_s, u"1e3x"_s, u"NaN"_s})
        EXPECT_EQ(errorOf([&] { StrictLong(bad); }), VbError::TypeMismatch) << bad.toStdString();
    EXPECT_EQ(errorOf([] { StrictLong(u"１２"_s); }), VbError::TypeMismatch);
    EXPECT_EQ(errorOf([] { StrictLong(u"\u300012"_s); }), VbError::TypeMismatch);

    EXPECT_EQ(errorOf([] { StrictLong(u"2147483648"_s); }), VbError::Overflow);
    EXPECT_EQ(errorOf([] { StrictLong(u"-2147483649"_s); }), VbError::Overflow);
    EXPECT_EQ(errorOf([] { StrictLong(u"1e400"_s); }), VbError::Overflow);
    EXPECT_EQ(errorOf([] { StrictLong(u"&H100000000"_s); }), VbError::Overflow);
}

TEST(ValueHelpers, NullToZeroAndNullToStr) {
    EXPECT_EQ(NullToZero(Value::null()), 0);
    EXPECT_EQ(NullToZero(Value()), 0);
    EXPECT_EQ(NullToZero(Value::string(u"42"_s)), 42);
    EXPECT_EQ(NullToZero(Value::string(u"3.5kg"_s)), 3.5);
    EXPECT_EQ(NullToZero(Value::string(u""_s)), 0);
    EXPECT_EQ(NullToZero(Value::string(u"abc"_s)), 0);
    EXPECT_EQ(NullToZero(Value::string(u"   7"_s)), 7);
    EXPECT_EQ(NullToZero(Value::lng(-12)), -12);
    EXPECT_EQ(NullToZero(Value::dbl(1e20)), 1e20);
    EXPECT_EQ(NullToZero(Value::dbl(1e300)), 1e300);
    EXPECT_EQ(NullToZero(Value::single(0.1f)), 0.1); // read from its text form "0.1"
    EXPECT_EQ(NullToZero(Value::currency(12.5)), 12.5);
    // A Boolean's text form is "True" or "False", which reads as 0.
    EXPECT_EQ(NullToZero(Value::boolean(true)), 0);
    EXPECT_EQ(NullToZero(Value::dbl(std::nan(""))), 0);

    EXPECT_EQ(NullToStr(Value::null()), u""_s);
    EXPECT_EQ(NullToStr(Value()), u""_s);
    EXPECT_EQ(NullToStr(Value::string(u"  word  "_s)), u"word"_s);
    EXPECT_EQ(NullToStr(Value::string(u"    "_s)), u""_s);
    EXPECT_EQ(NullToStr(Value::lng(12)), u"12"_s);
    EXPECT_EQ(NullToStr(Value::dbl(1.5)), u"1.5"_s);
    EXPECT_EQ(NullToStr(Value::string(u" a b "_s)), u"a b"_s);
    // Only half-width spaces are trimmed; tabs and ideographic spaces stay.
    EXPECT_EQ(NullToStr(Value::string(u"\u3000x\u3000 "_s)), u"\u3000x\u3000"_s);
    EXPECT_EQ(NullToStr(Value::string(u"\tx "_s)), u"\tx"_s);
}

TEST(TextHelpers, DoubleCharAddLastCharTrimNullTrimSpaces) {
    const QChar q(u'\'');
    EXPECT_EQ(DoubleChar(u"abc"_s, q), u"abc"_s);
    EXPECT_EQ(DoubleChar(u"O'Neil"_s, q), u"O''Neil"_s);
    EXPECT_EQ(DoubleChar(u"end'"_s, q), u"end''"_s);
    EXPECT_EQ(DoubleChar(u"''"_s, q), u"''''"_s);
    EXPECT_EQ(DoubleChar(u""_s, q), u""_s);
    EXPECT_EQ(DoubleChar(u"ａ'ｂ"_s, q), u"ａ''ｂ"_s);
    EXPECT_EQ(DoubleChar(u"ｂ’"_s, q), u"ｂ’"_s); // a look-alike is not the quote

    EXPECT_EQ(AddLastChar(u""_s, u'\\'), u"\\"_s);
    EXPECT_EQ(AddLastChar(u"C:\\"_s, u'\\'), u"C:\\"_s);
    EXPECT_EQ(AddLastChar(u"C:\\dir"_s, u'\\'), u"C:\\dir\\"_s);

    const QString nul(QChar(u'\0'));
    EXPECT_EQ(TrimNull(u"abc"_s + nul + nul), u"abc"_s);
    EXPECT_EQ(TrimNull(u"abc "_s + nul + u" "_s + nul + u"  "_s), u"abc"_s);
    EXPECT_EQ(TrimNull(u"a"_s + nul + u"b  "_s), u"a"_s + nul + u"b"_s);
    EXPECT_EQ(TrimNull(u" a b"_s), u" a b"_s);
    EXPECT_EQ(TrimNull(nul + u" "_s + nul), u""_s);
    EXPECT_EQ(TrimNull(u""_s), u""_s);
    EXPECT_EQ(TrimNull(u"x\u3000"_s), u"x\u3000"_s);

    EXPECT_EQ(TrimSpaces(u"  a b  "_s), u"a b"_s);
    EXPECT_EQ(TrimSpaces(u"   "_s), u""_s);
    EXPECT_EQ(TrimSpaces(u"\u3000a\u3000"_s), u"\u3000a\u3000"_s);
}

TEST(GetToken, TakesCommaSeparatedFieldsLeftToRight) {
    const bool remove = true;
    QString text = u"a,b,c"_s;
    EXPECT_EQ(GetToken(text, u","_s, remove), u"a"_s);
    EXPECT_EQ(text, u"b,c"_s);
    EXPECT_EQ(GetToken(text, u","_s, remove), u"b"_s);
    EXPECT_EQ(GetToken(text, u","_s, remove), u"c"_s);
    EXPECT_EQ(text, u""_s);
    EXPECT_EQ(GetToken(text, u","_s, remove), u""_s);
    EXPECT_EQ(text, u""_s);

    text = u",x"_s;
    EXPECT_EQ(GetToken(text, u","_s, remove), u""_s);
    EXPECT_EQ(text, u"x"_s);

    text = u"a,,b,"_s;
    EXPECT_EQ(GetToken(text, u","_s, remove), u"a"_s);
    EXPECT_EQ(GetToken(text, u","_s, remove), u""_s);
    EXPECT_EQ(GetToken(text, u","_s, remove), u"b"_s);
    EXPECT_EQ(text, u""_s);

    // Quotes get no special treatment.
    text = u"\"x,y\",z"_s;
    EXPECT_EQ(GetToken(text, u","_s, remove), u"\"x"_s);
}

TEST(GetToken, ListOrderWinsAndRemoveFalseLeavesTheText) {
    const bool remove = true;
    QString text = u"a,b;c"_s;
    EXPECT_EQ(GetToken(text, u";,"_s, remove), u"a,b"_s);
    EXPECT_EQ(text, u"c"_s);

    text = u"a,b;c"_s;
    EXPECT_EQ(GetToken(text, u"|;"_s, remove), u"a,b"_s); // an absent delimiter is skipped

    const bool keep = false;
    text = u"x,y"_s;
    EXPECT_EQ(GetToken(text, u","_s, keep), u"x"_s);
    EXPECT_EQ(GetToken(text, u","_s, keep), u"x"_s);
    EXPECT_EQ(text, u"x,y"_s);

    text = u"no delimiter"_s;
    EXPECT_EQ(GetToken(text, u""_s, remove), u"no delimiter"_s);
    EXPECT_EQ(text, u""_s);

    // Non-ASCII text is cut by characters.
    text = u"歌手,曲名"_s;
    EXPECT_EQ(GetToken(text, u","_s, remove), u"歌手"_s);
    EXPECT_EQ(text, u"曲名"_s);
}

TEST(NumberText, PlainDecimalWithoutExponentForOrdinaryValues) {
    EXPECT_EQ(NumberText(123), u"123"_s);
    EXPECT_EQ(NumberText(0), u"0"_s);
    EXPECT_EQ(NumberText(-0.0), u"0"_s);
    EXPECT_EQ(NumberText(-3), u"-3"_s);
    EXPECT_EQ(NumberText(1.5), u"1.5"_s);
    EXPECT_EQ(NumberText(0.1), u"0.1"_s);
    EXPECT_EQ(NumberText(-0.25), u"-0.25"_s);
    EXPECT_EQ(NumberText(1e20), u"100000000000000000000"_s);
    EXPECT_EQ(NumberText(1e15), u"1000000000000000"_s);
    EXPECT_EQ(NumberText(123456789.125), u"123456789.125"_s);
    EXPECT_EQ(NumberText(0.000001), u"0.000001"_s);
    EXPECT_EQ(NumberText(2147483647.0), u"2147483647"_s);
    EXPECT_EQ(NumberText(0.1 + 0.2), u"0.30000000000000004"_s);
    // Every text reads back as the same number.
    for (double v : {1.0 / 3, 2.0 / 3 * 1e10, 9007199254740993.0, 1e-10, 5e-324, 1.7e308, 1e21})
        EXPECT_EQ(LeadingNumber(NumberText(v)), v) << NumberText(v).toStdString();

    EXPECT_EQ(Value::single(0.1f).toText(), u"0.1"_s);
    EXPECT_EQ(Value::single(16777216.0f).toText(), u"16777216"_s);
    EXPECT_EQ(Value::dbl(0.1).toText(), u"0.1"_s);
    EXPECT_EQ(Value::currency(12.5).toText(), u"12.5"_s);
    EXPECT_EQ(Value::boolean(true).toText(), u"True"_s);
    EXPECT_EQ(Value::null().toText(), u""_s);
    EXPECT_EQ(Value::bigint(9007199254740993LL).toText(), u"9007199254740993"_s);
}
