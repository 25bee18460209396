// The settings-file layer: files as the Windows profile functions read and
// write them, compared byte for byte.

#include "common/ModCommon.h"
#include "common/PrivateProfile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace melodeck;
using namespace Qt::Literals::StringLiterals;

namespace {

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
};

} // namespace

TEST_F(Profile, LinesAreTrimmedAndSplitAtTheFirstEquals) {
    put("[s]\r\n k \t= \tv\v\r\n");
    EXPECT_EQ(read(u"s"_s, u"k"_s), u"v"_s);
    put(" [ x ]\r\nk=v\r\n");
    EXPECT_EQ(read(u"x"_s, u"k"_s), u"v"_s);
    put("[s]\r\nk=a=b\r\n=e\r\nnoequals\r\n");
    EXPECT_EQ(read(u"s"_s, u"k"_s), u"a=b"_s);
    EXPECT_EQ(read(u"s"_s, u""_s), u"e"_s);
    EXPECT_EQ(read(u"s"_s, u"noequals"_s), u""_s);
    // The caller's names lose their outer spaces.
    EXPECT_EQ(read(u"  s "_s, u" k  "_s), u"a=b"_s);
}

TEST_F(Profile, QuotesAroundTheValue) {
    put("[s]\r\nk=  \"  v  \"  \r\n");
    EXPECT_EQ(read(u"s"_s, u"k"_s), u"  v  "_s);
    put("[s]\r\nk='\"v\"'\r\n");
    EXPECT_EQ(read(u"s"_s, u"k"_s), u"\"v\""_s);
    put("[s]\r\nk=\"v'\r\n");
    EXPECT_EQ(read(u"s"_s, u"k"_s), u"\"v'"_s);
    put("[s]\r\na=\"\r\nb=\"\"\r\n");
    EXPECT_EQ(read(u"s"_s, u"a"_s), u"\""_s);
    EXPECT_EQ(read(u"s"_s, u"b"_s), u""_s);
}

TEST_F(Profile, CommentsHeadersAndUnreadableLines) {
    put("[s]\r\n;k=v\r\n");
    EXPECT_EQ(read(u"s"_s, u"k"_s), u""_s);
    put("[s]\r\nk=;x\r\n#h=1\r\n");
    EXPECT_EQ(read(u"s"_s, u"k"_s), u";x"_s);
    EXPECT_EQ(read(u"s"_s, u"#h"_s), u"1"_s);
    put("k=v\r\n[s]\r\n");
    EXPECT_EQ(read(u""_s, u"k"_s), u""_s);
    EXPECT_EQ(read(u"s"_s, u"k"_s), u""_s);
    put("[]\r\nk=v\r\n");
    EXPECT_EQ(read(u""_s, u"k"_s), u"v"_s);
    put("[sec]whoops]\r\nk=v\r\n");
    EXPECT_EQ(read(u"sec"_s, u"k"_s), u"v"_s);
    put("[open\r\nk=v\r\n");
    EXPECT_EQ(read(u"open"_s, u"k"_s), u"v"_s);
    put("[s]k=v\r\n");
    EXPECT_EQ(read(u"s"_s, u"k"_s), u""_s);
}

TEST_F(Profile, FirstSectionAndFirstKeyWinNamesIgnoreCase) {
    put("[s]\r\nk=a\r\nk=b\r\n");
    EXPECT_EQ(read(u"s"_s, u"k"_s), u"a"_s);
    put("[s]\r\na=1\r\n[t]\r\n[S]\r\nb=2\r\n");
    EXPECT_EQ(read(u"S"_s, u"a"_s), u"1"_s);
    EXPECT_EQ(read(u"s"_s, u"b"_s), u""_s);
    put("[Sec]\r\nKEY=v\r\n");
    EXPECT_EQ(read(u"sEC"_s, u"key"_s), u"v"_s);
}

TEST_F(Profile, LineBreaksInAnyMixAndTheUtf8Mark) {
    put("[S1]\rk1=v1\r");
    EXPECT_EQ(read(u"s1"_s, u"K1"_s), u"v1"_s);
    put("[S1]\nk1=v1\n");
    EXPECT_EQ(read(u"s1"_s, u"K1"_s), u"v1"_s);
    put("[a]\n\r\nx=1\r[b]\r\ny=2");
    EXPECT_EQ(read(u"a"_s, u"x"_s), u"1"_s);
    EXPECT_EQ(read(u"b"_s, u"y"_s), u"2"_s);
    // The mark is not recognised: its bytes spoil the header on line 1.
    put("\xEF\xBB\xBF[S1]\r\nk=v\r\n[S2]\r\nk2=v2\r\n");
    EXPECT_EQ(read(u"S1"_s, u"k"_s), u""_s);
    EXPECT_EQ(read(u"S2"_s, u"k2"_s), u"v2"_s);
}

TEST_F(Profile, CodePage932NamesAreComparedAsText) {
    // ゾ ends in the byte of "]", ア and ヂ differ only in the ASCII case bit.
    put("[\x83\x5D]\r\n\x83\x41=1\r\n");
    EXPECT_EQ(read(u"ゾ"_s, u"ア"_s), u"1"_s);
    EXPECT_EQ(read(u"ゾ"_s, u"ヂ"_s), u""_s);
    ASSERT_TRUE(write(u"ゾ"_s, u"ヂ"_s, u"歌〜😀"_s));
    EXPECT_EQ(contents(), QByteArray("[\x83\x5D]\r\n\x83\x41=1\r\n\x83\x61=\x89\xCC\x81\x60?\r\n"));
    EXPECT_EQ(read(u"ゾ"_s, u"ヂ"_s), u"歌～?"_s);
}

TEST_F(Profile, ValuesAreCutTo254BytesBetweenCharacters) {
    put("[s]\r\nk=" + QByteArray(300, 'x') + "\r\n");
    EXPECT_EQ(read(u"s"_s, u"k"_s), QString(254, u'x'));
    put("[s]\r\nk=" + QByteArray(253, 'x') + "\x8A\xBF\r\n");
    EXPECT_EQ(read(u"s"_s, u"k"_s), QString(253, u'x'));
    put("[s]\r\nk=" + QByteArray(252, 'x') + "\x8A\xBF\r\n");
    EXPECT_EQ(read(u"s"_s, u"k"_s), QString(252, u'x') + u"漢"_s);
    // The default goes through the same buffer.
    EXPECT_EQ(profile::GetString(u"s"_s, u"none"_s, QString(300, u'd'), path), QString(254, u'd'));
}

TEST_F(Profile, MissingFileSectionOrKeyGivesTheDefault) {
    EXPECT_EQ(read(u"s"_s, u"k"_s), u""_s);
    EXPECT_EQ(profile::GetString(u"s"_s, u"k"_s, u"def"_s, path), u"def"_s);
    put("[s]\r\nk=v\r\n");
    EXPECT_EQ(profile::GetString(u"t"_s, u"k"_s, u"def"_s, path), u"def"_s);
    EXPECT_EQ(profile::GetString(u"s"_s, u"j"_s, u"def"_s, path), u"def"_s);
    EXPECT_FALSE(QFile::exists(dir.filePath(u"never.ini"_s)));
}

TEST_F(Profile, WritingCreatesFileSectionsAndKeysInOrder) {
    EXPECT_TRUE(write(u"App"_s, u"key1"_s, u"a"_s));
    EXPECT_TRUE(write(u"App"_s, u"key2"_s, u"b"_s));
    EXPECT_TRUE(write(u"App"_s, u"key3"_s, u"c"_s));
    EXPECT_TRUE(write(u"App2"_s, u"key4"_s, u"d"_s));
    EXPECT_EQ(contents(),
              QByteArray("[App]\r\nkey1=a\r\nkey2=b\r\nkey3=c\r\n[App2]\r\nkey4=d\r\n"));
}

TEST_F(Profile, NamesTrimmedValueWrittenExactly) {
    EXPECT_TRUE(write(u" s "_s, u" k "_s, u" v "_s));
    EXPECT_EQ(contents(), QByteArray("[s]\r\nk= v \r\n"));
    EXPECT_EQ(read(u"s"_s, u"k"_s), u"v"_s);
    EXPECT_TRUE(write(u"s"_s, u"q"_s, u"\"abc \""_s));
    EXPECT_EQ(read(u"s"_s, u"q"_s), u"abc "_s);
}

TEST_F(Profile, NewKeysFollowTheLastKeyLineOfTheirSection) {
    put("[s]\r\nb=1\r\na=2\r\n");
    EXPECT_TRUE(write(u"s"_s, u"z"_s, u""_s));
    EXPECT_TRUE(write(u"s"_s, u"b"_s, u""_s));
    EXPECT_EQ(contents(), QByteArray("[s]\r\nb=\r\na=2\r\nz=\r\n"));

    put(";c0\r\n[s]\r\n;c1\r\nb=1\r\n;c2\r\na=2\r\n");
    EXPECT_TRUE(write(u"s"_s, u"z"_s, u""_s));
    EXPECT_EQ(contents(), QByteArray(";c0\r\n[s]\r\n;c1\r\nb=1\r\n;c2\r\na=2\r\nz=\r\n"));

    // Comments, junk and blank lines after the last key stay after the new one;
    // a key goes into the first section of its name.
    put("[s]\r\na=1\r\n;tail\r\njunk\r\n\r\n[t]\r\nx=1\r\n[S]\r\n");
    EXPECT_TRUE(write(u"S"_s, u"b"_s, u"2"_s));
    EXPECT_EQ(contents(),
              QByteArray("[s]\r\na=1\r\nb=2\r\n;tail\r\njunk\r\n\r\n[t]\r\nx=1\r\n[S]\r\n"));

    // A section without keys gets its first key right after the header.
    put("[s]\r\n;note\r\n[t]\r\n");
    EXPECT_TRUE(write(u"s"_s, u"k"_s, u"v"_s));
    EXPECT_EQ(contents(), QByteArray("[s]\r\nk=v\r\n;note\r\n[t]\r\n"));
    put("[s]");
    EXPECT_TRUE(write(u"s"_s, u"k"_s, u"v"_s));
    EXPECT_EQ(contents(), QByteArray("[s]\r\nk=v\r\n"));
    put("[s]\r\na=1");
    EXPECT_TRUE(write(u"s"_s, u"k"_s, u"v"_s));
    EXPECT_EQ(contents(), QByteArray("[s]\r\na=1\r\nk=v\r\n"));
}

TEST_F(Profile, ExistingKeysAreReplacedInPlaceUnderTheirOwnSpelling) {
    put("[Sec]\r\nKey=Val");
    EXPECT_TRUE(write(u"SEC"_s, u"KEY"_s, u"Val2"_s));
    EXPECT_EQ(contents(), QByteArray("[Sec]\r\nKey=Val2\r\n"));

    // Only the touched line changes, and it gets CR LF; every other line
    // keeps its own line break and bytes.
    put("[a]\nx=1\r  Key  =  old  \n[b]\r\ny=2\n");
    EXPECT_TRUE(write(u"a"_s, u"key"_s, u"new"_s));
    EXPECT_EQ(contents(), QByteArray("[a]\nx=1\rKey=new\r\n[b]\r\ny=2\n"));

    put("[s]\r\nk=a\r\nk=b\r\n");
    EXPECT_TRUE(write(u"s"_s, u"k"_s, u"c"_s));
    EXPECT_EQ(contents(), QByteArray("[s]\r\nk=c\r\nk=b\r\n"));
}

TEST_F(Profile, NewSectionsGoAtTheVeryEnd) {
    put("[a]\r\nx=1");
    EXPECT_TRUE(write(u"b"_s, u"y"_s, u"2"_s));
    EXPECT_EQ(contents(), QByteArray("[a]\r\nx=1\r\n[b]\r\ny=2\r\n"));

    put("[a]\r\nx=1\r\n\r\n;end\n");
    EXPECT_TRUE(write(u"b"_s, u"y"_s, u"2"_s));
    EXPECT_EQ(contents(), QByteArray("[a]\r\nx=1\r\n\r\n;end\n[b]\r\ny=2\r\n"));

    put("");
    EXPECT_TRUE(write(u"b"_s, u"y"_s, u"2"_s));
    EXPECT_EQ(contents(), QByteArray("[b]\r\ny=2\r\n"));
}

TEST_F(Profile, AValueCannotForgeLinesIntoTheFile) {
    EXPECT_TRUE(write(u"s"_s, u"k"_s, u"http://x/a.csv\r\n[evil]\r\nx=1"_s));
    EXPECT_TRUE(write(u"s"_s, u"n"_s, QString::fromUtf16(u"a\0b", 3)));
    EXPECT_TRUE(write(u"s"_s, u"m"_s, u"first\nsecond"_s));
    EXPECT_EQ(contents(), QByteArray("[s]\r\nk=http://x/a.csv\r\nn=a\r\nm=first\r\n"));
    EXPECT_EQ(read(u"evil"_s, u"x"_s), u""_s);
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

TEST_F(Profile, UntouchedBytesSurviveEvenWhenTheyAreNotValidText) {
    const QByteArray junk("\x80\xFF junk \x81\r\n", 11);
    put(junk + "[s]\r\nk=1\r\n[t]\r\nv=\x85\x41\xFF\r\n");
    EXPECT_TRUE(write(u"s"_s, u"k"_s, u"2"_s));
    EXPECT_EQ(contents(), junk + "[s]\r\nk=2\r\n[t]\r\nv=\x85\x41\xFF\r\n");
}

TEST_F(Profile, Utf16FileIsReadAndStaysUtf16) {
    const QString text = u"[s]\r\nk=歌\r\n"_s;
    QByteArray data("\xFF\xFE");
    data.append(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    put(data);
    EXPECT_EQ(read(u"s"_s, u"k"_s), u"歌"_s);
    EXPECT_TRUE(write(u"s"_s, u"j"_s, u"😀"_s));
    const QString expected = text + u"j=😀\r\n"_s;
    QByteArray want("\xFF\xFE");
    want.append(reinterpret_cast<const char*>(expected.utf16()), expected.size() * 2);
    EXPECT_EQ(contents(), want);
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

    // A folder where the file should be.
    const QString folder = dir.filePath(u"sub.ini"_s);
    ASSERT_TRUE(QDir().mkpath(folder));
    EXPECT_FALSE(profile::WriteString(u"s"_s, u"k"_s, u"v"_s, folder));
    EXPECT_TRUE(QFileInfo(folder).isDir());
    // No temporary file is left behind by any of these.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

TEST_F(Profile, ReadIniAndWriteIniUseTheProgramFolder) {
    ModCommon::SetProgramLocation(dir.path(), u"MeloDeck"_s);
    EXPECT_EQ(ModCommon::ProgramFile(u"a.txt"_s), dir.path() + u"/a.txt"_s);
    EXPECT_EQ(ModCommon::GetIniPath(), dir.path() + u"/Melodeck.ini"_s);
    EXPECT_EQ(ModCommon::ReadIni(u"s"_s, u"k"_s), u""_s);
    ModCommon::WriteIni(u"s"_s, u"k"_s, u"abc "_s);
    ModCommon::WriteIni(u"s"_s, u"q"_s, u"\" x \""_s);
    ModCommon::WriteIni(u"s"_s, u"long"_s, QString(300, u'z'));
    EXPECT_EQ(ModCommon::ReadIni(u"s"_s, u"k"_s), u"abc"_s);
    EXPECT_EQ(ModCommon::ReadIni(u"s"_s, u"q"_s), u" x"_s);
    EXPECT_EQ(ModCommon::ReadIni(u"s"_s, u"long"_s), QString(254, u'z'));
    QFile f(ModCommon::GetIniPath());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll().startsWith("[s]\r\nk=abc \r\nq=\" x \"\r\n"));
}
