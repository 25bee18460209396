// Button presses and keys on both grids, their pop-up menus, the clipboard
// and the search-condition item, on a real window and database.
#include "support/pickup_fixture.h"
#include "support/window_fixture.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QTest>
#include <gtest/gtest.h>

using namespace melodeck;
using melodeck::test::PickupFixture;

namespace {

std::vector<test::SongRow> songs() {
    return {
        {QStringLiteral("201"), QStringLiteral("'歌手甲'"), QStringLiteral("'曲甲'"),
         QStringLiteral("'歌い出し甲'"), QStringLiteral("'有'"), QStringLiteral("'作詞甲'")},
        {QStringLiteral("202"), QStringLiteral("'歌手乙'"), QStringLiteral("'曲乙'"),
         QStringLiteral("'歌い出し乙'"), QStringLiteral("NULL"), QStringLiteral("NULL")},
        {QStringLiteral("203"), QStringLiteral("'歌手丙'"), QStringLiteral("'曲丙'"),
         QStringLiteral("'歌い出し丙'"), QStringLiteral("NULL"), QStringLiteral("'作詞丙'")},
    };
}

} // namespace

TEST(GridPresses, OnlyDataCellsTakeThePress) {
    PickupFixture f;
    auto all = songs();
    f.createDatabase({all, {all[1]}});
    frmMeloDeck* w = f.start();
    ASSERT_TRUE(w);
    FlexGrid* list = w->flgList;
    FlexGrid* pick = w->flgPickup;

    // A left press on a data cell makes it current and opens nothing.
    test::pressCell(list, 3, 4, Qt::LeftButton);
    EXPECT_EQ(list->Row(), 3);
    EXPECT_EQ(list->Col(), 4);
    EXPECT_EQ(w->lClickRow, 3);
    EXPECT_EQ(w->lClickCol, 4);
    EXPECT_TRUE(f.popups.empty());

    // Header presses are only recorded, on either grid.
    test::pressCell(list, 0, 2, Qt::RightButton);
    EXPECT_EQ(w->lClickRow, 0);
    EXPECT_EQ(w->lClickCol, 2);
    test::pressCell(pick, 0, 1, Qt::RightButton);
    EXPECT_EQ(w->lClickRow, 0);
    EXPECT_EQ(w->lClickCol, 1);
    EXPECT_TRUE(f.popups.empty());

    // The song list's fixed column is a place to press; the pickup list's is not.
    test::pressCell(list, 2, 0, Qt::RightButton);
    EXPECT_EQ(list->Col(), 0);
    EXPECT_EQ(list->Row(), 2);
    ASSERT_EQ(f.popups.size(), 1u);
    EXPECT_EQ(f.popups[0], w->mnuリストメニュー);
    test::pressCell(pick, 1, 0, Qt::RightButton);
    EXPECT_EQ(w->lClickRow, 1);
    EXPECT_EQ(w->lClickCol, 0);
    EXPECT_EQ(f.popups.size(), 1u);

    // The pickup menu opens over a data cell of the pickup grid, at the
    // pointer: a real right press delivers its position over the grid.
    test::clickCell(pick, 1, 2, Qt::RightButton);
    ASSERT_EQ(f.popups.size(), 2u);
    EXPECT_EQ(f.popups[1], w->mnuピックアップメニュー);
    EXPECT_EQ(pick->Col(), 2);
    EXPECT_EQ(pick->Row(), 1);
    EXPECT_TRUE(pick->rect().contains(pick->mapFromGlobal(f.popupPositions[1])));

    // A double click on a header row adds or removes nothing.
    test::dblClickCell(list, 0, 3);
    test::dblClickCell(pick, 0, 3);
    EXPECT_EQ(f.tableRows(QStringLiteral("PickupList")).size(), 1u);
    EXPECT_EQ(pick->Rows(), 2);

    // A grid showing only its header ignores every press.
    w->cmdピックアップ全解除_Click();
    ASSERT_EQ(pick->Rows(), 1);
    // (a press where the first row would be lands past the last row)
    test::mouse(pick->viewport(), QEvent::MouseButtonPress, {5, 5}, Qt::RightButton);
    EXPECT_EQ(w->lClickRow, -1);
    EXPECT_EQ(w->lClickCol, 1);
    EXPECT_EQ(f.popups.size(), 2u);
    EXPECT_TRUE(f.warnings.isEmpty());
}

// The right button alone never moves the current cell: only the press
// handler does, and only for a cell it takes.
TEST(GridPresses, RightPressOutsideTheDataLeavesTheCurrentCell) {
    PickupFixture f;
    auto all = songs();
    f.createDatabase({all, {all[0], all[1]}});
    frmMeloDeck* w = f.start();
    ASSERT_TRUE(w);
    FlexGrid* list = w->flgList;
    FlexGrid* pick = w->flgPickup;

    test::pressCell(list, 3, 4, Qt::LeftButton);
    test::pressCell(list, 0, 2, Qt::RightButton);
    EXPECT_EQ(list->Row(), 3);
    EXPECT_EQ(list->Col(), 4);

    test::pressCell(pick, 2, 3, Qt::LeftButton);
    test::pressCell(pick, 1, 0, Qt::RightButton);
    EXPECT_EQ(pick->Row(), 2);
    EXPECT_EQ(pick->Col(), 3);
    test::pressCell(pick, 0, 1, Qt::RightButton);
    EXPECT_EQ(pick->Row(), 2);
    EXPECT_EQ(pick->Col(), 3);
    EXPECT_TRUE(f.popups.empty());
}

TEST(GridMenus, CopyPutsTheCellTextOnTheClipboard) {
    PickupFixture f;
    auto all = songs();
    f.createDatabase({all, {all[0]}});
    frmMeloDeck* w = f.start();
    ASSERT_TRUE(w);
    const int row乙 = PickupFixture::gridRow(w->flgList, 1, QStringLiteral("202"));

    test::pressCell(w->flgList, row乙, 3, Qt::RightButton);
    w->mnuリストコピー_Click();
    EXPECT_EQ(f.clipboard, QStringList{QStringLiteral("曲乙")});

    // The fixed column copies its own text, which is empty: the press took
    // that column, not the title pressed before.
    test::pressCell(w->flgList, row乙, 0, Qt::RightButton);
    w->mnuリストコピー_Click();
    EXPECT_EQ(f.clipboard, (QStringList{QStringLiteral("曲乙"), QString()}));

    test::pressCell(w->flgPickup, 1, 6, Qt::RightButton);
    w->mnuコピー_Click();
    EXPECT_EQ(f.clipboard.back(), QStringLiteral("作詞甲"));

    // An empty cell still replaces what the clipboard held.
    test::pressCell(w->flgList, row乙, 5, Qt::RightButton);
    w->mnuリストコピー->trigger();
    EXPECT_EQ(f.clipboard, (QStringList{QStringLiteral("曲乙"), QString(), QStringLiteral("作詞甲"),
                                        QString()}));

    // A clipboard that cannot be written is not worth a message.
    f.clipboardFails = true;
    test::pressCell(w->flgPickup, 1, 6, Qt::RightButton);
    w->mnuコピー->trigger();
    EXPECT_TRUE(f.warnings.isEmpty());
    EXPECT_FALSE(w->ended());
}

TEST(GridMenus, AddToSearchConditionsFillsTheMatchingField) {
    PickupFixture f;
    f.createDatabase({songs()});
    frmMeloDeck* w = f.start();
    ASSERT_TRUE(w);
    const int row甲 = PickupFixture::gridRow(w->flgList, 1, QStringLiteral("201"));
    const int row乙 = PickupFixture::gridRow(w->flgList, 1, QStringLiteral("202"));
    w->txt歌手名->setText(QStringLiteral("前の歌手"));
    w->txt曲名->setText(QStringLiteral("前の曲"));
    w->txt歌い出し->setText(QStringLiteral("前の歌い出し"));
    frmMeloDeck::setChkValue(w->chk歌手名に, 0);
    frmMeloDeck::setChkValue(w->chk曲名に, 1);
    frmMeloDeck::setChkValue(w->chk歌い出しに, 2);
    w->optハモリ[2]->setChecked(true);
    const QString listSource = w->datList.RecordSource;
    const bool selected = w->bSelected;

    auto addFrom = [&](int row, int col) {
        test::pressCell(w->flgList, row, col, Qt::RightButton);
        w->mnu検索条件に追加_Click();
    };
    auto fields = [&] {
        return QStringList{w->txt歌手名->text(),
                           w->txt曲名->text(),
                           w->txt歌い出し->text(),
                           QString::number(w->optハモリ[0]->isChecked()),
                           QString::number(w->optハモリ[1]->isChecked()),
                           QString::number(w->optハモリ[2]->isChecked())};
    };

    // Columns without a condition change nothing.
    const QStringList before = fields();
    for (int col : {0, 1, 6}) {
        addFrom(row甲, col);
        EXPECT_EQ(fields(), before) << "column " << col;
    }

    addFrom(row甲, 2);
    EXPECT_EQ(w->txt歌手名->text(), QStringLiteral("歌手甲")); // replaced, though unticked
    addFrom(row乙, 3);
    EXPECT_EQ(w->txt曲名->text(), QStringLiteral("曲乙"));
    test::pressCell(w->flgList, row甲, 4, Qt::RightButton);
    w->mnu検索条件に追加->trigger();
    EXPECT_EQ(w->txt歌い出し->text(), QStringLiteral("歌い出し甲"));

    addFrom(row甲, 5);
    EXPECT_TRUE(w->optハモリ[0]->isChecked());
    addFrom(row乙, 5);
    EXPECT_TRUE(w->optハモリ[1]->isChecked());
    EXPECT_FALSE(w->optハモリ[0]->isChecked());

    // The check boxes stay as they were and no search runs.
    EXPECT_EQ(frmMeloDeck::chkValue(w->chk歌手名に), 0);
    EXPECT_EQ(frmMeloDeck::chkValue(w->chk曲名に), 1);
    EXPECT_EQ(frmMeloDeck::chkValue(w->chk歌い出しに), 2);
    EXPECT_EQ(w->datList.RecordSource, listSource);
    EXPECT_EQ(w->bSelected, selected);
}

TEST(GridKeys, EnterDeleteCopyAndTheMenuKeyActOnTheCurrentCell) {
    PickupFixture f;
    auto all = songs();
    f.createDatabase({all, {all[0]}});
    frmMeloDeck* w = f.start();
    ASSERT_TRUE(w);
    FlexGrid* list = w->flgList;
    FlexGrid* pick = w->flgPickup;
    const auto picked = [&] {
        QStringList keys;
        for (const QStringList& r :
             f.tableRows(QStringLiteral("PickupList"), QStringLiteral("ORDER BY 曲番号")))
            keys << r[0];
        return keys.join(QLatin1Char(','));
    };
    const int row乙 = PickupFixture::gridRow(list, 1, QStringLiteral("202"));
    const int row丙 = PickupFixture::gridRow(list, 1, QStringLiteral("203"));

    // Enter on a song of the list picks it up, once; Delete there does nothing.
    test::clickCell(list, row乙, 3);
    test::key(list, Qt::Key_Return);
    test::key(list, Qt::Key_Enter, Qt::KeypadModifier);
    test::key(list, Qt::Key_Delete);
    EXPECT_EQ(picked(), QStringLiteral("201,202"));
    EXPECT_EQ(pick->Rows(), 3);

    // Delete on a song of the pickup list removes it; Enter there does nothing.
    test::clickCell(pick, PickupFixture::gridRow(pick, 1, QStringLiteral("201")), 2);
    test::key(pick, Qt::Key_Return);
    test::key(pick, Qt::Key_Delete);
    EXPECT_EQ(picked(), QStringLiteral("202"));

    // The menu key opens the list's menu for the current cell, at that cell;
    // its items act on that cell.
    test::clickCell(list, row丙, 2);
    test::key(list, Qt::Key_Menu);
    ASSERT_EQ(f.popups.size(), 1u);
    EXPECT_EQ(f.popups[0], w->mnuリストメニュー);
    EXPECT_TRUE(list->viewport()->geometry().contains(list->mapFromGlobal(f.popupPositions[0])));
    EXPECT_EQ(w->lClickRow, row丙);
    EXPECT_EQ(w->lClickCol, 2);
    w->mnuリストコピー->trigger();
    EXPECT_EQ(f.clipboard.back(), QStringLiteral("歌手丙"));
    w->mnuピックアップ->trigger();
    EXPECT_EQ(picked(), QStringLiteral("202,203"));

    // Shift+F10 does the same on the pickup list, moved to by the keyboard.
    test::clickCell(pick, 1, 3);
    test::key(pick, Qt::Key_Down);
    test::key(pick, Qt::Key_F10, Qt::ShiftModifier);
    ASSERT_EQ(f.popups.size(), 2u);
    EXPECT_EQ(f.popups[1], w->mnuピックアップメニュー);
    EXPECT_EQ(w->lClickRow, 2);
    EXPECT_EQ(w->lClickCol, 3);
    const QString title = pick->TextMatrix(2, 3);
    w->mnuコピー->trigger();
    EXPECT_EQ(f.clipboard.back(), title);
    w->mnuピックアップ解除->trigger();
    EXPECT_EQ(pick->Rows(), 2);
    EXPECT_NE(pick->TextMatrix(1, 3), title);

    // A window system that turns the menu key into a context-menu request
    // as well opens the menu once; the request alone opens it too.
    test::key(list, Qt::Key_Menu);
    QContextMenuEvent request(QContextMenuEvent::Keyboard, QPoint(1, 1),
                              list->mapToGlobal(QPoint(1, 1)));
    QApplication::sendEvent(list, &request);
    EXPECT_EQ(f.popups.size(), 3u);
    test::key(list, Qt::Key_Up);
    QApplication::sendEvent(list, &request);
    EXPECT_EQ(f.popups.size(), 4u);
    EXPECT_EQ(w->lClickRow, row丙 - 1);

    // A grid without songs opens no menu.
    w->cmdピックアップ全解除->click();
    test::key(pick, Qt::Key_Menu);
    test::key(pick, Qt::Key_Delete);
    EXPECT_EQ(f.popups.size(), 4u);

    // Ctrl+C copies the selection as tab-separated lines: one cell, a
    // column by its header, every cell by the corner.
    test::clickCell(list, row乙, 3);
    test::key(list, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(f.clipboard.back(), QStringLiteral("曲乙"));
    test::clickCell(list, 0, 2);
    test::key(list, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(f.clipboard.back(), PickupFixture::gridColumn(list, 2).join(QLatin1Char('\n')));
    test::clickCell(list, 0, 0);
    test::key(list, Qt::Key_C, Qt::ControlModifier);
    const QStringList lines = f.clipboard.back().split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 3);
    QStringList cells;
    for (int c = 1; c < list->Cols(); ++c)
        cells << list->TextMatrix(row乙, c);
    EXPECT_EQ(lines[row乙 - 1], cells.join(QLatin1Char('\t')));

    // Ctrl+A selects every cell of the grid, so Ctrl+A, Ctrl+C copies the
    // whole list, a line for each song; on a grid without songs, nothing.
    test::clickCell(list, row乙, 3);
    QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(list->Row(), 1);
    EXPECT_EQ(list->RowSel(), list->Rows() - 1);
    EXPECT_EQ(list->Col(), 1);
    EXPECT_EQ(list->ColSel(), list->Cols() - 1);
    QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
    QStringList whole;
    for (int r = 1; r < list->Rows(); ++r) {
        QStringList row;
        for (int c = 1; c < list->Cols(); ++c)
            row << list->TextMatrix(r, c);
        whole << row.join(QLatin1Char('\t'));
    }
    EXPECT_EQ(f.clipboard.back(), whole.join(QLatin1Char('\n')));
    ASSERT_EQ(pick->Rows(), 1);
    QTest::keyClick(pick, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(pick, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(f.clipboard.back(), QString());
    EXPECT_TRUE(f.warnings.isEmpty()) << f.warnings.join(QLatin1Char('|')).toStdString();
}
