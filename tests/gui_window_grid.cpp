// The grid over a data control, the window's layout, and select-on-focus.
#include "support/window_fixture.h"

#include "common/VbError.h"
#include "common/gui/WindowHelpers.h"
#include "store/gui/FlexGrid.h"

#include <QApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLineEdit>
#include <QStyle>
#include <QTest>
#include <QToolTip>
#include <gtest/gtest.h>

using namespace melodeck;
using melodeck::test::click;
using melodeck::test::clickCell;
using melodeck::test::key;
using melodeck::test::mouse;
using melodeck::test::mouseOnCell;
using melodeck::test::WindowFixture;

namespace {

// A grid shown on its own over the songs of a test database, with every
// event it raises written down.
struct GridOnSongs {
    WindowFixture f;
    DataControl dc;
    FlexGrid grid;
    QStringList events;

    explicit GridOnSongs(int songs) {
        dc.DatabaseName = f.createDatabase(songs);
        dc.RecordSource = QStringLiteral("SELECT * FROM MeloDeck ORDER BY 曲番号");
        dc.Refresh();
        grid.bind(&dc);
        grid.Refresh();
        grid.onMouseDown = [this](int button, int, QPoint) {
            events << QStringLiteral("down%1 %2,%3")
                          .arg(button)
                          .arg(grid.MouseRow())
                          .arg(grid.MouseCol());
        };
        grid.onClick = [this] { events << QStringLiteral("click"); };
        grid.onDblClick = [this] { events << QStringLiteral("dbl"); };
        grid.resize(700, 300);
        EXPECT_TRUE(test::showAndWait(&grid));
    }

    // Col, ColSel, Row, RowSel.
    std::vector<int> selection() const {
        return {grid.Col(), grid.ColSel(), grid.Row(), grid.RowSel()};
    }
};

} // namespace

TEST(FlexGrid, CellsFollowTheRecordSet) {
    GridOnSongs g(3);
    FlexGrid& grid = g.grid;
    EXPECT_EQ(grid.Rows(), 4);
    EXPECT_EQ(grid.Cols(), 9);
    EXPECT_EQ(grid.TextMatrix(0, 2), QStringLiteral("歌手名"));
    EXPECT_EQ(grid.TextMatrix(0, 0), QString());
    EXPECT_EQ(grid.TextMatrix(2, 0), QString());
    EXPECT_EQ(grid.TextMatrix(1, 1), QStringLiteral("98"));
    EXPECT_EQ(grid.TextMatrix(3, 3), QStringLiteral("曲0"));
    EXPECT_EQ(grid.TextMatrix(1, 5), QString()); // Null
    EXPECT_THROW(grid.TextMatrix(4, 1), VbError);
    EXPECT_THROW(grid.TextMatrix(1, 9), VbError);
    EXPECT_THROW(grid.setRow(4), VbError);
    EXPECT_THROW(grid.setCol(-1), VbError);

    // The current cell may be a fixed one; moving it collapses the selection.
    test::clickCell(&grid, 0, 4); // whole column first
    grid.setCol(2);
    grid.setRow(0);
    EXPECT_EQ(g.selection(), (std::vector<int>{2, 2, 0, 0}));
    EXPECT_EQ(grid.Text(), QStringLiteral("歌手名"));

    // A refresh onto fewer rows keeps the current cell inside the grid.
    grid.setRow(3);
    g.dc.RecordSource = QStringLiteral("SELECT * FROM MeloDeck WHERE 曲番号 = 100");
    g.dc.Refresh();
    grid.Refresh();
    EXPECT_EQ(grid.Rows(), 2);
    EXPECT_EQ(grid.Row(), 1);
    EXPECT_EQ(grid.Text(), QStringLiteral("歌手0"));
    // An empty result shows the header row only.
    g.dc.RecordSource = QStringLiteral("SELECT * FROM PickupList");
    g.dc.Refresh();
    grid.Refresh();
    EXPECT_EQ(grid.Rows(), 1);
    EXPECT_EQ(grid.Row(), 0);

    // A grid that outlives its data control keeps the rows of its last
    // Refresh, and its next Refresh finds no record set, not a freed one.
    {
        DataControl gone;
        gone.DatabaseName = g.dc.DatabaseName;
        gone.RecordSource = QStringLiteral("SELECT * FROM MeloDeck ORDER BY 曲番号");
        gone.Refresh();
        grid.bind(&gone);
        grid.Refresh();
    }
    EXPECT_EQ(grid.Rows(), 4);
    EXPECT_EQ(grid.TextMatrix(3, 3), QStringLiteral("曲0"));
    grid.Refresh();
    EXPECT_EQ(grid.Rows(), 1);
    EXPECT_EQ(grid.Cols(), 1);
}

TEST(FlexGrid, PressesSelectAndReportTheCell) {
    GridOnSongs g(5);
    FlexGrid& grid = g.grid;
    QHeaderView* h = grid.horizontalHeader();

    // Header: the whole column, rows 1 to Rows - 1.
    clickCell(&grid, 0, 3);
    EXPECT_EQ(g.selection(), (std::vector<int>{3, 3, 1, 5}));
    EXPECT_EQ(g.events, (QStringList{QStringLiteral("down1 0,3"), QStringLiteral("click")}));

    // A data cell alone.
    g.events.clear();
    clickCell(&grid, 4, 2);
    EXPECT_EQ(g.selection(), (std::vector<int>{2, 2, 4, 4}));
    EXPECT_EQ(grid.Text(), QStringLiteral("歌手1"));
    EXPECT_EQ(g.events, (QStringList{QStringLiteral("down1 4,2"), QStringLiteral("click")}));

    // The fixed column: MouseCol 0, the whole row selected.
    g.events.clear();
    clickCell(&grid, 2, 0);
    EXPECT_EQ(grid.MouseCol(), 0);
    EXPECT_EQ(grid.MouseRow(), 2);
    EXPECT_EQ(g.selection(), (std::vector<int>{1, 8, 2, 2}));

    // The right button: a press that leaves the selection, and no click.
    g.events.clear();
    clickCell(&grid, 3, 4, Qt::RightButton);
    clickCell(&grid, 0, 4, Qt::RightButton);
    EXPECT_EQ(g.events, (QStringList{QStringLiteral("down2 3,4"), QStringLiteral("down2 0,4")}));
    EXPECT_EQ(g.selection(), (std::vector<int>{1, 8, 2, 2}));

    // A double click: press, click, double click; the closing release is no click.
    g.events.clear();
    mouseOnCell(&grid, 1, 1, QEvent::MouseButtonPress);
    mouseOnCell(&grid, 1, 1, QEvent::MouseButtonRelease);
    mouseOnCell(&grid, 1, 1, QEvent::MouseButtonDblClick);
    mouseOnCell(&grid, 1, 1, QEvent::MouseButtonRelease);
    EXPECT_EQ(g.events, (QStringList{QStringLiteral("down1 1,1"), QStringLiteral("click"),
                                     QStringLiteral("dbl")}));
    g.events.clear();
    test::dblClickCell(&grid, 2, 2);
    EXPECT_EQ(g.events, (QStringList{QStringLiteral("down1 2,2"), QStringLiteral("click"),
                                     QStringLiteral("dbl")}));

    // Past the last row or column there is no cell: the press is reported,
    // the column a header click selected stays selected, and neither a click
    // nor a double click follows (which would sort or pick up again).
    for (int c = 1; c < grid.Cols(); ++c)
        grid.setColWidth(c, 600); // 40 pixels: room right of the last column
    clickCell(&grid, 0, 3);
    g.events.clear();
    const int right = grid.viewport()->width() - 2, below = grid.viewport()->height() - 2;
    const int onRow1 = test::cellSpot(&grid, 1, 1).pos.y();
    click(grid.viewport(), QPoint(5, below));
    click(grid.viewport(), QPoint(right, onRow1));
    mouse(grid.viewport(), QEvent::MouseButtonDblClick, QPoint(right, onRow1));
    mouse(grid.viewport(), QEvent::MouseButtonRelease, QPoint(right, onRow1));
    click(h->viewport(), QPoint(right, h->height() / 2));
    click(grid.verticalHeader()->viewport(), QPoint(5, below));
    EXPECT_EQ(g.events, (QStringList{QStringLiteral("down1 -1,1"), QStringLiteral("down1 1,-1"),
                                     QStringLiteral("down1 0,-1"), QStringLiteral("down1 -1,0")}));
    EXPECT_EQ(g.selection(), (std::vector<int>{3, 3, 1, 5}));

    // Grabbing a column border is a resize, not a press on the header.
    g.events.clear();
    const QPoint border(h->sectionViewportPosition(1) + h->sectionSize(1) - 1, h->height() / 2);
    click(h->viewport(), border);
    EXPECT_TRUE(g.events.isEmpty()) << g.events.join(QLatin1Char('|')).toStdString();
}

TEST(FlexGrid, KeyboardMovesTheCurrentCell) {
    GridOnSongs g(4);
    FlexGrid& grid = g.grid;
    grid.setFocus();
    clickCell(&grid, 1, 2);
    key(&grid, Qt::Key_Down);
    key(&grid, Qt::Key_Down);
    key(&grid, Qt::Key_Right);
    EXPECT_EQ(g.selection(), (std::vector<int>{3, 3, 3, 3}));
    EXPECT_EQ(grid.Text(), QStringLiteral("曲1"));
}

TEST(FlexGrid, WidthsInTwips) {
    GridOnSongs g(2);
    FlexGrid& grid = g.grid;
    grid.setColWidth(1, 1000); // 66.7 pixels
    EXPECT_EQ(grid.ColWidth(1), 1000);
    EXPECT_EQ(grid.columnWidth(0), 67);
    grid.setColWidth(0, 450);
    EXPECT_EQ(grid.ColWidth(0), 450);
    EXPECT_EQ(grid.verticalHeader()->width(), 30);
    grid.setColWidth(2, -1);
    EXPECT_EQ(grid.ColWidth(2), FlexGrid::DefaultColWidth);
    EXPECT_THROW(grid.setColWidth(9, 100), VbError);

    // Dragged by the user: what the column now is.
    grid.horizontalHeader()->resizeSection(2, 80);
    EXPECT_EQ(grid.ColWidth(3), 1200);
    // Kept through a refresh.
    g.dc.Refresh();
    grid.Refresh();
    EXPECT_EQ(grid.ColWidth(1), 1000);
    EXPECT_EQ(grid.ColWidth(3), 1200);
    EXPECT_EQ(grid.ColWidth(0), 450);
}

TEST(FlexGrid, CutTextComesWholeAsTooltip) {
    GridOnSongs g(3);
    FlexGrid& grid = g.grid;
    grid.setColWidth(3, 150); // 10 pixels: "曲2" does not fit
    grid.setColWidth(6, 150);
    // The tooltip the grid shows when the pointer rests over a place of w.
    const auto tipAt = [](QWidget* w, QPoint pos) {
        QHelpEvent help(QEvent::ToolTip, pos, w->mapToGlobal(pos));
        QApplication::sendEvent(w, &help);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    };
    const auto tipOn = [&](int row, int col) {
        const test::CellSpot at = test::cellSpot(&grid, row, col);
        return tipAt(at.widget, at.pos);
    };
    EXPECT_EQ(tipOn(1, 3), QStringLiteral("曲2"));
    // A text that fits has none; an empty cell neither.
    EXPECT_TRUE(test::waitFor([&] { return tipOn(2, 2).isEmpty(); }));
    EXPECT_TRUE(test::waitFor([&] { return tipOn(2, 6).isEmpty(); }));
    // The header's cut names too.
    EXPECT_EQ(tipOn(0, 3), QStringLiteral("曲名"));
    EXPECT_TRUE(test::waitFor([&] { return tipOn(0, 2).isEmpty(); }));
    EXPECT_EQ(grid.TextMatrix(1, 3), QStringLiteral("曲2"));
}

TEST(SelectAllText, SelectsTheWholeTextWhenNothingIsSelected) {
    QLineEdit field;
    auto select = [&](const QString& text) {
        field.setText(text);
        field.deselect();
        ModCommon::SelectAllText(&field);
        return field.selectedText();
    };
    EXPECT_EQ(select(QStringLiteral("abc")), QStringLiteral("abc"));
    EXPECT_EQ(field.selectionStart(), 0);
    EXPECT_EQ(select(QStringLiteral("あいう")), QStringLiteral("あいう"));
    // Blanks belong to the text that typing replaces.
    EXPECT_EQ(select(QStringLiteral("  def")), QStringLiteral("  def"));
    EXPECT_EQ(select(QStringLiteral("ab漢字 ")), QStringLiteral("ab漢字 "));
    EXPECT_EQ(select(QStringLiteral("   ")), QStringLiteral("   "));
    EXPECT_EQ(select(QString()), QString());
    EXPECT_FALSE(field.hasSelectedText());

    // A selection the user made stays.
    field.setText(QStringLiteral("abcdef"));
    field.setSelection(2, 2);
    ModCommon::SelectAllText(&field);
    EXPECT_EQ(field.selectedText(), QStringLiteral("cd"));
    ModCommon::SelectAllText(nullptr); // no field, no failure
}

TEST(WindowLayout, ControlsCaptionsAndOrder) {
    WindowFixture f; // fonts, seams
    frmMeloDeck w(f.location);
    struct Expect {
        const char* name;
        QRect twips;
        const char* caption;
    };
    const Expect table[] = {
        {"fra検索条件", {150, 60, 9450, 1875}, "検索条件"},
        {"chk歌手名に", {390, 345, 1320, 345}, "歌手名に"},
        {"txt歌手名", {1755, 345, 2280, 345}, ""},
        {"chk曲名に", {390, 765, 1320, 345}, "曲名に"},
        {"txt曲名", {1755, 780, 2280, 345}, ""},
        {"chk歌い出しに", {390, 1215, 1320, 345}, "歌い出しに"},
        {"txt歌い出し", {1755, 1245, 2280, 345}, ""},
        {"Label1(4)", {4110, 420, 750, 255}, "を含み"},
        {"Label1(0)", {4110, 870, 750, 255}, "を含み"},
        {"Label1(1)", {4110, 1320, 750, 255}, "を含み"},
        {"fraハモり", {4845, 225, 1950, 1425}, "ハモりは"},
        {"optハモリ(0)", {255, 285, 1530, 315}, "ハモる"},
        {"optハモリ(1)", {255, 630, 1530, 315}, "ハモらない"},
        {"optハモリ(2)", {255, 990, 1530, 315}, "どーでもいい"},
        {"cmd抽出", {6930, 270, 2385, 570}, "曲を抽出(&S)"},
        {"cmd抽出解除", {6930, 885, 2385, 390}, "抽出解除(&R)"},
        {"cmd条件クリア", {6930, 1320, 2385, 390}, "条件クリア(&C)"},
        {"Label2(1)", {180, 2025, 1755, 315}, "候補リスト"},
        {"flgList", {165, 2280, 9390, 3330}, ""},
        {"cmdピックアップ全解除", {7110, 5685, 2385, 390}, "ピックアップ全解除(&A)"},
        {"Label2(0)", {180, 5835, 1755, 300}, "ピックアップリスト"},
        {"flgPickup", {165, 6075, 9390, 1725}, ""},
        {"Frame4", {165, 7875, 9450, 870}, "配信曲リストの取得"},
        {"Label1(9)", {180, 420, 930, 255}, "URL/パス"},
        {"cmd参照", {7785, 345, 390, 400}, "…"},
        {"cmd取込", {8190, 345, 1170, 400}, "取込(&D)"},
        {"cmd終了", {7140, 8820, 2385, 480}, "終了(&X)"},
        {"Label3", {195, 9000, 4965, 210}, nullptr},
    };
    auto px = [](int t) { return int(std::lround(t / 15.0)); };
    for (const Expect& e : table) {
        SCOPED_TRACE(e.name);
        auto* c = w.findChild<QWidget*>(QString::fromUtf8(e.name));
        ASSERT_TRUE(c);
        EXPECT_EQ(c->geometry(), QRect(px(e.twips.x()), px(e.twips.y()), px(e.twips.width()),
                                       px(e.twips.height())));
        QString caption;
        if (auto* b = qobject_cast<QAbstractButton*>(c))
            caption = b->text();
        else if (auto* l = qobject_cast<QLabel*>(c))
            caption = l->text();
        else if (auto* g = qobject_cast<QGroupBox*>(c))
            caption = g->title();
        if (e.caption) {
            EXPECT_EQ(caption, QString::fromUtf8(e.caption));
        }
        EXPECT_EQ(c->font().family(), QStringLiteral("MS UI Gothic"));
        EXPECT_DOUBLE_EQ(c->font().pointSizeF(), 11.25);
    }
    EXPECT_EQ(w.txt歌手名->parentWidget(), w.fra検索条件);
    EXPECT_EQ(w.optハモリ[0]->parentWidget(), w.fraハモり);
    EXPECT_EQ(w.txtパス->parentWidget(), w.Frame4);
    EXPECT_FALSE(w.Label3->text().isEmpty());
    EXPECT_TRUE(w.txtパス->text().startsWith(QStringLiteral("http://")));
    EXPECT_TRUE(w.txtパス->text().endsWith(QStringLiteral("/data/200412.csv")));

    // Design states before the settings are read.
    for (QCheckBox* c : {w.chk歌手名に, w.chk曲名に, w.chk歌い出しに})
        EXPECT_EQ(frmMeloDeck::chkValue(c), 1);
    EXPECT_TRUE(w.optハモリ[2]->isChecked());
    frmMeloDeck::setChkValue(w.chk曲名に, 2);
    EXPECT_EQ(frmMeloDeck::chkValue(w.chk曲名に), 2);
    EXPECT_THROW(frmMeloDeck::setChkValue(w.chk曲名に, 3), VbError);

    // Tab order through the focusable controls (of the option buttons Tab
    // reaches the selected one only; their order is still this).
    const QStringList expected = {QStringLiteral("chk歌手名に"),
                                  QStringLiteral("txt歌手名"),
                                  QStringLiteral("chk曲名に"),
                                  QStringLiteral("txt曲名"),
                                  QStringLiteral("chk歌い出しに"),
                                  QStringLiteral("txt歌い出し"),
                                  QStringLiteral("optハモリ(0)"),
                                  QStringLiteral("optハモリ(1)"),
                                  QStringLiteral("optハモリ(2)"),
                                  QStringLiteral("cmd抽出"),
                                  QStringLiteral("cmd抽出解除"),
                                  QStringLiteral("cmd条件クリア"),
                                  QStringLiteral("cmdピックアップ全解除"),
                                  QStringLiteral("txtパス"),
                                  QStringLiteral("cmd参照"),
                                  QStringLiteral("cmd取込"),
                                  QStringLiteral("cmd終了"),
                                  QStringLiteral("flgList"),
                                  QStringLiteral("flgPickup")};
    QStringList chain;
    QWidget* c = w.chk歌手名に;
    do {
        if ((c->focusPolicy() & Qt::TabFocus) || qobject_cast<QRadioButton*>(c))
            chain << c->objectName();
        c = c->nextInFocusChain();
    } while (c != w.chk歌手名に && chain.size() < 40);
    EXPECT_EQ(chain, expected);

    // Pop-up menus and their items.
    auto items = [](QMenu* m) {
        QStringList out;
        for (QAction* a : m->actions())
            out << a->objectName() + QLatin1Char('=') + a->text();
        return out;
    };
    EXPECT_EQ(w.mnuリストメニュー->title(), QStringLiteral("リストメニュー"));
    EXPECT_EQ(items(w.mnuリストメニュー),
              (QStringList{QStringLiteral("mnuピックアップ=ピックアップ"),
                           QStringLiteral("mnu検索条件に追加=検索条件に追加"),
                           QStringLiteral("mnuリストコピー=コピー")}));
    EXPECT_EQ(w.mnuピックアップメニュー->title(), QStringLiteral("ピックアップメニュー"));
    EXPECT_EQ(items(w.mnuピックアップメニュー),
              (QStringList{QStringLiteral("mnuピックアップ解除=ピックアップ解除"),
                           QStringLiteral("mnuコピー=コピー")}));
}

TEST(WindowFocus, TextFieldsSelectOnFocus) {
    WindowFixture f;
    f.createDatabase(1);
    frmMeloDeck* w = f.start();
    ASSERT_TRUE(w);
    w->activateWindow();
    ASSERT_TRUE(test::waitFor([w] { return w->isActiveWindow(); }));
    EXPECT_EQ(QApplication::focusWidget(), w->txt歌手名);

    w->txt曲名->setText(QStringLiteral("  タイトル"));
    w->txt曲名->setFocus(Qt::OtherFocusReason);
    EXPECT_EQ(w->txt曲名->selectedText(), QStringLiteral("  タイトル"));

    // By the keyboard: a part selected before leaving is selected again on
    // coming back, the cursor at the end it was at; a field of blanks is
    // selected whole; a field given a new text while away, whole again.
    const auto press = [](Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) {
        QTest::keyClick(QApplication::focusWidget(), k, m);
    };
    w->txt曲名->setText(QStringLiteral("abcdef"));
    w->txt曲名->setSelection(4, -3); // "bcd", from right to left
    w->txt歌い出し->setText(QStringLiteral("   "));
    press(Qt::Key_Tab);
    press(Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), w->txt歌い出し);
    EXPECT_EQ(w->txt歌い出し->selectedText(), QStringLiteral("   "));
    press(Qt::Key_Tab, Qt::ShiftModifier);
    press(Qt::Key_Tab, Qt::ShiftModifier);
    ASSERT_EQ(QApplication::focusWidget(), w->txt曲名);
    EXPECT_EQ(w->txt曲名->selectedText(), QStringLiteral("bcd"));
    EXPECT_EQ(w->txt曲名->cursorPosition(), 1);
    press(Qt::Key_X);
    EXPECT_EQ(w->txt曲名->text(), QStringLiteral("axef"));
    w->txt曲名->setSelection(1, 2);
    press(Qt::Key_Tab);
    w->txt曲名->setText(QStringLiteral("新しい曲名"));
    press(Qt::Key_Tab, Qt::ShiftModifier);
    ASSERT_EQ(QApplication::focusWidget(), w->txt曲名);
    EXPECT_EQ(w->txt曲名->selectedText(), QStringLiteral("新しい曲名"));

    // By the mouse: the focus arrives, then the press puts the cursor down;
    // the text is selected after that.
    w->txtパス->setText(QStringLiteral("/songs/list.csv"));
    w->txtパス->setFocus(Qt::MouseFocusReason);
    click(w->txtパス, QPoint(5, 5));
    EXPECT_FALSE(w->txtパス->hasSelectedText());
    EXPECT_TRUE(test::waitFor([w] {
        return w->txtパス->selectedText() == QStringLiteral("/songs/list.csv");
    })) << w->txtパス->selectedText().toStdString();
}
