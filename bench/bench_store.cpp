// The data layer on the full song table: one Refresh of the whole table, a
// second Refresh while the first set is still held, and title searches with
// the Jet LIKE, next to the sqlite3 shell running the same queries with its
// built-in LIKE.
#include "BenchSupport.h"

#include "store/DataControl.h"

#include <QDir>
#include <QHash>
#include <cstdio>
#include <functional>
#include <sqlite3.h>
#include <vector>

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

    // How a set keeps the rows of its Refresh while other programs write:
    // its own snapshot, read as rows are shown (the program's way); every
    // row read into memory at the Refresh; or a hash of every row taken at
    // the Refresh, to compare a row with when it is shown. Each is timed
    // for the Refresh and then for reading every row once, as scrolling to
    // the end does; the peak is the process's.
    const auto readAll = [](const Recordset& rs) {
        long long cells = 0;
        for (std::int64_t r = 0; r < rs.RecordCount(); ++r)
            for (int i = 0; i < rs.FieldCount(); ++i)
                cells += rs.CellText(r, i).size();
        return cells;
    };
    // One way timed: before runs on the opened control, afterRefresh
    // between its Refresh and the reading of every row.
    const auto timeWay = [&](const QString& what, const std::function<void(DataControl&)>& before,
                             const std::function<void(DataControl&)>& afterRefresh) {
        const auto m = bench::repeated(3, [&](double& ms) {
            DataControl dc;
            dc.DatabaseName = db;
            dc.RecordSource = kAll;
            dc.Database();
            before(dc);
            const double t0 = bench::nowMs();
            dc.Refresh();
            afterRefresh(dc);
            readAll(dc.Recordset());
            ms = bench::nowMs() - t0;
            return dc.Recordset().RecordCount();
        });
        bench::row(what, m, QStringLiteral("rows"), QStringLiteral("比較"));
    };
    const auto nothing = [](DataControl&) {};
    timeWay(QStringLiteral("スナップショット: Refresh と全行の表示 (採用)"), nothing, nothing);
    // Inside a transaction a Refresh reads every row at once.
    timeWay(
        QStringLiteral("全行をメモリに保持: Refresh と全行の表示 (案)"),
        [](DataControl& dc) { dc.Database().BeginTrans(); }, nothing);
    // What a re-reading set adds to its Refresh: every row read in turn and
    // hashed, to compare with when it is shown.
    timeWay(QStringLiteral("全行のハッシュで再読込を照合: Refresh と全行の表示 (案)"), nothing,
            [](DataControl&) {
                sqlite3* raw = nullptr;
                sqlite3_open_v2(db.toUtf8().constData(), &raw, SQLITE_OPEN_READONLY, nullptr);
                sqlite3_stmt* st = nullptr;
                sqlite3_prepare_v2(raw, "SELECT * FROM MeloDeck", -1, &st, nullptr);
                std::vector<std::size_t> hashes;
                while (sqlite3_step(st) == SQLITE_ROW) {
                    std::size_t h = 0;
                    for (int i = 0; i < sqlite3_column_count(st); ++i) {
                        const auto* p = static_cast<const char*>(sqlite3_column_blob(st, i));
                        h = h * 31 + qHashBits(p, size_t(sqlite3_column_bytes(st, i)));
                    }
                    hashes.push_back(h);
                }
                sqlite3_finalize(st);
                sqlite3_close(raw);
            });

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

    const auto shellAll = bench::shell(db, kAll, false);
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
                   bench::shell(db, search(text, QStringLiteral("%")), false),
                   QStringLiteral("rows"), QStringLiteral("参考"));

        const QString c = count(text, QStringLiteral("*"));
        const auto counted = bench::repeated(3, [&](double& ms) {
            DataControl dc;
            dc.DatabaseName = db;
            Database& d = dc.Database();
            const double t0 = bench::nowMs();
            const auto rs = d.OpenRecordset(c);
            ms = bench::nowMs() - t0;
            return rs->FieldValue(0, 0).asInt64();
        });
        bench::row(QStringLiteral("COUNT(*) 曲名 LIKE '*%1*' (照合のみ)").arg(text), counted,
                   QStringLiteral("件"), QStringLiteral("≤ シェル"));
        bench::row(QStringLiteral("sqlite3 シェル COUNT(*) 曲名 LIKE '%%1%'").arg(text),
                   bench::shell(db, count(text, QStringLiteral("%")), true), QStringLiteral("件"),
                   QStringLiteral("参考"));
    }
    return 0;
}
