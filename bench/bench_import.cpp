// The import button on the full generated list, through the real window on the
// offscreen platform: from a local file and from a loopback HTTP server (a
// separate process, so that its buffers do not count here). Next to it the
// same list converted by iconv and loaded by the sqlite3 shell's .import into
// a table of the same schema. The window's figure covers the whole click:
// reading, the replaced table, and the requery of the grid with every song.
#include "BenchSupport.h"

#include "app/gui/ModMeloDeck.h"
#include "common/ModCommon.h"
#include "common/Seams.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <arpa/inet.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <netinet/in.h>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace melodeck;

namespace {

QString dataDir;

QString shellQuote(const QString& s) {
    QString q = s;
    q.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + q + QLatin1Char('\'');
}

void runShell(const QString& command) {
    const int rc = std::system(command.toLocal8Bit().constData());
    if (rc != 0)
        throw std::runtime_error("failed: " + command.toStdString());
}

// A minimal HTTP server in a child process: every request gets the list.
struct ListServer {
    pid_t pid = -1;
    int port = 0;

    explicit ListServer(const QString& file) {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
            listen(fd, 8) != 0 || getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0)
            throw std::runtime_error("cannot listen on 127.0.0.1");
        port = ntohs(a.sin_port);
        const std::string path = file.toStdString();
        std::fflush(stdout);
        pid = fork();
        if (pid == 0) {
            for (;;) {
                const int c = accept(fd, nullptr, nullptr);
                if (c < 0)
                    _exit(0);
                std::string req;
                char buf[4096];
                while (req.find("\r\n\r\n") == std::string::npos) {
                    const ssize_t n = read(c, buf, sizeof buf);
                    if (n <= 0)
                        break;
                    req.append(buf, size_t(n));
                }
                FILE* in = std::fopen(path.c_str(), "rb");
                std::fseek(in, 0, SEEK_END);
                const long size = std::ftell(in);
                std::fseek(in, 0, SEEK_SET);
                const std::string head = "HTTP/1.1 200 OK\r\nContent-Type: text/csv\r\n"
                                         "Content-Length: " +
                                         std::to_string(size) + "\r\nConnection: close\r\n\r\n";
                bool ok = write(c, head.data(), head.size()) == ssize_t(head.size());
                size_t n;
                while (ok && (n = std::fread(buf, 1, sizeof buf, in)) > 0)
                    ok = write(c, buf, n) == ssize_t(n);
                std::fclose(in);
                close(c);
            }
        }
        close(fd);
    }
    ~ListServer() {
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    }
};

// One click of the import button on a fresh copy of the full database
// (or, with source empty, one click of the show-all button alone).
long long clickThroughWindow(const QString& source, double& ms) {
    const auto app = bench::offscreenApp("bench_import");
    QTemporaryDir dir;
    const auto at =
        bench::useProgramFolder(dir.path(), QDir(dataDir).filePath(QStringLiteral("songs.mdb")));
    QString warning;
    ScopedSeams answers(seams());
    answers.get().warning = [&](const QString&, const QString& text) { warning = text.trimmed(); };
    answers.get().processEvents = [] { QCoreApplication::processEvents(); };

    auto w = ModMeloDeck::Main(at);
    if (!w)
        throw std::runtime_error("the window did not start: " + warning.toStdString());
    QCoreApplication::processEvents();
    w->txtパス->setText(source);
    const double t0 = bench::nowMs();
    if (source.isEmpty())
        w->cmd抽出解除_Click();
    else
        w->cmd取込_Click();
    ms = bench::nowMs() - t0;
    if (!warning.isEmpty())
        throw std::runtime_error("warning: " + warning.toStdString());
    return w->flgList->Rows() - 1;
}

} // namespace

int main(int argc, char** argv) {
    dataDir = bench::dataFolder(argc, argv);
    const QString csv = QDir(dataDir).filePath(QStringLiteral("songs.csv"));
    const QString mdb = QDir(dataDir).filePath(QStringLiteral("songs.mdb"));

    // iconv, then the sqlite3 shell's .import into a table of the same schema.
    const bench::Measure pair = bench::repeated(3, [&](double& ms) -> long long {
        QTemporaryDir dir;
        const QString utf8 = dir.filePath(QStringLiteral("songs.utf8.csv"));
        const QString db = dir.filePath(QStringLiteral("pair.db"));
        // The same table, indexes included, empty.
        runShell(QStringLiteral("sqlite3 %1 '.schema MeloDeck' | sqlite3 %2")
                     .arg(shellQuote(mdb), shellQuote(db)));
        const double t0 = bench::nowMs();
        runShell(QStringLiteral("iconv -f CP932 -t UTF-8 %1 > %2")
                     .arg(shellQuote(csv), shellQuote(utf8)));
        runShell(QStringLiteral("sqlite3 %1 '.import --csv --skip 1 \"%2\" MeloDeck'")
                     .arg(shellQuote(db), utf8));
        ms = bench::nowMs() - t0;
        long long rows = 0;
        FILE* p = popen(QStringLiteral("sqlite3 %1 'SELECT COUNT(*) FROM MeloDeck'")
                            .arg(shellQuote(db))
                            .toLocal8Bit()
                            .constData(),
                        "r");
        if (p) {
            if (std::fscanf(p, "%lld", &rows) != 1)
                rows = -1;
            pclose(p);
        }
        return rows;
    });
    bench::row(QStringLiteral("iconv + sqlite3 .import (基準)"), pair, QStringLiteral("rows"),
               QStringLiteral("参考"));
    const bench::Goals goals = bench::goals(dataDir);
    const QString aim = QStringLiteral("≤ %1 ms (基準の %2 倍), ")
                            .arg(goals.importVsBaseline * pair.ms, 0, 'f', 0)
                            .arg(goals.importVsBaseline) +
                        goals.memory();

    const bench::Measure local =
        bench::repeated(3, [&](double& ms) { return clickThroughWindow(csv, ms); });
    bench::row(QStringLiteral("取込 ローカルファイル (画面経由、全件表示込み)"), local,
               QStringLiteral("rows"), aim);
    if (local.error.isEmpty() && pair.error.isEmpty() && pair.ms > 0) {
        const double ratio = local.ms / pair.ms;
        bench::row(QStringLiteral("取込 / 基準"), QStringLiteral("比 %1").arg(ratio, 0, 'f', 2), -1,
                   -1, QStringLiteral("≤ %1").arg(goals.importVsBaseline));
        bench::summary(dataDir, "import_vs_baseline", ratio);
        bench::summary(dataDir, "peak_mb", local.peakMb);
    }

    ListServer server(csv);
    const QString url = QStringLiteral("http://127.0.0.1:%1/data/songs.csv").arg(server.port);
    const bench::Measure http =
        bench::repeated(3, [&](double& ms) { return clickThroughWindow(url, ms); });
    bench::row(QStringLiteral("取込 ループバック HTTP (画面経由、全件表示込み)"), http,
               QStringLiteral("rows"), aim);

    // The requery at the end of every import, on its own.
    const bench::Measure showAll =
        bench::repeated(3, [&](double& ms) { return clickThroughWindow(QString(), ms); });
    bench::row(QStringLiteral("うち 全件表示 (抽出解除のみ)"), showAll, QStringLiteral("rows"),
               QStringLiteral("参考"));
    return 0;
}
