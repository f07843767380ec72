#pragma once

#include <QString>

namespace tarvesk {

// The four ways a send can fail, as the operator is told about them.
enum class MailFailure {
    None,
    Connect,         // could not resolve, connect, or be greeted
    Authentication,  // login refused, or the dialogue failed after connecting
    Receiver,        // a receiver refused, or no receiver given
    SendFailed,      // anything else
};

struct MailMessage {
    QString server;      // SMTP host, as typed
    QString from;
    QString to;          // receivers separated by "," or ";"
    QString cc;
    QString bcc;
    QString account;     // empty: no authentication
    QString password;
    QString subject;
    QString htmlBody;
    QString attachment;  // one path; attached only when a file exists there
};

struct MailOutcome {
    MailFailure failure = MailFailure::None;
    QString description;  // the transport's own words on a failure
};

// Sends one message synchronously. Implementations must be safe to call from a
// worker thread: the window keeps painting while a mail goes out.
class MailTransport {
public:
    virtual ~MailTransport() = default;
    virtual MailOutcome send(const MailMessage& message) = 0;
};

}  // namespace tarvesk
