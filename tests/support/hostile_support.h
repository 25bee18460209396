#pragma once
// Tests with hostile input: how the engine reads a statement, whether files
// changed, how much memory a run took, and an HTTP server on its own thread
// that can misbehave in ways the event-loop server cannot (stream a body of
// any size, stall half-way, chunk it, redirect for ever).

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <thread>

namespace melodeck::test {

// How the engine reads a statement (on dbPath, with the program's LIKE).
struct StatementShape {
    bool ok = false;     // prepared as one statement with nothing after it
    QString error;       // the engine's message otherwise
    QStringList program; // its program, the contents of text constants left out
    int likeCalls = 0;   // calls of LIKE in that program
};
StatementShape ShapeOf(const QString& dbPath, const QString& sql);

// Every file below a folder with a digest of its bytes, by relative path.
std::map<QString, QByteArray> Snapshot(const QString& folder);
// The files that differ between two snapshots, then those gone (marked
// " (gone)").
QStringList ChangedFiles(const std::map<QString, QByteArray>& before,
                         const std::map<QString, QByteArray>& after);
// The digest of one file ("<missing>" when there is none).
QByteArray Digest(const QString& path);

// Peak resident memory of this process in kilobytes since the last reset.
void ResetPeakMemory();
long PeakMemoryKb();
long CurrentMemoryKb();

// True when built with AddressSanitizer, whose quarantine keeps freed
// memory resident, so peak memory says nothing about the program.
constexpr bool kAddressSanitizer =
#if defined(__SANITIZE_ADDRESS__)
    true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    true;
#else
    false;
#endif
#else
    false;
#endif

// While it lives, no file of this process grows beyond bytes: a write past
// that fails as on a full disk (SIGXFSZ is ignored, so the call reports
// EFBIG instead of ending the process). Sockets and pipes are not limited.
class FileSizeLimit {
public:
    explicit FileSizeLimit(long long bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    unsigned long long saved_ = 0;
    void (*savedHandler_)(int) = nullptr;
};

// Counts the times one file of a folder is opened, from the system's own
// file events: every open counts, whoever makes it and however.
class OpenCounter {
public:
    OpenCounter(const QString& folder, const QString& fileName);
    ~OpenCounter();
    OpenCounter(const OpenCounter&) = delete;
    OpenCounter& operator=(const OpenCounter&) = delete;

    // Opens since the counter was made or last asked.
    int opens();

private:
    int fd_ = -1;
    QByteArray name_;
};

// An HTTP server on 127.0.0.1 with its own thread. Each connection's request
// head is read, then the handler writes whatever it likes and returns; the
// connection is closed after it. The handler is called on the server thread.
class ThreadServer {
public:
    class Connection {
    public:
        // False once the client has gone (or the server stops).
        bool send(std::string_view bytes);
        // Waits without answering, until the client goes or the server stops
        // or ms have passed.
        void stall(int ms);
        bool stopping() const;

    private:
        friend class ThreadServer;
        Connection(int fd, const ThreadServer& server) : fd_(fd), server_(server) {}
        int fd_;
        const ThreadServer& server_;
    };
    using Handler = std::function<void(Connection&, const std::string& path)>;

    explicit ThreadServer(Handler handler);
    ~ThreadServer(); // stops and joins within a fraction of a second

    QString url(const std::string& path) const;
    int requests() const { return requests_; }

    // A complete answer with Content-Length.
    static std::string Head(const std::string& status, long long length,
                            const std::string& extra = {});

private:
    void run();

    Handler handler_;
    int listen_ = -1;
    unsigned short port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> requests_{0};
    std::thread thread_;
};

} // namespace melodeck::test
