#include "pickup/PickupSql.h"

#include <gtest/gtest.h>

using namespace melodeck::pickup;

TEST(PickupSql, KeyTextIsTheLeadingNumberInPlainDecimal) {
    EXPECT_EQ(KeyText(QStringLiteral("00123")), QStringLiteral("123"));
    EXPECT_EQ(KeyText(QStringLiteral("曲番なし")), QStringLiteral("0"));
    EXPECT_EQ(KeyText(QString()), QStringLiteral("0"));
    EXPECT_EQ(KeyText(QStringLiteral("4711,extra")), QStringLiteral("4711"));
    EXPECT_EQ(KeyText(QStringLiteral("-3")), QStringLiteral("-3"));
    EXPECT_EQ(KeyText(QStringLiteral("1.5")), QStringLiteral("1.5"));
    // A key written in exponent form must not come out in exponent form.
    EXPECT_EQ(KeyText(QStringLiteral("12E3")), QStringLiteral("12000"));
}

TEST(PickupSql, StatementTexts) {
    const QString key = KeyText(QStringLiteral("00123"));
    EXPECT_EQ(CountSql(QStringLiteral("PickupList"), QStringLiteral("曲番"), key),
              QStringLiteral("SELECT COUNT(*) FROM PickupList WHERE 曲番 = 123"));
    EXPECT_EQ(InsertSql(QStringLiteral("PickupList"), QStringLiteral("MeloDeck"),
                        QStringLiteral("曲番"), key),
              QStringLiteral("INSERT INTO PickupList SELECT * FROM MeloDeck WHERE 曲番 = 123"));
    EXPECT_EQ(DeleteSql(QStringLiteral("PickupList"), QStringLiteral("曲番"), key),
              QStringLiteral("DELETE FROM PickupList WHERE 曲番 = 123"));
    EXPECT_EQ(ClearSql(QStringLiteral("PickupList")), QStringLiteral("DELETE FROM PickupList"));
}

TEST(PickupSql, WhichPressesTakeTheCell) {
    // Song list: the fixed column counts, the header row never does.
    EXPECT_TRUE(PressTakesCell(true, 1, 0, 5));
    EXPECT_TRUE(PressTakesCell(true, 4, 3, 5));
    EXPECT_FALSE(PressTakesCell(true, 0, 2, 5));
    EXPECT_FALSE(PressTakesCell(true, -1, -1, 5)); // below the last row, beside the last column
    // Pickup list: neither the header row nor the fixed column.
    EXPECT_FALSE(PressTakesCell(false, 1, 0, 5));
    EXPECT_FALSE(PressTakesCell(false, 0, 0, 5));
    EXPECT_TRUE(PressTakesCell(false, 1, 1, 5));
    // A grid that shows only its header takes nothing.
    EXPECT_FALSE(PressTakesCell(true, 1, 1, 1));
    EXPECT_FALSE(PressTakesCell(false, 1, 1, 1));
    EXPECT_TRUE(PressTakesCell(false, 1, 1, 2));
}
