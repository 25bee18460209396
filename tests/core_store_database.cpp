// The data layer on real SQLite files: opening, the statement forms the
// window builds, refused rows, errors, and the data control's Refresh.
#include "common/VbError.h"
#include "store/DataControl.h"
#include "store/Database.h"
#include "support/store_TestDb.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sqlite3.h>

using namespace melodeck;

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

// Cells of a record set as "a|b|<NULL>" lines.
QStringList dump(const Recordset& rs) {
    QStringList out;
    for (std::int64_t r = 0; r < rs.RecordCount(); ++r) {
        QStringList cells;
        for (int i = 0; i < rs.FieldCount(); ++i)
            cells << (rs.IsNull(r, i) ? QStringLiteral("<NULL>") : rs.CellText(r, i));
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
        path = testdb::createSongDb(dir.path());
        testdb::insertSongs(
            path, QStringLiteral("MeloDeck"),
            {
                {300, QStringLiteral("歌手A"), QStringLiteral("ab'c"), QStringLiteral("歌い"),
                 QStringLiteral("○")},
                {100, QStringLiteral("歌手B"), QStringLiteral("ORDER BY"), {}, {}},
                {200, QStringLiteral("歌手C"), QStringLiteral("xab'cx"), {}, QStringLiteral("○")},
                {200, QStringLiteral("歌手D"), QStringLiteral("別曲"), {}, {}},
            });
        dat.DatabaseName = path;
        dat.RecordSource = QStringLiteral("SELECT * FROM MeloDeck");
    }
    QTemporaryDir dir;
    QString path;
    DataControl dat;
};

} // namespace

TEST_F(StoreDb, OpeningOnlyExistingDatabases) {
    const QString missing = QDir(dir.path()).filePath(QStringLiteral("nai.mdb"));
    EXPECT_EQ(errorOf([&] { Database d(missing); }),
              QStringLiteral("ファイル '%1' が見つかりません。").arg(missing));
    DataControl dc;
    dc.DatabaseName = missing;
    dc.RecordSource = QStringLiteral("SELECT * FROM MeloDeck");
    EXPECT_EQ(errorOf([&] { dc.Refresh(); }),
              QStringLiteral("ファイル '%1' が見つかりません。").arg(missing));
    EXPECT_FALSE(QFile::exists(missing)) << "the file must never be created";

    const QString text = QDir(dir.path()).filePath(QStringLiteral("text.mdb"));
    QFile f(text);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(4096, 'x'));
    f.close();
    EXPECT_EQ(errorOf([&] { Database d(text); }),
              QStringLiteral("ファイル '%1' はデータベースではありません。").arg(text));

    const QString empty = QDir(dir.path()).filePath(QStringLiteral("empty.mdb"));
    QFile e(empty);
    ASSERT_TRUE(e.open(QIODevice::WriteOnly));
    e.close();
    EXPECT_EQ(errorOf([&] { Database d(empty); }),
              QStringLiteral("ファイル '%1' はデータベースではありません。").arg(empty));
    EXPECT_EQ(QFileInfo(empty).size(), 0);

    EXPECT_FALSE(errorOf([&] { Database d(dir.path()); }).isEmpty());
}

TEST_F(StoreDb, FieldsTypesAndCells) {
    dat.Refresh();
    const Recordset& rs = dat.Recordset();
    ASSERT_EQ(rs.FieldCount(), 8);
    const QStringList names{QStringLiteral("曲番号"), QStringLiteral("歌手名"),
                            QStringLiteral("曲名"),   QStringLiteral("歌い出し"),
                            QStringLiteral("ハモリ"), QStringLiteral("作詞者"),
                            QStringLiteral("作曲者"), QStringLiteral("演奏時間")};
    const int types[] = {4, 10, 10, 10, 10, 10, 10, 4};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(rs.FieldName(i), names[i]);
        EXPECT_EQ(rs.FieldType(i), types[i]) << i;
    }
    EXPECT_EQ(rs.RecordCount(), 4);

    testdb::exec(path, QStringLiteral(
                           "CREATE TABLE Mixed (c CHAR(4), m LONGTEXT, d DOUBLE, s SINGLE, "
                           "b BIT, n, x MONEYISH);"
                           "INSERT INTO Mixed VALUES ('00123', '00123', 1.5, 0.25, -1, 7, NULL)"));
    const auto m = dat.Database().OpenRecordset(QStringLiteral("SELECT * FROM Mixed"), 4);
    const int mixed[] = {18, 12, 7, 6, 1, 10, 19};
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(m->FieldType(i), mixed[i]) << i;
    EXPECT_EQ(dump(*m), QStringList{QStringLiteral("00123|00123|1.5|0.25|-1|7|<NULL>")});
    EXPECT_EQ(m->FieldValue(0, 2).type(), VType::Double);
    EXPECT_EQ(m->FieldValue(0, 3).type(), VType::Single);
    EXPECT_EQ(m->FieldValue(0, 4).type(), VType::Boolean);
    EXPECT_TRUE(m->FieldValue(0, 6).isNull());
    EXPECT_EQ(m->FieldValue(0, 1).asString(), QStringLiteral("00123"));

    // COUNT(*) has no declared type; its value is still a number.
    const auto c = dat.Database().OpenRecordset(
        QStringLiteral("SELECT COUNT(*) FROM MeloDeck WHERE 曲番号 = 200"), 4);
    EXPECT_EQ(c->FieldValue(0, 0).asInt64(), 2);
    EXPECT_TRUE(c->FieldValue(0, 0).isWholeNumber());
}

TEST_F(StoreDb, QueryFormsAsTheWindowBuildsThem) {
    std::vector<QString> log;
    dat.Database().setStatementLog(&log);

    // The search with a doubled quote, a harmony clause and a descending sort
    // ending in a blank.
    const QString search = QStringLiteral(
        "SELECT * FROM MeloDeck WHERE 1=1 AND 曲名 LIKE '*ab''c*' AND ハモリ IS NOT NULL ORDER BY "
        "曲名 DESC ");
    dat.RecordSource = search;
    dat.Refresh();
    EXPECT_EQ(dat.RecordSource, search);
    EXPECT_EQ(keys(dat.Recordset()),
              (QStringList{QStringLiteral("200:xab'cx"), QStringLiteral("300:ab'c")}));

    // After a header click: two blanks before ORDER BY.
    dat.RecordSource =
        QStringLiteral("SELECT * FROM MeloDeck WHERE 1=1 AND ハモリ IS NULL  ORDER BY 曲番号");
    dat.Refresh();
    EXPECT_EQ(keys(dat.Recordset()),
              (QStringList{QStringLiteral("100:ORDER BY"), QStringLiteral("200:別曲")}));

    // A condition text that holds the words ORDER BY.
    dat.RecordSource = QStringLiteral(
        "SELECT * FROM MeloDeck WHERE 1=1 AND 曲名 LIKE '*order by*'  ORDER BY 曲番号 DESC ");
    dat.Refresh();
    EXPECT_EQ(keys(dat.Recordset()), QStringList{QStringLiteral("100:ORDER BY")});

    dat.RecordSource = QStringLiteral("SELECT * FROM MeloDeck ORDER BY 曲番号");
    dat.Refresh();
    EXPECT_EQ(dat.Recordset().RecordCount(), 4);
    EXPECT_EQ(dat.Recordset().CellText(0, 0), QStringLiteral("100"));

    // A search with no condition taking part.
    dat.RecordSource = QStringLiteral("SELECT * FROM MeloDeck WHERE 1=1 ORDER BY 歌手名 DESC ");
    dat.Refresh();
    EXPECT_EQ(dat.Recordset().RecordCount(), 4);
    EXPECT_EQ(dat.Recordset().CellText(0, 1), QStringLiteral("歌手D"));

    // The pickup statements.
    Database& db = dat.Database();
    auto count = [&](int key) {
        return db
            .OpenRecordset(
                QStringLiteral("SELECT COUNT(*) FROM PickupList WHERE 曲番号 = %1").arg(key), 4)
            ->FieldValue(0, 0)
            .asInt64();
    };
    EXPECT_EQ(count(200), 0);
    db.Execute(QStringLiteral("INSERT INTO PickupList SELECT * FROM MeloDeck WHERE 曲番号 = 200"));
    EXPECT_EQ(db.RecordsAffected(), 2);
    EXPECT_EQ(count(200), 2);
    db.Execute(QStringLiteral("DELETE FROM PickupList WHERE 曲番号 = 200"));
    EXPECT_EQ(count(200), 0);

    // The import statements.
    db.Execute(QStringLiteral("DELETE FROM MeloDeck"));
    db.Execute(QStringLiteral(
        "INSERT INTO MeloDeck VALUES (123,'歌手A','曲名B','It''s',NULL,NULL,NULL,0)"));
    EXPECT_EQ(testdb::rows(path, QStringLiteral("SELECT * FROM MeloDeck")),
              (std::vector<QStringList>{{QStringLiteral("123"), QStringLiteral("歌手A"),
                                         QStringLiteral("曲名B"), QStringLiteral("It's"),
                                         QStringLiteral("<NULL>"), QStringLiteral("<NULL>"),
                                         QStringLiteral("<NULL>"), QStringLiteral("0")}}));
    db.Execute(QStringLiteral("DELETE FROM PickupList"));

    // The log holds the texts exactly as built.
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(log[0], search);
    EXPECT_EQ(log.back(), QStringLiteral("DELETE FROM PickupList"));
    EXPECT_NE(std::find(log.begin(), log.end(),
                        QStringLiteral(
                            "INSERT INTO PickupList SELECT * FROM MeloDeck WHERE 曲番号 = 200")),
              log.end());
}

TEST_F(StoreDb, RowsRefusedByAConstraintAreSkipped) {
    testdb::exec(path, QStringLiteral("CREATE TABLE U (k INTEGER UNIQUE, s TEXT NOT NULL);"
                                      "INSERT INTO U VALUES (1, 'one')"));
    Database& db = dat.Database();
    db.Execute(QStringLiteral("INSERT INTO U VALUES (1,'again')"));
    EXPECT_EQ(db.RecordsAffected(), 0);
    db.Execute(QStringLiteral("INSERT INTO U VALUES (2,NULL)"));
    db.Execute(QStringLiteral("   insert into U VALUES (3,'three')"));
    // Of several rows, only the refused one is missing.
    testdb::exec(path, QStringLiteral("CREATE TABLE V (k INTEGER, s TEXT);"
                                      "INSERT INTO V VALUES (1,'x'),(4,'four'),(5,'five')"));
    db.Execute(QStringLiteral("INSERT INTO U SELECT * FROM V"));
    EXPECT_EQ(db.RecordsAffected(), 2);
    db.Execute(QStringLiteral("UPDATE U SET k = 1 WHERE k = 5"));
    EXPECT_EQ(testdb::rows(path, QStringLiteral("SELECT k, s FROM U ORDER BY k")),
              (std::vector<QStringList>{{QStringLiteral("1"), QStringLiteral("one")},
                                        {QStringLiteral("3"), QStringLiteral("three")},
                                        {QStringLiteral("4"), QStringLiteral("four")},
                                        {QStringLiteral("5"), QStringLiteral("five")}}));
}

TEST_F(StoreDb, InsertValuesStoreWhatTheParsedTextStores) {
    // The same statements through Execute and through the engine's own
    // parser (on a twin table) must store the same values and types.
    const char* cols = "(a INTEGER, b VARCHAR(10), c LONGTEXT, d DOUBLE, e)";
    testdb::exec(path, QStringLiteral("CREATE TABLE Mine %1; CREATE TABLE Twin %1")
                           .arg(QString::fromLatin1(cols)));
    const QStringList values{
        QStringLiteral("(1,'x','00123',2,NULL)"),
        QStringLiteral("(-5,'It''s','',0,'a')"),
        QStringLiteral("('12','34',56,'7.5','08')"),
        QStringLiteral("(+7, 12, -0, '  9 ', 'NULL')"),
        QStringLiteral("(  3 , 'a,b' , 'c)d''' ,NULL,null)"),
        QStringLiteral("(- 4,'歌手',00123,-2,'‐')"),
        QStringLiteral("(1.5,'r',1e3,-2.5,'x')"),
        QStringLiteral("(9223372036854775807,'max',NULL,NULL,NULL)"),
        QStringLiteral("(99999999999999999999,'big',NULL,NULL,NULL)"),
        QStringLiteral("(0x1F,'hex',X'41',NULL,NULL) ;"),
    };
    Database& db = dat.Database();
    for (const QString& v : values) {
        db.Execute(QStringLiteral("INSERT INTO Mine VALUES ") + v);
        EXPECT_EQ(db.RecordsAffected(), 1) << v.toStdString();
        testdb::exec(path, QStringLiteral("INSERT INTO Twin VALUES ") + v);
    }
    const QString cells = QStringLiteral(
        "SELECT typeof(a), a, typeof(b), b, typeof(c), c, typeof(d), d, typeof(e), e FROM %1 "
        "ORDER BY rowid");
    EXPECT_EQ(testdb::rows(path, cells.arg(QStringLiteral("Mine"))),
              testdb::rows(path, cells.arg(QStringLiteral("Twin"))));

    // Forms the engine refuses still fail with its description.
    EXPECT_EQ(errorOf([&] { db.Execute(QStringLiteral("INSERT INTO Nai VALUES (1)")); }),
              QStringLiteral("テーブル 'Nai' が見つかりません。"));
    EXPECT_FALSE(
        errorOf([&] { db.Execute(QStringLiteral("INSERT INTO Mine VALUES (1,'a')")); }).isEmpty());
    EXPECT_FALSE(errorOf([&] {
                     db.Execute(
                         QStringLiteral("INSERT INTO Mine VALUES (1,'a',2,3,4); DELETE FROM Mine"));
                 }).isEmpty());
    EXPECT_EQ(testdb::scalar(path, QStringLiteral("SELECT COUNT(*) FROM Mine")),
              QString::number(values.size()));
}

TEST_F(StoreDb, ErrorsCarryDescriptions) {
    Database& db = dat.Database();
    EXPECT_EQ(errorOf([&] { db.Execute(QStringLiteral("DELETE FROM NoSuch")); }),
              QStringLiteral("テーブル 'NoSuch' が見つかりません。"));
    EXPECT_EQ(
        errorOf([&] { db.OpenRecordset(QStringLiteral("SELECT * FROM MeloDeck ORDER BY 無い")); }),
        QStringLiteral("フィールド '無い' が見つかりません。"));
    EXPECT_FALSE(errorOf([&] { db.Execute(QStringLiteral("DELET FROM MeloDeck")); }).isEmpty());
    EXPECT_FALSE(errorOf([&] { db.Execute(QString()); }).isEmpty());

    // A second statement is refused and nothing of the text runs.
    EXPECT_FALSE(errorOf([&] {
                     db.Execute(QStringLiteral("DELETE FROM MeloDeck; DELETE FROM PickupList"));
                 }).isEmpty());
    EXPECT_EQ(testdb::scalar(path, QStringLiteral("SELECT COUNT(*) FROM MeloDeck")),
              QStringLiteral("4"));
    db.Execute(QStringLiteral("DELETE FROM PickupList ; -- done"));

    // A file locked by another program gives an error, not a hang.
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(path.toUtf8().constData(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_EQ(errorOf([&] { db.Execute(QStringLiteral("DELETE FROM PickupList")); }),
              QStringLiteral("データベース '%1' は他のプログラムが使用中です。").arg(path));
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    db.Execute(QStringLiteral("DELETE FROM PickupList"));
}

TEST_F(StoreDb, RefreshFailureKeepsThePreviousRecordSet) {
    EXPECT_EQ(dat.Recordset().RecordCount(), 0); // before any Refresh
    dat.Refresh();
    ASSERT_EQ(dat.Recordset().RecordCount(), 4);

    dat.RecordSource = QStringLiteral("SELECT * FROM Missing ORDER BY 曲番号");
    EXPECT_EQ(errorOf([&] { dat.Refresh(); }),
              QStringLiteral("テーブル 'Missing' が見つかりません。"));
    EXPECT_EQ(dat.RecordSource, QStringLiteral("SELECT * FROM Missing ORDER BY 曲番号"));
    EXPECT_EQ(dat.Recordset().RecordCount(), 4);

    dat.RecordSource = QStringLiteral("SELECT * FROM MeloDeck WHERE 曲名 LIKE '*[x*'");
    EXPECT_EQ(errorOf([&] { dat.Refresh(); }), QStringLiteral("パターン文字列が不正です。"));
    EXPECT_EQ(dat.Recordset().RecordCount(), 4);

    // A database name that cannot be opened keeps both the set and the open
    // database; the next good name opens that file.
    const QString other = testdb::createSongDb(dir.path(), QStringLiteral("other.mdb"));
    testdb::insertSongs(other, QStringLiteral("MeloDeck"), {{9, QStringLiteral("別")}});
    dat.DatabaseName = QDir(dir.path()).filePath(QStringLiteral("gone.mdb"));
    dat.RecordSource = QStringLiteral("SELECT * FROM MeloDeck");
    EXPECT_FALSE(errorOf([&] { dat.Refresh(); }).isEmpty());
    EXPECT_EQ(dat.Recordset().RecordCount(), 4);
    EXPECT_EQ(dat.sharedDatabase()->Name(), path);
    dat.DatabaseName = other;
    dat.Refresh();
    EXPECT_EQ(dump(dat.Recordset()),
              QStringList{QStringLiteral("9|別|<NULL>|<NULL>|<NULL>|<NULL>|<NULL>|0")});

    // A view holding the old set keeps it valid across a Refresh.
    auto held = dat.sharedRecordset();
    dat.DatabaseName = path;
    dat.Refresh();
    EXPECT_EQ(held->RecordCount(), 1);
    EXPECT_EQ(dat.Recordset().RecordCount(), 4);
}

TEST_F(StoreDb, SharedConnectionAndTransactions) {
    DataControl pickup;
    pickup.DatabaseName = path;
    pickup.RecordSource = QStringLiteral("SELECT * FROM PickupList");
    dat.Refresh();
    pickup.shareDatabase(dat.sharedDatabase());
    EXPECT_EQ(&pickup.Database(), &dat.Database());

    // Inside a transaction of one control the other reads on the same
    // connection instead of waiting for a lock.
    Database& db = dat.Database();
    db.BeginTrans();
    EXPECT_TRUE(db.InTransaction());
    db.Execute(QStringLiteral("INSERT INTO PickupList SELECT * FROM MeloDeck WHERE 曲番号 = 300"));
    pickup.Refresh();
    EXPECT_EQ(pickup.Recordset().RecordCount(), 1);
    db.Rollback();
    EXPECT_FALSE(db.InTransaction());
    pickup.Refresh();
    EXPECT_EQ(pickup.Recordset().RecordCount(), 0);

    db.BeginTrans();
    db.Execute(QStringLiteral("DELETE FROM MeloDeck WHERE 曲番号 = 200"));
    db.CommitTrans();
    EXPECT_EQ(testdb::scalar(path, QStringLiteral("SELECT COUNT(*) FROM MeloDeck")),
              QStringLiteral("2"));

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
        decl << QStringLiteral("c%1 %2").arg(i).arg(i + 1 < n ? u"TEXT" : u"INTEGER");
    testdb::exec(path, QStringLiteral("CREATE TABLE W (%1)").arg(decl.join(u',')));

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
        rows[5][size_t(i)] = QStringLiteral("歌%1").arg(i);
    }
    // Row 1 ends its first cell on the last short end and its second one
    // byte past it, then an empty text and a Null.
    rows[1][0] = text(1, 0, 8190);
    rows[1][1] = text(1, 1, 1);
    rows[1][2] = QString();
    rows[1][3] = QVariant();
    for (size_t r = 0; r < rows.size(); ++r)
        rows[r][size_t(n - 1)] = qint64(r) * 100000 - 5;
    testdb::insertRows(path, QStringLiteral("W"), rows);

    const auto rs = dat.Database().OpenRecordset(QStringLiteral("SELECT * FROM W"), 4);
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
