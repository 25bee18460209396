#pragma once
// One HTTP GET written to a file, synchronous for the caller.

#include <QString>

namespace melodeck::songlist {

// Fetches `url` and writes the body to `file`, whatever HTTP status the server
// answered with (an error page is written like a list). The file is replaced
// only when the whole body has arrived; after a failure it keeps what it held.
// Redirects are followed; the proxy comes from the system settings; no
// credentials are sent. `timeoutMs` is how long the server may stay silent.
// Returns "" on success, otherwise a description of the failure.
QString DownloadToFile(const QString& url, const QString& file, int timeoutMs);

} // namespace melodeck::songlist
