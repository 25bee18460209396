#include "hostile_support.h"

#include "store/JetLike.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>

namespace melodeck::test {

// ---- failing disk ------------------------------------------------------------------

FileSizeLimit::FileSizeLimit(long long bytes) {
    savedHandler_ = ::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    saved_ = limit.rlim_cur;
    limit.rlim_cur = rlim_t(bytes);
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
        ADD_FAILURE() << "setrlimit: " << std::strerror(errno);
}

FileSizeLimit::~FileSizeLimit() {
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = rlim_t(saved_);
    ::setrlimit(RLIMIT_FSIZE, &limit);
    ::signal(SIGXFSZ, savedHandler_);
}

// ---- file opens --------------------------------------------------------------------

OpenCounter::OpenCounter(const QString& folder, const QString& fileName)
    : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)), name_(QFile::encodeName(fileName)) {
    if (fd_ < 0 || ::inotify_add_watch(fd_, QFile::encodeName(folder).constData(), IN_OPEN) < 0)
        ADD_FAILURE() << "inotify: " << std::strerror(errno);
}

OpenCounter::~OpenCounter() {
    if (fd_ >= 0)
        ::close(fd_);
}

int OpenCounter::opens() {
    int n = 0;
    alignas(inotify_event) char buffer[64 * 1024];
    ssize_t got;
    while ((got = ::read(fd_, buffer, sizeof buffer)) > 0) {
        for (char* p = buffer; p < buffer + got;) {
            const auto* ev = reinterpret_cast<const inotify_event*>(p);
            if ((ev->mask & IN_OPEN) && ev->len > 0 && name_ == ev->name)
                ++n;
            p += sizeof(inotify_event) + ev->len;
        }
    }
    return n;
}

// ---- statements --------------------------------------------------------------------

StatementShape ShapeOf(const QString& dbPath, const QString& sql) {
    StatementShape shape;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(dbPath.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) !=
        SQLITE_OK) {
        ADD_FAILURE() << "cannot open " << dbPath.toStdString();
        sqlite3_close(db);
        return shape;
    }
    jetlike::registerLike(db);
    const QByteArray text = "EXPLAIN " + sql.toUtf8();
    sqlite3_stmt* st = nullptr;
    const char* tail = nullptr;
    // The text's own length: a NUL inside must not end it unnoticed.
    const int rc = sqlite3_prepare_v2(db, text.constData(), int(text.size()), &st, &tail);
    if (rc != SQLITE_OK || !st) {
        shape.error = QString::fromUtf8(sqlite3_errmsg(db));
    } else if (tail != text.constData() + text.size()) {
        shape.error = QStringLiteral("text after the statement: ") + QString::fromUtf8(tail);
    } else {
        shape.ok = true;
        while (sqlite3_step(st) == SQLITE_ROW) {
            // addr, opcode, p1, p2, p3, p4, p5, comment
            const QString opcode =
                QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 1)));
            QString p4 =
                QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 5)));
            if (opcode == u"String8" || opcode == u"String")
                p4 = QStringLiteral("<text>");
            if (opcode.startsWith(u"Function") && p4.startsWith(u"like("))
                ++shape.likeCalls;
            shape.program << QStringLiteral("%1 %2 %3 %4 %5 %6")
                                 .arg(opcode)
                                 .arg(sqlite3_column_int(st, 2))
                                 .arg(sqlite3_column_int(st, 3))
                                 .arg(sqlite3_column_int(st, 4))
                                 .arg(p4)
                                 .arg(sqlite3_column_int(st, 6));
        }
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return shape;
}

// ---- files ----------------------------------------------------------------------------

namespace {

// The logical content of an SQLite file (its schema and every row of every
// table, read through the log when one is beside it); empty when the file
// cannot be read so.
QByteArray databaseContent(const QString& path) {
    sqlite3* db = nullptr;
    QByteArray out;
    auto fail = [&] {
        sqlite3_close(db);
        return QByteArray();
    };
    // Writable when the file is: a log that a killed program left beside it
    // is then taken in (recovered) instead of making the content unreadable.
    const int mode = QFileInfo(path).isWritable() ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, mode, nullptr) != SQLITE_OK)
        return fail();
    std::vector<std::string> tables;
    auto each = [&](const std::string& sql, auto&& row) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK)
            return false;
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW)
            row(st);
        sqlite3_finalize(st);
        return rc == SQLITE_DONE;
    };
    const bool schema =
        each("SELECT type, name, sql FROM sqlite_master ORDER BY name", [&](sqlite3_stmt* st) {
            for (int i = 0; i < 3; ++i) {
                const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
                out += t ? t : "<NULL>";
                out += '\x1f';
            }
            if (std::strcmp(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)), "table") ==
                0)
                tables.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 1)));
        });
    if (!schema)
        return fail();
    for (const std::string& t : tables) {
        const bool rows = each("SELECT * FROM \"" + t + "\"", [&](sqlite3_stmt* st) {
            for (int i = 0; i < sqlite3_column_count(st); ++i) {
                out += char('0' + sqlite3_column_type(st, i));
                out.append(static_cast<const char*>(sqlite3_column_blob(st, i)),
                           sqlite3_column_bytes(st, i));
                out += '\x1f';
            }
            out += '\x1e';
        });
        if (!rows)
            return fail();
    }
    sqlite3_close(db);
    return out.isEmpty() ? QByteArray("<empty database>") : out;
}

} // namespace

QByteArray Digest(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return "<missing>";
    QCryptographicHash h(QCryptographicHash::Sha256);
    // A database is what it holds: the engine's bookkeeping in its header
    // and its log beside it while it is open are no change.
    if (f.peek(16) == QByteArray("SQLite format 3", 16)) {
        if (const QByteArray content = databaseContent(path); !content.isEmpty()) {
            h.addData(content);
            return h.result().toHex();
        }
        // Unreadable: its bytes, the change counter and version fields
        // (24-27, 92-99) of its header left out.
        QByteArray bytes = f.readAll();
        for (int i : {24, 25, 26, 27, 92, 93, 94, 95, 96, 97, 98, 99})
            if (i < bytes.size())
                bytes[i] = 0;
        h.addData(bytes);
        return h.result().toHex();
    }
    h.addData(&f);
    return h.result().toHex();
}

std::map<QString, QByteArray> Snapshot(const QString& folder) {
    std::map<QString, QByteArray> files;
    const QDir root(folder);
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        // The log of an open database is part of the database's digest.
        if (path.endsWith(QLatin1String("-wal")) || path.endsWith(QLatin1String("-shm")))
            continue;
        files[root.relativeFilePath(path)] = Digest(path);
    }
    return files;
}

QStringList ChangedFiles(const std::map<QString, QByteArray>& before,
                         const std::map<QString, QByteArray>& after) {
    QStringList out;
    for (const auto& [name, digest] : after)
        if (auto it = before.find(name); it == before.end() || it->second != digest)
            out << name;
    for (const auto& [name, digest] : before)
        if (!after.count(name))
            out << name + QStringLiteral(" (gone)");
    return out;
}

// ---- memory ---------------------------------------------------------------------------

namespace {

long statusKb(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    const size_t n = std::strlen(field);
    while (std::getline(in, line))
        if (line.compare(0, n, field) == 0)
            return std::stol(line.substr(n + 1));
    return -1;
}

} // namespace

void ResetPeakMemory() {
    // "5" resets the peak resident size of this process (Linux).
    std::ofstream("/proc/self/clear_refs") << "5";
}

long PeakMemoryKb() {
    return statusKb("VmHWM:");
}

long CurrentMemoryKb() {
    return statusKb("VmRSS:");
}

// ---- server ---------------------------------------------------------------------------

bool ThreadServer::Connection::stopping() const {
    return server_.stop_;
}

bool ThreadServer::Connection::send(std::string_view bytes) {
    while (!bytes.empty()) {
        if (stopping())
            return false;
        pollfd p{fd_, POLLOUT, 0};
        if (::poll(&p, 1, 50) <= 0)
            continue; // not writable yet: look at the stop flag again
        const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        bytes.remove_prefix(size_t(n));
    }
    return true;
}

void ThreadServer::Connection::stall(int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!stopping() && std::chrono::steady_clock::now() < end) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 50) > 0) {
            char buf[512];
            if (::recv(fd_, buf, sizeof buf, 0) <= 0)
                return; // the client has gone
        }
    }
}

ThreadServer::ThreadServer(Handler handler) : handler_(std::move(handler)) {
    listen_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    if (listen_ < 0 || ::bind(listen_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listen_, 8) != 0 ||
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        ADD_FAILURE() << "cannot listen on the loopback interface";
        return;
    }
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread([this] { run(); });
}

ThreadServer::~ThreadServer() {
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
    if (listen_ >= 0)
        ::close(listen_);
}

QString ThreadServer::url(const std::string& path) const {
    return QStringLiteral("http://127.0.0.1:%1%2").arg(port_).arg(QString::fromStdString(path));
}

std::string ThreadServer::Head(const std::string& status, long long length,
                               const std::string& extra) {
    std::string h = "HTTP/1.1 " + status + "\r\n";
    if (length >= 0)
        h += "Content-Length: " + std::to_string(length) + "\r\n";
    h += "Content-Type: text/csv\r\nConnection: close\r\n" + extra + "\r\n";
    return h;
}

void ThreadServer::run() {
    while (!stop_) {
        pollfd p{listen_, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0)
            continue;
        const int fd = ::accept(listen_, nullptr, nullptr);
        if (fd < 0)
            continue;
        // The request head, up to its blank line.
        std::string head;
        char buf[1024];
        while (!stop_ && head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
            pollfd q{fd, POLLIN, 0};
            if (::poll(&q, 1, 50) <= 0)
                continue;
            const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0)
                break;
            head.append(buf, size_t(n));
        }
        if (head.find("\r\n\r\n") != std::string::npos) {
            ++requests_;
            const size_t sp1 = head.find(' ');
            const size_t sp2 = head.find(' ', sp1 + 1);
            Connection c(fd, *this);
            handler_(c, head.substr(sp1 + 1, sp2 - sp1 - 1));
        }
        ::shutdown(fd, SHUT_RDWR);
        ::close(fd);
    }
}

} // namespace melodeck::test
