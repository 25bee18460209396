// Code page 932: decoding, encoding with look-alikes, byte measure, cutting
// by bytes and the padded warning text.

#include "common/Cp932.h"
#include "common/ModCommon.h"
#include "common/Seams.h"

#include <gtest/gtest.h>

using namespace melodeck;
using namespace melodeck::ModCommon;
using namespace Qt::Literals::StringLiterals;

namespace {

QByteArray bytes(std::initializer_list<int> list) {
    QByteArray b;
    for (int v : list)
        b.append(char(v));
    return b;
}

} // namespace

TEST(Cp932, DecodesTheWindowsTable) {
    EXPECT_EQ(cp932::decode(QByteArray("abc\\~")), u"abc\\~"_s);
    EXPECT_EQ(cp932::decode(bytes({0x87, 0x40})), u"①"_s);
    EXPECT_EQ(cp932::decode(bytes({0xFB, 0xFC})), u"髙"_s);
    EXPECT_EQ(cp932::decode(bytes({0x81, 0x60})), u"\uFF5E"_s);
    EXPECT_EQ(cp932::decode(bytes({0x81, 0x7C})), u"\uFF0D"_s);
    EXPECT_EQ(cp932::decode(bytes({0xB1, 0x83, 0x41, 0x83, 0x5D})), u"ｱアゾ"_s);
    EXPECT_EQ(cp932::decode(bytes({0x89, 0xCC, 0x8E, 0xE8})), u"歌手"_s);
    EXPECT_EQ(cp932::decode(QByteArray()), u""_s);
    EXPECT_EQ(cp932::decode(QByteArray("a\0b", 3)), QString::fromUtf16(u"a\0b", 3));
}

TEST(Cp932, InvalidBytesBecomeReplacementAndDecodingGoesOn) {
    const QChar r(0xFFFD);
    // A stray byte loses only itself.
    EXPECT_EQ(cp932::decode(bytes({0x80, 'A'})), QString(r) + u"A"_s);
    EXPECT_EQ(cp932::decode(bytes({'x', 0xFF, 0xA0, 'y'})), u"x"_s + r + r + u"y"_s);
    // A lead byte at the end, or before a byte that cannot be a trail byte.
    EXPECT_EQ(cp932::decode(bytes({'a', 0x81})), u"a"_s + r);
    EXPECT_EQ(cp932::decode(bytes({0x81, ' ', 'A'})), QString(r) + u" A"_s);
    EXPECT_EQ(cp932::decode(bytes({0x82, '\r', '\n'})), QString(r) + u"\r\n"_s);
    // A proper but unassigned pair is one character: its trail byte is not
    // read as the ASCII letter it resembles.
    EXPECT_EQ(cp932::decode(bytes({0x85, 0x41, 'z'})), QString(r) + u"z"_s);
    // The rest of the text is decoded normally after all of them.
    EXPECT_EQ(cp932::decode(bytes({0xFF, 0x89, 0xCC})), QString(r) + u"歌"_s);
}

TEST(Cp932, EncodesLookAlikesAndQuestionMarks) {
    EXPECT_EQ(cp932::encode(u"〜"_s), bytes({0x81, 0x60}));
    EXPECT_EQ(cp932::encode(u"−"_s), bytes({0x81, 0x7C}));
    EXPECT_EQ(cp932::encode(u"～－"_s), bytes({0x81, 0x60, 0x81, 0x7C}));
    EXPECT_EQ(cp932::encode(u"‾¥‖—"_s), bytes({0x7E, 0x5C, 0x81, 0x61, 0x81, 0x5C}));
    EXPECT_EQ(cp932::encode(u"①髙ｱ"_s), bytes({0x87, 0x40, 0xFB, 0xFC, 0xB1}));
    EXPECT_EQ(cp932::encode(u"a😀b"_s), QByteArray("a?b"));
    EXPECT_EQ(cp932::encode(u"😀😀"_s), QByteArray("??"));
    EXPECT_EQ(cp932::encode(u"한"_s), QByteArray("?"));
    EXPECT_EQ(cp932::encode(QString(QChar(0xD800)) + u"x"_s), QByteArray("?x"));
    EXPECT_EQ(cp932::encode(QString(QChar(0xFFFD))), QByteArray("?"));
}

TEST(Cp932, ByteLengthsMatchTheEncoding) {
    EXPECT_EQ(cp932::byteLength(u"ｱ"_s), 1);
    EXPECT_EQ(cp932::byteLength(u"ア"_s), 2);
    EXPECT_EQ(cp932::byteLength(u"①"_s), 2);
    EXPECT_EQ(cp932::byteLength(u"😀"_s), 1);
    EXPECT_EQ(cp932::byteLength(u"～"_s), 2);
    EXPECT_EQ(cp932::byteLength(u"〜"_s), 2);
    EXPECT_EQ(cp932::byteLength(u""_s), 0);
    EXPECT_EQ(ByteLen(u"ｱｲｳ"_s), 3);
    EXPECT_EQ(ByteLen(u"アイウ"_s), 6);
    EXPECT_EQ(ByteLen(u"ab漢字"_s), 6);
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
            const QString text = cp932::decode(bytes({lead, trail}));
            if (text == QString(QChar(0xFFFD)))
                continue;
            ASSERT_EQ(text.size(), 1);
            EXPECT_EQ(cp932::decode(cp932::encode(text)), text) << lead << ' ' << trail;
        }
    }
}

TEST(ByteLeft, CutsByBytesNeverInsideACharacter) {
    const QString text = u"ab漢字"_s;
    EXPECT_EQ(ByteLeft(text, 3), u"ab"_s);
    EXPECT_EQ(ByteLeft(text, 4), u"ab漢"_s);
    EXPECT_EQ(ByteLeft(text, 5), u"ab漢"_s);
    EXPECT_EQ(ByteLeft(text, 6), text);
    EXPECT_EQ(ByteLeft(text, 100), text);
    EXPECT_EQ(ByteLeft(text, 0), u""_s);
    EXPECT_EQ(ByteLeft(text, -5), u""_s);
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
    const auto saved = seams().warning;
    seams().warning = [&](const QString& t, const QString& m) {
        title = t;
        text = m;
        ++calls;
    };
    ShowWarning(u"URLが不正です"_s);
    seams().warning = saved;
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(title, u"メロデッキ配信曲検索ツール"_s);
    EXPECT_EQ(WarningTitle(), title);
    EXPECT_EQ(text, WarningText(u"URLが不正です"_s));
}
