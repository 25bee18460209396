#include "import/HttpDownload.h"

#include "common/SafeFile.h"
#include "import/SongListImport.h"

#include <QByteArray>
#include <QFileInfo>
#include <QUrl>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <curl/curl.h>
#include <deque>
#include <memory>

namespace melodeck::songlist {

namespace {

constexpr int MaxRedirects = 10;
using Clock = std::chrono::steady_clock;
// How often the caller may process its window messages: once a frame.
constexpr auto Frame = std::chrono::milliseconds(16);

// The body of the final answer on its way to the temporary file.
struct Transfer {
    CURL* easy = nullptr;
    files::FileReplacer* out = nullptr;
    std::int64_t maxBytes = 0;
    std::int64_t written = 0;
    bool opened = false;
    bool writeFailed = false;
    bool tooLarge = false;
    bool errorPage = false;
    ErrorPageScan scan;

    // Bytes for the file, which is made at the first of them: an answer
    // refused before its body leaves nothing behind, not even an empty file.
    bool store(QByteArrayView bytes) {
        if (!opened) {
            opened = true;
            if (!out->open())
                writeFailed = true;
        }
        if (!writeFailed && !out->write(bytes))
            writeFailed = true;
        return !writeFailed;
    }
};

// Returning less than it was given ends the transfer (a write error).
size_t onBody(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const size_t n = size * count;
    // An error answer's page is no list: none of it is written.
    long status = 0;
    curl_easy_getinfo(t->easy, CURLINFO_RESPONSE_CODE, &status);
    if (status >= 400)
        return 0;
    // Counted before the write, so the file never grows beyond the limit.
    if (t->written + std::int64_t(n) > t->maxBytes) {
        t->tooLarge = true;
        return 0;
    }
    if (t->scan.feed(std::string_view(data, n))) {
        t->errorPage = true;
        return 0;
    }
    if (!t->store(QByteArrayView(data, qsizetype(n))))
        return 0;
    t->written += std::int64_t(n);
    return n;
}

// Whether a transfer still makes progress: at least `least` bytes in every
// period of `period`. Counts are sampled a few hundred times per period, so
// a period is judged at most one sample's time too long, never too short.
class ProgressWatch {
public:
    ProgressWatch(std::chrono::milliseconds period, std::int64_t least)
        : period_(period), least_(least),
          spacing_(std::max<Clock::duration>(period / 256, std::chrono::milliseconds(1))) {
        samples_.push_back({Clock::now(), 0});
    }

    // Takes the running count of received bytes; false once a whole period
    // has passed with fewer than `least` of them.
    bool update(Clock::time_point now, std::int64_t received) {
        if (now - samples_.back().at >= spacing_)
            samples_.push_back({now, received});
        // The latest sample a period or more ago stays in front.
        while (samples_.size() > 1 && now - samples_[1].at >= period_)
            samples_.pop_front();
        const Sample& first = samples_.front();
        return now - first.at < period_ || received - first.received >= least_;
    }

private:
    struct Sample {
        Clock::time_point at;
        std::int64_t received;
    };
    std::chrono::milliseconds period_;
    std::int64_t least_;
    Clock::duration spacing_;
    std::deque<Sample> samples_;
};

// A count of curl's that starts again at 0 with every redirect, summed over
// the whole transfer.
class RunningTotal {
public:
    std::int64_t add(curl_off_t now) {
        if (now < last_)
            last_ = 0;
        total_ += now - last_;
        last_ = now;
        return total_;
    }

private:
    curl_off_t last_ = 0;
    std::int64_t total_ = 0;
};

QString failureText(CURLcode code, long osErrno, const char* detail, const QUrl& url,
                    int timeoutMs) {
    const QString host = url.host();
    const QString reason = QString::fromUtf8(*detail ? detail : curl_easy_strerror(code));
    switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
        return QStringLiteral("ホスト '%1' が見つかりません。").arg(host);
    case CURLE_COULDNT_CONNECT:
        if (osErrno == ECONNREFUSED)
            return QStringLiteral("ホスト '%1' に接続できません（接続を拒否されました）。")
                .arg(host);
        return QStringLiteral("ホスト '%1' に接続できません（%2）。").arg(host, reason);
    case CURLE_OPERATION_TIMEDOUT:
        return QStringLiteral("ホスト '%1' から %2 秒以内に応答がありませんでした。")
            .arg(host)
            .arg(double(timeoutMs) / 1000.0);
    // A body shorter than announced, a chunked body without its last chunk,
    // a connection closed before or while the answer came.
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
        return QStringLiteral("ホスト '%1' が受信の途中で接続を切りました。").arg(host);
    // Only a redirect can lead there: the address itself is http or https.
    case CURLE_UNSUPPORTED_PROTOCOL:
        return QStringLiteral("転送先の指定（リダイレクト）には従いません"
                              "（https から http へ、また http と https 以外へは転送しません）。");
    case CURLE_TOO_MANY_REDIRECTS:
        return QStringLiteral("転送先の指定（リダイレクト）が %1 回を超えました。")
            .arg(MaxRedirects);
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CONNECT_ERROR:
        return QStringLiteral("ホスト '%1' の証明書を確かめられません（%2）。").arg(host, reason);
    default:
        return QStringLiteral("ダウンロードできませんでした（%1）。").arg(reason);
    }
}

// The curl handles of one download. Each is cleaned up, and the easy one
// leaves the multi one first, however the download ends.
struct EasyCleanup {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct MultiCleanup {
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
using EasyHandle = std::unique_ptr<CURL, EasyCleanup>;
using MultiHandle = std::unique_ptr<CURLM, MultiCleanup>;

class Attachment {
public:
    Attachment(CURLM* multi, CURL* easy) : multi_(multi), easy_(easy) {
        curl_multi_add_handle(multi_, easy_);
    }
    ~Attachment() { curl_multi_remove_handle(multi_, easy_); }
    Attachment(const Attachment&) = delete;
    Attachment& operator=(const Attachment&) = delete;

private:
    CURLM* multi_;
    CURL* easy_;
};

// What the download asks of curl: the address, the protocols and redirects
// allowed, the certificate checks, the connection time-out, and where the
// body and the description of a failure go.
void configure(CURL* easy, const QByteArray& encodedUrl, bool secure, const DownloadLimits& limits,
               char* detail, Transfer* transfer) {
    curl_easy_setopt(easy, CURLOPT_URL, encodedUrl.constData());
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, detail);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_USERAGENT, "MeloDeck/1.14");
    // Every coding curl can undo: lists compress well, and the limit counts
    // the bytes written, as they are once decoded.
    curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
    // An announced length above the limit ends the transfer before its body.
    curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(limits.maxBytes));
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, long(MaxRedirects));
    // http may lead to https, never the other way round.
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, secure ? "https" : "http,https");
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    // Certificates are always checked, against the system's trust store
    // (or the one that SSL_CERT_FILE names, as for every OpenSSL program).
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
    const QByteArray caFile = qgetenv("SSL_CERT_FILE");
    if (!caFile.isEmpty())
        curl_easy_setopt(easy, CURLOPT_CAINFO, caFile.constData()); // curl keeps a copy
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, long(limits.timeoutMs));
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, transfer);
}

// How a transfer ended.
struct Ending {
    CURLcode code = CURLE_FAILED_INIT;
    // When it stopped making progress after some of the answer had come:
    // the body bytes received by then; -1 otherwise.
    std::int64_t stalledAt = -1;
};

// Runs the transfer on this thread through curl's multi interface, which
// never blocks for long; between its steps the caller processes its window
// messages, as the import does between rows. A transfer that stops making
// progress ends with a time-out of its own.
Ending run(CURLM* multi, CURL* easy, const DownloadProgress& progress,
           const DownloadLimits& limits) {
    ProgressWatch watch{std::chrono::milliseconds(limits.timeoutMs), limits.minBytes};
    RunningTotal headerBytes, bodyBytes;
    Clock::time_point lastReport = Clock::now();
    for (int running = 1;;) {
        if (curl_multi_perform(multi, &running) != CURLM_OK || !running)
            break;
        curl_off_t body = 0, length = -1;
        long headers = 0;
        curl_easy_getinfo(easy, CURLINFO_SIZE_DOWNLOAD_T, &body);
        curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
        curl_easy_getinfo(easy, CURLINFO_HEADER_SIZE, &headers);
        const Clock::time_point now = Clock::now();
        const std::int64_t received = headerBytes.add(headers) + bodyBytes.add(body);
        if (!watch.update(now, received))
            return {CURLE_OPERATION_TIMEDOUT, received > 0 ? std::int64_t(body) : -1};
        if (progress && now - lastReport >= Frame) {
            progress(std::int64_t(body), std::int64_t(length));
            lastReport = Clock::now();
        }
        curl_multi_poll(multi, nullptr, 0, int(Frame.count()), nullptr);
    }
    // Stays "failed to start" unless the transfer reports how it ended, so
    // that nothing short of a finished transfer is ever committed.
    Ending ending;
    int left = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi, &left)) {
        if (msg->msg == CURLMSG_DONE)
            ending.code = msg->data.result;
    }
    return ending;
}

// The warning for a temporary file that could not be written or put in place.
QString writeFailure(const QString& file, const files::FileReplacer& out) {
    if (out.noRoom()) {
        return QStringLiteral("ディスクがいっぱいです。フォルダー '%1' にリストを保存できません。")
            .arg(QFileInfo(file).absolutePath());
    }
    return files::CannotWrite(file, out.errorString());
}

} // namespace

// libcurl rather than Qt's network layer: Qt 6.4 takes a chunked answer whose
// connection closes before the last chunk as complete now and then, and it
// gives no way to see the chunks; libcurl reports every such cut.
QString DownloadToFile(const QString& urlText, const QString& file,
                       const DownloadProgress& progress, const DownloadLimits& limits) {
    const QUrl url(urlText);
    if (!url.isValid() || url.host().isEmpty())
        return QStringLiteral("URL '%1' が正しくありません。").arg(urlText);

    static const CURLcode initialised = curl_global_init(CURL_GLOBAL_DEFAULT);
    const MultiHandle multi(initialised == CURLE_OK ? curl_multi_init() : nullptr);
    const EasyHandle easy(multi ? curl_easy_init() : nullptr);
    if (!easy) {
        return QStringLiteral("ダウンロードできませんでした（%1）。")
            .arg(QString::fromUtf8(curl_easy_strerror(CURLE_FAILED_INIT)));
    }

    // Written beside the target and renamed over it only when complete, so the
    // file never holds a mix of two downloads, the tail of a longer one, or
    // anything but a whole list.
    files::FileReplacer out(file);
    Transfer transfer;
    transfer.easy = easy.get();
    transfer.out = &out;
    transfer.maxBytes = limits.maxBytes;
    char detail[CURL_ERROR_SIZE] = {};
    const QByteArray encoded = url.toEncoded();
    configure(easy.get(), encoded, url.scheme() == u"https", limits, detail, &transfer);
    long status = 0;
    long osErrno = 0;
    Ending ending;
    {
        const Attachment attached(multi.get(), easy.get());
        ending = run(multi.get(), easy.get(), progress, limits);
        curl_easy_getinfo(easy.get(), CURLINFO_RESPONSE_CODE, &status);
        curl_easy_getinfo(easy.get(), CURLINFO_OS_ERRNO, &osErrno);
    }

    if (status >= 400)
        return kBadUrl.toString() + QStringLiteral("\nHTTP %1").arg(status);
    if (transfer.writeFailed)
        return writeFailure(file, out);
    if (transfer.tooLarge || ending.code == CURLE_FILESIZE_EXCEEDED) {
        return QStringLiteral("リストが大きすぎます（%1 バイトを超えています）。")
            .arg(limits.maxBytes);
    }
    if (transfer.errorPage)
        return kBadUrl.toString();
    if (ending.stalledAt >= 0) {
        return QStringLiteral("ホスト '%1' からの転送が途中で止まりました"
                              "（%2 バイトを受信した後、%3 秒間ほとんど届きませんでした）。")
            .arg(url.host())
            .arg(ending.stalledAt)
            .arg(double(limits.timeoutMs) / 1000.0);
    }
    if (ending.code != CURLE_OK)
        return failureText(ending.code, osErrno, detail, url, limits.timeoutMs);
    // An answer without a body gives an empty list.
    if (!transfer.store({}) || !out.commit())
        return writeFailure(file, out);
    return {};
}

} // namespace melodeck::songlist
