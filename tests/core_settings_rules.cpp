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

TEST(SettingsNumbers, StoredLongRoundsOrGivesNothing) {
    // Rounded as the settings were written by a 32-bit program: halves to even.
    const std::pair<QString, std::optional<std::int32_t>> values[] = {
        {u"640"_s, 640},
        {u"2.5"_s, 2},
        {u"3.5"_s, 4},
        {u"-7"_s, -7},
        {u"abc"_s, 0},
        {QString(), 0},
        {u"2147483647"_s, 2147483647},
        {u"2147483648"_s, std::nullopt},
        {u"1e308"_s, std::nullopt}};
    for (const auto& [text, want] : values)
        EXPECT_EQ(StoredLong(text), want) << text.toStdString();
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
    EXPECT_TRUE(at(" 1920 ", "1080", "100.5", "50")); // 100.5 rounds to 100
    EXPECT_EQ(at("1920", "1080", "100.5", "50")->first, 100);

    // The stored screen must be this one (in single precision: a width that
    // differs only beyond float's reach still matches); otherwise the window
    // stays centred.
    const std::tuple<const char*, const char*, bool> screens[] = {
        {"1920.00001", "1080", true}, {"1280", "1080", false},
        {"1920", "1024", false},      {"", "", false},
        {"1e308", "1080", false},
    };
    for (const auto& [w, h, restored] : screens)
        EXPECT_EQ(at(w, h, "100", "50").has_value(), restored) << w << 'x' << h;
    // Left and top must be above 0, the window must not touch the right or
    // bottom edge, and absurd values never fail nor move it off the screen.
    const std::tuple<const char*, const char*, bool> edges[] = {
        {"0", "50", false},     {"100", "0", false},         {"-5000", "50", false},
        {"1119", "479", true},  {"1120", "50", false},       {"100", "480", false},
        {"1e308", "50", false}, {"2147483648", "50", false}, {"50", "-1e308", false}};
    for (const auto& [l, t, restored] : edges)
        EXPECT_EQ(at("1920", "1080", l, t).has_value(), restored) << l << ',' << t;
    EXPECT_FALSE(at("NaN", "NaN", "NaN", "NaN"));
}
