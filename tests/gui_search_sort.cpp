// Header clicks on both grids of the real window: toggling, the new record
// source, and what stays untouched.
#include "support/search_songs.h"
#include "support/store_TestDb.h"
#include "support/window_fixture.h"

#include "common/Cp932.h"

#include <QHeaderView>
#include <QImage>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

using namespace melodeck;
using namespace Qt::Literals::StringLiterals;
using melodeck::test::gridColumn;
using melodeck::test::shownNumbers;
using melodeck::test::WindowFixture;

namespace {

// The sort marks painted in a grid's header, read from its pixels: "3▲"
// for an upward triangle at the right end of column 3's header cell.
QString paintedMarks(FlexGrid* grid) {
    QHeaderView* h = grid->horizontalHeader();
    const QImage image = h->viewport()->grab().toImage();
    QString marks;
    for (int s = 0; s < h->count(); ++s) {
        const int right = h->sectionViewportPosition(s) + h->sectionSize(s) - 1;
        if (right >= image.width()) // scrolled out of sight
            break;
        const int mid = image.height() / 2;
        int upper = 0, lower = 0;
        for (int x = right - 16; x < right; ++x)
            for (int y = 1; y < image.height() - 1; ++y)
                if (qGray(image.pixel(x, y)) < 110)
                    ++(y < mid ? upper : lower);
        if (upper + lower > 4)
            marks += QString::number(s + 1) + (lower > upper ? u"▲"_s : u"▼"_s);
    }
    return marks;
}

QStringList reversed(QStringList l) {
    std::reverse(l.begin(), l.end());
    return l;
}

// The Japanese sort key of a text, reckoned independently of the data layer:
// compatibility forms and letter case folded by Unicode, hiragana as
// katakana, in code page 932 bytes. Null ("<NULL>") before every text.
std::string referenceKey(const QString& text) {
    if (text == u"<NULL>")
        return {};
    QString k = text.normalized(QString::NormalizationForm_KC).toCaseFolded();
    for (QChar& c : k)
        if (c.unicode() >= 0x3041 && c.unicode() <= 0x3096)
            c = QChar(char16_t(c.unicode() + 0x60));
    return '\x01' + cp932::encode(k).toStdString();
}

class SortWindow : public ::testing::Test {
protected:
    void start(int pickupRows) {
        db = test::createSearchSongs(f.folder());
        if (pickupRows > 0)
            test::exec(db, QStringLiteral("INSERT INTO PickupList SELECT * FROM MeloDeck WHERE "
                                          "曲番号 <= %1")
                               .arg(pickupRows));
        w = f.start();
        ASSERT_TRUE(w) << f.warnings.join(QLatin1Char('\n')).toStdString();
    }
    WindowFixture f;
    QString db;
    frmMeloDeck* w = nullptr;
};

} // namespace

TEST_F(SortWindow, ListHeaderClicksToggle) {
    start(0);
    const QString all = QStringLiteral("1,2,3,4,5,6,7,8,9");
    // From the stored column 0: column 1 ascending, the order does not change.
    test::clickCell(w->flgList, 0, 1);
    EXPECT_EQ(w->lListOrderCol, 1);
    EXPECT_FALSE(w->bListOrderDesc);
    EXPECT_EQ(w->datList.RecordSource, QStringLiteral("SELECT * FROM MeloDeck  ORDER BY 曲番号"));
    EXPECT_EQ(shownNumbers(w->flgList), all);

    test::clickCell(w->flgList, 0, 1);
    EXPECT_TRUE(w->bListOrderDesc);
    EXPECT_EQ(w->datList.RecordSource,
              QStringLiteral("SELECT * FROM MeloDeck   ORDER BY 曲番号 DESC "));
    EXPECT_EQ(shownNumbers(w->flgList), QStringLiteral("9,8,7,6,5,4,3,2,1"));

    // Another header: ascending by it, whatever the direction was.
    test::clickCell(w->flgList, 0, 3);
    EXPECT_EQ(w->lListOrderCol, 3);
    EXPECT_FALSE(w->bListOrderDesc);
    EXPECT_TRUE(w->datList.RecordSource.endsWith(QStringLiteral(" ORDER BY 曲名")));
    const QStringList ascending = gridColumn(w->flgList, 3);
    QStringList titles;
    for (const QStringList& r : test::rows(db, QStringLiteral("SELECT 曲名 FROM MeloDeck")))
        titles << r[0];
    std::stable_sort(titles.begin(), titles.end(), [](const QString& a, const QString& b) {
        return referenceKey(a) < referenceKey(b);
    });
    EXPECT_EQ(ascending, titles); // ﾐｶﾝ before 花 before 島
    test::clickCell(w->flgList, 0, 3);
    EXPECT_TRUE(w->bListOrderDesc);
    EXPECT_EQ(gridColumn(w->flgList, 3), reversed(ascending));
    test::clickCell(w->flgList, 0, 3);
    EXPECT_FALSE(w->bListOrderDesc);
    EXPECT_EQ(gridColumn(w->flgList, 3), ascending);

    // A data cell of a grid with several rows sorts nothing.
    const QString source = w->datList.RecordSource;
    test::clickCell(w->flgList, 4, 2);
    EXPECT_EQ(w->lListOrderCol, 3);
    EXPECT_EQ(w->datList.RecordSource, source);

    // The pickup grid was never touched.
    EXPECT_EQ(w->datPickup.RecordSource,
              QStringLiteral("SELECT * FROM PickupList ORDER BY 曲番号"));
    EXPECT_EQ(w->lPickupOrderCol, 0);
    EXPECT_FALSE(w->bSelected);
    EXPECT_TRUE(f.warnings.isEmpty());
}

TEST_F(SortWindow, PickupSortsOnItsOwn) {
    start(4);
    const QString list = w->datList.RecordSource;
    test::clickCell(w->flgPickup, 0, 2);
    EXPECT_EQ(w->lPickupOrderCol, 2);
    EXPECT_EQ(w->datPickup.RecordSource,
              QStringLiteral("SELECT * FROM PickupList  ORDER BY 歌手名"));
    EXPECT_EQ(gridColumn(w->flgPickup, 2),
              (QStringList{u"ＢＥＧＩＮ"_s, u"begin"_s, u"ｻｻﾞﾝ"_s, u"サザンオールスターズ"_s}));
    test::clickCell(w->flgPickup, 0, 2);
    EXPECT_TRUE(w->bPickupOrderDesc);
    // The two forms of one name are equal and keep the order they had.
    EXPECT_EQ(gridColumn(w->flgPickup, 2),
              (QStringList{u"サザンオールスターズ"_s, u"ｻｻﾞﾝ"_s, u"ＢＥＧＩＮ"_s, u"begin"_s}));
    EXPECT_EQ(w->datList.RecordSource, list);
    EXPECT_EQ(w->lListOrderCol, 0);
    EXPECT_FALSE(w->bListOrderDesc);

    // And the list's sort leaves the pickup list alone.
    const QString pickup = w->datPickup.RecordSource;
    test::clickCell(w->flgList, 0, 4);
    EXPECT_EQ(w->datPickup.RecordSource, pickup);
    EXPECT_EQ(w->lPickupOrderCol, 2);
    EXPECT_TRUE(w->bPickupOrderDesc);
}

// A blank area of a grid is no cell: after a header click, presses past the
// last row or column neither sort again nor reach a column that does not
// exist, with either button, on either grid; a double click there picks
// nothing up and removes nothing.
TEST_F(SortWindow, PressesPastTheCellsNeitherSortNorWarn) {
    start(2);
    int menus = 0;
    f.answers().popupMenu = [&](QMenu*, QPoint) { ++menus; };
    for (FlexGrid* grid : {w->flgList, w->flgPickup}) {
        SCOPED_TRACE(grid->objectName().toStdString());
        const DataControl& dc = grid == w->flgList ? w->datList : w->datPickup;
        for (int c = 1; c < grid->Cols(); ++c)
            grid->setColWidth(c, 600); // 40 pixels: room right of the last column
        test::clickCell(grid, 0, 2);
        const QString source = dc.RecordSource;
        const auto selection = [grid] {
            return std::vector<int>{grid->Col(), grid->ColSel(), grid->Row(), grid->RowSel()};
        };
        const std::vector<int> column = selection();
        QWidget* cells = grid->viewport();
        const int right = cells->width() - 2, below = cells->height() - 2;
        const int onRow1 = test::cellSpot(grid, 1, 1).pos.y();
        ASSERT_LT(grid->rowAt(below), 0);
        ASSERT_LT(grid->columnAt(right), 0);
        for (Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton}) {
            test::click(cells, QPoint(5, below), button);
            test::click(cells, QPoint(right, onRow1), button);
            test::click(grid->horizontalHeader()->viewport(),
                        QPoint(right, grid->horizontalHeader()->height() / 2), button);
        }
        test::click(cells, QPoint(right, onRow1));
        test::mouse(cells, QEvent::MouseButtonDblClick, QPoint(right, onRow1));
        test::mouse(cells, QEvent::MouseButtonRelease, QPoint(right, onRow1));
        EXPECT_EQ(dc.RecordSource, source);
        EXPECT_EQ(selection(), column);
        EXPECT_EQ(w->lClickCol, -1);
    }
    EXPECT_EQ(w->lListOrderCol, 2);
    EXPECT_FALSE(w->bListOrderDesc);
    EXPECT_EQ(w->lPickupOrderCol, 2);
    EXPECT_FALSE(w->bPickupOrderDesc);
    EXPECT_EQ(w->flgPickup->Rows(), 3);
    EXPECT_EQ(menus, 0);
    EXPECT_TRUE(f.warnings.isEmpty()) << f.warnings.join(QLatin1Char('|')).toStdString();
}

TEST_F(SortWindow, OneRowGridSortsOnAnyCell) {
    start(1);
    ASSERT_EQ(w->flgPickup->Rows(), 2);
    test::clickCell(w->flgPickup, 1, 4);
    EXPECT_EQ(w->lPickupOrderCol, 4);
    EXPECT_FALSE(w->bPickupOrderDesc);
    test::clickCell(w->flgPickup, 1, 4);
    EXPECT_TRUE(w->bPickupOrderDesc);
    EXPECT_EQ(w->datPickup.RecordSource,
              QStringLiteral("SELECT * FROM PickupList   ORDER BY 歌い出し DESC "));
}

TEST_F(SortWindow, SearchAndSortKeepEachOther) {
    start(0);
    test::clickCell(w->flgList, 0, 1);
    test::clickCell(w->flgList, 0, 1); // number, descending
    frmMeloDeck::setChkValue(w->chk曲名に, 1);
    w->txt曲名->setText(QStringLiteral("o"));
    w->optハモリ[2]->setChecked(true);
    w->cmd抽出->click();
    const QString search = QStringLiteral("SELECT * FROM MeloDeck WHERE 1=1 AND 曲名 LIKE '*o*'");
    EXPECT_EQ(w->datList.RecordSource, search + QStringLiteral(" ORDER BY 曲番号 DESC "));
    EXPECT_EQ(shownNumbers(w->flgList), QStringLiteral("8,2"));

    test::clickCell(w->flgList, 0, 1);
    EXPECT_EQ(w->datList.RecordSource, search + QStringLiteral("  ORDER BY 曲番号"));
    EXPECT_EQ(shownNumbers(w->flgList), QStringLiteral("2,8"));
    EXPECT_TRUE(w->bSelected);

    // Conditions holding the words of the order clause, one after a quote,
    // keep their text and the list still sorts.
    w->txt曲名->setText(QStringLiteral("ORDER BY"));
    frmMeloDeck::setChkValue(w->chk歌い出しに, 1);
    w->txt歌い出し->setText(QStringLiteral("' order by x"));
    w->cmd抽出->click();
    const QString words = QStringLiteral("SELECT * FROM MeloDeck WHERE 1=1 AND 曲名 LIKE "
                                         "'*ORDER BY*' AND 歌い出し LIKE '*'' order by x*'");
    EXPECT_EQ(w->datList.RecordSource, words + QStringLiteral(" ORDER BY 曲番号"));
    EXPECT_EQ(shownNumbers(w->flgList), QString());
    test::clickCell(w->flgList, 0, 2); // no rows: the header click does nothing
    EXPECT_EQ(w->lListOrderCol, 1);

    w->txt歌い出し->clear();
    w->cmd抽出->click();
    EXPECT_EQ(shownNumbers(w->flgList), QStringLiteral("8"));
    // With one row any click sorts; the header's too.
    test::clickCell(w->flgList, 0, 2);
    test::clickCell(w->flgList, 0, 2);
    EXPECT_EQ(w->datList.RecordSource,
              QStringLiteral("SELECT * FROM MeloDeck WHERE 1=1 AND 曲名 LIKE '*ORDER BY*'   ORDER "
                             "BY 歌手名 DESC "));
    EXPECT_EQ(shownNumbers(w->flgList), QStringLiteral("8"));

    // The sort applies to the next search.
    w->txt曲名->setText(QStringLiteral("r"));
    w->cmd抽出->click();
    EXPECT_EQ(w->datList.RecordSource,
              QStringLiteral("SELECT * FROM MeloDeck WHERE 1=1 AND 曲名 LIKE '*r*' ORDER BY 歌手名 "
                             "DESC "));
    EXPECT_TRUE(f.warnings.isEmpty()) << f.warnings.join(QLatin1Char('\n')).toStdString();
}

TEST_F(SortWindow, RefusedSortWarnsAndKeepsTheGrid) {
    start(3);
    const QString before = w->datPickup.RecordSource;
    const QStringList shown = gridColumn(w->flgPickup, 1);
    // The table goes away behind the window's back.
    test::exec(db, QStringLiteral("DROP TABLE PickupList"));
    test::clickCell(w->flgPickup, 0, 3);
    ASSERT_EQ(f.warnings.size(), 1);
    EXPECT_FALSE(f.warnings[0].isEmpty());
    EXPECT_EQ(w->datPickup.RecordSource, before);
    EXPECT_EQ(w->lPickupOrderCol, 0);
    EXPECT_FALSE(w->bPickupOrderDesc);
    EXPECT_EQ(gridColumn(w->flgPickup, 1), shown);
    // The song list still sorts.
    test::clickCell(w->flgList, 0, 1);
    test::clickCell(w->flgList, 0, 1);
    EXPECT_EQ(shownNumbers(w->flgList), QStringLiteral("9,8,7,6,5,4,3,2,1"));
    EXPECT_EQ(f.warnings.size(), 1);
}

TEST_F(SortWindow, ClicksOrderAsTheReferenceAndKeepTies) {
    start(0);
    // Singers and titles in every form that folds together, in an order that
    // no single field gives.
    const QStringList singers{u"あいみょん"_s, u"アイナ"_s, u"ｱｲﾅ"_s, u"Zebra"_s, u"apple"_s,
                              u"ＡＰＰＬＥ"_s, u"亜"_s,     u"腕"_s,  QString()};
    const QStringList pieces{u"夢"_s, u"ゆめ"_s, u"ユメ"_s,     u"ﾕﾒ"_s, u"ｶﾞ"_s, u"が"_s,
                             u"か"_s, u"pamo"_s, u"ＰＡＭＯ"_s, u"10"_s, u"9"_s,  u"愛"_s};
    test::exec(db, QStringLiteral("DELETE FROM MeloDeck"));
    std::vector<test::Song> songs;
    unsigned seed = 7;
    auto next = [&seed](int n) {
        seed = seed * 1103515245u + 12345u;
        return int((seed >> 16) % unsigned(n));
    };
    for (int i = 1; i <= 240; ++i) {
        QString title = pieces[next(int(pieces.size()))];
        if (next(2))
            title += pieces[next(int(pieces.size()))];
        songs.push_back({i, singers[next(int(singers.size()))], title});
    }
    test::insertSongs(db, QStringLiteral("MeloDeck"), songs);
    w->cmd抽出解除_Click();

    // The reference: the rows as the table holds them, sorted stably by each
    // clicked column in turn.
    std::vector<QStringList> rows =
        test::rows(db, QStringLiteral("SELECT 曲番号, 歌手名, 曲名 FROM MeloDeck ORDER BY rowid"));
    auto sortBy = [&rows](int field, bool desc) {
        std::stable_sort(rows.begin(), rows.end(), [&](const QStringList& a, const QStringList& b) {
            const std::string ka = referenceKey(a[field]), kb = referenceKey(b[field]);
            return desc ? kb < ka : ka < kb;
        });
    };
    auto numbers = [&rows] {
        QStringList n;
        for (const QStringList& r : rows)
            n << r[0];
        return n.join(QLatin1Char(','));
    };

    test::clickCell(w->flgList, 0, 3); // title
    sortBy(2, false);
    EXPECT_EQ(shownNumbers(w->flgList), numbers());
    test::clickCell(w->flgList, 0, 2); // singer: each singer's songs stay by title
    sortBy(1, false);
    EXPECT_EQ(shownNumbers(w->flgList), numbers());
    test::clickCell(w->flgList, 0, 2); // singer, descending: ties still by title
    sortBy(1, true);
    EXPECT_EQ(shownNumbers(w->flgList), numbers());

    // A search keeps the same order among the rows it finds.
    frmMeloDeck::setChkValue(w->chk曲名に, 1);
    w->txt曲名->setText(QStringLiteral("ﾕﾒ"));
    w->optハモリ[2]->setChecked(true);
    w->cmd抽出->click();
    QStringList found;
    for (const QStringList& r : rows)
        if (referenceKey(r[2]).find(referenceKey(u"ユメ"_s).substr(1)) != std::string::npos)
            found << r[0];
    EXPECT_EQ(shownNumbers(w->flgList), found.join(QLatin1Char(',')));
    EXPECT_TRUE(f.warnings.isEmpty()) << f.warnings.join(QLatin1Char('\n')).toStdString();
}

TEST_F(SortWindow, HeaderShowsTheSortOfEachGrid) {
    // A stored sort is shown at start-up; one outside the fields is column 1.
    f.ini(u"ListGrid"_s, u"OrderCol"_s, u"3"_s);
    f.ini(u"ListGrid"_s, u"OrderDesc"_s, u"1"_s);
    f.ini(u"PickupGrid"_s, u"OrderCol"_s, u"99"_s);
    f.ini(u"PickupGrid"_s, u"OrderDesc"_s, u"1"_s);
    start(3);
    ASSERT_TRUE(test::showAndWait(w));
    EXPECT_EQ(paintedMarks(w->flgList), u"3▼"_s);
    EXPECT_EQ(paintedMarks(w->flgPickup), u"1▲"_s);

    // Header clicks turn it and move it; the other grid keeps its own.
    test::clickCell(w->flgList, 0, 3);
    EXPECT_EQ(paintedMarks(w->flgList), u"3▲"_s);
    test::clickCell(w->flgList, 0, 2);
    EXPECT_EQ(paintedMarks(w->flgList), u"2▲"_s);
    test::clickCell(w->flgPickup, 0, 4);
    test::clickCell(w->flgPickup, 0, 4);
    EXPECT_EQ(paintedMarks(w->flgPickup), u"4▼"_s);
    EXPECT_EQ(paintedMarks(w->flgList), u"2▲"_s);

    // A search keeps the sort; show-all sorts by column 1 ascending.
    test::clickCell(w->flgList, 0, 2);
    w->cmd抽出->click();
    EXPECT_EQ(paintedMarks(w->flgList), u"2▼"_s);
    w->cmd抽出解除->click();
    EXPECT_EQ(paintedMarks(w->flgList), u"1▲"_s);

    // Painted only: the header texts stay the field names.
    for (FlexGrid* grid : {w->flgList, w->flgPickup}) {
        for (int c = 1; c < grid->Cols(); ++c) {
            EXPECT_EQ(grid->TextMatrix(0, c), w->sColName[c]);
            EXPECT_EQ(grid->model()->headerData(c - 1, Qt::Horizontal).toString(), w->sColName[c]);
        }
    }
    EXPECT_TRUE(f.warnings.isEmpty());
}
