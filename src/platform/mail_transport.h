#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace tarvesk {

// The four ways a send can fail, as the operator is told about them.
enum class MailFailure {
    None,
    Connect,         // no connection, no greeting, or no usable TLS
    Authentication,  // after the greeting, anything but a receiver: a refusal
                     // (AUTH, MAIL, DATA, the message), a time-out, a dropped line
    Receiver,        // a receiver refused, or no receiver given
    SendFailed,      // anything else: a local failure, a sender without a usable address
};

// Where and as whom a finished message goes, and the SMTP envelope.
struct MailEnvelope {
    QString server;        // as typed: host, host:port, [IPv6] or [IPv6]:port
    QString account;       // empty: no authentication
    QString password;
    QString sender;        // bare address for MAIL FROM
    QStringList receivers; // bare addresses for RCPT TO
};

struct MailOutcome {
    MailFailure failure = MailFailure::None;
    // On a failure: the server's own reply where it refused, otherwise the
    // transport's words.
    QString description;
};

// Hands one finished message (RFC 5322 text with CRLF line ends) to an SMTP
// server, synchronously. Implementations must be safe to call from a worker
// thread: the window keeps painting while a mail goes out.
class MailTransport {
public:
    virtual ~MailTransport() = default;
    virtual MailOutcome send(const MailEnvelope& envelope, const QByteArray& message) = 0;
};

}  // namespace tarvesk
