#pragma once

#include <QByteArray>
#include <QString>
#include <chrono>
#include <cstddef>

#include "platform/http_client.h"

namespace tarvesk {

// The page check's HTTP GET, done with libcurl. Each call uses a fresh easy
// handle, so no connection, cookie or DNS cache survives from one check to
// the next, and calls from several threads do not interfere.
class CurlHttpClient : public HttpClient {
public:
    struct Limits {
        std::chrono::milliseconds connectTimeout{30000};
        // Bounds the whole call: resolve, connect, redirects and body. A
        // trickling server ends here; there is deliberately no speed limit.
        std::chrono::milliseconds totalTimeout{60000};
        long maxRedirects = 10;
        // All header bytes of all responses of one call (redirects included);
        // stops a server that sends header lines forever from growing memory.
        std::size_t maxHeaderBytes = 256 * 1024;
    };

    CurlHttpClient();
    // `caFile`: the certificate authorities trusted in place of the
    // system's store, when set.
    explicit CurlHttpClient(const Limits& limits, const QString& caFile = QString());

    HttpResult get(const QString& url) override;

private:
    Limits m_limits;
    QByteArray m_caFile;
};

}  // namespace tarvesk
