// The operator's side of the window: both languages, field validation and the
// manual "Try" actions, driven through the widgets.
#include <QAccessible>
#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <memory>
#include <set>

#include "support/hostile_http_server.h"
#include "support/http_test_server.h"
#include "window/message_box_prompt.h"
#include "window/program_icon.h"
#include "window/support/window_fixture.h"
#include "window/support_document.h"

namespace tarvesk {
namespace {

class OperatorWindow : public WindowTest {
protected:
    QRadioButton* option(const char* name) { return window().findChild<QRadioButton*>(name); }
};

// --- Language ---------------------------------------------------------------

TEST_F(OperatorWindow, SwitchesBothWaysAndBack) {
    window();
    option("Option2")->click();
    EXPECT_EQ(engine().language(), "cn");
    EXPECT_EQ(button("cmdIISReset")->text(), QStringLiteral("试试此命令"));
    EXPECT_EQ(button("cmdComputerReset")->text(), QStringLiteral("试试此命令"));
    EXPECT_EQ(label("lblStatus")->text(), QStringLiteral("准备就绪，可以开始。"));
    EXPECT_EQ(window().windowTitle(), QStringLiteral("Tarvesk及自动重启"));
    EXPECT_EQ(window().findChild<QGroupBox*>("Frame2")->title(), QStringLiteral("状态 - 动作统计"));
    EXPECT_FALSE(option("Option1")->isChecked());
    EXPECT_TRUE(option("Option2")->isChecked());

    option("Option1")->click();
    EXPECT_EQ(engine().language(), "eng");
    EXPECT_EQ(button("cmdComputerReset")->text(), "Try Reset");  // no trailing blank now
    EXPECT_EQ(label("lblStatus")->text(), "Ready to Start Monitor.");
    // The switch alone does not reach the file.
    EXPECT_EQ(ini("Status", "Language"), "eng");
    option("Option2")->click();
    EXPECT_EQ(ini("Status", "Language"), "eng");
}

TEST_F(OperatorWindow, CodesAreNormalisedAndUnknownOnesKeepTheDesignCaptions) {
    writeIni("[Status]\nLanguage=  CN \n");
    EXPECT_EQ(engine().language(), "cn");
    EXPECT_TRUE(option("Option2")->isChecked());

    resetWindow();
    writeIni("[Status]\nLanguage=fr\n");
    EXPECT_EQ(engine().language(), "fr");
    EXPECT_FALSE(option("Option1")->isChecked());
    EXPECT_FALSE(option("Option2")->isChecked());
    EXPECT_EQ(button("cmdComputerReset")->text(), "Try Reset ");
    EXPECT_EQ(window().windowTitle(), "Tarvesk & Auto Reset");
    type("txtPageCheckInterval", "x");
    EXPECT_EQ(prompt->informs.value(0), "This field should be a number.");  // English messages

    // From Chinese, an unknown code leaves the Chinese captions in place.
    window().SetLanguage("cn");
    window().SetLanguage("de");
    EXPECT_EQ(button("cmdSave")->text(), QStringLiteral("保存设置"));
    EXPECT_TRUE(option("Option2")->isChecked());
}

TEST_F(OperatorWindow, MessageBoxButtonsSpeakTheWindowLanguage) {
    window();
    option("Option2")->click();
    EXPECT_EQ(prompt->language, "cn");
    option("Option1")->click();
    EXPECT_EQ(prompt->language, "eng");

    struct Case {
        const char* language;
        QMessageBox::StandardButton button;
        const char* text;
    } cases[] = {
        {"cn", QMessageBox::Ok, "确定"}, {"cn", QMessageBox::Yes, "是"}, {"cn", QMessageBox::No, "否"},
        {"eng", QMessageBox::Ok, "OK"},  {"fr", QMessageBox::Ok, "OK"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const auto buttons = c.button == QMessageBox::Ok ? QMessageBox::Ok : QMessageBox::Yes | QMessageBox::No;
        const auto box = MessageBoxPrompt::MakeBox("text", buttons, c.language, nullptr);
        ASSERT_NE(box->button(c.button), nullptr);
        EXPECT_EQ(box->button(c.button)->text().remove('&'), QString::fromUtf8(c.text));
        EXPECT_EQ(box->windowTitle(), "Tarvesk");
        EXPECT_EQ(box->text(), "text");
    }
}

TEST_F(OperatorWindow, SwitchingWhileMonitoringShowsTheIdleText) {
    writeIni("[HowToMonitor]\nPageURL=http://127.0.0.1:9/\nInterval=10\n[Status]\nMonitoring=1\n");
    EXPECT_EQ(label("lblStatus")->text(), "Monitoring.");
    option("Option2")->click();
    EXPECT_EQ(label("lblStatus")->text(), QStringLiteral("准备就绪，可以开始。"));
    EXPECT_TRUE(engine().timer1().isEnabled());
}

TEST_F(OperatorWindow, ScreenReadersHearEachInputByItsCaptionInBothLanguages) {
    const std::pair<const char*, const char*> inputs[] = {
        {"txtPageURL", "Page URL to Check:"}, {"txtPageCheckInterval", "Page Check Interval:"},
        {"txtIISResetCommand", "IIS Reset Command:"}, {"chkIISReset", "IIS Reset Trigger"},
        {"txtPageFailureThreshold", "Page Check failures"}, {"txtComputerResetCommand", "Computer Reset Command:"},
        {"chkComputerReset", "Computer Reset Trigger"}, {"txtIISResetThreshold", "IIS Reset failures"},
        {"chkAbortMonitor", "Abort Monitor Trigger"}, {"txtComputerResetThreshold", "Computer Reset failures"},
        {"chkNotifyIISReset", "Events to Notify: IIS Reset"},
        {"chkNotifyComputerReset", "Events to Notify: Computer Reset"},
        {"chkNotifyAbortMonitor", "Events to Notify: Abort Monitor"}, {"txtReceiverEmail", "Email of Rceiver:"},
        {"txtSenderEmail", "Email of Sender:"}, {"txtSenderSMTP", "SMTP Server of Sender:"},
        {"txtSenderAccount", "Account of Sender:"}, {"txtSenderPassword", "Password of Sender:"},
        {"lblStartTime", "Time of Start Monitor:"}, {"lblPageCheckCount", "Count of Page Check: 0"},
        {"lblIISResetCount", "Count of IIS Reset: 0"}, {"lblComputerResetCount", "Count of Computer Reset: 0"},
    };
    const auto a11y = [this](const char* name) { return QAccessible::queryAccessibleInterface(child<QWidget>(name)); };
    const auto said = [&](const char* name, QAccessible::Text text = QAccessible::Name) {
        return a11y(name)->text(text).toStdString();
    };
    std::set<std::string> english, chinese;
    for (const auto& [input, name] : inputs) {
        EXPECT_EQ(said(input), name);  // not the group's title
        english.insert(said(input));
    }
    EXPECT_EQ(said("chkIISReset", QAccessible::Description), "Continuous 2 Page Check failures");
    type("txtIISResetThreshold", "3");
    EXPECT_EQ(said("txtIISResetThreshold", QAccessible::Description),
              "Computer Reset Trigger: Continuous 3 IIS Reset failures");
    EXPECT_EQ(said("txtPageCheckInterval", QAccessible::Description), "Seconds");

    option("Option2")->click();
    for (const auto& [input, name] : inputs) chinese.insert(said(input));
    EXPECT_EQ(english.size(), std::size(inputs));
    EXPECT_EQ(chinese.size(), std::size(inputs));
    EXPECT_EQ(said("txtPageURL"), "待监测的页面 URL：");
    EXPECT_EQ(said("chkIISReset"), "IIS 重启及触发条件");
    EXPECT_EQ(said("chkIISReset", QAccessible::Description), "连续 2 次页面失效");
    EXPECT_EQ(said("chkNotifyAbortMonitor"), "待通知的事件： 放弃监测");
    EXPECT_EQ(said("lblSupport"), "技术支持");

    QAccessibleInterface* support = a11y("lblSupport");
    EXPECT_EQ(support->role(), QAccessible::Link);
    EXPECT_FALSE(support->state().focusable);
    QFile(folder() + "/README.md").open(QIODevice::WriteOnly);  // the document it opens
    support->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(openedUrls.size(), 1);
}

// --- Field validation ---------------------------------------------------------

TEST_F(OperatorWindow, AddressEditCheck) {
    window();
    for (const char* quiet : {"http", "h", "", "HTTPS://x", "HtTp://host", "https://example.test/"}) {
        prompt->informs.clear();
        type("txtPageURL", quiet);
        EXPECT_TRUE(prompt->informs.isEmpty()) << quiet;
    }
    type("txtPageURL", "www.example.test");
    EXPECT_EQ(prompt->informs, QStringList{"This field should start with http or https."});
    window().SetLanguage("cn");
    prompt->informs.clear();
    type("txtPageURL", "ftp://x");
    EXPECT_EQ(prompt->informs, QStringList{QStringLiteral("此栏目应填写 http 或 https 形式的页面地址。")});
}

TEST_F(OperatorWindow, IntervalChecksAndRetimesWithoutSwitching) {
    window();
    const int before = engine().timer1().interval();
    struct Case {
        const char* text;
        const char* message;  // nullptr: none
        int period;           // 0: unchanged
    } cases[] = {
        {"", nullptr, 0},
        {"abc", "This field should be a number.", 0},
        {"0", "This field should be bigger than 0.", 0},
        {"-5", "This field should be bigger than 0.", 0},
        {"0.4", "This field should be bigger than 0.", 0},
        {"0.6", nullptr, 600},
        {"1.5", nullptr, 1500},
        {"10", nullptr, 10000},
        {"40000", "This field should be a number.", 0},  // beyond 16 bits
        {"十", "This field should be a number.", 0},
    };
    int expected = before;
    for (const Case& c : cases) {
        prompt->informs.clear();
        type("txtPageCheckInterval", QString::fromUtf8(c.text));
        SCOPED_TRACE(c.text);
        if (c.message) {
            EXPECT_EQ(prompt->informs, QStringList{c.message});
        } else {
            EXPECT_TRUE(prompt->informs.isEmpty());
        }
        if (c.period) expected = c.period;
        EXPECT_EQ(engine().timer1().interval(), expected);
        EXPECT_FALSE(engine().timer1().isEnabled());
    }
}

TEST_F(OperatorWindow, ThresholdChecksAndTheUncheckedThreshold) {
    window();
    type("txtPageFailureThreshold", "0");
    type("txtIISResetThreshold", "x");
    EXPECT_EQ(prompt->informs, (QStringList{"This field should be bigger than 0.", "This field should be a number."}));
    // The certificate's warning days take 0, for never.
    prompt->informs.clear();
    for (const char* days : {"0", "-1", "x"}) type("txtCertificateWarnDays", days);
    EXPECT_EQ(prompt->informs, (QStringList{"This field should be 0 or more.", "This field should be a number."}));
    prompt->informs.clear();
    type("txtComputerResetThreshold", " anything ");
    EXPECT_TRUE(prompt->informs.isEmpty());
    edit("txtComputerResetThreshold")->editingFinished();
    EXPECT_EQ(edit("txtComputerResetThreshold")->text(), " anything ");
}

TEST_F(OperatorWindow, TypingKeepsInnerBlanksAndTrimsWhenTheEditEnds) {
    window();
    QLineEdit* command = edit("txtIISResetCommand");
    command->clear();
    command->setFocus();
    QTest::keyClicks(command, "systemctl restart nginx ");
    EXPECT_EQ(command->text(), "systemctl restart nginx ");
    QTest::keyClick(command, Qt::Key_Return);
    EXPECT_EQ(command->text(), "systemctl restart nginx");

    // A paste with blanks and tabs around it: blanks go, tabs stay; a number
    // field accepts the number inside.
    prompt->informs.clear();
    type("txtPageCheckInterval", "  \t7\t ");
    EXPECT_TRUE(prompt->informs.isEmpty());
    EXPECT_EQ(engine().timer1().interval(), 7000);

    // A 10 000 character paste is taken without a freeze.
    type("txtSenderAccount", QString(10000, QLatin1Char('a')));
    EXPECT_EQ(edit("txtSenderAccount")->text().size(), 10000);
}

TEST_F(OperatorWindow, StageCascadesBothWays) {
    window();
    box("chkAbortMonitor")->setChecked(true);
    EXPECT_TRUE(box("chkIISReset")->isChecked());
    EXPECT_TRUE(box("chkComputerReset")->isChecked());
    box("chkIISReset")->click();
    EXPECT_FALSE(box("chkComputerReset")->isChecked());
    EXPECT_FALSE(box("chkAbortMonitor")->isChecked());
    EXPECT_FALSE(edit("txtPageFailureThreshold")->isEnabled());
    EXPECT_FALSE(edit("txtIISResetThreshold")->isEnabled());
    EXPECT_FALSE(edit("txtComputerResetThreshold")->isEnabled());
    box("chkAbortMonitor")->click();
    EXPECT_TRUE(edit("txtPageFailureThreshold")->isEnabled());
    EXPECT_TRUE(edit("txtComputerResetThreshold")->isEnabled());
    box("chkComputerReset")->click();
    EXPECT_TRUE(box("chkIISReset")->isChecked());
    EXPECT_FALSE(box("chkAbortMonitor")->isChecked());
    EXPECT_TRUE(edit("txtPageFailureThreshold")->isEnabled());
    // No edit or click reaches the file.
    const QByteArray before = iniBytes();
    type("txtPageURL", "http://changed.test");
    box("chkNotifyIISReset")->click();
    EXPECT_EQ(iniBytes(), before);
}

// --- Manual actions ---------------------------------------------------------------

TEST_F(OperatorWindow, TryCheckCountsAndPersistsWithoutRefreshingTheLabel) {
    HttpTestServer server;
    writeIni("[HowToMonitor]\nInterval=10\n[Status]\nPageCheckCount=5\n");
    window();
    const QString labelBefore = label("lblPageCheckCount")->text();
    type("txtPageURL", server.url("/ok"));
    button("cmdCheckPage")->click();
    EXPECT_EQ(prompt->informs.last(), "Page is valid.");
    type("txtPageURL", server.url("/nocontent"));
    button("cmdCheckPage")->click();
    EXPECT_EQ(prompt->informs.last(), "Page is invalid.");
    EXPECT_EQ(ini("Status", "PageCheckCount"), "7");
    EXPECT_EQ(label("lblPageCheckCount")->text(), labelBefore);

    // Seven characters are not an address; eight in capitals are.
    type("txtPageURL", "http://");
    button("cmdCheckPage")->click();
    EXPECT_EQ(prompt->informs.last(), "Please fill Page URL to Check.");
    type("txtPageURL", "HTTP://x");
    button("cmdCheckPage")->click();
    EXPECT_EQ(prompt->informs.last(), "Page is invalid.");
    EXPECT_EQ(ini("Status", "PageCheckCount"), "8");
}

TEST_F(OperatorWindow, ManualIISResetCountsLogsAndEndsWithAnEmptyStatus) {
    writeIni("[HowToMonitor]\nPageURL=http://127.0.0.1:9/\nCmdResetIIS=restart-web\n[Status]\nIISResetCount=4\n");
    window();
    probe->script = {SiteStopped, SiteStarted};
    QString statusDuringReset;
    starter->onStart = [&](const QString&) { statusDuringReset = label("lblStatus")->text(); };
    button("cmdIISReset")->click();
    EXPECT_EQ(prompt->confirms, QStringList{"Are you sure to Reset IIS?"});
    EXPECT_TRUE(statusDuringReset.startsWith("IIS is resetting.\t"));
    EXPECT_EQ(starter->started, QStringList{"restart-web"});
    EXPECT_EQ(ini("Status", "IISResetCount"), "5");
    EXPECT_TRUE(logLines().value(0).endsWith("\tReset IIS\trestart-web"));
    EXPECT_TRUE(label("lblStatus")->text().isEmpty());
    EXPECT_EQ(prompt->informs, QStringList{"IIS has been reset by manual."});
}

TEST_F(OperatorWindow, AnsweringNoChangesNothing) {
    writeIni("[HowToMonitor]\nCmdResetIIS=restart-web\nCmdResetComputer=reboot-now\n");
    window();
    const QByteArray before = iniBytes();
    prompt->answers = {false, false};
    button("cmdIISReset")->click();
    button("cmdComputerReset")->click();
    EXPECT_EQ(prompt->confirms.size(), 2);
    EXPECT_TRUE(starter->started.isEmpty());
    EXPECT_EQ(iniBytes(), before);
    EXPECT_TRUE(logLines().isEmpty());
    EXPECT_EQ(label("lblStatus")->text(), "Ready to Start Monitor.");
}

TEST_F(OperatorWindow, ManualComputerResetStartsTheCommandAndNothingElse) {
    writeIni("[HowToMonitor]\nCmdResetComputer=reboot-now\n[HowtoNotify]\nNotifyComputerReset=1\n"
             "[Status]\nLanguage=cn\nComputerResetCount=2\n");
    window();
    const QByteArray before = iniBytes();
    button("cmdComputerReset")->click();
    EXPECT_EQ(prompt->confirms, QStringList{QStringLiteral("您确定要重启电脑吗？")});
    EXPECT_EQ(starter->started, QStringList{"reboot-now"});
    EXPECT_TRUE(label("lblStatus")->text().startsWith(QStringLiteral("电脑即将重启。\t")));
    EXPECT_TRUE(prompt->informs.isEmpty());
    EXPECT_EQ(iniBytes(), before);
    EXPECT_TRUE(logLines().isEmpty());
}

TEST_F(OperatorWindow, CommandThatCannotStartShowsItsDescription) {
    writeIni("[HowToMonitor]\nCmdResetIIS=restart-web\nCmdResetComputer=reboot-now\n");
    window();
    starter->failWith = "No such file or directory";
    button("cmdIISReset")->click();
    EXPECT_EQ(prompt->informs, QStringList{"No such file or directory"});  // no closing message
    EXPECT_TRUE(label("lblStatus")->text().isEmpty());
    EXPECT_EQ(ini("Status", "IISResetCount"), "1");  // counted and logged before the start failed
    prompt->informs.clear();
    button("cmdComputerReset")->click();
    EXPECT_EQ(prompt->informs, QStringList{"No such file or directory"});
    EXPECT_TRUE(label("lblStatus")->text().isEmpty());
}

TEST_F(OperatorWindow, EmptyCommandsAreRefused) {
    writeIni("[HowToMonitor]\nCmdResetIIS=\nCmdResetComputer=\n");
    window();
    type("txtIISResetCommand", "   ");
    edit("txtIISResetCommand")->editingFinished();
    button("cmdIISReset")->click();
    button("cmdComputerReset")->click();
    EXPECT_EQ(prompt->informs, (QStringList{"Please fill IIS Reset Command.", "Please fill Computer Reset Command."}));
    EXPECT_TRUE(prompt->confirms.isEmpty());
}

TEST_F(OperatorWindow, TryButtonStaysDisabledWhileItsActionRunsAndOnEveryWayOut) {
    // Each refusal is an early way out of its handler; the box comes while the
    // action still runs.
    writeIni("[HowToMonitor]\nCmdResetIIS=\nCmdResetComputer=\n");
    window();
    type("txtPageURL", "http://");
    for (const char* name : {"cmdCheckPage", "cmdIISReset", "cmdComputerReset", "cmdSendEmail"}) {
        QPushButton* tried = button(name);
        tried->setFocus();
        std::vector<bool> enabledAtBox;
        prompt->onInform = [&](const QString&) { enabledAtBox.push_back(tried->isEnabled()); };
        tried->click();
        EXPECT_EQ(enabledAtBox, std::vector<bool>{false}) << name;
        EXPECT_TRUE(tried->isEnabled()) << name;
        EXPECT_EQ(window().focusWidget(), tried) << name;  // lost while disabled, given back
        prompt->onInform = nullptr;  // it refers to this pass's locals
    }
    // A reset whose command cannot start, and one that runs to its end. The
    // focus stays where the operator put it, before the click or during it.
    type("txtIISResetCommand", "restart-web");
    bool enabledDuringReset = true;
    starter->onStart = [&](const QString&) {
        enabledDuringReset = button("cmdIISReset")->isEnabled();
        edit("txtSenderAccount")->setFocus();
    };
    starter->failWith = "No such file or directory";
    button("cmdIISReset")->setFocus();
    button("cmdIISReset")->click();
    EXPECT_FALSE(enabledDuringReset);
    EXPECT_TRUE(button("cmdIISReset")->isEnabled());
    EXPECT_EQ(window().focusWidget(), edit("txtSenderAccount"));
    starter->failWith.clear();
    starter->onStart = nullptr;
    probe->script = {SiteStopped, SiteStarted};
    edit("txtIISResetCommand")->setFocus();
    button("cmdIISReset")->click();
    EXPECT_EQ(prompt->informs.last(), "IIS has been reset by manual.");
    EXPECT_TRUE(button("cmdIISReset")->isEnabled());
    EXPECT_EQ(window().focusWidget(), edit("txtIISResetCommand"));
}

TEST_F(OperatorWindow, ClicksOnTryCheckWhileThePageHangsMakeNoSecondRequest) {
    auto silent = std::make_unique<HostileHttpServer>(HostileHttpServer::Mode::Silent);
    window();
    type("txtPageURL", silent->url("/"));
    QPushButton* tryCheck = button("cmdCheckPage");
    bool disabledWhileHanging = false;
    int connectionsWhileHanging = -1;
    QTimer::singleShot(300, [&] {
        disabledWhileHanging = !tryCheck->isEnabled();
        QTest::mouseClick(tryCheck, Qt::LeftButton);
        tryCheck->click();
        QTest::qWait(200);
        connectionsWhileHanging = silent->connectionCount();
        silent.reset();  // the request now fails
    });
    tryCheck->click();
    EXPECT_TRUE(disabledWhileHanging);
    EXPECT_EQ(connectionsWhileHanging, 1);
    EXPECT_EQ(prompt->informs, QStringList{"Page is invalid."});
    EXPECT_EQ(ini("Status", "PageCheckCount"), "1");
    EXPECT_TRUE(tryCheck->isEnabled());
}

TEST_F(OperatorWindow, SupportLinkOpensTheInstalledReadmeAsAFile) {
    QFile readme(folder() + "/README.md");
    ASSERT_TRUE(readme.open(QIODevice::WriteOnly));
    readme.close();
    window();
    QTest::mouseClick(label("lblSupport"), Qt::LeftButton);
    ASSERT_EQ(openedUrls.size(), 1);
    EXPECT_EQ(QUrl(openedUrls[0]).toLocalFile(), folder() + "/README.md");
    EXPECT_TRUE(openedUrls[0].startsWith("file:///"));
}

TEST(SupportDocument, BesideTheProgramThenThePackageThenTheSourceTree) {
    // No path of the machine the program was built on is compiled in.
    const QString source = "/home/dev/tarvesk/README.md";
    const QString packaged = "/usr/share/doc/tarvesk-service/README.md";
    struct Row {
        QString folder;
        std::set<QString> existing;
        QString opened;
    };
    const Row rows[] = {
        {"/opt/tarvesk", {"/opt/tarvesk/README.md", packaged, source}, "/opt/tarvesk/README.md"},
        {"/opt/tarvesk", {packaged, source}, packaged},
        {"/home/dev/tarvesk/build", {source}, source},  // a build folder in the source tree
        {"/home/dev/tarvesk/build", {packaged, source}, packaged},
        {"/srv/copy", {source}, ""},
        {"/opt/tarvesk", {}, ""},
    };
    for (const Row& row : rows) {
        const auto exists = [&](const QString& path) { return row.existing.count(path) > 0; };
        EXPECT_EQ(SupportDocument(row.folder, exists), row.opened) << row.folder.toStdString();
    }
}

TEST_F(OperatorWindow, ProgramIconOnTheApplicationAndTheWindow) {
    UseProgramIcon(window());
    EXPECT_EQ(QGuiApplication::desktopFileName(), "tarvesk");
    for (const QIcon& icon : {window().windowIcon(), QGuiApplication::windowIcon()}) {
        for (const int size : {16, 32, 48, 256}) {
            const QImage shown = icon.pixmap(size).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
            const QImage file = QImage(QStringLiteral(TARVESK_TEST_SCRIPTS "/../../packaging/icons/tarvesk-%1.png")
                                           .arg(size))
                                    .convertToFormat(QImage::Format_ARGB32_Premultiplied);
            ASSERT_FALSE(file.isNull()) << size;
            EXPECT_EQ(shown, file) << size;
        }
    }
}

}  // namespace
}  // namespace tarvesk
