// The real program around its own process: closing or a termination signal
// ends it at once whatever it is doing, one copy per folder, and a server
// without a display.
#include <gtest/gtest.h>

#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <csignal>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/un.h>
#include <unistd.h>

#include "config/profile_store.h"
#include "support/hostile_http_server.h"
#include "support/http_test_server.h"
#include "support/program_copy.h"

namespace tarvesk {
namespace {

// Stops a process and returns once every thread of it has stopped: a thread
// that was inside a system call (a rename, a send) finishes it first.
bool StopEveryThread(qint64 pid) {
    ::kill(static_cast<pid_t>(pid), SIGSTOP);
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    return WaitUntil(
        [&] {
            for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
                const QByteArray stat = ReadRaw(tasks.filePath(task + "/stat"));
                // The state letter follows the command name in parentheses.
                if (stat.mid(stat.lastIndexOf(')') + 2, 1) != "T") return false;
            }
            return true;
        },
        10000);
}

QByteArray Settings(const QString& url, const char* interval, const char* monitoring, const char* language) {
    return "[HowToMonitor]\nPageURL=" + url.toUtf8() + "\nInterval=" + interval +
           "\nCmdResetIIS=sh -c 'echo restarted > restart-ran'\nResetIIS=1\nPageFailureThreshold=1\n"
           "CmdResetComputer=sh -c 'echo rebooted > reboot-ran'\nResetComputer=0\nIISResetThreshold=1\n"
           "AbortMonitor=0\nComputerResetThreshold=1\n[HowToNotify]\nNotifyIISReset=0\n"
           "NotifyComputerReset=0\nNotifyAbortMonitor=0\n[Status]\nLanguage=" +
           QByteArray(language) + "\nMonitoring=" + monitoring +
           "\nStartTime=2026-12-1 08:00:00\nPageCheckCount=0\nIISResetCount=0\nComputerResetCount=0\n"
           "ContinousComputerResetFailure=0\n";
}

// One copy of the program in a temporary folder of its own, where it keeps
// its INI file and its logs.
class ProcessLife : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_program = CopyProgramInto(m_dir.path());
        ASSERT_FALSE(m_program.isEmpty());
        m_service = m_dir.filePath("tarvesk-service");
    }

    void TearDown() override {
        for (QProcess* p : {&m_first, &m_second}) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(5000);
            }
        }
        for (int socket : m_sockets) ::close(socket);
    }

    void writeIni(const QByteArray& content) {
        QFile file(iniPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    QString iniPath() const { return m_dir.filePath("Tarvesk.ini"); }
    QString ini(const char* key) const {
        return ProfileStore::ReadIni(iniPath(), "Status", key, "<missing>");
    }
    QString logPath() const {
        const QDate today = QDate::currentDate();
        return m_dir.filePath(QStringLiteral("%1-%2.log").arg(today.year()).arg(today.month()));
    }

    // Starts the program (the window program unless another is named) with
    // `env` as its whole environment (plus a few harmless basics), from its
    // own folder.
    void start(QProcess& process, const QProcessEnvironment& env, const QString& program = {}) {
        QProcessEnvironment full = env;
        full.insert("PATH", qEnvironmentVariable("PATH"));
        full.insert("HOME", qEnvironmentVariable("HOME", "/root"));
        full.insert("XDG_RUNTIME_DIR", m_dir.path());
        process.setProcessEnvironment(full);
        process.setWorkingDirectory(m_dir.path());
        process.setProgram(program.isEmpty() ? m_program : program);
        process.start();
        ASSERT_TRUE(process.waitForStarted(10000)) << process.errorString().toStdString();
    }
    static QProcessEnvironment Offscreen() {
        QProcessEnvironment env;
        env.insert("QT_QPA_PLATFORM", "offscreen");
        return env;
    }

    // A socket in the folder that hears what a service manager would, for a
    // NOTIFY_SOCKET; closed with the test.
    int notifySocket() {
        const int listener = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_un address{AF_UNIX, {}};
        qstrncpy(address.sun_path, QFile::encodeName(m_dir.filePath("notify")).constData(), sizeof address.sun_path);
        EXPECT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        m_sockets.append(listener);
        return listener;
    }

    // Milliseconds the process takes to end after `signal`.
    static qint64 EndWith(QProcess& process, int signal) {
        QElapsedTimer clock;
        clock.start();
        ::kill(static_cast<pid_t>(process.processId()), signal);
        if (!process.waitForFinished(10000)) return -1;
        return clock.elapsed();
    }

    QTemporaryDir m_dir;
    QString m_program;
    QString m_service;
    QList<int> m_sockets;
    QProcess m_first;
    QProcess m_second;
    QByteArray m_stderr;
};

TEST_F(ProcessLife, TerminationSignalsEndAHangingCheckAndNothingOfItRunsAfter) {
    for (int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal);
        HostileHttpServer silent(HostileHttpServer::Mode::Silent);
        writeIni(Settings(silent.url(), "0.2", "1", "eng"));
        start(m_first, Offscreen());
        ASSERT_TRUE(WaitUntil([&] { return silent.connectionCount() > 0; }, 10000));
        const QByteArray iniBefore = ReadRaw(iniPath());

        const qint64 took = EndWith(m_first, signal);
        EXPECT_GE(took, 0);
        EXPECT_LT(took, 1500);
        EXPECT_EQ(m_first.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(m_first.exitCode(), 0);
        // The check never came back, so the restart stage never fired.
        EXPECT_EQ(ReadRaw(iniPath()), iniBefore);
        EXPECT_EQ(ini("IISResetCount"), "0");
        EXPECT_FALSE(QFile::exists(logPath()));
        EXPECT_FALSE(QFile::exists(m_dir.filePath("restart-ran")));
    }
}

TEST_F(ProcessLife, SecondCopyInTheSameFolderSaysSoAndWritesNothing) {
    HttpTestServer site;
    writeIni(Settings(site.url("/"), "0.2", "1", "eng"));
    start(m_first, Offscreen());
    ASSERT_TRUE(WaitUntil([&] { return ini("PageCheckCount").toInt() >= 2; }, 10000));
    // The second copy would check this site. A request the first copy sent
    // just before it stopped may still reach `site` afterwards.
    HttpTestServer secondSite;

    for (const char* language : {"eng", "cn"}) {
        SCOPED_TRACE(language);
        // The first copy stops for a moment so that the file holds still.
        ASSERT_TRUE(StopEveryThread(m_first.processId()));
        ProfileStore::WriteIni(iniPath(), "HowToMonitor", "PageURL", secondSite.url("/"));
        ProfileStore::WriteIni(iniPath(), "Status", "Language", language);
        const QByteArray before = ReadRaw(iniPath());

        start(m_second, Offscreen());
        ASSERT_TRUE(m_second.waitForFinished(10000));
        EXPECT_EQ(m_second.exitCode(), 3);
        const QString said = QString::fromLocal8Bit(m_second.readAllStandardError());
        EXPECT_TRUE(said.contains(QString::fromUtf8(language == QByteArray("cn")
                                                         ? "此文件夹中已有一个 Tarvesk 正在运行。"
                                                         : "Tarvesk is already running from this folder.")))
            << said.toStdString();
        EXPECT_EQ(ReadRaw(iniPath()), before);
        EXPECT_EQ(secondSite.requestCount(), 0);
        EXPECT_FALSE(QFile::exists(logPath()));
        ::kill(static_cast<pid_t>(m_first.processId()), SIGCONT);
    }

    // The lock never goes stale: after a SIGKILL of the first copy the next
    // start monitors as usual.
    m_first.kill();
    ASSERT_TRUE(m_first.waitForFinished(5000));
    const int countAfterKill = ini("PageCheckCount").toInt();
    start(m_second, Offscreen());
    EXPECT_TRUE(WaitUntil([&] { return ini("PageCheckCount").toInt() >= countAfterKill + 2; }, 10000));
    EXPECT_EQ(m_second.state(), QProcess::Running);

    // A copy in another folder is independent of it.
    QTemporaryDir other;
    const QString otherProgram = CopyProgramInto(other.path());
    ASSERT_FALSE(otherProgram.isEmpty());
    QProcess elsewhere;
    elsewhere.start(otherProgram, {});
    EXPECT_FALSE(elsewhere.waitForFinished(1500)) << "the copy elsewhere ended: " << elsewhere.exitCode();
    elsewhere.kill();
    elsewhere.waitForFinished(5000);
}

TEST_F(ProcessLife, WithoutADisplayItRunsWithoutAWindowAndNoBoxWaits) {
    HttpTestServer site;
    // An interval the timer cannot keep: the resume is refused with a box
    // that nobody could answer.
    writeIni(Settings(site.url("/"), "0", "1", "eng"));
    start(m_first, QProcessEnvironment());
    ASSERT_TRUE(WaitUntil(
        [&] {
            m_first.waitForReadyRead(20);
            m_stderr += m_first.readAllStandardError();
            return m_stderr.contains("Please fill PageURL and Page Check Interval.");
        },
        10000))
        << m_stderr.toStdString();
    EXPECT_TRUE(m_stderr.contains("no display; running without a window, with " + iniPath().toUtf8()))
        << m_stderr.toStdString();
    EXPECT_EQ(m_first.state(), QProcess::Running);
    EXPECT_LT(EndWith(m_first, SIGTERM), 1500);

    // With a usable interval it resumes and monitors as with a window: the
    // process started is the service program now, run in the window
    // program's place, and it is what tells the service manager it is ready.
    writeIni(Settings(site.url("/"), "0.2", "1", "eng"));
    const int listener = notifySocket();
    QProcessEnvironment env;
    env.insert("NOTIFY_SOCKET", m_dir.filePath("notify"));
    start(m_first, env);
    EXPECT_TRUE(WaitUntil([&] { return ini("PageCheckCount").toInt() >= 3; }, 10000));
    EXPECT_EQ(m_first.state(), QProcess::Running);
    EXPECT_EQ(QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(m_first.processId())).toStdString(),
              m_service.toStdString());
    char buffer[4096];
    QStringList heard;
    for (ssize_t n; (n = ::recv(listener, buffer, sizeof buffer, 0)) > 0;)
        heard.append(QString::fromUtf8(buffer, static_cast<int>(n)));
    EXPECT_TRUE(heard.contains("READY=1")) << heard.join(' ').toStdString();
}

TEST_F(ProcessLife, StartUpSaysOnceWhenOthersCanReadOrChangeTheIni) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root";
    const QByteArray folder = QFile::encodeName(m_dir.path());
    const QByteArray file = QFile::encodeName(iniPath());
    struct Case {
        mode_t folderMode;
        mode_t fileMode;
        bool readable;
        bool changeable;
    } cases[] = {{0755, 0600, false, false}, {0755, 0644, true, false}, {0755, 0640, true, false}, {0755, 0604, true, false},
                 {0775, 0600, false, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fileMode);
        writeIni(Settings("http://127.0.0.1:9/", "10", "0", "eng"));
        ASSERT_EQ(::chmod(folder.constData(), c.folderMode), 0);
        ASSERT_EQ(::chmod(file.constData(), c.fileMode), 0);
        start(m_first, Offscreen());
        QThread::msleep(500);
        EndWith(m_first, SIGTERM);
        const QString said = QString::fromLocal8Bit(m_first.readAllStandardError());
        EXPECT_EQ(said.count("chmod 600 " + iniPath()), c.readable ? 1 : 0) << said.toStdString();
        EXPECT_EQ(said.count(iniPath() + ": Tarvesk.ini or its folder can be changed by another user, so "
                                         "commands are not run as root."),
                  c.changeable ? 1 : 0)
            << said.toStdString();
        // The program leaves the mode as the operator set it.
        struct stat st {};
        ASSERT_EQ(::stat(file.constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, c.fileMode);
    }
    ::chmod(folder.constData(), 0700);
}

// As a service: standard error tells each change of the page's state once; a notify socket hears
// readiness, the status line with its reason, and watchdog pings that go on while a check hangs.
TEST_F(ProcessLife, ServiceHearsEachChangeOnceAndPingsWhileACheckHangs) {
    const int listener = notifySocket();
    QList<QPair<QString, qint64>> heard;  // each datagram with the moment it was read
    QElapsedTimer clock;
    clock.start();
    auto pageLines = [&] {  // what standard error said of the page so far; the socket is read too
        char buffer[4096];
        for (ssize_t n; (n = ::recv(listener, buffer, sizeof buffer, 0)) > 0;)
            heard.append({QString::fromUtf8(buffer, static_cast<int>(n)), clock.elapsed()});
        m_first.waitForReadyRead(20);
        m_stderr += m_first.readAllStandardError();
        QStringList lines;
        for (const QByteArray& line : m_stderr.split('\n'))
            if (line.startsWith("Tarvesk: page")) lines.append(QString::fromUtf8(line));
        return lines;
    };

    HttpTestServer site;
    site.setStatus(503);
    writeIni(Settings(site.url("/"), "0.2", "1", "eng").replace("ResetIIS=1", "ResetIIS=0"));
    QProcessEnvironment env;
    env.insert("NOTIFY_SOCKET", m_dir.filePath("notify"));
    env.insert("WATCHDOG_USEC", "400000");
    start(m_first, env, m_service);
    ASSERT_TRUE(WaitUntil([&] { return pageLines().size() == 1 && site.requestCount() >= 5; }, 20000));
    site.setStatus(0);  // no answer: the check hangs until the HTTP time-out
    ASSERT_TRUE(WaitUntil([&] { return pageLines().size() >= 2; }, 120000)) << m_stderr.toStdString();
    const int hanging = site.requestCount();
    site.setStatus(200);
    ASSERT_TRUE(WaitUntil([&] { return pageLines().size() >= 3 && site.requestCount() >= hanging + 4; }, 20000));
    EndWith(m_first, SIGTERM);
    const QStringList lines = pageLines();

    ASSERT_EQ(lines.size(), 3) << m_stderr.toStdString();
    EXPECT_TRUE(lines[0].startsWith("Tarvesk: page check failed: HTTP 503 (" + site.url("/") + ", took "));
    const QString failed = lines[1].section(QStringLiteral(", "), -1);  // four 503s at least, then the time-out
    EXPECT_TRUE(lines[1].contains(QRegularExpression("now: .*timed out after 60 s \\(took \\d+\\.\\d s, ([5-9]|\\d\\d+) ")));
    EXPECT_EQ(lines[2], "Tarvesk: page good again after " + failed.chopped(1));

    QStringList told;
    int pings = 0, pingsWhileHanging = 0;
    QList<qint64> gaps;  // milliseconds between one ping and the next
    qint64 lastPing = -1;
    for (const auto& [text, at] : heard) {
        const bool ping = text == "WATCHDOG=1";
        if (!ping) told.append(text);
        pings += ping;
        pingsWhileHanging += ping && told.size() == 3;  // after the 503 status, before the time-out's
        if (ping && lastPing >= 0) gaps.append(at - lastPing);
        if (ping) lastPing = at;
    }
    EXPECT_EQ(told, QStringList({"STATUS=Monitoring.", "READY=1", "STATUS=Monitoring, page is invalid. (HTTP 503)",
                                 told.value(3), "STATUS=Monitoring, page is valid.", "STOPPING=1"}));
    EXPECT_TRUE(told.value(3).endsWith("timed out after 60 s)")) << told.value(3).toStdString();
    // Half of WATCHDOG_USEC (400 ms) apart: the load delays some pings, so the
    // median gap is taken, which pings at the whole interval put at 400 ms.
    ASSERT_GT(gaps.size(), 100);
    std::sort(gaps.begin(), gaps.end());
    EXPECT_GE(gaps[gaps.size() / 2], 150);
    EXPECT_LE(gaps[gaps.size() / 2], 280);
    const double expected = static_cast<double>(heard.back().second - heard.front().second) / 200.0;
    EXPECT_GT(pings, expected * 0.7);
    EXPECT_LT(pings, expected * 1.5 + 2);
    // Also while a check hangs for a minute.
    EXPECT_GT(pingsWhileHanging, 200);  // 300 in the 60 s of the time-out
}

// A real X server with a window manager, so that the window is closed the
// way an operator closes it.
class ProcessLifeOnADisplay : public ProcessLife {
protected:
    void SetUp() override {
        ProcessLife::SetUp();
        // What the X server and the window manager say goes to files, read
        // when the set-up fails; a full pipe nobody reads would stall them.
        m_xvfb.setStandardErrorFile(m_dir.filePath("xvfb.err"));
        m_xvfb.start("Xvfb", {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
        ASSERT_TRUE(m_xvfb.waitForStarted(10000)) << "Xvfb is missing (scripts/install-deps.sh installs it)";
        ASSERT_TRUE(WaitUntil(
            [&] {
                m_xvfb.waitForReadyRead(100);
                m_displayNumber += m_xvfb.readAllStandardOutput();
                return m_displayNumber.contains('\n');
            },
            10000));
        m_display = ":" + QString::fromLatin1(m_displayNumber.trimmed());
        m_env.insert("DISPLAY", m_display);
        QProcessEnvironment wmEnv = m_env;
        wmEnv.insert("HOME", m_dir.path());
        wmEnv.insert("PATH", qEnvironmentVariable("PATH"));
        m_wm.setProcessEnvironment(wmEnv);
        m_wm.setStandardOutputFile(QProcess::nullDevice());
        m_wm.setStandardErrorFile(m_dir.filePath("openbox.err"));
        // A second try if the first window manager never answers.
        bool managed = false;
        for (int attempt = 0; attempt < 2 && !managed; ++attempt) {
            if (m_wm.state() != QProcess::NotRunning) {
                m_wm.kill();
                m_wm.waitForFinished(5000);
            }
            m_wm.start("openbox", {"--sm-disable"});
            ASSERT_TRUE(m_wm.waitForStarted(10000));
            managed = WaitUntil([&] { return wmctrl({"-m"}) == 0; }, 10000);
        }
        ASSERT_TRUE(managed)
            << "display " << m_display.toStdString() << ", openbox "
            << (m_wm.state() == QProcess::Running ? "running" : "ended") << "\nXvfb: "
            << ReadRaw(m_dir.filePath("xvfb.err")).toStdString()
            << "\nopenbox: " << ReadRaw(m_dir.filePath("openbox.err")).toStdString();
    }

    void TearDown() override {
        ProcessLife::TearDown();
        // Asked to end, so that the X server removes its socket and lock.
        for (QProcess* p : {&m_wm, &m_xvfb}) {
            p->terminate();
            if (!p->waitForFinished(5000)) {
                p->kill();
                p->waitForFinished(5000);
            }
        }
    }

    int wmctrl(const QStringList& args, QByteArray* out = nullptr) {
        QProcess p;
        p.setProcessEnvironment(m_env);
        p.start("wmctrl", args);
        if (!p.waitForFinished(5000)) return -1;
        if (out) *out = p.readAllStandardOutput();
        return p.exitCode();
    }
    // Closes the window as the window manager does when its close button is
    // pressed, and expects the program to end promptly and cleanly.
    void closeTheWindowAndExpectTheEnd() {
        QElapsedTimer clock;
        clock.start();
        ASSERT_EQ(wmctrl({"-c", "Tarvesk & Auto Reset"}), 0);
        ASSERT_TRUE(m_first.waitForFinished(10000));
        EXPECT_LT(clock.elapsed(), 1500);
        EXPECT_EQ(m_first.exitCode(), 0);
    }
    bool windowShown(const QByteArray& title) {
        QByteArray list;
        return wmctrl({"-l"}, &list) == 0 && list.contains(title);
    }

    QProcess m_xvfb;
    QProcess m_wm;
    QByteArray m_displayNumber;
    QString m_display;
    QProcessEnvironment m_env;
};

TEST_F(ProcessLifeOnADisplay, ClosingTheWindowDuringAHangingCheckEndsTheProgram) {
    HostileHttpServer silent(HostileHttpServer::Mode::Silent);
    writeIni(Settings(silent.url(), "0.2", "1", "eng"));
    start(m_first, m_env);
    ASSERT_TRUE(WaitUntil([&] { return windowShown("Tarvesk & Auto Reset"); }, 10000));
    ASSERT_TRUE(WaitUntil([&] { return silent.connectionCount() > 0; }, 10000));
    const QByteArray iniBefore = ReadRaw(iniPath());

    closeTheWindowAndExpectTheEnd();
    EXPECT_EQ(ReadRaw(iniPath()), iniBefore);
    EXPECT_FALSE(QFile::exists(logPath()));
}

TEST_F(ProcessLifeOnADisplay, ClosingTheWindowWhileAMessageBoxIsOpenEndsTheProgram) {
    // No usable address: "Start Monitor", which has the focus, opens a box.
    writeIni(Settings("http://", "10", "0", "eng"));
    start(m_first, m_env);
    ASSERT_TRUE(WaitUntil([&] { return windowShown("Tarvesk & Auto Reset"); }, 10000));
    QProcess key;
    key.setProcessEnvironment(m_env);
    key.start("xdotool", {"search", "--sync", "--name", "Tarvesk & Auto Reset", "windowactivate", "--sync",
                          "key", "space"});
    ASSERT_TRUE(key.waitForFinished(10000));
    ASSERT_TRUE(WaitUntil([&] { return windowShown("Tarvesk\n"); }, 10000)) << "no message box opened";

    closeTheWindowAndExpectTheEnd();
}

}  // namespace
}  // namespace tarvesk
