// Start-up of the real window on a real database and settings file, the
// failures that stop it, and the two ways of ending the program.
#include "support/common_files.h"
#include "support/store_TestDb.h"
#include "support/window_fixture.h"

#include "app/gui/AppIcon.h"
#include "app/gui/ModMeloDeck.h"
#include "common/VbError.h"
#include "common/clsMousePointer.h"
#include "store/gui/FlexGrid.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSpontaneKeyEvent>
#include <gtest/gtest.h>

using namespace melodeck;
using melodeck::test::WindowFixture;

namespace {

const QString kPrefix = QStringLiteral("バグったかな・・・");

} // namespace

TEST(WindowStartup, FirstStartOpensTheDatabaseBesideTheProgram) {
    WindowFixture f;
    f.createDatabase(4);
    frmMeloDeck* w = f.start();
    ASSERT_TRUE(w) << f.warnings.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(f.warnings.isEmpty());

    // Record sources end with the order clause of the first field.
    EXPECT_EQ(w->datList.RecordSource, QStringLiteral("SELECT * FROM MeloDeck ORDER BY 曲番号"));
    EXPECT_EQ(w->datPickup.RecordSource,
              QStringLiteral("SELECT * FROM PickupList ORDER BY 曲番号"));
    EXPECT_EQ(w->datList.DatabaseName, QDir(f.folder()).filePath(QStringLiteral("MeloDeck.mdb")));
    EXPECT_EQ(w->datList.sharedDatabase(), w->datPickup.sharedDatabase());
    EXPECT_EQ(w->sListTable, QStringLiteral("MeloDeck"));
    EXPECT_EQ(w->sPickupTable, QStringLiteral("PickupList"));
    const QStringList names = {QString(),
                               QStringLiteral("曲番号"),
                               QStringLiteral("歌手名"),
                               QStringLiteral("曲名"),
                               QStringLiteral("歌い出し"),
                               QStringLiteral("ハモリ"),
                               QStringLiteral("作詞者"),
                               QStringLiteral("作曲者"),
                               QStringLiteral("演奏時間")};
    EXPECT_EQ(w->sColName, names);

    // Both grids filled; the songs went in with falling numbers.
    EXPECT_EQ(w->flgList->Rows(), 5);
    EXPECT_EQ(w->flgList->Cols(), 9);
    EXPECT_EQ(test::gridColumn(w->flgList, 1),
              (QStringList{QStringLiteral("97"), QStringLiteral("98"), QStringLiteral("99"),
                           QStringLiteral("100")}));
    EXPECT_EQ(w->flgPickup->Rows(), 1); // header only
    EXPECT_EQ(w->flgPickup->Cols(), 9);
    // No stored widths: the defaults.
    EXPECT_EQ(w->flgList->ColWidth(0), FlexGrid::DefaultFixedWidth);
    EXPECT_EQ(w->flgList->ColWidth(2), FlexGrid::DefaultColWidth);

    // Shown, fixed in size, centred, without maximise or close button.
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->size(), QSize(652, 625));
    EXPECT_EQ(w->minimumSize(), w->maximumSize());
    EXPECT_FALSE(w->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(w->windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_EQ(w->pos(), QPoint((1280 - 652) / 2, (1024 - 625) / 2));
    EXPECT_EQ(w->focusWidget(), w->txt歌手名);
    EXPECT_EQ(w->windowTitle(), QStringLiteral("メロデッキ配信曲検索ツール Ver. 1.14"));
    // The icon of the menu entry and the icon theme, at 32 × 32.
    EXPECT_EQ(w->windowIcon().pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32),
              AppIcon::Image(32).convertToFormat(QImage::Format_ARGB32));
    // The busy cursor of the load is gone again.
    EXPECT_EQ(MousePointer::get(), MousePointer::Default);
}

TEST(WindowStartup, SettingsChooseTablesSortOrdersAndWidths) {
    WindowFixture f;
    const QString db = f.createDatabase(3, QStringLiteral("songs.mdb"));
    test::exec(db, QStringLiteral("ALTER TABLE MeloDeck RENAME TO Songs; "
                                  "ALTER TABLE PickupList RENAME TO Picked;"));
    f.ini(QStringLiteral("MDB"), QStringLiteral("Path"), QStringLiteral("songs.mdb"));
    f.ini(QStringLiteral("MDB"), QStringLiteral("ListTableName"), QStringLiteral("Songs"));
    f.ini(QStringLiteral("MDB"), QStringLiteral("PickupTableName"), QStringLiteral("Picked"));
    f.ini(QStringLiteral("ListGrid"), QStringLiteral("OrderCol"), QStringLiteral("3"));
    f.ini(QStringLiteral("ListGrid"), QStringLiteral("OrderDesc"), QStringLiteral("1"));
    // Beyond 32 bits: an edited file, read as 0 (the first field).
    f.ini(QStringLiteral("PickupGrid"), QStringLiteral("OrderCol"), QStringLiteral("99999999999"));
    f.ini(QStringLiteral("PickupGrid"), QStringLiteral("OrderDesc"), QStringLiteral("1"));
    f.ini(QStringLiteral("ListGrid"), QStringLiteral("NumColumns"), QStringLiteral("3"));
    f.ini(QStringLiteral("ListGrid"), QStringLiteral("Widht1"), QStringLiteral("0"));
    f.ini(QStringLiteral("ListGrid"), QStringLiteral("Widht2"), QStringLiteral("1000"));
    f.ini(QStringLiteral("ListGrid"), QStringLiteral("Widht3"), QStringLiteral("2250.4 twips"));
    f.ini(QStringLiteral("ListGrid"), QStringLiteral("Widht4"), QStringLiteral("3000"));

    frmMeloDeck* w = f.start();
    ASSERT_TRUE(w) << f.warnings.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(w->datList.DatabaseName, db);
    EXPECT_EQ(w->datList.RecordSource, QStringLiteral("SELECT * FROM Songs ORDER BY 曲名 DESC "));
    EXPECT_EQ(w->datPickup.RecordSource, QStringLiteral("SELECT * FROM Picked ORDER BY 曲番号"));
    EXPECT_EQ(w->lPickupOrderCol, 0);
    EXPECT_EQ(test::gridColumn(w->flgList, 3),
              (QStringList{QStringLiteral("曲2"), QStringLiteral("曲1"), QStringLiteral("曲0")}));

    // Widht1 = 0 keeps column 0; Widht4 lies beyond NumColumns and is not read.
    for (const FlexGrid* g : {w->flgList, w->flgPickup}) {
        EXPECT_EQ(g->ColWidth(0), FlexGrid::DefaultFixedWidth);
        EXPECT_EQ(g->ColWidth(1), 1000);
        EXPECT_EQ(g->columnWidth(0), 67); // pixels
        EXPECT_EQ(g->ColWidth(2), 2250);
        EXPECT_EQ(g->ColWidth(3), FlexGrid::DefaultColWidth);
    }
}

TEST(WindowStartup, DatabasePathWithAFolderIsTakenAsGiven) {
    // An absolute path elsewhere.
    {
        WindowFixture f;
        QTemporaryDir other;
        const QString db =
            test::createSongDb(other.path(), {test::countdownSongs(2)}, QStringLiteral("x.mdb"));
        f.ini(QStringLiteral("MDB"), QStringLiteral("Path"), db);
        frmMeloDeck* w = f.start();
        ASSERT_TRUE(w);
        EXPECT_EQ(w->datList.DatabaseName, db);
        EXPECT_EQ(w->flgList->Rows(), 3);
    }
    // A relative path with a folder is not put under the program folder:
    // it is found from the current folder.
    {
        WindowFixture f;
        QTemporaryDir cwd;
        ASSERT_TRUE(QDir(cwd.path()).mkdir(QStringLiteral("sub")));
        test::createSongDb(cwd.path() + QStringLiteral("/sub"), {test::countdownSongs(1)},
                           QStringLiteral("songs.mdb"));
        f.ini(QStringLiteral("MDB"), QStringLiteral("Path"), QStringLiteral("sub/songs.mdb"));
        frmMeloDeck* w = nullptr;
        {
            const test::ScopedCurrentDir here(cwd.path());
            w = f.start();
        }
        ASSERT_TRUE(w) << f.warnings.join(QLatin1Char('\n')).toStdString();
        EXPECT_EQ(w->datList.DatabaseName, QStringLiteral("sub/songs.mdb"));
        EXPECT_EQ(w->flgList->Rows(), 2);
    }
    // A backslash also marks a folder: no program folder in front.
    {
        WindowFixture f;
        f.createDatabase(1, QStringLiteral("sub\\songs.mdb"));
        f.ini(QStringLiteral("MDB"), QStringLiteral("Path"), QStringLiteral("sub\\songs.mdb"));
        EXPECT_EQ(f.start(), nullptr);
        ASSERT_EQ(f.warnings.size(), 1);
        EXPECT_TRUE(f.warnings[0].contains(QStringLiteral("sub\\songs.mdb")))
            << f.warnings[0].toStdString();
    }
}

TEST(WindowStartup, ActiveSearchIsRunAgain) {
    WindowFixture f;
    f.createDatabase(6);
    f.ini(QStringLiteral("ListGrid"), QStringLiteral("Selected"), QStringLiteral("1"));
    f.ini(QStringLiteral("PickupCond"), QStringLiteral("Cond2"), QStringLiteral("1,曲3"));
    frmMeloDeck* w = f.start();
    ASSERT_TRUE(w);
    EXPECT_TRUE(w->bSelected);
    EXPECT_EQ(
        w->datList.RecordSource,
        QStringLiteral("SELECT * FROM MeloDeck WHERE 1=1 AND 曲名 LIKE '*曲3*' AND ハモリ IS NOT "
                       "NULL ORDER BY 曲番号"));
    EXPECT_EQ(test::gridColumn(w->flgList, 3), QStringList{QStringLiteral("曲3")});
}

TEST(WindowStartup, FailuresWarnAndShowNoWindow) {
    struct Case {
        const char* what;
        std::function<void(WindowFixture&)> prepare;
        QString description; // "<folder>" stands for the program folder
    };
    std::vector<Case> cases = {
        {"no database", [](WindowFixture&) {},
         QStringLiteral("ファイル '<folder>/MeloDeck.mdb' が見つかりません。")},
        {"no song table",
         [](WindowFixture& f) {
             f.createDatabase(1);
             f.ini(QStringLiteral("MDB"), QStringLiteral("ListTableName"),
                   QStringLiteral("Nowhere"));
         },
         QStringLiteral("テーブル 'Nowhere' が見つかりません。")},
        {"column count not a number",
         [](WindowFixture& f) {
             f.createDatabase(1);
             f.ini(QStringLiteral("ListGrid"), QStringLiteral("NumColumns"), QStringLiteral("abc"));
         },
         VbError::typeMismatch().description()},
    };
    // The pickup list under the song table's name (in any letter case,
    // quoted, bracketed, with the database in front), or the other way round:
    // clearing the pickup list would delete every song.
    const std::pair<QString, QString> oneTable[] = {
        {QStringLiteral("MeloDeck"), QStringLiteral("MeloDeck")},
        {QStringLiteral("MeloDeck"), QStringLiteral("[MELODECK]")},
        {QStringLiteral("MeloDeck"), QStringLiteral("main . \"melodeck\"")},
        {QStringLiteral("`pickuplist`"), QStringLiteral("PickupList")},
    };
    for (const auto& [list, pickup] : oneTable) {
        const QString table = list.contains(QStringLiteral("pickup")) ? QStringLiteral("PickupList")
                                                                      : QStringLiteral("MeloDeck");
        cases.push_back(
            {"one table under both names",
             [list, pickup](WindowFixture& f) {
                 f.createDatabase(3);
                 f.ini(QStringLiteral("MDB"), QStringLiteral("ListTableName"), list);
                 f.ini(QStringLiteral("MDB"), QStringLiteral("PickupTableName"), pickup);
             },
             QStringLiteral("曲のテーブル '%1' とピックアップリストのテーブル '%2' は同じテーブル "
                            "'%3' です。設定ファイルの [MDB] の ListTableName と PickupTableName "
                            "には別々のテーブルを指定してください。")
                 .arg(list, pickup, table)});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WindowFixture f;
        c.prepare(f);
        EXPECT_EQ(f.start(), nullptr);
        EXPECT_FALSE(test::anyWindowVisible());
        ASSERT_EQ(f.warnings.size(), 1);
        const QString text = f.warnings[0];
        EXPECT_EQ(text,
                  kPrefix + QString(c.description).replace(QStringLiteral("<folder>"), f.folder()));
        EXPECT_EQ(MousePointer::get(), MousePointer::Default);
    }
}

TEST(WindowStartup, NumColumnsAbsentOrOversizedWidthsAreNoFailure) {
    WindowFixture f;
    f.createDatabase(1);
    f.ini(QStringLiteral("ListGrid"), QStringLiteral("Widht2"), QStringLiteral("1800"));
    frmMeloDeck* w = f.start();
    ASSERT_TRUE(w);
    EXPECT_EQ(w->flgList->ColWidth(1), FlexGrid::DefaultColWidth); // no count: nothing applied
    f.stop();

    // Wider than the grid allows: the widest column, in both grids.
    f.ini(QStringLiteral("ListGrid"), QStringLiteral("NumColumns"), QStringLiteral("5"));
    f.ini(QStringLiteral("ListGrid"), QStringLiteral("Widht3"), QStringLiteral("1E+300"));
    f.ini(QStringLiteral("ListGrid"), QStringLiteral("Widht4"), QStringLiteral("100001"));
    f.ini(QStringLiteral("ListGrid"), QStringLiteral("Widht5"), QStringLiteral("100000"));
    w = f.start();
    ASSERT_TRUE(w) << f.warnings.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(w->flgList->ColWidth(1), 1800);
    for (FlexGrid* grid : {w->flgList, w->flgPickup})
        for (int col : {2, 3, 4})
            EXPECT_EQ(grid->ColWidth(col), FlexGrid::MaxColWidth) << col;
}

TEST(WindowExit, ExitButtonSavesAndEnds_CloseEndsWithoutSaving) {
    WindowFixture f;
    f.createDatabase(2);
    f.ini(QStringLiteral("ListGrid"), QStringLiteral("NumColumns"), QStringLiteral("9"));
    const QString iniPath = QDir(f.folder()).filePath(QStringLiteral("Melodeck.ini"));

    frmMeloDeck* w = f.start();
    ASSERT_TRUE(w);
    const QByteArray before = test::ReadBytes(iniPath);
    w->txt歌手名->setText(QStringLiteral("閉じる"));
    // The window manager's close request (a close box it draws anyway,
    // Alt+F4) does nothing, as the disabled close box; nor does maximising.
    QCloseEvent request; // delivered as the window system delivers it
    QSpontaneKeyEvent::setSpontaneous(&request);
    QCoreApplication::instance()->notify(w, &request);
    EXPECT_FALSE(request.isAccepted());
    EXPECT_FALSE(w->ended());
    EXPECT_TRUE(w->isVisible());
    const QSize size = w->size();
    w->showMaximized();
    EXPECT_TRUE(test::waitFor([w] { return !w->isMaximized(); }));
    EXPECT_EQ(w->size(), size);
    // The end of the session, where Qt closes every window itself.
    QEvent quit(QEvent::Quit);
    QApplication::sendEvent(QCoreApplication::instance(), &quit);
    EXPECT_TRUE(w->ended());
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(test::ReadBytes(iniPath), before);
    f.stop();

    w = f.start();
    ASSERT_TRUE(w);
    w->txt歌手名->setText(QStringLiteral("終了"));
    w->cmd終了->click();
    EXPECT_TRUE(w->ended());
    EXPECT_FALSE(w->isVisible());
    EXPECT_NE(test::ReadBytes(iniPath), before);
    EXPECT_EQ(MousePointer::get(), MousePointer::Default);
    // Nothing runs any more once ended.
    const QString source = w->datList.RecordSource;
    w->cmd抽出->click();
    EXPECT_EQ(w->datList.RecordSource, source);
}

TEST(WindowProcess, ExecutableExitsNonZeroAfterStartFailure) {
    const QString built = QStringLiteral(MELODECK_BINARY_DIR "/program/MeloDeck");
    ASSERT_TRUE(QFile::exists(built)) << "build the MeloDeck target first";
    QTemporaryDir dir; // a program folder (it has settings) without a database
    const QString exe = QDir(dir.path()).filePath(QStringLiteral("MeloDeck"));
    ASSERT_TRUE(QFile::copy(built, exe));
    test::WriteBytes(QDir(dir.path()).filePath(QStringLiteral("Melodeck.ini")), "[CSV]\r\n");

    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    p.setProcessEnvironment(env);
    p.start(exe, {});
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_NE(p.exitCode(), 0);
    const QString err = QString::fromUtf8(p.readAllStandardError());
    EXPECT_TRUE(err.contains(kPrefix)) << err.toStdString();
}
