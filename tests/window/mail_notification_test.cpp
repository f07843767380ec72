// Event notifications and the test mail, through the window, against a real
// SMTP server on loopback.
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "platform/curl_http_client.h"
#include "platform/curl_smtp_transport.h"
#include "platform/text_conv.h"
#include "support/file_layout.h"
#include "support/http_test_server.h"
#include "support/program_copy.h"
#include "support/smtp_test_server.h"
#include "support/test_certificates.h"
#include "window/support/window_fixture.h"

namespace tarvesk {
namespace {

// The test servers listen on random ports, which the program treats as
// submission ports; this transport treats them as port 25, with the test CA
// trusted as a relay's CA would be in the system's store.
std::shared_ptr<CurlSmtpTransport> AsPort25(const QString& caFile) {
    CurlSmtpTransport::Options options;
    options.tls = CurlSmtpTransport::Tls::Opportunistic;
    options.caFile = caFile;
    return std::make_shared<CurlSmtpTransport>(options);
}

class MailNotification : public WindowTest {
protected:
    // A window whose mail goes to `server`, with all five fields filled.
    void useServer(const SmtpTestServer& server, const char* account = "ops", const char* password = "pw",
                   const QByteArray& receivers = "a@example.test; b@example.test") {
        ASSERT_TRUE(server.isRunning());
        services.mail = AsPort25(server.caFile());
        writeIni("[HowToMonitor]\nPageURL=http://127.0.0.1:9/\nCmdResetIIS=restart-web\nCmdResetComputer=reboot-now\n"
                 "[HowtoNotify]\nReceiverEmail=" + receivers + "\nSenderEmail=tarvesk@example.test\n"
                 "SenderSMTP=" + server.address().toUtf8() + "\nSenderAccount=" + QByteArray(account) +
                 "\nSenderPassword=" + password + "\n");
        window();
    }
};

TEST_F(MailNotification, TestMailIsSentAndNotLogged) {
    SmtpTestServer server({"--auth", "ops:pw"});
    useServer(server);
    fixedNow = QDateTime(QDate(2026, 12, 8), QTime(9, 7, 3));
    button("cmdSendEmail")->click();
    EXPECT_EQ(prompt->informs, QStringList{"Email sended, please check it."});
    const auto messages = server.messages();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0].header("Subject"), "(Tarvesk) Trial of Send Email");
    EXPECT_EQ(messages[0].rcptTos, (QStringList{"a@example.test", "b@example.test"}));
    EXPECT_TRUE(messages[0].body.startsWith("<HTML><BODY style='font-size:10pt;'>Dear Sirs,<BR>"));
    EXPECT_TRUE(messages[0].body.endsWith("</BODY></HTML>"));
    EXPECT_TRUE(logLines().isEmpty());
}

TEST_F(MailNotification, TestMailNamesTheFirstEmptyField) {
    window();
    for (const char* name : {"txtReceiverEmail", "txtSenderEmail", "txtSenderSMTP", "txtSenderAccount",
                             "txtSenderPassword"}) {
        type(name, "   ");
    }
    button("cmdSendEmail")->click();
    EXPECT_EQ(prompt->informs, QStringList{"Please fill Email of Receiver."});
    window().SetLanguage("cn");
    type("txtReceiverEmail", "a@example.test");
    type("txtSenderEmail", "b@example.test");
    button("cmdSendEmail")->click();
    EXPECT_EQ(prompt->informs.last(), QStringLiteral("请填写 SMTP 服务器地址。"));
}

TEST_F(MailNotification, TestMailFailureIsShownWithItsClass) {
    SmtpTestServer server({"--starttls", "--auth", "ops:right"});
    useServer(server, "ops", "wrong");
    button("cmdSendEmail")->click();
    ASSERT_EQ(prompt->informs.size(), 1);
    EXPECT_TRUE(prompt->informs[0].startsWith("SMTP Server authentication failed.")) << prompt->informs[0].toStdString();
    EXPECT_GT(prompt->informs[0].size(), QString("SMTP Server authentication failed.").size());
    EXPECT_TRUE(logLines().isEmpty());
}

TEST_F(MailNotification, IISResetMailsBeforeTheCommandAndLogsTheOutcome) {
    SmtpTestServer server({"--starttls", "--auth", "ops:pw"});  // the login goes only inside TLS
    useServer(server);
    box("chkNotifyIISReset")->setChecked(true);
    box("chkNotifyComputerReset")->setChecked(false);
    int mailsAtStart = -1;
    starter->onStart = [&](const QString&) { mailsAtStart = server.messages().size(); };
    probe->script = {SiteStopped, SiteStarted};
    engine().RunIISReset();
    EXPECT_EQ(mailsAtStart, 1);
    ASSERT_EQ(server.messages().size(), 1);
    EXPECT_EQ(server.messages()[0].header("Subject"), "Reset IIS");
    EXPECT_EQ(server.messages()[0].login.value_or(""), "ops");
    const QStringList log = logLines();
    ASSERT_EQ(log.size(), 2);
    EXPECT_TRUE(log[0].endsWith("\tReset IIS\trestart-web"));
    EXPECT_TRUE(log[1].endsWith("\tSend Email\tSend success, to:a@example.test; b@example.test"));

    // Each switch gates only its own event.
    engine().RunComputerReset();
    EXPECT_EQ(server.messages().size(), 1);
}

TEST_F(MailNotification, AbortMailFailureIsLoggedInTheCurrentLanguage) {
    SmtpTestServer server({"--auth", "ops:pw", "--refuse-rcpt", "a@example.test"});
    useServer(server);
    window().SetLanguage("cn");
    box("chkNotifyAbortMonitor")->setChecked(true);
    engine().AbortMonitoring();
    const QStringList log = logLines();
    ASSERT_EQ(log.size(), 2);
    EXPECT_TRUE(log[0].endsWith("\tAbort Monitor\t"));
    EXPECT_TRUE(log[1].contains(QStringLiteral("\tSend Email\tSend failed, to:a@example.test; b@example.test,"
                                               "Email 收件地址错误。")))
        << log[1].toStdString();
    EXPECT_TRUE(prompt->informs.isEmpty());
}

TEST_F(MailNotification, IncompleteSettingsSkipTheMailSilently) {
    SmtpTestServer server;
    useServer(server);
    type("txtSenderPassword", "   ");
    box("chkNotifyAbortMonitor")->setChecked(true);
    engine().AbortMonitoring();
    EXPECT_EQ(server.connectionCount(), 0);
    EXPECT_EQ(logLines().size(), 1);  // the event, no mail line
}

TEST_F(MailNotification, ServerNotListeningIsAConnectFailure) {
    int port = 0;
    {
        SmtpTestServer gone;
        port = gone.port();
    }
    services.mail = AsPort25({});
    window();
    const QString result = engine().SendMail(QStringLiteral("127.0.0.1:%1").arg(port), "x@example.test", "y@example.test", "", "", "", "", "s",
                                             "", "");
    EXPECT_TRUE(result.startsWith("Connect to SMTP Server failed.")) << result.toStdString();
}

// The log keeps the receiver field as typed and the server's own reason.
TEST_F(MailNotification, RefusedMessageIsLoggedWithTheServersWords) {
    SmtpTestServer server({"--auth", "ops:pw", "--refuse-data", "554 5.7.1 Message rejected as spam"});
    useServer(server, "ops", "pw", "\"Doe, John\" <john@example.test>; b@example.test");
    box("chkNotifyAbortMonitor")->setChecked(true);
    engine().AbortMonitoring();
    const QStringList log = logLines();
    ASSERT_EQ(log.size(), 2);
    EXPECT_TRUE(log[1].endsWith("\tSend Email\tSend failed, to:\"Doe, John\" <john@example.test>; b@example.test,"
                                "SMTP Server authentication failed.554 5.7.1 Message rejected as spam"))
        << log[1].toStdString();
}

// The first good check after a recovery is told with how long the page was
// bad and which recovery came last, and mailed where that recovery was; what
// it needs survives the reboot.
TEST_F(MailNotification, SiteBackIsToldTheWayItsRecoveryWas) {
    const struct Row {
        const char* what;
        bool reboot;  // the chain reaches the reboot, and the program starts again
        bool mailed;
        const char* language;
        const char* detail;
    } rows[] = {
        {"after a restart, mailed", false, true, "eng",
         "The page is good again after 2 min 0 s bad (since %1); the last action was the restart (Reset IIS)."},
        {"after a restart, not mailed", false, false, "eng",
         "The page is good again after 2 min 0 s bad (since %1); the last action was the restart (Reset IIS)."},
        {"after a reboot, across a program restart", true, true, "cn",
         "页面已恢复正常，此前失效 2 分 0 秒（自 %1 起）；最后的操作是电脑重启。"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        resetWindow();
        QFile::remove(iniPath());
        for (const QString& log : QDir(folder()).entryList({"*.log"})) QFile::remove(folder() + "/" + log);
        HttpTestServer site;
        SmtpTestServer server({"--auth", "ops:pw"});
        useServer(server);
        window().SetLanguage(row.language);
        type("txtPageURL", site.url("/"));
        for (const char* threshold : {"txtPageFailureThreshold", "txtIISResetThreshold"}) type(threshold, "1");
        box("chkIISReset")->setChecked(true);
        box("chkComputerReset")->setChecked(row.reboot);
        box("chkNotifyIISReset")->setChecked(row.mailed);
        box("chkNotifyComputerReset")->setChecked(row.mailed);
        probe->script = {SiteStopped, SiteStarted};
        const QDateTime start(QDate(2026, 12, 9), QTime(3, 10, 5));
        site.setStatus(500);
        fixedNow = start;
        engine().Timer1_Timer();  // the restart
        fixedNow = start.addSecs(60);
        engine().Timer1_Timer();  // a second restart, or the reboot
        if (row.reboot) {
            engine().SaveSettings();
            resetWindow();
        }
        const qsizetype mailsBefore = server.messages().size();
        site.setStatus(200);
        fixedNow = start.addSecs(120);
        engine().Timer1_Timer();
        const QString detail = QString::fromUtf8(row.detail).arg(FormatGeneralDateTime(start));
        EXPECT_TRUE(logLines().contains(QStringLiteral("%1\tSite Back\t%2").arg(FormatGeneralDateTime(fixedNow), detail)))
            << logLines().join('\n').toStdString();
        const auto mails = server.messages();
        ASSERT_EQ(mails.size(), mailsBefore + (row.mailed ? 1 : 0));
        if (row.mailed) {
            EXPECT_EQ(mails.back().header("Subject"), "Site Back");
            EXPECT_TRUE(mails.back().body.contains(detail)) << mails.back().body.toStdString();
        }
        engine().Timer1_Timer();  // told once
        EXPECT_EQ(logLines().filter("\tSite Back\t").size(), 1);
        EXPECT_EQ(ini("Status", "LastRecovery"), "");
    }
}

// A certificate within the warning days is warned of once a calendar day,
// and mailed; the clock set back does not repeat it, 0 days never warn, and a
// renewed certificate stops the warnings at once.
TEST_F(MailNotification, CertificateIsWarnedOfOnceADayUntilRenewed) {
    TestCertificates soon(3), renewed(90);
    ASSERT_TRUE(soon.isValid() && renewed.isValid());
    const QString authorities = folder() + "/authorities.pem";
    WriteRaw(authorities, ReadRaw(soon.caFile()) + ReadRaw(renewed.caFile()));
    services.http = std::make_shared<CurlHttpClient>(CurlHttpClient::Limits{}, authorities);
    HttpTestServer site(soon.certificate(), soon.key()), renewedSite(renewed.certificate(), renewed.key());
    SmtpTestServer server({"--auth", "ops:pw"});
    useServer(server);
    type("txtPageURL", site.url("/"));
    box("chkNotifyCertificate")->setChecked(true);
    const QDateTime now = QDateTime::currentDateTime();
    const auto tickAt = [&](const QDateTime& when) {
        fixedNow = when;
        engine().Timer1_Timer();
    };
    tickAt(now);
    tickAt(now.addSecs(60));
    tickAt(now.addDays(1));
    tickAt(now);  // the clock set back a day
    type("txtCertificateWarnDays", "0");
    tickAt(now.addDays(2));
    type("txtCertificateWarnDays", "14");
    type("txtPageURL", renewedSite.url("/"));
    tickAt(now.addDays(3));
    const QStringList warnings = logLines().filter("\tCertificate\t");
    ASSERT_EQ(warnings.size(), 2) << logLines().join('\n').toStdString();
    EXPECT_TRUE(warnings[0].contains("\tThe certificate of 127.0.0.1 expires on ")) << warnings[0].toStdString();
    EXPECT_TRUE(warnings[0].endsWith(", in 3 days.")) << warnings[0].toStdString();
    EXPECT_TRUE(warnings[1].endsWith(", in 2 days.")) << warnings[1].toStdString();
    const auto mails = server.messages();
    ASSERT_EQ(mails.size(), 2);
    EXPECT_EQ(mails[0].header("Subject"), "Certificate");
}

}  // namespace
}  // namespace tarvesk
