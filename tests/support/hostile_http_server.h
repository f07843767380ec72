#pragma once

#include <QString>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

namespace tarvesk {

// A loopback peer that breaks HTTP on purpose, one way per instance. It waits
// for the request head (except CloseAtOnce and NoAccept) and then misbehaves.
class HostileHttpServer {
public:
    enum class Mode {
        Silent,          // accepts, reads the request, never answers
        CloseAtOnce,     // closes each connection as soon as it is accepted
        Garbage,         // answers bytes that are no HTTP, then closes
        HeadersForever,  // a status line, then header lines without end
        BodyForever,     // a 200 head, then body bytes without end
        Trickle,         // a complete 200, one byte per trickle interval
        TruncatedBody,   // a 200 promising more body than it sends, then closes
        NoAccept,        // listens with the smallest backlog and never accepts
    };

    explicit HostileHttpServer(Mode mode,
                               std::chrono::milliseconds trickleInterval = std::chrono::seconds(1));
    ~HostileHttpServer();
    HostileHttpServer(const HostileHttpServer&) = delete;
    HostileHttpServer& operator=(const HostileHttpServer&) = delete;

    int port() const { return m_port; }
    QString url(const QString& path = QStringLiteral("/")) const;

    int connectionCount() const { return m_connections; }
    std::uint64_t bytesSent() const { return m_bytesSent; }

private:
    void run();

    Mode m_mode;
    std::chrono::milliseconds m_trickleInterval;
    int m_listenFd = -1;
    int m_wakeRead = -1;
    int m_wakeWrite = -1;
    int m_port = 0;
    std::atomic<int> m_connections{0};
    std::atomic<std::uint64_t> m_bytesSent{0};
    std::thread m_thread;
};

}  // namespace tarvesk
