#include "platform/curl_smtp_transport.h"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <net/if.h>
#include <sys/socket.h>

#include <QByteArray>
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>

#include "platform/curl_global.h"

namespace tarvesk {

namespace {

constexpr int kPlainPort = 25;
constexpr int kImplicitTlsPort = 465;
// Enough for any real refusal, multi-line ones included; a server that
// talks without end gets no more of our memory than this.
constexpr size_t kMaxReply = 512;

// How far the SMTP dialogue got, from the commands libcurl sent. The failure
// class depends on it: nothing sent means the server never greeted us.
// TlsHello: the EHLO (or HELO) after STARTTLS went out, so TLS is up.
enum class Stage { None, Hello, StartTls, TlsHello, Auth, Mail, Rcpt, Data };

struct Dialogue {
    Stage stage = Stage::None;
    // The server's latest reply, its lines joined by a blank (RFC 5321
    // section 4.2.1: "250-" lines continue, "250 " ends a reply).
    std::string reply;
    bool replyComplete = true;
    // libcurl says QUIT inside the transfer when it gives a connection up
    // after a failure; the answer to it must not replace the refusal.
    bool quitting = false;

    Dialogue() { reply.reserve(kMaxReply); }

    // A final reply of class 4 or 5: the server said no.
    bool refused() const {
        return replyComplete && reply.size() >= 3 && (reply[0] == '4' || reply[0] == '5') &&
               std::isdigit(static_cast<unsigned char>(reply[1])) &&
               std::isdigit(static_cast<unsigned char>(reply[2]));
    }
};

bool StartsWithCommand(const char* data, size_t size, const char* prefix) {
    const size_t n = std::strlen(prefix);
    if (size < n) return false;
    for (size_t i = 0; i < n; ++i) {
        char c = data[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c != prefix[i]) return false;
    }
    return true;
}

void NoteCommand(Dialogue* dialogue, const char* data, size_t size) {
    // Only command prefixes are matched: SASL continuation lines (base64)
    // carry no blank or colon. The QUIT after a failure must not hide where
    // the dialogue got to. A greeting after STARTTLS is only sent once the
    // handshake is done: from then on a failure is no reason to go plain.
    if (StartsWithCommand(data, size, "EHLO ") || StartsWithCommand(data, size, "HELO ")) {
        if (dialogue->stage == Stage::None) dialogue->stage = Stage::Hello;
        if (dialogue->stage == Stage::StartTls) dialogue->stage = Stage::TlsHello;
    } else if (StartsWithCommand(data, size, "STARTTLS\r\n")) {
        dialogue->stage = Stage::StartTls;
    } else if (StartsWithCommand(data, size, "AUTH ")) {
        dialogue->stage = Stage::Auth;
    } else if (StartsWithCommand(data, size, "MAIL FROM:")) {
        dialogue->stage = Stage::Mail;
    } else if (StartsWithCommand(data, size, "RCPT TO:")) {
        dialogue->stage = Stage::Rcpt;
    } else if (StartsWithCommand(data, size, "DATA\r\n")) {
        dialogue->stage = Stage::Data;
    } else if (StartsWithCommand(data, size, "QUIT\r\n")) {
        dialogue->quitting = true;
    }
}

void NoteReplyLine(Dialogue* dialogue, const char* data, size_t size) {
    if (dialogue->quitting) return;
    while (size > 0 && (data[size - 1] == '\n' || data[size - 1] == '\r')) --size;
    if (dialogue->replyComplete) dialogue->reply.clear();
    std::string& reply = dialogue->reply;
    if (!reply.empty() && reply.size() < kMaxReply) reply += ' ';
    reply.append(data, std::min(size, kMaxReply - std::min(reply.size(), kMaxReply)));
    dialogue->replyComplete = size < 4 || data[3] != '-';
}

// libcurl hands every command it sends and every reply line it reads to the
// debug callback (after TLS, in clear).
int WatchDialogue(CURL*, curl_infotype type, char* data, size_t size, void* userptr) {
    auto* dialogue = static_cast<Dialogue*>(userptr);
    if (type == CURLINFO_HEADER_OUT) NoteCommand(dialogue, data, size);
    if (type == CURLINFO_HEADER_IN) NoteReplyLine(dialogue, data, size);
    return 0;
}

struct Upload {
    const QByteArray* data = nullptr;
    qsizetype offset = 0;
};

size_t ReadMessage(char* buffer, size_t size, size_t nitems, void* userdata) {
    auto* upload = static_cast<Upload*>(userdata);
    const size_t room = size * nitems;
    const size_t left = static_cast<size_t>(upload->data->size() - upload->offset);
    const size_t n = std::min(room, left);
    std::memcpy(buffer, upload->data->constData() + upload->offset, n);
    upload->offset += static_cast<qsizetype>(n);
    return n;
}

struct EasyDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};

struct SlistDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

bool HasControl(const QString& text) {
    return std::any_of(text.begin(), text.end(),
                       [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; });
}

bool IsHostNameAscii(uint c) {
    return c < 0x80 && (std::isalnum(static_cast<int>(c)) || c == '-' || c == '.' || c == '_');
}

// Letters of any script (internationalised names), digits, "-", "." and
// "_": nothing that means something else in a URL (user info, path, query,
// percent escapes) or that libcurl's URL parser refuses in a host.
bool IsUsableHostName(const QString& host) {
    const QList<uint> codePoints = host.toUcs4();
    return !host.isEmpty() && std::all_of(codePoints.begin(), codePoints.end(), [](uint c) {
               return IsHostNameAscii(c) || (c >= 0x80 && (QChar::isLetterOrNumber(c) || QChar::isMark(c)));
           });
}

// A zone index names an interface: ASCII, at most IFNAMSIZ - 1 characters,
// which is also all that libcurl takes.
bool IsUsableZone(const QString& zone) {
    return !zone.isEmpty() && zone.size() < IFNAMSIZ &&
           std::all_of(zone.begin(), zone.end(), [](QChar c) { return IsHostNameAscii(c.unicode()); });
}

// The text between the brackets: an IPv6 address (RFC 4291 section 2.2),
// optionally with a zone index, "fe80::1%eth0" (RFC 6874).
bool IsIpv6Literal(const QString& text) {
    const qsizetype percent = text.indexOf(QLatin1Char('%'));
    const QString address = percent < 0 ? text : text.left(percent);
    if (percent >= 0 && !IsUsableZone(text.mid(percent + 1))) return false;
    // Hex digits, colons and dots only: inet_pton reads no further than a NUL.
    const bool plain = std::all_of(address.begin(), address.end(), [](QChar c) {
        return c.unicode() < 0x80 && (std::isxdigit(c.unicode()) || c == QLatin1Char(':') || c == QLatin1Char('.'));
    });
    in6_addr parsed{};
    return plain && ::inet_pton(AF_INET6, address.toLatin1().constData(), &parsed) == 1;
}

std::optional<int> ParsePort(const QString& text) {
    if (text.isEmpty() || text.size() > 5) return std::nullopt;
    int port = 0;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return std::nullopt;
        port = port * 10 + (c.unicode() - '0');
    }
    if (port < 1 || port > 65535) return std::nullopt;
    return port;
}

bool IsTlsFailure(CURLcode code) {
    switch (code) {
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_CRL_BADFILE:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        case CURLE_SSL_INVALIDCERTSTATUS:
        case CURLE_SSL_ENGINE_NOTFOUND:
        case CURLE_SSL_ENGINE_SETFAILED:
        case CURLE_SSL_ENGINE_INITFAILED:
        case CURLE_USE_SSL_FAILED:  // STARTTLS required but not offered or refused
            return true;
        default:
            return false;
    }
}

MailFailure Classify(CURLcode code, const Dialogue& dialogue) {
    switch (code) {
        // Failures of this program or of libcurl itself, not of the server.
        case CURLE_OUT_OF_MEMORY:
        case CURLE_FAILED_INIT:
        case CURLE_UNSUPPORTED_PROTOCOL:
        case CURLE_NOT_BUILT_IN:
        case CURLE_BAD_FUNCTION_ARGUMENT:
        case CURLE_UNKNOWN_OPTION:
        case CURLE_READ_ERROR:
            return MailFailure::SendFailed;
        default:
            break;
    }
    if (IsTlsFailure(code)) return MailFailure::Connect;
    // libcurl sends EHLO only after a 220 greeting, so without any command
    // the server was not resolved, not reached, silent, or refused us.
    if (dialogue.stage == Stage::None) return MailFailure::Connect;
    if (dialogue.refused() && dialogue.stage == Stage::Rcpt) return MailFailure::Receiver;
    // After the greeting everything else is the dialogue failing: a refusal,
    // "no mechanism in common" (which the server never says itself), a
    // time-out or a dropped line.
    return MailFailure::Authentication;
}

// Port 25 asked for TLS and has none: STARTTLS was not offered (with a
// refused EHLO nothing is), was refused, or the dialogue failed before
// anything went through TLS, the handshake included.
bool TlsUnavailable(CURLcode code, const Dialogue& dialogue) {
    return code == CURLE_USE_SSL_FAILED || dialogue.stage == Stage::StartTls ||
           (dialogue.stage == Stage::Hello && code == CURLE_REMOTE_ACCESS_DENIED);
}

// The description goes into a TAB-separated log line: no control characters.
QString Printable(const QByteArray& text) {
    QString out = QString::fromUtf8(text).trimmed();
    for (QChar& c : out) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f) c = QLatin1Char(' ');
    }
    return out;
}

using Clock = std::chrono::steady_clock;

// One connection's worth of work: everything libcurl is told for it.
struct Transfer {
    QByteArray url;
    long useSsl = CURLUSESSL_NONE;
    bool verify = true;
    QByteArray caFile;
    bool login = false;
    QByteArray user;
    QByteArray password;
    QByteArray from;
    curl_slist* receivers = nullptr;
    const QByteArray* message = nullptr;
    std::chrono::milliseconds connectTimeout{0};
    Clock::time_point deadline;
};

struct Attempt {
    MailOutcome outcome;
    bool tlsUnavailable = false;
    CURLcode code = CURLE_OK;
    QString errorText;  // libcurl's words, whatever the server said
    // Refused at MAIL or RCPT, where a relay that wants a login says so.
    bool envelopeRefused = false;
};

Attempt Perform(const Transfer& transfer) {
    std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
    if (!easy) {
        Attempt failed;
        failed.outcome =
            MailOutcome{MailFailure::SendFailed, QStringLiteral("The mail library could not be initialised.")};
        return failed;
    }
    CURL* h = easy.get();
    char errorBuffer[CURL_ERROR_SIZE] = {};
    Dialogue dialogue;
    Upload upload;
    upload.data = transfer.message;

    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(h, CURLOPT_URL, transfer.url.constData());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
    curl_easy_setopt(h, CURLOPT_USE_SSL, transfer.useSsl);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, transfer.verify ? 1L : 0L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, transfer.verify ? 2L : 0L);
    if (!transfer.caFile.isEmpty()) curl_easy_setopt(h, CURLOPT_CAINFO, transfer.caFile.constData());

    // An empty proxy overrides the *_proxy environment variables.
    curl_easy_setopt(h, CURLOPT_PROXY, "");
    curl_easy_setopt(h, CURLOPT_NOPROXY, "*");
    // Runs on a worker thread: time-outs must not use SIGALRM.
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    // libcurl applies the connect time-out until the protocol connect is done,
    // which for SMTP includes the greeting, EHLO, STARTTLS and AUTH. A time-out
    // of 0 would mean none at all.
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(transfer.deadline - Clock::now());
    const long leftMs = std::max<long>(1, static_cast<long>(left.count()));
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS,
                     std::min(leftMs, static_cast<long>(transfer.connectTimeout.count())));
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, leftMs);

    if (transfer.login) {
        curl_easy_setopt(h, CURLOPT_USERNAME, transfer.user.constData());
        curl_easy_setopt(h, CURLOPT_PASSWORD, transfer.password.constData());
        // Plain user name and password, as the settings offer; no Kerberos or
        // NTLM attempt with whatever credentials the machine happens to hold.
        curl_easy_setopt(h, CURLOPT_LOGIN_OPTIONS, "AUTH=PLAIN;AUTH=LOGIN");
    }

    // libcurl wraps the address in angle brackets itself.
    curl_easy_setopt(h, CURLOPT_MAIL_FROM, transfer.from.constData());
    curl_easy_setopt(h, CURLOPT_MAIL_RCPT, transfer.receivers);
    // Dot-stuffing (RFC 5321 section 4.5.2) is done by libcurl on upload.
    curl_easy_setopt(h, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(h, CURLOPT_READFUNCTION, ReadMessage);
    curl_easy_setopt(h, CURLOPT_READDATA, &upload);
    curl_easy_setopt(h, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(transfer.message->size()));

    // The debug callback is called only in verbose mode; it replaces the
    // verbose output on stderr.
    curl_easy_setopt(h, CURLOPT_DEBUGFUNCTION, WatchDialogue);
    curl_easy_setopt(h, CURLOPT_DEBUGDATA, &dialogue);
    curl_easy_setopt(h, CURLOPT_VERBOSE, 1L);

    const CURLcode code = curl_easy_perform(h);

    // Read before the clean-up below, which still reports into both (QUIT).
    const QByteArray errorText = QByteArray(errorBuffer).trimmed();
    Attempt attempt;
    attempt.tlsUnavailable = code != CURLE_OK && TlsUnavailable(code, dialogue);
    attempt.code = code;
    attempt.errorText = Printable(errorText.isEmpty() ? QByteArray(curl_easy_strerror(code)) : errorText);
    const MailFailure failure = code == CURLE_OK ? MailFailure::None : Classify(code, dialogue);
    const bool refused = dialogue.refused();
    attempt.envelopeRefused = refused && (dialogue.stage == Stage::Mail || dialogue.stage == Stage::Rcpt);
    const QByteArray reply = QByteArray::fromStdString(dialogue.reply);

    // curl_easy_cleanup says QUIT on a connection libcurl still holds and then
    // waits for the answer up to the response time-out, outside the overall
    // bound. Closing our reading side lets the QUIT go out and ends that wait
    // at once: the outcome is settled, the answer to QUIT changes nothing.
    curl_socket_t socket = CURL_SOCKET_BAD;
    if (curl_easy_getinfo(h, CURLINFO_ACTIVESOCKET, &socket) == CURLE_OK && socket != CURL_SOCKET_BAD) {
        ::shutdown(socket, SHUT_RD);
    }
    easy.reset();

    if (failure == MailFailure::None) return attempt;
    // Where the server said no, its own words tell the operator most (a
    // provider's "554 5.7.1 Message rejected as spam"); otherwise libcurl's,
    // which for TLS name the certificate problem.
    attempt.outcome = MailOutcome{failure, refused ? Printable(reply) : attempt.errorText};
    return attempt;
}

// Why a first try on port 25 gave no TLS that a password may go into, or
// nothing when it did (or failed for another reason).
QString LoginWithheldBecause(const Attempt& attempt, const QString& host) {
    if (attempt.code == CURLE_PEER_FAILED_VERIFICATION) {
        return QStringLiteral("the certificate of %1 does not verify: %2").arg(host, attempt.errorText);
    }
    if (attempt.tlsUnavailable) {
        return IsTlsFailure(attempt.code) && attempt.code != CURLE_USE_SSL_FAILED
                   ? QStringLiteral("the TLS handshake with %1 failed: %2").arg(host, attempt.errorText)
                   : QStringLiteral("%1 offers no TLS (%2)").arg(host, attempt.errorText);
    }
    return {};
}

}  // namespace

CurlSmtpTransport::CurlSmtpTransport() : CurlSmtpTransport(Options{}) {}

CurlSmtpTransport::CurlSmtpTransport(const Options& options) : m_options(options) {}

std::optional<CurlSmtpTransport::Endpoint> CurlSmtpTransport::ParseServer(const QString& server) {
    const QString text = server.trimmed();
    Endpoint endpoint;
    QString portText;
    bool hasPort = false;
    if (text.startsWith(QLatin1Char('['))) {
        const qsizetype close = text.indexOf(QLatin1Char(']'));
        if (close < 0) return std::nullopt;
        endpoint.host = text.mid(1, close - 1);
        if (!IsIpv6Literal(endpoint.host)) return std::nullopt;  // brackets are for IPv6
        const QString rest = text.mid(close + 1);
        if (!rest.isEmpty()) {
            if (!rest.startsWith(QLatin1Char(':'))) return std::nullopt;
            portText = rest.mid(1);
            hasPort = true;
        }
    } else if (text.count(QLatin1Char(':')) >= 2) {
        // host:port has exactly one colon, so two or more make a bare IPv6
        // address, on port 25: settings stored before brackets existed keep
        // reaching the same server. A port needs the brackets.
        if (!IsIpv6Literal(text)) return std::nullopt;
        endpoint.host = text;
    } else {
        // A name or an IPv4 address, with at most one colon before the port.
        const qsizetype colon = text.indexOf(QLatin1Char(':'));
        endpoint.host = colon < 0 ? text : text.left(colon);
        if (!IsUsableHostName(endpoint.host)) return std::nullopt;
        if (colon >= 0) {
            portText = text.mid(colon + 1);
            hasPort = true;
        }
    }
    if (hasPort) {
        const std::optional<int> port = ParsePort(portText);
        if (!port) return std::nullopt;
        endpoint.port = *port;
    }
    return endpoint;
}

CurlSmtpTransport::Tls CurlSmtpTransport::TlsForPort(int port) {
    switch (port) {
        case kPlainPort:
            return Tls::Opportunistic;
        case kImplicitTlsPort:
            return Tls::Implicit;
        default:
            return Tls::Required;
    }
}

// RFC 3986 section 3.2.2: an IPv6 literal goes in brackets, and a zone index
// ("fe80::1%eth0") needs its "%" escaped (RFC 6874). Port 465 speaks TLS from
// the first byte (RFC 8314 section 3.3): smtps.
QByteArray CurlSmtpTransport::Url(const Endpoint& endpoint, Tls tls) {
    QString authority = endpoint.host;
    if (authority.contains(QLatin1Char(':'))) {
        authority = QLatin1Char('[') + authority.replace(QLatin1String("%"), QLatin1String("%25")) +
                    QLatin1Char(']');
    }
    return (tls == Tls::Implicit ? "smtps://" : "smtp://") + authority.toUtf8() + ':' +
           QByteArray::number(endpoint.port);
}

MailOutcome CurlSmtpTransport::send(const MailEnvelope& envelope, const QByteArray& message) {
    const Clock::time_point deadline = Clock::now() + m_options.wholeSend;
    // With an empty RCPT list libcurl would report success and send nothing.
    if (envelope.receivers.isEmpty()) {
        return MailOutcome{MailFailure::Receiver, QStringLiteral("No receiver address was given.")};
    }
    // A line break in an address would end the SMTP command early.
    for (const QString& address : envelope.receivers) {
        if (address.isEmpty() || HasControl(address)) {
            return MailOutcome{MailFailure::Receiver, QStringLiteral("\"%1\" is not a usable receiver address.")
                                                          .arg(Printable(address.toUtf8()))};
        }
    }
    if (HasControl(envelope.sender)) {
        return MailOutcome{MailFailure::SendFailed, QStringLiteral("The sender address contains a control character.")};
    }
    const std::optional<Endpoint> endpoint = ParseServer(envelope.server);
    if (!endpoint) {
        return MailOutcome{MailFailure::Connect,
                           QStringLiteral("\"%1\" is not a usable SMTP server: host, host:port, IPv6, [IPv6] or "
                                          "[IPv6]:port (a port after an IPv6 address needs the brackets), "
                                          "port 1 to 65535.")
                               .arg(Printable(envelope.server.trimmed().toUtf8()))};
    }
    const Tls tls = m_options.tls == Tls::ByPort ? TlsForPort(endpoint->port) : m_options.tls;

    EnsureCurlInitialised();
    std::unique_ptr<curl_slist, SlistDeleter> rcptList;
    for (const QString& address : envelope.receivers) {
        curl_slist* grown = curl_slist_append(rcptList.get(), address.toUtf8().constData());
        if (!grown) return MailOutcome{MailFailure::SendFailed, QStringLiteral("Out of memory.")};
        rcptList.release();
        rcptList.reset(grown);
    }

    Transfer transfer;
    transfer.url = Url(*endpoint, tls);
    transfer.caFile = m_options.caFile.toUtf8();
    transfer.from = envelope.sender.toUtf8();
    transfer.receivers = rcptList.get();
    transfer.message = &message;
    transfer.connectTimeout = m_options.connectTimeout;
    transfer.deadline = deadline;
    // The test is an exact comparison with the empty string: an account of
    // blanks still logs in, and an empty password is sent as empty.
    transfer.login = !envelope.account.isEmpty();
    transfer.user = envelope.account.toUtf8();
    transfer.password = envelope.password.toUtf8();

    // RFC 3207 STARTTLS. A password goes only into TLS whose certificate
    // verifies against the system's CA store and the host name, on every
    // port: anyone on the path can offer STARTTLS with a certificate of their
    // own. Without a login, port 25 takes TLS whenever offered but does not
    // insist on a certificate that verifies: servers on port 25 seldom have
    // one, and refusing them would only send the mail in clear instead.
    transfer.verify = tls != Tls::Opportunistic || transfer.login;
    // With a login to make, TLS is required, so that libcurl never sends
    // AUTH in clear; without one, a server lacking STARTTLS gets the mail on
    // the same connection.
    transfer.useSsl = tls == Tls::Opportunistic && !transfer.login ? CURLUSESSL_TRY : CURLUSESSL_ALL;
    Attempt attempt = Perform(transfer);
    if (tls != Tls::Opportunistic) return attempt.outcome;

    QString withheld;
    if (transfer.login) {
        withheld = LoginWithheldBecause(attempt, endpoint->host);
        if (withheld.isEmpty()) return attempt.outcome;
        // Port 25 still delivers where the relay takes mail without a login,
        // inside the unverified TLS where there is some.
        transfer.login = false;
        if (attempt.code == CURLE_PEER_FAILED_VERIFICATION) {
            transfer.verify = false;
            transfer.useSsl = CURLUSESSL_TRY;
            attempt = Perform(transfer);
        }
    }
    if (attempt.tlsUnavailable) {
        // No TLS at all: one plain connection, as to a relay on a trusted
        // network. Once TLS was up, a failure never leads to a plain retry.
        transfer.useSsl = CURLUSESSL_NONE;
        attempt = Perform(transfer);
    }
    if (!withheld.isEmpty() && attempt.envelopeRefused) {
        // The relay's "authentication required" would blame a password that
        // was never sent.
        attempt.outcome.description +=
            QStringLiteral(" (the login was withheld: %1. Use port 587 or 465, add the relay's CA to the "
                           "system's store, or use a relay that needs no login.)")
                .arg(withheld);
    }
    return attempt.outcome;
}

}  // namespace tarvesk
