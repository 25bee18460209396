// Settings rules: condition values, harmony index, restored window position.
#include "app/Settings.h"

#include <gtest/gtest.h>

using namespace melodeck::settings;

TEST(SettingsCondition, ParseAndFormat) {
    auto c = ParseCondition(QStringLiteral("1,abc,def"));
    EXPECT_EQ(c.check, 1);
    EXPECT_EQ(c.text, QStringLiteral("abc,def"));
    c = ParseCondition(QStringLiteral("abc")); // no comma: the flag alone
    EXPECT_EQ(c.check, 0);
    EXPECT_EQ(c.text, QString());
    c = ParseCondition(QStringLiteral("0,サザン"));
    EXPECT_EQ(c.check, 0);
    EXPECT_EQ(c.text, QStringLiteral("サザン"));
    c = ParseCondition(QStringLiteral("2,x")); // any number but 0 ticks
    EXPECT_EQ(c.check, 1);
    c = ParseCondition(QStringLiteral(",x"));
    EXPECT_EQ(c.check, 0);
    EXPECT_EQ(c.text, QStringLiteral("x"));
    c = ParseCondition(QString());
    EXPECT_EQ(c.check, 0);
    EXPECT_EQ(c.text, QString());
    c = ParseCondition(QStringLiteral("1,"));
    EXPECT_EQ(c.check, 1);
    EXPECT_EQ(c.text, QString());

    EXPECT_EQ(FormatCondition(1, QStringLiteral("a,b")), QStringLiteral("1,a,b"));
    EXPECT_EQ(FormatCondition(2, QStringLiteral("grey")), QStringLiteral("0,grey"));
    EXPECT_EQ(FormatCondition(0, QString()), QStringLiteral("0,"));
    for (int check : {0, 1})
        for (const QString& text : {QString(), QStringLiteral(",,"), QStringLiteral("ｱ,'[x")}) {
            const auto back = ParseCondition(FormatCondition(check, text));
            EXPECT_EQ(back.check, check);
            EXPECT_EQ(back.text, text);
        }
}

TEST(SettingsCondition, HamoriIndex) {
    EXPECT_EQ(HamoriIndex(QString()), 0); // absent: "has a harmony part"
    EXPECT_EQ(HamoriIndex(QStringLiteral("0")), 0);
    EXPECT_EQ(HamoriIndex(QStringLiteral("1")), 1);
    EXPECT_EQ(HamoriIndex(QStringLiteral("2")), 2);
    EXPECT_EQ(HamoriIndex(QStringLiteral("1.5")), 2);
    EXPECT_EQ(HamoriIndex(QStringLiteral("-1")), 2);
    EXPECT_EQ(HamoriIndex(QStringLiteral("1e308")), 2);
    EXPECT_EQ(HamoriIndex(QStringLiteral("abc")), 0);
}

TEST(SettingsPosition, PixelsRoundTowardsMinusInfinity) {
    EXPECT_EQ(PixelsFromTwips(0), 0);
    EXPECT_EQ(PixelsFromTwips(29), 1);
    EXPECT_EQ(PixelsFromTwips(-1), -1);
    EXPECT_EQ(PixelsFromTwips(-15), -1);
    EXPECT_EQ(PixelsFromTwips(-16), -2);
    EXPECT_EQ(PixelsFromTwips(1920.0 * 15), 1920);
}

TEST(SettingsPosition, WhenTheWindowMoves) {
    auto at = [](const char* w, const char* h, const char* l, const char* t) {
        return RestoredPosition({QString::fromLatin1(w), QString::fromLatin1(h),
                                 QString::fromLatin1(l), QString::fromLatin1(t)},
                                1920, 1080, 800, 600);
    };
    auto moved = at("1920", "1080", "100", "50");
    ASSERT_TRUE(moved);
    EXPECT_EQ(moved->first, 100);
    EXPECT_EQ(moved->second, 50);
    // Single precision: a stored width that differs only beyond float's reach still matches.
    EXPECT_TRUE(at("1920.00001", "1080", "100", "50"));
    EXPECT_TRUE(at(" 1920 ", "1080", "100.5", "50")); // 100.5 rounds to 100
    EXPECT_EQ(at("1920", "1080", "100.5", "50")->first, 100);

    EXPECT_FALSE(at("1280", "1080", "100", "50")); // another screen: stays centred
    EXPECT_FALSE(at("1920", "1024", "100", "50"));
    EXPECT_FALSE(at("", "", "100", "50"));
    EXPECT_FALSE(at("1920", "1080", "0", "50"));
    EXPECT_FALSE(at("1920", "1080", "100", "0"));
    EXPECT_FALSE(at("1920", "1080", "-5000", "50"));
    EXPECT_TRUE(at("1920", "1080", "1119", "479"));
    EXPECT_FALSE(at("1920", "1080", "1120", "50")); // would touch the right edge
    EXPECT_FALSE(at("1920", "1080", "100", "480")); // would touch the bottom edge

    // Absurd values never fail and never move the window off the screen.
    EXPECT_FALSE(at("1920", "1080", "1e308", "50"));
    EXPECT_FALSE(at("1920", "1080", "2147483648", "50"));
    EXPECT_FALSE(at("1920", "1080", "50", "-1e308"));
    EXPECT_FALSE(at("1e308", "1080", "100", "50"));
    EXPECT_FALSE(at("NaN", "NaN", "NaN", "NaN"));
}
