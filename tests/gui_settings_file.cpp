// The settings file of the real window: what the exit button writes, what
// the next start makes of it, the window position rules, and edited files
// holding values out of any range.
#include "support/common_files.h"
#include "support/hostile_support.h"
#include "support/search_songs.h"
#include "support/store_TestDb.h"
#include "support/window_fixture.h"

#include "common/ModCommon.h"
#include "store/gui/FlexGrid.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

using namespace melodeck;
using melodeck::test::shownNumbers;
using melodeck::test::WindowFixture;

namespace {

class SettingsWindow : public ::testing::Test {
protected:
    void SetUp() override {
        test::createSearchSongs(f.folder());
        test::exec(QDir(f.folder()).filePath(QStringLiteral("MeloDeck.mdb")),
                   QStringLiteral("INSERT INTO PickupList SELECT * FROM MeloDeck"));
    }
    QString iniPath() const { return QDir(f.folder()).filePath(QStringLiteral("Melodeck.ini")); }
    frmMeloDeck* start() {
        frmMeloDeck* w = f.start();
        EXPECT_TRUE(w) << f.warnings.join(QLatin1Char('\n')).toStdString();
        return w;
    }
    // Where start-up centres the window on the current fake screen.
    QPoint centred() {
        WindowFixture other;
        other.screen = f.screen;
        test::createSearchSongs(other.folder());
        frmMeloDeck* w = other.start();
        EXPECT_TRUE(w);
        const QPoint at = w ? w->pos() : QPoint();
        other.stop();
        return at;
    }
    WindowFixture f;
};

} // namespace

TEST_F(SettingsWindow, FileWrittenFromNothing) {
    frmMeloDeck* w = start();
    ASSERT_TRUE(w);
    ASSERT_FALSE(QFile::exists(iniPath()));
    // The state the user leaves behind.
    frmMeloDeck::setChkValue(w->chk歌手名に, 1);
    w->txt歌手名->setText(QStringLiteral("サザン,a"));
    frmMeloDeck::setChkValue(w->chk曲名に, 2);
    w->txt曲名->setText(QStringLiteral("x "));
    frmMeloDeck::setChkValue(w->chk歌い出しに, 0);
    w->txt歌い出し->clear();
    w->optハモリ[2]->setChecked(true);
    test::clickCell(w->flgList, 0, 3);
    test::clickCell(w->flgList, 0, 3);
    w->cmd抽出->click();               // finds nothing
    w->optハモリ[1]->setChecked(true); // changed after the search: saved as shown
    test::clickCell(w->flgPickup, 0, 2);
    w->txtパス->setText(QStringLiteral("http://songs.example/data/200412.csv"));
    for (int c = 0; c < w->flgList->Cols(); ++c)
        w->flgList->setColWidth(c, 300 + 150 * c);
    w->move(100, 50);
    w->cmd終了->click();
    ASSERT_TRUE(w->ended());

    QByteArray expected = "[Position]\r\nWidth=1280\r\nHeight=1024\r\nLeft=100\r\nTop=50\r\n"
                          "[ListGrid]\r\nNumColumns=9\r\n";
    for (int i = 1; i <= 9; ++i)
        expected += "Widht" + QByteArray::number(i) + "=" +
                    QByteArray::number(300 + 150 * (i - 1)) + "\r\n";
    expected += "Selected=1\r\nOrderCol=3\r\nOrderDesc=1\r\n"
                "[PickupGrid]\r\nOrderCol=2\r\nOrderDesc=0\r\n"
                "[PickupCond]\r\nCond1=1,\x83\x54\x83\x55\x83\x93,a\r\nCond2=0,x \r\nCond3=0,\r\n"
                "Hamori=1\r\n"
                "[CSV]\r\nPath=http://songs.example/data/200412.csv\r\n";
    EXPECT_EQ(test::ReadBytes(iniPath()).toStdString(), expected.toStdString());
}

TEST_F(SettingsWindow, SaveRestartAndCompare) {
    frmMeloDeck* w = start();
    ASSERT_TRUE(w);
    frmMeloDeck::setChkValue(w->chk歌手名に, 0);
    w->txt歌手名->setText(QStringLiteral("unticked, kept"));
    frmMeloDeck::setChkValue(w->chk曲名に, 1);
    w->txt曲名->setText(QStringLiteral("o "));
    frmMeloDeck::setChkValue(w->chk歌い出しに, 1);
    w->txt歌い出し->clear();
    w->optハモリ[0]->setChecked(true);
    test::clickCell(w->flgList, 0, 1);
    test::clickCell(w->flgList, 0, 1); // number, descending
    w->cmd抽出->click();
    EXPECT_EQ(shownNumbers(w->flgList), QString()); // the blank is part of the pattern
    test::clickCell(w->flgPickup, 0, 4);
    test::clickCell(w->flgPickup, 0, 4);
    w->flgList->setColWidth(2, 2400);
    // A signed download link of any length, pasted: kept whole and read back whole.
    const QString link = QStringLiteral("http://songs.example/data/list.csv?sig=") +
                         QString(40000, QLatin1Char('s'));
    w->txtパス->clear();
    w->txtパス->insert(link);
    EXPECT_EQ(w->txtパス->text(), link);
    w->move(30, 40);
    w->cmd終了->click();
    f.stop();

    w = start();
    ASSERT_TRUE(w);
    EXPECT_EQ(frmMeloDeck::chkValue(w->chk歌手名に), 0);
    EXPECT_EQ(w->txt歌手名->text(), QStringLiteral("unticked, kept"));
    EXPECT_EQ(frmMeloDeck::chkValue(w->chk曲名に), 1);
    EXPECT_EQ(w->txt曲名->text(), QStringLiteral("o")); // trailing blank gone
    EXPECT_EQ(frmMeloDeck::chkValue(w->chk歌い出しに), 1);
    EXPECT_TRUE(w->optハモリ[0]->isChecked());
    EXPECT_EQ(w->txtパス->text(), link);
    EXPECT_EQ(w->lListOrderCol, 1);
    EXPECT_TRUE(w->bListOrderDesc);
    EXPECT_EQ(w->lPickupOrderCol, 4);
    EXPECT_TRUE(w->bPickupOrderDesc);
    // The search is active again, with the restored conditions.
    EXPECT_TRUE(w->bSelected);
    EXPECT_EQ(
        w->datList.RecordSource,
        QStringLiteral("SELECT * FROM MeloDeck WHERE 1=1 AND 曲名 LIKE '*o*' AND ハモリ IS NOT "
                       "NULL ORDER BY 曲番号 DESC "));
    EXPECT_EQ(shownNumbers(w->flgList), QStringLiteral("8,2"));
    EXPECT_EQ(w->datPickup.RecordSource,
              QStringLiteral("SELECT * FROM PickupList ORDER BY 歌い出し DESC "));
    EXPECT_EQ(w->flgList->ColWidth(2), 2400);
    EXPECT_EQ(w->flgPickup->ColWidth(2), 2400);
    EXPECT_EQ(w->pos(), QPoint(30, 40));

    // Show all, leave, come back: the whole list, first field ascending, column 0 kept.
    w->cmd抽出解除->click();
    w->cmd終了->click();
    f.stop();
    w = start();
    ASSERT_TRUE(w);
    EXPECT_FALSE(w->bSelected);
    EXPECT_EQ(w->lListOrderCol, 0);
    EXPECT_EQ(w->datList.RecordSource, QStringLiteral("SELECT * FROM MeloDeck ORDER BY 曲番号"));

    // Another screen size: the stored position is not used.
    w->cmd終了->click();
    f.stop();
    f.screen = QSize(1920, 1080);
    w = start();
    ASSERT_TRUE(w);
    EXPECT_EQ(w->pos(), centred());
    EXPECT_TRUE(f.warnings.isEmpty()) << f.warnings.join(QLatin1Char('\n')).toStdString();
}

TEST_F(SettingsWindow, PositionRules) {
    auto startAt = [&](const QString& left, const QString& top) {
        f.stop();
        f.ini(QStringLiteral("Position"), QStringLiteral("Width"), QStringLiteral("1280"));
        f.ini(QStringLiteral("Position"), QStringLiteral("Height"), QStringLiteral("1024"));
        f.ini(QStringLiteral("Position"), QStringLiteral("Left"), left);
        f.ini(QStringLiteral("Position"), QStringLiteral("Top"), top);
        return start();
    };
    frmMeloDeck* w = startAt(QStringLiteral("12"), QStringLiteral("34"));
    ASSERT_TRUE(w);
    EXPECT_EQ(w->pos(), QPoint(12, 34));
    const QSize size = w->size(); // as start-up measured it

    // Each of the four conditions keeps the window centred.
    const QPoint middle = centred();
    const std::pair<QString, QString> stay[] = {
        {QStringLiteral("0"), QStringLiteral("34")},
        {QStringLiteral("12"), QStringLiteral("0")},
        {QString::number(1280 - size.width()), QStringLiteral("34")},
        {QStringLiteral("12"), QString::number(1024 - size.height())},
        {QStringLiteral("-5000"), QStringLiteral("34")},
        {QStringLiteral("1e308"), QStringLiteral("34")},
        {QStringLiteral("12"), QStringLiteral("-1e308")},
        {QStringLiteral("NaN"), QStringLiteral("NaN")},
        {QStringLiteral("4294967308"), QStringLiteral("34")},
    };
    for (const auto& [left, top] : stay) {
        w = startAt(left, top);
        ASSERT_TRUE(w) << left.toStdString();
        EXPECT_EQ(w->pos(), middle) << left.toStdString() << "," << top.toStdString();
    }
    w = startAt(QString::number(1279 - size.width()), QString::number(1023 - size.height()));
    ASSERT_TRUE(w);
    EXPECT_EQ(w->pos(), QPoint(1279 - size.width(), 1023 - size.height()));

    // A window left slightly off the left edge is stored as a negative edge,
    // and is centred at the next start.
    w->move(-7, 20);
    w->cmd終了->click();
    f.stop();
    EXPECT_TRUE(test::ReadBytes(iniPath()).contains("Left=-7\r\nTop=20\r\n"));
    w = start();
    ASSERT_TRUE(w);
    EXPECT_EQ(w->pos(), centred());
    EXPECT_TRUE(f.warnings.isEmpty()) << f.warnings.join(QLatin1Char('\n')).toStdString();
}

TEST_F(SettingsWindow, ConditionValuesAsRead) {
    f.ini(QStringLiteral("PickupCond"), QStringLiteral("Cond1"), QStringLiteral("1,abc,def"));
    f.ini(QStringLiteral("PickupCond"), QStringLiteral("Cond2"), QStringLiteral("abc"));
    f.ini(QStringLiteral("PickupCond"), QStringLiteral("Cond3"), QStringLiteral("7,  x"));
    f.ini(QStringLiteral("CSV"), QStringLiteral("Path"), QString());
    frmMeloDeck* w = start();
    ASSERT_TRUE(w);
    EXPECT_EQ(frmMeloDeck::chkValue(w->chk歌手名に), 1);
    EXPECT_EQ(w->txt歌手名->text(), QStringLiteral("abc,def"));
    EXPECT_EQ(frmMeloDeck::chkValue(w->chk曲名に), 0);
    EXPECT_EQ(w->txt曲名->text(), QString());
    EXPECT_EQ(frmMeloDeck::chkValue(w->chk歌い出しに), 1);
    EXPECT_EQ(w->txt歌い出し->text(), QStringLiteral("  x"));
    EXPECT_TRUE(w->optハモリ[0]->isChecked()); // no "Hamori": has a harmony part
    EXPECT_TRUE(w->txtパス->text().isEmpty());

    for (const char* value : {"2", "1.5", "-1", "1e308"}) {
        f.stop();
        f.ini(QStringLiteral("PickupCond"), QStringLiteral("Hamori"), QString::fromLatin1(value));
        w = start();
        ASSERT_TRUE(w);
        EXPECT_TRUE(w->optハモリ[2]->isChecked()) << value;
    }
    f.stop();
    f.ini(QStringLiteral("PickupCond"), QStringLiteral("Hamori"), QStringLiteral("1"));
    w = start();
    ASSERT_TRUE(w);
    EXPECT_TRUE(w->optハモリ[1]->isChecked());
}

TEST_F(SettingsWindow, EditedFileKeepsItsOtherLines) {
    const QByteArray before = "; hand-written\r\n[MDB]\r\nPath=MeloDeck.mdb\r\n"
                              "[ListGrid]\r\nNumColumns=12\r\nWidht12=777\r\nOrderCol=99999\r\n"
                              "[PickupCond]\r\nCond1=1,old\r\n";
    test::WriteBytes(iniPath(), before);
    frmMeloDeck* w = start();
    ASSERT_TRUE(w);
    EXPECT_EQ(w->datList.RecordSource, QStringLiteral("SELECT * FROM MeloDeck ORDER BY 曲番号"));
    w->cmd終了->click();
    const QByteArray after = test::ReadBytes(iniPath());
    EXPECT_TRUE(after.startsWith("; hand-written\r\n[MDB]\r\nPath=MeloDeck.mdb\r\n[ListGrid]\r\n"
                                 "NumColumns=9\r\nWidht12=777\r\nOrderCol=99999\r\n"))
        << after.toStdString();
    EXPECT_TRUE(after.contains("[PickupCond]\r\nCond1=1,old\r\nCond2=0,\r\n"));
    EXPECT_EQ(after.count("[MDB]"), 1);
    EXPECT_EQ(after.count("Path="), 2); // MDB's and the list source's
}

TEST_F(SettingsWindow, FullDiskAtExitKeepsTheSettingsFile) {
    frmMeloDeck* w = start();
    ASSERT_TRUE(w);
    w->cmd終了->click();
    f.stop();
    const QByteArray saved = test::ReadBytes(iniPath());
    ASSERT_GT(saved.size(), 300);

    // Every write at exit fails, at the first byte or part-way through.
    for (const long long limit : {0LL, 150LL, saved.size() / 2LL}) {
        w = start();
        ASSERT_TRUE(w);
        w->txt曲名->setText(QStringLiteral("changed"));
        w->flgList->setColWidth(2, 3333);
        w->move(50, 60);
        {
            test::FileSizeLimit disk(limit);
            w->cmd終了->click();
        }
        EXPECT_TRUE(w->ended()) << limit;
        EXPECT_FALSE(test::anyWindowVisible()) << limit;
        f.stop();
        EXPECT_EQ(test::ReadBytes(iniPath()), saved) << "limit " << limit;
        EXPECT_EQ(QDir(f.folder()).entryList({QStringLiteral("*.tmp")}, QDir::Files | QDir::Hidden),
                  QStringList());
    }
    EXPECT_TRUE(f.warnings.isEmpty()) << f.warnings.join(QLatin1Char('\n')).toStdString();
}

TEST_F(SettingsWindow, AbsurdValuesLeaveAUsableWindow) {
    const QByteArray absurd = "[Position]\r\nWidth=1280\r\nHeight=1024\r\nLeft=1e308\r\nTop=NaN\r\n"
                              "[ListGrid]\r\nNumColumns=99999\r\nWidht1=1e12\r\nWidht2=-5000\r\n"
                              "Widht3=1e308\r\nWidht4=NaN\r\nSelected=1e308\r\nOrderCol=99999\r\n"
                              "OrderDesc=-1\r\n[PickupGrid]\r\nOrderCol=-2147483649\r\n"
                              "OrderDesc=1e308\r\n[PickupCond]\r\nCond1=1e308,[\r\n"
                              "Cond2=NaN,b\r\nHamori=1e308\r\n";
    test::WriteBytes(iniPath(), absurd);
    frmMeloDeck* w = start();
    ASSERT_TRUE(w);
    // The stored search has an unclosed "[": a warning, and the whole list.
    EXPECT_EQ(f.warnings.size(), 1);
    EXPECT_EQ(w->flgList->Rows(), 10);
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->pos(), centred());
    // Widths beyond the grid's reach are its widest; negative or no
    // numbers keep the default.
    std::vector<int> widths(9, FlexGrid::DefaultColWidth);
    widths[0] = widths[2] = FlexGrid::MaxColWidth;
    for (FlexGrid* grid : {w->flgList, w->flgPickup}) {
        std::vector<int> got;
        for (int c = 0; c < grid->Cols(); ++c)
            got.push_back(grid->ColWidth(c));
        EXPECT_EQ(got, widths);
    }
    EXPECT_TRUE(w->optハモリ[2]->isChecked());

    // The window works: search, sort both grids, and leave.
    w->txt歌手名->setText(QStringLiteral("サザン"));
    w->cmd抽出->click();
    // Column 99999 stands for column 1, ascending.
    EXPECT_EQ(shownNumbers(w->flgList), QStringLiteral("1,2"));
    test::clickCell(w->flgList, 0, 2);
    EXPECT_EQ(w->lListOrderCol, 2);
    test::clickCell(w->flgPickup, 0, 1);
    EXPECT_EQ(w->lPickupOrderCol, 1);
    EXPECT_EQ(test::gridColumn(w->flgPickup, 1).first(), QStringLiteral("1"));
    w->cmd終了->click();
    EXPECT_TRUE(w->ended());
    EXPECT_TRUE(test::ReadBytes(iniPath()).contains("NumColumns=9\r\n"));
    EXPECT_EQ(f.warnings.size(), 1);
}
