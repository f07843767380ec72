#include "platform/curl_http_client.h"

#include <curl/curl.h>

#include <QByteArray>
#include <QLocale>
#include <QTimeZone>
#include <QUrl>
#include <QtGlobal>
#include <memory>

#include "platform/curl_global.h"

namespace tarvesk {

namespace {

struct HeaderBudget {
    std::size_t limit = 0;
    std::size_t used = 0;
    bool exceeded = false;
};

size_t DiscardBody(char*, size_t size, size_t nmemb, void*) {
    return size * nmemb;
}

size_t CountHeader(char*, size_t size, size_t nmemb, void* userdata) {
    auto* budget = static_cast<HeaderBudget*>(userdata);
    const size_t bytes = size * nmemb;
    budget->used += bytes;
    if (budget->used > budget->limit) {
        budget->exceeded = true;
        return 0;  // any short count makes curl abort the transfer
    }
    return bytes;
}

struct EasyDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};

// Operator-typed addresses may hold blanks or non-ASCII text that a browser
// would percent-encode (RFC 3986 section 2.1) and an IDN host that it would
// turn into punycode; curl takes only the encoded form.
QByteArray EncodedUrl(const QString& url) {
    const QUrl parsed(url);
    return parsed.isValid() ? parsed.toEncoded() : url.toUtf8();
}

// "60 s", "1.5 s": a bound as the operator would write it.
QString Seconds(std::chrono::milliseconds span) {
    const long long ms = span.count();
    return ms % 1000 == 0 ? QStringLiteral("%1 s").arg(ms / 1000)
                          : QStringLiteral("%1 s").arg(static_cast<double>(ms) / 1000.0, 0, 'f', 1);
}

// The bound that ended a timed-out transfer. Only the whole-request bound
// can end one at or after its own length; anything earlier was a connection
// that did not come up in time.
std::chrono::milliseconds BoundHit(const CurlHttpClient::Limits& limits, std::chrono::milliseconds elapsed) {
    using namespace std::chrono_literals;
    return elapsed + 500ms >= limits.totalTimeout ? limits.totalTimeout
                                                  : std::min(limits.connectTimeout, limits.totalTimeout);
}

// libcurl's words for a failed transfer. Where they carry the milliseconds
// spent (time-outs, failed connections) those are cut off, so that the same
// failure reads the same every time, however loaded the machine: a time-out
// names the bound it hit, a failed connection the system's reason
// ("Connection refused").
QString FailureWords(CURL* h, CURLcode code, const char* errorBuffer, std::chrono::milliseconds bound) {
    QString words = QString::fromUtf8(errorBuffer[0] != '\0' ? errorBuffer : curl_easy_strerror(code)).trimmed();
    if (code != CURLE_OPERATION_TIMEDOUT && code != CURLE_COULDNT_CONNECT) return words;
    const int timing = words.indexOf(QLatin1String(" after "));
    if (timing > 0) words.truncate(timing);
    if (code == CURLE_OPERATION_TIMEDOUT) return words + QStringLiteral(" after ") + Seconds(bound);
    long osError = 0;
    curl_easy_getinfo(h, CURLINFO_OS_ERRNO, &osError);
    return words + QStringLiteral(": ") +
           (osError != 0 ? qt_error_string(static_cast<int>(osError)) : QString::fromUtf8(curl_easy_strerror(code)));
}

// "Expire date:Dec  9 12:00:00 2026 GMT", as the TLS library prints a
// certificate's notAfter, from the server's own certificate (the first of
// the chain) of the connection the transfer ended on.
QDateTime CertificateExpiry(CURL* h) {
    struct curl_certinfo* chain = nullptr;
    if (curl_easy_getinfo(h, CURLINFO_CERTINFO, &chain) != CURLE_OK || !chain || chain->num_of_certs < 1) return {};
    static const QByteArray kKey = QByteArrayLiteral("Expire date:");
    for (const curl_slist* field = chain->certinfo[0]; field; field = field->next) {
        const QByteArray entry(field->data);
        if (!entry.startsWith(kKey)) continue;
        const QString text = QString::fromLatin1(entry.mid(kKey.size())).simplified();
        QDateTime when = QLocale::c().toDateTime(text, QStringLiteral("MMM d HH:mm:ss yyyy 'GMT'"));
        if (!when.isValid()) when = QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd HH:mm:ss 'GMT'"));
        when.setTimeZone(QTimeZone::utc());
        return when;
    }
    return {};
}

}  // namespace

CurlHttpClient::CurlHttpClient() : CurlHttpClient(Limits{}) {}

CurlHttpClient::CurlHttpClient(const Limits& limits, const QString& caFile)
    : m_limits(limits), m_caFile(caFile.toUtf8()) {}

HttpResult CurlHttpClient::get(const QString& url) {
    EnsureCurlInitialised();
    HttpResult result;
    std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
    if (!easy) {
        result.error = QStringLiteral("The HTTP library could not be initialised.");
        return result;
    }
    CURL* h = easy.get();

    const QByteArray target = EncodedUrl(url);
    char errorBuffer[CURL_ERROR_SIZE] = {};
    HeaderBudget budget;
    budget.limit = m_limits.maxHeaderBytes;

    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(h, CURLOPT_URL, target.constData());
    curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
    // Only the web protocols, also after a redirect: a Location pointing at
    // file:// or ftp:// must not be fetched.
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, m_limits.maxRedirects);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(m_limits.connectTimeout.count()));
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(m_limits.totalTimeout.count()));
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!m_caFile.isEmpty()) curl_easy_setopt(h, CURLOPT_CAINFO, m_caFile.constData());
    // An empty proxy overrides the *_proxy environment variables; the
    // program takes nothing from its environment.
    curl_easy_setopt(h, CURLOPT_PROXY, "");
    curl_easy_setopt(h, CURLOPT_NOPROXY, "*");
    // Runs on a worker thread: time-outs must not use SIGALRM.
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, DiscardBody);
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, CountHeader);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, &budget);
    // The certificate's dates come from the handshake the check makes
    // anyway (a plain connection has none to collect): no second connection
    // to learn when it expires.
    curl_easy_setopt(h, CURLOPT_CERTINFO, 1L);

    const auto started = std::chrono::steady_clock::now();
    const CURLcode code = curl_easy_perform(h);
    result.elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
    // A transfer error outranks whatever status arrived before it: a 200
    // whose body is cut off is no good page.
    if (code != CURLE_OK) {
        if (budget.exceeded) {
            result.error = QStringLiteral("The response headers exceed %1 bytes.")
                               .arg(static_cast<qulonglong>(budget.limit));
        } else {
            result.error = FailureWords(h, code, errorBuffer, BoundHit(m_limits, result.elapsed));
        }
        return result;
    }

    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    result.transferOk = true;
    result.status = status;
    // After redirects, the server the check ended on; only if that one
    // spoke TLS are the certificate's dates its own.
    const char* effective = nullptr;
    curl_easy_getinfo(h, CURLINFO_EFFECTIVE_URL, &effective);
    const QUrl ended(QString::fromUtf8(effective ? effective : ""));
    if (ended.scheme() == QLatin1String("https")) {
        result.certificateExpiry = CertificateExpiry(h);
        if (result.certificateExpiry.isValid()) result.certificateHost = ended.host();
    }
    return result;
}

}  // namespace tarvesk
