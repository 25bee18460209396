// The pickup list on a real window and database: adding, removing, clearing,
// what survives, and what a refused statement leaves behind.
#include "support/pickup_fixture.h"
#include "support/window_fixture.h"

#include <QFile>
#include <gtest/gtest.h>
#include <sqlite3.h>

using namespace melodeck;
using melodeck::test::PickupFixture;

namespace {

const QString kKey = QStringLiteral("曲番号");

std::vector<test::SongRow> songs() {
    return {
        {QStringLiteral("101"), QStringLiteral("'歌手A'"), QStringLiteral("'曲A'"),
         QStringLiteral("'あ'"), QStringLiteral("'○'"), QStringLiteral("'作詞A'")},
        {QStringLiteral("102"), QStringLiteral("'歌手B'"), QStringLiteral("'曲B'"),
         QStringLiteral("'い'"), QStringLiteral("NULL"), QStringLiteral("NULL")},
        {QStringLiteral("103"), QStringLiteral("'歌手C'"), QStringLiteral("'曲C1'"),
         QStringLiteral("'う'"), QStringLiteral("NULL"), QStringLiteral("'版1'")},
        {QStringLiteral("103"), QStringLiteral("'歌手C'"), QStringLiteral("'曲C2'"),
         QStringLiteral("'う'"), QStringLiteral("NULL"), QStringLiteral("'版2'")},
        {QStringLiteral("104"), QStringLiteral("'歌手D'"), QStringLiteral("'曲D'"),
         QStringLiteral("'え'"), QStringLiteral("'○'"), QStringLiteral("NULL")},
    };
}

// Keys of the pickup table, in key order.
QStringList pickedKeys(const PickupFixture& f) {
    QStringList keys;
    for (const QStringList& row :
         f.tableRows(QStringLiteral("PickupList"), QStringLiteral("ORDER BY 曲番号, 曲名")))
        keys << row.value(0);
    return keys;
}

int listRow(frmMeloDeck* w, const QString& title) {
    return PickupFixture::gridRow(w->flgList, 3, title);
}

} // namespace

TEST(PickupList, DoubleClickAndMenuPickUpEachSongOnce) {
    PickupFixture f;
    f.createDatabase({songs()});
    frmMeloDeck* w = f.start();
    ASSERT_TRUE(w);
    const QString listSource = w->datList.RecordSource;
    const int listRows = w->flgList->Rows();
    std::vector<QString> log;
    w->datPickup.Database().setStatementLog(&log);

    // Double click on any cell of the row acts on the grid's current row.
    test::dblClickCell(w->flgList, listRow(w, QStringLiteral("曲B")), 4);
    EXPECT_EQ(pickedKeys(f), QStringList{QStringLiteral("102")});
    EXPECT_EQ(PickupFixture::gridColumn(w->flgPickup, 3), QStringList{QStringLiteral("曲B")});
    // Nothing else reaches the engine but the pickup grid's own requery.
    EXPECT_EQ(
        log, (std::vector<QString>{
                 QStringLiteral("SELECT COUNT(*) FROM PickupList WHERE 曲番号 = 102"),
                 QStringLiteral("INSERT INTO PickupList SELECT * FROM MeloDeck WHERE 曲番号 = 102"),
                 QStringLiteral("SELECT * FROM PickupList ORDER BY 曲番号"),
             }));

    // The same song again: counted, not inserted.
    log.clear();
    test::dblClickCell(w->flgList, listRow(w, QStringLiteral("曲B")), 1);
    EXPECT_EQ(pickedKeys(f), QStringList{QStringLiteral("102")});
    EXPECT_EQ(log, std::vector<QString>{
                       QStringLiteral("SELECT COUNT(*) FROM PickupList WHERE 曲番号 = 102")});

    // Through the list's menu, pressed on the fixed column.
    const int rowA = listRow(w, QStringLiteral("曲A"));
    test::pressCell(w->flgList, rowA, 0, Qt::RightButton);
    ASSERT_EQ(f.popups.size(), 1u);
    EXPECT_EQ(f.popups[0], w->mnuリストメニュー);
    w->mnuピックアップ_Click();
    EXPECT_EQ(pickedKeys(f), (QStringList{QStringLiteral("101"), QStringLiteral("102")}));
    test::pressCell(w->flgList, rowA, 2, Qt::RightButton);
    w->mnuピックアップ->trigger(); // the item reaches its handler
    EXPECT_EQ(pickedKeys(f), (QStringList{QStringLiteral("101"), QStringLiteral("102")}));
    EXPECT_EQ(w->flgPickup->Rows(), 3);

    // The song list was neither requeried nor changed.
    EXPECT_EQ(w->datList.RecordSource, listSource);
    EXPECT_EQ(w->flgList->Rows(), listRows);
    EXPECT_EQ(f.tableRows(QStringLiteral("MeloDeck")).size(), songs().size());
    EXPECT_TRUE(f.warnings.isEmpty());
}

TEST(PickupList, RowsSharingAKeyAreCopiedAndRemovedTogether) {
    PickupFixture f;
    f.createDatabase({songs()});
    frmMeloDeck* w = f.start();
    ASSERT_TRUE(w);

    test::dblClickCell(w->flgList, listRow(w, QStringLiteral("曲D")), 2);
    test::dblClickCell(w->flgList, listRow(w, QStringLiteral("曲C2")), 2);
    EXPECT_EQ(pickedKeys(f),
              (QStringList{QStringLiteral("103"), QStringLiteral("103"), QStringLiteral("104")}));
    QStringList titles = PickupFixture::gridColumn(w->flgPickup, 3);
    titles.sort();
    EXPECT_EQ(titles,
              (QStringList{QStringLiteral("曲C1"), QStringLiteral("曲C2"), QStringLiteral("曲D")}));

    // Removing either copy removes both; by double click ...
    test::dblClickCell(w->flgPickup,
                       PickupFixture::gridRow(w->flgPickup, 3, QStringLiteral("曲C1")), 5);
    EXPECT_EQ(pickedKeys(f), QStringList{QStringLiteral("104")});
    EXPECT_EQ(PickupFixture::gridColumn(w->flgPickup, 3), QStringList{QStringLiteral("曲D")});

    // ... and through the pickup menu.
    test::pressCell(w->flgPickup, 1, 2, Qt::RightButton);
    ASSERT_EQ(f.popups.size(), 1u);
    EXPECT_EQ(f.popups[0], w->mnuピックアップメニュー);
    w->mnuピックアップ解除_Click();
    EXPECT_TRUE(pickedKeys(f).isEmpty());
    EXPECT_EQ(w->flgPickup->Rows(), 1);

    // A double click on the now empty grid removes nothing and does not fail.
    test::dblClickCell(w->flgPickup, 1, 1);
    w->RemovePickup(1);
    EXPECT_TRUE(f.warnings.isEmpty());
}

TEST(PickupList, KeyIsTheLeadingNumberOfTheKeyCell) {
    PickupFixture f;
    // A text key column, so that the cells keep their leading zeros and words.
    f.createDatabase(
        {{{QStringLiteral("'00123'"), QStringLiteral("'歌手'"), QStringLiteral("'零'")},
          {QStringLiteral("'番号なし'"), QStringLiteral("'歌手'"), QStringLiteral("'語'")}},
         {},
         QStringLiteral("曲番号 TEXT(10), 歌手名 VARCHAR(100), 曲名 VARCHAR(100), "
                        "歌い出し VARCHAR(100), ハモリ VARCHAR(10), 作詞者 VARCHAR(100), "
                        "作曲者 VARCHAR(100), 演奏時間 INTEGER")});
    frmMeloDeck* w = f.start();
    ASSERT_TRUE(w);
    std::vector<QString> log;
    w->datPickup.Database().setStatementLog(&log);

    const int zeroRow = listRow(w, QStringLiteral("零"));
    ASSERT_EQ(w->flgList->TextMatrix(zeroRow, 1), QStringLiteral("00123"));
    test::dblClickCell(w->flgList, zeroRow, 3);
    ASSERT_GE(log.size(), 1u);
    EXPECT_EQ(log[0], QStringLiteral("SELECT COUNT(*) FROM PickupList WHERE 曲番号 = 123"));

    log.clear();
    test::dblClickCell(w->flgList, listRow(w, QStringLiteral("語")), 3);
    ASSERT_GE(log.size(), 1u);
    EXPECT_EQ(log[0], QStringLiteral("SELECT COUNT(*) FROM PickupList WHERE 曲番号 = 0"));
    EXPECT_TRUE(f.warnings.isEmpty());
}

TEST(PickupList, ClearingEmptiesTheListAndLeavesTheSongsAlone) {
    PickupFixture f;
    auto all = songs();
    f.createDatabase({all, {all[0], all[2], all[4]}});
    frmMeloDeck* w = f.start();
    ASSERT_TRUE(w);
    ASSERT_EQ(w->flgPickup->Rows(), 4);
    const QString listSource = w->datList.RecordSource;

    w->cmdピックアップ全解除->click();
    EXPECT_TRUE(pickedKeys(f).isEmpty());
    EXPECT_EQ(w->flgPickup->Rows(), 1);
    EXPECT_EQ(w->flgList->Rows(), int(all.size()) + 1);
    EXPECT_EQ(w->datList.RecordSource, listSource);
    EXPECT_TRUE(f.warnings.isEmpty());
}

TEST(PickupList, PickupSortStaysAndTheListSurvivesARestart) {
    PickupFixture f;
    f.createDatabase({songs()});
    frmMeloDeck* w = f.start();
    ASSERT_TRUE(w);
    const QString descending = QStringLiteral("SELECT * FROM PickupList ORDER BY 曲番号 DESC ");
    w->datPickup.RecordSource = descending;
    w->datPickup.Refresh();
    w->flgPickup->Refresh();

    for (const QString& title :
         {QStringLiteral("曲A"), QStringLiteral("曲D"), QStringLiteral("曲B")})
        test::dblClickCell(w->flgList, listRow(w, title), 1);
    EXPECT_EQ(PickupFixture::gridColumn(w->flgPickup, 1),
              (QStringList{QStringLiteral("104"), QStringLiteral("102"), QStringLiteral("101")}));
    test::dblClickCell(w->flgPickup, 2, 1);
    EXPECT_EQ(PickupFixture::gridColumn(w->flgPickup, 1),
              (QStringList{QStringLiteral("104"), QStringLiteral("101")}));
    EXPECT_EQ(w->datPickup.RecordSource, descending);

    // The pickup list is the table: a new window on the same folder shows it.
    f.stop();
    w = f.start();
    ASSERT_TRUE(w);
    QStringList keys = PickupFixture::gridColumn(w->flgPickup, 1);
    keys.sort();
    EXPECT_EQ(keys, (QStringList{QStringLiteral("101"), QStringLiteral("104")}));
    EXPECT_EQ(pickedKeys(f), keys);
}

TEST(PickupList, LockedFileWarnsAndALaterTryWorks) {
    PickupFixture f;
    f.createDatabase({songs()});
    frmMeloDeck* w = f.start();
    ASSERT_TRUE(w);

    // Another program in the middle of writing to the file.
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(f.databasePath().toUtf8().constData(), &other), SQLITE_OK);
    ASSERT_EQ(
        sqlite3_exec(other, "BEGIN IMMEDIATE; DELETE FROM MeloDeck", nullptr, nullptr, nullptr),
        SQLITE_OK);
    test::dblClickCell(w->flgList, listRow(w, QStringLiteral("曲A")), 2);
    ASSERT_EQ(f.warnings.size(), 1);
    EXPECT_TRUE(f.warnings[0].contains(QStringLiteral("使用中"))) << f.warnings[0].toStdString();
    EXPECT_EQ(w->flgPickup->Rows(), 1);
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_TRUE(pickedKeys(f).isEmpty());

    test::dblClickCell(w->flgList, listRow(w, QStringLiteral("曲A")), 2);
    EXPECT_EQ(pickedKeys(f), QStringList{QStringLiteral("101")});
    EXPECT_EQ(w->flgPickup->Rows(), 2);
    EXPECT_EQ(f.warnings.size(), 1);
}
