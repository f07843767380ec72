#pragma once

#include <QString>

namespace tarvesk {

// Outcome of one GET. `transferOk` is false when the transfer itself failed
// (resolve, connect, TLS, time-out, too many redirects, broken reply); the
// status is then meaningless, whatever the server may have sent before.
struct HttpResult {
    bool transferOk = false;
    long status = 0;
    QString error;
};

// One synchronous GET of a page. Implementations must be safe to call from a
// worker thread: the window runs the request off its own thread.
class HttpClient {
public:
    virtual ~HttpClient() = default;
    virtual HttpResult get(const QString& url) = 0;
};

}  // namespace tarvesk
