#include "pickup/PickupSql.h"

#include <gtest/gtest.h>

using namespace melodeck::pickup;
using namespace Qt::Literals::StringLiterals;

TEST(PickupSql, KeyTextIsTheLeadingNumberInPlainDecimal) {
    // A key written in exponent form must not come out in exponent form.
    const std::pair<QString, QString> keys[] = {
        {u"00123"_s, u"123"_s},       {u"曲番なし"_s, u"0"_s}, {QString(), u"0"_s},
        {u"4711,extra"_s, u"4711"_s}, {u"-3"_s, u"-3"_s},      {u"1.5"_s, u"1.5"_s},
        {u"12E3"_s, u"12000"_s}};
    for (const auto& [cell, key] : keys)
        EXPECT_EQ(KeyText(cell), key) << cell.toStdString();
}

TEST(PickupSql, StatementTexts) {
    const QString key = KeyText(u"00123"_s);
    EXPECT_EQ(CountSql(u"PickupList"_s, u"曲番号"_s, key),
              u"SELECT COUNT(*) FROM PickupList WHERE 曲番号 = 123"_s);
    EXPECT_EQ(InsertSql(u"PickupList"_s, u"MeloDeck"_s, u"曲番号"_s, key),
              u"INSERT INTO PickupList SELECT * FROM MeloDeck WHERE 曲番号 = 123"_s);
    EXPECT_EQ(DeleteSql(u"PickupList"_s, u"曲番号"_s, key),
              u"DELETE FROM PickupList WHERE 曲番号 = 123"_s);
    EXPECT_EQ(ClearSql(u"PickupList"_s), u"DELETE FROM PickupList"_s);
}

TEST(PickupSql, WhichPressesTakeTheCell) {
    // The song list takes its fixed column, the pickup list not; neither takes the
    // header row, a press beside the cells (-1, -1), a press on a row right of
    // the last column (r, -1) or a grid of only a header.
    const struct {
        bool songList;
        std::int32_t row, col, rows;
        bool takes;
    } presses[] = {{true, 1, 0, 5, true},    {true, 4, 3, 5, true},   {true, 0, 2, 5, false},
                   {true, -1, -1, 5, false}, {false, 1, 0, 5, false}, {false, 0, 0, 5, false},
                   {false, 1, 1, 5, true},   {true, 1, 1, 1, false},  {false, 1, 1, 1, false},
                   {false, 1, 1, 2, true},   {true, 2, -1, 5, false}, {false, 2, -1, 5, false}};
    for (const auto& p : presses)
        EXPECT_EQ(PressTakesCell(p.songList, p.row, p.col, p.rows), p.takes)
            << (p.songList ? "song list " : "pickup list ") << p.row << ',' << p.col << " of "
            << p.rows;
}
