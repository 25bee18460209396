// The import of a URL source: the download into the program folder through a
// loopback server, error pages, redirects, and every kind of failed transfer
// leaving both the temporary file and the song table as they were.
#include "support/hostile_support.h"
#include "support/import_fixture.h"

#include "common/clsMousePointer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace melodeck;
using test::ImportFixture;
using test::LoopbackServer;
using test::Sjis;

namespace {

const std::vector<test::SongRow> kOldSongs = {
    {QStringLiteral("1"), QStringLiteral("'旧歌手'"), QStringLiteral("'旧曲'")}};

QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

LoopbackServer::Reply reply(const QByteArray& status, const QByteArray& body) {
    LoopbackServer::Reply r;
    r.status = status;
    r.body = body;
    return r;
}

class Download : public ::testing::Test {
protected:
    void SetUp() override {
        f.createDatabase({kOldSongs});
        w = f.start();
        ASSERT_TRUE(w);
        longList = Sjis(QStringLiteral("曲番,歌手名,曲名\r\n101,歌手甲,曲その一\r\n"
                                       "102,歌手乙,曲その二,歌い出し,○\r\n"));
        shortList = Sjis(QStringLiteral("201,短い\r\n"));
        server.route("/list.csv", reply("200 OK", longList));
        server.route("/short.csv", reply("200 OK", shortList));
        LoopbackServer::Reply moved = reply("302 Found", {});
        moved.location = "/list.csv";
        server.route("/moved", moved);
        server.route("/gone",
                     reply("404 Not Found", "<html>\r\n<title>Not Found</title>\r\n</html>\r\n"));
        LoopbackServer::Reply cut = reply("200 OK", longList + QByteArray(4000, 'x'));
        cut.sendBytes = 40;
        server.route("/cut", cut);
        server.route("/empty", reply("200 OK", {}));
        LoopbackServer::Reply slow;
        slow.silent = true;
        server.route("/slow", slow);
    }

    test::ScopedEnv noProxy = test::WithoutProxy();
    ImportFixture f;
    frmMeloDeck* w = nullptr;
    LoopbackServer server;
    QByteArray longList, shortList;
};

QStringList keys(const ImportFixture& f) {
    QStringList k;
    for (const QStringList& r : f.songs())
        k << r.value(0);
    return k;
}

} // namespace

TEST_F(Download, ListIsFetchedIntoTheProgramFolderAndImported) {
    f.import(server.url("/list.csv"));
    EXPECT_TRUE(f.warnings.isEmpty()) << f.warnings.join(u'|').toStdString();
    EXPECT_EQ(keys(f), (QStringList{QStringLiteral("101"), QStringLiteral("102")}));
    EXPECT_EQ(f.songs()[1], test::ImportedRow({"102", "歌手乙", "曲その二", "歌い出し", "○"}));
    EXPECT_EQ(fileBytes(f.downloadPath()), longList);
    EXPECT_EQ(w->flgList->Rows(), 3);
    EXPECT_TRUE(f.controlsEnabled());
    EXPECT_EQ(MousePointer::get(), MousePointer::Default);
    ASSERT_EQ(server.requests.size(), 1);
    EXPECT_TRUE(server.requests[0].startsWith("GET /list.csv HTTP/1.1\r\n"));
    EXPECT_FALSE(server.requests[0].toLower().contains("authorization:"));

    // A shorter list afterwards: the file holds only the new bytes.
    f.import(server.url("/short.csv"));
    EXPECT_EQ(fileBytes(f.downloadPath()), shortList);
    EXPECT_EQ(keys(f), QStringList{QStringLiteral("201")});

    // Credentials in the URL go to its host as Basic authorisation, and not
    // on to another host that a redirect names.
    LoopbackServer::Reply away = reply("302 Found", {});
    away.location = server.url("/short.csv", QStringLiteral("localhost")).toUtf8();
    server.route("/away", away);
    server.requests.clear();
    for (const QByteArray path : {"/list.csv", "/away"})
        f.import(
            server.url(path).replace(QStringLiteral("://"), QStringLiteral("://singer:s%40cret@")));
    EXPECT_TRUE(f.warnings.isEmpty()) << f.warnings.join(u'|').toStdString();
    EXPECT_EQ(keys(f), QStringList{QStringLiteral("201")});
    const auto authorization = [](const QByteArray& head) {
        for (const QByteArray& line : head.split('\n'))
            if (line.toLower().startsWith("authorization:"))
                return line.mid(14).trimmed();
        return QByteArray("<none>");
    };
    const QByteArray basic = "Basic " + QByteArray("singer:s@cret").toBase64();
    ASSERT_EQ(server.requests.size(), 3);
    EXPECT_EQ(authorization(server.requests[0]), basic);
    EXPECT_EQ(authorization(server.requests[1]), basic);
    EXPECT_TRUE(server.requests[2].startsWith("GET /short.csv "));
    EXPECT_EQ(authorization(server.requests[2]), "<none>");

    // A redirect is followed; the same list twice gives the same table.
    f.import(server.url("/moved"));
    f.import(server.url("/moved"));
    EXPECT_TRUE(f.warnings.isEmpty());
    EXPECT_EQ(fileBytes(f.downloadPath()), longList);
    EXPECT_EQ(keys(f), (QStringList{QStringLiteral("101"), QStringLiteral("102")}));
}

TEST_F(Download, ErrorPagesAreRecognisedAndNeverWritten) {
    const auto before = f.songs();
    const QByteArray html = "<html>\r\n<title>Error</title>\r\n</html>\r\n";
    server.route("/removed", reply("410 Gone", html));
    server.route("/broken", reply("500 Internal Server Error", html));
    server.route("/soft-404", reply("200 OK", "<html>\r\n404 Not Found\r\n</html>\r\n"));
    // An error status, whatever its page holds, says which; a "404 " line in
    // a page answered with 200 is told as before. Neither page is a list:
    // no file, the table as it was.
    const std::pair<const char*, QString> pages[] = {
        {"/nothing-here.csv", QStringLiteral("URLが不正です\nHTTP 404")}, // the server's own page
        {"/gone", QStringLiteral("URLが不正です\nHTTP 404")},
        {"/removed", QStringLiteral("URLが不正です\nHTTP 410")},
        {"/broken", QStringLiteral("URLが不正です\nHTTP 500")},
        {"/soft-404", QStringLiteral("URLが不正です")}};
    for (const auto& [path, warning] : pages) {
        SCOPED_TRACE(path);
        f.warnings.clear();
        f.import(server.url(path));
        EXPECT_EQ(f.warnings, QStringList{warning});
        // Neither the list file nor a temporary one beside it.
        EXPECT_EQ(
            QDir(f.folder()).entryList({QStringLiteral("*.$$$*")}, QDir::Files | QDir::Hidden),
            QStringList());
        EXPECT_EQ(f.songs(), before);
        EXPECT_TRUE(f.controlsEnabled());
    }

    // A page answered with 200 and without such a line adds nothing and
    // says nothing; nor does an answer without a body.
    server.route("/page", reply("200 OK", html));
    f.warnings.clear();
    f.import(server.url("/page"));
    EXPECT_TRUE(f.warnings.isEmpty());
    EXPECT_EQ(fileBytes(f.downloadPath()), html);
    f.import(server.url("/empty"));
    EXPECT_TRUE(f.warnings.isEmpty());
    EXPECT_EQ(fileBytes(f.downloadPath()), QByteArray());
    EXPECT_EQ(f.songs(), before);
}

TEST_F(Download, FailedTransfersKeepTheFileAndTheTable) {
    f.import(server.url("/list.csv"));
    ASSERT_TRUE(f.warnings.isEmpty());
    const auto before = f.songs();

    // Cut off after 40 bytes; refused (a port bound by nobody who listens);
    // not a URL at all.
    const test::RefusingPort closed;
    const std::pair<QString, QString> failures[] = {
        {server.url("/cut"), QStringLiteral("ホスト '127.0.0.1' が受信の途中で接続を切りました。")},
        {QStringLiteral("http://127.0.0.1:%1/list.csv").arg(closed.port()),
         QStringLiteral("ホスト '127.0.0.1' に接続できません（接続を拒否されました）。")},
        {QStringLiteral("http://"), QStringLiteral("URL 'http://' が正しくありません。")},
    };
    for (const auto& [url, warning] : failures) {
        SCOPED_TRACE(url.toStdString());
        f.warnings.clear();
        f.import(url);
        EXPECT_EQ(f.warnings, QStringList{warning});
        EXPECT_EQ(fileBytes(f.downloadPath()), longList);
        EXPECT_EQ(f.songs(), before);
        EXPECT_TRUE(f.controlsEnabled());
        EXPECT_EQ(MousePointer::get(), MousePointer::Default);
    }

    // A disk that fills up before the last bytes of a longer list are written.
    QByteArray longer = longList;
    for (int i = 0; i < 200; ++i)
        longer += Sjis(QStringLiteral("%1,歌手,曲\r\n").arg(300 + i));
    server.route("/longer.csv", reply("200 OK", longer));
    f.warnings.clear();
    {
        test::FileSizeLimit disk(longer.size() - 3);
        f.import(server.url("/longer.csv"));
    }
    EXPECT_EQ(f.warnings,
              QStringList{QStringLiteral(
                              "ディスクがいっぱいです。フォルダー '%1' にリストを保存できません。")
                              .arg(f.folder())});
    EXPECT_EQ(fileBytes(f.downloadPath()), longList);
    EXPECT_EQ(f.songs(), before);
    EXPECT_TRUE(f.controlsEnabled());
    EXPECT_EQ(QDir(f.folder()).entryList({QStringLiteral("*.tmp")}, QDir::Files | QDir::Hidden),
              QStringList());

    // A server that never answers: the time-out ends the wait.
    w->downloadLimits.timeoutMs = 800;
    f.warnings.clear();
    QElapsedTimer t;
    t.start();
    f.import(server.url("/slow"));
    EXPECT_GE(t.elapsed(), 700);
    EXPECT_LT(t.elapsed(), 10000);
    ASSERT_EQ(f.warnings.size(), 1);
    EXPECT_TRUE(f.warnings[0].contains(QStringLiteral("応答がありません")))
        << f.warnings[0].toStdString();
    EXPECT_EQ(fileBytes(f.downloadPath()), longList);
    EXPECT_EQ(f.songs(), before);
    EXPECT_TRUE(f.controlsEnabled());
}

TEST_F(Download, UnwritableTemporaryFileIsAFailure) {
    // A folder where the temporary file should be.
    ASSERT_TRUE(QDir(f.folder()).mkdir(QStringLiteral("MeloDeck.$$$")));
    const auto before = f.songs();
    f.import(server.url("/list.csv"));
    ASSERT_EQ(f.warnings.size(), 1);
    EXPECT_TRUE(f.warnings[0].contains(f.downloadPath())) << f.warnings[0].toStdString();
    EXPECT_EQ(f.songs(), before);
    EXPECT_TRUE(f.controlsEnabled());
}

TEST_F(Download, HttpsIsVerifiedAgainstTheTrustStore) {
    LoopbackServer secure(LoopbackServer::Scheme::Https);
    secure.route("/list.csv", reply("200 OK", longList));
    secure.route("/short.csv", reply("200 OK", shortList));
    LoopbackServer::Reply up = reply("301 Moved Permanently", {});
    up.location = secure.url("/short.csv").toUtf8();
    server.route("/up", up);
    LoopbackServer::Reply down = reply("302 Found", {});
    down.location = server.url("/list.csv").toUtf8();
    secure.route("/down", down);

    // The system's store does not know the test authority: each failure
    // says why and changes nothing. Only the program's own words are
    // compared; the reason in brackets is libcurl's and OpenSSL's, and their
    // wording changes between versions.
    const auto certificateRefused = [](const QString& warning, const QString& host) {
        return QRegularExpression(QStringLiteral("^ホスト '%1' の証明書を確かめられません（.+）。$")
                                      .arg(QRegularExpression::escape(host)))
            .match(warning)
            .hasMatch();
    };
    const auto before = f.songs();
    {
        const test::ScopedEnv systemStore({"SSL_CERT_FILE"}, std::nullopt);
        f.import(secure.url("/list.csv"));
    }
    ASSERT_EQ(f.warnings.size(), 1);
    EXPECT_TRUE(certificateRefused(f.warnings[0], QStringLiteral("127.0.0.1")))
        << f.warnings[0].toStdString();
    EXPECT_EQ(f.songs(), before);
    EXPECT_FALSE(QFile::exists(f.downloadPath()));

    // A store that holds it (as OpenSSL programs take SSL_CERT_FILE).
    const test::ScopedEnv testStore({"SSL_CERT_FILE"}, MELODECK_SOURCE_DIR "/tests/tls/ca.pem");
    f.warnings.clear();
    f.import(secure.url("/list.csv"));
    EXPECT_TRUE(f.warnings.isEmpty()) << f.warnings.join(u'|').toStdString();
    EXPECT_EQ(keys(f), (QStringList{QStringLiteral("101"), QStringLiteral("102")}));
    // http leads to https.
    f.import(server.url("/up"));
    EXPECT_TRUE(f.warnings.isEmpty()) << f.warnings.join(u'|').toStdString();
    EXPECT_EQ(fileBytes(f.downloadPath()), shortList);
    EXPECT_EQ(keys(f), QStringList{QStringLiteral("201")});

    // Never back from https to http, and never to a name the certificate
    // does not hold.
    QStringList refusals;
    for (const QString& url :
         {secure.url("/down"), secure.url("/list.csv", QStringLiteral("localhost"))}) {
        SCOPED_TRACE(url.toStdString());
        f.warnings.clear();
        f.import(url);
        ASSERT_EQ(f.warnings.size(), 1);
        EXPECT_EQ(fileBytes(f.downloadPath()), shortList);
        EXPECT_EQ(keys(f), QStringList{QStringLiteral("201")});
        refusals << f.warnings[0];
    }
    ASSERT_EQ(refusals.size(), 2);
    EXPECT_EQ(refusals[0],
              QStringLiteral("転送先の指定（リダイレクト）には従いません"
                             "（https から http へ、また http と https 以外へは転送しません）。"));
    EXPECT_TRUE(certificateRefused(refusals[1], QStringLiteral("localhost")))
        << refusals[1].toStdString();
}
