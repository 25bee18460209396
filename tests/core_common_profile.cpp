// The settings-file layer: files as the Windows profile functions read and
// write them, compared byte for byte.

#include "common/ModCommon.h"
#include "common/PrivateProfile.h"
#include "common/SafeFile.h"
#include "support/common_files.h"
#include "support/hostile_support.h"
#include "support/scoped_state.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include <sys/stat.h>

using namespace melodeck;
using namespace Qt::Literals::StringLiterals;

namespace {

// A name or value of a table row, written as UTF-8 or as any text.
struct Text {
    Text(const char* utf8) : s(QString::fromUtf8(utf8)) {}
    Text(QString text) : s(std::move(text)) {}
    QString s;
};

struct Read {
    Text section, key, want;
};
struct Write {
    Text section, key, value;
};

// File bytes with line breaks made visible, to name a failing row.
std::string shown(const QByteArray& bytes) {
    return QByteArray(bytes).replace("\r", "\\r").replace("\n", "\\n").toStdString();
}

class Profile : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path = dir.filePath(u"test.ini"_s);

    void put(const QByteArray& content) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
    }
    QByteArray contents() const {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            return "<missing>";
        return f.readAll();
    }
    QString read(const QString& section, const QString& key) const {
        return profile::GetString(section, key, QString(), path);
    }
    bool write(const QString& section, const QString& key, const QString& value) {
        return profile::WriteString(section, key, value, path);
    }
    void expectReads(const std::vector<Read>& reads) {
        for (const Read& r : reads)
            EXPECT_EQ(read(r.section.s, r.key.s), r.want.s)
                << "[" << r.section.s.toStdString() << "] " << r.key.s.toStdString();
    }
};

} // namespace

TEST_F(Profile, ReadingFollowsTheWindowsRules) {
    const struct {
        QByteArray file;
        std::vector<Read> reads;
    } cases[] = {
        // Lines are trimmed and split at the first "="; the caller's names
        // lose their outer spaces.
        {"[s]\r\n k \t= \tv\v\r\n", {{"s", "k", "v"}}},
        {" [ x ]\r\nk=v\r\n", {{"x", "k", "v"}}},
        {"[s]\r\nk=a=b\r\n=e\r\nnoequals\r\n",
         {{"s", "k", "a=b"}, {"s", "", "e"}, {"s", "noequals", ""}, {"  s ", " k  ", "a=b"}}},
        // Quotes around the value.
        {"[s]\r\nk=  \"  v  \"  \r\n", {{"s", "k", "  v  "}}},
        {"[s]\r\nk='\"v\"'\r\n", {{"s", "k", "\"v\""}}},
        {"[s]\r\nk=\"v'\r\n", {{"s", "k", "\"v'"}}},
        {"[s]\r\na=\"\r\nb=\"\"\r\n", {{"s", "a", "\""}, {"s", "b", ""}}},
        // Comments, headers and unreadable lines.
        {"[s]\r\n;k=v\r\n", {{"s", "k", ""}}},
        {"[s]\r\nk=;x\r\n#h=1\r\n", {{"s", "k", ";x"}, {"s", "#h", "1"}}},
        {"k=v\r\n[s]\r\n", {{"", "k", ""}, {"s", "k", ""}}},
        {"[]\r\nk=v\r\n", {{"", "k", "v"}}},
        {"[sec]whoops]\r\nk=v\r\n", {{"sec", "k", "v"}}},
        {"[open\r\nk=v\r\n", {{"open", "k", "v"}}},
        {"[s]k=v\r\n", {{"s", "k", ""}}},
        // The first section and the first key win; names ignore case.
        {"[s]\r\nk=a\r\nk=b\r\n", {{"s", "k", "a"}}},
        {"[s]\r\na=1\r\n[t]\r\n[S]\r\nb=2\r\n", {{"S", "a", "1"}, {"s", "b", ""}}},
        {"[Sec]\r\nKEY=v\r\n", {{"sEC", "key", "v"}}},
        // Line breaks in any mix. The UTF-8 mark is not recognised: its bytes
        // spoil the header on line 1.
        {"[S1]\rk1=v1\r", {{"s1", "K1", "v1"}}},
        {"[S1]\nk1=v1\n", {{"s1", "K1", "v1"}}},
        {"[a]\n\r\nx=1\r[b]\r\ny=2", {{"a", "x", "1"}, {"b", "y", "2"}}},
        {"\xEF\xBB\xBF[S1]\r\nk=v\r\n[S2]\r\nk2=v2\r\n", {{"S1", "k", ""}, {"S2", "k2", "v2"}}},
        // Code page 932 names compare as text: ゾ ends in the byte of "]", ア
        // and ヂ differ only in the ASCII case bit.
        {"[\x83\x5D]\r\n\x83\x41=1\r\n", {{"ゾ", "ア", "1"}, {"ゾ", "ヂ", ""}}},
        // Values are read whole, however long.
        {"[s]\r\nk=" + QByteArray(300, 'x') + "\r\n", {{"s", "k", QString(300, u'x')}}},
        {"[s]\r\nk=" + QByteArray(253, 'x') + "\x8A\xBF\r\n",
         {{"s", "k", QString(253, u'x') + u"漢"_s}}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(shown(c.file));
        put(c.file);
        expectReads(c.reads);
    }
}

TEST_F(Profile, MissingFileSectionOrKeyGivesTheDefault) {
    EXPECT_EQ(read(u"s"_s, u"k"_s), u""_s);
    EXPECT_EQ(profile::GetString(u"s"_s, u"k"_s, u"def"_s, path), u"def"_s);
    EXPECT_FALSE(QFile::exists(path)) << "reading must not create the file";
    put("[s]\r\nk=v\r\n");
    EXPECT_EQ(profile::GetString(u"t"_s, u"k"_s, u"def"_s, path), u"def"_s);
    EXPECT_EQ(profile::GetString(u"s"_s, u"j"_s, u"def"_s, path), u"def"_s);
    EXPECT_EQ(profile::GetString(u"s"_s, u"none"_s, QString(300, u'd'), path), QString(300, u'd'));
}

TEST_F(Profile, WritingChangesOnlyWhatItMust) {
    const struct {
        QByteArray before; // null: no file at all
        std::vector<Write> writes;
        QByteArray after;
        std::vector<Read> reads = {};
    } cases[] = {
        // A new file gets its sections and keys in the order written; names
        // are trimmed, the value is written exactly.
        {{},
         {{"App", "key1", "a"}, {"App", "key2", "b"}, {"App", "key3", "c"}, {"App2", "key4", "d"}},
         "[App]\r\nkey1=a\r\nkey2=b\r\nkey3=c\r\n[App2]\r\nkey4=d\r\n"},
        {{}, {{" s ", " k ", " v "}}, "[s]\r\nk= v \r\n", {{"s", "k", "v"}}},
        {{}, {{"s", "q", "\"abc \""}}, "[s]\r\nq=\"abc \"\r\n", {{"s", "q", "abc "}}},
        // A long value (a signed download link) reads back whole.
        {{},
         {{"CSV", "Path", QString(40000, u'漢')}},
         "[CSV]\r\nPath=" + QByteArray("\x8A\xBF").repeated(40000) + "\r\n",
         {{"CSV", "Path", QString(40000, u'漢')}}},
        // A value cannot forge lines into the file.
        {{},
         {{"s", "k", "http://x/a.csv\r\n[evil]\r\nx=1"},
          {"s", "n", QString::fromUtf16(u"a\0b", 3)},
          {"s", "m", "first\nsecond"}},
         "[s]\r\nk=http://x/a.csv\r\nn=a\r\nm=first\r\n",
         {{"evil", "x", ""}}},
        // New keys follow the last key line of their section...
        {"[s]\r\nb=1\r\na=2\r\n", {{"s", "z", ""}, {"s", "b", ""}}, "[s]\r\nb=\r\na=2\r\nz=\r\n"},
        {";c0\r\n[s]\r\n;c1\r\nb=1\r\n;c2\r\na=2\r\n",
         {{"s", "z", ""}},
         ";c0\r\n[s]\r\n;c1\r\nb=1\r\n;c2\r\na=2\r\nz=\r\n"},
        // ...so comments, junk and blank lines after it stay after the new
        // one; a key goes into the first section of its name.
        {"[s]\r\na=1\r\n;tail\r\njunk\r\n\r\n[t]\r\nx=1\r\n[S]\r\n",
         {{"S", "b", "2"}},
         "[s]\r\na=1\r\nb=2\r\n;tail\r\njunk\r\n\r\n[t]\r\nx=1\r\n[S]\r\n"},
        // A section without keys gets its first key right after the header.
        {"[s]\r\n;note\r\n[t]\r\n", {{"s", "k", "v"}}, "[s]\r\nk=v\r\n;note\r\n[t]\r\n"},
        {"[s]", {{"s", "k", "v"}}, "[s]\r\nk=v\r\n"},
        {"[s]\r\na=1", {{"s", "k", "v"}}, "[s]\r\na=1\r\nk=v\r\n"},
        // An existing key is replaced in place under its own spelling. Only
        // the touched line changes, and it gets CR LF; every other line keeps
        // its own line break and bytes.
        {"[Sec]\r\nKey=Val", {{"SEC", "KEY", "Val2"}}, "[Sec]\r\nKey=Val2\r\n"},
        {"[a]\nx=1\r  Key  =  old  \n[b]\r\ny=2\n",
         {{"a", "key", "new"}},
         "[a]\nx=1\rKey=new\r\n[b]\r\ny=2\n"},
        {"[s]\r\nk=a\r\nk=b\r\n", {{"s", "k", "c"}}, "[s]\r\nk=c\r\nk=b\r\n"},
        {"\x80\xFF junk \x81\r\n[s]\r\nk=1\r\n[t]\r\nv=\x85\x41\xFF\r\n",
         {{"s", "k", "2"}},
         "\x80\xFF junk \x81\r\n[s]\r\nk=2\r\n[t]\r\nv=\x85\x41\xFF\r\n"},
        // New sections go at the very end.
        {"[a]\r\nx=1", {{"b", "y", "2"}}, "[a]\r\nx=1\r\n[b]\r\ny=2\r\n"},
        {"[a]\r\nx=1\r\n\r\n;end\n", {{"b", "y", "2"}}, "[a]\r\nx=1\r\n\r\n;end\n[b]\r\ny=2\r\n"},
        {"", {{"b", "y", "2"}}, "[b]\r\ny=2\r\n"},
        // Code page 932 names compare as text (ヂ is not ア); what the code
        // page lacks is written as "?", a look-alike as its twin.
        {"[\x83\x5D]\r\n\x83\x41=1\r\n",
         {{"ゾ", "ヂ", "歌〜😀"}},
         "[\x83\x5D]\r\n\x83\x41=1\r\n\x83\x61=\x89\xCC\x81\x60?\r\n",
         {{"ゾ", "ヂ", "歌～?"}}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(shown(c.before.isNull() ? "<no file>" : c.before));
        if (c.before.isNull())
            QFile::remove(path);
        else
            put(c.before);
        for (const Write& w : c.writes)
            EXPECT_TRUE(write(w.section.s, w.key.s, w.value.s)) << w.key.s.toStdString();
        EXPECT_EQ(contents(), c.after);
        expectReads(c.reads);

        // The same writes into one reading of the file, saved once.
        if (c.before.isNull())
            QFile::remove(path);
        else
            put(c.before);
        profile::File file(path);
        for (const Write& w : c.writes)
            file.WriteString(w.section.s, w.key.s, w.value.s);
        EXPECT_TRUE(file.Save());
        EXPECT_EQ(contents(), c.after);
    }
}

TEST_F(Profile, ReplacingKeepsTheFilePermissions) {
    put("[s]\r\nk=1\r\n");
    const auto mode = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup;
    ASSERT_TRUE(QFile::setPermissions(path, mode));
    EXPECT_TRUE(write(u"s"_s, u"k"_s, u"2"_s));
    EXPECT_EQ(QFileInfo(path).permissions() &
                  ~(QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser),
              mode);
}

TEST_F(Profile, Utf16FileIsReadAndStaysUtf16) {
    const auto utf16 = [](const QString& text) {
        QByteArray data("\xFF\xFE");
        data.append(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
        return data;
    };
    put(utf16(u"[s]\r\nk=歌\r\n"_s));
    EXPECT_EQ(read(u"s"_s, u"k"_s), u"歌"_s);
    EXPECT_TRUE(write(u"s"_s, u"j"_s, u"😀"_s));
    EXPECT_EQ(contents(), utf16(u"[s]\r\nk=歌\r\nj=😀\r\n"_s));
}

TEST_F(Profile, AFailedWriteChangesNothing) {
    const QString inMissingFolder = dir.filePath(u"no/such/folder/x.ini"_s);
    EXPECT_FALSE(profile::WriteString(u"s"_s, u"k"_s, u"v"_s, inMissingFolder));
    EXPECT_FALSE(QFile::exists(inMissingFolder));
    EXPECT_FALSE(QDir(dir.filePath(u"no"_s)).exists());

    put("[s]\r\nk=1\r\n");
    ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadUser));
    EXPECT_FALSE(write(u"s"_s, u"k"_s, u"2"_s));
    EXPECT_FALSE(write(u"t"_s, u"k"_s, u"2"_s));
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    EXPECT_EQ(contents(), QByteArray("[s]\r\nk=1\r\n"));

    // Where the file should be: a folder, a named pipe, an endless device
    // behind a link, a loop of links. Each reads as missing at once (the pipe
    // is not waited on) and is never written.
    const QString folder = dir.filePath(u"sub.ini"_s);
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString fifo = dir.filePath(u"fifo.ini"_s);
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString zero = dir.filePath(u"zero.ini"_s);
    std::filesystem::create_symlink("/dev/zero", files::NativePath(zero));
    const QString loop = dir.filePath(u"loop.ini"_s);
    std::filesystem::create_symlink("loop.ini", files::NativePath(loop));
    for (const QString& p : {folder, fifo, zero, loop}) {
        SCOPED_TRACE(p.toStdString());
        EXPECT_EQ(profile::GetString(u"s"_s, u"k"_s, u"def"_s, p), u"def"_s);
        EXPECT_FALSE(profile::WriteString(u"s"_s, u"k"_s, u"v"_s, p));
    }
    EXPECT_TRUE(QFileInfo(folder).isDir());
    EXPECT_TRUE(std::filesystem::is_fifo(files::NativePath(fifo)));
    EXPECT_EQ(QFileInfo(zero).symLinkTarget(), u"/dev/zero"_s);
    // No temporary file is left behind by any of these.
    EXPECT_EQ(QDir(dir.path()).entryList({u"*.tmp"_s}, QDir::Files | QDir::Hidden), QStringList());
}

TEST_F(Profile, ALinkIsWrittenThrough) {
    // Settings kept in another folder (as dotfile managers keep them), behind
    // a relative link, behind an absolute one.
    namespace fs = std::filesystem;
    ASSERT_TRUE(QDir(dir.path()).mkdir(u"kept"_s));
    const QString target = dir.filePath(u"kept/real.ini"_s);
    const QString middle = dir.filePath(u"middle.ini"_s);
    fs::create_symlink("kept/real.ini", files::NativePath(middle));
    fs::create_symlink(files::NativePath(middle), files::NativePath(path));
    const QByteArray before = "[s]\r\nk=1\r\n";
    test::WriteBytes(target, before);
    EXPECT_EQ(read(u"s"_s, u"k"_s), u"1"_s);

    // A full disk changes neither the links nor the file.
    {
        test::FileSizeLimit disk(0);
        EXPECT_FALSE(write(u"s"_s, u"k"_s, u"2"_s));
    }
    EXPECT_EQ(test::ReadBytes(target), before);

    EXPECT_TRUE(write(u"s"_s, u"k"_s, u"2"_s));
    EXPECT_TRUE(QFileInfo(path).isSymLink());
    EXPECT_TRUE(QFileInfo(middle).isSymLink());
    EXPECT_EQ(test::ReadBytes(target), QByteArray("[s]\r\nk=2\r\n"));
    EXPECT_EQ(read(u"s"_s, u"k"_s), u"2"_s);
    EXPECT_EQ(QDir(dir.filePath(u"kept"_s)).entryList(QDir::Files | QDir::Hidden),
              QStringList{u"real.ini"_s});

    // A link to a file not made yet makes it there.
    QFile::remove(target);
    EXPECT_TRUE(write(u"s"_s, u"k"_s, u"3"_s));
    EXPECT_TRUE(QFileInfo(path).isSymLink());
    EXPECT_EQ(test::ReadBytes(target), QByteArray("[s]\r\nk=3\r\n"));
}

TEST_F(Profile, AFullDiskChangesNothing) {
    // Small files fit any write buffer, so the failure shows only when the
    // bytes reach the disk; large ones fail part-way through.
    const QByteArray small = "[Position]\r\nLeft=100\r\n[CSV]\r\nPath=a.csv\r\n";
    QByteArray large = "[List]\r\n";
    for (int i = 0; i < 4000; ++i)
        large += "ColWidth" + QByteArray::number(i) + "=1500\r\n";
    for (const QByteArray& old : {small, large}) {
        const long long size = old.size();
        for (const long long limit : {0LL, 1LL, size / 2, size, size + 3}) {
            put(old);
            {
                test::FileSizeLimit disk(limit);
                EXPECT_FALSE(write(u"CSV"_s, u"Path"_s, u"a much longer path.csv"_s));
                EXPECT_FALSE(write(u"New"_s, u"Key"_s, u"1"_s));
            }
            EXPECT_EQ(contents(), old) << "old " << size << " bytes, limit " << limit;
            EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1)
                << "a temporary file was left";
        }
    }
    // A file that does not exist yet is not created half-written.
    QFile::remove(path);
    {
        test::FileSizeLimit disk(4);
        EXPECT_FALSE(write(u"CSV"_s, u"Path"_s, u"x.csv"_s));
    }
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_TRUE(write(u"CSV"_s, u"Path"_s, u"x.csv"_s));
    EXPECT_EQ(contents(), QByteArray("[CSV]\r\nPath=x.csv\r\n"));
}

TEST_F(Profile, ReadIniAndWriteIniUseTheProgramFolder) {
    const ModCommon::ProgramLocation at{dir.path(), u"MeloDeck"_s};
    EXPECT_EQ(at.file(u"a.txt"_s), dir.path() + u"/a.txt"_s);
    EXPECT_EQ(ModCommon::GetIniPath(at), dir.path() + u"/Melodeck.ini"_s);
    profile::File ini = ModCommon::OpenIni(at);
    EXPECT_EQ(ModCommon::ReadIni(ini, u"s"_s, u"k"_s), u""_s);
    ModCommon::WriteIni(ini, u"s"_s, u"k"_s, u"abc "_s);
    ModCommon::WriteIni(ini, u"s"_s, u"q"_s, u"\" x \""_s);
    ModCommon::WriteIni(ini, u"s"_s, u"long"_s, QString(300, u'z'));
    ASSERT_TRUE(ini.Save());
    const profile::File again = ModCommon::OpenIni(at);
    EXPECT_EQ(ModCommon::ReadIni(again, u"s"_s, u"k"_s), u"abc"_s);
    EXPECT_EQ(ModCommon::ReadIni(again, u"s"_s, u"q"_s), u" x"_s);
    EXPECT_EQ(ModCommon::ReadIni(again, u"s"_s, u"long"_s), QString(300, u'z'));
    QFile f(ModCommon::GetIniPath(at));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll().startsWith("[s]\r\nk=abc \r\nq=\" x \"\r\n"));
}
