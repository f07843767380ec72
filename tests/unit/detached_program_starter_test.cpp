#include "platform/detached_program_starter.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>
#include <chrono>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;

namespace tarvesk {
namespace {

// Writes its pid, where its standard streams point and its arguments (one a
// line) to the marker named by its first argument, then stays alive until the
// marker is removed so the test can look at it while it runs.
const char kRecorder[] = R"(#!/bin/sh
marker="$1"; shift
in=$(readlink /proc/$$/fd/0); out=$(readlink /proc/$$/fd/1); err=$(readlink /proc/$$/fd/2)
{
  echo $$; echo "$in"; echo "$out"; echo "$err"
  for a in "$@"; do printf '%s\n' "$a"; done
} > "$marker.part"
mv "$marker.part" "$marker"
i=0
while [ -e "$marker" ] && [ $i -lt 600 ]; do sleep 0.1; i=$((i+1)); done
)";

QString Quoted(const QString& text) { return QLatin1Char('"') + text + QLatin1Char('"'); }

bool WaitForFile(const QString& path, std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!QFileInfo::exists(path)) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

// The parent pid of a live process, or 0 when it is gone.
qint64 ParentOf(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) return 0;
    const QByteArray text = stat.readAll();
    // "pid (comm) state ppid ...": comm may hold blanks, so start after ')'.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return fields.size() > 1 ? fields.at(1).toLongLong() : 0;
}

class DetachedProgramStarterTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_temp.isValid());
        // A blank in the folder name makes the program path itself need quotes.
        m_folder = m_temp.filePath(QStringLiteral("with blank"));
        ASSERT_TRUE(QDir().mkpath(m_folder));
        m_script = m_folder + QStringLiteral("/recorder.sh");
        QFile script(m_script);
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write(kRecorder);
        script.close();
        ASSERT_TRUE(script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner));
        m_marker = m_folder + QStringLiteral("/marker");
    }

    QTemporaryDir m_temp;
    QString m_folder;
    QString m_script;
    QString m_marker;
    DetachedProgramStarter m_starter;
};

TEST_F(DetachedProgramStarterTest, StartsTheProgramDetachedWithShellLikeWords) {
    const QString command = Quoted(m_script) + QLatin1Char(' ') + Quoted(m_marker) +
                            QStringLiteral(R"( "one two"   three """quoted""" 'sh -c "x"' back\ slash it\'s 'a "b"' "\"c\"")");
    QString error = QStringLiteral("stale");
    ASSERT_TRUE(m_starter.start(command, &error, nullptr)) << error.toStdString();
    EXPECT_TRUE(error.isEmpty());

    // start() has returned while the program is still waiting for its
    // marker to go: it did not wait for it.
    ASSERT_TRUE(WaitForFile(m_marker, 20s)) << "the program did not run";
    QFile marker(m_marker);
    ASSERT_TRUE(marker.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(marker.readAll()).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 12) << lines.join('|').toStdString();
    const qint64 pid = lines.at(0).toLongLong();
    EXPECT_EQ(lines.mid(1, 3), QStringList({"/dev/null", "/dev/null", "/dev/null"}))
        << lines.join('|').toStdString();
    // As a POSIX shell splits words: quotes of either kind group, a
    // backslash takes the next character, nothing is expanded.
    EXPECT_EQ(lines.mid(4), QStringList({"one two", "three", "quoted", "sh -c \"x\"", "back slash",
                                         "it's", "a \"b\"", "\"c\""}))
        << lines.join('|').toStdString();

    // Still running and not our child, so it can never become our zombie.
    const qint64 parent = ParentOf(pid);
    EXPECT_NE(parent, 0) << "the program should still be waiting";
    EXPECT_NE(parent, QCoreApplication::applicationPid());

    marker.close();
    EXPECT_TRUE(QFile::remove(m_marker));  // lets the program end
}

TEST_F(DetachedProgramStarterTest, ProgramThatCannotRunIsAnErrorWithADescription) {
    QFile plain(m_folder + QStringLiteral("/not-executable"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.write("#!/bin/sh\ntrue\n");
    plain.close();
    ASSERT_TRUE(plain.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner));

    const QString commands[] = {
        QStringLiteral("/nonexistent/tarvesk-no-such-program --flag"),
        QStringLiteral("tarvesk-no-such-program-on-path"),
        Quoted(plain.fileName()),
        Quoted(m_folder),  // a folder
        QStringLiteral("sh -c 'echo unterminated"),
        QStringLiteral("sh -c \"echo unterminated"),
    };
    for (const QString& command : commands) {
        QString error;
        EXPECT_FALSE(m_starter.start(command, &error, nullptr)) << command.toStdString();
        EXPECT_FALSE(error.isEmpty()) << command.toStdString();
    }
    QString error;
    ProgramRefusal refusal;
    m_starter.start(QStringLiteral("/nonexistent/tarvesk-no-such-program"), &error, &refusal);
    EXPECT_TRUE(error.contains(QStringLiteral("tarvesk-no-such-program"))) << error.toStdString();
    // Root refuses what it cannot follow to a file before the system is asked.
    if (::geteuid() == 0) {
        EXPECT_EQ(refusal.trust.cause, Trust::Cause::Unfollowable);
        EXPECT_EQ(refusal.trust.folder, QStringLiteral("/nonexistent"));
    } else {
        EXPECT_TRUE(error.contains(QStringLiteral("No such file or directory"))) << error.toStdString();
    }
}

// A program that is not there when root judges it is not started, even when
// it is there a moment later (the seam stands for another user's rename).
TEST_F(DetachedProgramStarterTest, AsRootAProgramNotThereWhenJudgedIsNotStarted) {
    if (::geteuid() != 0) GTEST_SKIP() << "root alone judges the program";
    struct AppearsOnceJudged : DetachedProgramStarter {
        QString script;
        void judged(const QByteArray& program) override { QFile::copy(script, QFile::decodeName(program)); }
    } starter;
    starter.script = m_script;
    const QString late = m_folder + QStringLiteral("/late.sh");
    QString error;
    ProgramRefusal refusal;
    EXPECT_FALSE(starter.start(Quoted(late) + QLatin1Char(' ') + Quoted(m_marker), &error, &refusal));
    EXPECT_EQ(refusal.trust.cause, Trust::Cause::Missing);
    EXPECT_EQ(refusal.program, late);
    EXPECT_FALSE(WaitForFile(m_marker, 1s));
}

TEST_F(DetachedProgramStarterTest, EmptyCommandIsAnError) {
    for (const QString& command : {QString(), QStringLiteral("   "), QStringLiteral("\"\"")}) {
        QString error;
        EXPECT_FALSE(m_starter.start(command, &error, nullptr)) << command.toStdString();
        EXPECT_EQ(error, QStringLiteral("The command is empty.")) << command.toStdString();
    }
    EXPECT_FALSE(m_starter.start(QString(), nullptr, nullptr));
}

}  // namespace
}  // namespace tarvesk
