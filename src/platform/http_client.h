#pragma once

#include <QDateTime>
#include <QString>
#include <chrono>

namespace tarvesk {

// Outcome of one GET. `transferOk` is false when the transfer itself failed
// (resolve, connect, TLS, time-out, too many redirects, broken reply); the
// status is then meaningless, whatever the server may have sent before, and
// `error` says why in words that stay the same from one failure of the same
// kind to the next (no byte counts or milliseconds), so that a page failing
// the same way every time reads the same every time.
struct HttpResult {
    bool transferOk = false;
    long status = 0;
    QString error;
    // From the start of the request to its end, whatever the end was.
    std::chrono::milliseconds elapsed{0};
    // For a page that ended on https: when the certificate of the server it
    // ended on stops being valid, as read from the connection itself, and
    // that server's host. Invalid and empty otherwise.
    QDateTime certificateExpiry;
    QString certificateHost;
};

// One synchronous GET of a page. Implementations must be safe to call from a
// worker thread: the window runs the request off its own thread.
class HttpClient {
public:
    virtual ~HttpClient() = default;
    virtual HttpResult get(const QString& url) = 0;
};

}  // namespace tarvesk
