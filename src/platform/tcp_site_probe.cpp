#include "platform/tcp_site_probe.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QUrl>
#include <cerrno>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace tarvesk {

namespace {

using Clock = std::chrono::steady_clock;

struct AddrInfoDeleter {
    void operator()(addrinfo* list) const {
        if (list) freeaddrinfo(list);
    }
};
using AddrList = std::unique_ptr<addrinfo, AddrInfoDeleter>;

// State shared between the prober and a lookup thread that may outlive it.
struct Lookup {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    bool abandoned = false;
    int rc = EAI_FAIL;
    addrinfo* list = nullptr;
};

addrinfo StreamHints(int extraFlags) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    // No AI_ADDRCONFIG: on a host with only loopback configured it would hide
    // the loopback addresses of "localhost".
    hints.ai_flags = AI_NUMERICSERV | extraFlags;
    return hints;
}

// getaddrinfo has no time-out of its own and may wait on DNS far longer than
// the probe may take, so a name is looked up on a thread we stop waiting for
// at the deadline; a late answer is freed by that thread.
AddrList Resolve(const std::string& host, const std::string& port, Clock::time_point deadline) {
    addrinfo* list = nullptr;
    const addrinfo numeric = StreamHints(AI_NUMERICHOST);
    if (getaddrinfo(host.c_str(), port.c_str(), &numeric, &list) == 0) return AddrList(list);

    auto lookup = std::make_shared<Lookup>();
    try {
        std::thread([lookup, host, port] {
            const addrinfo hints = StreamHints(0);
            addrinfo* found = nullptr;
            const int rc = getaddrinfo(host.c_str(), port.c_str(), &hints, &found);
            std::lock_guard<std::mutex> lock(lookup->mutex);
            if (lookup->abandoned) {
                if (rc == 0) freeaddrinfo(found);
                return;
            }
            lookup->rc = rc;
            lookup->list = rc == 0 ? found : nullptr;
            lookup->done = true;
            lookup->finished.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        return AddrList();
    }

    std::unique_lock<std::mutex> lock(lookup->mutex);
    if (!lookup->finished.wait_until(lock, deadline, [&] { return lookup->done; })) {
        lookup->abandoned = true;
        return AddrList();
    }
    return AddrList(lookup->list);
}

// libcurl answers "localhost" and any name under ".localhost" with the
// loopback addresses itself (RFC 6761 6.3), never asking the resolver; the
// probe must reach the same server as the page check, also on a machine whose
// /etc/hosts lacks the entry.
bool IsLoopbackName(const QString& host) {
    const QString name = host.endsWith(QLatin1Char('.')) ? host.chopped(1) : host;
    return name.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0 ||
           name.endsWith(QLatin1String(".localhost"), Qt::CaseInsensitive);
}

std::vector<AddrList> LoopbackAddresses(const std::string& port) {
    std::vector<AddrList> lists;
    const addrinfo numeric = StreamHints(AI_NUMERICHOST);
    for (const char* address : {"127.0.0.1", "::1"}) {
        addrinfo* list = nullptr;
        if (getaddrinfo(address, port.c_str(), &numeric, &list) == 0) lists.emplace_back(list);
    }
    return lists;
}

enum class Attempt { Accepted, Refused, Failed, Skipped };

int RemainingMs(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

Attempt TryConnect(const addrinfo& address, Clock::time_point deadline) {
    // CLOEXEC: a program started meanwhile must not inherit the socket.
    const int fd = socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                          address.ai_protocol);
    if (fd < 0) return errno == EAFNOSUPPORT ? Attempt::Skipped : Attempt::Failed;

    Attempt outcome = Attempt::Failed;
    if (connect(fd, address.ai_addr, address.ai_addrlen) == 0) {
        outcome = Attempt::Accepted;
    } else if (errno == ECONNREFUSED) {
        outcome = Attempt::Refused;
    } else if (errno == EADDRNOTAVAIL || errno == ENETUNREACH || errno == EAFNOSUPPORT) {
        // An address this host cannot use at all (::1 with IPv6 switched
        // off) says nothing about the server.
        outcome = Attempt::Skipped;
    } else if (errno == EINPROGRESS) {
        pollfd waiting{fd, POLLOUT, 0};
        int ready = 0;
        do {
            ready = poll(&waiting, 1, RemainingMs(deadline));
        } while (ready < 0 && errno == EINTR);
        if (ready > 0) {
            int error = 0;
            socklen_t length = sizeof error;
            if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0) {
                if (error == 0) outcome = Attempt::Accepted;
                else if (error == ECONNREFUSED) outcome = Attempt::Refused;
            }
        }
    }
    close(fd);
    return outcome;
}

}  // namespace

TcpSiteProbe::TcpSiteProbe(std::chrono::milliseconds timeout) : m_timeout(timeout) {}

int TcpSiteProbe::state(const QString& pageUrl) {
    const Clock::time_point deadline = Clock::now() + m_timeout;

    const QUrl url(pageUrl);
    if (!url.isValid()) return SiteUnknown;
    const QString host = url.host(QUrl::FullyEncoded);  // IDN as punycode
    if (host.isEmpty()) return SiteUnknown;
    int port = url.port();
    if (port < 0) {
        if (url.scheme() == QLatin1String("http")) port = 80;
        else if (url.scheme() == QLatin1String("https")) port = 443;
    }
    if (port <= 0 || port > 65535) return SiteUnknown;

    std::vector<AddrList> addresses;
    if (IsLoopbackName(host)) {
        addresses = LoopbackAddresses(std::to_string(port));
    } else if (AddrList found = Resolve(host.toStdString(), std::to_string(port), deadline)) {
        addresses.push_back(std::move(found));
    }
    if (addresses.empty()) return SiteUnknown;

    // Started when any address takes the connection ("localhost" may give
    // ::1 with nothing behind it before 127.0.0.1); stopped only when every
    // address that could be tried refused it outright.
    bool refused = false;
    bool failed = false;
    for (const AddrList& list : addresses) {
        for (const addrinfo* a = list.get(); a; a = a->ai_next) {
            if (Clock::now() >= deadline) return SiteUnknown;
            switch (TryConnect(*a, deadline)) {
            case Attempt::Accepted:
                return SiteStarted;
            case Attempt::Refused:
                refused = true;
                break;
            case Attempt::Failed:
                failed = true;
                break;
            case Attempt::Skipped:
                break;
            }
        }
    }
    return refused && !failed ? SiteStopped : SiteUnknown;
}

}  // namespace tarvesk
