#include "support/smtp_test_server.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace tarvesk {

namespace {

constexpr int kStartTimeoutMs = 30000;

// Reads one line (the port) from `fd`, waiting at most kStartTimeoutMs.
std::string ReadLine(int fd) {
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartTimeoutMs);
    while (line.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) break;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left)) <= 0) break;
        char buffer[64];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        line.append(buffer, static_cast<size_t>(n));
    }
    return line;
}

// Waits up to `ms` for the child to end; true when it has been reaped.
bool WaitForExit(pid_t pid, int ms) {
    for (int waited = 0; waited <= ms; waited += 20) {
        int status = 0;
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid || r < 0) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

}  // namespace

QString SmtpTestServer::Message::header(const QString& name) const {
    for (const auto& h : headers) {
        if (h.first.compare(name, Qt::CaseInsensitive) == 0) return h.second;
    }
    return QString();
}

int SmtpTestServer::Message::headerCount(const QString& name) const {
    int n = 0;
    for (const auto& h : headers) {
        if (h.first.compare(name, Qt::CaseInsensitive) == 0) ++n;
    }
    return n;
}

SmtpTestServer::SmtpTestServer(const QStringList& options) {
    if (!m_dir.isValid()) return;
    m_outPath = m_dir.filePath(QStringLiteral("received.jsonl"));

    std::vector<std::string> args = {"/usr/bin/python3", TARVESK_TEST_SCRIPTS "/smtp_server.py", "--out",
                                     m_outPath.toStdString(), "--tls-dir", m_dir.path().toStdString()};
    for (const QString& option : options) args.push_back(option.toStdString());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    int in[2];
    int out[2];
    if (::pipe2(in, O_CLOEXEC) != 0) return;
    if (::pipe2(out, O_CLOEXEC) != 0) {
        ::close(in[0]);
        ::close(in[1]);
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    const int rc = ::posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    m_stdinFd = in[1];
    m_stdoutFd = out[0];
    if (rc != 0) {
        m_pid = -1;
        return;
    }

    const std::string line = ReadLine(m_stdoutFd);
    bool ok = false;
    const int port = QString::fromStdString(line).trimmed().toInt(&ok);
    if (ok && port > 0) m_port = port;
}

SmtpTestServer::~SmtpTestServer() { stop(); }

QString SmtpTestServer::address() const { return QStringLiteral("127.0.0.1:%1").arg(m_port); }

QString SmtpTestServer::caFile() const { return m_dir.filePath(QStringLiteral("ca.pem")); }

void SmtpTestServer::stop() {
    // Closing its stdin is the polite way; signals only if it lingers.
    if (m_stdinFd >= 0) ::close(m_stdinFd);
    m_stdinFd = -1;
    if (m_pid > 0) {
        if (!WaitForExit(m_pid, 5000)) {
            ::kill(m_pid, SIGTERM);
            if (!WaitForExit(m_pid, 5000)) {
                ::kill(m_pid, SIGKILL);
                ::waitpid(m_pid, nullptr, 0);
            }
        }
    }
    m_pid = -1;
    if (m_stdoutFd >= 0) ::close(m_stdoutFd);
    m_stdoutFd = -1;
}

QList<QJsonObject> SmtpTestServer::records() const {
    QList<QJsonObject> out;
    QFile file(m_outPath);
    if (!file.open(QIODevice::ReadOnly)) return out;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.trimmed().isEmpty()) continue;
        out.append(QJsonDocument::fromJson(line).object());
    }
    return out;
}

int SmtpTestServer::connectionCount() const {
    int n = 0;
    for (const QJsonObject& r : records()) {
        if (r.value(QStringLiteral("kind")).toString() == QStringLiteral("connection")) ++n;
    }
    return n;
}

int SmtpTestServer::authInClearCount() const {
    int n = 0;
    for (const QJsonObject& r : records()) {
        const bool inClear = !r.value(QStringLiteral("tls")).toBool();
        if (r.value(QStringLiteral("kind")).toString() == QStringLiteral("auth") && inClear) ++n;
    }
    return n;
}

QList<SmtpTestServer::Message> SmtpTestServer::messages() const {
    QList<Message> out;
    for (const QJsonObject& r : records()) {
        if (r.value(QStringLiteral("kind")).toString() != QStringLiteral("message")) continue;
        Message m;
        m.mailFrom = r.value(QStringLiteral("mail_from")).toString();
        for (const QJsonValue& v : r.value(QStringLiteral("rcpt_tos")).toArray()) m.rcptTos.append(v.toString());
        if (r.value(QStringLiteral("login")).isString()) m.login = r.value(QStringLiteral("login")).toString();
        m.tls = r.value(QStringLiteral("tls")).toBool();
        m.raw = QByteArray::fromBase64(r.value(QStringLiteral("data")).toString().toLatin1());

        const QJsonObject parsed = r.value(QStringLiteral("parsed")).toObject();
        m.parseError = parsed.value(QStringLiteral("error")).toString();
        for (const QJsonValue& v : parsed.value(QStringLiteral("headers")).toArray()) {
            const QJsonArray pair = v.toArray();
            m.headers.append({pair.at(0).toString(), pair.at(1).toString()});
        }
        m.contentType = parsed.value(QStringLiteral("content_type")).toString();
        m.body = parsed.value(QStringLiteral("body")).toString();
        for (const QJsonValue& v : parsed.value(QStringLiteral("attachments")).toArray()) {
            const QJsonObject a = v.toObject();
            m.attachments.append({a.value(QStringLiteral("filename")).toString(),
                                  a.value(QStringLiteral("content_type")).toString(),
                                  QByteArray::fromBase64(a.value(QStringLiteral("data")).toString().toLatin1())});
        }
        for (const QJsonValue& v : parsed.value(QStringLiteral("defects")).toArray()) m.defects.append(v.toString());
        out.append(m);
    }
    return out;
}

}  // namespace tarvesk
