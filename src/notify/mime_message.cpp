#include "notify/mime_message.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace tarvesk {

namespace {

// RFC 2047 section 2: a line holding encoded words stays within 76
// characters, and one encoded word within 75. Plain lines are folded at the
// same column, inside RFC 5322's recommended 78.
constexpr int kFoldColumn = 76;
constexpr int kMaxEncodedWord = 75;
// RFC 5322 section 2.1.1: the hard limit, CRLF excluded.
constexpr int kMaxLineLength = 998;
// RFC 2045 section 6.8.
constexpr int kBase64LineLength = 76;
// RFC 5321 section 4.5.3.1.3: a path of 256 octets, the brackets included.
constexpr int kMaxAddressLength = 254;

const QByteArray kCrlf = QByteArrayLiteral("\r\n");

bool IsWsp(char c) { return c == ' ' || c == '\t'; }

// A header value must not carry a line break of its own (header injection) or
// other control characters; they become blanks.
QString WithoutControls(const QString& text) {
    QString out = text;
    for (QChar& c : out) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f) c = QLatin1Char(' ');
    }
    return out;
}

bool IsPrintableAscii(const QString& text) {
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() > 0x7e) return false;
    }
    return true;
}

bool IsAscii(const QString& text) {
    for (const QChar c : text) {
        if (c.unicode() > 0x7f) return false;
    }
    return true;
}

// Pieces of the form "white space, then a word": folding may only happen in
// front of white space (RFC 5322 section 3.2.2).
QList<QByteArray> Tokens(const QByteArray& text) {
    QList<QByteArray> tokens;
    qsizetype i = 0;
    while (i < text.size()) {
        const qsizetype start = i;
        while (i < text.size() && IsWsp(text[i])) ++i;
        while (i < text.size() && !IsWsp(text[i])) ++i;
        tokens.append(text.mid(start, i - start));
    }
    return tokens;
}

// Splits UTF-8 text into RFC 2047 "B" encoded words. Each word holds whole
// characters (section 5 forbids splitting one) and is at most `firstLimit`
// characters long for the first word and kMaxEncodedWord after that.
QList<QByteArray> EncodedWords(const QString& text, int firstLimit) {
    static const QByteArray prefix = QByteArrayLiteral("=?UTF-8?B?");
    static const QByteArray suffix = QByteArrayLiteral("?=");
    const auto wordLength = [](qsizetype bytes) {
        return prefix.size() + suffix.size() + 4 * ((bytes + 2) / 3);
    };

    const QByteArray utf8 = text.toUtf8();
    QList<QByteArray> words;
    int limit = std::max(firstLimit, 24);  // room for at least one 4-byte character
    qsizetype chunkStart = 0;
    qsizetype i = 0;
    while (i < utf8.size()) {
        qsizetype next = i + 1;
        while (next < utf8.size() && (static_cast<unsigned char>(utf8[next]) & 0xC0) == 0x80) ++next;
        if (i > chunkStart && wordLength(next - chunkStart) > limit) {
            words.append(prefix + utf8.mid(chunkStart, i - chunkStart).toBase64() + suffix);
            chunkStart = i;
            limit = kMaxEncodedWord;
        }
        i = next;
    }
    if (i > chunkStart) {
        words.append(prefix + utf8.mid(chunkStart, i - chunkStart).toBase64() + suffix);
    }
    return words;
}

// Builds one header field, folding in front of white space once a line would
// pass kFoldColumn. A line is never folded before it holds a word, so no line
// is made of white space alone.
class FoldedHeader {
public:
    explicit FoldedHeader(const char* name) : m_text(name) {
        m_text += ':';
        m_column = m_text.size();
    }

    void add(const QByteArray& token) {
        const bool startsWithSpace = !token.isEmpty() && IsWsp(token[0]);
        const bool hasWord = token.size() > 0 && !IsWsp(token[token.size() - 1]);
        if (startsWithSpace && hasWord && m_lineHasWord && m_column + token.size() > kFoldColumn) {
            m_text += kCrlf;
            m_column = 0;
        }
        m_text += token;
        m_column += token.size();
        m_longest = std::max(m_longest, m_column);
        if (hasWord) m_lineHasWord = true;
    }

    void addText(const QByteArray& text) {
        for (const QByteArray& token : Tokens(text)) add(token);
    }

    // Encoded words, each after a blank, sized to the room left on the line.
    void addEncoded(const QString& text) {
        const int room = kFoldColumn - static_cast<int>(m_column) - 1;
        const QList<QByteArray> words = EncodedWords(text, room);
        for (const QByteArray& word : words) add(' ' + word);
    }

    const QByteArray& text() const { return m_text; }
    qsizetype longestLine() const { return m_longest; }

private:
    QByteArray m_text;
    qsizetype m_column = 0;
    qsizetype m_longest = 0;
    bool m_lineHasWord = false;
};

// A quoted display name without its quotes and quoted-pair backslashes
// (RFC 5322 section 3.2.4), ready to be encoded.
QString Unquoted(const QString& name) {
    if (name.size() < 2 || !name.startsWith(QLatin1Char('"')) || !name.endsWith(QLatin1Char('"'))) return name;
    QString out;
    bool escaped = false;
    for (const QChar c : name.mid(1, name.size() - 2)) {
        if (!escaped && c == QLatin1Char('\\')) {
            escaped = true;
            continue;
        }
        escaped = false;
        out += c;
    }
    return out;
}

// From, To and Cc: the entries as typed, joined by ", ": RFC 5322 section
// 3.4 separates a list with commas only, and a strict reader shows (and
// replies to) just the first address of a ";" list. A non-ASCII display name
// in front of "<address>" becomes encoded words, which RFC 2047 section 5 (3)
// allows in a phrase. A name too long for one line is encoded too, so that
// it can be folded (RFC 5322 section 2.1.1: 998 characters at most).
QByteArray AddressHeader(const char* name, const QString& field, bool encodeEveryName = false) {
    static const QRegularExpression namedMailbox(QStringLiteral("^(.*?)\\s*(<[^<>]*>)$"),
                                                 QRegularExpression::DotMatchesEverythingOption);
    FoldedHeader header(name);
    const QStringList entries = SplitReceivers(WithoutControls(field));
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const QString& entry = entries[i];
        const QByteArray delimiter = i + 1 < entries.size() ? QByteArray(",") : QByteArray();
        const QRegularExpressionMatch match = namedMailbox.match(entry);
        const QString displayName = match.hasMatch() ? Unquoted(match.captured(1)).trimmed() : QString();
        if (!displayName.isEmpty() && (encodeEveryName || !IsAscii(displayName))) {
            header.addEncoded(displayName);
            header.addText(' ' + match.captured(2).toUtf8() + delimiter);
        } else {
            header.addText(' ' + entry.toUtf8() + delimiter);
        }
    }
    if (!encodeEveryName && header.longestLine() > kMaxLineLength) return AddressHeader(name, field, true);
    return header.text();
}

QByteArray Base64Lines(const QByteArray& data) {
    const QByteArray encoded = data.toBase64();
    QByteArray out;
    out.reserve(encoded.size() + encoded.size() / kBase64LineLength * 2 + 2);
    for (qsizetype i = 0; i < encoded.size(); i += kBase64LineLength) {
        out += encoded.mid(i, kBase64LineLength);
        out += kCrlf;
    }
    return out;
}

// A MIME parameter: a quoted string when the value allows it, otherwise the
// RFC 2231 section 4 extended form with UTF-8 and percent escapes.
QByteArray Parameter(const char* name, const QString& value) {
    const bool quotable = IsPrintableAscii(value) && !value.contains(QLatin1Char('"')) &&
                          !value.contains(QLatin1Char('\\')) && value.size() < 200;
    if (quotable) return QByteArray(name) + "=\"" + value.toLatin1() + '"';
    // Beyond the unreserved characters, these are attribute-chars of RFC 2231
    // section 7 too and may stand unescaped.
    return QByteArray(name) + "*=UTF-8''" + value.toUtf8().toPercentEncoding("!#$&+^`{|}");
}

QByteArray RandomHex(int words) {
    QByteArray out;
    for (int i = 0; i < words; ++i) {
        out += QByteArray::number(QRandomGenerator::system()->generate64(), 16).rightJustified(16, '0');
    }
    return out;
}

// RFC 5322 section 3.6.4: id-right is a dot-atom; keep the host name's
// letters, digits, hyphens and single inner dots.
QByteArray IdDomain(const QString& host) {
    QByteArray out;
    for (const QChar c : host) {
        const char16_t u = c.unicode();
        const bool keep = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') ||
                          u == '-' || u == '.';
        if (!keep) continue;
        if (u == '.' && (out.isEmpty() || out.endsWith('.'))) continue;
        out += static_cast<char>(u);
    }
    while (out.endsWith('.')) out.chop(1);
    return out.isEmpty() ? QByteArrayLiteral("localhost") : out;
}

}  // namespace

QStringList SplitReceivers(const QString& field) {
    QStringList out;
    QString current;
    bool quoted = false;
    bool escaped = false;
    bool inBrackets = false;
    const auto flush = [&] {
        const QString entry = current.trimmed();
        if (!entry.isEmpty()) out.append(entry);
        current.clear();
    };
    for (const QChar c : field) {
        if (escaped) {
            escaped = false;
        } else if (quoted) {
            if (c == QLatin1Char('\\')) escaped = true;
            if (c == QLatin1Char('"')) quoted = false;
        } else if (inBrackets) {
            if (c == QLatin1Char('>')) inBrackets = false;
        } else if (c == QLatin1Char('"')) {
            quoted = true;
        } else if (c == QLatin1Char('<')) {
            inBrackets = true;
        } else if (c == QLatin1Char(',') || c == QLatin1Char(';')) {
            flush();
            continue;
        }
        current += c;
    }
    flush();
    return out;
}

QString EnvelopeAddress(const QString& mailbox) {
    const QString entry = mailbox.trimmed();
    // The "<" that opens the address is the first one outside a quoted name.
    qsizetype open = -1;
    bool quoted = false;
    bool escaped = false;
    for (qsizetype i = 0; i < entry.size() && open < 0; ++i) {
        const QChar c = entry[i];
        if (escaped) {
            escaped = false;
        } else if (quoted && c == QLatin1Char('\\')) {
            escaped = true;
        } else if (c == QLatin1Char('"')) {
            quoted = !quoted;
        } else if (!quoted && c == QLatin1Char('<')) {
            open = i;
        }
    }
    QString address = entry;
    if (open >= 0) {
        // Nothing may follow the closing bracket.
        if (!entry.endsWith(QLatin1Char('>'))) return {};
        address = entry.mid(open + 1, entry.size() - open - 2).trimmed();
    }
    // White space of any script too (an ideographic space typed between two
    // addresses), nothing UTF-8 cannot carry (a lone surrogate), and no more
    // than SMTP takes.
    static const QString forbidden = QStringLiteral("<>\",;()\\");
    const QByteArray utf8 = address.toUtf8();
    const bool clean = std::none_of(address.begin(), address.end(), [](QChar c) {
        return c.unicode() <= 0x20 || c.unicode() == 0x7f || c.isSpace() || forbidden.contains(c);
    });
    const bool fits = utf8.size() <= kMaxAddressLength && QString::fromUtf8(utf8) == address;
    return !address.isEmpty() && clean && fits ? address : QString();
}

MimeMessage::MimeMessage(const MailMessage& message, const QDateTime& date,
                         const QString& messageIdDomain)
    : m_message(message), m_date(date) {
    m_messageId = '<' + QByteArray::number(QDateTime::currentMSecsSinceEpoch()) + '.' + RandomHex(1) +
                  '@' + IdDomain(messageIdDomain) + '>';
    // "=_" cannot occur in base64 text, so the boundary never collides with a
    // part's content (RFC 2046 section 5.1.1); the "=" needs the quotes.
    m_boundary = "=_" + RandomHex(2);
}

QByteArray MimeMessage::FormatDate(const QDateTime& date) {
    static const char* const days[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const QDate d = date.date();
    const QTime t = date.time();
    const int offset = date.offsetFromUtc();
    const int offsetMinutes = std::abs(offset) / 60;
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%s, %02d %s %04d %02d:%02d:%02d %c%02d%02d",
                  days[(d.dayOfWeek() + 6) % 7], d.day(), months[(d.month() + 11) % 12], d.year(),
                  t.hour(), t.minute(), t.second(), offset < 0 ? '-' : '+', offsetMinutes / 60,
                  offsetMinutes % 60);
    return QByteArray(buffer);
}

QByteArray MimeMessage::SubjectHeader(const QString& subject) {
    const QString text = WithoutControls(subject);
    // Plain text that merely looks like an encoded word would be decoded by
    // the reader; encode it so that it arrives as typed.
    if (IsPrintableAscii(text) && !text.contains(QLatin1String("=?"))) {
        FoldedHeader header("Subject");
        if (!text.isEmpty()) header.addText(' ' + text.toLatin1());
        if (header.longestLine() <= kMaxLineLength) return header.text();
    }
    FoldedHeader header("Subject");
    header.addEncoded(text);
    return header.text();
}

QByteArray MimeMessage::headerBlock() const {
    QByteArray out;
    out += "Date: " + FormatDate(m_date) + kCrlf;
    out += AddressHeader("From", m_message.from) + kCrlf;
    // An empty To or Cc field would not parse as an address list
    // (RFC 5322 section 3.4); leave such a header out.
    if (!m_message.to.trimmed().isEmpty()) out += AddressHeader("To", m_message.to) + kCrlf;
    if (!m_message.cc.trimmed().isEmpty()) out += AddressHeader("Cc", m_message.cc) + kCrlf;
    out += SubjectHeader(m_message.subject) + kCrlf;
    out += "Message-ID: " + m_messageId + kCrlf;
    out += "MIME-Version: 1.0" + kCrlf;
    return out;
}

std::optional<QByteArray> MimeMessage::compose(QString* error) const {
    static const QByteArray htmlHeaders =
        "Content-Type: text/html; charset=UTF-8" + kCrlf + "Content-Transfer-Encoding: base64" + kCrlf;
    const QByteArray html = Base64Lines(m_message.htmlBody.toUtf8());

    // The path is used untrimmed; only a text of blanks means "no attachment".
    const QString& path = m_message.attachment;
    if (path.trimmed().isEmpty() || !QFileInfo(path).isFile()) {
        return headerBlock() + htmlHeaders + kCrlf + html;
    }

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error) *error = QStringLiteral("The attachment %1 cannot be read: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    const QByteArray content = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        if (error) *error = QStringLiteral("The attachment %1 cannot be read: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    const QString fileName = WithoutControls(QFileInfo(path).fileName());

    const QByteArray delimiter = "--" + m_boundary + kCrlf;
    QByteArray out = headerBlock();
    out += "Content-Type: multipart/mixed;" + kCrlf + " boundary=\"" + m_boundary + '"' + kCrlf;
    out += kCrlf;
    out += "This is a multi-part message in MIME format." + kCrlf;
    out += kCrlf + delimiter;
    out += htmlHeaders + kCrlf + html;
    out += delimiter;
    out += "Content-Type: application/octet-stream;" + kCrlf + ' ' + Parameter("name", fileName) + kCrlf;
    out += "Content-Transfer-Encoding: base64" + kCrlf;
    out += "Content-Disposition: attachment;" + kCrlf + ' ' + Parameter("filename", fileName) + kCrlf;
    out += kCrlf + Base64Lines(content);
    out += "--" + m_boundary + "--" + kCrlf;
    return out;
}

}  // namespace tarvesk
