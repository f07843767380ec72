// The real program, resumed from its INI file, climbs the whole escalation
// chain against a web server that keeps answering 500.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include "config/profile_store.h"
#include "support/program_copy.h"

namespace tarvesk {
namespace {

QString ReadText(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(file.readAll());
}

// Waits up to `seconds` for `done` to hold.
template <typename Pred>
bool WaitFor(Pred done, int seconds) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > seconds * 1000) return false;
        QThread::msleep(50);
    }
    return true;
}

class WatchdogEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        // The commands run as root where the suite does, and root runs only
        // what lies where root alone can change it: a copy of the scripts in
        // the test's own folder, wherever the checkout is.
        m_scripts = m_dir.path();
        for (const char* script : {"restart_site.sh", "leave_mark.sh", "status_server.py"}) {
            ASSERT_TRUE(QFile::copy(QStringLiteral(TARVESK_TEST_SCRIPTS "/") + script, m_dir.filePath(script)));
        }
        // The program keeps its INI and logs beside itself: run a copy.
        m_program = CopyProgramInto(m_dir.path());
        ASSERT_FALSE(m_program.isEmpty());

        QProcess::startDetached("/usr/bin/setsid",
                                {"/usr/bin/python3", m_scripts + "/status_server.py", "--status", "500",
                                 "--port-file", m_dir.filePath("server.port"), "--pid-file",
                                 m_dir.filePath("server.pid")});
        ASSERT_TRUE(WaitFor([&] { return QFile::exists(m_dir.filePath("server.port")); }, 10));
        m_port = ReadText(m_dir.filePath("server.port")).toInt();
        ASSERT_GT(m_port, 0);
    }

    void TearDown() override {
        if (m_tarvesk.state() != QProcess::NotRunning) {
            m_tarvesk.kill();
            m_tarvesk.waitForFinished(5000);
        }
        const QString pid = ReadText(m_dir.filePath("server.pid"));
        if (!pid.isEmpty()) QProcess::execute("/bin/kill", {pid});
    }

    void writeIni(const QByteArray& content) {
        QFile file(m_dir.filePath("Tarvesk.ini"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

    QString ini(const char* key) {
        return ProfileStore::ReadIni(m_dir.filePath("Tarvesk.ini"), "Status", key, "<missing>");
    }

    QString log() {
        const QDate today = QDate::currentDate();
        return ReadText(m_dir.filePath(QStringLiteral("%1-%2.log").arg(today.year()).arg(today.month())));
    }

    void startProgram() {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        m_tarvesk.setProcessEnvironment(env);
        m_tarvesk.setProgram(m_program);
        m_tarvesk.start();
        ASSERT_TRUE(m_tarvesk.waitForStarted(10000));
    }

    QTemporaryDir m_dir;
    QString m_scripts;
    QString m_program;
    int m_port = 0;
    QProcess m_tarvesk;
};

TEST_F(WatchdogEndToEnd, ClimbsFromRestartToRebootToGivingUp) {
    const QByteArray restart = "\"" + (m_scripts + "/restart_site.sh").toUtf8() + "\" \"" +
                               m_dir.path().toUtf8() + "\" 500";
    // Written the way shell users write it: words in single quotes.
    const QByteArray reboot = "sh -c '\"$0\" \"$1\"' '" + (m_scripts + "/leave_mark.sh").toUtf8() + "' '" +
                              m_dir.filePath("rebooted").toUtf8() + "'";
    writeIni("[HowToMonitor]\nPageURL=http://127.0.0.1:" + QByteArray::number(m_port) +
             "/\nInterval=0.5\nCmdResetIIS=" + restart + "\nResetIIS=1\nPageFailureThreshold=1\n"
             "CmdResetComputer=" + reboot + "\nResetComputer=1\nIISResetThreshold=1\nAbortMonitor=1\n"
             "ComputerResetThreshold=1\n[HowtoNotify]\nNotifyIISReset=0\nNotifyComputerReset=0\n"
             "NotifyAbortMonitor=0\n[Status]\nLanguage=eng\nMonitoring=1\nStartTime=2026-12-1 08:00:00\n"
             "PageCheckCount=0\nIISResetCount=0\nComputerResetCount=0\nContinousComputerResetFailure=0\n");
    startProgram();

    ASSERT_TRUE(WaitFor([&] { return log().contains("\tAbort Monitor\t"); }, 90)) << log().toStdString();
    const QString text = log();
    const int iis = text.indexOf("\tReset IIS\t");
    const int computer = text.indexOf("\tReset Computer\t");
    const int abort = text.indexOf("\tAbort Monitor\t");
    EXPECT_GE(iis, 0);
    EXPECT_GT(computer, iis);
    EXPECT_GT(abort, computer);
    EXPECT_FALSE(text.contains("Start failed"));

    // Both commands really ran: the site went down and came back, the reboot
    // left its mark.
    EXPECT_TRUE(ReadText(m_dir.filePath("restarts")).startsWith("restart"));
    EXPECT_EQ(ReadText(m_dir.filePath("rebooted")), "reboot\n");
    EXPECT_EQ(ini("ComputerResetCount"), "1");
    EXPECT_EQ(ini("ContinousComputerResetFailure"), "1");
    EXPECT_GE(ini("IISResetCount").toInt(), 1);
    EXPECT_GE(ini("PageCheckCount").toInt(), 3);
    EXPECT_EQ(ini("Monitoring"), "1");  // giving up leaves the run marked as on
    EXPECT_EQ(ini("StartTime"), "2026-12-1 08:00:00");
    // Every log line is whole.
    for (const QString& line : text.split("\r\n", Qt::SkipEmptyParts)) {
        EXPECT_EQ(line.count('\t'), 2) << line.toStdString();
    }

    // The service's journal (standard error) tells each event too, in order,
    // with the reason of the last failed check.
    m_tarvesk.terminate();
    ASSERT_TRUE(m_tarvesk.waitForFinished(10000));
    QStringList events;
    for (const QString& line : QString::fromUtf8(m_tarvesk.readAllStandardError()).split('\n')) {
        if (!line.startsWith("Tarvesk: page") && line.contains(" (last failed check: HTTP 500)")) {
            events.append(line.section(" (last failed check: ", 0, 0));
        }
    }
    const QString restartLine = "Tarvesk: Reset IIS: " + QString::fromUtf8(restart);
    const QString rebootLine = "Tarvesk: Reset Computer: " + QString::fromUtf8(reboot);
    EXPECT_EQ(events.value(0), restartLine) << events.join('\n').toStdString();
    EXPECT_GT(events.indexOf(rebootLine), 0) << events.join('\n').toStdString();
    EXPECT_GT(events.indexOf("Tarvesk: Abort Monitor"), events.indexOf(rebootLine));
    EXPECT_EQ(events.count(restartLine), ini("IISResetCount").toInt());
    EXPECT_EQ(events.count(rebootLine), 1);

    // Started again after the reboot, with the site back: the first good
    // check says so, naming the last action, the restart the giving-up tick
    // still made.
    // A site of its own, out of reach of a restart still under way.
    QProcess::startDetached("/usr/bin/setsid",
                            {"/usr/bin/python3", m_scripts + "/status_server.py", "--status", "200", "--port-file",
                             m_dir.filePath("back.port"), "--pid-file", m_dir.filePath("back.pid")});
    ASSERT_TRUE(WaitFor([&] { return QFile::exists(m_dir.filePath("back.port")); }, 10));
    ProfileStore::WriteIni(m_dir.filePath("Tarvesk.ini"), "HowToMonitor", "PageURL",
                           "http://127.0.0.1:" + ReadText(m_dir.filePath("back.port")) + "/");
    startProgram();
    ASSERT_TRUE(WaitFor([&] { return log().contains("\tSite Back\t"); }, 30)) << log().toStdString();
    EXPECT_TRUE(log().contains(QRegularExpression("\tSite Back\tThe page is good again after [^\t]+ bad \\(since "
                                                  "[^\t]+\\); the last action was the restart \\(Reset IIS\\)\\.\r\n")))
        << log().toStdString();
    // Emptied once the notice is out, its mail included.
    EXPECT_TRUE(WaitFor([&] { return ini("LastRecovery").isEmpty(); }, 30)) << ini("LastRecovery").toStdString();
    QProcess::execute("/bin/kill", {ReadText(m_dir.filePath("back.pid"))});
}

}  // namespace
}  // namespace tarvesk
