#pragma once
// Song-list import tests: list files in code page 932, a song database in a
// temporary program folder, a loopback HTTP server, and the main window
// started on that folder with its seams answered by recorders.

#include "common_files.h"
#include "import_files.h"
#include "program_fixture.h"

#include <QByteArray>
#include <QHostAddress>
#include <QStringList>
#include <QTcpServer>
#include <functional>
#include <map>
#include <memory>
#include <vector>

class QTcpSocket;

namespace melodeck::test {

// An HTTP server on 127.0.0.1 that runs on the test's own event loop and
// answers each path with a canned reply; with Scheme::Https over TLS, with
// the test authority's certificate for 127.0.0.1 (tests/tls).
class LoopbackServer {
public:
    enum class Scheme { Http, Https };
    struct Reply {
        QByteArray status = "200 OK";
        QByteArray body;
        QByteArray location;      // for a redirect
        qsizetype sendBytes = -1; // send only this much of the body, then close
        bool silent = false;      // read the request, never answer
    };

    explicit LoopbackServer(Scheme scheme = Scheme::Http);
    ~LoopbackServer();

    void route(const QByteArray& path, Reply reply) { routes_[path] = std::move(reply); }
    QString url(const QByteArray& path, const QString& host = QStringLiteral("127.0.0.1")) const;
    quint16 port() const;

    // Every request head received, oldest first.
    QList<QByteArray> requests;

private:
    void answer(QTcpSocket* socket, const QByteArray& head);

    Scheme scheme_;
    std::unique_ptr<QTcpServer> server_;
    std::map<QByteArray, Reply> routes_;
};

// A port on 127.0.0.1 that refuses every connection: a socket holds it bound
// without listening, so no other server can take it while the test runs.
class RefusingPort {
public:
    RefusingPort();
    ~RefusingPort();
    quint16 port() const;

private:
    std::unique_ptr<QTcpSocket> socket_;
};

// A program folder holding MeloDeck.mdb, and the window started on it.
class ImportFixture : public ProgramFixture {
public:
    ImportFixture();
    ~ImportFixture();

    QString downloadPath() const { return path(QStringLiteral("MeloDeck.$$$")); }

    std::vector<QStringList> songs() const;

    // Runs the import with txtパス set to source.
    void import(const QString& source);

    // True when every command button and both grids are enabled.
    bool controlsEnabled() const;

    QStringList warnings;
    // Called from the message pump during an import.
    std::function<void()> onPump;
    int pumps = 0;
    QString nextChosenFile; // what the file dialog answers
    std::vector<OpenFileRequest> openRequests;
    // When set, called from the warning seam (the window is still locked then).
    std::function<void(const QString&)> onWarning;
};

} // namespace melodeck::test
