// Broken files on the real window: song lists that are binary, hold a 10 MB
// line, NUL bytes or unreadable code page 932, or are no file at all (a
// named pipe, a device, a socket, a folder); settings files that are
// binary, cut off, 10 MB long, repeated or full of absurd numbers; database
// files that are no database, cut off, read-only, locked or short of tables
// and fields. Each gives a clear warning (or the start-up failure), never a
// crash, and no file changes that nobody asked to change.
#include "support/common_files.h"
#include "support/hostile_support.h"
#include "support/import_fixture.h"
#include "support/store_TestDb.h"
#include "support/window_fixture.h"

#include "common/Cp932.h"
#include "common/SafeFile.h"
#include "common/VbError.h"
#include "store/gui/FlexGrid.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QUrl>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

using namespace melodeck;
using namespace Qt::Literals::StringLiterals;
using test::ImportFixture;
using test::Sjis;
using test::Snapshot;
using test::WindowFixture;

namespace {

const QString kStartFailure = u"バグったかな・・・"_s;

const std::vector<test::SongRow> kTwoSongs = {
    {u"1"_s, u"'歌手'"_s, u"'曲'"_s}, {u"2"_s, u"'歌手2'"_s, u"'曲2'"_s, u"NULL"_s, u"'○'"_s}};

QByteArray randomBytes(qsizetype n, quint32 seed) {
    QByteArray b(n, '\0');
    QRandomGenerator random(seed);
    for (char& c : b)
        c = char(random.bounded(256));
    return b;
}

} // namespace

// ---- song lists ---------------------------------------------------------------------

TEST(HostileSongList, BrokenListsWarnOrImportWhatTheRulesSay) {
    ImportFixture f;
    f.createDatabase({{{u"1"_s, u"'旧歌手'"_s, u"'旧曲'"_s}}});
    frmMeloDeck* w = f.start();
    ASSERT_TRUE(w);
    auto oldSongs = f.songs();
    const QString list = f.path(u"list.csv"_s);

    struct Case {
        const char* what;
        QByteArray bytes;
        QString warning; // "" for none
    };
    const QByteArray header = Sjis(u"曲番,歌手名,曲名,歌い出し,ハモリ\r\n"_s);
    QByteArray nul = header + Sjis(u"101,歌手,曲,歌い出し,\r\n"_s);
    nul += QByteArray("102,a\0b,c,d,\r\n", 14);
    const Case refused[] = {
        // Random bytes: some "lines" begin with digits, but a NUL gives the
        // file away long before the end.
        {"binary", randomBytes(256 * 1024, 1), u"テキストのリストではありません。"_s},
        {"NUL bytes", nul, u"の 3 行目に NUL 文字があります。"_s},
        // UTF-8 with a NUL: the NUL still gives it away.
        {"UTF-8 and a NUL", "\xEF\xBB\xBF" + nul.mid(header.size()), u"NUL 文字があります"_s},
    };
    for (const Case& c : refused) {
        SCOPED_TRACE(c.what);
        test::WriteBytes(list, c.bytes);
        f.warnings.clear();
        const auto before = Snapshot(f.folder());
        f.import(list);
        ASSERT_EQ(f.warnings.size(), 1);
        EXPECT_TRUE(f.warnings[0].contains(c.warning)) << f.warnings[0].toStdString();
        EXPECT_TRUE(f.warnings[0].contains(list)) << f.warnings[0].toStdString();
        EXPECT_EQ(f.songs(), oldSongs);
        EXPECT_EQ(test::ChangedFiles(before, Snapshot(f.folder())), QStringList());
        EXPECT_TRUE(f.controlsEnabled());
    }

    // A UTF-8 list, with a byte-order mark or without, is read as UTF-8:
    // no mojibake, the harmony mark stays.
    for (const QByteArray& mark : {QByteArray("\xEF\xBB\xBF"), QByteArray()}) {
        test::WriteBytes(list, mark + (u"101,歌手あ,曲,歌い出し,○\r\n"_s).toUtf8());
        f.warnings.clear();
        f.import(list);
        EXPECT_TRUE(f.warnings.isEmpty()) << f.warnings.join(u'|').toStdString();
        EXPECT_EQ(f.songs(), (std::vector<QStringList>{
                                 test::ImportedRow({"101", "歌手あ", "曲", "歌い出し", "○"})}));
    }
    test::WriteBytes(list, header + Sjis(u"1,旧歌手,旧曲,,\r\n"_s));
    f.import(list);
    oldSongs = f.songs();
    ASSERT_EQ(oldSongs,
              std::vector{test::ImportedRow({"1", "旧歌手", "旧曲", "<NULL>", "<NULL>"})});

    // Bytes that are no code page 932 character: each becomes U+FFFD (a lead
    // byte without its trail loses only itself); the rest of the line stays.
    test::WriteBytes(list, header + "201,\x81 abc,\xFF\xA0x,\x82,\x85\x40\r\n");
    f.warnings.clear();
    auto before = Snapshot(f.folder());
    f.import(list);
    EXPECT_TRUE(f.warnings.isEmpty()) << f.warnings.join(u'|').toStdString();
    ASSERT_EQ(f.songs().size(), 1u);
    const QStringList row = f.songs()[0];
    EXPECT_EQ(row[0], u"201"_s);
    EXPECT_EQ(row[1], u"\uFFFD abc"_s);
    EXPECT_TRUE(row[2].endsWith(u'x')) << row[2].toStdString();
    EXPECT_EQ(row[3], u"\uFFFD"_s);
    EXPECT_EQ(row[4], cp932::decode(std::string_view("\x85\x40")));
    EXPECT_EQ(test::ChangedFiles(before, Snapshot(f.folder())), QStringList{u"MeloDeck.mdb"_s});

    // A 10 MB line among ordinary ones: imported whole, shown without a hang.
    const QByteArray longTitle(10 * 1024 * 1024, 'L');
    test::WriteBytes(list, header + "301,a," + longTitle + ",b,\r\n302,c,d,e,\r\n");
    before = Snapshot(f.folder());
    QElapsedTimer t;
    t.start();
    f.import(list);
    const qint64 importMs = t.elapsed();
    EXPECT_TRUE(f.warnings.isEmpty()) << f.warnings.join(u'|').toStdString();
    const auto rows = f.songs();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][2].size(), longTitle.size());
    EXPECT_EQ(rows[1], test::ImportedRow({"302", "c", "d", "e", "<NULL>"}));
    EXPECT_EQ(w->flgList->Rows(), 3);
    EXPECT_EQ(w->flgList->TextMatrix(1, 3).size(), longTitle.size());
    // Drawn: the long title's cell holds ink where the empty harmony cell
    // below it holds none.
    t.restart();
    ASSERT_TRUE(test::showAndWait(w));
    const QImage drawn = w->flgList->viewport()->grab().toImage();
    const qint64 drawMs = t.elapsed();
    const auto ink = [&](int row, int col) {
        const test::CellSpot at = test::cellSpot(w->flgList, row, col);
        int dark = 0;
        for (int dx = -20; dx <= 20; ++dx)
            for (int dy = -4; dy <= 4; ++dy)
                dark += qGray(drawn.pixel(at.pos + QPoint(dx, dy))) < 128;
        return dark;
    };
    EXPECT_GT(ink(1, 3), 0);
    EXPECT_EQ(ink(2, 5), 0);
    // Under half a second each here, a few under the sanitizers; laying out
    // the whole text took nine seconds a repaint.
    EXPECT_LT(importMs, 10000);
    EXPECT_LT(drawMs, 2000);
    EXPECT_EQ(test::ChangedFiles(before, Snapshot(f.folder())), QStringList{u"MeloDeck.mdb"_s});
    std::printf("10 MB line: imported in %lld ms, shown in %lld ms\n",
                static_cast<long long>(importMs), static_cast<long long>(drawMs));
}

TEST(HostileSongList, OnlyRegularFilesAreReadAndNoneIsWaitedOn) {
    ImportFixture f;
    f.createDatabase({{{u"1"_s, u"'旧歌手'"_s, u"'旧曲'"_s}}});
    frmMeloDeck* w = f.start();
    ASSERT_TRUE(w);
    const auto oldSongs = f.songs();

    // Beside the program folder: a pipe there would block the test's own
    // look at the folder's files.
    QTemporaryDir other;
    namespace fs = std::filesystem;
    const QString pipe = other.filePath(u"pipe.csv"_s), socket = other.filePath(u"socket.csv"_s),
                  zero = other.filePath(u"zero.csv"_s), folder = f.path(u"folder.csv"_s);
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const int listening = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray socketName = QFile::encodeName(socket);
    ASSERT_LT(size_t(socketName.size()), sizeof address.sun_path);
    std::memcpy(address.sun_path, socketName.constData(), size_t(socketName.size()));
    ASSERT_EQ(::bind(listening, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listening, 1), 0);
    fs::create_symlink("/dev/zero", files::NativePath(zero));
    ASSERT_TRUE(QDir().mkdir(folder));

    // Each is refused at once by what it is; a link by what it leads to.
    const auto notAList = [](const QString& path, const QString& what) {
        return u"'%1' は%2です。リストファイルを指定してください。"_s.arg(path, what);
    };
    const std::pair<QString, QString> cases[] = {
        {pipe, notAList(pipe, u"名前付きパイプ"_s)},
        {u"/dev/zero"_s, notAList(u"/dev/zero"_s, u"デバイス"_s)},
        {zero, notAList(zero, u"デバイス"_s)},
        {socket, notAList(socket, u"ソケット"_s)},
        {folder, notAList(folder, u"フォルダー"_s)},
    };
    const auto before = Snapshot(f.folder());
    for (const auto& [path, warning] : cases) {
        SCOPED_TRACE(path.toStdString());
        f.warnings.clear();
        QElapsedTimer t;
        t.start();
        f.import(path);
        EXPECT_LT(t.elapsed(), 1000);
        EXPECT_EQ(f.warnings, QStringList{warning});
        EXPECT_EQ(f.songs(), oldSongs);
        EXPECT_TRUE(f.controlsEnabled());
    }
    EXPECT_EQ(test::ChangedFiles(before, Snapshot(f.folder())), QStringList());
    EXPECT_TRUE(fs::is_fifo(files::NativePath(pipe)));
    ::close(listening);

    // A link to a list is read as that list.
    const QString list = other.filePath(u"list.csv"_s), link = f.path(u"link.csv"_s);
    test::WriteBytes(list, Sjis(u"曲番,歌手名\r\n7,歌手七,曲七,,\r\n"_s));
    fs::create_symlink(files::NativePath(list), files::NativePath(link));
    f.warnings.clear();
    f.import(link);
    EXPECT_TRUE(f.warnings.isEmpty()) << f.warnings.join(u'|').toStdString();
    EXPECT_EQ(f.songs(),
              std::vector{test::ImportedRow({"7", "歌手七", "曲七", "<NULL>", "<NULL>"})});
    EXPECT_TRUE(QFileInfo(link).isSymLink());
}

// ---- settings files -------------------------------------------------------------------

namespace {

class HostileSettings : public ::testing::Test {
protected:
    void SetUp() override { f.createDatabase(5); }
    QString ini() const { return QDir(f.folder()).filePath(u"Melodeck.ini"_s); }
    frmMeloDeck* startWith(const QByteArray& bytes) {
        test::WriteBytes(ini(), bytes);
        f.warnings.clear();
        return f.start();
    }
    WindowFixture f;
};

} // namespace

TEST_F(HostileSettings, BinaryFileStartsWithDefaultsAndKeepsItsBytes) {
    const QByteArray binary = randomBytes(64 * 1024, 2);
    frmMeloDeck* w = startWith(binary);
    ASSERT_TRUE(w) << f.warnings.join(u'|').toStdString();
    EXPECT_TRUE(f.warnings.isEmpty());
    EXPECT_EQ(w->flgList->Rows(), 6);
    EXPECT_EQ(w->datList.RecordSource, u"SELECT * FROM MeloDeck ORDER BY 曲番号"_s);
    // Leaving without the exit button changes no file.
    const auto before = Snapshot(f.folder());
    w->close();
    EXPECT_EQ(test::ChangedFiles(before, Snapshot(f.folder())), QStringList());
    f.stop();

    // The exit button writes its keys after the file's own bytes.
    w = f.start();
    ASSERT_TRUE(w);
    w->cmd終了->click();
    const QByteArray after = test::ReadBytes(ini());
    EXPECT_TRUE(after.startsWith(binary));
    EXPECT_TRUE(after.contains("\r\n[ListGrid]\r\nNumColumns=9\r\n"));
    EXPECT_EQ(test::ChangedFiles(before, Snapshot(f.folder())), QStringList{u"Melodeck.ini"_s});
    f.stop();
    EXPECT_TRUE(f.start());
}

TEST_F(HostileSettings, CutOffFilesGiveWhatIsThere) {
    const QByteArray full = Sjis(u"[ListGrid]\r\nNumColumns=9\r\nWidht2=1500\r\nOrderCol=3\r\n"
                                 u"[PickupCond]\r\nCond1=1,サザン\r\n"_s);
    // Cut inside the last character: its lead byte reads as U+FFFD.
    frmMeloDeck* w = startWith(full.left(full.size() - 3));
    ASSERT_TRUE(w) << f.warnings.join(u'|').toStdString();
    EXPECT_EQ(w->txt歌手名->text(), u"サザ\uFFFD"_s);
    EXPECT_EQ(frmMeloDeck::chkValue(w->chk歌手名に), 1);
    EXPECT_EQ(w->flgList->ColWidth(1), 1500);
    EXPECT_EQ(w->lListOrderCol, 3);
    f.stop();

    // Cut after the count's equals sign: no count, default widths; nothing
    // after the cut is read.
    const qsizetype at = full.indexOf("NumColumns=") + 11;
    w = startWith(full.left(at));
    ASSERT_TRUE(w) << f.warnings.join(u'|').toStdString();
    EXPECT_EQ(w->flgList->ColWidth(1), FlexGrid::DefaultColWidth);
    EXPECT_EQ(w->lListOrderCol, 0);
    EXPECT_TRUE(w->txt歌手名->text().isEmpty());
    EXPECT_EQ(test::ReadBytes(ini()), full.left(at));
}

TEST_F(HostileSettings, TenMegabyteFile) {
    // Ten megabytes of comment lines in front of the keys the window reads.
    QByteArray big;
    const QByteArray comment = "; " + QByteArray(60, 'c') + "\r\n";
    while (big.size() < 10 * 1024 * 1024)
        big += comment;
    big +=
        Sjis(u"[ListGrid]\r\nNumColumns=9\r\nWidht2=1500\r\n[PickupCond]\r\nCond1=1,歌手1\r\n"_s);
    test::WriteBytes(ini(), big);
    // The file is read once for all the values start-up reads, and once
    // for all those the exit button writes, however many there are.
    test::OpenCounter opened(f.folder(), u"Melodeck.ini"_s);
    QElapsedTimer t;
    t.start();
    frmMeloDeck* w = f.start();
    const qint64 startMs = t.elapsed();
    ASSERT_TRUE(w) << f.warnings.join(u'|').toStdString();
    EXPECT_EQ(opened.opens(), 1);
    EXPECT_EQ(w->txt歌手名->text(), u"歌手1"_s);
    EXPECT_EQ(w->flgList->ColWidth(1), 1500);
    t.restart();
    w->cmd終了->click();
    const qint64 exitMs = t.elapsed();
    EXPECT_EQ(opened.opens(), 1);
    const QByteArray after = test::ReadBytes(ini());
    EXPECT_TRUE(after.startsWith(big.left(big.indexOf("[ListGrid]"))));
    EXPECT_TRUE(after.contains(Sjis(u"[PickupCond]\r\nCond1=1,歌手1\r\n"_s)));
    std::printf("10 MB settings file: start %lld ms, exit %lld ms\n",
                static_cast<long long>(startMs), static_cast<long long>(exitMs));
}

TEST_F(HostileSettings, NoRegularFileReadsAsMissingAndIsNeverWritten) {
    // A named pipe (never waited on), an endless device behind a link, a
    // folder: each starts as a first start and stays what it was at the exit.
    namespace fs = std::filesystem;
    const fs::path at = files::NativePath(ini());
    const std::vector<std::pair<const char*, std::function<void()>>> cases = {
        {"named pipe", [&] { ASSERT_EQ(::mkfifo(at.c_str(), 0600), 0); }},
        {"link to /dev/zero", [&] { fs::create_symlink("/dev/zero", at); }},
        {"folder", [&] { fs::create_directory(at); }},
    };
    for (const auto& [what, make] : cases) {
        SCOPED_TRACE(what);
        fs::remove(at);
        make();
        const fs::file_status before = fs::symlink_status(at);
        f.warnings.clear();
        frmMeloDeck* w = f.start();
        ASSERT_TRUE(w) << f.warnings.join(u'|').toStdString();
        EXPECT_TRUE(f.warnings.isEmpty());
        EXPECT_EQ(w->datList.RecordSource, u"SELECT * FROM MeloDeck ORDER BY 曲番号"_s);
        w->txt歌手名->setText(u"saved nowhere"_s);
        w->cmd終了->click();
        EXPECT_TRUE(w->ended());
        f.stop();
        EXPECT_EQ(fs::symlink_status(at).type(), before.type());
        EXPECT_EQ(
            QDir(f.folder())
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
            (QStringList{u"Melodeck.ini"_s, u"MeloDeck.mdb"_s}));
    }
    EXPECT_TRUE(QDir(ini()).isEmpty());
}

TEST_F(HostileSettings, ALinkedFileIsWrittenThroughItsLink) {
    // Settings kept in another folder behind a link, as dotfile managers keep them.
    QTemporaryDir kept;
    const QString target = QDir(kept.path()).filePath(u"melodeck.ini"_s);
    test::WriteBytes(target, Sjis(u"; mine\r\n[PickupCond]\r\nCond1=1,歌手1\r\n"_s));
    std::filesystem::create_symlink(files::NativePath(target), files::NativePath(ini()));
    frmMeloDeck* w = f.start();
    ASSERT_TRUE(w) << f.warnings.join(u'|').toStdString();
    EXPECT_EQ(w->txt歌手名->text(), u"歌手1"_s);
    w->txt歌手名->setText(u"歌手2"_s);
    w->cmd終了->click();
    EXPECT_TRUE(QFileInfo(ini()).isSymLink());
    EXPECT_EQ(QFileInfo(ini()).symLinkTarget(), target);
    const QByteArray after = test::ReadBytes(target);
    EXPECT_TRUE(after.startsWith(Sjis(u"; mine\r\n[PickupCond]\r\nCond1=1,歌手2\r\n"_s)));
    EXPECT_TRUE(after.contains("[ListGrid]\r\nNumColumns=9\r\n"));
    EXPECT_EQ(QDir(kept.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{u"melodeck.ini"_s});
}

TEST_F(HostileSettings, RepeatedSectionsAndKeysUseTheFirst) {
    const QByteArray repeated =
        Sjis(u"[ListGrid]\r\nNumColumns=9\r\nOrderCol=3\r\nOrderCol=2\r\n"
             u"[PickupCond]\r\nCond1=1,歌手1\r\n[listgrid]\r\nOrderCol=4\r\n"
             u"OrderDesc=1\r\n[PickupCond]\r\nCond1=1,歌手2\r\n"_s);
    frmMeloDeck* w = startWith(repeated);
    ASSERT_TRUE(w);
    EXPECT_EQ(w->lListOrderCol, 3);
    EXPECT_FALSE(w->bListOrderDesc); // only in the repeated section
    EXPECT_EQ(w->txt歌手名->text(), u"歌手1"_s);
    EXPECT_EQ(w->datList.RecordSource, u"SELECT * FROM MeloDeck ORDER BY 曲名"_s);
    w->cmd終了->click();
    // The first of each is written; the repeats are left as they were.
    const QByteArray after = test::ReadBytes(ini());
    const QByteArray repeats = Sjis(u"[listgrid]\r\nOrderCol=4\r\nOrderDesc=1\r\n[PickupCond]\r\n"
                                    u"Cond1=1,歌手2\r\n"_s);
    EXPECT_TRUE(after.contains(repeats));
    EXPECT_TRUE(after.startsWith("[ListGrid]\r\nNumColumns=9\r\nOrderCol=3\r\nOrderCol=2\r\n"));
    EXPECT_EQ(after.count("OrderDesc=0\r\n"), 2); // list and pickup grids, first sections
}

TEST_F(HostileSettings, AbsurdNumbers) {
    // Where a number is required, a value beyond 32 bits or no number at all
    // stops the start; the files stay as they were.
    const struct {
        const char* value;
        QString description;
    } failing[] = {{"1e308", VbError::overflow().description()},
                   {"NaN", VbError::typeMismatch().description()},
                   {"&HFFFFFFFFF", VbError::overflow().description()}};
    for (const auto& c : failing) {
        SCOPED_TRACE(c.value);
        test::WriteBytes(ini(), QByteArray("[ListGrid]\r\nNumColumns=") + c.value + "\r\n");
        const auto before = Snapshot(f.folder());
        f.warnings.clear();
        EXPECT_EQ(f.start(), nullptr);
        EXPECT_EQ(f.warnings, QStringList{kStartFailure + c.description});
        EXPECT_FALSE(test::anyWindowVisible());
        EXPECT_EQ(test::ChangedFiles(before, Snapshot(f.folder())), QStringList());
    }

    // Elsewhere -0 is 0 and &HFFFFFFFF is -1, each read the way its key says.
    frmMeloDeck* w = startWith("[Position]\r\nWidth=1280\r\nHeight=1024\r\nLeft=&HFFFFFFFF\r\n"
                               "Top=-0\r\n[ListGrid]\r\nNumColumns=&HFFFFFFFF\r\nWidht2=-0\r\n"
                               "Selected=-0\r\nOrderCol=&HFFFFFFFF\r\nOrderDesc=&HFFFFFFFF\r\n"
                               "[PickupGrid]\r\nOrderCol=-0\r\nOrderDesc=-0\r\n[PickupCond]\r\n"
                               "Cond1=-0,a\r\nCond2=&HFFFFFFFF,b\r\nHamori=&HFFFFFFFF\r\n");
    ASSERT_TRUE(w) << f.warnings.join(u'|').toStdString();
    EXPECT_TRUE(f.warnings.isEmpty());
    EXPECT_FALSE(w->bSelected);
    EXPECT_EQ(w->lListOrderCol, -1);
    EXPECT_TRUE(w->bListOrderDesc);
    // Column -1 stands for the first field, ascending.
    EXPECT_EQ(w->datList.RecordSource, u"SELECT * FROM MeloDeck ORDER BY 曲番号"_s);
    EXPECT_EQ(w->lPickupOrderCol, 0);
    EXPECT_EQ(w->flgList->ColWidth(1), FlexGrid::DefaultColWidth);
    EXPECT_EQ(frmMeloDeck::chkValue(w->chk歌手名に), 0);
    EXPECT_EQ(frmMeloDeck::chkValue(w->chk曲名に), 1);
    EXPECT_TRUE(w->optハモリ[2]->isChecked());
    // Saved back as the window holds them.
    w->cmd終了->click();
    const QByteArray after = test::ReadBytes(ini());
    EXPECT_TRUE(after.contains("OrderCol=-1\r\nOrderDesc=1\r\n")) << after.toStdString();
    EXPECT_TRUE(after.contains("Cond1=0,a\r\nCond2=1,b\r\n"));
}

// ---- database files ---------------------------------------------------------------------

TEST(HostileDatabase, UnusableFilesStopTheStartAndStayAsTheyWere) {
    struct Case {
        const char* what;
        std::function<void(WindowFixture&, const QString& db)> prepare;
        QString description; // a part of it
    };
    const auto cut = [](const QString& db, double share) {
        QFile file(db);
        ASSERT_TRUE(file.resize(qint64(file.size() * share)));
    };
    const std::vector<Case> cases = {
        {"not a database",
         [](WindowFixture&, const QString& db) {
             test::WriteBytes(db,
                              QByteArray("\0\1\0\0Standard Jet DB\0", 20) + randomBytes(4096, 3));
         },
         u"はデータベースではありません。"_s},
        {"empty", [](WindowFixture&, const QString& db) { test::WriteBytes(db, {}); },
         u"はデータベースではありません。"_s},
        {"cut inside its header", [&](WindowFixture&, const QString& db) { cut(db, 0.001); },
         u"はデータベースではありません。"_s},
        {"cut in half", [&](WindowFixture& f, const QString&) { cut(f.createDatabase(3000), 0.5); },
         u"が壊れています。"_s},
        {"no pickup table",
         [](WindowFixture&, const QString& db) { test::exec(db, u"DROP TABLE PickupList"_s); },
         u"テーブル 'PickupList' が見つかりません。"_s},
        {"the song table named as the pickup table",
         [](WindowFixture& f, const QString&) {
             f.ini(u"MDB"_s, u"PickupTableName"_s, u"meloDECK"_s);
         },
         u"meloDECK"_s},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WindowFixture f;
        const QString db = f.createDatabase(50);
        c.prepare(f, db);
        const auto before = Snapshot(f.folder());
        const QByteArray bytes = test::ReadBytes(db);
        EXPECT_EQ(f.start(), nullptr);
        // Not a byte of the file changes, its header's counters included.
        EXPECT_TRUE(test::ReadBytes(db) == bytes);
        ASSERT_EQ(f.warnings.size(), 1);
        EXPECT_TRUE(f.warnings[0].startsWith(kStartFailure)) << f.warnings[0].toStdString();
        EXPECT_TRUE(f.warnings[0].contains(c.description)) << f.warnings[0].toStdString();
        EXPECT_FALSE(test::anyWindowVisible());
        EXPECT_EQ(test::ChangedFiles(before, Snapshot(f.folder())), QStringList());
    }
}

// Every shape of file the engine opens: pages of 512 bytes to 64 KiB, each
// journal mode, auto_vacuum, text in UTF-16. Each goes through start-up with
// a stored sort (the whole table read in two halves), a header click, a
// search, a pickup, an import and 終了, shows what the plain file shows,
// and is left whole and in its own journal mode.
TEST(HostileDatabase, EveryShapeOfFileWorksThroughoutAndKeepsItsJournal) {
    QTemporaryDir base;
    // Numbers rising with the rows, as a list comes.
    std::vector<test::SongRow> songs = test::countdownSongs(20000);
    std::reverse(songs.begin(), songs.end());
    const QString plain = test::createSongDb(base.path(), {songs, {songs[5]}});
    QString csv;
    for (int i = 1; i <= 3000; ++i)
        csv += u"%1,歌手%2,曲%3,歌い出し%1,%4\r\n"_s.arg(i).arg(i % 97).arg(3000 - i).arg(
            i % 3 ? u"○"_s : QString());
    const QString list = base.filePath(u"list.csv"_s);
    test::WriteBytes(list, Sjis(csv));
    struct Shape {
        const char* what;
        QString first;   // on the empty file
        QString journal; // the journal mode the file is left in
    };
    const std::vector<Shape> shapes = {
        {"as made", {}, {}},
        {"512-byte pages", u"PRAGMA page_size=512"_s, {}},
        {"32 KiB pages", u"PRAGMA page_size=32768"_s, {}},
        {"64 KiB pages", u"PRAGMA page_size=65536"_s, {}},
        {"64 KiB pages in the write-ahead log", u"PRAGMA page_size=65536"_s, u"WAL"_s},
        {"write-ahead log", {}, u"WAL"_s},
        {"TRUNCATE journal", {}, u"TRUNCATE"_s},
        {"PERSIST journal, 1 KiB pages", u"PRAGMA page_size=1024"_s, u"PERSIST"_s},
        {"auto_vacuum full", u"PRAGMA auto_vacuum=FULL"_s, {}},
        {"auto_vacuum incremental, 8 KiB pages",
         u"PRAGMA auto_vacuum=INCREMENTAL; PRAGMA page_size=8192"_s,
         {}},
        {"UTF-16le", u"PRAGMA encoding='UTF-16le'"_s, {}},
        {"UTF-16be in the write-ahead log", u"PRAGMA encoding='UTF-16be'"_s, u"WAL"_s},
    };
    // Every seventh row's song number, which reads every block of rows.
    const auto sampled = [](FlexGrid* grid) {
        QStringList keys;
        for (std::int32_t r = 1; r < grid->Rows(); r += 7)
            keys << grid->TextMatrix(r, 1);
        return keys.join(u',');
    };
    const auto journalBytes = [](const QString& db) { return test::ReadBytes(db).mid(18, 2); };
    QStringList reference;
    for (const Shape& shape : shapes) {
        SCOPED_TRACE(shape.what);
        WindowFixture f;
        const QString db = f.databasePath();
        test::copySongDb(plain, db, shape.first);
        if (!shape.journal.isEmpty())
            test::exec(db,
                       u"PRAGMA journal_mode="_s + shape.journal + u"; PRAGMA user_version=1"_s);
        const QByteArray journal = journalBytes(db);
        EXPECT_EQ(journal, shape.journal == u"WAL"_s ? QByteArray("\2\2") : QByteArray("\1\1"));
        f.ini(u"ListGrid"_s, u"OrderCol"_s, u"3"_s);

        frmMeloDeck* w = f.start();
        ASSERT_TRUE(w) << f.warnings.join(u'|').toStdString();
        QStringList seen{sampled(w->flgList), sampled(w->flgPickup)};
        test::clickCell(w->flgList, 0, 4);
        seen << sampled(w->flgList);
        frmMeloDeck::setChkValue(w->chk歌手名に, 0);
        frmMeloDeck::setChkValue(w->chk曲名に, 1);
        frmMeloDeck::setChkValue(w->chk歌い出しに, 0);
        w->txt曲名->setText(u"曲1"_s);
        w->optハモリ[0]->setChecked(true);
        w->cmd抽出->click();
        seen << sampled(w->flgList);
        test::dblClickCell(w->flgList, 3, 1);
        seen << sampled(w->flgPickup);
        w->txtパス->setText(list);
        w->cmd取込->click();
        seen << sampled(w->flgList);
        test::clickCell(w->flgList, 0, 3);
        seen << sampled(w->flgList);
        EXPECT_EQ(f.warnings, QStringList());
        w->cmd終了->click();
        f.stop();

        if (reference.isEmpty())
            reference = seen;
        for (qsizetype k = 0; k < seen.size(); ++k)
            EXPECT_EQ(seen[k], reference[k]) << "view " << k;
        EXPECT_EQ(journalBytes(db), journal);
        EXPECT_EQ(test::scalar(db, u"PRAGMA integrity_check"_s), u"ok"_s);
        EXPECT_EQ(test::scalar(db, u"SELECT count(*) FROM MeloDeck"_s), u"3000"_s);
        EXPECT_EQ(test::scalar(db, u"SELECT count(*) FROM PickupList"_s), u"2"_s);
        EXPECT_FALSE(QFile::exists(db + u"-wal"_s));
    }
}

// The write log stays small however often the list is imported: once the
// window is idle after an import, the songs are in the database file itself
// (read here without the log) and the log is cut back, although the pickup
// grid still shows what it read at start-up. Its starting over is no write
// of another program: a sort after it keeps the ties in the order shown.
TEST(HostileDatabase, TheWriteLogIsFoldedIntoTheFileAfterEachImport) {
    WindowFixture f;
    const QString db = f.createDatabase({test::countdownSongs(300), {{u"1"_s}}});
    frmMeloDeck* w = f.start();
    ASSERT_TRUE(w) << f.warnings.join(u'|').toStdString();
    const auto songsInFile = [&] {
        // The file alone: immutable ignores the log beside it.
        sqlite3* c = nullptr;
        const QByteArray uri =
            "file:" + QUrl::fromLocalFile(db).path(QUrl::FullyEncoded).toUtf8() + "?immutable=1";
        EXPECT_EQ(
            sqlite3_open_v2(uri.constData(), &c, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr),
            SQLITE_OK);
        sqlite3_stmt* st = nullptr;
        qint64 n = -1;
        if (sqlite3_prepare_v2(c, "SELECT count(*) FROM MeloDeck", -1, &st, nullptr) == SQLITE_OK &&
            sqlite3_step(st) == SQLITE_ROW)
            n = sqlite3_column_int64(st, 0);
        sqlite3_finalize(st);
        sqlite3_close(c);
        return n;
    };
    const QString wal = db + u"-wal"_s;
    const QString list = f.path(u"list.csv"_s);
    const QString wide(200, u'曲');
    for (int round = 1; round <= 3; ++round) {
        SCOPED_TRACE(round);
        QString csv;
        const int songs = 15000 + round;
        for (int i = songs; i >= 1; --i)
            csv += u"%1,歌手%2,%3,歌い出し,\r\n"_s.arg(i).arg(round).arg(wide);
        test::WriteBytes(list, Sjis(csv));
        w->txtパス->setText(list);
        w->cmd取込->click();
        ASSERT_EQ(w->flgList->Rows(), songs + 1);
        ASSERT_GT(QFileInfo(wal).size(), 4 << 20); // the import went through the log
        EXPECT_TRUE(test::waitFor([&] { return QFileInfo(wal).size() < (1 << 20); }))
            << QFileInfo(wal).size();
        EXPECT_EQ(songsInFile(), songs);
        test::clickCell(w->flgList, 0, 2); // every singer the same
        EXPECT_EQ(w->flgList->TextMatrix(1, 1), u"1"_s);
        EXPECT_EQ(w->flgList->TextMatrix(songs, 1), QString::number(songs));
        w->cmd抽出解除->click();
    }
    EXPECT_EQ(test::gridColumn(w->flgPickup, 1), QStringList{u"1"_s});
    EXPECT_EQ(f.warnings, QStringList());
}

TEST(HostileDatabase, NamesHoldingACommentStopTheStart) {
    // Names are put into statements bare. One holding a comment would cut off
    // the rest of a statement ("DELETE FROM PickupList -- WHERE ..." would
    // empty the pickup list), so the data layer refuses such statements.
    const QString refused = u"SQL ステートメントにコメント（-- または /*）は使用できません。"_s;
    const std::vector<std::pair<const char*, std::function<void(WindowFixture&)>>> cases = {
        {"table name in the settings",
         [](WindowFixture& f) {
             f.createDatabase(3);
             f.ini(u"MDB"_s, u"PickupTableName"_s, u"PickupList --"_s);
         }},
        {"field name in the database",
         [](WindowFixture& f) {
             test::exec(f.createDatabase(3),
                        u"ALTER TABLE MeloDeck RENAME COLUMN 曲番号 TO \"曲番号 /* x\""_s);
         }},
    };
    for (const auto& [what, prepare] : cases) {
        SCOPED_TRACE(what);
        WindowFixture f;
        prepare(f);
        const auto before = Snapshot(f.folder());
        EXPECT_EQ(f.start(), nullptr);
        EXPECT_EQ(f.warnings, QStringList{kStartFailure + refused});
        EXPECT_EQ(test::ChangedFiles(before, Snapshot(f.folder())), QStringList());
    }
}

TEST(HostileDatabase, ReadOnlyFileIsShownButNeverWritten) {
    ImportFixture f;
    f.createDatabase({kTwoSongs, {kTwoSongs[0]}});
    const QString db = f.databasePath();
    ASSERT_TRUE(QFile::setPermissions(db, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    frmMeloDeck* w = f.start();
    ASSERT_TRUE(w) << f.warnings.join(u'|').toStdString();
    // Opened for reading only, also where the system would let this user
    // write (the superuser): the engine itself refuses every change.
    EXPECT_TRUE(w->datList.Database().ReadOnly());
    EXPECT_TRUE(w->datPickup.Database().ReadOnly());
    EXPECT_EQ(w->flgList->Rows(), 3);
    EXPECT_EQ(test::gridColumn(w->flgPickup, 1), QStringList{u"1"_s});
    const auto before = Snapshot(f.folder());

    // Import, pick up, take out, clear: each warns, none changes anything.
    const QString list = f.path(u"list.csv"_s);
    test::WriteBytes(list, "9,x,y,z,\r\n");
    const auto listed = Snapshot(f.folder());
    f.import(list);
    test::dblClickCell(w->flgList, 2, 2);
    test::dblClickCell(w->flgPickup, 1, 1);
    w->cmdピックアップ全解除->click();
    ASSERT_EQ(f.warnings.size(), 4) << f.warnings.join(u'|').toStdString();
    for (const QString& warning : f.warnings)
        EXPECT_TRUE(warning.contains(u"読み取り専用"_s)) << warning.toStdString();
    EXPECT_EQ(f.songs().size(), 2u);
    EXPECT_EQ(w->flgList->Rows(), 3);
    EXPECT_EQ(test::gridColumn(w->flgPickup, 1), QStringList{u"1"_s});
    EXPECT_EQ(test::ChangedFiles(listed, Snapshot(f.folder())), QStringList());
    EXPECT_FALSE(w->ended());

    // Leaving writes the settings file, and only that.
    w->cmd終了->click();
    EXPECT_EQ(test::ChangedFiles(listed, Snapshot(f.folder())), QStringList{u"Melodeck.ini"_s});
    EXPECT_EQ(before.at(u"MeloDeck.mdb"_s), test::Digest(db));
    QFile::setPermissions(db, QFile::ReadOwner | QFile::WriteOwner);
}

TEST(HostileDatabase, WriteLockHeldByAnotherProgram) {
    ImportFixture f;
    f.createDatabase({kTwoSongs});
    const auto oldSongs = f.songs();
    // Another program in the middle of a write: it holds the write lock
    // from before the start to after the attempts below.
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(f.databasePath().toUtf8().constData(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE; DELETE FROM MeloDeck WHERE 曲番号 = 1", nullptr,
                           nullptr, nullptr),
              SQLITE_OK);
    frmMeloDeck* w = f.start(); // reading is not held up
    ASSERT_TRUE(w) << f.warnings.join(u'|').toStdString();
    EXPECT_EQ(w->flgList->Rows(), 3);

    const QString list = f.path(u"list.csv"_s);
    test::WriteBytes(list, "9,x,y,z,\r\n");
    const auto before = Snapshot(f.folder());
    QElapsedTimer t;
    t.start();
    f.import(list);
    test::dblClickCell(w->flgList, 1, 2);
    EXPECT_LT(t.elapsed(), 20000); // the lock is waited for a while, not for ever
    ASSERT_EQ(f.warnings.size(), 2) << f.warnings.join(u'|').toStdString();
    for (const QString& warning : f.warnings)
        EXPECT_TRUE(warning.contains(u"他のプログラムが使用中です"_s)) << warning.toStdString();
    EXPECT_TRUE(f.controlsEnabled());
    EXPECT_EQ(test::ChangedFiles(before, Snapshot(f.folder())), QStringList());

    // Once the other program gives up its change, both go through.
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_EQ(f.songs(), oldSongs);
    test::dblClickCell(w->flgList, 1, 2);
    EXPECT_EQ(w->flgPickup->Rows(), 2);
    f.import(list);
    EXPECT_EQ(f.warnings.size(), 2);
    EXPECT_EQ(f.songs(),
              (std::vector<QStringList>{test::ImportedRow({"9", "x", "y", "z", "<NULL>"})}));
}

TEST(HostileDatabase, ALockWithoutTheWriteLogIsWaitedForOnce) {
    WindowFixture f;
    const QString db = f.createDatabase(3000);
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(db.toUtf8().constData(), &other), SQLITE_OK);
    // Another program reads as the window starts: the file stays in its
    // rollback journal, where a lock keeps readers out too.
    ASSERT_EQ(
        sqlite3_exec(other, "BEGIN; SELECT count(*) FROM MeloDeck", nullptr, nullptr, nullptr),
        SQLITE_OK);
    frmMeloDeck* w = f.start();
    ASSERT_TRUE(w) << f.warnings.join(u'|').toStdString();
    EXPECT_EQ(test::ReadBytes(db).mid(18, 2), QByteArray("\1\1"));
    ASSERT_EQ(sqlite3_exec(other, "COMMIT; BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    const QString busy = u"データベース '%1' は他のプログラムが使用中です。"_s.arg(db);
    const std::vector<std::pair<const char*, std::function<void()>>> actions = {
        {"header click", [&] { test::clickCell(w->flgList, 0, 3); }},
        {"search", [&] { w->cmd抽出->click(); }},
        {"pickup", [&] { test::dblClickCell(w->flgList, 1, 1); }},
    };
    for (const auto& [what, act] : actions) {
        SCOPED_TRACE(what);
        QElapsedTimer t;
        t.start();
        act();
        // One busy timeout of two seconds, not one for each engine call.
        EXPECT_GE(t.elapsed(), 1900);
        EXPECT_LT(t.elapsed(), 3900);
        EXPECT_EQ(f.warnings, QStringList{busy});
        f.warnings.clear();
    }
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    test::clickCell(w->flgList, 0, 3);
    EXPECT_EQ(w->flgList->TextMatrix(1, 3), u"曲0"_s);
    EXPECT_EQ(f.warnings, QStringList());
}

TEST(HostileDatabase, SongTableOfThreeFields) {
    ImportFixture f;
    f.createDatabase(
        {{{u"1"_s, u"'歌手'"_s, u"'曲'"_s}}, {}, u"番号 INTEGER, 歌手 TEXT(50), 曲 TEXT(50)"_s});
    frmMeloDeck* w = f.start();
    ASSERT_TRUE(w) << f.warnings.join(u'|').toStdString();
    ASSERT_EQ(w->sColName.size(), 4);

    // A list of five fields fills the three there are.
    const QString list = f.path(u"list.csv"_s);
    test::WriteBytes(list, Sjis(u"7,歌手七,曲七,歌い出し,○\r\n8,歌手八\r\n"_s));
    f.import(list);
    EXPECT_TRUE(f.warnings.isEmpty()) << f.warnings.join(u'|').toStdString();
    EXPECT_EQ(f.songs(), (std::vector<QStringList>{{u"7"_s, u"歌手七"_s, u"曲七"_s},
                                                   {u"8"_s, u"歌手八"_s, u"<NULL>"_s}}));
    // Picking up, sorting and a search on the fields there are all work.
    test::dblClickCell(w->flgList, 2, 1);
    EXPECT_EQ(w->flgPickup->Rows(), 2);
    EXPECT_EQ(w->flgPickup->TextMatrix(1, 1), u"8"_s);
    test::clickCell(w->flgList, 0, 2);
    EXPECT_EQ(w->flgList->TextMatrix(1, 2), u"歌手七"_s);
    frmMeloDeck::setChkValue(w->chk歌手名に, 1);
    w->txt歌手名->setText(u"八"_s);
    frmMeloDeck::setChkValue(w->chk歌い出しに, 0);
    w->optハモリ[2]->setChecked(true);
    w->cmd抽出->click();
    EXPECT_EQ(w->flgList->Rows(), 2);
    EXPECT_TRUE(f.warnings.isEmpty()) << f.warnings.join(u'|').toStdString();
}

// ---- another program on the same file, and damage found late ------------------------

namespace {

// Every row of a grid as "key|singer" lines, read as a user scrolling to the
// end reads them.
QStringList gridRows(FlexGrid* grid) {
    QStringList out;
    for (std::int32_t r = 1; r < grid->Rows(); ++r)
        out << grid->TextMatrix(r, 1) + u'|' + grid->TextMatrix(r, 2);
    return out;
}

} // namespace

TEST(HostileDatabase, AnotherProgramsWritesReachTheGridsOnlyAtTheirRefresh) {
    WindowFixture f;
    const QString db = f.createDatabase(1000);
    const std::vector<QStringList> atStart =
        test::rows(db, u"SELECT 曲番号 || '|' || 歌手名 FROM MeloDeck ORDER BY 曲番号, rowid"_s);
    frmMeloDeck* w = f.start();
    ASSERT_TRUE(w) << f.warnings.join(u'|').toStdString();
    ASSERT_TRUE(test::showAndWait(w));
    ASSERT_EQ(w->flgList->Rows(), 1001);

    // After start-up another program deletes 246 songs and renames two
    // singers, then holds its write lock while the user goes to the end.
    test::exec(db, u"DELETE FROM MeloDeck WHERE rowid % 4 = 0 AND rowid < 985;"
                   "UPDATE MeloDeck SET 歌手名 = '改名' WHERE 曲番号 IN (-890, 99)"_s);
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(db.toUtf8().constData(), &other), SQLITE_OK);
    ASSERT_EQ(
        sqlite3_exec(other, "BEGIN IMMEDIATE; DELETE FROM MeloDeck", nullptr, nullptr, nullptr),
        SQLITE_OK);
    QElapsedTimer t;
    t.start();
    w->flgList->setFocus();
    test::key(w->flgList, Qt::Key_End, Qt::ControlModifier);
    QApplication::processEvents();
    QStringList shown = gridRows(w->flgList);
    EXPECT_LT(t.elapsed(), 2000); // never the busy timeout
    QStringList want;
    for (const QStringList& row : atStart)
        want << row[0];
    EXPECT_EQ(shown, want);
    EXPECT_TRUE(f.warnings.isEmpty()) << f.warnings.join(u'|').toStdString();
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);

    // Showing all again shows the file as it is now.
    w->cmd抽出解除->click();
    EXPECT_EQ(w->flgList->Rows(), 1001 - 246);
    shown = gridRows(w->flgList);
    EXPECT_EQ(shown.filter(u"|改名"_s).size(), 2);
}

TEST(HostileDatabase, DamagedRowsStopTheStartWhenReadThereOrWarnOnceWhenShown) {
    WindowFixture f;
    const QString db = f.createDatabase(16000);
    // The songs' numbers fall as their rows go on: the first rows of the
    // table are the last of the grid.
    ASSERT_GT(test::damageTableRows(db, u"MeloDeck"_s, 0, 0.4), 0);
    const QString damaged = u"データベース '%1' が壊れています。"_s.arg(db);

    // A stored sort on the title reads the whole column at start-up.
    f.ini(u"ListGrid"_s, u"OrderCol"_s, u"3"_s);
    const QByteArray bytes = test::ReadBytes(db);
    EXPECT_EQ(f.start(), nullptr);
    EXPECT_EQ(f.warnings, QStringList{kStartFailure + damaged});
    EXPECT_TRUE(test::ReadBytes(db) == bytes);
    EXPECT_FALSE(test::anyWindowVisible());

    // In the key's order the rows are read as they are shown: the first
    // ones start the window, the damage is told once as the user scrolls
    // to it, and the grid keeps only the rows read whole.
    f.warnings.clear();
    f.ini(u"ListGrid"_s, u"OrderCol"_s, u"1"_s);
    frmMeloDeck* w = f.start();
    ASSERT_TRUE(w) << f.warnings.join(u'|').toStdString();
    ASSERT_TRUE(test::showAndWait(w));
    EXPECT_EQ(w->flgList->Rows(), 16001);
    w->flgList->setFocus();
    test::key(w->flgList, Qt::Key_End, Qt::ControlModifier);
    ASSERT_TRUE(test::waitFor([&] { return w->flgList->Rows() < 16001; }));
    QApplication::processEvents();
    EXPECT_EQ(f.warnings, QStringList{damaged});
    EXPECT_GT(w->flgList->Rows(), 4000);
    const QStringList shown = gridRows(w->flgList);
    EXPECT_EQ(shown.filter(QRegularExpression(u"^-?\\d+\\|歌手\\d+$"_s)).size(), shown.size());
    // Going there again tells nothing new.
    test::key(w->flgList, Qt::Key_Home, Qt::ControlModifier);
    test::key(w->flgList, Qt::Key_End, Qt::ControlModifier);
    QApplication::processEvents();
    EXPECT_EQ(f.warnings.size(), 1);
}
