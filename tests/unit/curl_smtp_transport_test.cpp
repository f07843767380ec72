#include "platform/curl_smtp_transport.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QFile>
#include <QTemporaryDir>
#include <chrono>

#include "support/process_stats.h"
#include "support/smtp_test_server.h"

namespace tarvesk {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

// Short enough for a quick suite, long enough for a loaded machine.
const CurlSmtpTransport::Limits kShort{milliseconds(2000), milliseconds(5000)};
// "It does not hang": far above kShort, far below a stuck call.
constexpr milliseconds::rep kGenerousMs = 30000;

MailMessage Mail(const QString& to = QStringLiteral("boss@example.test")) {
    MailMessage m;
    m.server = QStringLiteral("127.0.0.1");
    m.from = QStringLiteral("watchdog@example.test");
    m.to = to;
    m.subject = QStringLiteral("Reset IIS");
    m.htmlBody = QStringLiteral("<HTML><BODY>Dear Sirs,<BR>Thanks.</BODY></HTML>");
    return m;
}

struct Timed {
    MailOutcome outcome;
    milliseconds took;
};

Timed Send(int port, const MailMessage& m, const CurlSmtpTransport::Limits& limits = kShort) {
    CurlSmtpTransport transport(port, limits);
    const auto start = std::chrono::steady_clock::now();
    MailOutcome outcome = transport.send(m);
    return {outcome, std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now() - start)};
}

// A loopback port that nobody listens on.
int ClosedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

TEST(CurlSmtpTransport, DeliversWithoutAuthenticationWhenAccountIsEmpty) {
    SmtpTestServer server;
    ASSERT_TRUE(server.isRunning());
    MailMessage m = Mail(QStringLiteral("boss@example.test"));
    m.from = QStringLiteral("  Watchdog <watchdog@example.test> ");
    m.cc = QStringLiteral("deputy@example.test");
    m.bcc = QStringLiteral("hidden@example.test");
    m.password = QStringLiteral("ignored without an account");

    const MailOutcome outcome = Send(server.port(), m).outcome;
    EXPECT_EQ(outcome.failure, MailFailure::None) << outcome.description.toStdString();

    const auto messages = server.messages();
    ASSERT_EQ(messages.size(), 1);
    const auto& got = messages.first();
    EXPECT_EQ(got.mailFrom, QStringLiteral("watchdog@example.test"));
    EXPECT_EQ(got.rcptTos, (QStringList{"boss@example.test", "deputy@example.test", "hidden@example.test"}));
    EXPECT_FALSE(got.login.has_value());
    EXPECT_TRUE(got.parseError.isEmpty()) << got.parseError.toStdString();
    EXPECT_TRUE(got.defects.isEmpty()) << got.defects.join(',').toStdString();
    EXPECT_EQ(got.contentType, QStringLiteral("text/html"));
    EXPECT_EQ(got.header("Subject"), QStringLiteral("Reset IIS"));
    EXPECT_EQ(got.header("Cc"), QStringLiteral("deputy@example.test"));
    EXPECT_EQ(got.headerCount("Bcc"), 0);
    EXPECT_EQ(got.body, m.htmlBody);
}

// The account switches authentication on by an exact comparison with "";
// PLAIN and LOGIN both work, and an empty password goes out as empty.
TEST(CurlSmtpTransport, AuthenticatesWhenAccountIsGiven) {
    struct Case {
        QStringList serverOptions;
        QString account;
        QString password;
    };
    const Case cases[] = {
        {{"--auth", "user:secret"}, "user", "secret"},
        {{"--auth", "user:secret", "--auth-exclude", "PLAIN"}, "user", "secret"},
        {{"--auth", "user:"}, "user", ""},
        {{"--auth", " :pw"}, " ", "pw"},
        {{"--auth", "用户:密码"}, "用户", "密码"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.serverOptions.join(' ').toStdString());
        SmtpTestServer server(c.serverOptions + QStringList{"--require-auth"});
        ASSERT_TRUE(server.isRunning());
        MailMessage m = Mail();
        m.account = c.account;
        m.password = c.password;
        const MailOutcome outcome = Send(server.port(), m).outcome;
        EXPECT_EQ(outcome.failure, MailFailure::None) << outcome.description.toStdString();
        const auto messages = server.messages();
        ASSERT_EQ(messages.size(), 1);
        EXPECT_EQ(messages.first().login, std::optional<QString>(c.account));
    }
}

TEST(CurlSmtpTransport, TwoReceiversInOneFieldBothGetTheMail) {
    SmtpTestServer server;
    ASSERT_TRUE(server.isRunning());
    ASSERT_EQ(Send(server.port(), Mail(QStringLiteral("a@x.test; b@x.test"))).outcome.failure, MailFailure::None);
    const auto messages = server.messages();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages.first().rcptTos, (QStringList{"a@x.test", "b@x.test"}));
    // A reader sees both, too: the ";" is no list separator in a header.
    EXPECT_EQ(messages.first().header("To"), QStringLiteral("a@x.test, b@x.test"));
}

TEST(CurlSmtpTransport, RefusalsAfterTheGreetingAreClassified) {
    struct Case {
        QStringList serverOptions;
        QString account;
        MailFailure expected;
        const char* inDescription;
    };
    const Case cases[] = {
        {{"--auth", "user:secret"}, "user", MailFailure::Authentication, ""},  // wrong password
        {{"--auth", "user:secret", "--require-auth"}, "", MailFailure::Authentication, "530"},
        {{"--refuse-sender", "watchdog@example.test"}, "", MailFailure::Authentication, "MAIL failed"},
        {{"--refuse-rcpt", "bad@example.test"}, "", MailFailure::Receiver, "RCPT failed"},
        {{"--drop-during-data"}, "", MailFailure::SendFailed, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.serverOptions.join(' ').toStdString());
        SmtpTestServer server(c.serverOptions);
        ASSERT_TRUE(server.isRunning());
        MailMessage m = Mail(QStringLiteral("good@example.test, bad@example.test"));
        m.account = c.account;
        m.password = QStringLiteral("wrong");
        const Timed sent = Send(server.port(), m);
        EXPECT_EQ(sent.outcome.failure, c.expected);
        EXPECT_FALSE(sent.outcome.description.isEmpty());
        EXPECT_TRUE(sent.outcome.description.contains(QLatin1String(c.inDescription)))
            << sent.outcome.description.toStdString();
        EXPECT_LT(sent.took.count(), kGenerousMs);
        EXPECT_TRUE(server.messages().isEmpty());
    }
}

TEST(CurlSmtpTransport, NoReceiverFailsWithoutConnecting) {
    SmtpTestServer server;
    ASSERT_TRUE(server.isRunning());
    MailMessage m = Mail(QStringLiteral(" ; ,, ;"));
    m.cc = QStringLiteral(" ");
    m.bcc = QStringLiteral(";");
    const MailOutcome outcome = Send(server.port(), m).outcome;
    EXPECT_EQ(outcome.failure, MailFailure::Receiver);
    EXPECT_FALSE(outcome.description.isEmpty());
    EXPECT_EQ(server.connectionCount(), 0);

    // The same server does see a proper send: the count above means something.
    m.bcc = QStringLiteral("hidden@example.test");
    EXPECT_EQ(Send(server.port(), m).outcome.failure, MailFailure::None);
    EXPECT_EQ(server.connectionCount(), 1);
}

TEST(CurlSmtpTransport, NoServerOrNoGreetingIsConnect) {
    {
        SCOPED_TRACE("nobody listens");
        const Timed sent = Send(ClosedPort(), Mail());
        EXPECT_EQ(sent.outcome.failure, MailFailure::Connect);
        EXPECT_FALSE(sent.outcome.description.isEmpty());
    }
    {
        SCOPED_TRACE("name does not resolve");
        MailMessage m = Mail();
        m.server = QStringLiteral("nonexistent.invalid");
        const Timed sent = Send(25, m);
        EXPECT_EQ(sent.outcome.failure, MailFailure::Connect);
        EXPECT_LT(sent.took.count(), kGenerousMs);
    }
    // Connected, but never greeted with a 220: still no usable server.
    for (const char* mode : {"never-greet", "bad-greeting", "huge-greeting", "endless-greeting"}) {
        SCOPED_TRACE(mode);
        SmtpTestServer server({"--mode", mode});
        ASSERT_TRUE(server.isRunning());
        const Timed sent = Send(server.port(), Mail());
        EXPECT_EQ(sent.outcome.failure, MailFailure::Connect) << sent.outcome.description.toStdString();
        EXPECT_LT(sent.took.count(), kGenerousMs);
        EXPECT_EQ(server.connectionCount(), 1);
    }
}

TEST(CurlSmtpTransport, ServerFallingSilentEndsWithinTheBound) {
    struct Case {
        QStringList serverOptions;
        MailFailure expected;
    };
    const Case cases[] = {
        {{"--mode", "silent-after-greeting"}, MailFailure::Authentication},
        {{"--mode", "endless-ehlo"}, MailFailure::Authentication},
        {{"--no-answer-after-data"}, MailFailure::SendFailed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.serverOptions.join(' ').toStdString());
        SmtpTestServer server(c.serverOptions);
        ASSERT_TRUE(server.isRunning());
        const Timed sent = Send(server.port(), Mail());
        EXPECT_EQ(sent.outcome.failure, c.expected) << sent.outcome.description.toStdString();
        EXPECT_LT(sent.took.count(), kGenerousMs);
    }
}

// Servers that talk without end must not make the transport keep what they
// say: a 1 MB greeting line and endless replies leave memory where it was.
TEST(CurlSmtpTransport, TalkativeServersDoNotGrowMemory) {
    Send(ClosedPort(), Mail());  // warm-up: libcurl's one-time set-up
    const long long before = ResidentKiB();
    for (const char* mode : {"huge-greeting", "endless-greeting", "endless-ehlo"}) {
        SCOPED_TRACE(mode);
        SmtpTestServer server({"--mode", mode});
        ASSERT_TRUE(server.isRunning());
        EXPECT_NE(Send(server.port(), Mail()).outcome.failure, MailFailure::None);
    }
    const long long after = ResidentKiB();
    if (before < 0 || after < 0) GTEST_SKIP() << "no VmRSS in /proc/self/status";
    EXPECT_LT(after - before, 8 * 1024);
}

// After the mail is taken, libcurl's QUIT must not keep the call waiting for
// an answer that never comes (by default up to the whole-send bound).
TEST(CurlSmtpTransport, UnansweredQuitDoesNotHoldTheCall) {
    SmtpTestServer server({"--no-answer-to-quit"});
    ASSERT_TRUE(server.isRunning());
    const Timed sent = Send(server.port(), Mail(), {milliseconds(2000), seconds(120)});
    EXPECT_EQ(sent.outcome.failure, MailFailure::None) << sent.outcome.description.toStdString();
    EXPECT_LT(sent.took.count(), kGenerousMs);
    EXPECT_EQ(server.messages().size(), 1);
}

TEST(CurlSmtpTransport, ChineseSubjectAndBodyRoundTrip) {
    SmtpTestServer server;
    ASSERT_TRUE(server.isRunning());
    MailMessage m = Mail();
    m.subject = QStringLiteral("网站监控：IIS 已重置，服务器状态需要检查。请尽快查看日志并确认网站已经恢复正常运行。");
    m.htmlBody = QStringLiteral("<HTML><BODY>您好，<BR>这是一封测试邮件。</BODY></HTML>");
    ASSERT_EQ(Send(server.port(), m).outcome.failure, MailFailure::None);
    const auto messages = server.messages();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages.first().header("Subject"), m.subject);
    EXPECT_EQ(messages.first().body, m.htmlBody);
    EXPECT_TRUE(messages.first().defects.isEmpty()) << messages.first().defects.join(',').toStdString();
}

TEST(CurlSmtpTransport, AttachmentOnlyWhenTheFileExists) {
    SmtpTestServer server;
    ASSERT_TRUE(server.isRunning());
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());

    MailMessage m = Mail();
    m.attachment = dir.filePath(QStringLiteral("missing.log"));
    ASSERT_EQ(Send(server.port(), m).outcome.failure, MailFailure::None);

    static const char raw[] = "binary\0\xff\r\n.\r\nline after a lone dot\n";
    const QByteArray content(raw, sizeof raw - 1);
    m.attachment = dir.filePath(QStringLiteral("日志 2026.log"));
    QFile file(m.attachment);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
    file.close();
    ASSERT_EQ(Send(server.port(), m).outcome.failure, MailFailure::None);

    const auto messages = server.messages();
    ASSERT_EQ(messages.size(), 2);
    EXPECT_EQ(messages[0].contentType, QStringLiteral("text/html"));
    EXPECT_TRUE(messages[0].attachments.isEmpty());
    EXPECT_EQ(messages[1].contentType, QStringLiteral("multipart/mixed"));
    EXPECT_EQ(messages[1].body, m.htmlBody);
    ASSERT_EQ(messages[1].attachments.size(), 1);
    EXPECT_EQ(messages[1].attachments[0].fileName, QStringLiteral("日志 2026.log"));
    EXPECT_EQ(messages[1].attachments[0].contentType, QStringLiteral("application/octet-stream"));
    EXPECT_EQ(messages[1].attachments[0].data, content);
    EXPECT_TRUE(messages[1].defects.isEmpty()) << messages[1].defects.join(',').toStdString();
}

TEST(CurlSmtpTransport, ServerNameIsTrimmedAndIpv6LiteralsWork) {
    {
        SmtpTestServer server;
        ASSERT_TRUE(server.isRunning());
        MailMessage m = Mail();
        m.server = QStringLiteral("  127.0.0.1 ");
        EXPECT_EQ(Send(server.port(), m).outcome.failure, MailFailure::None);
    }
    SmtpTestServer server6({"--bind", "::1"});
    if (!server6.isRunning()) GTEST_SKIP() << "no IPv6 loopback here";
    MailMessage m = Mail();
    m.server = QStringLiteral(" ::1 ");
    EXPECT_EQ(Send(server6.port(), m).outcome.failure, MailFailure::None);
    EXPECT_EQ(server6.messages().size(), 1);
}

}  // namespace
}  // namespace tarvesk
