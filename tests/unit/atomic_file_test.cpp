// The atomic file replacement and the whole-file read, on real files.
#include "platform/atomic_file.h"
#include "platform/folder.h"
#include "platform/path_walk.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using tarvesk::ReadWholeFile;
using tarvesk::WriteFileAtomically;

class AtomicFile : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_path = m_dir.filePath("file.ini");
    }
    QStringList Entries() const {
        return QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                            QDir::NoDotAndDotDot);
    }
    static QByteArray Raw(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
    }
    static mode_t Mode(const QString& path) {
        struct stat st {};
        return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? (st.st_mode & 07777) : 0;
    }
    static void Chmod(const QString& path, mode_t mode) {
        ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), mode), 0);
    }

    QTemporaryDir m_dir;
    QString m_path;
};

TEST_F(AtomicFile, CreatesANewFileWithMode0600) {
    const mode_t oldMask = ::umask(0);
    const bool ok = WriteFileAtomically(m_path, "hello\n");
    ::umask(oldMask);
    ASSERT_TRUE(ok);
    EXPECT_EQ(Raw(m_path), QByteArray("hello\n"));
    EXPECT_EQ(Mode(m_path), 0600u);
    EXPECT_EQ(Entries(), QStringList{"file.ini"});
}

TEST_F(AtomicFile, ReplacesContentAndKeepsTheMode) {
    ASSERT_TRUE(WriteFileAtomically(m_path, "first, and rather long content\n"));
    Chmod(m_path, 0644);
    ASSERT_TRUE(WriteFileAtomically(m_path, "second\n"));
    EXPECT_EQ(Raw(m_path), QByteArray("second\n"));
    EXPECT_EQ(Mode(m_path), 0644u);
    EXPECT_EQ(Entries(), QStringList{"file.ini"});
}

TEST_F(AtomicFile, WritesEmptyAndBinaryContent) {
    ASSERT_TRUE(WriteFileAtomically(m_path, QByteArray()));
    EXPECT_EQ(ReadWholeFile(m_path), QByteArray());
    const QByteArray binary("\x00\xff\r\n\x00", 5);
    ASSERT_TRUE(WriteFileAtomically(m_path, binary));
    EXPECT_EQ(ReadWholeFile(m_path), binary);
}

TEST_F(AtomicFile, FileWithoutOwnerWriteBitIsReadOnlyEvenForRoot) {
    ASSERT_TRUE(WriteFileAtomically(m_path, "old"));
    Chmod(m_path, 0444);
    EXPECT_FALSE(WriteFileAtomically(m_path, "new"));
    EXPECT_EQ(Raw(m_path), QByteArray("old"));
    EXPECT_EQ(Mode(m_path), 0444u);
    // Group and others may write, the owner may not: still read-only.
    Chmod(m_path, 0066);
    EXPECT_FALSE(WriteFileAtomically(m_path, "new"));
    Chmod(m_path, 0644);
    EXPECT_EQ(Raw(m_path), QByteArray("old"));
    EXPECT_EQ(Entries(), QStringList{"file.ini"});
}

TEST_F(AtomicFile, RelativePathWritesIntoTheWorkingFolder) {
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(m_dir.path()));
    const bool ok = WriteFileAtomically("rel.ini", "relative");
    const auto back = ReadWholeFile("rel.ini");
    ASSERT_TRUE(QDir::setCurrent(previous));
    EXPECT_TRUE(ok);
    EXPECT_EQ(back, QByteArray("relative"));
    EXPECT_EQ(Entries(), QStringList{"rel.ini"});
}

TEST_F(AtomicFile, MissingFolderFailsAndCreatesNothing) {
    EXPECT_FALSE(WriteFileAtomically(m_dir.filePath("no/such/file.ini"), "x"));
    EXPECT_TRUE(Entries().isEmpty());
}

TEST_F(AtomicFile, RefusesToReplaceAFolder) {
    ASSERT_TRUE(QDir(m_dir.path()).mkdir("file.ini"));
    EXPECT_FALSE(WriteFileAtomically(m_path, "x"));
    EXPECT_TRUE(QFileInfo(m_path).isDir());
    EXPECT_EQ(Entries(), QStringList{"file.ini"});
}

TEST_F(AtomicFile, FollowsASymbolicLink) {
    const QString target = m_dir.filePath("target.ini");
    ASSERT_TRUE(WriteFileAtomically(target, "old"));
    Chmod(target, 0640);
    ASSERT_TRUE(QFile::link("target.ini", m_path));  // relative link
    ASSERT_TRUE(WriteFileAtomically(m_path, "new"));
    EXPECT_TRUE(QFileInfo(m_path).isSymLink());
    EXPECT_EQ(Raw(target), QByteArray("new"));
    EXPECT_EQ(Mode(target), 0640u);
    EXPECT_EQ(ReadWholeFile(m_path), QByteArray("new"));
}

// Root never makes a file where a link points: whoever wrote the link chose
// the place.
TEST_F(AtomicFile, DanglingLinkCreatesItsTargetExceptForRoot) {
    ASSERT_TRUE(QFile::link("later.ini", m_path));
    const bool root = ::geteuid() == 0;
    EXPECT_EQ(WriteFileAtomically(m_path, "created"), !root);
    EXPECT_TRUE(QFileInfo(m_path).isSymLink());
    EXPECT_EQ(QFile::exists(m_dir.filePath("later.ini")), !root);
    if (!root) {
        EXPECT_EQ(Raw(m_dir.filePath("later.ini")), QByteArray("created"));
    }
}

TEST_F(AtomicFile, LinkLoopFails) {
    const QString other = m_dir.filePath("other.ini");
    ASSERT_TRUE(QFile::link(other, m_path));
    ASSERT_TRUE(QFile::link(m_path, other));
    EXPECT_FALSE(WriteFileAtomically(m_path, "x"));
    EXPECT_EQ(Entries().size(), 2);
}

// A write that the system cuts short (file size limit; the same path as a
// full disk) fails, keeps the old file and removes its temporary file. Run in
// a child so that the limit and the ignored SIGXFSZ stay there.
TEST_F(AtomicFile, FailedWriteKeepsTheOldFileAndCleansUp) {
    ASSERT_TRUE(WriteFileAtomically(m_path, "old content"));
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit {};
        limit.rlim_cur = limit.rlim_max = 4096;
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(77);
        const bool ok = WriteFileAtomically(m_path, QByteArray(100000, 'z'));
        ::_exit(ok ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "cannot set RLIMIT_FSIZE";
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(Raw(m_path), QByteArray("old content"));
    EXPECT_EQ(Entries(), QStringList{"file.ini"});
}

TEST_F(AtomicFile, RefusesADeviceTarget) {
    // Only regular files are replaced; a device is never renamed over.
    if (!QFileInfo::exists("/dev/full")) GTEST_SKIP();
    EXPECT_FALSE(WriteFileAtomically("/dev/full", "x"));
    EXPECT_TRUE(QFileInfo("/dev/full").exists());
}

TEST_F(AtomicFile, ReadWholeFileCases) {
    EXPECT_FALSE(ReadWholeFile(m_path).has_value());              // missing
    EXPECT_FALSE(ReadWholeFile(m_dir.path()).has_value());        // a folder
    EXPECT_FALSE(ReadWholeFile(QString()).has_value());
    // A FIFO without a writer would block an ordinary open for good.
    const QString fifo = m_dir.filePath("fifo.ini");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_FALSE(ReadWholeFile(fifo).has_value());
    EXPECT_FALSE(WriteFileAtomically(fifo, "x"));
    EXPECT_FALSE(tarvesk::AppendRecord(fifo, "x"));
    ASSERT_TRUE(WriteFileAtomically(m_path, ""));
    ASSERT_TRUE(ReadWholeFile(m_path).has_value());               // empty, but there
    EXPECT_TRUE(ReadWholeFile(m_path)->isEmpty());
    const QByteArray big(3 * 1024 * 1024 + 17, 'q');
    ASSERT_TRUE(WriteFileAtomically(m_path, big));
    EXPECT_EQ(ReadWholeFile(m_path), big);
}

TEST_F(AtomicFile, ManyWritesLeaveNoTemporaryFiles) {
    for (int i = 0; i < 200; ++i)
        ASSERT_TRUE(WriteFileAtomically(m_path, QByteArray::number(i)));
    EXPECT_EQ(Raw(m_path), QByteArray("199"));
    EXPECT_EQ(Entries(), QStringList{"file.ini"});
}

TEST_F(AtomicFile, NonRootCannotReplaceAFileItMayNotWrite) {
    if (::geteuid() == 0) {
        // Run the check as "nobody" in a child: the folder is writable for it,
        // the file (owned by root, mode 0644) is not.
        ASSERT_TRUE(WriteFileAtomically(m_path, "root's"));
        Chmod(m_path, 0644);
        Chmod(m_dir.path(), 0777);
        const QString path = m_path;
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(77);
            ::_exit(WriteFileAtomically(path, "nobody's") ? 1 : 0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        Chmod(m_dir.path(), 0700);
        ASSERT_TRUE(WIFEXITED(status));
        if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "cannot drop privileges";
        EXPECT_EQ(WEXITSTATUS(status), 0);
        EXPECT_EQ(Raw(m_path), QByteArray("root's"));
        EXPECT_EQ(Entries(), QStringList{"file.ini"});
    } else {
        GTEST_SKIP() << "needs root to own a file the test user cannot write";
    }
}

// Root's rewrite in root's folder is root's; in another user's folder the
// file keeps that user.
TEST_F(AtomicFile, RootsRewriteFollowsTheFoldersOwner) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to give files to another user";
    const QByteArray file = QFile::encodeName(m_path), folder = QFile::encodeName(m_dir.path());
    for (const uid_t folderOwner : {0u, 65534u}) {
        ASSERT_EQ(::chown(folder.constData(), folderOwner, folderOwner), 0);
        ASSERT_TRUE(WriteFileAtomically(m_path, "user's"));
        ASSERT_EQ(::chown(file.constData(), 65534, 65534), 0);
        testing::internal::CaptureStderr();
        ASSERT_TRUE(WriteFileAtomically(m_path, "root's"));
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(said.find("file.ini belonged to uid 65534") != std::string::npos, folderOwner == 0) << said;
        EXPECT_EQ(QFileInfo(m_path).ownerId(), folderOwner);
        EXPECT_EQ(QFileInfo(m_path).groupId(), folderOwner);
        // What that user wrote stays untrusted until the marker is gone.
        EXPECT_EQ(tarvesk::JudgeFile(tarvesk::Folder::Open(m_dir.path()), "file.ini").cause,
                  folderOwner == 0 ? tarvesk::Trust::Cause::TakenOver : tarvesk::Trust::Cause::IniOrFolder);
        QFile::remove(m_dir.filePath(".file.ini.taken-over"));
    }
    ASSERT_EQ(::chown(folder.constData(), 0, 0), 0);
}

}  // namespace
