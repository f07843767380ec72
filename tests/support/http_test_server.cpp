#include "support/http_test_server.h"

#include <stdexcept>

namespace tarvesk {

namespace {

bool AddedByServer(const std::string& name) {
    return name.rfind("REMOTE_", 0) == 0 || name.rfind("LOCAL_", 0) == 0;
}

}  // namespace

HttpTestServer::HttpTestServer() : m_owned(std::make_unique<httplib::Server>()), m_server(*m_owned) { serve(); }

HttpTestServer::HttpTestServer(const QString& certificate, const QString& key)
    : m_owned(std::make_unique<httplib::SSLServer>(certificate.toUtf8().constData(), key.toUtf8().constData())),
      m_server(*m_owned) {
    serve();
}

void HttpTestServer::serve() {
    // One request per connection, so stop() never waits on an idle
    // keep-alive connection.
    m_server.set_keep_alive_max_count(1);

    m_server.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response&) {
        Request seen;
        seen.method = req.method;
        seen.path = req.path;
        for (const auto& header : req.headers) {
            if (!AddedByServer(header.first)) seen.headers.emplace_back(header.first, header.second);
        }
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_last = std::move(seen);
        }
        ++m_requestCount;
        return httplib::Server::HandlerResponse::Unhandled;
    });

    auto fixed = [](int status) {
        return [status](const httplib::Request&, httplib::Response& res) {
            res.status = status;
            if (status != 204 && status != 304) res.set_content("status\n", "text/plain");
        };
    };
    m_server.Get("/", [this](const httplib::Request&, httplib::Response& res) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_stopping.wait(lock, [this] { return m_stopped || m_rootStatus != 0; });
        res.status = m_rootStatus != 0 ? m_rootStatus.load() : 503;
        res.set_content("root\n", "text/plain");
    });
    m_server.Get("/ok", fixed(200));
    m_server.Get("/nocontent", fixed(204));
    m_server.Get("/notmodified", fixed(304));
    m_server.Get("/error", fixed(500));
    m_server.Get("/redirect", [](const httplib::Request&, httplib::Response& res) {
        res.set_redirect("/ok", 302);
    });
    m_server.Get("/loop", [](const httplib::Request&, httplib::Response& res) {
        res.set_redirect("/loop", 302);
    });
    m_server.Get("/slow", [this](const httplib::Request&, httplib::Response& res) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_stopping.wait_for(lock, std::chrono::milliseconds(m_slowDelayMs.load()),
                            [this] { return m_stopped; });
        res.status = 200;
        res.set_content("slow\n", "text/plain");
    });

    m_port = m_server.bind_to_any_port("127.0.0.1");
    if (m_port <= 0) throw std::runtime_error("HttpTestServer: cannot bind a loopback port");
    // The socket already listens, so clients may connect before the accept
    // loop runs.
    m_thread = std::thread([this] { m_server.listen_after_bind(); });
    // stop() is a no-op until the server reports running; wait for that so
    // the destructor cannot miss it.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!m_server.is_running() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

HttpTestServer::~HttpTestServer() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopped = true;
    }
    m_stopping.notify_all();
    m_server.stop();
    if (m_thread.joinable()) m_thread.join();
}

void HttpTestServer::setStatus(int status) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_rootStatus = status;
    m_stopping.notify_all();
}

QString HttpTestServer::url(const QString& path) const {
    const bool tls = dynamic_cast<const httplib::SSLServer*>(m_owned.get()) != nullptr;
    return QStringLiteral("%1://127.0.0.1:%2%3").arg(tls ? "https" : "http").arg(m_port).arg(path);
}

HttpTestServer::Request HttpTestServer::lastRequest() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_last;
}

}  // namespace tarvesk
