// Loading, defaulting and saving the settings through the real window and a
// real INI file.
#include <algorithm>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>

#include "window/support/window_fixture.h"

namespace tarvesk {
namespace {

class SettingsRecord : public WindowTest {};

QByteArray MonitorSection(const char* r, const char* c, const char* a) {
    return QByteArray("[HowToMonitor]\nPageURL=http://example.test/\nInterval=10\nCmdResetIIS=restart-web\n") +
           "ResetIIS=" + r + "\nPageFailureThreshold=2\nCmdResetComputer=reboot-now\nResetComputer=" + c +
           "\nIISResetThreshold=3\nAbortMonitor=" + a + "\nComputerResetThreshold=4\n";
}

TEST_F(SettingsRecord, FirstRunWritesTheFactorySettingsInOrder) {
    window();
    const QString text = QString::fromUtf8(iniBytes());
    QStringList keys;
    for (const QString& line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        keys.append(line.section(QLatin1Char('='), 0, 0).trimmed());
    }
    const QStringList expected = {
        "[HowToMonitor]",   "PageURL",       "Interval",          "CmdResetIIS",
        "ResetIIS",         "PageFailureThreshold", "CmdResetComputer", "ResetComputer",
        "IISResetThreshold", "AbortMonitor", "ComputerResetThreshold", "[HowtoNotify]",
        "NotifyIISReset",   "NotifyComputerReset", "NotifyAbortMonitor", "ReceiverEmail",
        "SenderEmail",      "SenderSMTP",    "SenderAccount",     "SenderPassword",
        "CertificateWarnDays", "NotifyCertificate", "[Status]",   "Language",
    };
    EXPECT_EQ(keys, expected);
    EXPECT_EQ(ini("Status", "Language"), "eng");
    EXPECT_TRUE(ini("HowToMonitor", "PageURL").startsWith("http://"));
    EXPECT_EQ(ini("HowToMonitor", "Interval"), "10");
    EXPECT_EQ(ini("HowToNotify", "SenderPassword"), "123");
    EXPECT_TRUE(ini("HowToNotify", "SenderSMTP").endsWith("example.com"));
    // Idle: nothing says monitoring was on.
    EXPECT_EQ(ini("Status", "Monitoring"), "<missing>");
    EXPECT_FALSE(engine().timer1().isEnabled());
    EXPECT_TRUE(button("cmdStartMonitor")->isEnabled());
    EXPECT_EQ(label("lblStatus")->text(), "Ready to Start Monitor.");
    EXPECT_EQ(label("lblPageCheckCount")->text(), "0");
    EXPECT_TRUE(prompt->informs.isEmpty());
}

TEST_F(SettingsRecord, StageRuleOnLoadingGivesAConsistentChainAndSaysWhatItTurnedOn) {
    struct Case {
        const char *r, *c, *a;
        bool iis, computer, abort;
        const char* said;  // the stored values that did not hold, on standard error
    } cases[] = {
        {"0", "1", "0", true, true, false, "ResetIIS=1"},
        {"0", "0", "1", true, true, true, "ResetIIS=1, ResetComputer=1"},
        {"1", "0", "0", true, false, false, ""},
        {"0", "0", "0", false, false, false, ""},
        {"1", "1", "1", true, true, true, ""},
        // only the trimmed "1" counts as on
        {"01", "true", " 1 ", true, true, true, "ResetIIS=1, ResetComputer=1"},
    };
    for (const Case& c : cases) {
        resetWindow();
        writeIni(MonitorSection(c.r, c.c, c.a));
        SCOPED_TRACE(std::string(c.r) + "/" + c.c + "/" + c.a);
        testing::internal::CaptureStderr();
        window();
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(box("chkIISReset")->isChecked(), c.iis);
        EXPECT_EQ(box("chkComputerReset")->isChecked(), c.computer);
        EXPECT_EQ(box("chkAbortMonitor")->isChecked(), c.abort);
        EXPECT_EQ(edit("txtPageFailureThreshold")->isEnabled(), c.iis);
        EXPECT_EQ(edit("txtIISResetThreshold")->isEnabled(), c.computer);
        EXPECT_EQ(edit("txtComputerResetThreshold")->isEnabled(), c.abort);
        if (*c.said == '\0') {
            EXPECT_EQ(said.find("loaded as"), std::string::npos) << said;
        } else {
            const std::string line = "Tarvesk.ini: loaded as " + std::string(c.said) +
                                     ", because a later stage is on and no stage is on while an earlier one is off\n";
            EXPECT_NE(said.find(line), std::string::npos) << said;
            EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
        }
    }
}

TEST_F(SettingsRecord, MissingSectionsLoadEmptyAndOff) {
    writeIni(MonitorSection("1", "1", "1"));
    window();
    EXPECT_FALSE(box("chkNotifyIISReset")->isChecked());
    EXPECT_FALSE(box("chkNotifyAbortMonitor")->isChecked());
    EXPECT_TRUE(edit("txtReceiverEmail")->text().isEmpty());
    EXPECT_TRUE(edit("txtSenderPassword")->text().isEmpty());
    EXPECT_EQ(engine().pageCheckCount(), 0);
    EXPECT_EQ(engine().monitoring(), "");
    EXPECT_EQ(engine().language(), "eng");
    EXPECT_EQ(edit("txtIISResetCommand")->text(), "restart-web");
    EXPECT_EQ(edit("txtComputerResetThreshold")->text(), "4");
    // Loading shows no validation message.
    EXPECT_TRUE(prompt->informs.isEmpty());
}

TEST_F(SettingsRecord, CountersTakeOnlyNumbersThatFit) {
    writeIni(MonitorSection("1", "1", "1") +
             "[Status]\nPageCheckCount=2.5\nIISResetCount=3.5\nComputerResetCount=-1\n"
             "ContinousComputerResetFailure=abc\nStartTime=not a date\n");
    window();
    EXPECT_EQ(engine().pageCheckCount(), 2);
    EXPECT_EQ(engine().iisResetCount(), 4);
    EXPECT_EQ(engine().computerResetCount(), -1);
    EXPECT_EQ(engine().continuousComputerResetFailure(), 0);
    EXPECT_FALSE(engine().startTime().isValid());
    EXPECT_TRUE(label("lblStartTime")->text().isEmpty());

    resetWindow();
    writeIni(MonitorSection("1", "1", "1") +
             "[Status]\nPageCheckCount=99999999999\nIISResetCount=1e3\nStartTime=2026-3-5 09:07:03\n");
    window();
    EXPECT_EQ(engine().pageCheckCount(), 0);  // beyond 32 bits: ignored
    EXPECT_EQ(engine().iisResetCount(), 1000);
    EXPECT_EQ(engine().startTime(), QDateTime(QDate(2026, 3, 5), QTime(9, 7, 3)));
    // Shown in the general form, not the stored one.
    EXPECT_FALSE(label("lblStartTime")->text().isEmpty());
    EXPECT_NE(label("lblStartTime")->text(), "2026-3-5 09:07:03");
}

TEST_F(SettingsRecord, SaveWritesFieldsAndLanguageButLeavesTheRunStatus) {
    writeIni(MonitorSection("1", "1", "1") +
             "[Status]\nLanguage=eng\nMonitoring=0\nStartTime=2026-1-2 03:04:05\nPageCheckCount=17\n");
    window();
    type("txtSenderPassword", "s3cret");
    type("txtPageURL", "http://other.test/page");
    box("chkAbortMonitor")->setChecked(false);
    button("cmdSave")->click();

    EXPECT_EQ(prompt->informs, QStringList{"Settings saved."});
    EXPECT_EQ(ini("HowtoNotify", "SenderPassword"), "s3cret");  // in clear
    EXPECT_EQ(ini("HowToMonitor", "PageURL"), "http://other.test/page");
    EXPECT_EQ(ini("HowToMonitor", "AbortMonitor"), "0");
    EXPECT_EQ(ini("HowToMonitor", "ResetIIS"), "1");
    EXPECT_EQ(ini("Status", "Monitoring"), "0");
    EXPECT_EQ(ini("Status", "StartTime"), "2026-1-2 03:04:05");
    EXPECT_EQ(ini("Status", "PageCheckCount"), "17");
}

TEST_F(SettingsRecord, SavedMessageFollowsTheLanguage) {
    for (const char* language : {"cn", "fr", "eng"}) {
        resetWindow();
        prompt->informs.clear();
        writeIni(MonitorSection("1", "1", "1") + "[Status]\nLanguage=" + language + "\n");
        button("cmdSave")->click();
        EXPECT_EQ(prompt->informs.value(0),
                  QString(language) == "cn" ? QStringLiteral("已保存。") : QStringLiteral("Settings saved."));
        EXPECT_EQ(ini("Status", "Language"), language);  // an unknown code is stored again
    }
}

TEST_F(SettingsRecord, BlanksAroundValuesAreGoneAfterARestart) {
    window();
    type("txtIISResetCommand", "  systemctl restart nginx  ");
    edit("txtIISResetCommand")->editingFinished();
    type("txtComputerResetThreshold", " 3 ");
    button("cmdSave")->click();
    EXPECT_EQ(edit("txtIISResetCommand")->text(), "systemctl restart nginx");

    resetWindow();
    window();
    EXPECT_EQ(edit("txtIISResetCommand")->text(), "systemctl restart nginx");
    // The store trims on reading, so even this field comes back bare.
    EXPECT_EQ(edit("txtComputerResetThreshold")->text(), "3");
}

TEST_F(SettingsRecord, MalformedFileLoadsWhatItCanAndKeepsItsLines) {
    QByteArray junk = "garbage line\n\x01\x02\xff\xfe binary\n[HowToMonitor\nno equals sign\n";
    junk += QByteArray(1 << 20, 'x') + "\n";
    junk += "[HowToMonitor]\nInterval=7\n; a comment\n[Status]\nLanguage=cn\n";
    writeIni(junk);
    window();
    EXPECT_EQ(edit("txtPageCheckInterval")->text(), "7");
    EXPECT_EQ(engine().language(), "cn");
    button("cmdSave")->click();
    const QByteArray after = iniBytes();
    EXPECT_TRUE(after.contains("garbage line\n\x01\x02\xff\xfe binary\n"));
    EXPECT_TRUE(after.contains("; a comment"));
    EXPECT_TRUE(after.contains(QByteArray(1 << 20, 'x')));
    EXPECT_EQ(ini("HowToMonitor", "Interval"), "7");
}

TEST_F(SettingsRecord, EmptyFileIsLoadedNotReplacedByDefaults) {
    writeIni("");
    window();
    EXPECT_TRUE(edit("txtPageURL")->text().isEmpty());
    EXPECT_EQ(engine().language(), "eng");
    EXPECT_TRUE(iniBytes().isEmpty());  // loading writes nothing
}

TEST_F(SettingsRecord, PasswordIsMaskedAndWithoutInputMethod) {
    QLineEdit* password = edit("txtSenderPassword");
    EXPECT_EQ(password->echoMode(), QLineEdit::Password);
    EXPECT_FALSE(password->testAttribute(Qt::WA_InputMethodEnabled));
    EXPECT_EQ(password->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, password), '*');
}

}  // namespace
}  // namespace tarvesk
