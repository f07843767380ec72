// The timer tick and its escalation chain, against a real local web server.
#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <sys/stat.h>

#include "config/profile_store.h"
#include "notify/event_log.h"
#include "platform/text_conv.h"
#include "support/http_test_server.h"
#include "window/support/window_fixture.h"

#include <unistd.h>

namespace tarvesk {
namespace {

class MonitoringCycle : public WindowTest {
protected:
    // A stopped window watching the local server, with the given stages on.
    void setUpStages(bool iis, bool computer, bool abort, const char* p, const char* i, const char* c) {
        writeIni("[HowToMonitor]\nInterval=10\nCmdResetIIS=restart-web\nCmdResetComputer=reboot-now\n"
                 "[Status]\nLanguage=eng\n");
        window();
        type("txtPageURL", server.url("/"));
        type("txtPageFailureThreshold", p);
        type("txtIISResetThreshold", i);
        type("txtComputerResetThreshold", c);
        box("chkAbortMonitor")->setChecked(abort);
        box("chkComputerReset")->setChecked(computer);
        box("chkIISReset")->setChecked(iis);
        box("chkAbortMonitor")->setChecked(abort);
        box("chkComputerReset")->setChecked(computer);
        // The site answers at once that it went down and came back.
        probe->script = {SiteStopped, SiteStarted};
        prompt->informs.clear();
    }
    QString status() { return label("lblStatus")->text(); }
    QString tip() {  // the status tool tip as it shows when the pointer rests on the label
        QHelpEvent event(QEvent::ToolTip, QPoint(1, 1), QPoint(1, 1));
        QCoreApplication::sendEvent(label("lblStatus"), &event);
        return label("lblStatus")->toolTip();
    }
    int count(const QString& command) const { return starter->started.count(command); }

    HttpTestServer server;
};

// The real client, noting the page count on disk as each request leaves.
class CountNotingHttp : public HttpClient {
public:
    CountNotingHttp(std::shared_ptr<HttpClient> real, QString iniPath)
        : m_real(std::move(real)), m_iniPath(std::move(iniPath)) {}
    HttpResult get(const QString& url) override {
        countsOnDisk.append(ProfileStore::ReadIni(m_iniPath, "Status", "PageCheckCount", ""));
        return m_real->get(url);
    }
    QStringList countsOnDisk;

private:
    std::shared_ptr<HttpClient> m_real;
    QString m_iniPath;
};

TEST_F(MonitoringCycle, GoodTickClearsTheChainAndPersistsZero) {
    auto http = std::make_shared<CountNotingHttp>(services.http, iniPath());
    services.http = http;
    setUpStages(true, true, true, "2", "5", "5");
    server.setStatus(500);
    for (int tick = 0; tick < 3; ++tick) engine().Timer1_Timer();  // a restart at the 2nd
    ASSERT_EQ(count("restart-web"), 1);
    EXPECT_EQ(engine().continuousPageFailure(), 1);
    EXPECT_EQ(engine().continuousIISResetFailure(), 1);
    EXPECT_TRUE(status().startsWith("Monitoring, page is invalid.\t"));
    EXPECT_TRUE(tip().startsWith("HTTP 500 (")) << tip().toStdString();
    window().SetLanguage("cn");  // the tip's own words follow the window's language
    EXPECT_TRUE(tip().startsWith("HTTP 状态 500（用时 ")) << tip().toStdString();
    window().SetLanguage("eng");

    server.setStatus(200);
    fixedNow = QDateTime(QDate(2026, 5, 1), QTime(3, 0, 7));
    engine().Timer1_Timer();
    EXPECT_TRUE(tip().startsWith("HTTP 200 (") && tip().endsWith("), " + FormatGeneralDateTime(fixedNow)));
    EXPECT_EQ(engine().continuousPageFailure(), 0);
    EXPECT_EQ(engine().continuousIISResetFailure(), 0);
    EXPECT_EQ(engine().continuousComputerResetFailure(), 0);
    EXPECT_EQ(ini("Status", "ContinousComputerResetFailure"), "0");
    EXPECT_TRUE(status().startsWith("Monitoring, page is valid.\t"));
    EXPECT_GT(status().size(), QString("Monitoring, page is valid.\t").size());  // the time follows
    EXPECT_EQ(ini("Status", "PageCheckCount"), "4");
    EXPECT_EQ(label("lblPageCheckCount")->text(), "4");
    EXPECT_EQ(server.requestCount(), 4);
    // Each count was on disk before its request left.
    EXPECT_EQ(http->countsOnDisk.join(' ').toStdString(), "1 2 3 4");
}

TEST_F(MonitoringCycle, IISResetOnEveryPthFailedTick) {
    setUpStages(true, false, false, "2", "2", "2");
    server.setStatus(500);
    QStringList statusAfter;
    for (int tick = 1; tick <= 4; ++tick) {
        engine().Timer1_Timer();
        statusAfter.append(status().section('\t', 0, 0));
    }
    EXPECT_EQ(count("restart-web"), 2);
    EXPECT_EQ(statusAfter[0], "Monitoring, page is invalid.");
    EXPECT_EQ(statusAfter[1], "Monitoring, IIS has reset 1 times.");
    EXPECT_EQ(statusAfter[3], "Monitoring, IIS has reset 2 times.");
    EXPECT_EQ(ini("Status", "IISResetCount"), "2");
    EXPECT_EQ(label("lblIISResetCount")->text(), "2");
    // Each reset logs its command before it runs.
    EXPECT_EQ(logLines().size(), 2);
    EXPECT_TRUE(logLines().value(0).endsWith("\tReset IIS\trestart-web"));
}

TEST_F(MonitoringCycle, ComputerResetAfterIResetsWithTheCounterOnDiskFirst) {
    setUpStages(true, true, false, "2", "2", "2");
    server.setStatus(500);
    QString persistedAtReboot;
    QString totalAtReboot;
    starter->onStart = [&](const QString& command) {
        if (command == "reboot-now") {
            persistedAtReboot = ini("Status", "ContinousComputerResetFailure");
            totalAtReboot = ini("Status", "ComputerResetCount");
        }
    };
    for (int tick = 1; tick <= 4; ++tick) engine().Timer1_Timer();
    EXPECT_EQ(count("reboot-now"), 0);
    engine().Timer1_Timer();  // failed tick P*I + 1
    EXPECT_EQ(count("reboot-now"), 1);
    EXPECT_EQ(persistedAtReboot, "1");
    EXPECT_EQ(totalAtReboot, "1");
    EXPECT_EQ(engine().continuousPageFailure(), 0);
    EXPECT_EQ(engine().continuousIISResetFailure(), 0);
    EXPECT_TRUE(status().startsWith("Monitoring, page is invalid, Computer is resetting.\t"));
    EXPECT_TRUE(logLines().last().endsWith("\tReset Computer\treboot-now"));
}

// A reboot whose count cannot reach the disk would come back to the old count
// for ever: it is not started, the chain stays where it was, and the next
// failed check tries again.
TEST_F(MonitoringCycle, RebootIsNotStartedWhenItsCountCannotBeSaved) {
    setUpStages(true, true, false, "9", "0", "2");
    server.setStatus(500);
    const QByteArray path = QFile::encodeName(iniPath());
    ASSERT_EQ(::chmod(path.constData(), 0444), 0);  // read-only to the store, even for root
    engine().Timer1_Timer();
    engine().Timer1_Timer();
    EXPECT_EQ(count("reboot-now"), 0);
    EXPECT_EQ(engine().continuousPageFailure(), 2);
    EXPECT_EQ(engine().continuousComputerResetFailure(), 0);
    EXPECT_EQ(label("lblComputerResetCount")->text(), "0");
    EXPECT_TRUE(status().startsWith("Monitoring, page is invalid.\t"));
    const QStringList lines = logLines();
    ASSERT_EQ(lines.size(), 2);
    for (const QString& line : lines)
        EXPECT_TRUE(line.endsWith("\tReset Computer\tNot started: the run status could not be saved."));

    ASSERT_EQ(::chmod(path.constData(), 0644), 0);
    engine().Timer1_Timer();
    EXPECT_EQ(count("reboot-now"), 1);
    EXPECT_EQ(ini("Status", "ContinousComputerResetFailure"), "1");
    EXPECT_EQ(ini("Status", "ComputerResetCount"), "1");
}

TEST_F(MonitoringCycle, GivesUpAtOnceAfterARestartButStillExaminesTheOtherStages) {
    writeIni("[HowToMonitor]\nPageURL=" + server.url("/").toUtf8() +
             "\nInterval=10\nCmdResetIIS=restart-web\nResetIIS=1\nPageFailureThreshold=0\n"
             "CmdResetComputer=reboot-now\nResetComputer=1\nIISResetThreshold=0\nAbortMonitor=1\n"
             "ComputerResetThreshold=2\n[Status]\nMonitoring=1\nContinousComputerResetFailure=2\n");
    window();
    probe->script = {SiteStopped, SiteStarted};
    server.setStatus(500);
    ASSERT_TRUE(engine().timer1().isEnabled());
    engine().Timer1_Timer();
    EXPECT_FALSE(engine().timer1().isEnabled());
    EXPECT_TRUE(button("cmdStartMonitor")->isEnabled());
    EXPECT_EQ(ini("Status", "Monitoring"), "1");  // giving up leaves the flag
    // With thresholds of 0 the reboot and the restart still run in the tick
    // that gives up.
    EXPECT_EQ(starter->started.join(' ').toStdString(), "reboot-now restart-web");
    const QStringList log = logLines();
    ASSERT_GE(log.size(), 3);
    EXPECT_TRUE(log[0].endsWith("\tAbort Monitor\t"));
    EXPECT_TRUE(log[1].endsWith("\tReset Computer\treboot-now"));
    EXPECT_TRUE(log[2].endsWith("\tReset IIS\trestart-web"));
}

TEST_F(MonitoringCycle, GivingUpStatusCarriesTheRebootCount) {
    writeIni("[HowToMonitor]\nInterval=10\nResetIIS=1\nPageFailureThreshold=9\nResetComputer=1\n"
             "IISResetThreshold=9\nAbortMonitor=1\nComputerResetThreshold=2\nCmdResetIIS=x\nCmdResetComputer=y\n"
             "[Status]\nLanguage=cn\nContinousComputerResetFailure=2\n");
    window();
    type("txtPageURL", server.url("/"));
    server.setStatus(404);
    engine().Timer1_Timer();
    EXPECT_TRUE(status().startsWith(QStringLiteral("监测已停止，电脑已重启 2 次。\t")));
}

TEST_F(MonitoringCycle, ThresholdsRoundHalvesToEvenAndZeroFiresEveryTime) {
    struct Case {
        const char* threshold;
        int resetsAfterSixTicks;
    } cases[] = {{"2.5", 3}, {"3.5", 1}, {"0", 6}, {"-1", 6}, {"abc", 0}, {"", 0}, {"99999999999", 0}};
    for (const Case& c : cases) {
        resetWindow();
        starter->started.clear();
        SCOPED_TRACE(c.threshold);
        setUpStages(true, false, false, c.threshold, "2", "2");
        server.setStatus(500);
        for (int tick = 0; tick < 6; ++tick) engine().Timer1_Timer();
        EXPECT_EQ(count("restart-web"), c.resetsAfterSixTicks);
        EXPECT_TRUE(prompt->informs.isEmpty());
    }
}

TEST_F(MonitoringCycle, InvalidAddressWhileRunningFailsEveryTickAndClimbs) {
    setUpStages(true, false, false, "2", "2", "2");
    type("txtPageURL", "ftp://nowhere");
    prompt->informs.clear();
    for (int tick = 0; tick < 4; ++tick) engine().Timer1_Timer();
    EXPECT_EQ(count("restart-web"), 2);
    EXPECT_EQ(server.requestCount(), 0);
    EXPECT_EQ(engine().pageCheckCount(), 0);  // not counted: no request was made
    EXPECT_TRUE(tip().startsWith("no usable page address (0 ms), ")) << tip().toStdString();
    window().SetLanguage("cn");
    EXPECT_TRUE(tip().startsWith("页面地址不可用（用时 0 毫秒），")) << tip().toStdString();
}

TEST_F(MonitoringCycle, CommandThatCannotStartIsLoggedAndTheTickGoesOn) {
    setUpStages(true, false, false, "1", "2", "2");
    starter->failWith = "No such file or directory";
    server.setStatus(500);
    engine().Timer1_Timer();
    const QStringList log = logLines();
    ASSERT_EQ(log.size(), 2);
    EXPECT_TRUE(log[0].endsWith("\tReset IIS\trestart-web"));
    EXPECT_TRUE(log[1].endsWith("\tReset IIS\tStart failed: No such file or directory"));
    EXPECT_EQ(probe->readings, 0);  // nothing started, nothing to wait for
    EXPECT_TRUE(status().startsWith("Monitoring, IIS has reset 1 times.\t"));
    EXPECT_TRUE(prompt->informs.isEmpty());
}

// Run as root (as CI runs), against the real modes and owners of the files.
TEST_F(MonitoringCycle, AsRootCommandsFromFilesOthersCanChangeAreNotStarted) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root";
    const uid_t nobody = 65534;
    struct Case {
        const char* what;
        uid_t owner;
        mode_t folderMode;
        mode_t fileMode;
        bool runs;
        const char* language = "eng";
        // The box speaks the window's language; the log keeps English. Both
        // go on to say what to do.
        const char* box = "Tarvesk.ini or its folder can be changed by another user, so commands are not run as root.";
    } cases[] = {
        {"owned by another user", nobody, 0755, 0600, false},
        {"group-writable folder", 0, 0775, 0600, false},
        {"world-writable folder", 0, 0757, 0600, false, "cn",
         "Tarvesk.ini 或其所在文件夹可被其他用户修改，因此不以 root 身份运行命令。请以 root 身份重新创建"},
        {"group-writable file", 0, 0755, 0620, false},
        {"root's alone", 0, 0755, 0600, true},
    };
    const QByteArray folderPath = QFile::encodeName(folder());
    const QByteArray filePath = QFile::encodeName(iniPath());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        resetWindow();
        QFile::remove(EventLog::PathFor(folder(), services.now()));
        setUpStages(true, false, false, "1", "2", "2");
        starter->started.clear();
        probe->readings = 0;
        window().SetLanguage(c.language);
        ASSERT_EQ(::chown(folderPath.constData(), c.owner, c.owner), 0);
        ASSERT_EQ(::chown(filePath.constData(), c.owner, c.owner), 0);
        ASSERT_EQ(::chmod(folderPath.constData(), c.folderMode), 0);
        ASSERT_EQ(::chmod(filePath.constData(), c.fileMode), 0);
        server.setStatus(500);
        engine().Timer1_Timer();
        prompt->answers = {true};
        button("cmdIISReset")->click();
        ::chown(folderPath.constData(), 0, 0);
        ::chmod(folderPath.constData(), 0700);
        ::chown(filePath.constData(), 0, 0);
        ::chmod(filePath.constData(), 0600);

        EXPECT_EQ(engine().iisResetCount(), 2);  // counted all the same
        const QStringList log = logLines();
        if (c.runs) {
            EXPECT_EQ(count("restart-web"), 2);
            EXPECT_EQ(log.size(), 2);
            EXPECT_EQ(prompt->informs, QStringList{Text(Msg::IISResetByManual, c.language)});
        } else {
            EXPECT_TRUE(starter->started.isEmpty());
            EXPECT_EQ(probe->readings, 0);  // nothing started, nothing to wait for
            ASSERT_EQ(log.size(), 4);
            EXPECT_TRUE(log[0].endsWith("\tReset IIS\trestart-web"));
            EXPECT_TRUE(log[1].contains("\tReset IIS\tStart failed: Tarvesk.ini or its folder can be changed by "
                                        "another user, so commands are not run as root. Re-create Tarvesk.ini"));
            ASSERT_EQ(prompt->informs.size(), 1);
            EXPECT_TRUE(prompt->informs[0].startsWith(QString::fromUtf8(c.box))) << prompt->informs[0].toStdString();
        }
    }

    // A linked Tarvesk.ini counts by the file it leads to and that file's folder.
    const QString target = folder() + "/real";
    ASSERT_TRUE(QDir().mkpath(target));
    QFile::remove(iniPath());
    ASSERT_TRUE(QFile::link(target + "/Tarvesk.ini", iniPath()));
    const struct {
        const char* what;
        mode_t folderMode;
        mode_t fileMode;
        bool runs;
    } links[] = {
        {"linked into root's folder", 0755, 0600, true},
        {"linked to a file anyone may write", 0755, 0666, false},
        {"linked into a folder anyone may write", 0777, 0600, false},
    };
    for (const auto& l : links) {
        SCOPED_TRACE(l.what);
        resetWindow();
        setUpStages(true, false, false, "1", "2", "2");
        starter->started.clear();
        ASSERT_EQ(::chmod(QFile::encodeName(target).constData(), l.folderMode), 0);
        ASSERT_EQ(::chmod(QFile::encodeName(target + "/Tarvesk.ini").constData(), l.fileMode), 0);
        server.setStatus(500);
        engine().Timer1_Timer();
        EXPECT_EQ(count("restart-web"), l.runs ? 1 : 0);
        ::chmod(QFile::encodeName(target).constData(), 0755);
        ::chmod(QFile::encodeName(target + "/Tarvesk.ini").constData(), 0600);
    }
}

TEST_F(MonitoringCycle, SiteWaitCountsItsPauses) {
    setUpStages(true, false, false, "1", "2", "2");
    server.setStatus(500);
    // Stopped at the 3rd reading of the first wait, started at the 5th of the
    // second: 2 + 4 pauses.
    probe->script = {SiteStarted, SiteStarted, SiteStopped, SiteStopped, SiteStopped, SiteStopped, SiteStopped,
                     SiteStarted};
    engine().Timer1_Timer();
    EXPECT_EQ(sleeps, 6);
    EXPECT_EQ(probe->readings, 8);

    // A state that never reads: both waits run their full minute.
    sleeps = 0;
    probe->script = {SiteUnknown};
    engine().Timer1_Timer();
    EXPECT_EQ(sleeps, 120);
}

TEST_F(MonitoringCycle, TickArrivingDuringAYieldIsSkipped) {
    int nested = 0;
    services.sleepOneSecond = [&] {
        ++nested;
        engine().Timer1_Timer();  // a tick while the first waits for the site
    };
    server.setStatus(500);
    setUpStages(true, false, false, "1", "2", "2");
    probe->script = {SiteUnknown};
    engine().Timer1_Timer();
    EXPECT_EQ(nested, 120);
    EXPECT_EQ(server.requestCount(), 1);
    EXPECT_EQ(count("restart-web"), 1);
}

TEST_F(MonitoringCycle, StopDuringAResetLetsTheTickFinish) {
    setUpStages(true, false, false, "1", "2", "2");
    server.setStatus(500);
    button("cmdStartMonitor")->click();
    ASSERT_TRUE(engine().timer1().isEnabled());
    bool stopped = false;
    probe->script = {SiteUnknown};
    starter->onStart = [&](const QString&) {
        button("cmdStopMonitor")->click();
        stopped = true;
    };
    engine().Timer1_Timer();
    EXPECT_TRUE(stopped);
    EXPECT_FALSE(engine().timer1().isEnabled());
    EXPECT_EQ(ini("Status", "Monitoring"), "0");
    EXPECT_TRUE(status().startsWith("Monitoring, IIS has reset 1 times."));
}

// The text of one label at each of its paints.
struct PaintedTexts : QObject {
    explicit PaintedTexts(QLabel* watched) : label(watched) { watched->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) texts.append(label->text());
        return false;
    }
    QLabel* label;
    QStringList texts;
};

// Hidden, the window paints nothing however many ticks run; shown, it paints
// the counts as they are by then.
TEST_F(MonitoringCycle, WindowShownAfterHiddenTicksPaintsTheCurrentCounts) {
    setUpStages(false, false, false, "2", "2", "2");
    PaintedTexts painted(label("lblPageCheckCount"));
    for (int tick = 0; tick < 3; ++tick) engine().Timer1_Timer();
    QCoreApplication::processEvents();
    EXPECT_TRUE(painted.texts.isEmpty()) << painted.texts.join(' ').toStdString();

    window().show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !painted.texts.isEmpty(); }));
    EXPECT_EQ(painted.texts.last().toStdString(), "3");
}

TEST_F(MonitoringCycle, UnwritableFolderLosesLogAndCountsButMonitoringGoesOn) {
    server.setStatus(500);
    services.executableFolder = [] { return QStringLiteral("/nonexistent/tarvesk"); };
    setUpStages(true, false, false, "1", "2", "2");
    engine().Timer1_Timer();
    engine().Timer1_Timer();
    // The factory command: the settings file could not be read either. As
    // root, a folder that cannot be opened is no verdict: nothing is run.
    EXPECT_EQ(starter->started.size(), ::geteuid() == 0 ? 0 : 2);
    EXPECT_EQ(engine().pageCheckCount(), 2);
    EXPECT_TRUE(prompt->informs.isEmpty());
}

}  // namespace
}  // namespace tarvesk
