// The song-list generator that makes the shipped database and the sample
// list: its CSV is what the import reads, its database what the data layer
// opens.
#include "common/Cp932.h"
#include "store/DataControl.h"

#include "support/common_files.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace melodeck;
using namespace Qt::Literals::StringLiterals;

namespace {

bool generate(const QString& dir, int count, int seed) {
    QProcess p;
    p.start(u"python3"_s,
            {QStringLiteral(MELODECK_SOURCE_DIR "/scripts/gen_songlist.py"), u"--count"_s,
             QString::number(count), u"--seed"_s, QString::number(seed), u"--csv"_s,
             QDir(dir).filePath(u"list.csv"_s), u"--db"_s, QDir(dir).filePath(u"MeloDeck.mdb"_s)});
    if (!p.waitForFinished(60000) || p.exitCode() != 0) {
        ADD_FAILURE() << "generator failed: " << p.readAllStandardError().toStdString();
        return false;
    }
    return true;
}

} // namespace

TEST(StoreShipped, GeneratedListAndDatabaseAgree) {
    QTemporaryDir dir;
    ASSERT_TRUE(generate(dir.path(), 1000, 7));
    const QByteArray csv = test::ReadBytes(dir.filePath(u"list.csv"_s));
    ASSERT_TRUE(csv.endsWith("\r\n"));
    const QList<QByteArray> lines = csv.chopped(1).split('\n');
    ASSERT_EQ(lines.size(), 1001); // titles + songs
    int withQuote = 0, fullWidth = 0, noHarmony = 0;
    QSet<QString> numbers;
    int repeats = 0;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        ASSERT_TRUE(lines[i].endsWith('\r')) << "line " << i << " ends without CR LF";
        const QString line = cp932::decode(lines[i].chopped(1));
        ASSERT_FALSE(line.contains(QChar(0xFFFD))) << i;
        const QStringList f = line.split(QLatin1Char(','));
        ASSERT_EQ(f.size(), 8) << line.toStdString();
        if (i == 0) {
            EXPECT_EQ(f[0], u"曲番号"_s);
            continue;
        }
        EXPECT_GT(f[0].toLongLong(), 0) << line.toStdString();
        repeats += numbers.contains(f[0]);
        numbers.insert(f[0]);
        withQuote += line.contains(QLatin1Char('\''));
        fullWidth += line.contains(QRegularExpression(u"[Ａ-Ｚａ-ｚ～]"_s));
        noHarmony += f[4].isEmpty();
        EXPECT_EQ(cp932::encode(line), lines[i].chopped(1)) << "not plain code page 932";
    }
    EXPECT_GT(withQuote, 0);
    EXPECT_GT(fullWidth, 0);
    EXPECT_GT(noHarmony, 0);
    EXPECT_LT(noHarmony, 1000);
    EXPECT_GT(repeats, 0); // the list may repeat a song number

    // The same songs in the database, read through the data layer.
    DataControl dat;
    dat.DatabaseName = dir.filePath(u"MeloDeck.mdb"_s);
    dat.RecordSource = u"SELECT * FROM MeloDeck"_s;
    dat.Refresh();
    const Recordset& rs = dat.Recordset();
    ASSERT_EQ(rs.RecordCount(), 1000);
    ASSERT_EQ(rs.FieldCount(), 8);
    EXPECT_EQ(rs.FieldType(0), 4);
    EXPECT_EQ(rs.FieldType(1), 10);
    const QStringList second = cp932::decode(lines[2].chopped(1)).split(QLatin1Char(','));
    EXPECT_EQ(rs.CellText(1, 0), second[0]);
    EXPECT_EQ(rs.CellText(1, 2), second[2]);
    EXPECT_EQ(rs.IsNull(1, 4), second[4].isEmpty());
    dat.RecordSource = u"SELECT * FROM PickupList"_s;
    dat.Refresh();
    EXPECT_EQ(dat.Recordset().RecordCount(), 0);
    EXPECT_EQ(dat.Recordset().FieldCount(), 8);

    // Deterministic for a seed.
    QTemporaryDir again;
    ASSERT_TRUE(generate(again.path(), 1000, 7));
    EXPECT_EQ(test::ReadBytes(again.filePath(u"list.csv"_s)), csv);
}
