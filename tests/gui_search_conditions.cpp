// The search, show-all and clear buttons of the real window on a real song
// table: the record source each leaves behind and the songs it really finds.
#include "support/search_songs.h"
#include "support/store_TestDb.h"
#include "support/window_fixture.h"

#include "common/clsMousePointer.h"
#include "store/JetLike.h"

#include <QApplication>
#include <QTest>
#include <gtest/gtest.h>

using namespace melodeck;
using melodeck::test::shownNumbers;
using melodeck::test::WindowFixture;

namespace {

struct Cond {
    int check;
    const char* text; // UTF-8
};

// Fills the condition controls as the user would and presses the button.
void searchFor(frmMeloDeck* w, Cond singer, Cond title, Cond lyric, int harmony) {
    frmMeloDeck::setChkValue(w->chk歌手名に, singer.check);
    w->txt歌手名->setText(QString::fromUtf8(singer.text));
    frmMeloDeck::setChkValue(w->chk曲名に, title.check);
    w->txt曲名->setText(QString::fromUtf8(title.text));
    frmMeloDeck::setChkValue(w->chk歌い出しに, lyric.check);
    w->txt歌い出し->setText(QString::fromUtf8(lyric.text));
    w->optハモリ[harmony]->setChecked(true);
    w->cmd抽出->click();
}

class SearchWindow : public ::testing::Test {
protected:
    void SetUp() override {
        test::createSearchSongs(f.folder());
        w = f.start();
        ASSERT_TRUE(w) << f.warnings.join(QLatin1Char('\n')).toStdString();
    }
    WindowFixture f;
    frmMeloDeck* w = nullptr;
};

} // namespace

TEST_F(SearchWindow, RecordSourceAfterEachAction) {
    // Sorted descending by the title through two header clicks, then a search.
    test::clickCell(w->flgList, 0, 3);
    test::clickCell(w->flgList, 0, 3);
    searchFor(w, {1, ""}, {1, "ab'c"}, {0, "ignored"}, 0);
    EXPECT_EQ(w->datList.RecordSource,
              QStringLiteral("SELECT * FROM MeloDeck WHERE 1=1 AND 曲名 LIKE '*ab''c*' AND ハモリ "
                             "IS NOT NULL ORDER BY 曲名 DESC "));
    EXPECT_TRUE(w->bSelected);
    EXPECT_EQ(w->flgList->Rows(), 1); // no such title: the header alone

    // Nothing takes part: every song, and the search still counts as active.
    searchFor(w, {1, ""}, {2, "grey"}, {1, ""}, 2);
    EXPECT_EQ(w->datList.RecordSource,
              QStringLiteral("SELECT * FROM MeloDeck WHERE 1=1 ORDER BY 曲名 DESC "));
    EXPECT_EQ(w->flgList->Rows(), 10);
    EXPECT_TRUE(w->bSelected);

    // All three rows and "no harmony", clauses in row order.
    searchFor(w, {1, "a"}, {1, " "}, {1, "'"}, 1);
    EXPECT_EQ(
        w->datList.RecordSource,
        QStringLiteral("SELECT * FROM MeloDeck WHERE 1=1 AND 歌手名 LIKE '*a*' AND 曲名 LIKE "
                       "'* *' AND 歌い出し LIKE '*''*' AND ハモリ IS NULL ORDER BY 曲名 DESC "));

    // Show all: first field ascending, the sort column stored as 0, the
    // conditions left in their fields.
    w->cmd抽出解除->click();
    EXPECT_EQ(w->datList.RecordSource, QStringLiteral("SELECT * FROM MeloDeck ORDER BY 曲番号"));
    EXPECT_EQ(w->lListOrderCol, 0);
    EXPECT_FALSE(w->bListOrderDesc);
    EXPECT_FALSE(w->bSelected);
    EXPECT_EQ(shownNumbers(w->flgList), QStringLiteral("1,2,3,4,5,6,7,8,9"));
    EXPECT_EQ(w->txt歌い出し->text(), QStringLiteral("'"));
    EXPECT_TRUE(w->optハモリ[1]->isChecked());

    // Clear: the controls reset, the list and its query stay until the next search.
    searchFor(w, {0, "x"}, {1, "勇気"}, {2, "y"}, 0);
    const QString shown = w->datList.RecordSource;
    w->cmd条件クリア->click();
    for (QCheckBox* c : {w->chk歌手名に, w->chk曲名に, w->chk歌い出しに})
        EXPECT_EQ(frmMeloDeck::chkValue(c), 1);
    for (QLineEdit* t : {w->txt歌手名, w->txt曲名, w->txt歌い出し})
        EXPECT_TRUE(t->text().isEmpty());
    EXPECT_TRUE(w->optハモリ[2]->isChecked());
    EXPECT_EQ(w->datList.RecordSource, shown);
    EXPECT_TRUE(w->bSelected);
    EXPECT_EQ(shownNumbers(w->flgList), QString()); // 勇気 has no harmony part

    // Enter in any condition field searches, as the button does; not in the
    // list source, and not while an import holds the buttons.
    w->txt曲名->setText(QStringLiteral("o"));
    w->cmd抽出解除->click();
    w->cmd抽出->click();
    const QString byButton = w->datList.RecordSource;
    for (QLineEdit* t : {w->txt歌手名, w->txt曲名, w->txt歌い出し}) {
        w->cmd抽出解除->click();
        test::key(t, Qt::Key_Return);
        EXPECT_TRUE(w->bSelected) << t->objectName().toStdString();
        EXPECT_EQ(w->datList.RecordSource, byButton);
    }
    w->cmd抽出解除->click();
    test::key(w->txtパス, Qt::Key_Return);
    w->LockControls(true);
    test::key(w->txt曲名, Qt::Key_Enter, Qt::KeypadModifier);
    w->LockControls(false);
    EXPECT_FALSE(w->bSelected);
}

TEST_F(SearchWindow, FindsSongsByTheEnginesPatternRules) {
    struct Case {
        Cond singer, title, lyric;
        int harmony;
        const char* numbers;
    };
    const Case cases[] = {
        {{1, ""}, {1, "'"}, {1, ""}, 2, "2"},                // a quote in the title
        {{1, "サザン"}, {1, ""}, {1, ""}, 2, "1,2"},         // half-width ｻｻﾞﾝ too
        {{1, "BEGIN"}, {1, ""}, {1, ""}, 2, "3,4"},          // full-width and lower case
        {{1, "ミカン"}, {1, ""}, {1, ""}, 2, "5"},           // hiragana, not kanji or latin
        {{1, ""}, {1, "みかん"}, {1, ""}, 2, "5"},           // half-width katakana title
        {{1, "ヒ"}, {1, ""}, {1, ""}, 2, ""},                // voicing counts: not ビ or ピ
        {{1, ""}, {1, "[*]"}, {1, ""}, 2, "5"},              // a literal star
        {{1, ""}, {1, "#"}, {1, ""}, 2, "4"},                // any digit
        {{1, ""}, {1, "%"}, {1, ""}, 2, "4"},                // % is an ordinary character
        {{1, ""}, {1, ""}, {1, "_"}, 2, "4"},                // and so is _
        {{1, ""}, {1, ""}, {1, "[[]a"}, 2, "5"},             // a literal bracket
        {{1, ""}, {1, ""}, {1, "~"}, 2, "6,7"},              // 〜, ～ and ~ are one
        {{1, ""}, {1, ""}, {1, "ROCK"}, 2, "8"},             // full-width lower case
        {{1, ""}, {1, "r?ll"}, {1, ""}, 2, "2"},             // one character
        {{1, ""}, {1, "order by"}, {1, ""}, 2, "8"},         // words of the order clause
        {{1, ""}, {1, ""}, {1, ""}, 0, "2,3,6,8"},           // has a harmony part
        {{1, ""}, {1, ""}, {1, ""}, 1, "1,4,5,7,9"},         // has none
        {{1, "b"}, {1, ""}, {1, ""}, 0, "3"},                // combined with the harmony
        {{0, "サザン"}, {2, "エリー"}, {1, "ah"}, 2, "2"},   // only the ticked row counts
        {{1, "サザン"}, {1, "エリー"}, {1, "泣か"}, 1, "1"}, // all rows at once
        {{1, "ｻｻﾞﾝｵｰﾙｽﾀｰｽﾞ"}, {1, ""}, {1, ""}, 2, "1"},     // half-width long vowel mark
    };
    for (const Case& c : cases) {
        searchFor(w, c.singer, c.title, c.lyric, c.harmony);
        EXPECT_EQ(shownNumbers(w->flgList), QString::fromUtf8(c.numbers))
            << c.singer.text << " | " << c.title.text << " | " << c.lyric.text << " | " << c.harmony
            << "\n"
            << w->datList.RecordSource.toStdString();
    }
    EXPECT_TRUE(f.warnings.isEmpty()) << f.warnings.join(QLatin1Char('\n')).toStdString();
}

TEST_F(SearchWindow, RejectedPatternWarnsAndKeepsTheList) {
    searchFor(w, {1, "サザン"}, {1, ""}, {1, ""}, 2);
    const QString before = w->datList.RecordSource;
    ASSERT_EQ(shownNumbers(w->flgList), QStringLiteral("1,2"));

    searchFor(w, {1, ""}, {1, ""}, {1, "[abc"}, 2);
    ASSERT_EQ(f.warnings.size(), 1);
    EXPECT_TRUE(f.warnings[0].contains(jetlike::malformedDescription()))
        << f.warnings[0].toStdString();
    EXPECT_EQ(w->datList.RecordSource, before);
    EXPECT_EQ(shownNumbers(w->flgList), QStringLiteral("1,2"));
    EXPECT_TRUE(w->bSelected);
    EXPECT_EQ(MousePointer::get(), MousePointer::Default);

    // Not active before: still not active, and the window goes on working.
    w->cmd抽出解除->click();
    searchFor(w, {1, ""}, {1, "[z-a]"}, {1, ""}, 2);
    EXPECT_EQ(f.warnings.size(), 2);
    EXPECT_FALSE(w->bSelected);
    EXPECT_EQ(w->datList.RecordSource, QStringLiteral("SELECT * FROM MeloDeck ORDER BY 曲番号"));
    EXPECT_EQ(w->flgList->Rows(), 10);
    searchFor(w, {1, ""}, {1, "花"}, {1, ""}, 2);
    EXPECT_EQ(shownNumbers(w->flgList), QStringLiteral("9"));
    EXPECT_TRUE(w->bSelected);
}

// The harmony options take the keyboard as one group: Tab and Shift+Tab
// enter it at the selected option, the arrow keys move round it and select.
TEST_F(SearchWindow, HarmonyOptionsTakeTheKeyboardAsOneGroup) {
    w->activateWindow();
    ASSERT_TRUE(test::waitFor([this] { return w->isActiveWindow(); }));
    const auto press = [](Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) {
        QTest::keyClick(QApplication::focusWidget(), k, m);
    };
    const auto focused = [] {
        const QWidget* f = QApplication::focusWidget();
        return f ? f->objectName() : QString();
    };
    const auto option = [](int i) { return QStringLiteral("optハモリ(%1)").arg(i); };

    w->optハモリ[1]->setChecked(true); // as the settings or a menu item leave it
    w->txt歌い出し->setFocus(Qt::OtherFocusReason);
    press(Qt::Key_Tab);
    EXPECT_EQ(focused(), option(1));
    press(Qt::Key_Tab);
    EXPECT_EQ(focused(), QStringLiteral("cmd抽出"));
    press(Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_EQ(focused(), option(1));

    const struct {
        Qt::Key key;
        int lands;
    } steps[] = {{Qt::Key_Down, 2}, {Qt::Key_Down, 0}, {Qt::Key_Right, 1}, {Qt::Key_Up, 0},
                 {Qt::Key_Left, 2}, {Qt::Key_Up, 1},   {Qt::Key_Up, 0}};
    for (const auto& step : steps) {
        press(step.key);
        EXPECT_EQ(focused(), option(step.lands));
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(w->optハモリ[i]->isChecked(), i == step.lands) << step.lands;
    }
    // Leaving and coming back from either side finds the option now selected.
    press(Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_EQ(focused(), QStringLiteral("txt歌い出し"));
    press(Qt::Key_Tab);
    EXPECT_EQ(focused(), option(0));
    press(Qt::Key_Tab);
    press(Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_EQ(focused(), option(0));
    w->cmd抽出->click();
    EXPECT_TRUE(w->datList.RecordSource.contains(QStringLiteral("ハモリ IS NOT NULL")))
        << w->datList.RecordSource.toStdString();
}

TEST_F(SearchWindow, HourglassWhileSearching) {
    std::vector<std::int16_t> shown;
    f.answers().showPointer = [&](std::int16_t p) { shown.push_back(p); };
    searchFor(w, {1, "サザン"}, {1, ""}, {1, ""}, 2);
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.front(), MousePointer::Hourglass);
    EXPECT_EQ(MousePointer::get(), MousePointer::Default);

    // Show all keeps the pointer as it is.
    shown.clear();
    w->cmd抽出解除->click();
    EXPECT_TRUE(shown.empty());
}

TEST(SearchSmallTable, ConditionOnAMissingFieldWarns) {
    WindowFixture f;
    const QString db = test::createSearchSongs(f.folder());
    test::exec(db, QStringLiteral("CREATE TABLE Small (番号 INTEGER, 歌手 VARCHAR(50), 曲 "
                                  "VARCHAR(50)); INSERT INTO Small VALUES (1, 'a', 'x'), (2, "
                                  "'b', 'y'); CREATE TABLE SmallPick (番号 INTEGER, 歌手 "
                                  "VARCHAR(50), 曲 VARCHAR(50));"));
    f.ini(QStringLiteral("MDB"), QStringLiteral("ListTableName"), QStringLiteral("Small"));
    f.ini(QStringLiteral("MDB"), QStringLiteral("PickupTableName"), QStringLiteral("SmallPick"));
    frmMeloDeck* w = f.start();
    ASSERT_TRUE(w) << f.warnings.join(QLatin1Char('\n')).toStdString();
    ASSERT_EQ(w->sColName.size(), 4);

    searchFor(w, {1, ""}, {1, "y"}, {1, ""}, 2); // fields 2 and 3 exist
    EXPECT_EQ(shownNumbers(w->flgList), QStringLiteral("2"));
    EXPECT_TRUE(f.warnings.isEmpty());
    const QString shown = w->datList.RecordSource;

    w->cmd抽出解除->click();
    searchFor(w, {1, ""}, {1, ""}, {1, "x"}, 2); // no fourth field
    ASSERT_EQ(f.warnings.size(), 1);
    EXPECT_FALSE(w->bSelected);
    EXPECT_EQ(w->datList.RecordSource, QStringLiteral("SELECT * FROM Small ORDER BY 番号"));
    searchFor(w, {1, ""}, {1, ""}, {1, ""}, 0); // no harmony field
    EXPECT_EQ(f.warnings.size(), 2);
    EXPECT_EQ(w->flgList->Rows(), 3);
    EXPECT_NE(w->datList.RecordSource, shown);
}
