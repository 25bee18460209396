// Broken servers behind a URL source, all on the loopback interface and
// bounded in time: answers that stall, drip or stop half-way, a 100 MB
// list, endless redirects and chunked answers. A failure warns with
// its description and leaves both the song table and the temporary file as
// they were; the temporary file only ever holds one whole download.
#include "support/hostile_support.h"
#include "support/import_fixture.h"

#include "import/gui/frmWait.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <set>

using namespace melodeck;
using namespace Qt::Literals::StringLiterals;
using test::ImportFixture;
using test::Sjis;
using test::Snapshot;
using test::ThreadServer;

namespace {

// A list of about 100 MB: a title line, 1600 blocks of 64 filler lines that
// are no data lines, and three songs at the end. Sent block by block, so the
// server never holds more than one block.
struct HugeList {
    static constexpr int kBlocks = 1600;
    std::string head, block, tail;
    HugeList() {
        head = Sjis(u"曲番,歌手名,曲名,歌い出し,ハモリ\r\n"_s).toStdString();
        std::string line = "# " + std::string(1020, 'f') + "\r\n";
        for (int i = 0; i < 64; ++i)
            block += line;
        tail = Sjis(u"501,歌手A,曲A,歌い出しA,\r\n502,歌手B,曲B,歌い出しB,○\r\n503,C,D,E,\r\n"_s)
                   .toStdString();
    }
    long long size() const {
        return (long long)head.size() + (long long)block.size() * kBlocks + (long long)tail.size();
    }
    QByteArray digest() const {
        QCryptographicHash h(QCryptographicHash::Sha256);
        h.addData(QByteArrayView(head.data(), qsizetype(head.size())));
        for (int i = 0; i < kBlocks; ++i)
            h.addData(QByteArrayView(block.data(), qsizetype(block.size())));
        h.addData(QByteArrayView(tail.data(), qsizetype(tail.size())));
        return h.result().toHex();
    }
    // Sends the list; after `stallAfter` blocks (when >= 0) goes silent, or
    // with `cutAfter` closes the connection there.
    void send(ThreadServer::Connection& c, int stallAfter = -1, int cutAfter = -1) const {
        if (!c.send(ThreadServer::Head("200 OK", size())) || !c.send(head))
            return;
        for (int i = 0; i < kBlocks; ++i) {
            if (i == stallAfter) {
                c.stall(60000);
                return;
            }
            if (i == cutAfter || !c.send(block))
                return;
        }
        c.send(tail);
    }
};

std::string chunked(const std::string& body, size_t step) {
    std::string out;
    char size[32];
    for (size_t at = 0; at < body.size(); at += step) {
        const size_t n = std::min(step, body.size() - at);
        std::snprintf(size, sizeof size, "%zx;note=x\r\n", n); // with a chunk extension
        out += size + body.substr(at, n) + "\r\n";
    }
    return out;
}

class HostileServers : public ::testing::Test {
protected:
    void SetUp() override {
        f.createDatabase({{{u"1"_s, u"'旧歌手'"_s, u"'旧曲'"_s}}});
        w = f.start();
        ASSERT_TRUE(w);
        w->downloadLimits.timeoutMs = 1500;
        small = Sjis(u"曲番,歌手名\r\n601,小さい,リスト,,\r\n"_s).toStdString();
        smallChunked = chunked(small, 7) + "0\r\n\r\n";
        for (int i = 0; i < 512; ++i)
            steady += "# filler\r\n" + std::string(20, char('a' + i % 26)) + "\r\n";
        steady += Sjis(u"701,ゆっくり,届く,,\r\n"_s).toStdString();
    }

    // The steady list in pieces of 512 bytes, one every 25 ms; `sending`
    // holds while it goes.
    void sendSteadily(ThreadServer::Connection& c, bool announced) {
        sending = true;
        if (c.send(ThreadServer::Head("200 OK", announced ? (long long)steady.size() : -1))) {
            for (size_t at = 0; at < steady.size() && c.send(steady.substr(at, 512)); at += 512)
                c.stall(25);
        }
        sending = false;
    }

    // The server's answers, by path.
    void answer(ThreadServer::Connection& c, const std::string& path) {
        if (path == "/huge") {
            huge.send(c);
        } else if (path == "/huge-stalls") {
            huge.send(c, 16);
        } else if (path == "/huge-cut") {
            huge.send(c, -1, 16);
        } else if (path == "/drip") {
            // A byte every 40 ms, never silent for long, for at most 10 s.
            c.send(ThreadServer::Head("200 OK", 4096));
            for (int i = 0; i < 250 && c.send("x"); ++i)
                c.stall(40);
        } else if (path == "/steady" || path == "/steady-unannounced") {
            sendSteadily(c, path == "/steady");
        } else if (path == "/small") {
            c.send(ThreadServer::Head("200 OK", (long long)small.size()) + small);
        } else if (path == "/chunked") {
            c.send(ThreadServer::Head("200 OK", -1, "Transfer-Encoding: chunked\r\n") +
                   smallChunked);
        } else if (path.rfind("/chunked-cut-", 0) == 0) {
            // The connection closes inside a chunk's data, between two
            // chunks, or after the last data chunk but before the last chunk.
            const std::string head =
                ThreadServer::Head("200 OK", -1, "Transfer-Encoding: chunked\r\n");
            const size_t dataChunk = chunked(small.substr(0, 7), 7).size();
            const size_t at = path == "/chunked-cut-inside"    ? dataChunk + 12
                              : path == "/chunked-cut-between" ? 2 * dataChunk
                                                               : smallChunked.size() - 5;
            c.send(head + smallChunked.substr(0, at));
        } else if (path == "/loop") {
            c.send(ThreadServer::Head("302 Found", 0, "Location: /loop\r\n"));
        } else if (path == "/ping") {
            c.send(ThreadServer::Head("301 Moved Permanently", 0, "Location: /pong\r\n"));
        } else if (path == "/pong") {
            c.send(ThreadServer::Head("307 Temporary Redirect", 0, "Location: /ping\r\n"));
        } else {
            c.send(ThreadServer::Head("404 Not Found", 15) + "404 Not Found\r\n");
        }
    }

    // Imports url; expects one warning holding `description` and no file
    // or song changed.
    void expectFailure(const QString& url, const QString& description) {
        SCOPED_TRACE(url.toStdString());
        const auto files = Snapshot(f.folder());
        const auto songs = f.songs();
        f.warnings.clear();
        f.import(url);
        ASSERT_EQ(f.warnings.size(), 1) << f.warnings.join(u'|').toStdString();
        EXPECT_TRUE(f.warnings[0].contains(description)) << f.warnings[0].toStdString();
        EXPECT_EQ(test::ChangedFiles(files, Snapshot(f.folder())), QStringList());
        EXPECT_EQ(f.songs(), songs);
        EXPECT_TRUE(f.controlsEnabled());
    }

    test::ScopedEnv noProxy = test::WithoutProxy();
    ImportFixture f;
    frmMeloDeck* w = nullptr;
    HugeList huge;
    std::string small, smallChunked, steady;
    std::atomic<bool> sending{false};
    ThreadServer server{
        [this](ThreadServer::Connection& c, const std::string& path) { answer(c, path); }};
};

} // namespace

TEST_F(HostileServers, HugeListIsStreamedToDiskAndImported) {
    test::ResetPeakMemory();
    const long baseline = test::CurrentMemoryKb();
    QElapsedTimer t;
    t.start();
    f.import(server.url("/huge"));
    const qint64 ms = t.elapsed();
    const long grownKb = test::PeakMemoryKb() - baseline;
    EXPECT_TRUE(f.warnings.isEmpty()) << f.warnings.join(u'|').toStdString();
    EXPECT_EQ(QFile(f.downloadPath()).size(), huge.size());
    EXPECT_EQ(test::Digest(f.downloadPath()), huge.digest());
    EXPECT_EQ(f.songs(), (std::vector<QStringList>{
                             test::ImportedRow({"501", "歌手A", "曲A", "歌い出しA", "<NULL>"}),
                             test::ImportedRow({"502", "歌手B", "曲B", "歌い出しB", "○"}),
                             test::ImportedRow({"503", "C", "D", "E", "<NULL>"})}));
    EXPECT_EQ(w->flgList->Rows(), 4);
    // Neither the download nor the import holds the list in memory.
    if (!test::kAddressSanitizer) {
        EXPECT_LT(grownKb, 64 * 1024) << "peak memory grew by " << grownKb << " kB";
    }
    std::printf("100 MB list: downloaded and imported in %lld ms, peak memory +%ld kB\n",
                static_cast<long long>(ms), grownKb);

    // Failures afterwards keep that download whole: no mix with a second one.
    const QByteArray kept = huge.digest();
    expectFailure(server.url("/huge-cut"), u"受信の途中で接続を切りました"_s);
    EXPECT_EQ(test::Digest(f.downloadPath()), kept);
    expectFailure(server.url("/huge-stalls"), u"秒以内に応答がありませんでした"_s);
    EXPECT_EQ(test::Digest(f.downloadPath()), kept);

    // A short list replaces it entirely.
    f.import(server.url("/small"));
    EXPECT_EQ(QFile(f.downloadPath()).size(), qint64(small.size()));
    EXPECT_EQ(f.songs().size(), 1u);
}

TEST_F(HostileServers, DownloadMustKeepMoving) {
    // At least 1,024 bytes in every 600 ms.
    w->downloadLimits.timeoutMs = 600;
    f.import(server.url("/small"));
    ASSERT_TRUE(f.warnings.isEmpty()) << f.warnings.join(u'|').toStdString();

    // A server that drips (25 bytes a period) is cut off after one period,
    // the earlier download kept whole.
    QElapsedTimer t;
    t.start();
    expectFailure(server.url("/drip"),
                  u"ホスト '127.0.0.1' から 0.6 秒以内に応答がありませんでした。"_s);
    EXPECT_GE(t.elapsed(), 550);
    EXPECT_LT(t.elapsed(), 5000);

    // One that is slow but keeps moving (about 12 KB a period) is waited
    // for. Meanwhile the window is painted at most once a frame, the
    // controls stay locked and the progress window shows the bytes
    // received, against the length when the server announces one.
    for (const bool announced : {true, false}) {
        SCOPED_TRACE(announced ? "announced" : "unannounced");
        struct Seen {
            qint64 at;
            int min, max, value;
            bool shown, locked;
        };
        std::vector<Seen> seen;
        f.onPump = [&] {
            if (!sending)
                return;
            const auto* wait = w->findChild<frmWait*>();
            seen.push_back({t.elapsed(), wait ? wait->prgWait->minimum() : -1,
                            wait ? wait->prgWait->maximum() : -1,
                            wait ? wait->prgWait->value() : -1, wait && wait->isVisible(),
                            !f.controlsEnabled()});
        };
        f.warnings.clear();
        t.restart();
        f.import(server.url(announced ? "/steady" : "/steady-unannounced"));
        f.onPump = nullptr;
        EXPECT_TRUE(f.warnings.isEmpty()) << f.warnings.join(u'|').toStdString();
        EXPECT_EQ(
            test::Digest(f.downloadPath()),
            QCryptographicHash::hash(QByteArray::fromStdString(steady), QCryptographicHash::Sha256)
                .toHex());
        EXPECT_EQ(f.songs(), (std::vector<QStringList>{test::ImportedRow(
                                 {"701", "ゆっくり", "届く", "<NULL>", "<NULL>"})}));
        ASSERT_GE(seen.size(), 10u);
        std::set<int> values;
        for (size_t i = 0; i < seen.size(); ++i) {
            const Seen& s = seen[i];
            EXPECT_TRUE(s.shown && s.locked) << i;
            if (i > 0) {
                EXPECT_GE(s.at - seen[i - 1].at, 15) << i;
            }
            if (announced) {
                if (values.empty() && s.max == 0)
                    continue; // a busy bar until the answer's head has come
                EXPECT_EQ(s.max, int(steady.size())) << i;
                EXPECT_LE(s.value, s.max) << i;
                if (!values.empty()) {
                    EXPECT_GE(s.value, *values.rbegin()) << i;
                }
                values.insert(s.value);
            } else {
                EXPECT_EQ(s.min, 0) << i; // a busy bar
                EXPECT_EQ(s.max, 0) << i;
            }
        }
        if (announced) {
            EXPECT_GE(values.size(), 5u);
        }
    }
}

TEST_F(HostileServers, EndlessRedirectsStopAtTheLimit) {
    expectFailure(server.url("/loop"), u"転送先の指定（リダイレクト）が 10 回を超えました。"_s);
    expectFailure(server.url("/ping"), u"転送先の指定（リダイレクト）が 10 回を超えました。"_s);
    EXPECT_EQ(QFile(f.downloadPath()).exists(), false);
    EXPECT_GE(server.requests(), 15);
}

// A chunked answer is whole only with its last, empty chunk: wherever the
// connection closes before that, nothing of it is imported.
TEST_F(HostileServers, ChunkedAnswerCutAnywhereIsNeverImported) {
    ASSERT_EQ(smallChunked.substr(smallChunked.size() - 5), "0\r\n\r\n");
    for (const char* cut : {"/chunked-cut-inside", "/chunked-cut-between", "/chunked-cut-last"})
        expectFailure(server.url(cut), u"受信の途中で接続を切りました"_s);
}

TEST_F(HostileServers, ChunkedAnswerIsJoined) {
    f.import(server.url("/chunked"));
    EXPECT_TRUE(f.warnings.isEmpty()) << f.warnings.join(u'|').toStdString();
    QFile file(f.downloadPath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().toStdString(), small);
    EXPECT_EQ(f.songs(), (std::vector<QStringList>{
                             test::ImportedRow({"601", "小さい", "リスト", "<NULL>", "<NULL>"})}));
}
