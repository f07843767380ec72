// The real program, resumed from its INI file against a site that flaps
// between 200 and 500, is killed with SIGKILL over and over, each time amid a
// randomly chosen change to its files. Whatever moment the kill hits, the INI
// must stay whole and its counters must only grow, the monthly log must hold
// whole lines only, and no temporary file of a killed write may outlive the
// next start. The same program then meets a file-size limit and FIFOs in place
// of its files, and shows the order of the steps of a durable write.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <atomic>
#include <chrono>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <iostream>
#include <poll.h>
#include <random>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <thread>
#include <unistd.h>

#include "config/profile_store.h"
#include "notify/event_log.h"
#include "support/http_test_server.h"
#include "support/program_copy.h"

namespace tarvesk {
namespace {

int CrashRounds() {
    bool ok = false;
    const int rounds = qEnvironmentVariableIntValue("TARVESK_CRASH_ROUNDS", &ok);
    return ok && rounds > 0 ? rounds : 48;
}

const char* const kMonitorKeys[] = {"PageURL",          "Interval",      "CmdResetIIS",
                                    "ResetIIS",         "PageFailureThreshold",
                                    "CmdResetComputer", "ResetComputer", "IISResetThreshold",
                                    "AbortMonitor",     "ComputerResetThreshold"};
const char* const kNotifyKeys[] = {"NotifyIISReset", "NotifyComputerReset", "NotifyAbortMonitor"};
const char* const kCounterKeys[] = {"PageCheckCount", "IISResetCount", "ComputerResetCount",
                                    "ContinousComputerResetFailure"};
// Counters the program only ever adds to while a run goes on.
const char* const kGrowingKeys[] = {"PageCheckCount", "IISResetCount", "ComputerResetCount"};

class CrashConsistency : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_program = CopyProgramInto(m_dir.path());
        ASSERT_FALSE(m_program.isEmpty());
        m_ini = m_dir.filePath("Tarvesk.ini");
        m_marks = m_dir.filePath("marks");

        // The site flaps, so that page checks fail in a row now and then and
        // the recovery stages fire.
        m_flapper = std::thread([this] {
            bool up = true;
            while (!m_stopFlapping) {
                m_server.setStatus(m_fixedStatus ? m_fixedStatus.load() : up ? 200 : 500);
                up = !up;
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
        });
    }

    void TearDown() override {
        if (m_tarvesk.state() != QProcess::NotRunning) {
            m_tarvesk.kill();
            m_tarvesk.waitForFinished(10000);
        }
        m_stopFlapping = true;
        if (m_flapper.joinable()) m_flapper.join();
    }

    // The recovery commands leave a line "<kind> <pid>" in the marks file and
    // end at once.
    QString markCommand(const char* kind) const {
        return QStringLiteral("/bin/sh -c \"echo %1 $$ >> '%2'\"").arg(QLatin1String(kind), m_marks);
    }

    QByteArray initialIni() const {
        QByteArray ini = "[HowToMonitor]\nPageURL=" + m_server.url("/").toUtf8() +
                         "\nInterval=0.05\nCmdResetIIS=" + markCommand("restart").toUtf8() +
                         "\nResetIIS=1\nPageFailureThreshold=2\nCmdResetComputer=" +
                         markCommand("reboot").toUtf8() +
                         "\nResetComputer=1\nIISResetThreshold=2\nAbortMonitor=1\n"
                         "ComputerResetThreshold=50\n"
                         "[HowtoNotify]\nNotifyIISReset=0\nNotifyComputerReset=0\nNotifyAbortMonitor=0\n"
                         "[Status]\nLanguage=eng\nMonitoring=1\nStartTime=2026-12-1 08:00:00\n"
                         "PageCheckCount=0\nIISResetCount=0\nComputerResetCount=0\n"
                         "ContinousComputerResetFailure=0\nLastRecovery=\nPageBadSince=\n";
        return ini;
    }

    QString ini(const char* section, const char* key) const {
        return ProfileStore::ReadIni(m_ini, QLatin1String(section), QLatin1String(key),
                                     QStringLiteral("<missing>"));
    }

    // Temporary files of writes cut short by a kill: never the INI itself.
    QStringList strayTemporaries() const {
        return QDir(m_dir.path()).entryList({".Tarvesk.ini.tmp-*"}, QDir::Files | QDir::Hidden);
    }

    void writeInitialIni(const QByteArray& content) {
        QFile file(m_ini);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
    }

    static bool waitUntil(const std::function<bool()>& done, int ms) {
        for (int waited = 0; !done(); waited += 20) {
            if (waited >= ms) return false;
            QThread::msleep(20);
        }
        return true;
    }

    // Starts the program and kills it at the `change`-th change it makes in
    // its folder (a file created, written, closed after writing, renamed into
    // place or removed), or once it has made none for a while (it waits for
    // the site after a restart). So every kill lands amid the steps of
    // changing a file, the only moments when a kill can tear anything.
    void startAndKillAtChange(int change) {
        const int watch = ::inotify_init1(IN_CLOEXEC);
        ASSERT_GE(watch, 0);
        ASSERT_GE(::inotify_add_watch(watch, QFile::encodeName(m_dir.path()).constData(),
                                      IN_CREATE | IN_MODIFY | IN_CLOSE_WRITE | IN_MOVED_TO | IN_DELETE),
                  0);
        startProgram();
        alignas(inotify_event) char events[4096];
        for (int seen = 0; seen < change;) {
            pollfd ready{watch, POLLIN, 0};
            if (::poll(&ready, 1, seen == 0 ? 5000 : 200) <= 0) break;
            const ssize_t n = ::read(watch, events, sizeof events);
            for (ssize_t at = 0; at < n && seen < change; ++seen)
                at += static_cast<ssize_t>(sizeof(inotify_event) +
                                           reinterpret_cast<const inotify_event*>(events + at)->len);
        }
        m_tarvesk.kill();
        ::close(watch);
    }

    // A `wrapper` command line, when given, starts the program as its last
    // argument.
    void startProgram(const QStringList& wrapper = {}) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        m_tarvesk.setProcessEnvironment(env);
        m_tarvesk.setProgram(wrapper.value(0, m_program));
        m_tarvesk.setArguments(wrapper.isEmpty() ? QStringList() : wrapper.mid(1) << m_program);
        m_tarvesk.setStandardOutputFile(QProcess::nullDevice());
        m_tarvesk.setStandardErrorFile(QProcess::nullDevice());
        m_tarvesk.start();
        ASSERT_TRUE(m_tarvesk.waitForStarted(10000));
    }

    QTemporaryDir m_dir;
    QString m_program;
    QString m_ini;
    QString m_marks;
    HttpTestServer m_server;
    std::atomic<int> m_fixedStatus{0};  // when set, the site answers this only
    std::atomic<bool> m_stopFlapping{false};
    std::thread m_flapper;
    QProcess m_tarvesk;
};

TEST_F(CrashConsistency, RandomKillsNeverTearTheIniOrTheLog) {
    writeInitialIni(initialIni());
    const QDateTime begun = QDateTime::currentDateTime();
    const QRegularExpression decimal("^\\d+$");
    std::mt19937 rng(std::random_device{}());
    // An INI write is four changes (created, written, renamed, closed); a
    // tick with a reboot is sixteen.
    std::uniform_int_distribution<int> changes(1, 24);

    const int rounds = CrashRounds();
    QMap<QString, long long> last;
    for (const char* key : kGrowingKeys) last[key] = 0;
    int roundsWithProgress = 0;
    int strayCount = 0;

    for (int round = 0; round < rounds; ++round) {
        // After a restart the program waits for the site to go down, which it
        // never does here, so a run makes at most one restart. Every other run
        // has the reboot stage armed at 0, which fires on every failed check:
        // that way both recovery paths are under fire.
        const bool rebootRound = round % 2 == 1;
        ASSERT_TRUE(ProfileStore::WriteIni(m_ini, "HowToMonitor", "IISResetThreshold",
                                           rebootRound ? "0" : "2"));
        const QStringList strays = strayTemporaries();
        const QByteArray before = ReadRaw(m_ini);
        const QByteArray settingsPart = before.left(before.indexOf("[Status]"));

        startAndKillAtChange(changes(rng));
        ASSERT_TRUE(m_tarvesk.waitForFinished(10000)) << "round " << round;

        const QByteArray after = ReadRaw(m_ini);
        // The program rewrites Status values only; every settings line stays.
        ASSERT_TRUE(after.startsWith(settingsPart + "[Status]\n")) << "round " << round << ":\n"
                                                                   << after.toStdString();
        ASSERT_TRUE(after.endsWith('\n')) << "round " << round << ":\n" << after.toStdString();
        ASSERT_EQ(after.count('\n'), before.count('\n')) << "round " << round << ":\n"
                                                         << after.toStdString();

        for (const char* key : kMonitorKeys) {
            ASSERT_NE(ini("HowToMonitor", key), "<missing>") << "round " << round << " " << key;
        }
        for (const char* key : kNotifyKeys) {
            ASSERT_EQ(ini("HowToNotify", key), "0") << "round " << round << " " << key;
        }
        ASSERT_EQ(ini("Status", "Language"), "eng") << "round " << round;
        ASSERT_EQ(ini("Status", "Monitoring"), "1") << "round " << round;
        ASSERT_EQ(ini("Status", "StartTime"), "2026-12-1 08:00:00") << "round " << round;
        for (const char* key : kCounterKeys) {
            const QString value = ini("Status", key);
            ASSERT_TRUE(decimal.match(value).hasMatch())
                << "round " << round << " " << key << "=" << value.toStdString();
        }
        const bool checkedPages = ini("Status", "PageCheckCount").toLongLong() > last["PageCheckCount"];
        for (const char* key : kGrowingKeys) {
            const long long now = ini("Status", key).toLongLong();
            ASSERT_GE(now, last[key]) << "round " << round << " " << key << " went down";
            last[key] = now;
        }
        // A run that checked a page had started up, and start-up removes what
        // killed writes left. What a kill leaves is its owner's alone.
        if (checkedPages) {
            ++roundsWithProgress;
            for (const QString& stray : strays)
                ASSERT_FALSE(QFileInfo::exists(m_dir.filePath(stray)))
                    << "round " << round << ": " << stray.toStdString() << " outlived a start";
        }
        for (const QString& stray : strayTemporaries()) {
            struct stat st {};
            ASSERT_EQ(::stat(QFile::encodeName(m_dir.filePath(stray)).constData(), &st), 0);
            ASSERT_EQ(st.st_mode & 07777, 0600u) << stray.toStdString();
            if (!strays.contains(stray)) ++strayCount;
        }
    }

    // The test proves something only when the program got to work.
    EXPECT_GT(last["PageCheckCount"], 0);
    EXPECT_GT(roundsWithProgress, 0);
    std::cout << "[          ] " << rounds << " kills, " << roundsWithProgress
              << " runs checked pages; totals: pages " << last["PageCheckCount"] << ", restarts "
              << last["IISResetCount"] << ", reboots " << last["ComputerResetCount"] << "; "
              << strayCount << " temporary files left by kills" << std::endl;

    // Every line of every log is whole: CRLF ended, three fields.
    QStringList logs{EventLog::PathFor(m_dir.path(), begun)};
    const QString endLog = EventLog::PathFor(m_dir.path(), QDateTime::currentDateTime());
    if (!logs.contains(endLog)) logs << endLog;
    int restartLines = 0;
    int rebootLines = 0;
    for (const QString& path : logs) {
        const QByteArray text = ReadRaw(path);
        if (text.isEmpty()) continue;
        EXPECT_TRUE(text.endsWith("\r\n")) << path.toStdString() << " ends in half a line";
        QList<QByteArray> lines = text.split('\n');
        lines.removeLast();  // after the final line end
        for (const QByteArray& line : lines) {
            const QList<QByteArray> fields = line.split('\t');
            if (fields.size() > 1 && fields[1] == "Reset IIS") ++restartLines;
            if (fields.size() > 1 && fields[1] == "Reset Computer") ++rebootLines;
            EXPECT_FALSE(line.contains("Start failed")) << line.toStdString();
            EXPECT_TRUE(line.endsWith('\r')) << line.toStdString();
            EXPECT_EQ(line.count('\r'), 1) << line.toStdString();
            EXPECT_EQ(line.count('\t'), 2) << line.toStdString();
        }
    }
    std::cout << "[          ] log: " << restartLines << " restarts, " << rebootLines << " reboots"
              << std::endl;
    // A restart or reboot is counted on disk before it is logged: a kill
    // between the two can lose a line but never add one.
    EXPECT_LE(restartLines, last["IISResetCount"]);
    EXPECT_LE(rebootLines, last["ComputerResetCount"]);

    // The commands end by themselves; none may still be running. A pid that
    // is gone, a zombie (empty command line) or a pid the system gave again
    // meanwhile does not name the marks file.
    const QByteArray marksName = m_marks.toUtf8();
    auto running = [&](pid_t pid) {
        return ReadRaw(QStringLiteral("/proc/%1/cmdline").arg(pid)).contains(marksName);
    };
    for (const QByteArray& line : ReadRaw(m_marks).split('\n')) {
        const QList<QByteArray> words = line.split(' ');
        if (words.size() != 2) continue;
        const pid_t pid = static_cast<pid_t>(words[1].toInt());
        if (pid <= 0) continue;
        for (int tries = 0; tries < 100 && running(pid); ++tries) QThread::msleep(50);
        if (running(pid)) {
            ::kill(pid, SIGKILL);
            ADD_FAILURE() << "a recovery command (pid " << pid << ") was still running";
        }
    }
}

// Under a file-size limit smaller than the INI every INI write fails: the
// program neither dies of SIGXFSZ nor reboots without its count on disk, and
// its log, full after a few lines, holds whole lines only.
TEST_F(CrashConsistency, FileSizeLimitNeverRebootsWithoutItsCountOnDisk) {
    m_fixedStatus = 500;
    QByteArray content = initialIni();
    // A reboot at every failed check, and no restart: it would wait for the
    // site to go down, which it never does here.
    content.replace("IISResetThreshold=2", "IISResetThreshold=0");
    content.replace("PageFailureThreshold=2", "PageFailureThreshold=1000");
    writeInitialIni(content);
    ASSERT_GT(content.size(), 512);
    const QString log = EventLog::PathFor(m_dir.path(), QDateTime::currentDateTime());

    startProgram({"/bin/sh", "-c", "ulimit -f 1 && exec \"$0\""});  // blocks of 512 bytes
    EXPECT_TRUE(waitUntil([&] { return ReadRaw(log).size() > 400; }, 10000));
    QThread::msleep(500);  // more lines cut short at the limit
    ASSERT_EQ(m_tarvesk.state(), QProcess::Running);
    EXPECT_EQ(ReadRaw(m_ini), content);
    EXPECT_FALSE(ReadRaw(m_marks).contains("reboot"));
    const QByteArray line = "\tReset Computer\tNot started: the run status could not be saved.\r\n";
    const QByteArray text = ReadRaw(log);
    EXPECT_EQ(text.count(line), text.count('\n')) << text.toStdString();
    EXPECT_TRUE(text.endsWith(line));
}

// A FIFO named Tarvesk.ini is a file that cannot be read: start-up goes on
// with the factory settings instead of waiting for a writer that never comes.
TEST_F(CrashConsistency, FifoInPlaceOfTheIniDoesNotHoldUpStartUp) {
    const QByteArray fifo = QFile::encodeName(m_ini);
    ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
    startProgram();
    // A program blocked in opening the FIFO for reading would let a writer in.
    const bool waitedOn = waitUntil([&] {
        const int fd = ::open(fifo.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) ::close(fd);
        return fd >= 0 || errno != ENXIO;
    }, 3000);
    EXPECT_FALSE(waitedOn);
    EXPECT_EQ(m_tarvesk.state(), QProcess::Running);
}

// Every INI write as the system sees it: the temporary file is synced before
// it replaces the INI and the folder right after, so that a power cut leaves
// the old file or the new one, never an empty one.
TEST_F(CrashConsistency, DurableWriteSyncsTheFileThenRenamesThenSyncsTheFolder) {
    const QString strace = QStandardPaths::findExecutable("strace");
    if (strace.isEmpty()) GTEST_SKIP() << "strace is missing (scripts/install-deps.sh installs it)";
    QProcess tryTrace;
    tryTrace.start(strace, {"-qq", "-o", "/dev/null", "/bin/true"});
    if (!tryTrace.waitForFinished(10000) || tryTrace.exitCode() != 0)
        GTEST_SKIP() << "ptrace is not allowed here: " << tryTrace.readAllStandardError().toStdString();

    m_fixedStatus = 200;
    writeInitialIni(initialIni());
    const QString trace = m_dir.filePath("trace");
    startProgram({strace, "-f", "-qq", "-y", "-o", trace, "-e",
                  "trace=fsync,fdatasync,rename,renameat,renameat2"});
    ASSERT_TRUE(waitUntil([&] { return ini("Status", "PageCheckCount").toInt() >= 3; }, 20000));
    // strace would let the program run on untraced: the program is ended.
    const pid_t program = ReadRaw(QStringLiteral("/proc/%1/task/%1/children").arg(m_tarvesk.processId()))
                              .trimmed().toInt();
    ASSERT_GT(program, 0);
    ::kill(program, SIGTERM);
    ASSERT_TRUE(m_tarvesk.waitForFinished(10000));

    // The syncs of the folder and of files in it, and the renames onto the INI
    // (by the name of the file they move), in their order.
    const QString folder = QFileInfo(m_dir.path()).canonicalFilePath();
    const QRegularExpression sync("\\b(?:fsync|fdatasync)\\(\\d+<([^>]*)>");
    const QRegularExpression rename("\\brename(?:at2?)?\\([^\"]*\"([^\"]*)\".*\"([^\"]*)\"");
    QStringList events;
    for (const QByteArray& line : ReadRaw(trace).split('\n')) {
        const QString text = QString::fromUtf8(line);
        const QRegularExpressionMatch synced = sync.match(text);
        const QRegularExpressionMatch renamed = rename.match(text);
        if (synced.hasMatch() && (synced.captured(1) + "/").startsWith(folder + "/"))
            events << "sync " + synced.captured(1);
        else if (renamed.hasMatch() && QFileInfo(renamed.captured(2)).fileName() == "Tarvesk.ini")
            events << "rename " + folder + "/" + QFileInfo(renamed.captured(1)).fileName();
    }
    int renames = 0;
    for (int i = 0, previous = -1; i < events.size(); ++i) {
        if (!events[i].startsWith("rename ")) continue;
        const QString moved = events[i].mid(7);
        // Synced after the previous replacement and before this one.
        EXPECT_TRUE(events.mid(previous + 1, i - previous - 1).contains("sync " + moved))
            << moved.toStdString() << " replaced the INI unsynced";
        EXPECT_EQ(events.value(i + 1).toStdString(), ("sync " + folder).toStdString())
            << "after " << moved.toStdString();
        previous = i;
        ++renames;
    }
    EXPECT_GE(renames, 3) << ReadRaw(trace).toStdString();
}

}  // namespace
}  // namespace tarvesk
