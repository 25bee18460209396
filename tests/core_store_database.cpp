// The data layer on real SQLite files: opening, the statement forms the
// window builds, refused rows, errors, and the data control's Refresh.
#include "common/VbError.h"
#include "import/SongListImport.h"
#include "store/DataControl.h"
#include "store/Database.h"
#include "store/EngineError.h"
#include "support/common_files.h"
#include "support/hostile_support.h"
#include "support/store_TestDb.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <functional>
#include <limits>
#include <random>

using namespace melodeck;
using namespace Qt::Literals::StringLiterals;

namespace {

// The description of the VbError that f raises ("" when it raises none).
template <class F> QString errorOf(F&& f) {
    try {
        f();
    } catch (const VbError& e) {
        EXPECT_EQ(e.number(), VbError::Database);
        return e.description();
    }
    ADD_FAILURE() << "no error raised";
    return {};
}

// Each statement must fail through Execute: with the description given, or
// with any description when that is empty.
void expectRefused(Database& db, std::initializer_list<std::pair<QString, QString>> rows) {
    for (const auto& [statement, want] : rows) {
        const QString got = errorOf([&] { db.Execute(statement); });
        if (want.isEmpty())
            EXPECT_FALSE(got.isEmpty()) << statement.toStdString();
        else
            EXPECT_EQ(got, want) << statement.toStdString();
    }
}

// Cells of a record set as "a|b|<NULL>" lines.
QStringList dump(const Recordset& rs) {
    QStringList out;
    for (std::int64_t r = 0; r < rs.RecordCount(); ++r) {
        QStringList cells;
        for (int i = 0; i < rs.FieldCount(); ++i)
            cells << (rs.IsNull(r, i) ? u"<NULL>"_s : rs.CellText(r, i));
        out << cells.join(QLatin1Char('|'));
    }
    return out;
}

// Song number and title of each record.
QStringList keys(const Recordset& rs) {
    QStringList out;
    for (std::int64_t r = 0; r < rs.RecordCount(); ++r)
        out << rs.CellText(r, 0) + QLatin1Char(':') + rs.CellText(r, 2);
    return out;
}

class StoreDb : public ::testing::Test {
protected:
    void SetUp() override {
        path = test::createSongDb(dir.path());
        test::insertSongs(path, u"MeloDeck"_s,
                          {{300, u"歌手A"_s, u"ab'c"_s, u"歌い"_s, u"○"_s},
                           {100, u"歌手B"_s, u"ORDER BY"_s, {}, {}},
                           {200, u"歌手C"_s, u"xab'cx"_s, {}, u"○"_s},
                           {200, u"歌手D"_s, u"別曲"_s, {}, {}}});
        dat.DatabaseName = path;
        dat.RecordSource = u"SELECT * FROM MeloDeck"_s;
    }
    QTemporaryDir dir;
    QString path;
    DataControl dat;
};

} // namespace

TEST_F(StoreDb, OpeningOnlyExistingDatabases) {
    const QString missing = QDir(dir.path()).filePath(u"nai.mdb"_s);
    EXPECT_EQ(errorOf([&] { Database d(missing); }),
              u"ファイル '%1' が見つかりません。"_s.arg(missing));
    DataControl dc;
    dc.DatabaseName = missing;
    dc.RecordSource = u"SELECT * FROM MeloDeck"_s;
    EXPECT_EQ(errorOf([&] { dc.Refresh(); }), u"ファイル '%1' が見つかりません。"_s.arg(missing));
    EXPECT_FALSE(QFile::exists(missing)) << "the file must never be created";

    // A text file and an empty file are not databases, and stay as they are.
    for (const auto& [name, bytes] : {std::pair{u"text.mdb"_s, QByteArray(4096, 'x')},
                                      std::pair{u"empty.mdb"_s, QByteArray()}}) {
        const QString file = QDir(dir.path()).filePath(name);
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        f.close();
        EXPECT_EQ(errorOf([&] { Database d(file); }),
                  u"ファイル '%1' はデータベースではありません。"_s.arg(file));
        EXPECT_EQ(QFileInfo(file).size(), bytes.size());
    }
    EXPECT_FALSE(errorOf([&] { Database d(dir.path()); }).isEmpty());
}

TEST_F(StoreDb, FieldsTypesAndCells) {
    dat.Refresh();
    dat.Database().UseWriteLog(); // as the window does once started
    const Recordset& rs = dat.Recordset();
    ASSERT_EQ(rs.FieldCount(), 8);
    const QStringList names{u"曲番号"_s, u"歌手名"_s, u"曲名"_s,   u"歌い出し"_s,
                            u"ハモリ"_s, u"作詞者"_s, u"作曲者"_s, u"演奏時間"_s};
    const int types[] = {4, 10, 10, 10, 10, 10, 10, 4};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(rs.FieldName(i), names[i]);
        EXPECT_EQ(rs.FieldType(i), types[i]) << i;
    }
    EXPECT_EQ(rs.RecordCount(), 4);

    test::exec(path, u"CREATE TABLE Mixed (c CHAR(4), m LONGTEXT, d DOUBLE, s SINGLE, "
                     "b BIT, n, x MONEYISH);"
                     "INSERT INTO Mixed VALUES ('00123', '00123', 1.5, 0.25, -1, 7, NULL)"_s);
    const auto m = dat.Database().OpenRecordset(u"SELECT * FROM Mixed"_s);
    const int mixed[] = {18, 12, 7, 6, 1, 10, 19};
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(m->FieldType(i), mixed[i]) << i;
    EXPECT_EQ(dump(*m), QStringList{u"00123|00123|1.5|0.25|-1|7|<NULL>"_s});
    EXPECT_EQ(m->FieldValue(0, 2).type(), VType::Double);
    EXPECT_EQ(m->FieldValue(0, 3).type(), VType::Single);
    EXPECT_EQ(m->FieldValue(0, 4).type(), VType::Boolean);
    EXPECT_TRUE(m->FieldValue(0, 6).isNull());
    EXPECT_EQ(m->FieldValue(0, 1).asString(), u"00123"_s);

    // COUNT(*) has no declared type; its value is still a number.
    const auto c =
        dat.Database().OpenRecordset(u"SELECT COUNT(*) FROM MeloDeck WHERE 曲番号 = 200"_s);
    EXPECT_EQ(c->FieldValue(0, 0).asInt64(), 2);
    EXPECT_TRUE(c->FieldValue(0, 0).isWholeNumber());
}

TEST_F(StoreDb, QueryFormsAsTheWindowBuildsThem) {
    std::vector<QString> log;
    dat.Database().setStatementLog(&log);

    // The search with a doubled quote, a harmony clause and a descending sort
    // ending in a blank; after a header click, two blanks before ORDER BY; a
    // condition text that holds the words ORDER BY.
    const QString search =
        u"SELECT * FROM MeloDeck WHERE 1=1 AND 曲名 LIKE '*ab''c*' AND ハモリ IS NOT NULL ORDER BY "
        "曲名 DESC "_s;
    const std::pair<QString, QStringList> found[] = {
        {search, {u"200:xab'cx"_s, u"300:ab'c"_s}},
        {u"SELECT * FROM MeloDeck WHERE 1=1 AND ハモリ IS NULL  ORDER BY 曲番号"_s,
         {u"100:ORDER BY"_s, u"200:別曲"_s}},
        {u"SELECT * FROM MeloDeck WHERE 1=1 AND 曲名 LIKE '*order by*'  ORDER BY 曲番号 DESC "_s,
         {u"100:ORDER BY"_s}}};
    for (const auto& [source, want] : found) {
        dat.RecordSource = source;
        dat.Refresh();
        EXPECT_EQ(dat.RecordSource, source);
        EXPECT_EQ(keys(dat.Recordset()), want) << source.toStdString();
    }
    // Show-all, and a search with no condition taking part: every song, the
    // first in the order asked.
    for (const auto& [source, col, first] :
         {std::tuple{u"SELECT * FROM MeloDeck ORDER BY 曲番号"_s, 0, u"100"_s},
          std::tuple{u"SELECT * FROM MeloDeck WHERE 1=1 ORDER BY 歌手名 DESC "_s, 1, u"歌手D"_s}}) {
        dat.RecordSource = source;
        dat.Refresh();
        EXPECT_EQ(dat.Recordset().RecordCount(), 4) << source.toStdString();
        EXPECT_EQ(dat.Recordset().CellText(0, col), first) << source.toStdString();
    }

    // The pickup statements.
    Database& db = dat.Database();
    auto count = [&](int key) {
        return db.OpenRecordset(u"SELECT COUNT(*) FROM PickupList WHERE 曲番号 = %1"_s.arg(key))
            ->FieldValue(0, 0)
            .asInt64();
    };
    EXPECT_EQ(count(200), 0);
    db.Execute(u"INSERT INTO PickupList SELECT * FROM MeloDeck WHERE 曲番号 = 200"_s);
    EXPECT_EQ(db.RecordsAffected(), 2);
    EXPECT_EQ(count(200), 2);
    db.Execute(u"DELETE FROM PickupList WHERE 曲番号 = 200"_s);
    EXPECT_EQ(count(200), 0);

    // The import statements.
    db.Execute(u"DELETE FROM MeloDeck"_s);
    db.Execute(u"INSERT INTO MeloDeck VALUES (123,'歌手A','曲名B','It''s',NULL,NULL,NULL,0)"_s);
    EXPECT_EQ(test::rows(path, u"SELECT * FROM MeloDeck"_s),
              (std::vector<QStringList>{{u"123"_s, u"歌手A"_s, u"曲名B"_s, u"It's"_s, u"<NULL>"_s,
                                         u"<NULL>"_s, u"<NULL>"_s, u"0"_s}}));
    db.Execute(u"DELETE FROM PickupList"_s);

    // The log holds the texts exactly as built.
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(log[0], search);
    EXPECT_EQ(log.back(), u"DELETE FROM PickupList"_s);
    EXPECT_NE(std::find(log.begin(), log.end(),
                        u"INSERT INTO PickupList SELECT * FROM MeloDeck WHERE 曲番号 = 200"_s),
              log.end());
}

TEST_F(StoreDb, TablesReadAsTheEngineFindsThem) {
    test::exec(path, u"CREATE VIEW Picked AS SELECT * FROM PickupList"_s);
    Database& db = dat.Database();
    using T = Database::Table;
    const T songs{u"main"_s, u"MeloDeck"_s}, pickup{u"main"_s, u"PickupList"_s};
    const std::pair<QString, std::vector<T>> cases[] = {
        {u"melodeck"_s, {songs}},
        {u"[MELODECK]"_s, {songs}},
        {u"\"MeloDeck\" m"_s, {songs}},
        {u"`meloDECK`"_s, {songs}},
        {u"MAIN . \"melodeck\""_s, {songs}},
        {u"(SELECT * FROM melodeck)"_s, {songs}},
        {u"Picked"_s, {{u"main"_s, u"Picked"_s}}}, // a view is a table of its own
        {u"PickupList, MeloDeck"_s, {pickup, songs}},
    };
    for (const auto& [name, want] : cases)
        EXPECT_EQ(db.TablesRead(u"SELECT * FROM "_s + name + u" WHERE 1=0"_s), want)
            << name.toStdString();
    EXPECT_EQ(errorOf([&] { db.TablesRead(u"SELECT * FROM Nowhere"_s); }),
              u"テーブル 'Nowhere' が見つかりません。"_s);
}

TEST_F(StoreDb, RowsRefusedByAConstraintAreSkipped) {
    test::exec(path, u"CREATE TABLE U (k INTEGER UNIQUE, s TEXT NOT NULL);"
                     "INSERT INTO U VALUES (1, 'one')"_s);
    Database& db = dat.Database();
    db.Execute(u"INSERT INTO U VALUES (1,'again')"_s);
    EXPECT_EQ(db.RecordsAffected(), 0);
    db.Execute(u"INSERT INTO U VALUES (2,NULL)"_s);
    db.Execute(u"   insert into U VALUES (3,'three')"_s);
    // Of several rows, only the refused one is missing.
    test::exec(path, u"CREATE TABLE V (k INTEGER, s TEXT);"
                     "INSERT INTO V VALUES (1,'x'),(4,'four'),(5,'five')"_s);
    db.Execute(u"INSERT INTO U SELECT * FROM V"_s);
    EXPECT_EQ(db.RecordsAffected(), 2);
    db.Execute(u"UPDATE U SET k = 1 WHERE k = 5"_s);
    EXPECT_EQ(
        test::rows(path, u"SELECT k, s FROM U ORDER BY k"_s),
        (std::vector<QStringList>{
            {u"1"_s, u"one"_s}, {u"3"_s, u"three"_s}, {u"4"_s, u"four"_s}, {u"5"_s, u"five"_s}}));
}

TEST_F(StoreDb, BoundRowsStoreWhatTheLoggedStatementStores) {
    // The import binds each line's values; the statement text it logs for
    // the line, parsed by the engine into a twin table, must store the same
    // values and types.
    const char* cols = "(a INTEGER, b VARCHAR(10), c LONGTEXT, d DOUBLE, e)";
    test::exec(path,
               u"CREATE TABLE Mine %1; CREATE TABLE Twin %1"_s.arg(QString::fromLatin1(cols)));
    const QStringList lines{
        u"1,x,00123,2,"_s,
        u"-5,It's,,0,a"_s,
        u"12,34,56,7.5,08"_s,
        u"+7, 12 ,-0,  9 ,NULL"_s,
        u"  3 , 'a' ,c)d''',x"_s,
        u"- 4,歌手,00123,-2,‐"_s,
        u"1.5,r,1e3,-2.5,x"_s,
        u"9223372036854775807,max"_s,
        u"99999999999999999999,big,1E+300"_s,
        u"&H1F,hex,&O17,.5e1,\0 a \0"_s,
    };
    Database& db = dat.Database();
    std::vector<QString> log;
    db.setStatementLog(&log);
    songlist::InsertBuilder mine(u"Mine"_s, {false, true, false, false, true});
    songlist::InsertBuilder twin(u"Twin"_s, {false, true, false, false, true});
    RowValues row;
    for (const QString& line : lines) {
        mine.values(line, row);
        db.InsertRow(u"Mine"_s, row, [&] { return mine.build(line); });
        EXPECT_EQ(db.RecordsAffected(), 1) << line.toStdString();
        EXPECT_EQ(log.back(), mine.build(line));
        test::exec(path, twin.build(line));
    }
    const QString cells =
        u"SELECT typeof(a), a, typeof(b), b, typeof(c), c, typeof(d), d, typeof(e), e FROM %1 "
        "ORDER BY rowid"_s;
    EXPECT_EQ(test::rows(path, cells.arg(u"Mine"_s)), test::rows(path, cells.arg(u"Twin"_s)));

    // A table the values do not fit fails with the engine's description.
    RowValues five;
    for (int i = 0; i < 5; ++i)
        five.addInteger(i);
    EXPECT_EQ(errorOf([&] { db.InsertRow(u"Nai"_s, five, [] { return QString(); }); }),
              u"テーブル 'Nai' が見つかりません。"_s);
    EXPECT_EQ(errorOf([&] { db.InsertRow(u"PickupList"_s, five, [] { return QString(); }); }),
              u"テーブル 'PickupList' のフィールドは 8 個ですが、5 個の値が指定されました。"_s);
    EXPECT_EQ(test::scalar(path, u"SELECT COUNT(*) FROM Mine"_s), QString::number(lines.size()));
}

TEST_F(StoreDb, ErrorsCarryDescriptions) {
    Database& db = dat.Database();
    EXPECT_EQ(errorOf([&] { db.OpenRecordset(u"SELECT * FROM MeloDeck ORDER BY 無い"_s); }),
              u"フィールド '無い' が見つかりません。"_s);
    // A second statement is refused and nothing of the text runs.
    expectRefused(db, {{u"DELETE FROM NoSuch"_s, u"テーブル 'NoSuch' が見つかりません。"_s},
                       {u"DELET FROM MeloDeck"_s, {}},
                       {QString(), {}},
                       {u"DELETE FROM MeloDeck; DELETE FROM PickupList"_s, {}}});
    EXPECT_EQ(test::scalar(path, u"SELECT COUNT(*) FROM MeloDeck"_s), u"4"_s);
    // No comment anywhere: a name holding one would cut the statement short.
    EXPECT_EQ(errorOf([&] { db.Execute(u"DELETE FROM PickupList ; -- done"_s); }),
              u"SQL ステートメントにコメント（-- または /*）は使用できません。"_s);
    EXPECT_EQ(errorOf([&] { db.Execute(u"DELETE FROM PickupList /* WHERE 曲番号 = 1 */"_s); }),
              u"SQL ステートメントにコメント（-- または /*）は使用できません。"_s);
    db.Execute(u"DELETE FROM PickupList WHERE 曲名 LIKE '*--*' OR 曲名 = '/*' ;"_s);

    // The engine's errors in Japanese, with the names they carry; one it has
    // no words for keeps its own after a Japanese lead.
    expectRefused(
        db, {{u"SELECT * FROM MeloDeck ORDER BY 曲 番号"_s,
              u"SQL ステートメントの '番号' の付近に構文エラーがあります。"_s},
             {u"INSERT INTO PickupList VALUES (1,'a')"_s,
              u"テーブル 'PickupList' のフィールドは 8 個ですが、2 個の値が指定されました。"_s},
             {u"INSERT INTO PickupList (曲番号, 曲名) VALUES (1)"_s,
              u"2 個のフィールドに 1 個の値が指定されました。"_s},
             {u"DELETE FROM MeloDeck WHERE"_s, u"SQL ステートメントが途中で終わっています。"_s},
             {u"DELETE FROM MeloDeck WHERE 曲名 = 'x"_s,
              u"SQL ステートメントの ''x' を読み取れません。"_s},
             {u"DELETE FROM MeloDeck WHERE nai(1)"_s,
              u"データベース エラー: no such function: nai"_s}});
    {
        // A write the disk refuses.
        test::FileSizeLimit limit(64 * 1024);
        EXPECT_EQ(
            errorOf([&] {
                db.Execute(
                    u"INSERT INTO PickupList SELECT 1, zeroblob(1000000), 2, 3, 4, 5, 6, 7"_s);
            }),
            u"データベース '%1' の読み書き中にディスクのエラーが発生しました。"_s.arg(path));
    }
    EXPECT_EQ(DescribeEngineError(path, SQLITE_FULL, "database or disk is full"),
              u"ディスクがいっぱいのため '%1' に書き込めません。"_s.arg(path));
    EXPECT_EQ(test::scalar(path, u"SELECT COUNT(*) FROM PickupList"_s), u"0"_s);

    // A file locked by another program gives an error, not a hang.
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(path.toUtf8().constData(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_EQ(errorOf([&] { db.Execute(u"DELETE FROM PickupList"_s); }),
              u"データベース '%1' は他のプログラムが使用中です。"_s.arg(path));
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    db.Execute(u"DELETE FROM PickupList"_s);
}

TEST_F(StoreDb, RefreshFailureKeepsThePreviousRecordSet) {
    EXPECT_EQ(dat.Recordset().RecordCount(), 0); // before any Refresh
    dat.Refresh();
    ASSERT_EQ(dat.Recordset().RecordCount(), 4);

    dat.RecordSource = u"SELECT * FROM Missing ORDER BY 曲番号"_s;
    EXPECT_EQ(errorOf([&] { dat.Refresh(); }), u"テーブル 'Missing' が見つかりません。"_s);
    EXPECT_EQ(dat.RecordSource, u"SELECT * FROM Missing ORDER BY 曲番号"_s);
    EXPECT_EQ(dat.Recordset().RecordCount(), 4);

    dat.RecordSource = u"SELECT * FROM MeloDeck WHERE 曲名 LIKE '*[x*'"_s;
    EXPECT_EQ(errorOf([&] { dat.Refresh(); }), u"パターン文字列が不正です。"_s);
    EXPECT_EQ(dat.Recordset().RecordCount(), 4);

    // A database name that cannot be opened keeps both the set and the open
    // database; the next good name opens that file.
    const QString other = test::createSongDb(dir.path(), {}, u"other.mdb"_s);
    test::insertSongs(other, u"MeloDeck"_s, {{9, u"別"_s}});
    dat.DatabaseName = QDir(dir.path()).filePath(u"gone.mdb"_s);
    dat.RecordSource = u"SELECT * FROM MeloDeck"_s;
    EXPECT_FALSE(errorOf([&] { dat.Refresh(); }).isEmpty());
    EXPECT_EQ(dat.Recordset().RecordCount(), 4);
    EXPECT_EQ(dat.sharedDatabase()->Name(), path);
    dat.DatabaseName = other;
    dat.Refresh();
    EXPECT_EQ(dump(dat.Recordset()), QStringList{u"9|別|<NULL>|<NULL>|<NULL>|<NULL>|<NULL>|0"_s});

    // A view holding the old set keeps it valid across a Refresh.
    auto held = dat.sharedRecordset();
    dat.DatabaseName = path;
    dat.Refresh();
    EXPECT_EQ(held->RecordCount(), 1);
    EXPECT_EQ(dat.Recordset().RecordCount(), 4);
}

TEST_F(StoreDb, ASetShowsItsRefreshWhateverIsWrittenSince) {
    // Another program and this one change rows after the Refresh; the set
    // keeps every row, value and count of the moment it ran, and the next
    // Refresh shows the table as it is.
    std::vector<test::Song> many;
    for (int i = 0; i < 9000; ++i)
        many.push_back({9000 - i, u"歌手%1"_s.arg(i)});
    test::insertSongs(path, u"MeloDeck"_s, many);
    // In the key's index order the row ids are read as rows are shown.
    for (const QString& source :
         {u"SELECT * FROM MeloDeck ORDER BY 曲番号"_s,
          u"SELECT * FROM MeloDeck WHERE 曲番号 < 400 ORDER BY 歌手名 DESC "_s}) {
        SCOPED_TRACE(source.toStdString());
        const QString where = source.section(u" ORDER BY"_s, 0, 0).mid(22);
        auto countNow = [&] {
            return test::scalar(path, u"SELECT COUNT(*) FROM MeloDeck"_s + where).toLongLong();
        };
        const std::int64_t count = countNow();
        DataControl dc;
        dc.DatabaseName = path;
        dc.RecordSource = source;
        dc.Refresh();
        ASSERT_TRUE(dc.Database().UseWriteLog());
        const auto rs = dc.sharedRecordset();
        ASSERT_EQ(rs->RecordCount(), count);
        const QStringList whole = dump(*rs);
        ASSERT_EQ(whole.size(), count);
        // A set whose first rows only were shown, then the writes.
        dc.Refresh();
        const auto fresh = dc.sharedRecordset();
        EXPECT_EQ(fresh->CellText(0, 0), whole[0].section(u'|', 0, 0));
        test::exec(path, u"DELETE FROM MeloDeck WHERE 曲番号 % 4 = %1 OR 曲番号 = 200;"
                         "UPDATE MeloDeck SET 歌手名 = '他' WHERE 曲番号 IN (300, 8998)"_s.arg(
                             source.contains(u"WHERE"_s) ? 2 : 1));
        Database& db = dc.Database();
        db.Execute(u"UPDATE MeloDeck SET 曲名 = '新曲' WHERE 曲番号 = 100 OR 曲番号 = 9000"_s);
        db.BeginTrans();
        db.Execute(u"DELETE FROM MeloDeck"_s);
        EXPECT_EQ(fresh->RecordCount(), count);
        EXPECT_EQ(dump(*fresh), whole);
        db.Rollback();
        EXPECT_EQ(dump(*rs), whole);
        EXPECT_TRUE(fresh->ReadError().isEmpty());

        dc.Refresh();
        const QStringList now = dump(dc.Recordset());
        EXPECT_EQ(now.size(), countNow());
        EXPECT_LT(now.size(), count);
        EXPECT_TRUE(now.join(u'\n').contains(u"|他|"_s));
        EXPECT_FALSE(whole.join(u'\n').contains(u"|他|"_s));
        test::exec(path, u"UPDATE MeloDeck SET 歌手名 = '歌手' WHERE 歌手名 = '他'"_s);
    }
}

TEST_F(StoreDb, AWriteLockOfAnotherProgramHoldsNoReadUp) {
    std::vector<test::Song> many;
    for (int i = 0; i < 5000; ++i)
        many.push_back({i, u"歌手%1"_s.arg(i), u"曲%1"_s.arg(i)});
    test::insertSongs(path, u"MeloDeck"_s, many);
    dat.RecordSource = u"SELECT * FROM MeloDeck ORDER BY 曲番号"_s;
    dat.Refresh();
    ASSERT_TRUE(dat.Database().UseWriteLog());
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(path.toUtf8().constData(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE; DELETE FROM MeloDeck WHERE 曲番号 > 10",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    // Every row, as at the Refresh, without waiting for the lock (a wait
    // would take the busy timeout, two seconds, for a block of rows).
    QElapsedTimer t;
    t.start();
    const Recordset& rs = dat.Recordset();
    ASSERT_EQ(rs.RecordCount(), 5004);
    for (std::int64_t r = 0; r < rs.RecordCount(); ++r)
        ASSERT_FALSE(rs.IsNull(r, 0)) << r;
    EXPECT_LT(t.elapsed(), 1500);
    EXPECT_EQ(rs.CellText(5003, 2), u"曲4999"_s);
    sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    dat.Refresh();
    EXPECT_EQ(dat.Recordset().RecordCount(), 11);
}

TEST_F(StoreDb, TheFileIsOneFileOnceClosedAndReadOnlyFilesStaySo) {
    auto journalMode = [](const QString& file) {
        QFile f(file);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        return f.read(20).mid(18, 2).toHex();
    };
    ASSERT_EQ(journalMode(path), "0101");
    {
        DataControl dc;
        dc.DatabaseName = path;
        dc.RecordSource = u"SELECT * FROM MeloDeck ORDER BY 曲名"_s;
        dc.Refresh();
        dc.Database().Execute(
            u"INSERT INTO PickupList SELECT * FROM MeloDeck WHERE 曲番号 = 300"_s);
        // While it is open, other programs write beside the log.
        EXPECT_TRUE(QFile::exists(path + u"-wal"_s));
        EXPECT_EQ(journalMode(path), "0202");
        test::exec(path, u"INSERT INTO PickupList SELECT * FROM MeloDeck WHERE 曲番号 = 100"_s);
    }
    // Closed: the log is folded in and gone, the file back to its journal.
    EXPECT_FALSE(QFile::exists(path + u"-wal"_s));
    EXPECT_FALSE(QFile::exists(path + u"-shm"_s));
    EXPECT_EQ(journalMode(path), "0101");
    EXPECT_EQ(test::scalar(path, u"SELECT COUNT(*) FROM PickupList WHERE 曲番号 IN (100, 300)"_s),
              u"2"_s);

    // A file nobody may write is opened for reading and never touched.
    ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup));
    const QByteArray before = test::ReadBytes(path);
    {
        DataControl dc;
        dc.DatabaseName = path;
        dc.RecordSource = u"SELECT * FROM MeloDeck ORDER BY 曲番号"_s;
        dc.Refresh();
        EXPECT_EQ(dc.Recordset().RecordCount(), 4);
        EXPECT_EQ(errorOf([&] { dc.Database().Execute(u"DELETE FROM PickupList"_s); }),
                  u"データベース '%1' は読み取り専用のため更新できません。"_s.arg(path));
        EXPECT_FALSE(QFile::exists(path + u"-wal"_s));
    }
    EXPECT_EQ(test::ReadBytes(path), before);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
}

TEST_F(StoreDb, DamagedRowsAreNeverBlankRows) {
    std::vector<test::Song> many;
    for (int i = 1; i <= 16000; ++i)
        many.push_back({i, u"歌手%1"_s.arg(i), u"曲%1"_s.arg(16000 - i)});
    test::insertSongs(path, u"MeloDeck"_s, many);
    ASSERT_GT(test::damageTableRows(path, u"MeloDeck"_s, 0.6, 1), 0);
    const QString damaged = u"データベース '%1' が壊れています。"_s.arg(path);

    // In the order of the key's index the rows are read as they are shown:
    // those before the damage read whole, and the set ends there.
    dat.RecordSource = u"SELECT * FROM MeloDeck ORDER BY 曲番号"_s;
    dat.Refresh();
    const Recordset& rs = dat.Recordset();
    ASSERT_EQ(rs.RecordCount(), 16004);
    EXPECT_EQ(rs.CellText(0, 1), u"歌手1"_s);
    std::int64_t read = 0;
    while (read < rs.RecordCount() && !rs.IsNull(read, 0))
        ++read;
    EXPECT_EQ(rs.ReadError(), damaged);
    EXPECT_EQ(rs.ReadableCount(), read);
    EXPECT_GT(read, 4000);
    EXPECT_LT(read, 16004);
    for (std::int64_t r = read; r < rs.RecordCount(); r += 997)
        EXPECT_EQ(rs.CellText(r, 1), QString()) << r;
    for (std::int64_t r = 1; r < read; r += 499)
        EXPECT_LE(rs.CellText(r - 1, 0).toInt(), rs.CellText(r, 0).toInt()) << r;
    // A sort reads the whole column and so fails at once.
    dat.RecordSource = u"SELECT * FROM MeloDeck ORDER BY 曲名"_s;
    EXPECT_EQ(errorOf([&] { dat.Refresh(); }), damaged);
}

TEST_F(StoreDb, ViewsAndTablesWithoutRowIdsSortAsTablesDo) {
    test::exec(path, u"CREATE VIEW Songs AS SELECT * FROM MeloDeck;"
                     "CREATE TABLE Keyed (曲番号 INTEGER, 歌手名 TEXT, 曲名 TEXT, 歌い出し TEXT, "
                     "ハモリ TEXT, 作詞者 TEXT, 作曲者 TEXT, 演奏時間 INTEGER, "
                     "PRIMARY KEY (曲番号, 歌手名)) WITHOUT ROWID"_s);
    test::insertSongs(path, u"MeloDeck"_s,
                      {{400, u"ａいう"_s, u"ＤＯＰＡ"_s},
                       {500, u"カキク"_s, u"dopa2"_s},
                       {600, u"がぎ"_s, u"zebra"_s},
                       {700, u"ｶｷｸ"_s, u"ドパ"_s},
                       {800, u"Ａあ"_s, u"とぱ"_s}});
    test::exec(path, u"INSERT INTO Keyed SELECT * FROM MeloDeck"_s);
    for (const QString& order : {u"曲名"_s, u"歌手名 DESC "_s, u"ハモリ"_s, u"曲番号 DESC "_s}) {
        const QString where = u" WHERE 1=1 AND 歌手名 IS NOT NULL ORDER BY "_s + order;
        dat.RecordSource = u"SELECT * FROM MeloDeck"_s + where;
        dat.Refresh();
        const QStringList table = dump(dat.Recordset());
        ASSERT_EQ(table.size(), 9);
        // Rows that tie come in the source's own order, the key for a table
        // without row ids: only a field without ties orders it as the table.
        const bool ties = order.startsWith(u"ハモリ"_s) || order.startsWith(u"曲番号"_s);
        for (const QString& other : {u"Songs"_s, u"Keyed"_s}) {
            if (ties && other == u"Keyed"_s)
                continue;
            dat.RecordSource = u"SELECT * FROM "_s + other + where;
            dat.Refresh();
            EXPECT_EQ(dump(dat.Recordset()), table) << other.toStdString() << order.toStdString();
        }
    }
    // The full-width title sorts among the Latin ones, not after them.
    dat.RecordSource = u"SELECT * FROM Songs ORDER BY 曲名"_s;
    dat.Refresh();
    EXPECT_EQ(keys(dat.Recordset()).mid(0, 3),
              (QStringList{u"300:ab'c"_s, u"400:ＤＯＰＡ"_s, u"500:dopa2"_s}));
}

TEST_F(StoreDb, SharedConnectionAndTransactions) {
    DataControl pickup;
    pickup.DatabaseName = path;
    pickup.RecordSource = u"SELECT * FROM PickupList"_s;
    dat.Refresh();
    pickup.shareDatabase(dat.sharedDatabase());
    EXPECT_EQ(&pickup.Database(), &dat.Database());

    // Inside a transaction of one control the other reads on the same
    // connection instead of waiting for a lock.
    Database& db = dat.Database();
    db.BeginTrans();
    EXPECT_TRUE(db.InTransaction());
    db.Execute(u"INSERT INTO PickupList SELECT * FROM MeloDeck WHERE 曲番号 = 300"_s);
    pickup.Refresh();
    EXPECT_EQ(pickup.Recordset().RecordCount(), 1);
    db.Rollback();
    EXPECT_FALSE(db.InTransaction());
    pickup.Refresh();
    EXPECT_EQ(pickup.Recordset().RecordCount(), 0);

    db.BeginTrans();
    db.Execute(u"DELETE FROM MeloDeck WHERE 曲番号 = 200"_s);
    db.CommitTrans();
    EXPECT_EQ(test::scalar(path, u"SELECT COUNT(*) FROM MeloDeck"_s), u"2"_s);

    // An empty record source gives an empty set, not an error.
    pickup.RecordSource.clear();
    pickup.Refresh();
    EXPECT_EQ(pickup.Recordset().FieldCount(), 0);
}

TEST_F(StoreDb, CellsOfLongAndWideRows) {
    // A cell is found by its end within the row while the row is short, and
    // through a side table once the row passes 8 KiB; rows before, between
    // and after long ones must read back unchanged.
    constexpr int n = 120; // the last field is a number
    QStringList decl;
    for (int i = 0; i < n; ++i)
        decl << u"c%1 %2"_s.arg(i).arg(i + 1 < n ? u"TEXT" : u"INTEGER");
    test::exec(path, u"CREATE TABLE W (%1)"_s.arg(decl.join(u',')));

    auto text = [](int r, int i, int len) { return QString(len, QChar(u'a' + (r * 7 + i) % 26)); };
    std::vector<std::vector<QVariant>> rows(6, std::vector<QVariant>(size_t(n)));
    for (int i = 0; i + 1 < n; ++i) {
        rows[0][size_t(i)] = i == 3 ? QVariant() : QVariant(text(0, i, i % 5));
        rows[1][size_t(i)] = text(1, i, 2);
        rows[2][size_t(i)] = i % 7 == 0    ? QVariant()
                             : i % 11 == 0 ? QVariant(QString())
                             : i % 13 == 0 ? QVariant(QString(30, QChar(u'夢')))
                                           : QVariant(text(2, i, 100));
        rows[3][size_t(i)] = i == 6 ? QVariant() : QVariant(text(3, i, i == 5 ? 70000 : 3));
        rows[4][size_t(i)] = text(4, i, 1);
        rows[5][size_t(i)] = u"歌%1"_s.arg(i);
    }
    // Row 1 ends its first cell on the last short end and its second one
    // byte past it, then an empty text and a Null.
    rows[1][0] = text(1, 0, 8190);
    rows[1][1] = text(1, 1, 1);
    rows[1][2] = QString();
    rows[1][3] = QVariant();
    for (size_t r = 0; r < rows.size(); ++r)
        rows[r][size_t(n - 1)] = qint64(r) * 100000 - 5;
    test::insertRows(path, u"W"_s, rows);

    const auto rs = dat.Database().OpenRecordset(u"SELECT * FROM W"_s);
    ASSERT_EQ(rs->FieldCount(), n);
    ASSERT_EQ(rs->RecordCount(), std::int64_t(rows.size()));
    for (size_t r = 0; r < rows.size(); ++r) {
        for (int i = 0; i < n; ++i) {
            const QVariant& want = rows[r][size_t(i)];
            EXPECT_EQ(rs->IsNull(std::int64_t(r), i), want.isNull()) << r << ' ' << i;
            EXPECT_EQ(rs->CellText(std::int64_t(r), i), want.isNull() ? QString() : want.toString())
                << r << ' ' << i;
        }
        EXPECT_EQ(rs->FieldValue(std::int64_t(r), n - 1).asInt64(), qint64(r) * 100000 - 5);
    }
    EXPECT_EQ(rs->FieldValue(1, 2).type(), VType::String); // empty text, not Null
    EXPECT_TRUE(rs->FieldValue(1, 3).isNull());
}

namespace {

// A song of a large table as a second connection reads it, with what its
// sorts and searches go by: a title's place among the texts the Japanese
// order is known to put apart or together, a number as a number.
struct LargeRow {
    QString tag; // 作詞者: which row
    double key[8];
    int titleClass;
};

// Titles from first to last in the Japanese order; texts in one group tie.
const std::vector<QStringList>& titleGroups() {
    static const std::vector<QStringList> groups{
        {u"10"_s},
        {u"9"_s},
        {u"apple"_s},
        {u"pamo"_s, u"ＰＡＭＯ"_s, u"ｐａｍｏ"_s, u"PAMO"_s},
        {u"Zebra"_s},
        {u"アイナ"_s},
        {u"あいみょん"_s},
        {u"か"_s},
        {u"ｶﾞ"_s, u"ガ"_s, u"が"_s},
        {u"ん"_s},
        {u"亜"_s},
        {u"腕"_s},
        {u"弌"_s}};
    return groups;
}

std::vector<LargeRow> largeRows(const QString& path) {
    std::vector<LargeRow> out;
    const double null = -std::numeric_limits<double>::infinity();
    for (const QStringList& r : test::rows(
             path,
             u"SELECT 曲番号, 曲名, 歌い出し, 作詞者, 演奏時間 FROM MeloDeck ORDER BY rowid"_s)) {
        LargeRow row{r[3], {}, -1};
        std::fill(std::begin(row.key), std::end(row.key), null);
        if (r[0] != u"<NULL>"_s)
            row.key[0] = r[0].toDouble();
        for (size_t g = 0; g < titleGroups().size(); ++g)
            if (titleGroups()[g].contains(r[1]))
                row.titleClass = int(g);
        EXPECT_TRUE(row.titleClass >= 0 || r[1] == u"<NULL>"_s) << r[1].toStdString();
        if (row.titleClass >= 0)
            row.key[2] = row.titleClass;
        if (r[2] != u"<NULL>"_s)
            row.key[3] = 0; // ～ and 〜 tie
        if (r[4] != u"<NULL>"_s)
            row.key[7] = r[4].toDouble();
        out.push_back(row);
    }
    return out;
}

class EveryRowImported : public songlist::ImportSink {
public:
    void progress(std::int64_t) override {}
    void rowAdded() override {}
};

} // namespace

// A large table is read in two halves on two threads and the ranks of a sort
// are kept for the next: neither may show in what the user sees. Every sort
// and search gives the rows and order of one plain scan (ties in row order,
// or in the order shown before when the set replaces one of the same table),
// also after a write by the program, an import and a write by another
// program, each of which changes values the kept ranks were made from.
TEST(StoreLargeTable, SortsAndSearchesAreThoseOfOneScanAfterEveryChange) {
    QTemporaryDir dir;
    const QString path = test::createSongDb(dir.path());
    std::mt19937 rnd(15);
    // Above the size read in two halves, and the sorted halves merged on
    // two threads.
    const int n = 34000;
    std::vector<std::vector<QVariant>> rows;
    for (int i = 0; i < n; ++i) {
        std::vector<QVariant> row(8);
        if (rnd() % 50)
            row[0] = int(rnd() % 700);
        if (rnd() % 20) {
            const QStringList& g = titleGroups()[rnd() % titleGroups().size()];
            row[2] = g[qsizetype(rnd() % g.size())];
        }
        if (const int lyric = int(rnd() % 3))
            row[3] = lyric == 1 ? u"～"_s : u"〜"_s;
        row[5] = u"r%1"_s.arg(i);
        if (const int s = int(rnd() % 10))
            row[7] = s == 1 ? QVariant(rnd() % 20 + 0.5) : QVariant(int(rnd() % 20));
        rows.push_back(row);
    }
    test::insertRows(path, u"MeloDeck"_s, rows);

    DataControl dat;
    dat.DatabaseName = path;
    // The rows in index order read the index, whose pages lie between the
    // table's: reading ahead must not read the whole file for them.
    const auto bytesRead = [] {
        QFile io(u"/proc/self/io"_s);
        EXPECT_TRUE(io.open(QIODevice::ReadOnly));
        for (const QByteArray& line : io.readAll().split('\n'))
            if (line.startsWith("rchar:"))
                return line.mid(6).trimmed().toLongLong();
        return 0LL;
    };
    dat.RecordSource = u"SELECT * FROM PickupList"_s;
    dat.Refresh();
    const long long before = bytesRead();
    dat.RecordSource = u"SELECT * FROM MeloDeck ORDER BY 曲番号"_s;
    dat.Refresh();
    const long long read = bytesRead() - before;
    const long long index = test::scalar(path, u"SELECT sum(pgsize) FROM dbstat "
                                               "WHERE name = 'MeloDeck_曲番号'"_s)
                                .toLongLong();
    EXPECT_GT(index, 0);
    EXPECT_LT(read, 2 * index) << "of a file of " << QFileInfo(path).size();
    const QStringList fields{u"曲番号"_s, {}, u"曲名"_s, u"歌い出し"_s, {}, {}, {}, u"演奏時間"_s};
    struct Query {
        QString where;
        std::function<bool(const LargeRow&)> keep;
        int field; // -1: no order clause
        bool desc;
        bool afterPrevious; // ties in the order of the query before (of the whole table)
    };
    const auto all = [](const LargeRow&) { return true; };
    const auto inGroups = [](std::initializer_list<int> gs) {
        return [gs = std::vector<int>(gs)](const LargeRow& r) {
            return std::find(gs.begin(), gs.end(), r.titleClass) != gs.end();
        };
    };
    const Query queries[] = {
        {{}, all, 2, false, false},
        {{}, all, 2, true, false},
        {u" WHERE 1=1 AND 曲名 LIKE '*ガ*'"_s, inGroups({8}), 2, false, false},
        {u" WHERE 1=1 AND 曲名 LIKE '*a*'"_s, inGroups({2, 3, 4}), 2, true, false},
        {u" WHERE 1=1 AND 曲名 LIKE 'ＰaMo'"_s, inGroups({3}), -1, false, false},
        {{}, all, 7, true, false},
        {{}, all, 7, false, false},
        {{}, all, 0, true, false},
        {{}, all, 0, false, false},
        {{}, all, 3, false, true}, // ties of 歌い出し in 曲番号 order
        {{}, all, 2, true, true},
        {u" WHERE 1=1 AND 曲名 LIKE '*a*'"_s, inGroups({2, 3, 4}), 7, false, true},
        {u" WHERE 1=1 AND 歌い出し LIKE '*〜*'"_s, [](const LargeRow& r) { return r.key[3] == 0; },
         2, false, false},
    };
    const auto checkAll = [&](const char* state) {
        SCOPED_TRACE(state);
        // Read once the first query has run: a write may come as it begins.
        std::vector<LargeRow> model;
        std::vector<const LargeRow*> shown;
        for (const Query& q : queries) {
            QString source = u"SELECT * FROM MeloDeck"_s + q.where;
            if (q.field >= 0)
                source += u"  ORDER BY "_s + fields[q.field] + (q.desc ? u" DESC "_s : QString());
            if (!q.afterPrevious) {
                // No ties carried over from the set before.
                dat.RecordSource = u"SELECT * FROM PickupList"_s;
                dat.Refresh();
            }
            dat.RecordSource = source;
            dat.Refresh();
            if (model.empty())
                model = largeRows(path);
            std::vector<const LargeRow*> want;
            if (q.afterPrevious) {
                for (const LargeRow* r : shown)
                    if (q.keep(*r))
                        want.push_back(r);
            } else {
                for (const LargeRow& r : model)
                    if (q.keep(r))
                        want.push_back(&r);
            }
            if (q.field >= 0) {
                const int f = q.field;
                std::stable_sort(want.begin(), want.end(),
                                 [&](const LargeRow* a, const LargeRow* b) {
                                     return q.desc ? a->key[f] > b->key[f] : a->key[f] < b->key[f];
                                 });
            }
            const Recordset& rs = dat.Recordset();
            ASSERT_EQ(rs.RecordCount(), std::int64_t(want.size())) << source.toStdString();
            ASSERT_GT(want.size(), 100u) << source.toStdString();
            for (size_t i = 0; i < want.size(); ++i)
                if (rs.CellText(std::int64_t(i), 5) != want[i]->tag) {
                    ADD_FAILURE() << source.toStdString() << ": row " << i << " is "
                                  << rs.CellText(std::int64_t(i), 5).toStdString() << ", not "
                                  << want[i]->tag.toStdString();
                    break;
                }
            EXPECT_TRUE(rs.ReadError().isEmpty()) << rs.ReadError().toStdString();
            shown = want;
        }
    };
    checkAll("as created");

    // The program's own write moves titles into another group.
    dat.Database().Execute(u"UPDATE MeloDeck SET 曲名 = 'Zebra', 演奏時間 = 3 WHERE 曲番号 < 90"_s);
    ASSERT_GT(dat.Database().RecordsAffected(), 1000);
    checkAll("after the program's update");

    // An import replaces every row (a line without a number is skipped).
    const auto import = [&](const std::vector<const std::vector<QVariant>*>& lines,
                            bool nextTitle) {
        QString csv = QChar(0xFEFF);
        for (const std::vector<QVariant>* row : lines) {
            QStringList cells;
            for (size_t c = 0; c < 8; ++c) {
                QString cell = (*row)[c].toString();
                if (c == 2 && nextTitle)
                    for (size_t g = 0; g + 1 < titleGroups().size(); ++g)
                        if (titleGroups()[g].contains(cell)) {
                            cell = titleGroups()[g + 1].front();
                            break;
                        }
                cells << cell;
            }
            csv += cells.join(u',') + u"\r\n"_s;
        }
        const QString list = dir.filePath(u"list.csv"_s);
        test::WriteBytes(list, csv.toUtf8());
        EveryRowImported sink;
        songlist::SongListImport imp(list);
        ASSERT_EQ(
            imp.run(dat.Database(), u"MeloDeck"_s, songlist::TextFlags(dat.Recordset()), sink),
            songlist::ImportOutcome::Completed);
    };
    // The same songs in the reverse order, each title moved on to the next group.
    std::vector<const std::vector<QVariant>*> lines;
    for (auto it = rows.rbegin(); it != rows.rend(); ++it)
        lines.push_back(&*it);
    import(lines, true);
    checkAll("after an import");

    // Another program changes titles just as a sort's snapshot begins, after
    // the version before it was read: ranks kept from before must not order it.
    dat.Database().setSnapshotSeam([&, done = false](std::string_view table) mutable {
        if (done || table != "MeloDeck")
            return;
        done = true;
        test::exec(path, u"UPDATE MeloDeck SET 曲名 = 'ん' WHERE 曲番号 % 3 = 0"_s);
    });
    checkAll("after another program's write as a snapshot began");
    dat.Database().setSnapshotSeam(nullptr);

    // A list in number order appended to itself: read in two halves, each
    // rises by number, but together they do not.
    lines.clear();
    for (const auto& row : rows)
        if (!row[0].isNull())
            lines.push_back(&row);
    std::stable_sort(lines.begin(), lines.end(),
                     [](auto* a, auto* b) { return (*a)[0].toInt() < (*b)[0].toInt(); });
    lines.resize(10000);
    lines.insert(lines.end(), lines.begin(), lines.end());
    import(lines, false);
    checkAll("after an import of a list twice");

    // Another program deletes rows and changes titles and times.
    test::exec(path, u"DELETE FROM MeloDeck WHERE 曲番号 % 7 = 0;"
                     "UPDATE MeloDeck SET 曲名 = 'apple', 演奏時間 = NULL WHERE 曲番号 % 5 = 1"_s);
    checkAll("after another program's writes");
}
