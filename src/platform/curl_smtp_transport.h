#pragma once

#include <QString>
#include <chrono>
#include <optional>

#include "platform/mail_transport.h"

namespace tarvesk {

// Sends one finished mail with libcurl. The server is `host`, `host:port`,
// `[IPv6]` or `[IPv6]:port`; a plain host means port 25. The port decides TLS:
//   25     STARTTLS whenever the server offers it, certificate not verified
//          (as mail servers treat each other). The password goes only inside
//          TLS: when STARTTLS is not offered, is refused or its handshake
//          fails, one new plain connection delivers without logging in;
//   465    TLS from the first byte, verified;
//   other  STARTTLS required, verified (submission servers, 587).
// Verification uses the system's CA store and the host name. Authenticates
// (PLAIN or LOGIN) exactly when the account is not the empty string and TLS
// is up. Every call uses fresh easy handles: calls from several threads do
// not interfere.
class CurlSmtpTransport : public MailTransport {
public:
    enum class Tls {
        ByPort,         // what the program uses
        Opportunistic,  // as for port 25
        Implicit,       // as for port 465
        Required,       // as for any other port
    };

    struct Options {
        // Bounds the connection and everything up to the accepted login:
        // resolve, TCP connect, greeting, EHLO, STARTTLS and AUTH.
        std::chrono::milliseconds connectTimeout{30000};
        // Bounds the whole send, the plain second try on port 25 included, so
        // a server that talks forever or goes silent in the middle of the
        // dialogue cannot hold the call.
        std::chrono::milliseconds wholeSend{120000};
        // For tests on a random port; the program leaves both as they are.
        Tls tls = Tls::ByPort;
        QString caFile;  // trusted in place of the system's store when set
    };

    struct Endpoint {
        QString host;  // without brackets
        int port = 25;
    };

    CurlSmtpTransport();
    explicit CurlSmtpTransport(const Options& options);

    MailOutcome send(const MailEnvelope& envelope, const QByteArray& message) override;

    // The server field as typed, blanks around it ignored; nothing when it
    // names no usable host or its port is not a number from 1 to 65535. A
    // host name is letters (any script), digits, "-", "." and "_". Two or
    // more colons without brackets are an IPv6 address on port 25 ("::1:25"
    // is the address ::1:25); an IPv6 address with a port goes in brackets.
    static std::optional<Endpoint> ParseServer(const QString& server);

    // What TLS a port gets when the options leave it to the port.
    static Tls TlsForPort(int port);

    // The URL libcurl is given for an endpoint: smtps:// for Tls::Implicit.
    static QByteArray Url(const Endpoint& endpoint, Tls tls);

private:
    Options m_options;
};

}  // namespace tarvesk
