#pragma once

#include <chrono>

#include "platform/mail_transport.h"

namespace tarvesk {

// Sends one mail with libcurl over a plain SMTP connection to
// smtp://SERVER:PORT. Authenticates (PLAIN or LOGIN) exactly when the account
// is not the empty string. Every call uses a fresh easy handle: nothing is
// shared between calls, and calls from several threads do not interfere.
class CurlSmtpTransport : public MailTransport {
public:
    struct Limits {
        // Bounds the connection and everything up to the accepted login:
        // resolve, TCP connect, greeting, EHLO and AUTH.
        std::chrono::milliseconds connectTimeout{30000};
        // Bounds the whole send, so a server that talks forever or goes
        // silent in the middle of the dialogue cannot hold the call.
        std::chrono::milliseconds wholeSend{120000};
    };

    // The port is a constant of the program (25); tests pass their server's
    // port.
    explicit CurlSmtpTransport(int port = 25);
    CurlSmtpTransport(int port, const Limits& limits);

    MailOutcome send(const MailMessage& message) override;

private:
    int m_port;
    Limits m_limits;
};

}  // namespace tarvesk
