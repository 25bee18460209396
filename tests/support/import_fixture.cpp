#include "import_fixture.h"

#include "store_TestDb.h"

#include <QCoreApplication>
#include <QFile>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QTcpSocket>
#include <gtest/gtest.h>

namespace melodeck::test {

// ---- loopback server ------------------------------------------------------------

LoopbackServer::LoopbackServer(Scheme scheme) : scheme_(scheme) {
    if (scheme == Scheme::Https) {
        // The test authority's certificate for 127.0.0.1 (tests/tls).
        auto* tls = new QSslServer;
        QSslConfiguration config = QSslConfiguration::defaultConfiguration();
        const QList<QSslCertificate> chain =
            QSslCertificate::fromPath(QStringLiteral(MELODECK_SOURCE_DIR "/tests/tls/server.pem"));
        QFile keyFile(QStringLiteral(MELODECK_SOURCE_DIR "/tests/tls/server.key"));
        EXPECT_TRUE(keyFile.open(QIODevice::ReadOnly));
        EXPECT_EQ(chain.size(), 1);
        config.setLocalCertificateChain(chain);
        config.setPrivateKey(QSslKey(&keyFile, QSsl::Ec));
        tls->setSslConfiguration(config);
        server_.reset(tls);
    } else {
        server_ = std::make_unique<QTcpServer>();
    }
    EXPECT_TRUE(server_->listen(QHostAddress::LocalHost, 0));
    QTcpServer* server = server_.get();
    QObject::connect(server, &QTcpServer::pendingConnectionAvailable, server, [this, server] {
        while (QTcpSocket* s = server->nextPendingConnection()) {
            auto buffer = std::make_shared<QByteArray>();
            QObject::connect(s, &QTcpSocket::readyRead, s, [this, s, buffer] {
                buffer->append(s->readAll());
                const qsizetype end = buffer->indexOf("\r\n\r\n");
                if (end < 0)
                    return;
                const QByteArray head = buffer->left(end);
                buffer->clear();
                answer(s, head);
            });
        }
    });
}

LoopbackServer::~LoopbackServer() = default;

quint16 LoopbackServer::port() const {
    return server_->serverPort();
}

QString LoopbackServer::url(const QByteArray& path, const QString& host) const {
    return QStringLiteral("%1://%2:%3%4")
        .arg(scheme_ == Scheme::Https ? QStringLiteral("https") : QStringLiteral("http"), host)
        .arg(port())
        .arg(QString::fromLatin1(path));
}

void LoopbackServer::answer(QTcpSocket* socket, const QByteArray& head) {
    requests << head;
    const QList<QByteArray> words = head.left(head.indexOf("\r\n")).split(' ');
    const QByteArray path = words.value(1);
    Reply reply;
    if (auto it = routes_.find(path); it != routes_.end()) {
        reply = it->second;
    } else {
        reply.status = "404 Not Found";
        reply.body = "404 Not Found\r\n";
    }
    if (reply.silent)
        return;
    QByteArray out = "HTTP/1.1 " + reply.status + "\r\n";
    out += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n";
    out += "Content-Type: text/csv\r\nConnection: close\r\n";
    if (!reply.location.isEmpty())
        out += "Location: " + reply.location + "\r\n";
    out += "\r\n";
    out += reply.sendBytes >= 0 ? reply.body.left(reply.sendBytes) : reply.body;
    socket->write(out);
    socket->disconnectFromHost();
}

RefusingPort::RefusingPort() : socket_(std::make_unique<QTcpSocket>()) {
    EXPECT_TRUE(socket_->bind(QHostAddress::LocalHost, 0)) << socket_->errorString().toStdString();
}

RefusingPort::~RefusingPort() = default;

quint16 RefusingPort::port() const {
    return socket_->localPort();
}

// ---- the window on a program folder ------------------------------------------------

ImportFixture::ImportFixture() {
    answers().warning = [this](const QString&, const QString& text) {
        warnings << text.trimmed();
        if (onWarning)
            onWarning(text.trimmed());
    };
    answers().openFile = [this](const OpenFileRequest& r) {
        openRequests.push_back(r);
        return nextChosenFile;
    };
    answers().processEvents = [this] {
        ++pumps;
        if (onPump)
            onPump();
        QCoreApplication::processEvents();
    };
}

ImportFixture::~ImportFixture() {
    stop();
}

std::vector<QStringList> ImportFixture::songs() const {
    return test::rows(databasePath(), QStringLiteral("SELECT * FROM MeloDeck ORDER BY rowid"));
}

void ImportFixture::import(const QString& source) {
    window_->txtパス->setText(source);
    window_->cmd取込_Click();
}

bool ImportFixture::controlsEnabled() const {
    for (QPushButton* b : window_->findChildren<QPushButton*>())
        if (b->window() == window_.get() && !b->isEnabled())
            return false;
    return window_->flgList->isEnabled() && window_->flgPickup->isEnabled();
}

} // namespace melodeck::test
