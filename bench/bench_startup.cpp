// Start-up on the full song table: from Main until both grids have painted,
// in a program folder holding the benchmark database as MeloDeck.mdb, on the
// offscreen platform. Once as a first start (no settings file), once with a
// stored search that start-up runs again. Each run is a fresh process, so
// its peak memory is the whole program's.
#include "BenchSupport.h"

#include "app/gui/ModMeloDeck.h"
#include "common/ModCommon.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <cstdio>

using namespace melodeck;

namespace {

QString sourceDb;

long long startOnce(double& ms, bool storedSearch) {
    const auto app = bench::offscreenApp("bench_startup");
    QTemporaryDir dir;
    bench::useProgramFolder(dir.path(), sourceDb);
    if (storedSearch) {
        ModCommon::WriteIni(QStringLiteral("ListGrid"), QStringLiteral("Selected"),
                            QStringLiteral("1"));
        ModCommon::WriteIni(QStringLiteral("PickupCond"), QStringLiteral("Cond2"),
                            QStringLiteral("1,愛"));
        ModCommon::WriteIni(QStringLiteral("PickupCond"), QStringLiteral("Hamori"),
                            QStringLiteral("2"));
    }
    QString warning;
    bench::answerWindowSeams(warning);

    bench::PaintSeen list, pickup;
    const double t0 = bench::nowMs();
    auto w = ModMeloDeck::Main();
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
    sourceDb = QDir(bench::dataFolder(argc, argv)).filePath(QStringLiteral("songs.mdb"));
    const QString aim = QStringLiteral("< 500 ms, < 120 MB");

    const auto first = bench::repeated(3, [](double& ms) { return startOnce(ms, false); });
    bench::row(QStringLiteral("起動: Main から両グリッド描画まで"), first, QStringLiteral("rows"),
               aim);
    const auto search = bench::repeated(3, [](double& ms) { return startOnce(ms, true); });
    bench::row(QStringLiteral("起動: 保存された抽出を再実行"), search, QStringLiteral("rows"), aim);

    const bool ok =
        first.error.isEmpty() && search.error.isEmpty() && first.ms < 500 && first.peakMb < 120;
    return ok ? 0 : 1;
}
