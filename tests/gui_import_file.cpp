// The import button on a local list file, on the real window: the song table
// afterwards, the grid, the progress window, the locked controls and every
// failure leaving the table as it was.
#include "support/import_fixture.h"
#include "support/window_fixture.h"

#include "app/gui/ModMeloDeck.h"
#include "common/clsMousePointer.h"
#include "import/gui/frmWait.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSettings>
#include <QTemporaryDir>
#include <QTreeView>
#include <gtest/gtest.h>

using namespace melodeck;
using test::ImportFixture;
using test::Sjis;

namespace {

const std::vector<test::SongRow> kOldSongs = {
    {QStringLiteral("1"), QStringLiteral("'旧歌手'"), QStringLiteral("'旧曲'")},
    {QStringLiteral("2"), QStringLiteral("'旧2'"), QStringLiteral("'旧曲2'"), QStringLiteral("'x'"),
     QStringLiteral("'○'")}};

frmWait* waitWindow(frmMeloDeck* w) {
    return w->findChild<frmWait*>();
}

// What the window looked like while the import ran.
struct DuringImport {
    bool seen = false;
    bool buttonsLocked = true;
    bool fieldsUsable = true;
    bool busy = true;
    bool waitShown = true;
    int maximum = -1;
    std::vector<int> values;
};

void watch(ImportFixture& f, DuringImport& d) {
    f.onPump = [&f, &d] {
        frmMeloDeck* w = f.w();
        d.seen = true;
        d.buttonsLocked = d.buttonsLocked && !w->cmd取込->isEnabled() && !w->cmd終了->isEnabled() &&
                          !w->cmd抽出->isEnabled() && !w->cmd参照->isEnabled() &&
                          !w->flgList->isEnabled() && !w->flgPickup->isEnabled();
        d.fieldsUsable = d.fieldsUsable && w->txt歌手名->isEnabled() && w->txtパス->isEnabled() &&
                         w->chk曲名に->isEnabled() && w->optハモリ[0]->isEnabled();
        d.busy = d.busy && MousePointer::get() == MousePointer::Hourglass;
        frmWait* wait = waitWindow(w);
        d.waitShown = d.waitShown && wait && wait->isVisible();
        if (wait) {
            d.maximum = wait->prgWait->maximum();
            d.values.push_back(wait->prgWait->value());
        }
    };
}

} // namespace

TEST(ImportFile, ReplacesTheSongsAndShowsThemAll) {
    ImportFixture f;
    f.createDatabase({kOldSongs, {kOldSongs[1]}});
    frmMeloDeck* w = f.start();
    ASSERT_TRUE(w);
    // A search in force and a sort on column 3 are replaced by the whole table.
    w->chk歌手名に->setChecked(true);
    w->txt歌手名->setText(QStringLiteral("旧"));
    w->cmd抽出_Click();
    ASSERT_TRUE(w->bSelected);
    w->lListOrderCol = 3;

    const QByteArray bytes =
        Sjis(QStringLiteral("曲番,歌手名,曲名,歌い出し,ハモリ\r\n\r\n"
                            "123,歌手A, 曲名B ,It's,\r\n0,ゼロ,x,,\r\n-5,負,\"a,b\",  ,○\r\n"
                            "7,少ない\r\n8,a,b,c,d,余分\r\n9,最後,行末なし"));
    const QString list = f.path(QStringLiteral("list.csv"));
    test::WriteBytes(list, bytes);
    DuringImport d;
    watch(f, d);
    f.import(list);

    EXPECT_TRUE(f.warnings.isEmpty()) << f.warnings.join(u'|').toStdString();
    EXPECT_EQ(f.songs(), (std::vector<QStringList>{
                             test::ImportedRow({"123", "歌手A", "曲名B", "It's", "<NULL>"}),
                             test::ImportedRow({"-5", "負", "\"a", "b\"", "<NULL>", "○"}),
                             test::ImportedRow({"7", "少ない", "<NULL>", "<NULL>", "<NULL>"}),
                             test::ImportedRow({"8", "a", "b", "c", "d", "余分"}),
                             test::ImportedRow({"9", "最後", "行末なし", "<NULL>", "<NULL>"}),
                         }));
    // The picked-up song stays although the new list lacks it.
    EXPECT_EQ(test::rows(f.databasePath(), QStringLiteral("SELECT 曲番号 FROM PickupList")).size(),
              1u);

    // Show-all: whole table in key order, search and sort forgotten.
    EXPECT_EQ(w->datList.RecordSource, QStringLiteral("SELECT * FROM MeloDeck ORDER BY 曲番号"));
    EXPECT_FALSE(w->bSelected);
    EXPECT_EQ(w->lListOrderCol, 0);
    ASSERT_EQ(w->flgList->Rows(), 6);
    EXPECT_EQ(w->flgList->TextMatrix(1, 1), QStringLiteral("-5"));
    EXPECT_EQ(w->flgList->TextMatrix(5, 2), QStringLiteral("歌手A"));
    EXPECT_EQ(w->txtパス->text(), list);

    // While it ran: locked buttons and grids, usable fields, busy pointer,
    // the progress window counting bytes up to the file's length (+2 for the
    // last line without end, which the bar shows full).
    ASSERT_TRUE(d.seen);
    EXPECT_TRUE(d.buttonsLocked);
    EXPECT_TRUE(d.fieldsUsable);
    EXPECT_TRUE(d.busy);
    EXPECT_TRUE(d.waitShown);
    EXPECT_EQ(d.maximum, bytes.size());
    ASSERT_FALSE(d.values.empty());
    EXPECT_TRUE(std::is_sorted(d.values.begin(), d.values.end()));
    EXPECT_EQ(d.values.back(), bytes.size());
    // Afterwards: unlocked, pointer back, progress window gone.
    EXPECT_TRUE(f.controlsEnabled());
    EXPECT_EQ(MousePointer::get(), MousePointer::Default);
    EXPECT_EQ(waitWindow(w), nullptr);
}

TEST(ImportFile, TheWindowIsPumpedOnceAFrameNotOnceARow) {
    // A pass over the window's messages after every row would cost more
    // than the row: one when a frame (16 ms) has passed, and one at the end
    // that shows the whole list read.
    ImportFixture f;
    f.createDatabase({kOldSongs});
    ASSERT_TRUE(f.start());
    QByteArray bytes;
    for (int i = 1; i <= 30000; ++i)
        bytes += QByteArray::number(i) + ",singer,title,lyric,\r\n";
    const QString list = f.path(QStringLiteral("list.csv"));
    test::WriteBytes(list, bytes);
    DuringImport d;
    watch(f, d);
    QElapsedTimer t;
    t.start();
    f.import(list);
    const qint64 ms = t.elapsed();
    EXPECT_TRUE(f.warnings.isEmpty()) << f.warnings.join(u'|').toStdString();
    ASSERT_GE(d.values.size(), 2u);
    EXPECT_LE(qint64(d.values.size()), ms / 16 + 3) << ms << " ms";
    EXPECT_TRUE(std::is_sorted(d.values.begin(), d.values.end()));
    EXPECT_EQ(d.values.back(), bytes.size());
}

TEST(ImportFile, ProgressWindowLayout) {
    ImportFixture f;
    f.createDatabase({kOldSongs});
    frmMeloDeck* w = f.start();
    ASSERT_TRUE(w);
    frmWait* seen = nullptr;
    QRect label, bar;
    QString text, title;
    QSize size;
    double points = 0;
    QString family;
    f.onPump = [&] {
        frmWait* wait = waitWindow(w);
        if (!wait || seen)
            return;
        seen = wait;
        size = wait->size();
        title = wait->windowTitle();
        text = wait->Label2->text();
        label = wait->Label2->geometry();
        bar = wait->prgWait->geometry();
        points = wait->Label2->font().pointSizeF();
        family = wait->Label2->font().family();
        EXPECT_EQ(wait->parentWidget(), w);
        EXPECT_FALSE(wait->isModal());
    };
    const QString list = f.path(QStringLiteral("a.csv"));
    test::WriteBytes(list, "1,a\r\n");
    f.import(list);
    ASSERT_TRUE(seen);
    EXPECT_EQ(size, QSize(385, 75));
    EXPECT_TRUE(title.isEmpty());
    EXPECT_EQ(text, QStringLiteral("取り込んでいます．．．"));
    EXPECT_EQ(label, QRect(21, 6, 171, 25));
    EXPECT_EQ(bar, QRect(20, 37, 333, 24));
    EXPECT_DOUBLE_EQ(points, 11.25);
    EXPECT_EQ(family, QStringLiteral("MS UI Gothic"));
}

TEST(ImportFile, FailuresWarnAndLeaveTheTable) {
    ImportFixture f;
    f.createDatabase({kOldSongs});
    test::exec(f.databasePath(),
               QStringLiteral("CREATE TRIGGER boom BEFORE INSERT ON MeloDeck WHEN NEW.曲番号 = 666 "
                              "BEGIN SELECT abs(-9223372036854775807 - 1); END;"),
               true);
    frmMeloDeck* w = f.start();
    ASSERT_TRUE(w);
    const auto before = f.songs();
    const QString source = w->datList.RecordSource;

    // The warning comes while the window is still locked; the progress
    // window is there only when the file could be opened.
    bool lockedAtWarning = true;
    std::vector<bool> waitAtWarning;
    f.onWarning = [&](const QString&) {
        lockedAtWarning = lockedAtWarning && !w->cmd取込->isEnabled();
        waitAtWarning.push_back(waitWindow(w) != nullptr);
    };

    const QString missing = f.path(QStringLiteral("nothere.csv"));
    const QString upper = QStringLiteral("HTTP://127.0.0.1/list.csv");
    const QString page = f.path(QStringLiteral("page.csv"));
    test::WriteBytes(page, "1,a\r\n2,b\r\n404 Not Found\r\n3,c\r\n");
    const QString bad = f.path(QStringLiteral("bad.csv"));
    test::WriteBytes(bad, "1,a\r\n666,b\r\n3,c\r\n");

    struct Case {
        QString source;
        QString warning;
        bool waitShown;
    };
    const Case cases[] = {
        {missing, QStringLiteral("ファイル '%1' が見つかりません。").arg(missing), false},
        {QString(), QStringLiteral("取り込むリストファイルが指定されていません。"), false},
        // Only the exact lower-case prefix is a URL; this is a (missing) path.
        {upper, QStringLiteral("ファイル '%1' が見つかりません。").arg(upper), false},
        {page, QStringLiteral("URLが不正です"), true},
        {bad, QString(), true},
    };
    for (const Case& c : cases) {
        f.warnings.clear();
        waitAtWarning.clear();
        f.import(c.source);
        ASSERT_EQ(f.warnings.size(), 1) << c.source.toStdString();
        if (!c.warning.isEmpty()) {
            EXPECT_EQ(f.warnings[0], c.warning);
        } else {
            EXPECT_FALSE(f.warnings[0].isEmpty()); // the engine's own description
        }
        EXPECT_EQ(waitAtWarning, std::vector<bool>{c.waitShown}) << c.source.toStdString();
        EXPECT_EQ(f.songs(), before) << c.source.toStdString();
        EXPECT_TRUE(f.controlsEnabled());
        EXPECT_EQ(MousePointer::get(), MousePointer::Default);
        EXPECT_EQ(waitWindow(w), nullptr);
        // The grid is not requeried after a failure.
        EXPECT_EQ(w->datList.RecordSource, source);
    }
    EXPECT_TRUE(lockedAtWarning);
    // No path ever reached the download.
    EXPECT_FALSE(QFile::exists(f.downloadPath()));
}

TEST(ImportFile, ListsWithoutDataChangeNothingQuietly) {
    ImportFixture f;
    f.createDatabase({kOldSongs});
    frmMeloDeck* w = f.start();
    ASSERT_TRUE(w);
    const auto before = f.songs();
    for (const QByteArray& bytes :
         {QByteArray(), QByteArray("<html><body>not here</body></html>\r\n")}) {
        w->txt歌手名->setText(QStringLiteral("旧2"));
        w->cmd抽出_Click();
        ASSERT_EQ(w->flgList->Rows(), 2);
        const QString list = f.path(QStringLiteral("empty.csv"));
        test::WriteBytes(list, bytes);
        f.import(list);
        EXPECT_TRUE(f.warnings.isEmpty());
        EXPECT_EQ(f.songs(), before);
        // Requeried as after a list without data lines: every song shows.
        EXPECT_FALSE(w->bSelected);
        EXPECT_EQ(w->flgList->Rows(), 3);
        EXPECT_TRUE(f.controlsEnabled());
    }
}

TEST(ImportFile, BrowseFillsThePathForTheNextImport) {
    ImportFixture f;
    f.createDatabase({kOldSongs});
    frmMeloDeck* w = f.start();
    ASSERT_TRUE(w);
    w->txtパス->setText(QStringLiteral("http://example.invalid/data/200412.csv"));

    f.nextChosenFile.clear(); // cancelled
    w->cmd参照_Click();
    ASSERT_EQ(f.openRequests.size(), 1u);
    const OpenFileRequest& r = f.openRequests[0];
    EXPECT_EQ(r.fileName, QString());
    EXPECT_EQ(r.defaultExt, QStringLiteral("csv"));
    EXPECT_EQ(r.filter, QStringLiteral("csv file(*.csv)|*.csv"));
    EXPECT_EQ(r.initDir, QDir::currentPath());
    EXPECT_EQ(w->txtパス->text(), QStringLiteral("http://example.invalid/data/200412.csv"));

    const QString chosen = f.path(QStringLiteral("選んだ.csv"));
    test::WriteBytes(chosen, Sjis(QStringLiteral("42,選ばれた歌手,曲\r\n")));
    f.nextChosenFile = chosen;
    w->cmd参照_Click();
    EXPECT_EQ(w->txtパス->text(), chosen);
    EXPECT_TRUE(f.songs().size() == 2); // browsing does not import
    w->cmd取込_Click();
    EXPECT_EQ(f.songs(), (std::vector<QStringList>{
                             test::ImportedRow({"42", "選ばれた歌手", "曲", "<NULL>", "<NULL>"})}));
}

TEST(ImportFile, DialogsSpeakJapaneseInTheWindowsFont) {
    const auto translations = ModMeloDeck::InstallTranslations();
    ASSERT_TRUE(translations) << "Qt's Japanese translations are missing";
    ModMeloDeck::InstallFonts();
    const auto japanese = [](const QString& text) {
        for (QChar c : text)
            if (c.unicode() >= 0x3000)
                return true;
        return false;
    };
    QTemporaryDir dir;
    test::WriteBytes(dir.filePath(QStringLiteral("songs.csv")), "1,a\r\n");
    // Qt's dialog remembers its columns among the user's settings: here,
    // columns too narrow for the Japanese titles and dates, as a dialog of an
    // earlier run may have left them.
    QTemporaryDir config;
    const test::ScopedEnv userSettings({"XDG_CONFIG_HOME"}, QFile::encodeName(config.path()));
    {
        QFileDialog earlier;
        earlier.setOption(QFileDialog::DontUseNativeDialog);
        auto* tree = earlier.findChild<QTreeView*>(QStringLiteral("treeView"));
        ASSERT_TRUE(tree);
        for (int s = 1; s < tree->header()->count(); ++s)
            tree->header()->resizeSection(s, 20);
        QSettings(QSettings::UserScope, QStringLiteral("QtProject"))
            .setValue(QStringLiteral("FileDialog/treeViewHeader"), tree->header()->saveState());
    }
    // Into the test's own folder, not the user's settings.
    ASSERT_TRUE(QFile::exists(config.filePath(QStringLiteral("QtProject.conf"))));
    OpenFileRequest r;
    r.defaultExt = QStringLiteral("csv");
    r.filter = QStringLiteral("csv file(*.csv)|*.csv");
    r.initDir = dir.path();
    const auto dialog = ModMeloDeck::MakeOpenFileDialog(r);

    // The filter as it is described, once.
    EXPECT_EQ(dialog->nameFilters(), QStringList{QStringLiteral("csv file(*.csv)")});
    auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    ASSERT_TRUE(types);
    EXPECT_EQ(types->count(), 1);
    EXPECT_EQ(types->currentText(), QStringLiteral("csv file(*.csv)"));
    EXPECT_EQ(dialog->font(), frmMeloDeck::WindowFont());

    // Qt's texts in Japanese: labels, buttons, column titles, and the text
    // fields' own menu.
    for (const char* name : {"lookInLabel", "fileNameLabel", "fileTypeLabel"}) {
        auto* label = dialog->findChild<QLabel*>(QString::fromLatin1(name));
        ASSERT_TRUE(label) << name;
        EXPECT_TRUE(japanese(label->text())) << label->text().toStdString();
    }
    auto* buttons = dialog->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
    ASSERT_TRUE(buttons);
    for (QAbstractButton* b : buttons->buttons())
        EXPECT_TRUE(japanese(b->text())) << b->text().toStdString();
    QLineEdit field;
    const std::unique_ptr<QMenu> menu(field.createStandardContextMenu());
    for (QAction* a : menu->actions())
        EXPECT_TRUE(a->isSeparator() || japanese(a->text())) << a->text().toStdString();

    // Shown in detail, every column holds its title and the file's entry.
    dialog->setViewMode(QFileDialog::Detail);
    ASSERT_TRUE(test::showAndWait(dialog.get()));
    auto* tree = dialog->findChild<QTreeView*>(QStringLiteral("treeView"));
    ASSERT_TRUE(tree);
    ASSERT_TRUE(test::waitFor([&] { return tree->model()->rowCount(tree->rootIndex()) == 1; }));
    QHeaderView* h = tree->header();
    const auto cut = [&] {
        QStringList titles;
        for (int s = 0; s < h->count(); ++s) {
            const QString title = tree->model()->headerData(s, Qt::Horizontal).toString();
            if (!japanese(title))
                ADD_FAILURE() << title.toStdString();
            if (!h->isSectionHidden(s) &&
                h->sectionSize(s) <
                    std::max(h->sectionSizeHint(s),
                             static_cast<QAbstractItemView*>(tree)->sizeHintForColumn(s)))
                titles << title;
        }
        return titles;
    };
    test::waitFor([&] { return cut().isEmpty(); }, 2000);
    EXPECT_EQ(cut(), QStringList());
    dialog->reject();

    // The warning box in the window's font.
    const auto box = ModMeloDeck::MakeWarningBox(QStringLiteral("題"), QStringLiteral("本文"));
    EXPECT_EQ(box->font(), frmMeloDeck::WindowFont());
}
