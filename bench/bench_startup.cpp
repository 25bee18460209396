// Start-up on the full song table: from the application's creation in a fresh
// process until both grids have painted, in a program folder holding the
// benchmark database as MeloDeck.mdb, on the offscreen platform. Once as a
// first start (no settings file), once with a stored search that start-up
// runs again, and the first start again on the 1,000 songs the program ships
// with, which the full table's start-up is measured against. Each run is a
// fresh process, so its peak memory is the whole program's.
#include "BenchSupport.h"

#include "app/gui/ModMeloDeck.h"
#include "common/ModCommon.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

using namespace melodeck;

namespace {

QString sourceDb;

long long startOnce(double& ms, bool storedSearch, const QString& db) {
    // The program folder is laid out first; the clock starts with the application.
    QTemporaryDir dir;
    const auto at = bench::useProgramFolder(dir.path(), db);
    if (storedSearch) {
        bench::writeSetting(at, QStringLiteral("ListGrid"), QStringLiteral("Selected"),
                            QStringLiteral("1"));
        bench::writeSetting(at, QStringLiteral("PickupCond"), QStringLiteral("Cond2"),
                            QStringLiteral("1,愛"));
        bench::writeSetting(at, QStringLiteral("PickupCond"), QStringLiteral("Hamori"),
                            QStringLiteral("2"));
    }
    const double t0 = bench::nowMs();
    const auto app = bench::offscreenApp("bench_startup");
    QString warning;
    const auto answers = bench::answerWindowSeams(warning);

    bench::PaintSeen list, pickup;
    auto w = ModMeloDeck::Main(at);
    if (!w)
        throw std::runtime_error(warning.toStdString());
    w->flgList->viewport()->installEventFilter(&list);
    w->flgPickup->viewport()->installEventFilter(&pickup);
    while (!(list.seen && pickup.seen)) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        if (bench::nowMs() - t0 > 60000)
            throw std::runtime_error("the grids never painted");
    }
    ms = bench::nowMs() - t0;
    return w->flgList->Rows() - 1;
}

} // namespace

int main(int argc, char** argv) {
    const QString folder = bench::dataFolder(argc, argv);
    sourceDb = QDir(folder).filePath(QStringLiteral("songs.mdb"));
    const QString shippedDb = QDir(folder).filePath(QStringLiteral("shipped.mdb"));

    // Five runs each: a start-up is short, and the machine's noise is not.
    const auto shipped =
        bench::repeated(5, [&](double& ms) { return startOnce(ms, false, shippedDb); });
    bench::row(QStringLiteral("起動: 出荷時の 1,000 曲 (基準)"), shipped, QStringLiteral("rows"),
               QStringLiteral("参考"));
    const bench::Goals goals = bench::goals(folder);
    const QString aim = QStringLiteral("≤ %1 ms (基準の %2 倍), ")
                            .arg(goals.startupVs1k * shipped.ms, 0, 'f', 0)
                            .arg(goals.startupVs1k) +
                        goals.memory();
    const auto first =
        bench::repeated(5, [&](double& ms) { return startOnce(ms, false, sourceDb); });
    bench::row(QStringLiteral("起動: アプリ生成から両グリッド描画まで"), first,
               QStringLiteral("rows"), aim);
    const auto search =
        bench::repeated(3, [&](double& ms) { return startOnce(ms, true, sourceDb); });
    // A stored search runs as the search button does: held to a click's time.
    bench::row(QStringLiteral("起動: 保存された抽出を再実行"), search, QStringLiteral("rows"),
               QStringLiteral("≤ 基準 + %1 ms, ").arg(goals.clickMs) + goals.memory());

    const bool measured = first.error.isEmpty() && shipped.error.isEmpty() && shipped.ms > 0;
    if (measured) {
        const double ratio = first.ms / shipped.ms;
        bench::row(QStringLiteral("起動 / 出荷時の起動"),
                   QStringLiteral("比 %1").arg(ratio, 0, 'f', 2), -1, -1,
                   QStringLiteral("≤ %1").arg(goals.startupVs1k));
        bench::summary(folder, "startup_vs_1k", ratio);
        bench::summary(folder, "peak_mb", std::max(first.peakMb, search.peakMb));
    }
    return measured && search.error.isEmpty() ? 0 : 1;
}
