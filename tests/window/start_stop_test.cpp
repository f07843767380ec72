// The start button's checks, a fresh run, and stopping.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "window/support/window_fixture.h"

namespace tarvesk {
namespace {

class StartStop : public WindowTest {
protected:
    void SetUp() override {
        writeIni("[HowToMonitor]\nPageURL=http://127.0.0.1:9/\nInterval=10\nCmdResetIIS=restart-web\nResetIIS=1\n"
                 "PageFailureThreshold=2\nCmdResetComputer=reboot-now\nResetComputer=1\nIISResetThreshold=2\n"
                 "AbortMonitor=1\nComputerResetThreshold=2\n"
                 "[Status]\nLanguage=eng\nMonitoring=0\nPageCheckCount=12\nIISResetCount=3\n"
                 "ComputerResetCount=1\nContinousComputerResetFailure=1\n");
    }
    void start() {
        prompt->informs.clear();
        button("cmdStartMonitor")->click();
    }
};

TEST_F(StartStop, ChecksComeInOrderAndChangeNothingWhenRefused) {
    struct Case {
        const char* field;
        const char* text;
        const char* english;
        const char* chinese;
    } cases[] = {
        {"txtPageURL", "http://", "Please fill Page URL.", "请填写待监测的页面 URL。"},
        {"txtPageCheckInterval", "ten", "Please fill Page Check Interval.", "请填写页面监测的时间间隔。"},
        {"txtIISResetCommand", "", "Please fill IIS Reset Command.", "请填写 IIS 重启命令。"},
        {"txtPageFailureThreshold", "x", "Please fill Page Failures Times.", "请填写页面失效次数。"},
        {"txtComputerResetCommand", "", "Please fill Computer Reset Command.", "请填写电脑重启命令。"},
        {"txtIISResetThreshold", "", "Please fill IIS Reset Failures Times.", "请填写 IIS 重启失效次数。"},
        {"txtComputerResetThreshold", "two", "Please fill Computer Reset Failures Times.",
         "请填写电脑重启失效次数。"},
    };
    for (bool chinese : {false, true}) {
        for (const Case& c : cases) {
            resetWindow();
            SCOPED_TRACE(c.field);
            if (chinese) window().SetLanguage("cn");
            const QByteArray before = iniBytes();
            type(c.field, QString::fromUtf8(c.text));
            start();
            EXPECT_EQ(prompt->informs, QStringList{QString::fromUtf8(chinese ? c.chinese : c.english)});
            EXPECT_FALSE(engine().timer1().isEnabled());
            EXPECT_EQ(iniBytes(), before);
            EXPECT_EQ(engine().pageCheckCount(), 12);
        }
    }
}

TEST_F(StartStop, AddressIsCheckedBeforeTheInterval) {
    type("txtPageURL", "http");
    type("txtPageCheckInterval", "abc");
    start();
    EXPECT_EQ(prompt->informs, QStringList{"Please fill Page URL."});
}

TEST_F(StartStop, SwitchedOffStagesAreNotChecked) {
    box("chkIISReset")->setChecked(false);
    type("txtIISResetCommand", "");
    type("txtComputerResetThreshold", "letters");
    start();
    EXPECT_TRUE(prompt->informs.isEmpty());
    EXPECT_TRUE(engine().timer1().isEnabled());
}

TEST_F(StartStop, StartBeginsAFreshRunAndPersistsIt) {
    fixedNow = QDateTime(QDate(2026, 3, 5), QTime(9, 7, 3));
    const QByteArray monitorBefore = iniBytes().left(iniBytes().indexOf("[Status]"));
    type("txtPageCheckInterval", "0.25");
    start();
    EXPECT_TRUE(prompt->informs.isEmpty());
    EXPECT_TRUE(engine().timer1().isEnabled());
    EXPECT_EQ(engine().timer1().interval(), 250);
    EXPECT_FALSE(button("cmdStartMonitor")->isEnabled());
    EXPECT_EQ(label("lblStatus")->text(), "Monitoring.");
    EXPECT_EQ(label("lblPageCheckCount")->text(), "0");
    EXPECT_EQ(ini("Status", "Monitoring"), "1");
    EXPECT_EQ(ini("Status", "StartTime"), "2026-3-5 09:07:03");
    for (const char* key : {"PageCheckCount", "IISResetCount", "ComputerResetCount", "ContinousComputerResetFailure"}) {
        EXPECT_EQ(ini("Status", key), "0") << key;
    }
    // The settings sections are not saved by starting.
    EXPECT_TRUE(iniBytes().startsWith(monitorBefore));
    EXPECT_EQ(ini("HowToMonitor", "Interval"), "10");
}

TEST_F(StartStop, StopKeepsCountersAndANewStartResetsThem) {
    start();
    engine().CheckPage();
    button("cmdStopMonitor")->click();
    EXPECT_FALSE(engine().timer1().isEnabled());
    EXPECT_TRUE(button("cmdStartMonitor")->isEnabled());
    EXPECT_EQ(label("lblStatus")->text(), "Monitor stopped.");
    EXPECT_EQ(ini("Status", "Monitoring"), "0");
    EXPECT_EQ(ini("Status", "PageCheckCount"), "1");
    // Stopping twice is harmless.
    button("cmdStopMonitor")->click();
    EXPECT_EQ(ini("Status", "Monitoring"), "0");
    start();
    EXPECT_EQ(ini("Status", "PageCheckCount"), "0");
}

TEST_F(StartStop, IntervalTheTimerCannotKeepIsRefusedBeforeAnythingIsWritten) {
    for (const char* interval : {"0", "-1", "0.0004", "3000000"}) {
        resetWindow();
        SCOPED_TRACE(interval);
        const QByteArray before = iniBytes();
        type("txtPageCheckInterval", interval);
        start();
        EXPECT_EQ(prompt->informs, QStringList{"Please fill PageURL and Page Check Interval."});
        EXPECT_FALSE(engine().timer1().isTicking());
        EXPECT_TRUE(button("cmdStartMonitor")->isEnabled());
        // The previous run's status and totals are kept as they were.
        EXPECT_EQ(iniBytes(), before);
        EXPECT_EQ(engine().pageCheckCount(), 12);
        EXPECT_EQ(engine().continuousComputerResetFailure(), 1);
    }
}

}  // namespace
}  // namespace tarvesk
