#include "platform/curl_smtp_transport.h"

#include <curl/curl.h>
#include <sys/socket.h>

#include <QByteArray>
#include <QDateTime>
#include <QStringList>
#include <QSysInfo>
#include <algorithm>
#include <cstring>
#include <memory>

#include "notify/mime_message.h"
#include "platform/curl_global.h"

namespace tarvesk {

namespace {

// How far the SMTP dialogue got, from the commands libcurl sent. The failure
// class depends on it: nothing sent means the server never greeted us.
enum class Stage { None, Hello, Auth, Mail, Rcpt, Data };

struct Dialogue {
    Stage stage = Stage::None;
};

// libcurl hands every command it sends to the debug callback. Only command
// prefixes are matched: SASL continuation lines (base64) carry no blank or
// colon, and QUIT/RSET come after a failure and must not hide where it was.
int WatchDialogue(CURL*, curl_infotype type, char* data, size_t size, void* userptr) {
    if (type != CURLINFO_HEADER_OUT) return 0;
    auto* dialogue = static_cast<Dialogue*>(userptr);
    const auto startsWith = [&](const char* prefix) {
        const size_t n = std::strlen(prefix);
        if (size < n) return false;
        for (size_t i = 0; i < n; ++i) {
            char c = data[i];
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
            if (c != prefix[i]) return false;
        }
        return true;
    };
    if (startsWith("EHLO ") || startsWith("HELO ")) {
        dialogue->stage = Stage::Hello;
    } else if (startsWith("AUTH ")) {
        dialogue->stage = Stage::Auth;
    } else if (startsWith("MAIL FROM:")) {
        dialogue->stage = Stage::Mail;
    } else if (startsWith("RCPT TO:")) {
        dialogue->stage = Stage::Rcpt;
    } else if (startsWith("DATA\r\n")) {
        dialogue->stage = Stage::Data;
    }
    return 0;
}

struct Upload {
    QByteArray data;
    qsizetype offset = 0;
};

size_t ReadMessage(char* buffer, size_t size, size_t nitems, void* userdata) {
    auto* upload = static_cast<Upload*>(userdata);
    const size_t room = size * nitems;
    const size_t left = static_cast<size_t>(upload->data.size() - upload->offset);
    const size_t n = std::min(room, left);
    std::memcpy(buffer, upload->data.constData() + upload->offset, n);
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

// Characters that would give a typed host name a meaning in the URL it does
// not have for the operator (user info, path, query, fragment).
bool IsUsableHost(const QString& host) {
    static const QString forbidden = QStringLiteral(" /?#@\\");
    if (host.isEmpty() || HasControl(host)) return false;
    return std::none_of(host.begin(), host.end(), [](QChar c) { return forbidden.contains(c); });
}

// RFC 3986 section 3.2.2: an IPv6 literal goes in brackets, and a zone index
// ("fe80::1%eth0") needs its "%" escaped (RFC 6874).
QByteArray ServerUrl(const QString& host, int port) {
    QString authority = host;
    if (host.count(QLatin1Char(':')) >= 2 && !host.startsWith(QLatin1Char('['))) {
        authority = QLatin1Char('[') + QString(host).replace(QLatin1String("%"), QLatin1String("%25")) +
                    QLatin1Char(']');
    }
    return "smtp://" + authority.toUtf8() + ':' + QByteArray::number(port);
}

MailFailure Classify(CURLcode code, Stage stage, const QByteArray& errorText) {
    switch (code) {
        case CURLE_LOGIN_DENIED:
            return MailFailure::Authentication;
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
    // libcurl sends EHLO only after a 220 greeting, so without any command
    // the server was not resolved, not reached, silent, or refused us.
    if (stage == Stage::None) return MailFailure::Connect;
    // libcurl's own words for a 4xx/5xx answer to RCPT TO (CURLE_SEND_ERROR).
    if (errorText.contains("RCPT failed")) return MailFailure::Receiver;
    // Sender and receivers were accepted; handing over the text failed.
    if (stage == Stage::Data) return MailFailure::SendFailed;
    // Greeted, then EHLO, AUTH, MAIL FROM (e.g. "MAIL failed: 530") or RCPT
    // TO went wrong, answered or not: the server would not let us in.
    return MailFailure::Authentication;
}

MailOutcome Failure(MailFailure failure, const QString& description) {
    MailOutcome outcome;
    outcome.failure = failure;
    outcome.description = description;
    return outcome;
}

}  // namespace

CurlSmtpTransport::CurlSmtpTransport(int port) : CurlSmtpTransport(port, Limits{}) {}

CurlSmtpTransport::CurlSmtpTransport(int port, const Limits& limits) : m_port(port), m_limits(limits) {}

MailOutcome CurlSmtpTransport::send(const MailMessage& message) {
    EnsureCurlInitialised();
    // Receivers first: with an empty RCPT list libcurl would report success
    // and send nothing, so this is settled before any connection.
    QStringList receivers;
    for (const QString* field : {&message.to, &message.cc, &message.bcc}) {
        for (const QString& piece : SplitReceivers(*field)) {
            const QString address = EnvelopeAddress(piece);
            if (!address.isEmpty()) receivers.append(address);
        }
    }
    if (receivers.isEmpty()) {
        return Failure(MailFailure::Receiver, QStringLiteral("No receiver address was given."));
    }
    // A line break in an address would end the SMTP command early.
    for (const QString& address : receivers) {
        if (HasControl(address)) {
            return Failure(MailFailure::Receiver,
                           QStringLiteral("A receiver address contains a control character."));
        }
    }
    const QString sender = EnvelopeAddress(message.from.trimmed());
    if (HasControl(sender)) {
        return Failure(MailFailure::SendFailed,
                       QStringLiteral("The sender address contains a control character."));
    }
    const QString host = message.server.trimmed();
    if (!IsUsableHost(host)) {
        return Failure(MailFailure::Connect,
                       QStringLiteral("\"%1\" is not a usable SMTP server name.").arg(host));
    }

    QString composeError;
    const MimeMessage mime(message, QDateTime::currentDateTime(), QSysInfo::machineHostName());
    std::optional<QByteArray> text = mime.compose(&composeError);
    if (!text) return Failure(MailFailure::SendFailed, composeError);

    std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
    if (!easy) {
        return Failure(MailFailure::SendFailed, QStringLiteral("The mail library could not be initialised."));
    }
    CURL* h = easy.get();

    std::unique_ptr<curl_slist, SlistDeleter> rcptList;
    for (const QString& address : receivers) {
        curl_slist* grown = curl_slist_append(rcptList.get(), address.toUtf8().constData());
        if (!grown) return Failure(MailFailure::SendFailed, QStringLiteral("Out of memory."));
        rcptList.release();
        rcptList.reset(grown);
    }

    char errorBuffer[CURL_ERROR_SIZE] = {};
    Dialogue dialogue;
    Upload upload;
    upload.data = std::move(*text);

    const QByteArray url = ServerUrl(host, m_port);
    const QByteArray from = sender.toUtf8();
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(h, CURLOPT_URL, url.constData());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "smtp");
    // Plain connection; the operator's server is reached on port 25 as is.
    curl_easy_setopt(h, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_NONE));
    // An empty proxy overrides the *_proxy environment variables.
    curl_easy_setopt(h, CURLOPT_PROXY, "");
    curl_easy_setopt(h, CURLOPT_NOPROXY, "*");
    // Runs on a worker thread: time-outs must not use SIGALRM.
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    // libcurl applies the connect time-out until the protocol connect is done,
    // which for SMTP includes the greeting, EHLO and AUTH.
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(m_limits.connectTimeout.count()));
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(m_limits.wholeSend.count()));

    // The test is an exact comparison with the empty string: an account of
    // blanks still logs in, and an empty password is sent as empty.
    QByteArray user;
    QByteArray password;
    if (!message.account.isEmpty()) {
        user = message.account.toUtf8();
        password = message.password.toUtf8();
        curl_easy_setopt(h, CURLOPT_USERNAME, user.constData());
        curl_easy_setopt(h, CURLOPT_PASSWORD, password.constData());
        // Plain user name and password, as the settings offer; no Kerberos or
        // NTLM attempt with whatever credentials the machine happens to hold.
        curl_easy_setopt(h, CURLOPT_LOGIN_OPTIONS, "AUTH=PLAIN;AUTH=LOGIN");
    }

    // libcurl wraps the address in angle brackets itself.
    curl_easy_setopt(h, CURLOPT_MAIL_FROM, from.constData());
    curl_easy_setopt(h, CURLOPT_MAIL_RCPT, rcptList.get());
    // Dot-stuffing (RFC 5321 section 4.5.2) is done by libcurl on upload.
    curl_easy_setopt(h, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(h, CURLOPT_READFUNCTION, ReadMessage);
    curl_easy_setopt(h, CURLOPT_READDATA, &upload);
    curl_easy_setopt(h, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(upload.data.size()));

    // The debug callback is called only in verbose mode; it replaces the
    // verbose output on stderr.
    curl_easy_setopt(h, CURLOPT_DEBUGFUNCTION, WatchDialogue);
    curl_easy_setopt(h, CURLOPT_DEBUGDATA, &dialogue);
    curl_easy_setopt(h, CURLOPT_VERBOSE, 1L);

    const CURLcode code = curl_easy_perform(h);

    // Read before the clean-up below, which may still report into the buffer.
    const QByteArray errorText = QByteArray(errorBuffer).trimmed();

    // curl_easy_cleanup says QUIT on a connection libcurl still holds and then
    // waits for the answer up to the response time-out, outside the overall
    // bound. Closing our reading side lets the QUIT go out and ends that wait
    // at once: the outcome is settled, the answer to QUIT changes nothing.
    curl_socket_t socket = CURL_SOCKET_BAD;
    if (curl_easy_getinfo(h, CURLINFO_ACTIVESOCKET, &socket) == CURLE_OK && socket != CURL_SOCKET_BAD) {
        ::shutdown(socket, SHUT_RD);
    }
    easy.reset();

    if (code == CURLE_OK) return MailOutcome{};
    const QString description =
        errorText.isEmpty() ? QString::fromUtf8(curl_easy_strerror(code)) : QString::fromUtf8(errorText);
    return Failure(Classify(code, dialogue.stage, errorText), description);
}

}  // namespace tarvesk
