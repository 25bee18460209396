// Code page 932: decoding, encoding with look-alikes, byte measure, cutting
// by bytes and the padded warning text.

#include "common/Cp932.h"
#include "common/ModCommon.h"
#include "common/Seams.h"

#include <gtest/gtest.h>

#if defined(__GLIBC__)
#include <iconv.h>
#endif

using namespace melodeck;
using namespace melodeck::ModCommon;
using namespace Qt::Literals::StringLiterals;

namespace {

// Code page 932 bytes and the text they stand for.
struct Coded {
    QByteArray bytes;
    QString text;
};

} // namespace

TEST(Cp932, DecodesTheWindowsTable) {
    const Coded rows[] = {
        {"abc\\~", u"abc\\~"_s},
        {"\x87\x40", u"①"_s},
        {"\xFB\xFC", u"髙"_s},
        {"\x81\x60", u"\uFF5E"_s},
        {"\x81\x7C", u"\uFF0D"_s},
        {"\xB1\x83\x41\x83\x5D", u"ｱアゾ"_s},
        {"\x89\xCC\x8E\xE8", u"歌手"_s},
        {"", u""_s},
        {QByteArray("a\0b", 3), QString::fromUtf16(u"a\0b", 3)},
        // Invalid bytes become U+FFFD and decoding goes on. A stray byte loses
        // only itself.
        {"\x80\x41", u"\uFFFDA"_s},
        {"x\xFF\xA0y", u"x\uFFFD\uFFFDy"_s},
        // A lead byte at the end, or before a byte that cannot be a trail byte.
        {"a\x81", u"a\uFFFD"_s},
        {"\x81 A", u"\uFFFD A"_s},
        {"\x82\r\n", u"\uFFFD\r\n"_s},
        // A proper but unassigned pair is one character: its trail byte is not
        // read as the ASCII letter it resembles.
        {"\x85\x41z", u"\uFFFDz"_s},
        // The rest of the text is decoded normally after all of them.
        {"\xFF\x89\xCC", u"\uFFFD歌"_s},
    };
    for (const Coded& r : rows)
        EXPECT_EQ(cp932::decode(r.bytes), r.text) << r.bytes.toHex(' ').toStdString();
}

TEST(Cp932, EncodesLookAlikesAndQuestionMarks) {
    const Coded rows[] = {
        {"\x81\x60", u"〜"_s},
        {"\x81\x7C", u"−"_s},
        {"\x81\x60\x81\x7C", u"～－"_s},
        {"\x7E\x5C\x81\x61\x81\x5C", u"‾¥‖—"_s},
        {"\x87\x40\xFB\xFC\xB1", u"①髙ｱ"_s},
        {"a?b", u"a😀b"_s},
        {"??", u"😀😀"_s},
        {"?", u"한"_s},
        {"?x", QString(QChar(0xD800)) + u"x"_s},
        {"?", u"\uFFFD"_s},
    };
    for (const Coded& r : rows)
        EXPECT_EQ(cp932::encode(r.text), r.bytes) << r.text.toStdString();
}

#if defined(__GLIBC__)
// The generated tables against the converter they were made from: every byte,
// every byte pair and every character of the BMP.
TEST(Cp932, TablesMatchGlibcEverywhere) {
    iconv_t toUtf16 = iconv_open("UTF-16LE", "CP932");
    iconv_t toCp932 = iconv_open("CP932", "UTF-16LE");
    ASSERT_NE(toUtf16, reinterpret_cast<iconv_t>(-1));
    ASSERT_NE(toCp932, reinterpret_cast<iconv_t>(-1));
    auto run = [](iconv_t cd, QByteArray in) -> QByteArray {
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        char out[16];
        char* ip = in.data();
        char* op = out;
        size_t il = size_t(in.size()), ol = sizeof out;
        if (iconv(cd, &ip, &il, &op, &ol) == size_t(-1) || il != 0)
            return {};
        return QByteArray(out, qsizetype(sizeof out - ol));
    };
    int checked = 0;
    for (int lead = 0x80; lead < 0x100; ++lead) {
        for (int trail = -1; trail < 0x100; ++trail) {
            QByteArray in(1, char(lead));
            if (trail >= 0)
                in.append(char(trail));
            const QByteArray want = run(toUtf16, in);
            if (want.size() != 2)
                continue; // invalid input: the replacement rules are tested above
            const QString got = cp932::decode(in);
            ASSERT_EQ(got.size(), 1) << std::hex << lead << " " << trail;
            EXPECT_EQ(got[0].unicode(), char16_t(uchar(want[0]) | uchar(want[1]) << 8))
                << std::hex << lead << " " << trail;
            ++checked;
        }
    }
    EXPECT_GT(checked, 9000);
    for (char32_t c = 0x80; c < 0x10000; ++c) {
        if (c >= 0xD800 && c < 0xE000)
            continue;
        const char16_t unit = char16_t(c);
        QByteArray want = run(toCp932, QByteArray(reinterpret_cast<const char*>(&unit), 2));
        if (want.isEmpty())
            want = "?";
        ASSERT_EQ(cp932::encode(QString(QChar(unit))), want) << std::hex << unsigned(c);
    }
    iconv_close(toUtf16);
    iconv_close(toCp932);
}
#endif

TEST(Cp932, ByteLengthsMatchTheEncoding) {
    const std::pair<QString, int> lengths[] = {
        {u"ｱ"_s, 1},  {u"ア"_s, 2}, {u"①"_s, 2},   {u"😀"_s, 1},      {u"～"_s, 2},
        {u"〜"_s, 2}, {u""_s, 0},   {u"ｱｲｳ"_s, 3}, {u"アイウ"_s, 6}, {u"ab漢字"_s, 6}};
    for (const auto& [text, n] : lengths) {
        EXPECT_EQ(cp932::byteLength(text), n) << text.toStdString();
        EXPECT_EQ(ByteLen(text), n) << text.toStdString();
    }
    EXPECT_EQ(cp932::charByteLength(U'😀'), 1);
    EXPECT_EQ(cp932::charByteLength(U'髙'), 2);
    EXPECT_EQ(cp932::charByteLength(U'A'), 1);

    // Over the whole basic plane the measure agrees with the encoder, and
    // every character the code page decodes to encodes back to its bytes
    // (or to the canonical pair when the table has duplicates).
    QString all;
    for (char32_t c = 0; c < 0x10000; ++c) {
        if (QChar::isSurrogate(c))
            continue;
        const QString one{QChar(char16_t(c))};
        all += one;
        ASSERT_EQ(cp932::charByteLength(c), cp932::encode(one).size()) << unsigned(c);
    }
    EXPECT_EQ(cp932::byteLength(all), cp932::encode(all).size());
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        if (lead >= 0xA0 && lead <= 0xDF)
            continue; // single-byte katakana, not lead bytes
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
            if (trail == 0x7F)
                continue;
            const QString text = cp932::decode(QByteArray(1, char(lead)) + char(trail));
            if (text == QString(QChar(0xFFFD)))
                continue;
            ASSERT_EQ(text.size(), 1);
            EXPECT_EQ(cp932::decode(cp932::encode(text)), text) << lead << ' ' << trail;
        }
    }
}

TEST(ByteLeft, CutsByBytesNeverInsideACharacter) {
    const QString text = u"ab漢字"_s;
    const std::pair<int, QString> cuts[] = {{3, u"ab"_s}, {4, u"ab漢"_s}, {5, u"ab漢"_s}, {6, text},
                                            {100, text},  {0, u""_s},     {-5, u""_s}};
    for (const auto& [n, left] : cuts)
        EXPECT_EQ(ByteLeft(text, n), left) << n;
    EXPECT_EQ(ByteLeft(u"ｱｲｳｴ"_s, 2), u"ｱｲ"_s);
    // An emoji counts one byte and is never split into halves.
    EXPECT_EQ(ByteLeft(u"a😀b"_s, 2), u"a😀"_s);
    EXPECT_EQ(ByteLeft(u"a😀b"_s, 1), u"a"_s);
    EXPECT_EQ(ByteLeft(u"漢"_s, 1), u""_s);
}

TEST(Warning, TextIsPaddedToSixtyBytes) {
    EXPECT_EQ(WarningText(u""_s), QString(60, u' '));
    EXPECT_EQ(WarningText(u"0123456789"_s), u"0123456789"_s + QString(50, u' '));
    const QString tenWide = u"あいうえおかきくけこ"_s;
    EXPECT_EQ(WarningText(tenWide), tenWide + QString(40, u' '));
    // 59 bytes ending in a full-width character: one space added.
    const QString odd = QString(29, QChar(u'漢')) + u"a"_s;
    EXPECT_EQ(WarningText(odd), odd + u" "_s);
    const QString sixty = QString(30, QChar(u'漢'));
    EXPECT_EQ(WarningText(sixty), sixty);
    const QString longer = QString(70, u'x');
    EXPECT_EQ(WarningText(longer), longer);
    for (const QString& m : {u"x"_s, u"URLが不正です"_s, u"😀"_s})
        EXPECT_EQ(ByteLen(WarningText(m)), 60);
}

TEST(Warning, ShowWarningGoesThroughTheSeam) {
    QString title, text;
    int calls = 0;
    {
        ScopedSeams answers(seams());
        answers.get().warning = [&](const QString& t, const QString& m) {
            title = t;
            text = m;
            ++calls;
        };
        ShowWarning(u"URLが不正です"_s);
    }
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(title, u"メロデッキ配信曲検索ツール"_s);
    EXPECT_EQ(WarningTitle(), title);
    EXPECT_EQ(text, WarningText(u"URLが不正です"_s));
}
