#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace tarvesk {

// One mail as the window asks for it: the mail fields as typed.
struct MailMessage {
    QString server;      // SMTP server: host, host:port, [IPv6] or [IPv6]:port
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

// The entries of a receiver field: the text split on "," and ";" outside
// double quotes and angle brackets (so `"Doe, John" <john@x>` stays one
// entry), each trimmed of white space, empty entries dropped.
QStringList SplitReceivers(const QString& field);

// The bare address SMTP wants in MAIL FROM / RCPT TO, from an entry written
// as `addr`, `<addr>` or `Name <addr>` (the name may be quoted). Empty when
// the entry holds no usable address: nothing between the brackets, text
// after them, or white space, controls, quotes, brackets, separators or a
// lone surrogate in it.
QString EnvelopeAddress(const QString& mailbox);

// One outgoing mail as RFC 5322 text with CRLF line ends: Date, From, To, Cc,
// Subject, Message-ID and the MIME headers, then the HTML body in base64, or
// a multipart/mixed body when the message names an existing attachment file.
// Bcc never appears: those receivers live only in the SMTP envelope.
class MimeMessage {
public:
    // `messageIdDomain` is the right-hand side of the Message-ID (the host
    // name); characters not allowed there are dropped.
    MimeMessage(const MailMessage& message, const QDateTime& date, const QString& messageIdDomain);

    // The whole message. Nothing, with *error set, when the attachment file
    // exists but cannot be read; a path with no file behind it is skipped.
    std::optional<QByteArray> compose(QString* error) const;

    // "<...@domain>", unique per object: time, 64 random bits, host.
    const QByteArray& messageId() const { return m_messageId; }

    // RFC 5322 section 3.3 form, English names: "Tue, 08 Dec 2026 09:07:03 +0000".
    static QByteArray FormatDate(const QDateTime& date);

    // The complete Subject header line(s) without the final CRLF: plain when
    // the text is printable ASCII, otherwise RFC 2047 encoded words, folded so
    // that no line passes 76 characters where a fold is possible.
    static QByteArray SubjectHeader(const QString& subject);

private:
    QByteArray headerBlock() const;

    MailMessage m_message;
    QDateTime m_date;
    QByteArray m_messageId;
    QByteArray m_boundary;
};

}  // namespace tarvesk
