#include "BenchSupport.h"

#include "app/gui/ModMeloDeck.h"
#include "common/ModCommon.h"
#include "common/Seams.h"

#include <QApplication>
#include <sqlite3.h>

#include <QDir>
#include <QEvent>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace bench {

double nowMs() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

Measure inChild(const std::function<long long(double& ms)>& body) {
    Measure m;
    int fd[2];
    if (pipe(fd) != 0) {
        m.error = QStringLiteral("pipe failed");
        return m;
    }
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid == 0) {
        close(fd[0]);
        struct Report {
            double ms;
            long long count;
            long maxKb;
            char error[512];
        } r{};
        try {
            r.count = body(r.ms);
        } catch (const std::exception& e) {
            std::snprintf(r.error, sizeof r.error, "%s", e.what());
        }
        rusage ru{};
        getrusage(RUSAGE_SELF, &ru);
        r.maxKb = ru.ru_maxrss;
        if (write(fd[1], &r, sizeof r) != ssize_t(sizeof r))
            _exit(2);
        _exit(0);
    }
    close(fd[1]);
    struct {
        double ms;
        long long count;
        long maxKb;
        char error[512];
    } r{};
    const ssize_t got = read(fd[0], &r, sizeof r);
    close(fd[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (got != ssize_t(sizeof r)) {
        m.error = QStringLiteral("the measuring process died");
        return m;
    }
    m.ms = r.ms;
    m.count = r.count;
    m.peakMb = double(r.maxKb) / 1024.0;
    m.error = QString::fromUtf8(r.error);
    return m;
}

Measure repeated(int n, const std::function<long long(double& ms)>& body) {
    std::vector<double> times;
    Measure last;
    double peak = 0;
    for (int i = 0; i < n; ++i) {
        last = inChild(body);
        if (!last.error.isEmpty())
            return last;
        times.push_back(last.ms);
        peak = std::max(peak, last.peakMb);
    }
    std::sort(times.begin(), times.end());
    last.ms = times[times.size() / 2];
    last.peakMb = peak;
    return last;
}

void row(const QString& what, const QString& result, double ms, double peakMb, const QString& aim) {
    const QString t = ms < 0 ? QString() : QString::number(ms, 'f', 1);
    const QString p = peakMb < 0 ? QString() : QString::number(peakMb, 'f', 1);
    std::printf("| %s | %s | %s | %s | %s |\n", what.toUtf8().constData(),
                result.toUtf8().constData(), t.toUtf8().constData(), p.toUtf8().constData(),
                aim.toUtf8().constData());
    std::fflush(stdout);
}

void row(const QString& what, const Measure& m, const QString& unit, const QString& aim) {
    if (!m.error.isEmpty()) {
        row(what, QStringLiteral("失敗: ") + m.error, -1, -1, aim);
        return;
    }
    row(what, QString::number(m.count) + QLatin1Char(' ') + unit, m.ms, m.peakMb, aim);
}

Measure shell(const QString& db, const QString& query, bool isCount, int runs) {
    Measure m = repeated(runs, [&](double& ms) -> long long {
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

bool PaintSeen::eventFilter(QObject*, QEvent* ev) {
    if (ev->type() == QEvent::Paint)
        seen = true;
    return false;
}

std::unique_ptr<QApplication> offscreenApp(const char* name) {
    // QApplication keeps argc and argv for its lifetime.
    static int argc = 1;
    static char program[64];
    static char* argv[] = {program, nullptr};
    std::snprintf(program, sizeof program, "%s", name);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return std::make_unique<QApplication>(argc, argv);
}

melodeck::ModCommon::ProgramLocation useProgramFolder(const QString& folder,
                                                      const QString& copyDb) {
    if (!copyDb.isEmpty() &&
        !QFile::copy(copyDb, QDir(folder).filePath(QStringLiteral("MeloDeck.mdb"))))
        throw std::runtime_error("cannot copy the database");
    return {folder, QStringLiteral("MeloDeck")};
}

void writeSetting(const melodeck::ModCommon::ProgramLocation& at, const QString& section,
                  const QString& key, const QString& value) {
    melodeck::profile::File ini = melodeck::ModCommon::OpenIni(at);
    melodeck::ModCommon::WriteIni(ini, section, key, value);
    if (!ini.Save())
        throw std::runtime_error("cannot write the settings file");
}

melodeck::ScopedSeams answerWindowSeams(QString& warning) {
    using namespace melodeck;
    Seams answers = seams();
    answers.warning = [&warning](const QString&, const QString& text) { warning = text.trimmed(); };
    answers.screenSize = [] { return QSize(1920, 1080); };
    ModMeloDeck::InstallFonts();
    return ScopedSeams(std::move(answers));
}

QString dataFolder(int argc, char** argv) {
    if (argc < 2 || !QDir(QString::fromLocal8Bit(argv[1])).exists()) {
        std::fprintf(stderr, "usage: %s <folder with songs.mdb and songs.csv>\n", argv[0]);
        std::exit(2);
    }
    return QString::fromLocal8Bit(argv[1]);
}

void summary(const QString& folder, const char* key, double value) {
    QFile f(QDir(folder).filePath(QStringLiteral("summary.txt")));
    if (f.open(QIODevice::Append | QIODevice::Text))
        f.write(QStringLiteral("%1 %2\n").arg(QLatin1String(key)).arg(value, 0, 'f', 3).toUtf8());
}

QString Goals::memory() const {
    return QStringLiteral("≤ %1 MB").arg(peakMb);
}

Goals goals(const QString& folder) {
    Goals g;
    long long songs = 0;
    sqlite3* db = nullptr;
    const QByteArray path = QDir(folder).filePath(QStringLiteral("songs.mdb")).toUtf8();
    sqlite3_stmt* st = nullptr;
    if (sqlite3_open_v2(path.constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
        sqlite3_prepare_v2(db, "SELECT count(*) FROM MeloDeck", -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW)
        songs = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    sqlite3_close(db);
    if (songs > 300000) {
        g.peakMb = 120;
        g.clickMs = 250;
        g.startupVs1k = 1.60;
    }
    return g;
}

} // namespace bench
