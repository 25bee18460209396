#pragma once
// One HTTP or HTTPS GET written to a file, synchronous for the caller.

#include <QString>

namespace melodeck::songlist {

// Fetches `url` (http:// or https://) and writes the body to `file`, whatever
// HTTP status the server answered with (an error page is written like a
// list). The file is replaced only when the whole body has arrived, a
// chunked one with its last chunk; after a failure it keeps what it held.
// Redirects are followed, from http to https but never back; certificates
// are always verified against the system's trust store; the proxy comes from
// the environment; no credentials are sent. `timeoutMs` is how long the
// server may stay silent. Returns "" on success, with the final answer's
// status in *httpStatus, otherwise a description of the failure.
QString DownloadToFile(const QString& url, const QString& file, int timeoutMs,
                       int* httpStatus = nullptr);

} // namespace melodeck::songlist
