#include "platform/curl_smtp_transport.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QFile>
#include <QTemporaryDir>
#include <chrono>

#include "notify/mail_sender.h"
#include "support/process_stats.h"
#include "support/smtp_test_server.h"

namespace tarvesk {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

using Tls = CurlSmtpTransport::Tls;

// Short enough for a quick suite, long enough for a loaded machine. Test
// servers listen on random ports; this gives them what port 25 gets.
const CurlSmtpTransport::Options kShort{milliseconds(2000), milliseconds(5000), Tls::Opportunistic, {}};
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

// kShort, with the test server's CA trusted: a login goes only into TLS
// whose certificate verifies.
CurlSmtpTransport::Options Trusting(const SmtpTestServer& server) {
    CurlSmtpTransport::Options options = kShort;
    options.caFile = server.caFile();
    return options;
}

struct Timed {
    MailOutcome outcome;
    milliseconds took;
};

// Through the mail sender, as the window sends: to 127.0.0.1:PORT, or to the
// server field as the message has it when `port` is 0.
Timed Send(int port, MailMessage m, const CurlSmtpTransport::Options& options = kShort) {
    if (port > 0) m.server = QStringLiteral("127.0.0.1:%1").arg(port);
    CurlSmtpTransport transport(options);
    const auto start = std::chrono::steady_clock::now();
    MailOutcome outcome = MailSender(transport).send(m);
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
        SmtpTestServer server(c.serverOptions + QStringList{"--require-auth", "--starttls"});
        ASSERT_TRUE(server.isRunning());
        MailMessage m = Mail();
        m.account = c.account;
        m.password = c.password;
        const MailOutcome outcome = Send(server.port(), m, Trusting(server)).outcome;
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
        // The server's own reply is the description wherever it said no.
        {{"--starttls", "--auth", "user:secret"}, "user", MailFailure::Authentication,
         "535 5.7.8 Authentication credentials invalid"},
        {{"--auth", "user:secret", "--require-auth"}, "", MailFailure::Authentication, "530 5.7.0 Authentication required"},
        {{"--refuse-sender", "watchdog@example.test"}, "", MailFailure::Authentication, "553 5.7.1 Sender address rejected"},
        {{"--refuse-rcpt", "bad@example.test"}, "", MailFailure::Receiver, "550 5.1.1 Mailbox unavailable"},
        {{"--refuse-data", "554 5.7.1 Message rejected as spam"}, "", MailFailure::Authentication,
         "554 5.7.1 Message rejected as spam"},
        {{"--drop-during-data"}, "", MailFailure::Authentication, ""},  // a dropped line, too
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.serverOptions.join(' ').toStdString());
        SmtpTestServer server(c.serverOptions);
        ASSERT_TRUE(server.isRunning());
        MailMessage m = Mail(QStringLiteral("good@example.test, bad@example.test"));
        m.account = c.account;
        m.password = QStringLiteral("wrong");
        const Timed sent = Send(server.port(), m, Trusting(server));
        EXPECT_EQ(sent.outcome.failure, c.expected);
        EXPECT_FALSE(sent.outcome.description.isEmpty());
        if (*c.inDescription) {
            EXPECT_EQ(sent.outcome.description, QLatin1String(c.inDescription));
        }
        EXPECT_LT(sent.took.count(), kGenerousMs);
        EXPECT_TRUE(server.messages().isEmpty());
    }
}

// Settled before connecting: no entry at all, or one without a usable address.
TEST(CurlSmtpTransport, NoUsableReceiverFailsWithoutConnecting) {
    SmtpTestServer server;
    ASSERT_TRUE(server.isRunning());
    for (const char* to : {" ; ,, ;", "\"Doe, John\"", "ok@example.test, Name <>", "<a@example.test> x",
                           "John Doe", "\"Doe, John <john@example.test>"}) {
        SCOPED_TRACE(to);
        MailMessage m = Mail(QString::fromUtf8(to));
        m.cc = QStringLiteral(" ");
        m.bcc = QStringLiteral(";");
        const MailOutcome outcome = Send(server.port(), m).outcome;
        EXPECT_EQ(outcome.failure, MailFailure::Receiver);
        EXPECT_FALSE(outcome.description.isEmpty());
    }
    EXPECT_EQ(server.connectionCount(), 0);

    // The same server does see a proper send: the count above means something.
    MailMessage m = Mail(QStringLiteral(" ; ,, ;"));
    m.bcc = QStringLiteral("hidden@example.test");
    EXPECT_EQ(Send(server.port(), m).outcome.failure, MailFailure::None);
    EXPECT_EQ(server.connectionCount(), 1);
}

TEST(CurlSmtpTransport, DisplayNamesWithCommasReachTheEnvelopeBare) {
    SmtpTestServer server;
    ASSERT_TRUE(server.isRunning());
    const QString to = QStringLiteral("\"Doe, John\" <john@example.test>; Boss <boss@example.test>,plain@example.test");
    ASSERT_EQ(Send(server.port(), Mail(to)).outcome.failure, MailFailure::None);
    const auto messages = server.messages();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0].rcptTos, (QStringList{"john@example.test", "boss@example.test", "plain@example.test"}));
    EXPECT_EQ(messages[0].header("To"),
              QStringLiteral("\"Doe, John\" <john@example.test>, Boss <boss@example.test>, plain@example.test"));
    EXPECT_TRUE(messages[0].defects.isEmpty()) << messages[0].defects.join(',').toStdString();
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
        const Timed sent = Send(0, m);
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
        // Time-outs after the greeting fail the dialogue, as a refusal does.
        {{"--mode", "silent-after-greeting"}, MailFailure::Authentication},
        {{"--mode", "endless-ehlo"}, MailFailure::Authentication},
        {{"--no-answer-after-data"}, MailFailure::Authentication},
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
    const Timed sent = Send(server.port(), Mail(), {milliseconds(2000), seconds(120), Tls::Opportunistic, {}});
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

TEST(CurlSmtpTransport, ServerFieldNamesHostAndPort) {
    using Endpoint = CurlSmtpTransport::Endpoint;
    const struct {
        const char* server;
        std::optional<std::pair<QString, int>> expected;
    } cases[] = {
        {" mail.example.test ", {{"mail.example.test", 25}}},
        {"mail.example.test:587", {{"mail.example.test", 587}}},
        {"[2001:db8::1]", {{"2001:db8::1", 25}}},
        {"[fe80::1%eth0]:465", {{"fe80::1%eth0", 465}}},
        {"例子.测试:2525", {{"例子.测试", 2525}}},
        // Unbracketed, two colons or more: an IPv6 address on port 25, as
        // stored before brackets existed; a port needs the brackets.
        {" 2001:db8::1 ", {{"2001:db8::1", 25}}},
        {"::1", {{"::1", 25}}},
        {"::1:25", {{"::1:25", 25}}},
        {"fe80::1%eth0", {{"fe80::1%eth0", 25}}},
        {"1:2:3", std::nullopt},
        {"::1::2", std::nullopt},
        {"mail.example.test:25:25", std::nullopt},
        {"[:]", std::nullopt},
        {"[::1%]", std::nullopt},
        {"host%2F:25", std::nullopt},
        {"host:0", std::nullopt},
        {"host:65536", std::nullopt},
        {"10.0.0.1:65535", {{"10.0.0.1", 65535}}},
        {"host:", std::nullopt},
        {"host:+25", std::nullopt},
        {":25", std::nullopt},
        {"[::1", std::nullopt},
        {"[::1]:", std::nullopt},
        {"[::1]25", std::nullopt},
        {"[mail.example.test]:25", std::nullopt},
        {"user@host", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.server);
        const std::optional<Endpoint> got = CurlSmtpTransport::ParseServer(QString::fromUtf8(c.server));
        ASSERT_EQ(got.has_value(), c.expected.has_value());
        if (got) {
            EXPECT_EQ(std::make_pair(got->host, got->port), *c.expected);
        }
    }
}

TEST(CurlSmtpTransport, ServerAsTypedIsReached) {
    {
        SmtpTestServer server;
        ASSERT_TRUE(server.isRunning());
        MailMessage m = Mail();
        m.server = QStringLiteral("  127.0.0.1:%1 ").arg(server.port());
        EXPECT_EQ(Send(0, m).outcome.failure, MailFailure::None);
        // A port out of range is no connection, and none is tried.
        m.server = QStringLiteral("127.0.0.1:%1").arg(server.port() + 65536);
        const MailOutcome outcome = Send(0, m).outcome;
        EXPECT_EQ(outcome.failure, MailFailure::Connect);
        EXPECT_FALSE(outcome.description.isEmpty());
        EXPECT_EQ(server.connectionCount(), 1);
    }
    SmtpTestServer server6({"--bind", "::1"});
    if (!server6.isRunning()) GTEST_SKIP() << "no IPv6 loopback here";
    MailMessage m = Mail();
    m.server = QStringLiteral(" [::1]:%1 ").arg(server6.port());
    EXPECT_EQ(Send(0, m).outcome.failure, MailFailure::None);
    EXPECT_EQ(server6.messages().size(), 1);
}

// Test servers listen on random ports, so port 25 and port 465 behaviour is
// asked for through the options. Every row logs in as "user"; every relay
// offers AUTH in clear and takes it, so a password sent in clear would show
// in the server's record and deliver the mail. A login goes only into TLS
// whose certificate verifies; a mail that goes without it says why.
TEST(CurlSmtpTransport, TlsFollowsThePortAndThePasswordStaysInsideIt) {
    EXPECT_EQ(CurlSmtpTransport::TlsForPort(25), Tls::Opportunistic);
    EXPECT_EQ(CurlSmtpTransport::TlsForPort(465), Tls::Implicit);
    EXPECT_EQ(CurlSmtpTransport::TlsForPort(587), Tls::Required);
    const QStringList login = {"--auth", "user:secret"};
    const QStringList wantsLogin = login + QStringList{"--require-auth"};
    const QStringList starttls = {"--starttls"};
    const QStringList refused = {"--starttls", "--refuse-starttls"};
    const QStringList broken = {"--starttls", "--broken-tls"};
    const char* noTls = "530 5.7.0 Authentication required (the login was withheld: 127.0.0.1 offers no TLS";
    const char* handshake = "530 5.7.0 Authentication required (the login was withheld: the TLS handshake";
    const char* unverified = "(the login was withheld: the certificate of 127.0.0.1 does not verify: ";
    const QStringList tlsThenNoEhlo = starttls + login + QStringList{"--refuse-ehlo-after-tls"};
    const Tls t25 = Tls::Opportunistic, t587 = Tls::ByPort, t465 = Tls::Implicit;
    const MailFailure ok = MailFailure::None, connect = MailFailure::Connect, auth = MailFailure::Authentication;
    const struct Case {
        const char* name;
        QStringList serverOptions;
        Tls tls;
        bool trustTestCa;
        MailFailure expected;
        const char* inDescription;
        int connections;
        bool inTls = false;  // where the mail was taken
        const char* host = "127.0.0.1";
    } cases[] = {
        {"25, STARTTLS, trusted cert: login inside TLS", starttls + wantsLogin, t25, true, ok, "", 1, true},
        {"25, STARTTLS, untrusted cert, open relay: no login", starttls + login, t25, false, ok, "", 2, true},
        {"25, STARTTLS, untrusted cert, relay wants a login", starttls + wantsLogin, t25, false, auth, unverified, 2},
        {"25, no STARTTLS, open relay", login, t25, false, ok, "", 2},
        {"25, no STARTTLS, relay wants a login", wantsLogin, t25, false, auth, noTls, 2},
        {"25, no STARTTLS, relay refuses the receiver without a login",
         login + QStringList{"--refuse-rcpt", "boss@example.test"}, t25, false, MailFailure::Receiver,
         "550 5.1.1 Mailbox unavailable (the login was withheld: 127.0.0.1 offers no TLS", 2},
        {"25, STARTTLS refused, open relay", refused + login, t25, false, ok, "", 2},
        {"25, STARTTLS refused, relay wants a login", refused + wantsLogin, t25, false, auth, noTls, 2},
        {"25, handshake fails, open relay", broken + login, t25, false, ok, "", 2},
        {"25, handshake fails, relay wants a login", broken + wantsLogin, t25, false, auth, handshake, 2},
        {"25, EHLO refused: nothing offered", login + QStringList{"--helo-only"}, t25, false, ok, "", 2},
        // Once TLS is up, a failed greeting never leads to a plain retry.
        {"25, TLS up, then EHLO refused", tlsThenNoEhlo, t25, true, auth, "502", 1},
        {"25, unverified TLS up, then EHLO refused", tlsThenNoEhlo, t25, false, auth, "502", 2},
        {"587, trusted cert", starttls + wantsLogin, t587, true, ok, "", 1, true},
        {"587, untrusted cert", starttls + wantsLogin, t587, false, connect, "certificate", 1},
        {"587, certificate for other names", starttls + wantsLogin + QStringList{"--bind", "127.0.0.2"}, t587, true,
         connect, "127.0.0.2", 1, false, "127.0.0.2"},
        {"587, no STARTTLS", wantsLogin, t587, true, connect, "STARTTLS", 1},
        {"587, STARTTLS refused", refused + wantsLogin, t587, true, connect, "454", 1},
        {"465, trusted cert", QStringList{"--implicit-tls"} + wantsLogin, t465, true, ok, "", 1, true},
        {"465, untrusted cert", QStringList{"--implicit-tls"} + wantsLogin, t465, false, connect, "certificate", 1},
        {"465, server speaks plain", wantsLogin, t465, false, connect, "SSL", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SmtpTestServer server(c.serverOptions);
        ASSERT_TRUE(server.isRunning());
        MailMessage m = Mail();
        m.server = QStringLiteral("%1:%2").arg(QLatin1String(c.host)).arg(server.port());
        m.account = QStringLiteral("user");
        m.password = QStringLiteral("secret");
        CurlSmtpTransport::Options options = kShort;
        options.tls = c.tls;
        if (c.trustTestCa) options.caFile = server.caFile();
        const MailOutcome outcome = Send(0, m, options).outcome;
        EXPECT_EQ(outcome.failure, c.expected) << outcome.description.toStdString();
        EXPECT_TRUE(outcome.description.contains(QLatin1String(c.inDescription), Qt::CaseInsensitive))
            << outcome.description.toStdString();
        EXPECT_EQ(server.authInClearCount(), 0);
        EXPECT_EQ(server.connectionCount(), c.connections);
        const auto messages = server.messages();
        ASSERT_EQ(messages.size(), c.expected == MailFailure::None ? 1 : 0);
        if (messages.isEmpty()) continue;
        EXPECT_EQ(messages[0].tls, c.inTls);
        // The login on the first, verified connection only.
        EXPECT_EQ(messages[0].login, c.connections == 1 ? std::optional<QString>("user") : std::nullopt);
    }
}

}  // namespace
}  // namespace tarvesk
