#include "notify/mime_message.h"

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QTimeZone>

namespace tarvesk {
namespace {

const QDateTime kDate(QDate(2026, 12, 8), QTime(9, 7, 3), QTimeZone(0));

// Decodes the "=?UTF-8?B?...?=" words of a header and joins them, as
// RFC 2047 section 6.2 says a reader must (blanks between words dropped).
QString DecodeWords(const QByteArray& header) {
    static const QRegularExpression word(QStringLiteral("=\\?UTF-8\\?B\\?([A-Za-z0-9+/=]*)\\?="));
    QByteArray utf8;
    auto it = word.globalMatch(QString::fromLatin1(header));
    while (it.hasNext()) utf8 += QByteArray::fromBase64(it.next().captured(1).toLatin1());
    return QString::fromUtf8(utf8);
}

QList<QByteArray> Lines(const QByteArray& text) { return text.split('\n'); }

// Header lines, unfolded, before the first empty line.
QList<QByteArray> Headers(const QByteArray& message) {
    QByteArray head = message.left(message.indexOf("\r\n\r\n"));
    head.replace("\r\n ", " ");
    return head.replace("\r\n", "\n").split('\n');
}

TEST(MimeMessage, LongChineseSubjectBecomesShortEncodedWordsThatDecodeBack) {
    const QString subjects[] = {
        QStringLiteral("网站监控：IIS 已重置，服务器状态需要检查。请尽快查看日志并确认网站已经恢复正常运行，谢谢！"),
        QString(40, QChar(0x4E2D)) + QStringLiteral(" mixed ASCII ") + QStringLiteral("😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀"),
        QStringLiteral("Ünïcödé"),
    };
    for (const QString& subject : subjects) {
        SCOPED_TRACE(subject.toStdString());
        const QByteArray header = MimeMessage::SubjectHeader(subject);
        EXPECT_TRUE(header.startsWith("Subject: =?UTF-8?B?"));
        EXPECT_EQ(DecodeWords(header), subject);
        static const QRegularExpression word(QStringLiteral("=\\?[^ ]*\\?="));
        for (const QByteArray& line : header.split('\n')) {
            EXPECT_LE(line.trimmed().size(), 76) << line.toStdString();
            auto words = word.globalMatch(QString::fromLatin1(line));
            while (words.hasNext()) {
                const QString w = words.next().captured();
                EXPECT_LE(w.size(), 75);
                // Each word carries whole characters: it decodes on its own.
                EXPECT_FALSE(DecodeWords(w.toLatin1()).contains(QChar::ReplacementCharacter)) << w.toStdString();
            }
        }
    }
}

TEST(MimeMessage, AsciiSubjectStaysPlainAndFoldsAtBlanks) {
    EXPECT_EQ(MimeMessage::SubjectHeader(QStringLiteral("Reset IIS")), QByteArray("Subject: Reset IIS"));
    EXPECT_EQ(MimeMessage::SubjectHeader(QString()), QByteArray("Subject:"));

    QString longSubject;
    for (int i = 0; i < 30; ++i) longSubject += QStringLiteral("word%1 ").arg(i);
    longSubject = longSubject.trimmed();
    QByteArray header = MimeMessage::SubjectHeader(longSubject);
    for (const QByteArray& line : header.split('\n')) EXPECT_LE(line.trimmed().size(), 76);
    header.replace("\r\n", "");  // RFC 5322 section 2.2.3 unfolding
    EXPECT_EQ(header, "Subject: " + longSubject.toLatin1());

    // Text that a reader would take for an encoded word, and a line break
    // that would start a header of its own, must not survive as such.
    EXPECT_EQ(DecodeWords(MimeMessage::SubjectHeader(QStringLiteral("=?UTF-8?B?SGk=?="))),
              QStringLiteral("=?UTF-8?B?SGk=?="));
    EXPECT_FALSE(MimeMessage::SubjectHeader(QStringLiteral("x\r\nBcc: spy@x.test")).contains("\nBcc:"));
}

TEST(MimeMessage, HeaderSetAndBase64Body) {
    MailMessage m;
    m.from = QStringLiteral("watchdog@example.test");
    m.to = QStringLiteral("a@x.test; b@x.test");
    m.bcc = QStringLiteral("hidden@x.test");
    m.subject = QStringLiteral("Reset IIS");
    m.htmlBody = QString(300, QChar(0x6D4B)) + QStringLiteral("<BR>end");
    const QByteArray text = *MimeMessage(m, kDate, QStringLiteral("web_01.example.")).compose(nullptr);

    EXPECT_EQ(text.count("\n"), text.count("\r\n"));
    const QList<QByteArray> headers = Headers(text);
    const QList<QByteArray> expected = {
        "Date: Tue, 08 Dec 2026 09:07:03 +0000",
        "From: watchdog@example.test",
        "To: a@x.test, b@x.test",
        "Subject: Reset IIS",
        "MIME-Version: 1.0",
        "Content-Type: text/html; charset=UTF-8",
        "Content-Transfer-Encoding: base64",
    };
    for (const QByteArray& h : expected) EXPECT_TRUE(headers.contains(h)) << h.toStdString();
    for (const QByteArray& h : headers) {
        EXPECT_FALSE(h.startsWith("Bcc:") || h.startsWith("Cc:")) << h.toStdString();
    }
    const auto id = std::find_if(headers.begin(), headers.end(),
                                 [](const QByteArray& h) { return h.startsWith("Message-ID: <"); });
    ASSERT_NE(id, headers.end());
    EXPECT_TRUE(id->endsWith("@web01.example>")) << id->toStdString();

    const QByteArray body = text.mid(text.indexOf("\r\n\r\n") + 4);
    for (const QByteArray& line : Lines(body)) EXPECT_LE(line.size(), 77);  // 76 and the CR
    EXPECT_EQ(QString::fromUtf8(QByteArray::fromBase64(body)), m.htmlBody);

    m.cc = QStringLiteral("张三 <deputy@x.test>");
    const QByteArray withCc = *MimeMessage(m, kDate, QString()).compose(nullptr);
    const QList<QByteArray> ccHeaders = Headers(withCc);
    const auto cc = std::find_if(ccHeaders.begin(), ccHeaders.end(),
                                 [](const QByteArray& h) { return h.startsWith("Cc: "); });
    ASSERT_NE(cc, ccHeaders.end());
    EXPECT_TRUE(cc->endsWith(" <deputy@x.test>"));
    EXPECT_EQ(DecodeWords(*cc), QStringLiteral("张三"));
}

TEST(MimeMessage, DateUsesTheOffsetAndEnglishNames) {
    EXPECT_EQ(MimeMessage::FormatDate(QDateTime(QDate(2027, 1, 3), QTime(23, 59, 59),
                                                QTimeZone(8 * 3600))),
              QByteArray("Sun, 03 Jan 2027 23:59:59 +0800"));
    EXPECT_EQ(MimeMessage::FormatDate(QDateTime(QDate(2026, 7, 1), QTime(0, 0, 0),
                                                QTimeZone(-(3 * 3600 + 1800)))),
              QByteArray("Wed, 01 Jul 2026 00:00:00 -0330"));
}

TEST(MimeMessage, MessageIdsDiffer) {
    const MailMessage m;
    EXPECT_NE(MimeMessage(m, kDate, QStringLiteral("h")).messageId(),
              MimeMessage(m, kDate, QStringLiteral("h")).messageId());
    EXPECT_TRUE(MimeMessage(m, kDate, QStringLiteral("..")).messageId().endsWith("@localhost>"));
}

TEST(MimeMessage, ReceiverFieldSplitsOnCommaAndSemicolon) {
    EXPECT_EQ(SplitReceivers(QStringLiteral("a@x; b@x")), (QStringList{"a@x", "b@x"}));
    EXPECT_EQ(SplitReceivers(QStringLiteral(" a@x ,b@x;;c@x ; ")), (QStringList{"a@x", "b@x", "c@x"}));
    EXPECT_EQ(SplitReceivers(QStringLiteral(" ; , ;\t")), QStringList());
    EXPECT_EQ(SplitReceivers(QString()), QStringList());
    // Separators inside a quoted name or the brackets belong to the entry.
    EXPECT_EQ(SplitReceivers(QStringLiteral("\"Doe, John\" <john@x>;\"a\\\";b\" <c@x>, <d,e@x>")),
              (QStringList{"\"Doe, John\" <john@x>", "\"a\\\";b\" <c@x>", "<d,e@x>"}));
    // An unclosed quote runs to the end rather than splitting a name.
    EXPECT_EQ(SplitReceivers(QStringLiteral("\"Doe, John <john@x>, b@x")),
              QStringList{"\"Doe, John <john@x>, b@x"});
}

TEST(MimeMessage, EnvelopeAddressIsTheBareAddressOrNothing) {
    const struct {
        const char* entry;
        const char* address;  // "" when the entry holds no usable one
    } cases[] = {
        {" Boss <boss@x> ", "boss@x"},
        {" boss@x ", "boss@x"},
        {"<boss@x>", "boss@x"},
        {"\"Doe, John\" <john@x>", "john@x"},
        {"\"a <b> c\" <real@x>", "real@x"},
        {"root", "root"},
        {"Name <>", ""},
        {"\"Doe, John\"", ""},
        {"<a@x> trailing", ""},
        {"Name <a b@x>", ""},
        {"a@x\u3000b@x", ""},  // an ideographic space between two addresses
    };
    for (const auto& c : cases) {
        EXPECT_EQ(EnvelopeAddress(QString::fromUtf8(c.entry)), QString::fromUtf8(c.address)) << c.entry;
    }
}

TEST(MimeMessage, AddressHeadersKeepDisplayNamesWithCommas) {
    MailMessage m;
    m.from = QStringLiteral("watchdog@x.test");
    m.to = QStringLiteral(" \"Doe, John\" <john@x.test> ;b@x.test\r\n;");
    m.cc = QStringLiteral("\"张, 三\" <z@x.test>, \"Roe; Ann\" <ann@x.test>");
    const QList<QByteArray> headers = Headers(*MimeMessage(m, kDate, QString()).compose(nullptr));
    EXPECT_TRUE(headers.contains("To: \"Doe, John\" <john@x.test>, b@x.test"));
    const auto cc = std::find_if(headers.begin(), headers.end(),
                                 [](const QByteArray& h) { return h.startsWith("Cc: "); });
    ASSERT_NE(cc, headers.end());
    EXPECT_TRUE(cc->endsWith(" <z@x.test>, \"Roe; Ann\" <ann@x.test>")) << cc->toStdString();
    EXPECT_EQ(DecodeWords(*cc), QStringLiteral("张, 三"));
}

}  // namespace
}  // namespace tarvesk
