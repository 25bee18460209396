// Settings rules: condition values, harmony index, restored window position.
#include "app/Settings.h"

#include <gtest/gtest.h>

using namespace melodeck::settings;
using namespace Qt::Literals::StringLiterals;

TEST(SettingsCondition, ParseAndFormat) {
    // No comma: the flag alone; any number but 0 ticks.
    const struct {
        QString value;
        int check;
        QString text;
    } parsed[] = {{u"1,abc,def"_s, 1, u"abc,def"_s},
                  {u"abc"_s, 0, QString()},
                  {u"0,サザン"_s, 0, u"サザン"_s},
                  {u"2,x"_s, 1, u"x"_s},
                  {u",x"_s, 0, u"x"_s},
                  {QString(), 0, QString()},
                  {u"1,"_s, 1, QString()}};
    for (const auto& p : parsed) {
        const Condition c = ParseCondition(p.value);
        EXPECT_EQ(c.check, p.check) << p.value.toStdString();
        EXPECT_EQ(c.text, p.text) << p.value.toStdString();
    }

    EXPECT_EQ(FormatCondition(1, u"a,b"_s), u"1,a,b"_s);
    EXPECT_EQ(FormatCondition(2, u"grey"_s), u"0,grey"_s);
    EXPECT_EQ(FormatCondition(0, QString()), u"0,"_s);
    for (int check : {0, 1})
        for (const QString& text : {QString(), u",,"_s, u"ｱ,'[x"_s}) {
            const auto back = ParseCondition(FormatCondition(check, text));
            EXPECT_EQ(back.check, check);
            EXPECT_EQ(back.text, text);
        }
}

TEST(SettingsCondition, HamoriIndex) {
    // Absent: "has a harmony part".
    const std::pair<QString, int> values[] = {{QString(), 0},  {u"0"_s, 0},   {u"1"_s, 1},
                                              {u"2"_s, 2},     {u"1.5"_s, 2}, {u"-1"_s, 2},
                                              {u"1e308"_s, 2}, {u"abc"_s, 0}};
    for (const auto& [value, index] : values)
        EXPECT_EQ(HamoriIndex(value), index) << value.toStdString();
}

TEST(SettingsPosition, PixelsRoundTowardsMinusInfinity) {
    const std::pair<double, std::int64_t> twips[] = {{0, 0},    {29, 1},   {-1, -1},
                                                     {-15, -1}, {-16, -2}, {1920.0 * 15, 1920}};
    for (const auto& [t, px] : twips)
        EXPECT_EQ(PixelsFromTwips(t), px) << t;
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
