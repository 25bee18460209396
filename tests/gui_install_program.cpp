// The program as a user installs it: what its install rules put where, the
// validators' view of the menu entry and the metainfo, the package, the
// uninstall, and the installed program on a user's data folder.
#include "support/common_files.h"
#include "support/hostile_support.h"
#include "support/pickup_fixture.h"
#include "support/window_fixture.h"

#include "app/gui/AppIcon.h"
#include "common/DataFolder.h"
#include "common/ModCommon.h"
#include "common/PrivateProfile.h"
#include "store/gui/FlexGrid.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sqlite3.h>

using namespace melodeck;
using namespace Qt::Literals::StringLiterals;

namespace {

const QString kBuild = QStringLiteral(MELODECK_BINARY_DIR);
const QString kPrefix = u"usr/local"_s;
const QString kId = u"org.melodeck.melodeck"_s;

struct Ran {
    int code = -1;
    QString output; // standard output and error together
};

Ran run(const QString& program, const QStringList& args, const QProcessEnvironment& env = {},
        int ms = 120000) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.setProcessEnvironment(env.isEmpty() ? QProcessEnvironment::systemEnvironment() : env);
    p.start(program, args);
    Ran r;
    if (!p.waitForFinished(ms)) {
        p.kill();
        p.waitForFinished();
        r.output = u"did not finish: "_s;
    } else if (p.exitStatus() == QProcess::NormalExit) {
        r.code = p.exitCode();
    }
    r.output += QString::fromUtf8(p.readAll());
    return r;
}

// The install scripts of the build tree's subdirectories, in the order its
// top-level script runs them. That script holds no rules of its own: it runs
// these, then writes the list of installed files (the manifest) into the
// build tree, where `make install` and `make package` keep theirs. The tests
// run these scripts themselves, so that nothing of theirs lands there.
QStringList installScripts() {
    const QString top = QString::fromUtf8(test::ReadBytes(kBuild + u"/cmake_install.cmake"_s));
    EXPECT_FALSE(top.contains(u"file(INSTALL"_s)) << "the top-level folder installs files itself";
    static const QRegularExpression include(uR"re(^\s*include\("([^"]+)"\)\s*$)re"_s,
                                            QRegularExpression::MultilineOption);
    QStringList scripts;
    for (auto it = include.globalMatch(top); it.hasNext();)
        scripts << it.next().captured(1);
    EXPECT_FALSE(scripts.isEmpty());
    return scripts;
}

// What `cmake --install` of the built tree for the program's component puts
// into destdir under /usr/local; returns that folder. *manifest: the
// installed files, one a line, as the manifest of `cmake --install` lists them.
QString install(const QString& destdir, QByteArray* manifest = nullptr) {
    QTemporaryDir work;
    const QString listed = work.filePath(u"manifest.txt"_s);
    QString script = u"set(CMAKE_INSTALL_COMPONENT melodeck)\n"_s;
    for (const QString& sub : installScripts())
        script += u"include(\"%1\")\n"_s.arg(sub);
    script += u"string(REPLACE \";\" \"\\n\" files \"${CMAKE_INSTALL_MANIFEST_FILES}\")\n"
              u"file(WRITE \"%1\" \"${files}\")\n"_s.arg(listed);
    test::WriteBytes(work.filePath(u"install.cmake"_s), script.toUtf8());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"DESTDIR"_s, destdir);
    const Ran r = run(
        u"cmake"_s,
        {u"-DCMAKE_INSTALL_PREFIX=/"_s + kPrefix, u"-P"_s, work.filePath(u"install.cmake"_s)}, env);
    EXPECT_EQ(r.code, 0) << r.output.toStdString();
    if (manifest)
        *manifest = test::ReadBytes(listed);
    return QDir(destdir).filePath(kPrefix);
}

QStringList filesBelow(const QString& folder) {
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(folder).relativeFilePath(it.next());
    files.sort();
    return files;
}

QStringList expectedFiles() {
    QStringList files = {u"bin/melodeck"_s, u"share/applications/"_s + kId + u".desktop"_s,
                         u"share/metainfo/"_s + kId + u".metainfo.xml"_s,
                         u"share/icons/hicolor/scalable/apps/melodeck.svg"_s};
    for (const QString& name : DataFolder::ShippedFiles())
        files << u"share/melodeck/"_s + name;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        files << u"share/icons/hicolor/%1x%1/apps/melodeck.png"_s.arg(size);
    files.sort();
    return files;
}

int countRows(const QString& db, const char* sql) {
    sqlite3* h = nullptr;
    int n = -1;
    if (sqlite3_open_v2(QFile::encodeName(db).constData(), &h, SQLITE_OPEN_READONLY, nullptr) ==
        SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(h, sql, -1, &st, nullptr) == SQLITE_OK &&
            sqlite3_step(st) == SQLITE_ROW)
            n = sqlite3_column_int(st, 0);
        sqlite3_finalize(st);
    }
    sqlite3_close(h);
    return n;
}

// Starts the installed program offscreen with home as HOME and waits until
// its window holds the database open (the data controls keep it open for the
// window's life), then ends it. False when it ended first; its output then.
bool startsOn(const QString& exe, const QString& home, const QString& db, QString* output) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"HOME"_s, home);
    env.remove(u"XDG_DATA_HOME"_s);
    env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    p.setProcessEnvironment(env);
    p.start(exe, {});
    if (!p.waitForStarted(30000))
        return false;
    const QString fds = u"/proc/%1/fd"_s.arg(p.processId());
    const QString wanted = QFileInfo(db).absoluteFilePath();
    bool opened = false;
    for (int i = 0; i < 600 && !opened && !p.waitForFinished(100); ++i) {
        for (const QString& fd :
             QDir(fds).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot))
            opened = opened || QFile::symLinkTarget(fds + u'/' + fd) == wanted;
    }
    if (p.state() != QProcess::NotRunning) {
        p.kill();
        p.waitForFinished();
    }
    if (output)
        *output = QString::fromUtf8(p.readAll());
    return opened;
}

} // namespace

TEST(Install, PutsEachFileInPlaceForTheValidatorsAndUninstallTakesThemAway) {
    QTemporaryDir dest;
    QByteArray manifest;
    const QString root = install(dest.path(), &manifest);
    ASSERT_EQ(filesBelow(root), expectedFiles());
    EXPECT_TRUE(QFileInfo(root + u"/bin/melodeck"_s).isExecutable());
    EXPECT_EQ(countRows(root + u"/share/melodeck/MeloDeck.mdb"_s, "SELECT count(*) FROM MeloDeck"),
              1000);

    const QString desktop = root + u"/share/applications/"_s + kId + u".desktop"_s;
    const QString metainfo = root + u"/share/metainfo/"_s + kId + u".metainfo.xml"_s;
    const Ran entry = run(u"desktop-file-validate"_s, {desktop});
    EXPECT_EQ(entry.code, 0) << entry.output.toStdString();
    EXPECT_EQ(entry.output, QString()) << entry.output.toStdString();
    const Ran meta =
        run(u"appstreamcli"_s, {u"validate"_s, u"--no-net"_s, u"--pedantic"_s, metainfo});
    EXPECT_EQ(meta.code, 0) << meta.output.toStdString();
    EXPECT_TRUE(meta.output.contains(u"Validation was successful."_s)) << meta.output.toStdString();
    const QString text = QString::fromUtf8(test::ReadBytes(desktop));
    for (const QString& line : {u"\nName=メロデッキ\n"_s, u"\nName[en]=MeloDeck\n"_s,
                                u"\nIcon=melodeck\n"_s, u"\nExec=melodeck\n"_s})
        EXPECT_TRUE(text.contains(line)) << line.toStdString();

    // Every bitmap is the window's icon drawn at that size.
    for (int size : {16, 32, 256}) {
        const QImage png(root + u"/share/icons/hicolor/%1x%1/apps/melodeck.png"_s.arg(size));
        EXPECT_EQ(png.convertToFormat(QImage::Format_ARGB32),
                  AppIcon::Image(size).convertToFormat(QImage::Format_ARGB32))
            << size;
    }

    // Uninstall removes exactly what the install wrote: a file of the user's
    // beside them stays. The record is the manifest with DESTDIR in front,
    // as make install writes it.
    test::WriteBytes(root + u"/share/applications/mine.desktop"_s, "mine");
    QByteArray record;
    for (const QByteArray& line : manifest.split('\n'))
        if (!line.isEmpty())
            record += QFile::encodeName(dest.path()) + line + '\n';
    const QString recordFile = dest.filePath(u"installed_files.txt"_s);
    test::WriteBytes(recordFile, record);
    const Ran gone =
        run(u"cmake"_s, {u"-DRECORD="_s + recordFile, u"-P"_s,
                         QStringLiteral(MELODECK_SOURCE_DIR "/cmake/Uninstall.cmake")});
    EXPECT_EQ(gone.code, 0) << gone.output.toStdString();
    EXPECT_EQ(filesBelow(root), QStringList{u"share/applications/mine.desktop"_s});
    EXPECT_FALSE(QFileInfo::exists(root + u"/share/melodeck"_s));
}

TEST(Install, PackageHoldsTheSameFilesAndDeclaresWhatTheProgramNeeds) {
    // The package of every subdirectory's install rules (see installScripts),
    // as make package gives the top-level folder, which adds the manifest.
    QStringList projects;
    for (const QString& sub : installScripts())
        projects << QFileInfo(sub).path() << u"MeloDeck"_s << u"ALL"_s << u"/"_s;
    QTemporaryDir out;
    const Ran made =
        run(u"cpack"_s, {u"--config"_s, kBuild + u"/CPackConfig.cmake"_s, u"-B"_s, out.path(),
                         u"-D"_s, u"CPACK_INSTALL_CMAKE_PROJECTS="_s + projects.join(u';')});
    ASSERT_EQ(made.code, 0) << made.output.toStdString();
    const QStringList debs = QDir(out.path()).entryList({u"melodeck_*.deb"_s}, QDir::Files);
    ASSERT_EQ(debs.size(), 1) << made.output.toStdString();
    const QString deb = QDir(out.path()).filePath(debs[0]);

    const Ran fields =
        run(u"dpkg-deb"_s, {u"-f"_s, deb, u"Package"_s, u"Depends"_s, u"Recommends"_s});
    ASSERT_EQ(fields.code, 0) << fields.output.toStdString();
    for (const QString& need :
         {u"Package: melodeck"_s, u"libqt6widgets6"_s, u"libcurl4"_s, u"libsqlite3-0"_s,
          u"fonts-ipafont-gothic | fonts-noto-cjk"_s, u"qt6-translations-l10n"_s,
          u"ca-certificates"_s, u"Recommends: fcitx5-frontend-qt6"_s})
        EXPECT_TRUE(fields.output.contains(need)) << need.toStdString() << "\n"
                                                  << fields.output.toStdString();

    const QString unpacked = out.filePath(u"unpacked"_s);
    ASSERT_EQ(run(u"dpkg-deb"_s, {u"-x"_s, deb, unpacked}).code, 0);
    EXPECT_EQ(filesBelow(unpacked + u"/usr"_s), expectedFiles());
}

TEST(InstalledProgram, KeepsItsFilesInTheUsersDataFolderAndLeavesTheInstallationAlone) {
    QTemporaryDir dest;
    QTemporaryDir home;
    const QString root = install(dest.path());
    const QString exe = root + u"/bin/melodeck"_s;
    const auto installed = test::Snapshot(dest.path());
    const QString data = home.filePath(u".local/share/melodeck"_s);
    const QString db = data + u"/MeloDeck.mdb"_s;

    // First start: the data folder is made and filled.
    QString output;
    ASSERT_TRUE(startsOn(exe, home.path(), db, &output)) << output.toStdString();
    EXPECT_EQ(countRows(db, "SELECT count(*) FROM MeloDeck"), 1000);
    EXPECT_EQ(profile::GetString(u"CSV"_s, u"Path"_s, {}, data + u"/Melodeck.ini"_s),
              data + u"/songlist.csv"_s);
    EXPECT_EQ(test::ReadBytes(data + u"/songlist.csv"_s),
              test::ReadBytes(root + u"/share/melodeck/songlist.csv"_s));

    // The same folder, as the program chooses it, takes a pickup and the exit.
    EXPECT_EQ(DataFolder::Choose(root + u"/bin"_s, {}, home.path()), data);
    QString picked;
    {
        test::PickupFixture f;
        f.location = {data, u"melodeck"_s};
        frmMeloDeck* w = f.start();
        ASSERT_TRUE(w) << f.warnings.join(u'\n').toStdString();
        picked = w->flgList->TextMatrix(5, 1);
        test::dblClickCell(w->flgList, 5, 1);
        ASSERT_EQ(test::gridColumn(w->flgPickup, 1), QStringList{picked});
        w->cmd終了->click();
    }

    // A second start of the installed program replaces nothing.
    const QByteArray mine = test::Digest(db);
    ASSERT_TRUE(startsOn(exe, home.path(), db, &output)) << output.toStdString();
    EXPECT_EQ(test::Digest(db), mine);
    {
        test::PickupFixture f;
        f.location = {data, u"melodeck"_s};
        frmMeloDeck* w = f.start();
        ASSERT_TRUE(w) << f.warnings.join(u'\n').toStdString();
        EXPECT_EQ(test::gridColumn(w->flgPickup, 1), QStringList{picked});
    }

    // A home where no folder can be made: the start stops with the reason.
    QTemporaryDir other;
    const QString fileHome = other.filePath(u"home"_s);
    test::WriteBytes(fileHome, "a file, not a folder");
    EXPECT_FALSE(
        startsOn(exe, fileHome, fileHome + u"/.local/share/melodeck/MeloDeck.mdb"_s, &output));
    EXPECT_TRUE(output.contains(u"バグったかな・・・データフォルダ '"_s)) << output.toStdString();
    EXPECT_EQ(filesBelow(other.path()), QStringList{u"home"_s});

    EXPECT_EQ(test::ChangedFiles(installed, test::Snapshot(dest.path())), QStringList());
}
