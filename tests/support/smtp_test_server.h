#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <optional>
#include <sys/types.h>

namespace tarvesk {

// tests/scripts/smtp_server.py (aiosmtpd) as a child process on 127.0.0.1 and
// a free port. `options` are the script's own (--auth USER:PASS,
// --refuse-rcpt ADDRESS, --starttls, --mode never-greet, ...). The child is stopped when
// the object goes.
class SmtpTestServer {
public:
    struct Attachment {
        QString fileName;
        QString contentType;
        QByteArray data;
    };

    // One accepted message: the envelope, the raw text, and the same text as
    // Python's email package decodes it (an independent reader).
    struct Message {
        QString mailFrom;
        QStringList rcptTos;
        std::optional<QString> login;  // the account used, when it logged in
        bool tls = false;              // the session was under TLS
        QByteArray raw;
        QList<QPair<QString, QString>> headers;  // decoded values, in order
        QString contentType;
        QString body;
        QList<Attachment> attachments;
        QStringList defects;  // what the parser found wrong with the MIME structure
        QString parseError;

        // First decoded value of that header (name case-insensitive), or a
        // null string when there is none.
        QString header(const QString& name) const;
        int headerCount(const QString& name) const;
    };

    explicit SmtpTestServer(const QStringList& options = {});
    ~SmtpTestServer();
    SmtpTestServer(const SmtpTestServer&) = delete;
    SmtpTestServer& operator=(const SmtpTestServer&) = delete;

    // False when the child could not be started or named no port.
    bool isRunning() const { return m_port > 0; }
    int port() const { return m_port; }
    // "127.0.0.1:PORT", as the operator would type it.
    QString address() const;
    // The CA that signed the certificate of a --starttls or --implicit-tls
    // server; trusted only by a client told so.
    QString caFile() const;

    QList<Message> messages() const;
    int connectionCount() const;
    // AUTH commands that came in clear, before any STARTTLS.
    int authInClearCount() const;

private:
    QList<QJsonObject> records() const;
    void stop();

    QTemporaryDir m_dir;
    QString m_outPath;
    pid_t m_pid = -1;
    int m_stdinFd = -1;
    int m_stdoutFd = -1;
    int m_port = 0;
};

}  // namespace tarvesk
