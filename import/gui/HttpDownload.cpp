#include "import/gui/HttpDownload.h"

#include "common/SafeFile.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

namespace melodeck::songlist {

namespace {

constexpr int MaxRedirects = 10;

// True when the server answered with a status of its own, so that the body
// is a page worth keeping (a 404 page is recognised later by its lines).
bool serverAnswered(const QNetworkReply& reply) {
    const auto e = reply.error();
    if (e == QNetworkReply::NoError)
        return true;
    const bool hasStatus = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
    return hasStatus && e >= QNetworkReply::ContentAccessDenied &&
           e != QNetworkReply::ProtocolFailure;
}

QString failureText(const QNetworkReply& reply, const QUrl& url) {
    const QString host = url.host();
    switch (reply.error()) {
    case QNetworkReply::HostNotFoundError:
        return QStringLiteral("ホスト '%1' が見つかりません。").arg(host);
    case QNetworkReply::ConnectionRefusedError:
        return QStringLiteral("ホスト '%1' に接続できません（接続を拒否されました）。").arg(host);
    case QNetworkReply::RemoteHostClosedError:
        return QStringLiteral("ホスト '%1' が受信の途中で接続を切りました。").arg(host);
    case QNetworkReply::TooManyRedirectsError:
        return QStringLiteral("転送先の指定（リダイレクト）が %1 回を超えました。")
            .arg(MaxRedirects);
    default:
        return QStringLiteral("ダウンロードできませんでした（%1）。").arg(reply.errorString());
    }
}

} // namespace

QString DownloadToFile(const QString& urlText, const QString& file, int timeoutMs) {
    const QUrl url(urlText);
    if (!url.isValid() || url.host().isEmpty())
        return QStringLiteral("URL '%1' が正しくありません。").arg(urlText);

    // Written beside the target and renamed over it only when complete, so the
    // file never holds a mix of two downloads or the tail of a longer one.
    files::FileReplacer out(file);
    if (!out.open()) {
        return QStringLiteral("ファイル '%1' に書き込めません（%2）。")
            .arg(file, out.errorString());
    }

    static const bool systemProxy = [] {
        QNetworkProxyFactory::setUseSystemConfiguration(true);
        return true;
    }();
    (void)systemProxy;

    QNetworkAccessManager manager;
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(MaxRedirects);
    QNetworkReply* reply = manager.get(request);
    // Let the network wait for the disk instead of holding the list in memory.
    reply->setReadBufferSize(256 * 1024);

    QEventLoop loop;
    QTimer silence;
    silence.setSingleShot(true);
    silence.setInterval(timeoutMs);
    bool timedOut = false;
    QString writeError;

    auto drain = [&] {
        const QByteArray chunk = reply->readAll();
        if (!chunk.isEmpty() && writeError.isEmpty() && !out.write(chunk)) {
            writeError = out.errorString();
            reply->abort();
        }
    };
    QObject::connect(reply, &QNetworkReply::readyRead, &loop, [&] {
        silence.start();
        drain();
    });
    QObject::connect(reply, &QNetworkReply::downloadProgress, &silence, [&] { silence.start(); });
    QObject::connect(reply, &QNetworkReply::redirected, &silence, [&] { silence.start(); });
    QObject::connect(&silence, &QTimer::timeout, reply, [&] {
        timedOut = true;
        reply->abort();
    });
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    silence.start();
    // Input waits until the transfer is over, as for any synchronous call;
    // painting goes on.
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    silence.stop();

    QString error;
    if (!writeError.isEmpty()) {
        error = QStringLiteral("ファイル '%1' に書き込めません（%2）。").arg(file, writeError);
    } else if (timedOut) {
        error = QStringLiteral("ホスト '%1' から %2 秒以内に応答がありませんでした。")
                    .arg(url.host())
                    .arg(double(timeoutMs) / 1000.0);
    } else if (!serverAnswered(*reply)) {
        error = failureText(*reply, url);
    } else {
        drain();
        if (!writeError.isEmpty() || !out.commit()) {
            error = QStringLiteral("ファイル '%1' に書き込めません（%2）。")
                        .arg(file, writeError.isEmpty() ? out.errorString() : writeError);
        }
    }
    delete reply;
    return error;
}

} // namespace melodeck::songlist
