#include "import_fixture.h"

#include "app/gui/ModMeloDeck.h"
#include "common/Cp932.h"
#include "common/ModCommon.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTcpSocket>
#include <gtest/gtest.h>
#include <sqlite3.h>

namespace melodeck::test {

QByteArray Sjis(const QString& text) {
    return cp932::encode(text);
}

void WriteBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(f.write(bytes), bytes.size());
}

QString SongTableSchema() {
    return QStringLiteral(
        "(曲番 INTEGER, 歌手名 TEXT(100), 曲名 TEXT(100), 歌い出し TEXT(100), ハモリ TEXT(10))");
}

void ExecSql(const QString& dbPath, const QString& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(dbPath.toUtf8().constData(), &db), SQLITE_OK);
    char* err = nullptr;
    const int rc = sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &err);
    EXPECT_EQ(rc, SQLITE_OK) << (err ? err : "") << " in " << sql.toStdString();
    sqlite3_free(err);
    sqlite3_close(db);
}

std::vector<QStringList> QueryRows(const QString& dbPath, const QString& query) {
    std::vector<QStringList> rows;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(dbPath.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) !=
        SQLITE_OK) {
        ADD_FAILURE() << "cannot open " << dbPath.toStdString();
        sqlite3_close(db);
        return rows;
    }
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, query.toUtf8().constData(), -1, &st, nullptr) != SQLITE_OK) {
        ADD_FAILURE() << sqlite3_errmsg(db);
    } else {
        while (sqlite3_step(st) == SQLITE_ROW) {
            QStringList row;
            for (int i = 0; i < sqlite3_column_count(st); ++i)
                row << (sqlite3_column_type(st, i) == SQLITE_NULL
                            ? QStringLiteral("<NULL>")
                            : QString::fromUtf8(
                                  reinterpret_cast<const char*>(sqlite3_column_text(st, i))));
            rows.push_back(row);
        }
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return rows;
}

// ---- loopback server ------------------------------------------------------------

LoopbackServer::LoopbackServer() {
    EXPECT_TRUE(server_.listen(QHostAddress::LocalHost, 0));
    QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] {
        while (QTcpSocket* s = server_.nextPendingConnection()) {
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

QString LoopbackServer::url(const QByteArray& path) const {
    return QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(QString::fromLatin1(path));
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

// ---- the window on a program folder ------------------------------------------------

ImportFixture::ImportFixture() {
    EXPECT_TRUE(dir_.isValid());
    saved_ = seams();
    seams().warning = [this](const QString&, const QString& text) {
        warnings << text.trimmed();
        if (onWarning)
            onWarning(text.trimmed());
    };
    seams().openFile = [this](const OpenFileRequest& r) {
        openRequests.push_back(r);
        return nextChosenFile;
    };
    seams().popupMenu = [](QMenu*, QPoint) {};
    seams().setClipboardText = [](const QString&) { return true; };
    seams().processEvents = [this] {
        ++pumps;
        if (onPump)
            onPump();
        QCoreApplication::processEvents();
    };
    ModCommon::SetProgramLocation(dir_.path(), QStringLiteral("MeloDeck"));
}

ImportFixture::~ImportFixture() {
    window_.reset();
    seams() = saved_;
}

QString ImportFixture::path(const QString& name) const {
    return QDir(dir_.path()).filePath(name);
}

void ImportFixture::createDatabase(const QStringList& songRows, const QString& schema) {
    QString sql =
        QStringLiteral("CREATE TABLE MeloDeck %1; CREATE TABLE PickupList %1;").arg(schema);
    for (const QString& r : songRows)
        sql += QStringLiteral("INSERT INTO MeloDeck VALUES (%1);").arg(r);
    ExecSql(databasePath(), sql);
}

frmMeloDeck* ImportFixture::start() {
    window_ = ModMeloDeck::Main();
    return window_.get();
}

std::vector<QStringList> ImportFixture::songs() const {
    return QueryRows(databasePath(), QStringLiteral("SELECT * FROM MeloDeck ORDER BY rowid"));
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
