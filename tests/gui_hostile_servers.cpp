// Broken servers behind a URL source, all on the loopback interface and
// bounded in time: answers that stall, drip or stop half-way, error answers,
// a 100 MB list, bodies that never end (compressed or not), endless
// redirects and chunked answers. A failure warns with its cause and leaves
// both the song table and the downloaded list as they were; that file only
// ever holds one whole download, and nothing more than the size limit is
// ever written.
#include "support/hostile_support.h"
#include "support/import_fixture.h"

#include "import/gui/frmWait.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <gtest/gtest.h>
#include <zlib.h>

#include <atomic>
#include <cstdio>
#include <optional>
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

// A gzip stream that never ends: its first part, then a part to send again
// and again. Each part is 1 MiB of filler lines compressed to about 1 KB and
// flushed whole, so that it stands on its own after any of the others.
struct EndlessGzip {
    std::string first, again;
    EndlessGzip() {
        std::string lines;
        while (lines.size() < (1u << 20))
            lines += "# filler\r\n";
        z_stream z{};
        deflateInit2(&z, 9, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY); // 16: gzip
        const auto part = [&] {
            std::string out(deflateBound(&z, uLong(lines.size())), '\0');
            z.next_in = reinterpret_cast<Bytef*>(lines.data());
            z.avail_in = uInt(lines.size());
            z.next_out = reinterpret_cast<Bytef*>(out.data());
            z.avail_out = uInt(out.size());
            deflate(&z, Z_FULL_FLUSH);
            out.resize(out.size() - z.avail_out);
            return out;
        };
        first = part();
        again = part();
        deflateEnd(&z);
    }
};

class HostileServers : public ::testing::Test {
protected:
    static constexpr long long kLimit = 1 << 20; // the size limit some tests set
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
        const std::string filler(16 * 1024, 'f');
        if (path == "/endless-gzip") {
            if (c.send(ThreadServer::Head("200 OK", -1, "Content-Encoding: gzip\r\n") + gzip.first))
                while (c.send(gzip.again)) {
                }
        } else if (path == "/endless" || path == "/announced-too-large") {
            const long long announced = path == "/endless" ? -1 : kLimit + 1;
            if (c.send(ThreadServer::Head("200 OK", announced)))
                while (c.send(filler)) {
                }
        } else if (path == "/small-stalls") {
            c.send(ThreadServer::Head("200 OK", (long long)small.size() + 100) + small);
            c.stall(60000);
        } else if (path == "/404-line") {
            // After the songs, behind a CR alone, in chunks that cut it apart.
            c.send(ThreadServer::Head("200 OK", -1, "Transfer-Encoding: chunked\r\n") +
                   chunked(small + "\r404 Not Found", 7) + "0\r\n\r\n");
        } else if (path == "/500") {
            c.send(ThreadServer::Head("500 Internal Server Error", 14) + "1,server,down\n");
        } else if (path == "/huge") {
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

    // Imports url; expects no file or song changed (no temporary file left
    // either) and one warning, which it returns.
    QString importFails(const QString& url) {
        SCOPED_TRACE(url.toStdString());
        const auto files = Snapshot(f.folder());
        const auto songs = f.songs();
        f.warnings.clear();
        f.import(url);
        EXPECT_EQ(test::ChangedFiles(files, Snapshot(f.folder())), QStringList());
        EXPECT_EQ(f.songs(), songs);
        EXPECT_TRUE(f.controlsEnabled());
        EXPECT_EQ(f.warnings.size(), 1) << f.warnings.join(u'|').toStdString();
        return f.warnings.value(0);
    }

    // The warning of a transfer that stopped after `bytes` of the list.
    static QString stalled(long long bytes, const char* seconds) {
        return u"ホスト '127.0.0.1' からの転送が途中で止まりました（%1 バイトを受信した後、%2 "
               u"秒間ほとんど届きませんでした）。"_s.arg(bytes)
                   .arg(QLatin1String(seconds));
    }

    test::ScopedEnv noProxy = test::WithoutProxy();
    ImportFixture f;
    frmMeloDeck* w = nullptr;
    HugeList huge;
    EndlessGzip gzip;
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
    EXPECT_EQ(importFails(server.url("/huge-cut")),
              u"ホスト '127.0.0.1' が受信の途中で接続を切りました。"_s);
    EXPECT_EQ(test::Digest(f.downloadPath()), kept);
    EXPECT_EQ(importFails(server.url("/huge-stalls")),
              stalled((long long)huge.head.size() + 16 * (long long)huge.block.size(), "1.5"));
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
    // (How many bytes came varies from run to run.)
    EXPECT_EQ(importFails(server.url("/drip")).replace(QRegularExpression(u"（\\d+ "_s), u"（0 "_s),
              stalled(0, "0.6"));
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
    for (const char* path : {"/loop", "/ping"})
        EXPECT_EQ(importFails(server.url(path)),
                  u"転送先の指定（リダイレクト）が 10 回を超えました。"_s);
    EXPECT_EQ(QFile(f.downloadPath()).exists(), false);
    EXPECT_GE(server.requests(), 15);
}

// A chunked answer is whole only with its last, empty chunk: wherever the
// connection closes before that, nothing of it is imported.
TEST_F(HostileServers, ChunkedAnswerCutAnywhereIsNeverImported) {
    ASSERT_EQ(smallChunked.substr(smallChunked.size() - 5), "0\r\n\r\n");
    for (const char* cut : {"/chunked-cut-inside", "/chunked-cut-between", "/chunked-cut-last"})
        EXPECT_EQ(importFails(server.url(cut)),
                  u"ホスト '127.0.0.1' が受信の途中で接続を切りました。"_s);
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

// Only a whole good answer replaces the downloaded list: every other ending
// leaves it byte for byte as it was, or absent, and says why.
TEST_F(HostileServers, EveryFailureKeepsTheLastGoodDownload) {
    w->downloadLimits.timeoutMs = 500;
    const test::RefusingPort closed;
    const struct {
        const char* what;
        QString url, warning;
        long long diskRoom = -1; // bytes a file may grow to; -1 for no limit
    } failures[] = {
        {"404", server.url("/missing.csv"), u"URLが不正です\nHTTP 404"_s},
        {"500", server.url("/500"), u"URLが不正です\nHTTP 500"_s},
        {"a \"404 \" line", server.url("/404-line"), u"URLが不正です"_s},
        {"a cut chunk", server.url("/chunked-cut-inside"),
         u"ホスト '127.0.0.1' が受信の途中で接続を切りました。"_s},
        {"a stall", server.url("/small-stalls"), stalled((long long)small.size(), "0.5")},
        {"a full disk", server.url("/small"),
         u"ディスクがいっぱいです。フォルダー '%1' にリストを保存できません。"_s.arg(f.folder()),
         10},
        {"a refused connection", u"http://127.0.0.1:%1/list.csv"_s.arg(closed.port()),
         u"ホスト '127.0.0.1' に接続できません（接続を拒否されました）。"_s},
    };
    for (const bool downloaded : {false, true}) {
        SCOPED_TRACE(downloaded ? "after a download" : "before any download");
        if (downloaded) {
            f.warnings.clear();
            f.import(server.url("/small"));
            ASSERT_TRUE(f.warnings.isEmpty()) << f.warnings.join(u'|').toStdString();
        }
        ASSERT_EQ(test::Digest(f.downloadPath()),
                  downloaded ? QCryptographicHash::hash(QByteArray::fromStdString(small),
                                                        QCryptographicHash::Sha256)
                                   .toHex()
                             : QByteArray("<missing>"));
        for (const auto& c : failures) {
            SCOPED_TRACE(c.what);
            std::optional<test::FileSizeLimit> disk;
            if (c.diskRoom >= 0)
                disk.emplace(c.diskRoom);
            EXPECT_EQ(importFails(c.url), c.warning);
        }
    }
}

// Bodies beyond the size limit, counted as written (a compressed one
// unpacked): the transfer ends before the file outgrows the limit. The file
// size limit of the process proves it: a write past the limit and one
// buffer of the transfer would fail as on a full disk.
TEST_F(HostileServers, NoBodyOutgrowsTheSizeLimit) {
    f.import(server.url("/small"));
    ASSERT_TRUE(f.warnings.isEmpty()) << f.warnings.join(u'|').toStdString();
    w->downloadLimits.maxBytes = kLimit;
    const QString tooLarge = u"リストが大きすぎます（1048576 バイトを超えています）。"_s;
    const struct {
        const char* path;
        long long diskRoom;
    } bodies[] = {
        {"/endless-gzip", kLimit + 16 * 1024},
        {"/endless", kLimit + 16 * 1024},
        {"/announced-too-large", 0}, // nothing written at all
    };
    for (const auto& b : bodies) {
        SCOPED_TRACE(b.path);
        const test::FileSizeLimit disk(b.diskRoom);
        QElapsedTimer t;
        t.start();
        EXPECT_EQ(importFails(server.url(b.path)), tooLarge);
        EXPECT_LT(t.elapsed(), 10000);
    }
    // A list of the limit's size is taken.
    w->downloadLimits.maxBytes = qint64(small.size());
    f.warnings.clear();
    f.import(server.url("/chunked"));
    EXPECT_TRUE(f.warnings.isEmpty()) << f.warnings.join(u'|').toStdString();
}
