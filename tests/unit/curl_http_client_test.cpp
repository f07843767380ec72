#include "platform/curl_http_client.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <ostream>
#include <string>

#include "support/process_stats.h"
#include "support/hostile_http_server.h"
#include "support/http_test_server.h"
#include "support/test_certificates.h"

using namespace std::chrono_literals;

namespace tarvesk {

// Readable parameter names in test output.
std::string ModeName(HostileHttpServer::Mode mode) {
    switch (mode) {
    case HostileHttpServer::Mode::Silent: return "Silent";
    case HostileHttpServer::Mode::CloseAtOnce: return "CloseAtOnce";
    case HostileHttpServer::Mode::Garbage: return "Garbage";
    case HostileHttpServer::Mode::HeadersForever: return "HeadersForever";
    case HostileHttpServer::Mode::BodyForever: return "BodyForever";
    case HostileHttpServer::Mode::Trickle: return "Trickle";
    case HostileHttpServer::Mode::TruncatedBody: return "TruncatedBody";
    case HostileHttpServer::Mode::NoAccept: return "NoAccept";
    }
    return "Unknown";
}

void PrintTo(HostileHttpServer::Mode mode, std::ostream* out) { *out << ModeName(mode); }

namespace {

// Far above any bound used here: only proves that a call does not hang.
constexpr auto kNoHang = 30s;

CurlHttpClient::Limits QuickLimits(std::chrono::milliseconds total) {
    CurlHttpClient::Limits limits;
    limits.connectTimeout = 5s;
    limits.totalTimeout = total;
    return limits;
}

class CurlHttpClientTest : public ::testing::Test {
protected:
    HttpTestServer m_server;
    CurlHttpClient m_client{QuickLimits(20s)};
};

TEST_F(CurlHttpClientTest, OkPageGives200) {
    const HttpResult result = m_client.get(m_server.url("/ok"));
    EXPECT_TRUE(result.transferOk) << result.error.toStdString();
    EXPECT_EQ(result.status, 200);
    EXPECT_TRUE(result.error.isEmpty());
}

// Success is the caller's "status == 200": every other status must come back
// unchanged, with the transfer itself reported fine.
TEST_F(CurlHttpClientTest, OtherStatusesComeBackUnchanged) {
    const struct {
        const char* path;
        long status;
    } cases[] = {{"/nocontent", 204}, {"/notmodified", 304}, {"/error", 500}};
    for (const auto& c : cases) {
        const HttpResult result = m_client.get(m_server.url(c.path));
        EXPECT_TRUE(result.transferOk) << c.path << ": " << result.error.toStdString();
        EXPECT_EQ(result.status, c.status) << c.path;
    }
    m_server.setStatus(503);
    EXPECT_EQ(m_client.get(m_server.url("/")).status, 503);
    m_server.setStatus(200);
    EXPECT_EQ(m_client.get(m_server.url("/")).status, 200);
}

TEST_F(CurlHttpClientTest, RedirectIsFollowedToItsTarget) {
    const HttpResult result = m_client.get(m_server.url("/redirect"));
    EXPECT_TRUE(result.transferOk) << result.error.toStdString();
    EXPECT_EQ(result.status, 200);
    EXPECT_EQ(m_server.requestCount(), 2);
    EXPECT_EQ(m_server.lastRequest().path, "/ok");
}

TEST_F(CurlHttpClientTest, RedirectLoopFailsAfterTenHops) {
    const HttpResult result = m_client.get(m_server.url("/loop"));
    EXPECT_FALSE(result.transferOk);
    EXPECT_FALSE(result.error.isEmpty());
    EXPECT_EQ(m_server.requestCount(), 11);  // the first request and ten redirects
}

// The certificate's end is read from the check's own connection, for the
// server the check ended on; a plain page has none, and a certificate that
// does not verify fails the check as before.
TEST(CurlHttpClient, CertificateExpiryComesFromTheCheckItself) {
    TestCertificates certificates(3);
    ASSERT_TRUE(certificates.isValid());
    HttpTestServer secure(certificates.certificate(), certificates.key());
    const QDateTime expected = QDateTime::currentDateTimeUtc().addDays(3);
    const HttpResult result = CurlHttpClient(QuickLimits(20s), certificates.caFile()).get(secure.url("/redirect"));
    ASSERT_TRUE(result.transferOk) << result.error.toStdString();
    EXPECT_EQ(result.status, 200);
    EXPECT_EQ(result.certificateHost, "127.0.0.1");
    EXPECT_LE(std::abs(result.certificateExpiry.secsTo(expected)), 120) << result.certificateExpiry.toString().toStdString();
    EXPECT_EQ(secure.requestCount(), 2);  // the redirect and its target, on one handshake each at most

    HttpTestServer plain;
    EXPECT_FALSE(CurlHttpClient(QuickLimits(20s)).get(plain.url("/ok")).certificateExpiry.isValid());
    const HttpResult untrusted = CurlHttpClient(QuickLimits(20s)).get(secure.url("/ok"));
    EXPECT_FALSE(untrusted.transferOk);
    EXPECT_FALSE(untrusted.certificateExpiry.isValid());
}

TEST_F(CurlHttpClientTest, SendsPlainGetWithoutBodyOrExtraHeaders) {
    ASSERT_TRUE(m_client.get(m_server.url("/ok")).transferOk);
    const HttpTestServer::Request seen = m_server.lastRequest();
    EXPECT_EQ(seen.method, "GET");
    const QSet<QString> allowed{QStringLiteral("host"), QStringLiteral("accept")};
    for (const auto& header : seen.headers) {
        EXPECT_TRUE(allowed.contains(QString::fromStdString(header.first).toLower()))
            << "unexpected header " << header.first << ": " << header.second;
    }
}

TEST_F(CurlHttpClientTest, SlowAnswerWithinTheBoundIsAwaited) {
    m_server.setSlowDelay(300ms);
    const HttpResult result = m_client.get(m_server.url("/slow"));
    EXPECT_TRUE(result.transferOk) << result.error.toStdString();
    EXPECT_EQ(result.status, 200);
}

TEST(CurlHttpClient, UnusableAddressesFailWithoutStatus) {
    CurlHttpClient client(QuickLimits(5s));
    int closedPort = 0;
    {
        HostileHttpServer gone(HostileHttpServer::Mode::Silent);
        closedPort = gone.port();
    }
    const QString addresses[] = {
        QStringLiteral("http://127.0.0.1:%1/").arg(closedPort),  // refused
        QStringLiteral("http://"),
        QStringLiteral("httpx"),
        QStringLiteral("ftp://127.0.0.1:%1/").arg(closedPort),  // not a web protocol
    };
    for (const QString& address : addresses) {
        const HttpResult result = client.get(address);
        EXPECT_FALSE(result.transferOk) << address.toStdString();
        EXPECT_FALSE(result.error.isEmpty()) << address.toStdString();
    }
    // A refusal says so, without milliseconds that would make two alike read differently.
    const QString refused = client.get(addresses[0]).error;
    EXPECT_TRUE(refused.endsWith(": Connection refused") && !refused.contains(" ms")) << refused.toStdString();
}

// Each broken peer must end in a failed transfer within the whole-request
// bound, whatever status line may have arrived first.
class CurlHttpClientHostileTest : public ::testing::TestWithParam<HostileHttpServer::Mode> {};

TEST_P(CurlHttpClientHostileTest, FailsWithoutHanging) {
    HostileHttpServer server(GetParam());
    CurlHttpClient client(QuickLimits(2s));
    const auto start = std::chrono::steady_clock::now();
    const HttpResult result = client.get(server.url());
    EXPECT_LT(std::chrono::steady_clock::now() - start, kNoHang);
    EXPECT_FALSE(result.transferOk) << "status " << result.status;
    EXPECT_FALSE(result.error.isEmpty());
    EXPECT_GE(server.connectionCount(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, CurlHttpClientHostileTest,
    ::testing::Values(HostileHttpServer::Mode::Silent, HostileHttpServer::Mode::CloseAtOnce,
                      HostileHttpServer::Mode::Garbage, HostileHttpServer::Mode::HeadersForever,
                      HostileHttpServer::Mode::BodyForever, HostileHttpServer::Mode::Trickle,
                      HostileHttpServer::Mode::TruncatedBody),
    [](const ::testing::TestParamInfo<HostileHttpServer::Mode>& info) {
        return ModeName(info.param);
    });

TEST(CurlHttpClient, SilentAndTricklingPeersEndAtTheWholeRequestBound) {
    // A trickle keeps bytes coming, so only the whole-request bound (and no
    // speed limit) ends it; both must say they timed out.
    for (auto mode : {HostileHttpServer::Mode::Silent, HostileHttpServer::Mode::Trickle}) {
        HostileHttpServer server(mode, 200ms);
        const HttpResult result = CurlHttpClient(QuickLimits(1500ms)).get(server.url());
        EXPECT_FALSE(result.transferOk);
        // The bound, not curl's milliseconds and byte counts: a page that
        // keeps timing out reads the same each time.
        EXPECT_TRUE(result.error.endsWith(QStringLiteral("timed out after 1.5 s"))) << result.error.toStdString();
    }
}

TEST(CurlHttpClient, EndlessHeadersStopAtTheHeaderCap) {
    HostileHttpServer server(HostileHttpServer::Mode::HeadersForever);
    CurlHttpClient::Limits limits = QuickLimits(20s);
    limits.maxHeaderBytes = 64 * 1024;
    const HttpResult result = CurlHttpClient(limits).get(server.url());
    EXPECT_FALSE(result.transferOk);
    EXPECT_TRUE(result.error.contains(QStringLiteral("header"), Qt::CaseInsensitive))
        << result.error.toStdString();
}

TEST(CurlHttpClient, EndlessBodyIsDiscardedWithBoundedMemory) {
    HostileHttpServer server(HostileHttpServer::Mode::BodyForever);
    const long long before = ResidentKiB();
    const HttpResult result = CurlHttpClient(QuickLimits(2s)).get(server.url());
    const long long after = ResidentKiB();
    EXPECT_FALSE(result.transferOk);
    if (before < 0 || after < 0) GTEST_SKIP() << "no VmRSS in /proc/self/status";
    // Loopback moves far more than this in two seconds; keeping the body
    // would show up as hundreds of MiB.
    EXPECT_LT(after - before, 8 * 1024) << "received " << server.bytesSent() << " bytes";
}

}  // namespace
}  // namespace tarvesk
