// Inputs the fuzz targets found faults with, kept as cases of the normal
// suite, and the other hostile bytes the core reads: song-list lines holding
// NUL bytes or numbers beyond any double, statements holding a NUL, and
// settings files that are binary, huge, odd-sized or full of repeats.
#include "common/Cp932.h"
#include "common/ModCommon.h"
#include "common/PrivateProfile.h"
#include "common/VbError.h"
#include "import/SongListImport.h"
#include "store/Database.h"
#include "support/common_files.h"
#include "support/hostile_support.h"
#include "support/import_files.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace melodeck;
using namespace Qt::Literals::StringLiterals;

namespace {

// The description of the VbError that f raises, "" when it raises none.
template <typename F> QString raised(F f) {
    try {
        f();
    } catch (const VbError& e) {
        return e.description();
    }
    return {};
}

class NullSink : public songlist::ImportSink {
public:
    void progress(std::int64_t) override {}
    void rowAdded() override {}
};

const QString kNulStatement = u"SQL ステートメントに NUL 文字が含まれています。"_s;

} // namespace

TEST(HostileLines, NulBytesAndHugeNumbers) {
    QTemporaryDir dir;
    const QString db = dir.filePath(u"MeloDeck.mdb"_s);
    test::exec(db,
               u"CREATE TABLE MeloDeck (k INTEGER, a TEXT, b TEXT, n INTEGER);"
               u"INSERT INTO MeloDeck VALUES (1,'old',NULL,0);"_s,
               true);
    const auto before = test::rows(db, u"SELECT * FROM MeloDeck"_s);

    // The first input the line fuzzer stopped at: NUL bytes inside text
    // fields ended the statement early, leaving its literal open.
    const QByteArray line("9,\x81\x00\xff,\x82 \x00tail", 13);
    songlist::InsertBuilder builder(u"MeloDeck"_s, {false, true, true, false});
    const QString sql = builder.build(cp932::decode(line));
    EXPECT_EQ(sql, u"INSERT INTO MeloDeck VALUES (9,'\uFFFD\uFFFD','\uFFFD tail',0)"_s);
    const test::StatementShape shape = test::ShapeOf(db, sql);
    EXPECT_TRUE(shape.ok) << shape.error.toStdString();
    // Spaces that only NUL bytes kept inside are outer spaces; NUL alone is nothing.
    EXPECT_EQ(builder.build(u"2,\0 a \0,\0\0"_s), u"INSERT INTO MeloDeck VALUES (2,'a',NULL,0)"_s);

    // A number field beyond any double has no literal: an overflow, not the
    // word "Infinity" that the engine would take for a field name.
    for (const QString& l : {u"5,a,b,-1e999"_s, u"1e400,a"_s, u"7,a,b,&H"_s + QString(300, u'F')})
        EXPECT_EQ(raised([&] { builder.build(l); }), VbError::overflow().description())
            << l.left(20).toStdString();

    // Over a real table: a line with such a number stops the import, and a
    // NUL byte anywhere marks a file that is no text list; the table stays.
    const QString path = dir.filePath(u"list.csv"_s);
    const auto import = [&](const QByteArray& bytes) {
        test::WriteBytes(path, bytes);
        Database d(db);
        songlist::SongListImport list(path);
        NullSink sink;
        list.run(d, u"MeloDeck"_s, {false, true, true, false}, sink);
    };
    EXPECT_EQ(raised([&] { import("3,x,y\r\n4,z,w,1e999\r\n"); }),
              VbError::overflow().description());
    EXPECT_EQ(test::rows(db, u"SELECT * FROM MeloDeck"_s), before);
    EXPECT_EQ(
        raised([&] { import(QByteArray("3,x,y\r\n\0\0\0\r\n", 12)); }),
        u"ファイル '%1' の 2 行目に NUL 文字があります。テキストのリストではありません。"_s.arg(
            path));
    EXPECT_EQ(test::rows(db, u"SELECT * FROM MeloDeck"_s), before);
    // A line without end beyond 16 MB: no text list either.
    EXPECT_EQ(
        raised([&] { import("3,x,y\r\n4," + QByteArray(17 << 20, 'x')); }),
        u"ファイル '%1' に 16777216 バイトを超える行があります。テキストのリストではありません。"_s
            .arg(path));
    EXPECT_EQ(test::rows(db, u"SELECT * FROM MeloDeck"_s), before);
    EXPECT_EQ(raised([&] { import("3,x,y\r\n"); }), QString());
    EXPECT_EQ(test::rows(db, u"SELECT * FROM MeloDeck"_s),
              (std::vector<QStringList>{{u"3"_s, u"x"_s, u"y"_s, u"0"_s}}));
}

TEST(HostileStatements, NulNeverEndsAStatementEarly) {
    QTemporaryDir dir;
    const QString path = dir.filePath(u"t.mdb"_s);
    test::exec(path, u"CREATE TABLE t (k INTEGER, s TEXT); INSERT INTO t VALUES (1,'a'),(2,'b');"_s,
               true);
    Database db(path);
    // The engine would run only what stands before the NUL: the whole table
    // would go instead of one row.
    EXPECT_EQ(raised([&] { db.Execute(u"DELETE FROM t\0 WHERE k = 1"_s); }), kNulStatement);
    EXPECT_EQ(raised([&] { db.Execute(u"INSERT INTO t VALUES (3,'x\0y')"_s); }), kNulStatement);
    EXPECT_EQ(raised([&] { db.OpenRecordset(u"SELECT * FROM t WHERE s LIKE '*\0*'"_s); }),
              kNulStatement);
    EXPECT_EQ(test::rows(path, u"SELECT * FROM t"_s),
              (std::vector<QStringList>{{u"1"_s, u"a"_s}, {u"2"_s, u"b"_s}}));
}

TEST(HostileSettingsFile, Utf16FileWithAStrayLastByte) {
    // The settings fuzzer's finds: a UTF-16 file whose last line ends in half
    // a character. A line written after it was read one byte out of step;
    // completed into that line, the byte changed its value or section name.
    // It is kept on a line of its own.
    QTemporaryDir dir;
    const QString ini = dir.filePath(u"Melodeck.ini"_s);
    const QString text = u"[a]\r\nk=v"_s;
    const QByteArray original =
        QByteArray("\xFF\xFE", 2) +
        QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2) + 'A';
    test::WriteBytes(ini, original);
    ASSERT_TRUE(profile::WriteString(u"s"_s, u"key"_s, u"val"_s, ini));
    EXPECT_EQ(profile::GetString(u"s"_s, u"key"_s, {}, ini), u"val"_s);
    EXPECT_EQ(profile::GetString(u"a"_s, u"k"_s, {}, ini), u"v"_s);
    EXPECT_TRUE(test::ReadBytes(ini).startsWith(original.chopped(1) +
                                                QByteArray("\r\0\n\0A\0\r\0\n\0", 10)));

    // The same with a key added after the odd last line of its own section.
    test::WriteBytes(ini, original);
    ASSERT_TRUE(profile::WriteString(u"a"_s, u"j"_s, u"w"_s, ini));
    EXPECT_EQ(profile::GetString(u"a"_s, u"j"_s, {}, ini), u"w"_s);
    EXPECT_EQ(profile::GetString(u"a"_s, u"k"_s, {}, ini), u"v"_s);

    // Its second find: a stray byte that completes to a line break. Writes
    // into one reading of the file, saved once (as the exit saves), give the
    // bytes that the same writes one by one give, in either order.
    const QByteArray crLast =
        QByteArray("\xFF\xFE", 2) +
        QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2) + '\r';
    struct Write {
        QString section, key, value;
    };
    const Write newSection{u"s"_s, u"key"_s, u"val"_s}, sameSection{u"a"_s, u"j"_s, u"w"_s};
    for (const auto& [first, second] :
         {std::pair{newSection, sameSection}, std::pair{sameSection, newSection}}) {
        test::WriteBytes(ini, crLast);
        profile::File file(ini);
        file.WriteString(first.section, first.key, first.value);
        file.WriteString(second.section, second.key, second.value);
        ASSERT_TRUE(file.Save());
        const QByteArray together = test::ReadBytes(ini);
        test::WriteBytes(ini, crLast);
        for (const Write& w : {first, second})
            ASSERT_TRUE(profile::WriteString(w.section, w.key, w.value, ini));
        EXPECT_EQ(test::ReadBytes(ini).toHex(' '), together.toHex(' '));
        EXPECT_EQ(profile::GetString(u"a"_s, u"k"_s, {}, ini), u"v"_s);
        EXPECT_EQ(profile::GetString(u"a"_s, u"j"_s, {}, ini), u"w"_s);
        EXPECT_EQ(profile::GetString(u"s"_s, u"key"_s, {}, ini), u"val"_s);
    }

    // A header or a key on the line with the stray byte keeps its name and
    // value whatever is written: "[s" with a stray byte stays the section s.
    test::WriteBytes(ini, QByteArray("\xFF\xFE[\0s\0\xFF", 7));
    ASSERT_TRUE(profile::WriteString(u"s"_s, u"s"_s, u"x"_s, ini));
    EXPECT_EQ(profile::GetString(u"s"_s, u"s"_s, {}, ini), u"x"_s);
    test::WriteBytes(ini, crLast.chopped(1) + '\xFF');
    for (const Write& w : {newSection, sameSection}) {
        ASSERT_TRUE(profile::WriteString(w.section, w.key, w.value, ini));
        EXPECT_EQ(profile::GetString(u"a"_s, u"k"_s, {}, ini), u"v"_s);
    }
}

TEST(HostileSettingsFile, NulBinaryHugeAndRepeated) {
    QTemporaryDir dir;
    const QString ini = dir.filePath(u"Melodeck.ini"_s);

    // A NUL byte ends a value, as it ends the C string the value arrives in:
    // a table name never carries one into a statement.
    test::WriteBytes(ini, QByteArray("[MDB]\r\nPickupTableName=PickupList\0 WHERE 0=1\r\n", 46));
    EXPECT_EQ(profile::GetString(u"MDB"_s, u"PickupTableName"_s, {}, ini), u"PickupList"_s);

    // Binary: reads never give a NUL or a line break; a write keeps every
    // byte and adds its section at the end.
    QByteArray binary(256 * 1024, '\0');
    QRandomGenerator random(932);
    for (char& b : binary)
        b = char(random.bounded(256));
    test::WriteBytes(ini, binary);
    for (const QString& key : {u"Width"_s, u"NumColumns"_s, u""_s}) {
        const QString v = profile::GetString(u"Position"_s, key, {}, ini);
        for (QChar c : {u'\0', u'\r', u'\n'})
            EXPECT_FALSE(v.contains(c));
    }
    ASSERT_TRUE(profile::WriteString(u"Hostile"_s, u"k"_s, u"v"_s, ini));
    const QByteArray afterBinary = test::ReadBytes(ini);
    EXPECT_TRUE(afterBinary.startsWith(binary));
    EXPECT_TRUE(afterBinary.endsWith("\r\n[Hostile]\r\nk=v\r\n"));
    EXPECT_EQ(profile::GetString(u"Hostile"_s, u"k"_s, {}, ini), u"v"_s);

    // 10 MB: a value of that length reads whole; another key written beside
    // it leaves it whole.
    const QByteArray huge = "[CSV]\r\nPath=" + QByteArray(10 * 1024 * 1024, 'x') + "\r\n";
    test::WriteBytes(ini, huge);
    EXPECT_EQ(profile::GetString(u"CSV"_s, u"Path"_s, {}, ini), QString(10 * 1024 * 1024, u'x'));
    ASSERT_TRUE(profile::WriteString(u"CSV"_s, u"Other"_s, u"1"_s, ini));
    EXPECT_EQ(test::ReadBytes(ini), huge + "Other=1\r\n");

    // Repeated sections and keys: the first of each is read and replaced;
    // a new key joins the first section; the repeats stay as they were.
    test::WriteBytes(ini, "[ListGrid]\r\nOrderCol=3\r\nOrderCol=4\r\n[listgrid]\r\nOrderCol=5\r\n"
                          "OrderDesc=1\r\n");
    EXPECT_EQ(profile::GetString(u"ListGrid"_s, u"OrderCol"_s, {}, ini), u"3"_s);
    EXPECT_EQ(profile::GetString(u"ListGrid"_s, u"OrderDesc"_s, {}, ini), QString());
    ASSERT_TRUE(profile::WriteString(u"ListGrid"_s, u"OrderCol"_s, u"7"_s, ini));
    ASSERT_TRUE(profile::WriteString(u"ListGrid"_s, u"OrderDesc"_s, u"0"_s, ini));
    EXPECT_EQ(test::ReadBytes(ini),
              "[ListGrid]\r\nOrderCol=7\r\nOrderCol=4\r\nOrderDesc=0\r\n[listgrid]\r\n"
              "OrderCol=5\r\nOrderDesc=1\r\n");
}
