// The monthly event log: file naming across month and year boundaries, the
// line layout, and failures that must stay silent.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/stat.h>

#include "notify/event_log.h"

namespace tarvesk {
namespace {

QByteArray Read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(EventLog, NamesTheFileAfterYearAndMonthWithoutLeadingZero) {
    EXPECT_EQ(EventLog::PathFor("/opt/tarvesk", QDateTime(QDate(2026, 3, 5), QTime(9, 7, 3))),
              "/opt/tarvesk/2026-3.log");
    EXPECT_EQ(EventLog::PathFor("/", QDateTime(QDate(2026, 12, 31), QTime(23, 59, 59))), "/2026-12.log");
}

TEST(EventLog, MonthAndYearBoundariesStartNewFiles) {
    QTemporaryDir dir;
    const QDateTime lastOfYear(QDate(2026, 12, 31), QTime(23, 59, 59));
    const QDateTime firstOfYear(QDate(2027, 1, 1), QTime(0, 0, 0));
    EventLog::Append(dir.path(), lastOfYear, "Reset IIS", "restart-web");
    const QByteArray december = Read(dir.filePath("2026-12.log"));
    EventLog::Append(dir.path(), firstOfYear, "Abort Monitor", "");
    EXPECT_EQ(Read(dir.filePath("2026-12.log")), december);  // the old file stays as it was
    const QByteArray january = Read(dir.filePath("2027-1.log"));
    EXPECT_TRUE(january.endsWith("\tAbort Monitor\t\r\n")) << january.constData();
    EXPECT_EQ(january.count('\n'), 1);
}

TEST(EventLog, AppendsWholeLinesInCallOrder) {
    QTemporaryDir dir;
    const QDateTime when(QDate(2026, 12, 8), QTime(10, 0, 0));
    EventLog::Append(dir.path(), when, "Send Email", QStringLiteral("Send failed, to:a@x; b@x,Email 收件地址错误。"));
    // Control characters would split an entry or its fields: they become blanks.
    EventLog::Append(dir.path(), when, "Reset Computer", QString::fromUtf8("reboot\tnow\r\n\0x\x1b", 15));
    const QList<QByteArray> lines = Read(dir.filePath("2026-12.log")).split('\n');
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[0].endsWith(QStringLiteral("\tSend Email\tSend failed, to:a@x; b@x,Email 收件地址错误。\r")
                                      .toUtf8()));
    EXPECT_TRUE(lines[1].endsWith("\tReset Computer\treboot now   x \r")) << lines[1].constData();
    EXPECT_FALSE(lines[0].startsWith("\xEF\xBB\xBF"));  // no byte-order mark
    // The timestamp is the general form, not the fixed one.
    EXPECT_FALSE(lines[0].startsWith("2026-12-8 10:00:00"));
}

TEST(EventLog, FailuresLoseTheEntrySilently) {
    EventLog::Append("/nonexistent/folder", QDateTime::currentDateTime(), "Reset IIS", "x");
    QTemporaryDir dir;
    // A folder where the log file should be cannot be appended to.
    const QDateTime when(QDate(2026, 5, 1), QTime(1, 2, 3));
    ASSERT_TRUE(QDir(dir.path()).mkdir("2026-5.log"));
    EventLog::Append(dir.path(), when, "Reset IIS", "x");
    EXPECT_TRUE(QFileInfo(dir.filePath("2026-5.log")).isDir());
    // Nor can a FIFO, and it is not waited on.
    const QDateTime june(QDate(2026, 6, 1), QTime(1, 2, 3));
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath("2026-6.log")).constData(), 0600), 0);
    EventLog::Append(dir.path(), june, "Reset IIS", "x");
    EXPECT_FALSE(QFileInfo(dir.filePath("2026-6.log")).isFile());
}

// As root, another user's log in root's folder is re-created before root
// adds to it: the user's open descriptor keeps only the old file.
TEST(EventLog, RootTakesAnotherUsersLogInItsFolderOverFirst) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to give the log to another user";
    QTemporaryDir dir;
    const QString path = dir.filePath("2026-5.log");
    QFile users(path);
    ASSERT_TRUE(users.open(QIODevice::WriteOnly | QIODevice::Unbuffered) && users.write("old\r\n") == 5);
    ASSERT_EQ(::fchown(users.handle(), 65534, 65534), 0);
    testing::internal::CaptureStderr();
    for (const char* detail : {"x", "y"})
        EventLog::Append(dir.path(), QDateTime(QDate(2026, 5, 1), QTime(1, 2, 3)), "Reset IIS", detail);
    const QString said = QString::fromStdString(testing::internal::GetCapturedStderr());
    users.write("his\r\n");
    const QByteArray log = Read(path);
    EXPECT_TRUE(log.startsWith("old\r\n") && log.endsWith("\tReset IIS\ty\r\n") && log.count('\n') == 3)
        << log.constData();
    EXPECT_EQ(QFileInfo(path).ownerId(), 0u);
    EXPECT_EQ(QFileInfo(path).permissions(), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
    EXPECT_EQ(said.count(path + " belonged to uid 65534"), 1) << said.toStdString();
}

}  // namespace
}  // namespace tarvesk
