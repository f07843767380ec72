#include "support/hostile_http_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>
#include <string>
#include <vector>

namespace tarvesk {

namespace {

using Clock = std::chrono::steady_clock;

struct Client {
    int fd = -1;
    std::string head;  // request bytes until the blank line that ends them
    bool answering = false;
    std::string out;
    std::size_t sent = 0;
    bool closeWhenSent = false;
    bool looping = false;  // out holds the endless filler
    Clock::time_point nextByte;
};

bool Endless(HostileHttpServer::Mode mode) {
    return mode == HostileHttpServer::Mode::HeadersForever ||
           mode == HostileHttpServer::Mode::BodyForever;
}

std::string Refill(HostileHttpServer::Mode mode) {
    if (mode == HostileHttpServer::Mode::HeadersForever) {
        std::string lines;
        for (int i = 0; i < 64; ++i) lines += "X-Filler: " + std::string(1000, 'h') + "\r\n";
        return lines;
    }
    return std::string(64 * 1024, 'b');
}

void Answer(HostileHttpServer::Mode mode, Client& client) {
    using Mode = HostileHttpServer::Mode;
    client.answering = true;
    switch (mode) {
    case Mode::Garbage:
        client.out = "\x16\x03\x01 this is no HTTP at all\r\n\r\n";
        client.closeWhenSent = true;
        break;
    case Mode::HeadersForever:
        client.out = "HTTP/1.1 200 OK\r\n";
        break;
    case Mode::BodyForever:
        client.out = "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n\r\n";
        break;
    case Mode::Trickle:
        client.out = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok";
        client.nextByte = Clock::now();
        break;
    case Mode::TruncatedBody:
        client.out = "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\nConnection: close\r\n\r\n" +
                     std::string(1000, 'x');
        client.closeWhenSent = true;
        break;
    case Mode::Silent:
    case Mode::CloseAtOnce:
    case Mode::NoAccept:
        break;
    }
}

void Drop(Client& client) {
    if (client.fd >= 0) close(client.fd);
    client.fd = -1;
}

}  // namespace

HostileHttpServer::HostileHttpServer(Mode mode, std::chrono::milliseconds trickleInterval)
    : m_mode(mode), m_trickleInterval(trickleInterval) {
    m_listenFd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_listenFd < 0) throw std::runtime_error("HostileHttpServer: socket failed");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    // A backlog of 0 holds one pending connection; the next SYN is dropped,
    // which is how a peer that does not answer in time looks on loopback.
    const int backlog = mode == Mode::NoAccept ? 0 : 16;
    if (bind(m_listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(m_listenFd, backlog) != 0 ||
        getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        close(m_listenFd);
        throw std::runtime_error("HostileHttpServer: cannot listen on loopback");
    }
    m_port = ntohs(address.sin_port);

    int wake[2];
    if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        close(m_listenFd);
        throw std::runtime_error("HostileHttpServer: pipe failed");
    }
    m_wakeRead = wake[0];
    m_wakeWrite = wake[1];
    m_thread = std::thread([this] { run(); });
}

HostileHttpServer::~HostileHttpServer() {
    const char stop = 's';
    while (write(m_wakeWrite, &stop, 1) < 0 && errno == EINTR) {
    }
    m_thread.join();
    close(m_wakeRead);
    close(m_wakeWrite);
    close(m_listenFd);
}

QString HostileHttpServer::url(const QString& path) const {
    return QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path);
}

void HostileHttpServer::run() {
    std::vector<Client> clients;
    std::vector<pollfd> fds;
    for (;;) {
        fds.clear();
        fds.push_back({m_wakeRead, POLLIN, 0});
        fds.push_back({m_listenFd, static_cast<short>(m_mode == Mode::NoAccept ? 0 : POLLIN), 0});
        int timeoutMs = -1;
        const auto now = Clock::now();
        for (const Client& client : clients) {
            short events = POLLIN;
            const bool pending = client.sent < client.out.size() || Endless(m_mode);
            if (client.answering && pending) {
                if (m_mode == Mode::Trickle && client.nextByte > now) {
                    const auto wait =
                        std::chrono::ceil<std::chrono::milliseconds>(client.nextByte - now).count();
                    timeoutMs = timeoutMs < 0 ? static_cast<int>(wait)
                                              : std::min(timeoutMs, static_cast<int>(wait));
                } else {
                    events |= POLLOUT;
                }
            }
            fds.push_back({client.fd, events, 0});
        }

        if (poll(fds.data(), fds.size(), timeoutMs) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[0].revents != 0) break;

        for (std::size_t i = 0; i < clients.size(); ++i) {
            Client& client = clients[i];
            const short revents = fds[i + 2].revents;
            if (revents & (POLLIN | POLLHUP | POLLERR)) {
                char buffer[4096];
                const ssize_t n = recv(client.fd, buffer, sizeof buffer, 0);
                if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
                    Drop(client);
                    continue;
                }
                if (n > 0 && !client.answering) {
                    client.head.append(buffer, static_cast<std::size_t>(n));
                    if (client.head.find("\r\n\r\n") != std::string::npos) Answer(m_mode, client);
                }
            }
            if (!(revents & POLLOUT)) continue;
            if (client.sent == client.out.size() && Endless(m_mode)) {
                // Reuse one filler buffer: allocating per round would make the
                // server's own memory churn show up in the client's RSS checks.
                if (!client.looping) client.out = Refill(m_mode);
                client.looping = true;
                client.sent = 0;
            }
            const std::size_t chunk =
                m_mode == Mode::Trickle ? 1 : client.out.size() - client.sent;
            const ssize_t n = send(client.fd, client.out.data() + client.sent, chunk, MSG_NOSIGNAL);
            if (n > 0) {
                client.sent += static_cast<std::size_t>(n);
                m_bytesSent += static_cast<std::uint64_t>(n);
                client.nextByte = Clock::now() + m_trickleInterval;
            } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                Drop(client);
                continue;
            }
            if (client.closeWhenSent && client.sent == client.out.size()) Drop(client);
        }
        clients.erase(std::remove_if(clients.begin(), clients.end(),
                                     [](const Client& c) { return c.fd < 0; }),
                      clients.end());

        if (fds[1].revents & POLLIN) {
            for (;;) {
                const int fd = accept4(m_listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
                if (fd < 0) break;
                ++m_connections;
                if (m_mode == Mode::CloseAtOnce) {
                    close(fd);
                    continue;
                }
                Client client;
                client.fd = fd;
                clients.push_back(std::move(client));
            }
        }
    }
    for (Client& client : clients) Drop(client);
}

}  // namespace tarvesk
