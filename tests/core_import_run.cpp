// One import over a real database file: what the song table holds afterwards,
// and that a failed import leaves it exactly as it was.
#include "import/SongListImport.h"

#include "common/VbError.h"
#include "store/Database.h"
#include "support/import_files.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace melodeck;
using namespace Qt::Literals::StringLiterals;
using songlist::ImportOutcome;
using songlist::SongListImport;
using test::Sjis;

namespace {

class Recorder : public songlist::ImportSink {
public:
    void progress(std::int64_t done) override {
        if (!counts.empty() && done < counts.back())
            backwards = true;
        counts.push_back(done);
    }
    void rowAdded() override {
        if (++rows == throwAtRow)
            throw VbError(VbError::FileAccess, u"中断"_s);
    }
    std::vector<std::int64_t> counts;
    bool backwards = false;
    int rows = 0;
    int throwAtRow = -1;
};

class ImportRun : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        dbPath = test::createSongDb(dir.path());
        test::exec(dbPath, u"INSERT INTO MeloDeck VALUES (1,'旧歌手','旧曲',NULL,NULL,NULL,NULL,0);"
                           u"INSERT INTO MeloDeck VALUES (2,'旧2','旧曲2','x','○','詞','曲',9);"_s);
        before = songs();
    }

    QString list(const QByteArray& bytes) {
        const QString p = dir.filePath(u"list%1.csv"_s.arg(++files));
        test::WriteBytes(p, bytes);
        return p;
    }
    std::vector<QStringList> songs() const {
        return test::rows(dbPath, u"SELECT * FROM MeloDeck ORDER BY rowid"_s);
    }
    ImportOutcome run(const QString& path, Recorder& sink, std::vector<QString>* log = nullptr) {
        Database db(dbPath);
        db.setStatementLog(log);
        SongListImport imp(path);
        const ImportOutcome o = imp.run(db, u"MeloDeck"_s, flags, sink);
        EXPECT_FALSE(db.InTransaction());
        lastDone = imp.done();
        lastTotal = imp.total();
        return o;
    }

    QTemporaryDir dir;
    QString dbPath;
    std::vector<QStringList> before;
    std::vector<bool> flags{false, true, true, true, true, true, true, false};
    int files = 0;
    std::int64_t lastDone = 0, lastTotal = 0;
};

} // namespace

TEST_F(ImportRun, DataLinesReplaceTheTable) {
    const QByteArray bytes = Sjis(u"曲番,歌手名,曲名,歌い出し,ハモリ\r\n"
                                  u"\r\n"
                                  u"123,歌手A, 曲名B ,It's,\r\n"
                                  u"0,ゼロ,skipped,,\r\n"
                                  u"-5,負,\"q,uoted\",   ,○\r"
                                  u"text first,x,y,z,w\n"
                                  u"7,少ない\n"
                                  u"8,a,b,c,d,作詞者,作曲者,245,extra\r\n"
                                  u"  9 ,①髙～,ｱｲｳ,\u3000,''\r\n"_s) +
                             "10,ab\x82,\xff\xfe,ok,\x85\x40\r\n" + Sjis(u"11,最後,行末なし"_s);
    Recorder sink;
    std::vector<QString> log;
    EXPECT_EQ(run(list(bytes), sink, &log), ImportOutcome::Completed);

    const std::vector<QStringList> expected = {
        test::ImportedRow({"123", "歌手A", "曲名B", "It's", "<NULL>"}),
        test::ImportedRow({"-5", "負", "\"q", "uoted\"", "<NULL>", "○"}),
        test::ImportedRow({"7", "少ない", "<NULL>", "<NULL>", "<NULL>"}),
        test::ImportedRow({"8", "a", "b", "c", "d", "作詞者", "作曲者", "245"}),
        test::ImportedRow({"9", "①髙～", "ｱｲｳ", "\u3000", "''"}),
        test::ImportedRow({"10", "ab\uFFFD", "\uFFFD\uFFFD", "ok", "\uFFFD"}),
        test::ImportedRow({"11", "最後", "行末なし", "<NULL>", "<NULL>"}),
    };
    EXPECT_EQ(songs(), expected);

    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[0], u"DELETE FROM MeloDeck"_s);
    EXPECT_EQ(log[1],
              u"INSERT INTO MeloDeck VALUES (123,'歌手A','曲名B','It''s',NULL,NULL,NULL,0)"_s);
    EXPECT_EQ(sink.rows, 7);
    EXPECT_FALSE(sink.backwards);
    EXPECT_EQ(sink.counts.size(), 11u); // every line, data or not
    EXPECT_EQ(sink.counts.back(), lastDone);
}

TEST_F(ImportRun, ByteCountEndsTwoAboveTheLengthWithoutLastLineEnd) {
    const QByteArray bytes = Sjis(u"1,歌手,曲\r\nタイトル行\r\n2,b,c"_s);
    Recorder sink;
    EXPECT_EQ(run(list(bytes), sink), ImportOutcome::Completed);
    EXPECT_EQ(lastTotal, bytes.size());
    EXPECT_EQ(lastDone, bytes.size() + 2);
    EXPECT_EQ(sink.counts, (std::vector<std::int64_t>{11, 23, 30}));
    EXPECT_EQ(songs().size(), 2u);
}

TEST_F(ImportRun, ErrorPageLeavesTheTableAsItWas) {
    // At the first line nothing reaches the engine; later, what did is
    // rolled back.
    const std::pair<const char*, std::vector<QString>> pages[] = {
        {"404 Not Found\r\n1,a,b\r\n", {}},
        {"1,a,b\r\n2,c,d\r\n404 Not Found\r\n3,e",
         {u"DELETE FROM MeloDeck"_s,
          u"INSERT INTO MeloDeck VALUES (1,'a','b',NULL,NULL,NULL,NULL,0)"_s,
          u"INSERT INTO MeloDeck VALUES (2,'c','d',NULL,NULL,NULL,NULL,0)"_s}},
    };
    for (const auto& [text, statements] : pages) {
        Recorder sink;
        std::vector<QString> log;
        EXPECT_EQ(run(list(text), sink, &log), ImportOutcome::ErrorPage) << text;
        EXPECT_EQ(songs(), before) << text;
        EXPECT_EQ(log, statements) << text;
    }
    // "404" without its space, or later in a line, is an ordinary line.
    Recorder sink;
    EXPECT_EQ(run(list(Sjis(u"404,歌,曲\r\n5,404 ,x\r\n"_s)), sink), ImportOutcome::Completed);
    EXPECT_EQ(songs(),
              (std::vector<QStringList>{test::ImportedRow({"404", "歌", "曲", "<NULL>", "<NULL>"}),
                                        test::ImportedRow({"5", "404", "x", "<NULL>", "<NULL>"})}));
}

TEST_F(ImportRun, FailureHalfWayRollsBack) {
    // An engine error on the third data row.
    test::exec(dbPath,
               u"CREATE TRIGGER boom BEFORE INSERT ON MeloDeck "
               u"WHEN NEW.曲番号 = 666 BEGIN "
               u"SELECT abs(-9223372036854775807 - 1); END;"_s,
               true);
    Recorder sink;
    try {
        run(list("1,a\r\n2,b\r\n666,c\r\n4,d\r\n"), sink);
        FAIL() << "no error";
    } catch (const VbError& e) {
        EXPECT_FALSE(e.description().isEmpty());
    }
    EXPECT_EQ(sink.rows, 2);
    EXPECT_EQ(songs(), before);

    // An error raised while the window processed its messages.
    Recorder stopping;
    stopping.throwAtRow = 2;
    EXPECT_THROW(run(list("1,a\r\n2,b\r\n3,c\r\n"), stopping), VbError);
    EXPECT_EQ(songs(), before);

    // Lines are read ahead of the inserts: a failure found far ahead still
    // comes after every row before it, and a stop leaves nothing read ahead
    // behind (a reader left waiting would hang here).
    test::exec(dbPath, u"DROP TRIGGER boom"_s);
    QByteArray many;
    for (int i = 1; i <= 60000; ++i)
        many += QByteArray::number(i) + ",s,t,u,v,w,x,9\r\n";
    const struct {
        const char* what;
        QByteArray last; // the list's last line
        QString error;
        bool counted; // the last line counts as read before the error
    } late[] = {
        {"a number beyond any double", "60001,a,b,c,d,e,f,1e999\r\n",
         VbError::overflow().description(), true},
        {"a NUL byte", QByteArray("60001,\0\r\n", 9),
         u"ファイル '%1' の 60001 行目に NUL 文字があります。"_s, false},
    };
    for (const auto& c : late) {
        SCOPED_TRACE(c.what);
        Recorder far;
        const QString path = list(many + c.last);
        try {
            run(path, far);
            ADD_FAILURE() << "no error";
        } catch (const VbError& e) {
            const QString want = c.error.contains(u"%1"_s) ? c.error.arg(path) : c.error;
            EXPECT_TRUE(e.description().startsWith(want)) << e.description().toStdString();
        }
        EXPECT_EQ(far.rows, 60000);
        ASSERT_FALSE(far.counts.empty());
        EXPECT_FALSE(far.backwards);
        EXPECT_EQ(far.counts.back(), many.size() + (c.counted ? c.last.size() : 0));
        EXPECT_EQ(songs(), before);
    }
    Recorder early;
    early.throwAtRow = 3;
    EXPECT_THROW(run(list(many), early), VbError);
    EXPECT_EQ(early.rows, 3);
    EXPECT_EQ(early.counts.size(), 3u);
    EXPECT_EQ(songs(), before);

    // The database is usable afterwards: the next import goes through.
    Recorder again;
    EXPECT_EQ(run(list("1,a\r\n2,b\r\n"), again), ImportOutcome::Completed);
    EXPECT_EQ(songs().size(), 2u);
}

TEST_F(ImportRun, ListsWithoutDataLinesChangeNothing) {
    for (const QByteArray& text :
         {QByteArray(), QByteArray("\r\n\r\n"), QByteArray("<html>\r\n<body>x</body>\r\n"),
          QByteArray("0,zero\r\nabc,1\r\n")}) {
        Recorder sink;
        std::vector<QString> log;
        EXPECT_EQ(run(list(text), sink, &log), ImportOutcome::Completed);
        EXPECT_TRUE(log.empty());
        EXPECT_EQ(sink.rows, 0);
        EXPECT_EQ(songs(), before);
    }
}

TEST_F(ImportRun, MissingOrUnusableFileNamesIt) {
    const QString missing = dir.filePath(u"nothere.csv"_s);
    try {
        SongListImport imp(missing);
        FAIL();
    } catch (const VbError& e) {
        EXPECT_EQ(e.number(), VbError::FileNotFound);
        EXPECT_EQ(e.description(), u"ファイル '%1' が見つかりません。"_s.arg(missing));
    }
    // No name, or a folder: the description says which.
    for (const auto& [file, named] :
         {std::pair{QString(), u"指定されていません"_s}, std::pair{dir.path(), dir.path()}}) {
        try {
            SongListImport imp(file);
            ADD_FAILURE() << file.toStdString();
        } catch (const VbError& e) {
            EXPECT_TRUE(e.description().contains(named)) << e.description().toStdString();
        }
    }
}

TEST_F(ImportRun, SameSongsInCp932AndUtf8GiveTheSameRows) {
    const QString text = u"曲番,歌手名,曲名,歌い出し,ハモリ\r\n"
                         u"101,歌手あ,夜空ノムコウ～,ｱｲｳｴｵ,○\r\n"
                         u"102,ＡＢＣ全角,\"引用,符\",歌い出し,\r\n"
                         u"103,It's,①髙,～波～,○\r\n"_s;
    const std::vector<QStringList> expected = {
        test::ImportedRow({"101", "歌手あ", "夜空ノムコウ～", "ｱｲｳｴｵ", "○"}),
        test::ImportedRow({"102", "ＡＢＣ全角", "\"引用", "符\"", "歌い出し"}),
        test::ImportedRow({"103", "It's", "①髙", "～波～", "○"}),
    };
    // A list that is ASCII for longer than the sample, Japanese later.
    QString asciiFirst;
    for (int i = 1; asciiFirst.size() < 70 * 1024; ++i)
        asciiFirst += u"%1,singer %1,title %1,lyric,\r\n"_s.arg(i);
    asciiFirst += u"99999,歌手あ,～,ｱ,○\r\n"_s;

    struct Case {
        const char* what;
        QByteArray bytes;
        bool errorPage = false;
    };
    const Case cases[] = {
        {"code page 932", Sjis(text)},
        {"UTF-8 with a byte-order mark", "\xEF\xBB\xBF" + text.toUtf8()},
        {"UTF-8 without one", text.toUtf8()},
        {"UTF-8, a byte-order mark and a 404 line",
         "\xEF\xBB\xBF"
         "404 Not Found\r\n",
         true},
        {"UTF-8, Japanese after 70 KB of ASCII", asciiFirst.toUtf8()},
        {"code page 932, Japanese after 70 KB of ASCII", Sjis(asciiFirst)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Recorder sink;
        const auto prior = songs();
        const ImportOutcome o = run(list(c.bytes), sink);
        if (c.errorPage) {
            EXPECT_EQ(o, ImportOutcome::ErrorPage);
            EXPECT_EQ(songs(), prior);
            continue;
        }
        EXPECT_EQ(o, ImportOutcome::Completed);
        // The progress counts the bytes of the file, the mark included.
        EXPECT_EQ(lastDone, lastTotal);
        if (c.bytes.size() < 1000) {
            EXPECT_EQ(songs(), expected);
        } else {
            const auto got = songs();
            ASSERT_FALSE(got.empty());
            EXPECT_EQ(got.back(), test::ImportedRow({"99999", "歌手あ", "～", "ｱ", "○"}));
        }
    }

    // Once UTF-8 is settled, an invalid sequence later on is one U+FFFD per
    // bad byte, and the rest of the line stays.
    QByteArray later = text.toUtf8();
    later += QByteArray(70 * 1024, '#') + "\r\n" + "104,ok," + Sjis(u"歌"_s) + "x,\xE6\xAD,\r\n";
    Recorder sink;
    EXPECT_EQ(run(list(later), sink), ImportOutcome::Completed);
    const auto got = songs();
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[3], test::ImportedRow({"104", "ok", "\uFFFD\uFFFDx", "\uFFFD\uFFFD", "<NULL>"}));
}
