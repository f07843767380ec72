// The two parsers that take the operator's mail fields to the wire, and the
// headers they feed:
// - the SMTP server field: whatever ParseServer accepts reads back the same
//   when written in its own form, and libcurl's URL parser finds the same
//   host and port in the URL the transport hands it;
// - the receiver field: entries split again give themselves, and an
//   envelope address is its own envelope address;
// - the message built from them: CRLF lines only, no header but the ones
//   the program writes (no injection), no line beyond RFC 5322's 998 when
//   every receiver is usable (the mail sender sends nothing else), the
//   Subject decodes back to the text, and the To header still yields each
//   receiver's envelope address.
// The input is split at U+001F into the server, receiver and subject fields;
// each parser also gets the whole text.

#include "fuzz_support.h"
#include "notify/mime_message.h"
#include "platform/curl_smtp_transport.h"

#include <arpa/inet.h>
#include <curl/curl.h>

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

namespace {

using tarvesk::CurlSmtpTransport;
using tarvesk::fuzz::Check;
using tarvesk::fuzz::DecodeText;

struct UrlDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};

QByteArray UrlPart(CURLU* url, CURLUPart part) {
    char* text = nullptr;
    if (curl_url_get(url, part, &text, 0) != CURLUE_OK) return {};
    const QByteArray out(text);
    curl_free(text);
    return out;
}

// libcurl writes IPv4 hosts in dotted quads ("127.1" is 127.0.0.1) and IPv6
// ones in their shortest form: compare addresses, names as they stand.
bool SameHost(const QString& ours, const QByteArray& curls) {
    const QByteArray host = ours.toUtf8();
    in_addr a4{}, b4{};
    if (::inet_aton(host.constData(), &a4) == 1) {
        return ::inet_aton(curls.constData(), &b4) == 1 && a4.s_addr == b4.s_addr;
    }
    if (!ours.contains(QLatin1Char(':'))) return host == curls;
    const QByteArray address = host.contains('%') ? host.left(host.indexOf('%')) : host;
    in6_addr a6{}, b6{};
    return curls.startsWith('[') && curls.endsWith(']') &&
           ::inet_pton(AF_INET6, address.constData(), &a6) == 1 &&
           ::inet_pton(AF_INET6, curls.mid(1, curls.size() - 2).constData(), &b6) == 1 &&
           std::memcmp(&a6, &b6, sizeof a6) == 0;
}

void CheckServer(const QString& text) {
    const std::optional<CurlSmtpTransport::Endpoint> endpoint = CurlSmtpTransport::ParseServer(text);
    if (!endpoint) return;
    Check(!endpoint->host.isEmpty() && endpoint->port >= 1 && endpoint->port <= 65535);
    const bool v6 = endpoint->host.contains(QLatin1Char(':'));
    const QString again = (v6 ? QLatin1Char('[') + endpoint->host + QLatin1Char(']') : endpoint->host) +
                          QLatin1Char(':') + QString::number(endpoint->port);
    const std::optional<CurlSmtpTransport::Endpoint> reread = CurlSmtpTransport::ParseServer(again);
    Check(reread && reread->host == endpoint->host && reread->port == endpoint->port);

    const std::unique_ptr<CURLU, UrlDeleter> url(curl_url());
    const QByteArray text8 = CurlSmtpTransport::Url(*endpoint, CurlSmtpTransport::Tls::Required);
    Check(curl_url_set(url.get(), CURLUPART_URL, text8.constData(), 0) == CURLUE_OK);
    Check(SameHost(endpoint->host, UrlPart(url.get(), CURLUPART_HOST)));
    Check(UrlPart(url.get(), CURLUPART_PORT) == QByteArray::number(endpoint->port));
    const qsizetype percent = endpoint->host.indexOf(QLatin1Char('%'));
    const QByteArray zone = percent < 0 ? QByteArray() : endpoint->host.mid(percent + 1).toUtf8();
    Check(UrlPart(url.get(), CURLUPART_ZONEID) == zone);
    Check(UrlPart(url.get(), CURLUPART_USER).isEmpty() && UrlPart(url.get(), CURLUPART_QUERY).isEmpty() &&
          UrlPart(url.get(), CURLUPART_FRAGMENT).isEmpty() && UrlPart(url.get(), CURLUPART_PATH) == "/");
}

void CheckReceivers(const QString& field) {
    const QStringList entries = tarvesk::SplitReceivers(field);
    for (const QString& entry : entries) {
        Check(!entry.isEmpty() && entry == entry.trimmed());
        Check(tarvesk::SplitReceivers(entry) == QStringList{entry});
        const QString address = tarvesk::EnvelopeAddress(entry);
        if (address.isEmpty()) continue;
        for (const QChar c : address) {
            Check(c.unicode() > 0x20 && c.unicode() != 0x7f && !QStringLiteral("<>\",;()\\").contains(c));
        }
        Check(tarvesk::EnvelopeAddress(address) == address);
    }
    // Only the last entry can hold an open quote or bracket: the others end
    // where the list does, so joining them again changes nothing.
    Check(tarvesk::SplitReceivers(entries.join(QLatin1Char(','))) == entries);
}

QString WithoutControls(QString text) {
    for (QChar& c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f) c = QLatin1Char(' ');
    }
    return text;
}

// The header's value with its folds undone (RFC 5322 section 2.2.3), or a
// null array when the header is missing.
QByteArray Unfolded(const QList<QByteArray>& lines, const QByteArray& name) {
    QByteArray value;
    bool inside = false;
    for (const QByteArray& line : lines) {
        const bool continuation = line.startsWith(' ') || line.startsWith('\t');
        if (inside && continuation) {
            value += line;
        } else if (inside) {
            break;
        } else if (line.startsWith(name + ':')) {
            value = line.mid(name.size() + 1);
            inside = true;
        }
    }
    return value;
}

// RFC 2047 section 6.2: encoded words side by side, white space between them
// dropped; anything else is plain text.
QByteArray DecodedSubject(const QByteArray& value) {
    if (!value.contains("=?UTF-8?B?")) return value.startsWith(' ') ? value.mid(1) : value;
    QByteArray out;
    for (const QByteArray& word : value.split(' ')) {
        if (word.isEmpty()) continue;
        Check(word.startsWith("=?UTF-8?B?") && word.endsWith("?=") && word.size() <= 75);
        out += QByteArray::fromBase64(word.mid(10, word.size() - 12));
    }
    return out;
}

void CheckMessage(const QString& server, const QString& receivers, const QString& subject) {
    // As the mail sender composes: every receiver has a usable address.
    const QStringList sent = tarvesk::SplitReceivers(WithoutControls(receivers));
    const bool sendable = std::all_of(sent.begin(), sent.end(),
                                      [](const QString& e) { return !tarvesk::EnvelopeAddress(e).isEmpty(); });
    tarvesk::MailMessage mail;
    mail.server = server;
    mail.from = sent.value(0);
    mail.to = receivers;
    mail.cc = receivers;
    mail.subject = subject;
    mail.htmlBody = subject;
    // The Message-ID's domain is the machine's name: HOST_NAME_MAX is 64.
    const tarvesk::MimeMessage mime(mail, QDateTime(QDate(2026, 12, 8), QTime(9, 7, 3)), server.left(64));
    QString error;
    const std::optional<QByteArray> text = mime.compose(&error);
    Check(text.has_value());

    for (qsizetype i = 0; i < text->size(); ++i) {
        if (text->at(i) == '\r') Check(i + 1 < text->size() && text->at(i + 1) == '\n');
        if (text->at(i) == '\n') Check(i > 0 && text->at(i - 1) == '\r');
    }
    const qsizetype end = text->indexOf("\r\n\r\n");
    Check(end > 0);
    const QList<QByteArray> lines = text->left(end).split('\n');
    static const QList<QByteArray> names = {"Date", "From", "To", "Cc", "Subject", "Message-ID", "MIME-Version",
                                            "Content-Type", "Content-Transfer-Encoding"};
    QList<QByteArray> seen;
    for (QByteArray line : lines) {
        if (line.endsWith('\r')) line.chop(1);
        if (sendable) Check(line.size() <= 998);
        if (line.startsWith(' ') || line.startsWith('\t')) {
            Check(!line.trimmed().isEmpty());
            continue;
        }
        const QByteArray name = line.left(line.indexOf(':'));
        Check(names.contains(name) && !seen.contains(name));
        seen.append(name);
    }
    QList<QByteArray> headers;
    for (const QByteArray& line : lines) headers.append(line.endsWith('\r') ? line.chopped(1) : line);

    Check(DecodedSubject(Unfolded(headers, "Subject")) == WithoutControls(subject).toUtf8());

    const QStringList read = tarvesk::SplitReceivers(QString::fromUtf8(Unfolded(headers, "To")));
    Check(read.size() == sent.size());
    for (qsizetype i = 0; i < sent.size() && i < read.size(); ++i) {
        const QString address = tarvesk::EnvelopeAddress(sent[i]);
        if (!address.isEmpty()) Check(tarvesk::EnvelopeAddress(read[i]) == address);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = DecodeText(data, size);
    CheckServer(text);
    CheckReceivers(text);
    QStringList fields = text.split(QChar(0x1f));
    while (fields.size() < 3) fields.append(QString());
    CheckServer(fields[0]);
    CheckReceivers(fields[1]);
    CheckMessage(fields[0], fields[1], fields[2]);
    return 0;
}
