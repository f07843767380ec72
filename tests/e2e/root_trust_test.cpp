// The real program run as root, against another local user (uid 65534) who
// tries to steer or silence it: each row is one way in, and what the program
// must do about it.
#include <gtest/gtest.h>

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <functional>
#include <sys/stat.h>
#include <unistd.h>

#include "support/file_layout.h"
#include "support/program_copy.h"

namespace tarvesk {
namespace {

constexpr uid_t kOther = kOtherUser;

// A file of root's with that mode, and a second name for it at `at`.
void HardLink(const QString& file, const QString& at, mode_t mode) {
    WriteRaw(file, "");
    Own(file, 0, mode);
    EXPECT_EQ(::link(QFile::encodeName(file).constData(), QFile::encodeName(at).constData()), 0);
}

mode_t ModeOf(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// A shell command run as the other user; its exit status.
int AsOther(const QString& command) {
    return QProcess::execute("setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups", "sh", "-c", command});
}

QString LogName() {
    const QDate today = QDate::currentDate();
    return QStringLiteral("%1-%2.log").arg(today.year()).arg(today.month());
}

// A run that fails every check (nothing listens on port 1) and whose restart
// stage fires at every failed check, with `command` as the restart command.
QByteArray Settings(const QByteArray& command, const QByteArray& receivers = "") {
    return "[HowToMonitor]\nPageURL=http://127.0.0.1:1/\nInterval=0.3\nCmdResetIIS=" + command +
           "\nResetIIS=1\nPageFailureThreshold=1\n[HowToNotify]\nNotifyIISReset=1\nReceiverEmail=" + receivers +
           "\nSenderEmail=tarvesk@localhost\nSenderSMTP=127.0.0.1:1\nSenderAccount=tv\nSenderPassword=pw\n"
           "[Status]\nMonitoring=1\n";
}

// A restart program in a folder "tools" of `owner`'s, that leaves "ran",
// and root's settings naming it as `command`; the settings' folder.
QString Tool(const QString& base, uid_t owner, const QByteArray& command) {
    const QString tools = MakeFolder(base, "tools", owner);
    WriteRaw(tools + "/restart-web", "#!/bin/sh\ntouch " + base.toUtf8() + "/ran\n");
    Own(tools + "/restart-web", 0, 0755);
    const QString tv = MakeFolder(base, "tv");
    WriteRaw(tv + "/Tarvesk.ini", Settings(command));
    Own(tv + "/Tarvesk.ini", 0, 0600);
    return tv;
}

// Settled once root's log says a start failed.
bool StartFailed(const QString& base) { return ReadRaw(base + "/tv/" + LogName()).contains("Start failed"); }

// Nothing ran, and root's log gives the refusal that begins with `refusal`.
void NotRun(const QString& base, const QByteArray& refusal) {
    EXPECT_FALSE(QFile::exists(base + "/ran"));
    const QByteArray log = ReadRaw(base + "/tv/" + LogName());
    EXPECT_TRUE(log.contains("Start failed: Not run as root: " + refusal)) << log.constData();
}

// The pid of the command the last row starts, or "".
QString StartedSleep() {
    QProcess pgrep;
    pgrep.start("pgrep", {"-x", "-f", "sleep 31.5"});
    pgrep.waitForFinished(5000);
    return QString::fromLatin1(pgrep.readAllStandardOutput()).trimmed();
}

struct Row {
    const char* what;
    // Lays out the program's folder; returns the folder the program runs from.
    std::function<QString(const QString& base)> arrange;
    // What standard error says once the settings have been read.
    const char* ready;
    // What the other user (or the administrator) does once the program has
    // read its settings; then the row waits until `settled` holds (or two
    // seconds, without one).
    std::function<void(const QString& base)> meddle;
    std::function<bool(const QString& base)> settled;
    std::function<void(const QString& base, const QString& said)> expect;
    bool asOther = false;  // the program runs as the other user, from a folder of theirs
    const char* workIn = nullptr;  // its working folder under base, where not its own folder
};

// A set-user-ID program that the other user started with an environment of
// his choosing: its /proc/PID/environ is root's, in a root folder, and reads
// as settings with his command. Its pid.
QString OthersSetUidProgramWith(const QByteArray& settings) {
    QProcess::startDetached("setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups", "sh", "-c",
                                        "sleep 30 | env \"$0\" passwd", "X=\n" + QString::fromUtf8(settings)});
    QString pid;
    WaitUntil([&] {
        QProcess pgrep;
        pgrep.start("pgrep", {"-x", "-u", "0", "passwd"});
        pgrep.waitForFinished(5000);
        pid = QString::fromLatin1(pgrep.readAllStandardOutput()).trimmed();
        return !pid.isEmpty();
    }, 5000);
    return pid;
}

// Sessions and process groups of two processes differ.
bool InOtherSessionAndGroup(pid_t a, pid_t b) { return ::getsid(a) != ::getsid(b) && ::getpgid(a) != ::getpgid(b); }

class RootTrust : public ::testing::Test {
protected:
    void TearDown() override {
        m_program.kill();
        m_program.waitForFinished(5000);
        AsOther("pkill -u 65534 -f 'sleep 30' || true");
        QProcess::execute("pkill", {"-x", "passwd"});
    }

    // The program from `folder`, with no display, as a service would start
    // it (the service manager's variables, a umask of 022), as root or as
    // the other user.
    void start(const QString& folder, bool asOther, const QString& workIn = QString()) {
        const QString program = CopyProgramInto(folder);
        ASSERT_FALSE(program.isEmpty());
        QProcessEnvironment env;
        env.insert("PATH", qEnvironmentVariable("PATH"));
        env.insert("HOME", qEnvironmentVariable("HOME", "/root"));
        env.insert("NOTIFY_SOCKET", "/run/tarvesk-tests/no-listener");
        env.insert("WATCHDOG_USEC", "30000000");
        env.insert("WATCHDOG_PID", "1");
        ::umask(022);
        m_program.setProcessEnvironment(env);
        m_program.setWorkingDirectory(workIn.isEmpty() ? folder : workIn);
        m_program.setProcessChannelMode(QProcess::MergedChannels);
        if (asOther) {
            m_program.start("setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups", program});
        } else {
            m_program.start(program, QStringList());
        }
        ASSERT_TRUE(m_program.waitForStarted(10000));
    }

    // What the program has said so far (its start-up lines come once the
    // settings are read).
    QString said() {
        m_program.waitForReadyRead(20);
        m_said += QString::fromLocal8Bit(m_program.readAll());
        return m_said;
    }

    QProcess m_program;
    QString m_said;
};

TEST_F(RootTrust, NoOtherUserCanSteerOrSilenceTheRootService) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root";
    if (QProcess::execute("setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups", "true"}) != 0)
        GTEST_SKIP() << "setpriv cannot act as uid 65534";

    qsizetype failuresBefore = 0;
    const Row rows[] = {
        {"a command read from a file another user could change is never run, even once the file is mended",
         [](const QString& base) {
             const QString tv = base + "/tv";
             QDir().mkdir(tv);
             WriteRaw(tv + "/Tarvesk.ini", Settings("sh -c 'id > " + base.toUtf8() + "/hidden-ran'"));
             Own(tv + "/Tarvesk.ini", kOther, 0600);
             return tv;
         },
         "can be changed by another user",
         [](const QString& base) { Own(base + "/tv/Tarvesk.ini", 0, 0600); },  // the README's advice
         [](const QString& base) { return ReadRaw(base + "/tv/" + LogName()).count("Start failed") >= 2; },
         [](const QString& base, const QString&) {
             EXPECT_FALSE(QFile::exists(base + "/hidden-ran"));
             EXPECT_TRUE(ReadRaw(base + "/tv/" + LogName()).contains("when the settings were read"));
         }},
        {"a folder swapped in under the program's path gets nothing from it",
         [](const QString& base) {
             const QString parent = base + "/parent";
             QDir().mkpath(parent + "/tv");
             Own(parent, 0, 0777);
             WriteRaw(parent + "/tv/Tarvesk.ini", Settings("true"));
             Own(parent + "/tv/Tarvesk.ini", 0, 0600);
             return parent + "/tv";
         },
         "above Tarvesk.ini can be changed",
         [&](const QString& base) {
             failuresBefore = ReadRaw(base + "/parent/tv.old/" + LogName()).count("Start failed");
             AsOther("cd " + base + "/parent && mv tv tv.old && mkdir tv && echo '[Status]' > tv/Tarvesk.ini");
         },
         [&](const QString& base) {
             return ReadRaw(base + "/parent/tv.old/" + LogName()).count("Start failed") >= failuresBefore + 2;
         },
         [](const QString& base, const QString& said) {
             EXPECT_EQ(QDir(base + "/parent/tv").entryList(QDir::Files | QDir::Hidden), QStringList{"Tarvesk.ini"});
             EXPECT_EQ(ReadRaw(base + "/parent/tv/Tarvesk.ini"), "[Status]\n");
             EXPECT_TRUE(said.contains("The folder " + base + "/parent above Tarvesk.ini can be changed"))
                 << said.toStdString();
         }},
        {"root does not write through a link another user laid, nor create its target",
         [](const QString& base) {
             const QString tv = base + "/tv";
             QDir().mkdir(tv);
             WriteRaw(base + "/victim", "secret\n");
             QFile::link(base + "/victim", tv + "/" + LogName());
             WriteRaw(tv + "/Tarvesk.ini", Settings("true"));
             Own(tv, kOther, 0755);
             Own(tv + "/" + LogName(), kOther, 0);
             return tv;
         },
         "can be changed by another user",
         nullptr,
         [](const QString& base) {
             return ReadRaw(base + "/tv/Tarvesk.ini").contains("PageCheckCount=3");
         },
         [](const QString& base, const QString&) { EXPECT_EQ(ReadRaw(base + "/victim"), "secret\n"); }},
        {"a dangling settings link does not make root create a file where another user chose",
         [](const QString& base) {
             const QString tv = base + "/tv";
             QDir().mkpath(base + "/elsewhere");
             QDir().mkdir(tv);
             QFile::link(base + "/elsewhere/chosen.ini", tv + "/Tarvesk.ini");
             Own(tv, kOther, 0755);
             Own(tv + "/Tarvesk.ini", kOther, 0);
             return tv;
         },
         "can be changed by another user",
         nullptr,
         nullptr,
         [](const QString& base, const QString&) { EXPECT_FALSE(QFile::exists(base + "/elsewhere/chosen.ini")); }},
        {"another user's hold on the lock file neither stops root's run nor is taken for a running copy",
         [](const QString& base) {
             const QString tv = MakeFolder(base, "tv");
             WriteRaw(tv + "/.Tarvesk.lock", "");
             Own(tv + "/.Tarvesk.lock", 0, 0666);
             AsOther("flock -n " + tv + "/.Tarvesk.lock sleep 30 >/dev/null 2>&1 &");
             // What any user could lock before: the folder itself.
             QProcess::startDetached("setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups", "flock",
                                                 "-n", tv, "sleep", "30"});
             QThread::msleep(300);
             return tv;
         },
         "replaced it with a new lock file of root's",
         nullptr,
         nullptr,
         [this](const QString& base, const QString& said) {
             EXPECT_EQ(m_program.state(), QProcess::Running) << "stopped by another user's lock";
             EXPECT_TRUE(said.contains(QRegularExpression("was not root's alone \\(process [0-9]+ \\(flock\\) of "
                                                          "user nobody held it\\)")))
                 << said.toStdString();
             struct stat st {};
             ASSERT_EQ(::lstat(QFile::encodeName(base + "/tv/.Tarvesk.lock").constData(), &st), 0);
             EXPECT_EQ(st.st_uid, 0u);
             EXPECT_EQ(st.st_mode & 0777, 0600u);
             EXPECT_NE(AsOther("exec 3<" + base + "/tv/.Tarvesk.lock"), 0);
         }},
        {"in another user's folder, a lock file root cannot trust or replace ends root's run, saying why",
         [](const QString& base) {
             const QString tv = MakeFolder(base, "tv", kOther);
             WriteRaw(base + "/victim", "");
             Link(base + "/victim", tv + "/.Tarvesk.lock", kOther);
             WriteRaw(tv + "/Tarvesk.ini", Settings("true"));
             return tv;
         },
         "is not root's alone",
         nullptr,
         nullptr,
         [this](const QString& base, const QString&) {
             ASSERT_TRUE(m_program.state() == QProcess::NotRunning || m_program.waitForFinished(5000));
             EXPECT_EQ(m_program.exitCode(), 1);
             EXPECT_EQ(ReadRaw(base + "/victim"), "");
             EXPECT_EQ(ReadRaw(base + "/tv/Tarvesk.ini"), Settings("true"));
         }},
        {"a second hop into another user's folder does not make root create a file where only root may",
         [](const QString& base) {
             const QString tv = MakeFolder(base, "tv");
             const QString att = MakeFolder(base, "att", kOther);
             MakeFolder(base, "secret", 0, 0700);
             Link(base + "/secret/new", att + "/t.ini", kOther);
             Link(att + "/t.ini", tv + "/Tarvesk.ini", 0);
             return tv;
         },
         "a link or folder on the way to Tarvesk.ini, can be changed by another user",
         nullptr,
         nullptr,
         [](const QString& base, const QString& said) {
             EXPECT_FALSE(QFile::exists(base + "/secret/new"));
             EXPECT_TRUE(said.contains(base + "/att, a link or folder")) << said.toStdString();
         }},
        {"settings that another user made a set-user-ID program hold in /proc, through a linked folder, are not read",
         [](const QString& base) {
             const QString tv = MakeFolder(base, "tv");
             const QString att = MakeFolder(base, "att", kOther);
             const QString pid = OthersSetUidProgramWith(Settings("sh -c 'id > " + base.toUtf8() + "/hidden-ran'"));
             EXPECT_FALSE(pid.isEmpty());
             Link("/proc/" + pid, att + "/sub", kOther);
             Link(att + "/sub/environ", tv + "/Tarvesk.ini", 0);
             return tv;
         },
         "can be changed by another user",
         nullptr,
         nullptr,
         [](const QString& base, const QString&) { EXPECT_FALSE(QFile::exists(base + "/hidden-ran")); }},
        {"root makes no file where its own dangling link points, nor gives a lock file's other name its mode",
         [](const QString& base) {
             const QString tv = MakeFolder(base, "tv");
             MakeFolder(base, "elsewhere");
             Link(base + "/elsewhere/chosen.ini", tv + "/Tarvesk.ini", 0);
             HardLink(base + "/shared", tv + "/.Tarvesk.lock", 0644);
             return tv;
         },
         "where nothing is, and root makes no file where a link points",
         nullptr,
         nullptr,
         [](const QString& base, const QString&) {
             EXPECT_FALSE(QFile::exists(base + "/elsewhere/chosen.ini"));
             EXPECT_EQ(ModeOf(base + "/shared"), 0644u);
         }},
        {"a command whose program lies in another user's folder is not run, and says which folder",
         [](const QString& base) { return Tool(base, kOther, base.toUtf8() + "/tools/restart-web"); },
         "no display",
         nullptr,
         StartFailed,
         [](const QString& base, const QString& said) {
             const QString refusal = base + "/tools/restart-web can be changed by another user (" + base + "/tools).";
             NotRun(base, refusal.toUtf8());
             EXPECT_TRUE(said.contains(refusal)) << said.toStdString();
         }},
        {"the same program in a folder of root's, named from the working folder, runs",
         [](const QString& base) { return Tool(base, 0, "../tools/restart-web"); },
         "no display",
         nullptr,
         [](const QString& base) { return QFile::exists(base + "/ran"); },
         [](const QString& base, const QString&) { EXPECT_TRUE(QFile::exists(base + "/ran")); }},
        {"a program that another user's link leads to through /proc, after he deleted it, is not run",
         [](const QString& base) {
             const QString tv = Tool(base, kOther, base.toUtf8() + "/tools/restart");
             QFile::rename(base + "/tools/restart-web", base + "/tools/s1");
             QProcess::startDetached("setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups", "sh", "-c",
                                                 "cd " + base + "/tools && exec 3<s1 && rm s1 && "
                                                 "ln -s /proc/$$/fd/3 restart && exec sleep 30"});
             WaitUntil([&] { return QFileInfo(base + "/tools/restart").isSymLink(); }, 5000);
             return tv;
         },
         "no display",
         nullptr,
         StartFailed,
         [](const QString& base, const QString&) { NotRun(base, base.toUtf8() + "/tools/restart"); }},
        {"a relative program from a working folder whose name is no text is judged all the same",
         [](const QString& base) {
             const QByteArray work = QFile::encodeName(base) + "/w\xff";
             ::mkdir(work.constData(), 0755);
             ::symlink(work.constData(), QFile::encodeName(base + "/wlink").constData());
             const QString tv = Tool(base, kOther, "att/restart-web");
             QFile::rename(base + "/tools", base + "/wlink/att");
             return tv;
         },
         "no display",
         nullptr,
         StartFailed,
         [](const QString& base, const QString&) {
             NotRun(base, "att/restart-web can be changed by another user");
             // A name that is no text is left for no one to clean up.
             ::rename((QFile::encodeName(base) + "/w\xff").constData(), QFile::encodeName(base + "/w").constData());
         },
         false, "wlink"},
        {"a script reached through a link of root's runs under the name the command gives",
         [](const QString& base) {
             const QString tv = Tool(base, 0, base.toUtf8() + "/tools/restart-www2 graceful");
             WriteRaw(base + "/tools/restart-web", "#!/bin/sh\necho \"$0 $1\" > " + base.toUtf8() + "/ran\n");
             Link("restart-web", base + "/tools/restart-www2", 0);
             return tv;
         },
         "no display",
         nullptr,
         [](const QString& base) { return QFile::exists(base + "/ran"); },
         [](const QString& base, const QString&) {
             EXPECT_EQ(ReadRaw(base + "/ran"), base.toUtf8() + "/tools/restart-www2 graceful\n");
         }},
        {"a month's log hard-linked to another file is not written by root",
         [](const QString& base) {
             const QString tv = MakeFolder(base, "tv", kOther);
             HardLink(base + "/victim", tv + "/" + LogName(), 0644);
             WriteRaw(tv + "/Tarvesk.ini", Settings("true"));
             return tv;
         },
         "no display",
         nullptr,
         [](const QString& base) { return ReadRaw(base + "/tv/Tarvesk.ini").contains("PageCheckCount=3"); },
         [](const QString& base, const QString&) {
             EXPECT_EQ(ReadRaw(base + "/victim"), "");
             EXPECT_EQ(ModeOf(base + "/victim"), 0644u);
         }},
        {"a folder its user may enter but not list keeps its run",
         [](const QString& base) {
             const QString tv = MakeFolder(base, "tv", kOther, 0311);
             WriteRaw(tv + "/Tarvesk.ini", "[HowToMonitor]\nPageURL=http://127.0.0.1:1/\nInterval=0.3\n"
                                           "[Status]\nMonitoring=1\nPageCheckCount=7\n");
             Own(tv + "/Tarvesk.ini", kOther, 0600);
             return tv;
         },
         "no display",
         nullptr,
         [](const QString& base) { return ReadRaw(base + "/tv/Tarvesk.ini").contains("PageCheckCount=9"); },
         [](const QString& base, const QString&) {
             EXPECT_TRUE(ReadRaw(base + "/tv/Tarvesk.ini").contains("PageCheckCount=9"));
         },
         true},
        {"a started command gets nothing of the program's own, and log lines stay whole",
         [](const QString& base) {
             const QString tv = base + "/tv";
             QDir().mkdir(tv);
             WriteRaw(tv + "/Tarvesk.ini", Settings("sleep 31.5", QByteArray("a@x\rb@x\0c@x", 11)));
             Own(tv + "/Tarvesk.ini", 0, 0600);
             return tv;
         },
         "no display",
         nullptr,
         [](const QString&) { return !StartedSleep().isEmpty(); },
         [this](const QString& base, const QString&) {
             const QString proc = "/proc/" + StartedSleep() + "/";
             EXPECT_EQ(QDir(proc + "fd").entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                       QStringList({"0", "1", "2"}));
             const QByteArray status = ReadRaw(proc + "status");
             EXPECT_TRUE(status.contains("SigBlk:\t0000000000000000\n")) << status.constData();
             EXPECT_TRUE(status.contains("SigIgn:\t0000000000000000\n")) << status.constData();
             // Nor the service manager's variables, nor the choices the
             // program made for its window toolkit.
             const QByteArray environ = ReadRaw(proc + "environ");
             for (const char* own : {"QT_QPA_PLATFORM", "QT_NO_GLIB", "LC_CTYPE", "NOTIFY_SOCKET", "WATCHDOG_USEC", "WATCHDOG_PID"})
                 EXPECT_FALSE(environ.contains(own)) << own;
             EXPECT_TRUE(status.contains("Umask:\t0022\n")) << status.constData();
             // A signal to the program's process group or session misses a
             // restart under way.
             EXPECT_TRUE(InOtherSessionAndGroup(StartedSleep().toInt(), m_program.processId()));
             QProcess::execute("pkill", {"-x", "-f", "sleep 31.5"});
             // The receivers' line break and NUL stay out of the log's lines.
             EXPECT_TRUE(ReadRaw(base + "/tv/" + LogName()).contains("\tSend failed, to:a@x b@x c@x,"));
         }},
    };

    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        Own(dir.path(), 0, 0755);
        const QString folder = row.arrange(dir.path());
        m_said.clear();
        start(folder, row.asOther, row.workIn ? dir.path() + "/" + row.workIn : QString());
        EXPECT_TRUE(WaitUntil([&] { return said().contains(row.ready); }, 10000)) << said().toStdString();
        if (row.meddle) row.meddle(dir.path());
        WaitUntil([&] { return row.settled && row.settled(dir.path()); }, 2000);
        row.expect(dir.path(), said());
        TearDown();
    }
}

}  // namespace
}  // namespace tarvesk
