#pragma once

#include <httplib.h>

#include <QString>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace tarvesk {

// A well-behaved HTTP server on 127.0.0.1 and a free port, for tests:
//   /            answers the status set by setStatus (200 at first); at 0
//                it holds the answer until the status changes
//   /ok          200          /nocontent   204
//   /notmodified 304          /error       500
//   /redirect    302 to /ok   /loop        302 to itself
//   /slow        200 after the delay set by setSlowDelay (1 s at first)
// Every request is counted and the last one is kept. Given a certificate and
// its key, it speaks https (see TestCertificates).
class HttpTestServer {
public:
    struct Request {
        std::string method;
        std::string path;
        // As the client sent them, without the REMOTE_/LOCAL_ entries the
        // server library adds for itself.
        std::vector<std::pair<std::string, std::string>> headers;
    };

    HttpTestServer();
    HttpTestServer(const QString& certificate, const QString& key);
    ~HttpTestServer();
    HttpTestServer(const HttpTestServer&) = delete;
    HttpTestServer& operator=(const HttpTestServer&) = delete;

    int port() const { return m_port; }
    // "http://127.0.0.1:PORT" (https when it speaks it) followed by `path`.
    QString url(const QString& path) const;

    void setStatus(int status);
    void setSlowDelay(std::chrono::milliseconds delay) { m_slowDelayMs = delay.count(); }

    int requestCount() const { return m_requestCount; }
    Request lastRequest() const;

private:
    void serve();

    std::unique_ptr<httplib::Server> m_owned;
    httplib::Server& m_server;
    std::thread m_thread;
    int m_port = 0;
    std::atomic<int> m_rootStatus{200};
    std::atomic<long long> m_slowDelayMs{1000};
    std::atomic<int> m_requestCount{0};

    mutable std::mutex m_mutex;
    std::condition_variable m_stopping;
    bool m_stopped = false;
    Request m_last;
};

}  // namespace tarvesk
