// Start-up: where the INI file lives, first run, resume, and the window's
// controls as the program builds them.
#include <QCheckBox>
#include <QCoreApplication>
#include <QMouseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "window/support/window_fixture.h"

namespace tarvesk {
namespace {

class Startup : public WindowTest {};

const QByteArray kRunningIni =
    "[HowToMonitor]\nPageURL=http://127.0.0.1:9/\nInterval=2.5\nResetIIS=0\nResetComputer=0\nAbortMonitor=0\n"
    "[Status]\nLanguage=eng\nMonitoring=1\nStartTime=2026-11-30 23:59:58\nPageCheckCount=41\n"
    "IISResetCount=3\nComputerResetCount=2\nContinousComputerResetFailure=2\n";

TEST_F(Startup, IniFileLivesBesideTheExecutableWithOneSeparator) {
    window();
    EXPECT_EQ(engine().iniPath(), folder() + "/Tarvesk.ini");
    resetWindow();
    // A folder text that already ends in "/" (the root) gets no second one.
    services.executableFolder = [this] { return folder() + "/"; };
    EXPECT_EQ(engine().iniPath(), folder() + "/Tarvesk.ini");
}

TEST_F(Startup, ResumesARunWithItsPersistedStatus) {
    writeIni(kRunningIni);
    window();
    EXPECT_TRUE(engine().timer1().isEnabled());
    EXPECT_EQ(engine().timer1().interval(), 2500);
    EXPECT_FALSE(button("cmdStartMonitor")->isEnabled());
    EXPECT_EQ(label("lblStatus")->text(), "Monitoring.");
    EXPECT_EQ(label("lblPageCheckCount")->text(), "41");
    EXPECT_EQ(label("lblIISResetCount")->text(), "3");
    EXPECT_EQ(label("lblComputerResetCount")->text(), "2");
    EXPECT_EQ(engine().continuousComputerResetFailure(), 2);
    EXPECT_EQ(engine().startTime(), QDateTime(QDate(2026, 11, 30), QTime(23, 59, 58)));
    // Resuming resets and rewrites nothing but the running flag.
    EXPECT_EQ(ini("Status", "StartTime"), "2026-11-30 23:59:58");
    EXPECT_EQ(ini("Status", "PageCheckCount"), "41");
    EXPECT_EQ(ini("Status", "Monitoring"), "1");
    EXPECT_TRUE(engine().loaded());
    EXPECT_TRUE(prompt->informs.isEmpty());
}

// A folder that cannot be opened hides whether a run is saved there: the
// window says so and writes nothing, rather than start afresh over it.
TEST_F(Startup, FolderThatCannotBeOpenedIsSaidAndNothingIsSaved) {
    services.executableFolder = [this] { return folder() + "/missing"; };
    window();
    EXPECT_TRUE(label("lblStatus")->text().startsWith("The folder " + folder() + "/missing cannot be opened (No such "
                                                      "file or directory): Tarvesk.ini cannot be read or saved"));
    EXPECT_FALSE(engine().timer1().isEnabled());
    EXPECT_FALSE(QFile::exists(folder() + "/missing"));
}

TEST_F(Startup, OnlyExactlyOneMeansMonitoring) {
    for (const char* value : {"0", "", "yes", "01", "1 1", "11"}) {
        resetWindow();
        QByteArray content = kRunningIni;
        content.replace("Monitoring=1\n", QByteArray("Monitoring=") + value + "\n");
        writeIni(content);
        SCOPED_TRACE(value);
        EXPECT_FALSE(engine().timer1().isEnabled());
        EXPECT_TRUE(button("cmdStartMonitor")->isEnabled());
        EXPECT_EQ(label("lblStatus")->text(), "Ready to Start Monitor.");
    }
}

TEST_F(Startup, RefusedResumeStaysIdleAndKeepsTheFlag) {
    QByteArray content = kRunningIni;
    content.replace("Interval=2.5", "Interval=soon");
    writeIni(content);
    window();
    EXPECT_EQ(prompt->informs, QStringList{"Please fill PageURL and Page Check Interval."});
    EXPECT_FALSE(engine().timer1().isEnabled());
    EXPECT_EQ(ini("Status", "Monitoring"), "1");
}

TEST_F(Startup, ZeroIntervalIsRefusedRatherThanSpinning) {
    for (const char* interval : {"0", "-3", "0.0001", "1e12"}) {
        resetWindow();
        prompt->informs.clear();
        QByteArray content = kRunningIni;
        content.replace("Interval=2.5", QByteArray("Interval=") + interval);
        writeIni(content);
        SCOPED_TRACE(interval);
        EXPECT_FALSE(engine().timer1().isTicking());
        EXPECT_EQ(prompt->informs, QStringList{"Please fill PageURL and Page Check Interval."});
    }
}

TEST_F(Startup, ResumeWithoutStartTimeShowsItEmpty) {
    QByteArray content = kRunningIni;
    content.replace("StartTime=2026-11-30 23:59:58\n", "");
    writeIni(content);
    EXPECT_TRUE(engine().timer1().isEnabled());
    EXPECT_TRUE(label("lblStartTime")->text().isEmpty());
}

TEST_F(Startup, ControlsCarryTheirNamesAndDesignValues) {
    window();
    for (const char* name : {"txtPageURL", "txtPageCheckInterval", "txtIISResetCommand", "txtPageFailureThreshold",
                             "txtComputerResetCommand", "txtIISResetThreshold", "txtComputerResetThreshold",
                             "txtReceiverEmail", "txtSenderEmail", "txtSenderSMTP", "txtSenderAccount",
                             "txtSenderPassword"}) {
        EXPECT_NE(window().findChild<QLineEdit*>(name), nullptr) << name;
    }
    for (const char* name : {"cmdCheckPage", "cmdIISReset", "cmdComputerReset", "cmdSendEmail", "cmdSave",
                             "cmdStartMonitor", "cmdStopMonitor"}) {
        EXPECT_NE(window().findChild<QPushButton*>(name), nullptr) << name;
    }
    for (const char* name : {"Frame1", "Frame2", "Frame3"}) {
        EXPECT_NE(window().findChild<QGroupBox*>(name), nullptr) << name;
    }
    for (int i = 1; i <= 29; ++i) {
        const QString name = QStringLiteral("Label%1").arg(i);
        EXPECT_NE(window().findChild<QLabel*>(name), nullptr) << name.toStdString();
    }
    EXPECT_EQ(window().size(), QSize(498, 594));
    EXPECT_EQ(window().minimumSize(), window().maximumSize());  // not resizable
    EXPECT_EQ(window().findChild<QGroupBox*>("Frame1")->geometry(), QRect(8, 32, 481, 193));
    EXPECT_EQ(button("cmdStartMonitor")->geometry(), QRect(208, 560, 81, 25));
    // Default focus order starts at the start button and ends at the options.
    EXPECT_EQ(button("cmdStartMonitor")->nextInFocusChain(), button("cmdStopMonitor"));
    // Tab from the last field of the mail frame reaches the option buttons.
    QWidget* next = box("chkNotifyCertificate")->nextInFocusChain();
    while (next && next->focusPolicy() == Qt::NoFocus) next = next->nextInFocusChain();
    EXPECT_EQ(next, window().findChild<QRadioButton*>("Option1")) << (next ? next->objectName().toStdString() : "");
}

TEST_F(Startup, ClickingTheLabelBesideANotificationBoxDoesNothing) {
    window();
    const bool before = box("chkNotifyIISReset")->isChecked();
    QLabel* text = label("Label21");
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(2, 2), text->mapToGlobal(QPointF(2, 2)), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(text, &press);
    EXPECT_EQ(box("chkNotifyIISReset")->isChecked(), before);
}

}  // namespace
}  // namespace tarvesk
