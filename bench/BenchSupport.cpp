#include "BenchSupport.h"

#include <QDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

QString dataFolder(int argc, char** argv) {
    if (argc < 2 || !QDir(QString::fromLocal8Bit(argv[1])).exists()) {
        std::fprintf(stderr, "usage: %s <folder with songs.mdb and songs.csv>\n", argv[0]);
        std::exit(2);
    }
    return QString::fromLocal8Bit(argv[1]);
}

} // namespace bench
