// The data layer on the full song table: one Refresh of the whole table, a
// second Refresh while the first set is still held, and title searches with
// the Jet LIKE, next to the sqlite3 shell running the same queries with its
// built-in LIKE.
#include "BenchSupport.h"

#include "store/DataControl.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>

using namespace melodeck;

namespace {

QString db;

const QString kAll = QStringLiteral("SELECT * FROM MeloDeck ORDER BY 曲番号");

QString search(const QString& text, const QString& star) {
    return QStringLiteral("SELECT * FROM MeloDeck WHERE 1=1 AND 曲名 LIKE '%1%2%1' ORDER BY 曲番号")
        .arg(star, text);
}
QString count(const QString& text, const QString& star) {
    return QStringLiteral("SELECT COUNT(*) FROM MeloDeck WHERE 曲名 LIKE '%1%2%1'").arg(star, text);
}

// The sqlite3 shell on the same file: its own timer (query time only, like
// the data layer's figure) and the number of output lines or the count. Run
// from a child so that the shell's output never swells this process.
bench::Measure shell(const QString& query, bool isCount) {
    bench::Measure m = bench::repeated(3, [&](double& ms) -> long long {
        QProcess p;
        p.start(QStringLiteral("sqlite3"),
                {QStringLiteral("-cmd"), QStringLiteral(".timer on"), db});
        p.write((query + QStringLiteral(";\n")).toUtf8());
        p.closeWriteChannel();
        if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit ||
            p.exitCode() != 0)
            throw std::runtime_error(
                "sqlite3: " + p.readAllStandardError().trimmed().toStdString() +
                p.errorString().toStdString());
        const QStringList lines = QString::fromUtf8(p.readAllStandardOutput())
                                      .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        static const QRegularExpression timer(QStringLiteral("^Run Time: real ([0-9.]+)"));
        long long rows = 0;
        for (const QString& l : lines) {
            const auto t = timer.match(l);
            if (t.hasMatch())
                ms = t.captured(1).toDouble() * 1000.0;
            else if (isCount)
                rows = l.toLongLong();
            else
                ++rows;
        }
        return rows;
    });
    m.peakMb = -1; // the shell's, not ours
    return m;
}

} // namespace

int main(int argc, char** argv) {
    db = QDir(bench::dataFolder(argc, argv)).filePath(QStringLiteral("songs.mdb"));

    // One Refresh of the whole table, opening the file included.
    const auto refresh = bench::repeated(3, [](double& ms) {
        DataControl dc;
        dc.DatabaseName = db;
        dc.RecordSource = kAll;
        const double t0 = bench::nowMs();
        dc.Refresh();
        ms = bench::nowMs() - t0;
        return dc.Recordset().RecordCount();
    });
    bench::row(QStringLiteral("DataControl.Refresh 全曲 ORDER BY 曲番号"), refresh,
               QStringLiteral("rows"), QStringLiteral("< 300 ms, < 120 MB"));

    // The same again while the grid still holds the first set (a requery
    // after an import): two sets live at the peak.
    const auto again = bench::repeated(3, [](double& ms) {
        DataControl dc;
        dc.DatabaseName = db;
        dc.RecordSource = kAll;
        dc.Refresh();
        auto shown = dc.sharedRecordset();
        const double t0 = bench::nowMs();
        dc.Refresh();
        ms = bench::nowMs() - t0;
        return dc.Recordset().RecordCount(); // shown is released only here
    });
    bench::row(QStringLiteral("2 回目の Refresh (前の結果を保持したまま)"), again,
               QStringLiteral("rows"), QStringLiteral("< 300 ms"));

    // A header click on a column without an index: the engine sorts.
    const auto sorted = bench::repeated(3, [](double& ms) {
        DataControl dc;
        dc.DatabaseName = db;
        dc.RecordSource = QStringLiteral("SELECT * FROM MeloDeck  ORDER BY 歌手名 DESC ");
        dc.Database();
        const double t0 = bench::nowMs();
        dc.Refresh();
        ms = bench::nowMs() - t0;
        return dc.Recordset().RecordCount();
    });
    bench::row(QStringLiteral("Refresh 全曲 ORDER BY 歌手名 DESC (索引なしの並べ替え)"), sorted,
               QStringLiteral("rows"), QStringLiteral("参考"));

    const auto shellAll = shell(kAll, false);
    bench::row(QStringLiteral("sqlite3 シェル 全曲 ORDER BY 曲番号 (出力込み)"), shellAll,
               QStringLiteral("rows"), QStringLiteral("参考"));

    for (const QString& text : {QStringLiteral("夢"), QStringLiteral("ポルメリア")}) {
        const QString q = search(text, QStringLiteral("*"));
        const auto found = bench::repeated(3, [&](double& ms) {
            DataControl dc;
            dc.DatabaseName = db;
            dc.RecordSource = q;
            dc.Database();
            const double t0 = bench::nowMs();
            dc.Refresh();
            ms = bench::nowMs() - t0;
            return dc.Recordset().RecordCount();
        });
        bench::row(QStringLiteral("Refresh 曲名 LIKE '*%1*'").arg(text), found,
                   QStringLiteral("rows"), QStringLiteral("≤ シェル"));
        bench::row(QStringLiteral("sqlite3 シェル 曲名 LIKE '%%1%' (出力込み)").arg(text),
                   shell(search(text, QStringLiteral("%")), false), QStringLiteral("rows"),
                   QStringLiteral("参考"));

        const QString c = count(text, QStringLiteral("*"));
        const auto counted = bench::repeated(3, [&](double& ms) {
            DataControl dc;
            dc.DatabaseName = db;
            Database& d = dc.Database();
            const double t0 = bench::nowMs();
            const auto rs = d.OpenRecordset(c, 4);
            ms = bench::nowMs() - t0;
            return rs->FieldValue(0, 0).asInt64();
        });
        bench::row(QStringLiteral("COUNT(*) 曲名 LIKE '*%1*' (照合のみ)").arg(text), counted,
                   QStringLiteral("件"), QStringLiteral("≤ シェル"));
        bench::row(QStringLiteral("sqlite3 シェル COUNT(*) 曲名 LIKE '%%1%'").arg(text),
                   shell(count(text, QStringLiteral("%")), true), QStringLiteral("件"),
                   QStringLiteral("参考"));
    }
    return 0;
}
