#include "platform/tcp_site_probe.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include "support/hostile_http_server.h"
#include "support/http_test_server.h"

using namespace std::chrono_literals;

namespace tarvesk {
namespace {

constexpr auto kNoHang = 30s;

int ClosedPort() {
    HostileHttpServer gone(HostileHttpServer::Mode::Silent);
    return gone.port();
}

TEST(TcpSiteProbe, ListeningPortIsStarted) {
    HttpTestServer server;
    TcpSiteProbe probe;
    EXPECT_EQ(probe.state(server.url("/ok")), SiteStarted);
    // Host spelled as a name and as a path-less address, scheme in capitals.
    EXPECT_EQ(probe.state(QStringLiteral("HTTP://localhost:%1").arg(server.port())), SiteStarted);
    // Loopback names the way libcurl takes them, whatever /etc/hosts says
    // (CTest also runs this file with an empty /etc/hosts).
    EXPECT_EQ(probe.state(QStringLiteral("http://LocalHost.:%1/").arg(server.port())), SiteStarted);
    EXPECT_EQ(probe.state(QStringLiteral("http://app.localhost:%1/").arg(server.port())), SiteStarted);
    EXPECT_EQ(probe.state(QStringLiteral("http://localhost.example:%1/").arg(server.port())), SiteUnknown);
    // The probe only connects; it must not make a request of its own.
    EXPECT_EQ(server.requestCount(), 0);
}

TEST(TcpSiteProbe, ClosedPortIsStopped) {
    const int port = ClosedPort();
    TcpSiteProbe probe;
    EXPECT_EQ(probe.state(QStringLiteral("http://127.0.0.1:%1/page.html").arg(port)), SiteStopped);
    // Every address of "localhost" refuses, whichever families it has.
    EXPECT_EQ(probe.state(QStringLiteral("http://localhost:%1/").arg(port)), SiteStopped);
}

TEST(TcpSiteProbe, UnreadableAddressesAreUnknown) {
    TcpSiteProbe probe;
    const QString addresses[] = {
        QString(),
        QStringLiteral("http://"),
        QStringLiteral("not an address"),
        QStringLiteral("http://127.0.0.1:99999/"),           // port out of range
        QStringLiteral("gopher://127.0.0.1/"),               // no default port
        QStringLiteral("http://nonexistent.invalid/"),       // RFC 6761: never resolves
    };
    for (const QString& address : addresses) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(probe.state(address), SiteUnknown) << address.toStdString();
        EXPECT_LT(std::chrono::steady_clock::now() - start, kNoHang);
    }
}

TEST(TcpSiteProbe, DefaultPortComesFromTheScheme) {
    // Nothing listens on 80 or 443 of the loopback in the test environment;
    // the point is that the scheme alone gives a port to try. Skip if
    // something does.
    TcpSiteProbe probe;
    const int http = probe.state(QStringLiteral("http://127.0.0.1/"));
    const int https = probe.state(QStringLiteral("https://127.0.0.1/"));
    if (http == SiteStarted || https == SiteStarted) GTEST_SKIP() << "a local server uses 80/443";
    EXPECT_EQ(http, SiteStopped);
    EXPECT_EQ(https, SiteStopped);
}

TEST(TcpSiteProbe, PeerThatNeverCompletesTheHandshakeIsUnknown) {
    // The server's backlog takes one connection and it never accepts, so the
    // second attempt's SYN is dropped and the probe must give up on its own.
    HostileHttpServer server(HostileHttpServer::Mode::NoAccept);
    TcpSiteProbe probe(300ms);
    const QString address = server.url();
    ASSERT_EQ(probe.state(address), SiteStarted);
    const auto start = std::chrono::steady_clock::now();
    const int state = probe.state(address);
    EXPECT_LT(std::chrono::steady_clock::now() - start, kNoHang);
    if (state == SiteStarted) GTEST_SKIP() << "this kernel accepted beyond the backlog";
    EXPECT_EQ(state, SiteUnknown);
}

// "localhost" whose 127.0.0.1 refuses while its ::1 listens but lets the
// handshake time out: one address that cannot be read leaves the state
// unknown, never stopped.
TEST(TcpSiteProbe, LocalhostIsUnknownWhenOneAddressFailsOtherThanByRefusal) {
    const int fd = socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(fd, 0);
    const int on = 1;
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_addr = in6addr_loopback;
    socklen_t length = sizeof address;
    // A backlog of 0 holds one pending connection and drops the next SYN.
    if (setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on) != 0 ||
        bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, 0) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        close(fd);
        GTEST_SKIP() << "no IPv6 loopback to listen on";
    }
    const int port = ntohs(address.sin6_port);
    TcpSiteProbe probe(300ms);
    const QString v6 = QStringLiteral("http://[::1]:%1/").arg(port);
    const bool set = probe.state(QStringLiteral("http://127.0.0.1:%1/").arg(port)) == SiteStopped &&
                     probe.state(v6) == SiteStarted && probe.state(v6) == SiteUnknown;
    const int state = probe.state(QStringLiteral("http://localhost:%1/").arg(port));
    close(fd);
    if (!set) GTEST_SKIP() << "127.0.0.1 takes the port, or the kernel accepted beyond the backlog";
    EXPECT_EQ(state, SiteUnknown);
}

TEST(TcpSiteProbe, WorksFromAWorkerThread) {
    HttpTestServer server;
    int state = -1;
    std::thread worker([&] { state = TcpSiteProbe().state(server.url("/")); });
    worker.join();
    EXPECT_EQ(state, SiteStarted);
}

}  // namespace
}  // namespace tarvesk
