// Disk faults the watchdog must live through: the INI write that hits the
// file-size limit, and the log folder it may not write into.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <csignal>
#include <functional>
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "config/profile_store.h"
#include "notify/event_log.h"
#include "platform/atomic_file.h"

namespace tarvesk {
namespace {

QByteArray ReadRaw(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

QStringList Entries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

// Runs `body` in a child and gives its exit code (99 when it did not exit
// normally, as when a signal killed it). 77 means the case cannot run here.
int InChild(const std::function<int()>& body) {
    const pid_t pid = ::fork();
    if (pid < 0) return 77;
    if (pid == 0) ::_exit(body());
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return 99;
    return WEXITSTATUS(status);
}

TEST(DiskFault, IniWriteOverTheFileSizeLimitFailsAndKeepsTheOldFile) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("Tarvesk.ini");
    const QByteArray old = "[HowToMonitor]\r\nPageURL=http://127.0.0.1/\r\n[Status]\r\nPageCheckCount=41\r\n";
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(old), old.size());
    }

    // The old file fits the limit, the new one does not. Without SIGXFSZ
    // ignored the write would kill the process instead of failing.
    const int code = InChild([&] {
        IgnoreFileSizeSignal();
        struct rlimit limit {};
        limit.rlim_cur = limit.rlim_max = 256;
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return 77;
        // A longer value of a key that exists, then a new key.
        if (ProfileStore::WriteIni(path, "Status", "PageCheckCount", QString(190, QLatin1Char('9'))))
            return 1;
        if (ProfileStore::WriteIni(path, "Status", "Language", QString(190, QLatin1Char('y')))) return 1;
        if (ReadRaw(path) != old) return 3;
        // A small change still fits and goes through.
        if (!ProfileStore::WriteIni(path, "Status", "PageCheckCount", "42")) return 2;
        return 0;
    });
    if (code == 77) GTEST_SKIP() << "cannot set RLIMIT_FSIZE";
    ASSERT_EQ(code, 0) << "1: oversized write succeeded, 2: small write failed, 3: file changed, 99: child died";

    QByteArray expected = old;
    expected.replace("PageCheckCount=41", "PageCheckCount=42");
    EXPECT_EQ(ReadRaw(path), expected);
    EXPECT_EQ(Entries(dir.path()), QStringList{"Tarvesk.ini"});
}

TEST(DiskFault, UnwritableLogFolderLosesTheEntryAndNothingElse) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString logFolder = dir.filePath("logs");
    const QString iniFolder = dir.filePath("conf");
    ASSERT_TRUE(QDir(dir.path()).mkdir("logs"));
    ASSERT_TRUE(QDir(dir.path()).mkdir("conf"));
    const QByteArray top = QFile::encodeName(dir.path());
    const QByteArray logs = QFile::encodeName(logFolder);
    const QByteArray conf = QFile::encodeName(iniFolder);
    ASSERT_EQ(::chmod(top.constData(), 0755), 0);
    ASSERT_EQ(::chmod(logs.constData(), 0555), 0);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(conf.constData(), 65534, 65534), 0);
    }
    const QString ini = iniFolder + "/Tarvesk.ini";

    const int code = InChild([&] {
        if (::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
            return 77;
        if (::access(logs.constData(), W_OK) == 0) return 77;  // the folder is writable after all
        const QDateTime when(QDate(2026, 12, 8), QTime(10, 0, 0));
        EventLog::Append(logFolder, when, "Reset IIS", "restart site");
        EventLog::Append(logFolder, when, "Reset Computer", "reboot");
        // The program goes on: its counters still reach the INI.
        if (!ProfileStore::WriteIni(ini, "Status", "IISResetCount", "3")) return 1;
        if (ProfileStore::ReadIni(ini, "Status", "IISResetCount", "") != "3") return 2;
        return 0;
    });
    ::chmod(logs.constData(), 0755);
    if (code == 77) GTEST_SKIP() << "cannot drop privileges to test an unwritable folder";
    ASSERT_EQ(code, 0) << "1: INI write failed, 2: INI read back wrong, 99: child died";
    EXPECT_TRUE(Entries(logFolder).isEmpty()) << Entries(logFolder).join(", ").toStdString();
    EXPECT_EQ(ReadRaw(ini), QByteArray("[Status]\nIISResetCount=3\n"));
}

}  // namespace
}  // namespace tarvesk
