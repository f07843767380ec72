// The INI profile store against real files in a temporary folder.
#include "config/profile_store.h"

#include <gtest/gtest.h>

#include "platform/atomic_file.h"
#include "platform/folder.h"
#include "platform/kept_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>
#include <QTemporaryDir>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <grp.h>
#include <random>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using Store = tarvesk::ProfileStore;

class ProfileStore : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_path = m_dir.filePath(QStringLiteral("Tarvesk.ini"));
    }

    QByteArray Contents() const { return Contents(m_path); }
    static QByteArray Contents(const QString& path) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) return QByteArray("<unreadable>");
        return file.readAll();
    }
    void Put(const QByteArray& data) const {
        QFile file(m_path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(file.write(data), data.size());
    }
    QString Read(const QString& section, const QString& key) const {
        return Store::ReadIni(m_path, section, key, QString());
    }
    bool Write(const QString& section, const QString& key, const QString& value) const {
        return Store::WriteIni(m_path, section, key, value);
    }
    QStringList FolderEntries() const {
        return QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                            QDir::NoDotAndDotDot);
    }
    static mode_t Mode(const QString& path) {
        struct stat st {};
        if (::stat(QFile::encodeName(path).constData(), &st) != 0) return 0;
        return st.st_mode & 07777;
    }
    // Changes whenever the file is replaced rather than left alone.
    static ino_t Inode(const QString& path) {
        struct stat st {};
        return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
    }

    QTemporaryDir m_dir;
    QString m_path;
};

// --- reading --------------------------------------------------------------

TEST_F(ProfileStore, MissingFileGivesDefaultAndCreatesNothing) {
    EXPECT_EQ(Read("Status", "Monitoring"), QString());
    EXPECT_EQ(Store::ReadIni(m_path, "Status", "Monitoring", "dflt"), QString("dflt"));
    EXPECT_FALSE(QFileInfo::exists(m_path));
    EXPECT_TRUE(FolderEntries().isEmpty());
}

TEST_F(ProfileStore, MissingSectionOrKeyGivesDefault) {
    Put("[Status]\nLanguage=eng\n");
    EXPECT_EQ(Store::ReadIni(m_path, "Other", "Language", "d"), QString("d"));
    EXPECT_EQ(Store::ReadIni(m_path, "Status", "Monitoring", "d"), QString("d"));
    EXPECT_EQ(Read("Status", "Language"), QString("eng"));
}

TEST_F(ProfileStore, ReadsTheKeyOfItsOwnSectionOnly) {
    Put("[A]\nKey=a\n[B]\nKey=b\n[C]\nOther=c\n");
    EXPECT_EQ(Read("A", "Key"), QString("a"));
    EXPECT_EQ(Read("B", "Key"), QString("b"));
    EXPECT_EQ(Store::ReadIni(m_path, "C", "Key", "none"), QString("none"));
}

TEST_F(ProfileStore, FirstMatchingSectionAndKeyWin) {
    Put("[S]\nK=first\nk=second\n[s]\nK=third\n");
    EXPECT_EQ(Read("S", "K"), QString("first"));
    ASSERT_TRUE(Write("S", "K", "new"));
    EXPECT_EQ(Contents(), QByteArray("[S]\nK=new\nk=second\n[s]\nK=third\n"));
}

TEST_F(ProfileStore, SectionNamesIgnoreAsciiCaseBothWays) {
    ASSERT_TRUE(Write("HowtoNotify", "SenderSMTP", "smtp.example.org"));
    EXPECT_EQ(Read("HowToNotify", "SenderSMTP"), QString("smtp.example.org"));
    EXPECT_EQ(Read("HOWTONOTIFY", "sendersmtp"), QString("smtp.example.org"));

    // A file whose header says HowToNotify keeps it when written as HowtoNotify.
    Put("[HowToNotify]\nReceiverEmail=a@b.c\n");
    ASSERT_TRUE(Write("HowtoNotify", "ReceiverEmail", "x@y.z"));
    EXPECT_EQ(Contents(), QByteArray("[HowToNotify]\nReceiverEmail=x@y.z\n"));
    EXPECT_EQ(Read("howtonotify", "RECEIVEREMAIL"), QString("x@y.z"));
}

TEST_F(ProfileStore, KeyNamesIgnoreAsciiCaseAndKeepTheirSpelling) {
    Put("[Status]\nPageCheckCount=1\n");
    ASSERT_TRUE(Write("Status", "pagecheckcount", "2"));
    EXPECT_EQ(Contents(), QByteArray("[Status]\nPageCheckCount=2\n"));
    EXPECT_EQ(Read("STATUS", "PAGECHECKCOUNT"), QString("2"));
}

TEST_F(ProfileStore, CaseFoldingIsAsciiOnly) {
    ASSERT_TRUE(Write(QString::fromUtf8("Ä"), "k", "upper"));
    EXPECT_EQ(Store::ReadIni(m_path, QString::fromUtf8("ä"), "k", "none"), QString("none"));
    EXPECT_EQ(Read(QString::fromUtf8("Ä"), "K"), QString("upper"));
}

TEST_F(ProfileStore, ValuesComeBackTrimmedWithInnerBlanksKept) {
    ASSERT_TRUE(Write("S", "K", "   a  b \t c   "));
    EXPECT_EQ(Contents(), QByteArray("[S]\nK=   a  b \t c   \n"));  // stored unchanged
    EXPECT_EQ(Read("S", "K"), QString("a  b \t c"));

    Put("[S]\n  K  =  1  \r\nT=\t\tx\t\n");
    EXPECT_EQ(Read("S", "K"), QString("1"));
    EXPECT_EQ(Read("S", "T"), QString("x"));
}

TEST_F(ProfileStore, EmptyValueReadsAsEmpty) {
    ASSERT_TRUE(Write("S", "K", ""));
    EXPECT_EQ(Contents(), QByteArray("[S]\nK=\n"));
    EXPECT_EQ(Store::ReadIni(m_path, "S", "K", "dflt"), QString());
}

TEST_F(ProfileStore, ValueIsTextAfterTheFirstEquals) {
    ASSERT_TRUE(Write("S", "Url", "http://x/?a=1&b=2"));
    EXPECT_EQ(Read("S", "Url"), QString("http://x/?a=1&b=2"));
}

TEST_F(ProfileStore, ValueOf199BytesComesBackWhole) {
    const QString value(199, QLatin1Char('v'));
    ASSERT_TRUE(Write("S", "K", value));
    EXPECT_EQ(Read("S", "K"), value);
}

TEST_F(ProfileStore, ValueOf200OrMoreBytesIsCutTo199) {
    ASSERT_TRUE(Write("S", "A", QString(200, QLatin1Char('a'))));
    ASSERT_TRUE(Write("S", "B", QString(5000, QLatin1Char('b'))));
    EXPECT_EQ(Read("S", "A"), QString(199, QLatin1Char('a')));
    EXPECT_EQ(Read("S", "B"), QString(199, QLatin1Char('b')));
    // The whole value is stored; only the read is cut.
    EXPECT_TRUE(Contents().contains(QByteArray(5000, 'b')));
}

TEST_F(ProfileStore, CutNeverSplitsAMultibyteCharacter) {
    const QString two = QString::fromUtf8("é");       // 2 bytes
    const QString three = QString::fromUtf8("监");     // 3 bytes
    const QString four = QString::fromUtf8("\U0001F600");  // 4 bytes

    // 198 ASCII bytes, then a 2-byte character crossing the limit: it goes.
    ASSERT_TRUE(Write("S", "A", QString(198, 'a') + two + "tail"));
    EXPECT_EQ(Read("S", "A"), QString(198, 'a'));
    // 197 + 2 = 199: fits exactly.
    ASSERT_TRUE(Write("S", "B", QString(197, 'a') + two + "tail"));
    EXPECT_EQ(Read("S", "B"), QString(197, 'a') + two);
    // 66 three-byte characters = 198 bytes, the 67th crosses.
    QString chinese;
    for (int i = 0; i < 80; ++i) chinese += three;
    ASSERT_TRUE(Write("S", "C", chinese));
    EXPECT_EQ(Read("S", "C"), chinese.left(66));
    // A 4-byte character starting at 196, 197 or 198.
    for (int pad = 196; pad <= 198; ++pad) {
        ASSERT_TRUE(Write("S", "D", QString(pad, 'a') + four));
        EXPECT_EQ(Read("S", "D"), QString(pad, 'a')) << pad;
        EXPECT_FALSE(Read("S", "D").contains(QChar(0xFFFD)));
    }
    ASSERT_TRUE(Write("S", "E", QString(195, 'a') + four + "x"));
    EXPECT_EQ(Read("S", "E"), QString(195, 'a') + four);
}

TEST_F(ProfileStore, TrimHappensAfterTheCut) {
    // Leading blanks do not count towards the 199 bytes; blanks at the cut go.
    ASSERT_TRUE(Write("S", "K", "     " + QString(197, 'x') + "  yyy"));
    EXPECT_EQ(Read("S", "K"), QString(197, 'x'));
}

TEST_F(ProfileStore, UnicodeValuesRoundTrip) {
    const QString value = QString::fromUtf8("已保存。 Grüße ✓");
    ASSERT_TRUE(Write(QString::fromUtf8("Sektion"), QString::fromUtf8("Schlüssel"), value));
    EXPECT_EQ(Read("SEKTION", QString::fromUtf8("schlüssel")), value);
    EXPECT_TRUE(Contents().contains(value.toUtf8()));
}

// --- writing --------------------------------------------------------------

TEST_F(ProfileStore, WriteCreatesFileSectionAndKey) {
    ASSERT_TRUE(Write("HowToMonitor", "PageURL", "http://localhost/"));
    EXPECT_EQ(Contents(), QByteArray("[HowToMonitor]\nPageURL=http://localhost/\n"));
    ASSERT_TRUE(Write("HowToMonitor", "Interval", "10"));
    ASSERT_TRUE(Write("HowtoNotify", "NotifyIISReset", "1"));
    ASSERT_TRUE(Write("Status", "Language", "eng"));
    ASSERT_TRUE(Write("HowToMonitor", "CmdResetIIS", "iisreset /restart"));
    EXPECT_EQ(Contents(), QByteArray("[HowToMonitor]\n"
                                     "PageURL=http://localhost/\n"
                                     "Interval=10\n"
                                     "CmdResetIIS=iisreset /restart\n"
                                     "\n"
                                     "[HowtoNotify]\n"
                                     "NotifyIISReset=1\n"
                                     "\n"
                                     "[Status]\n"
                                     "Language=eng\n"));
    EXPECT_EQ(FolderEntries(), QStringList{"Tarvesk.ini"});  // no temporary left behind
}

TEST_F(ProfileStore, ReplaceKeepsEveryOtherLineByteForByte) {
    const QByteArray before =
        "; Tarvesk settings\n"
        "\n"
        "  [HowToMonitor]  \n"
        "# a comment = with an equals sign\n"
        "PageURL = http://old/\n"
        "  Interval\t=  10   \n"
        "stray text\n"
        "\n"
        "[Status]\n"
        "Language=eng\n";
    Put(before);
    ASSERT_TRUE(Write("HowToMonitor", "PageURL", "http://new/"));
    ASSERT_TRUE(Write("HowToMonitor", "Interval", "30"));
    EXPECT_EQ(Contents(), QByteArray("; Tarvesk settings\n"
                                     "\n"
                                     "  [HowToMonitor]  \n"
                                     "# a comment = with an equals sign\n"
                                     "PageURL =http://new/\n"
                                     "  Interval\t=30\n"
                                     "stray text\n"
                                     "\n"
                                     "[Status]\n"
                                     "Language=eng\n"));
    EXPECT_EQ(Read("HowToMonitor", "PageURL"), QString("http://new/"));
    // A comment line is not an entry, even with "=" in it.
    EXPECT_EQ(Store::ReadIni(m_path, "HowToMonitor", "# a comment", "none"), QString("none"));
}

TEST_F(ProfileStore, NewKeyGoesAfterTheLastNonBlankLineOfItsSection) {
    Put("[A]\nX=1\n; note\n\n\n[B]\nY=2\n");
    ASSERT_TRUE(Write("A", "Z", "3"));
    EXPECT_EQ(Contents(), QByteArray("[A]\nX=1\n; note\nZ=3\n\n\n[B]\nY=2\n"));
    ASSERT_TRUE(Write("B", "W", "4"));
    EXPECT_EQ(Contents(), QByteArray("[A]\nX=1\n; note\nZ=3\n\n\n[B]\nY=2\nW=4\n"));
}

TEST_F(ProfileStore, NewKeyInAnEmptySectionFollowsTheHeader) {
    Put("[A]\n\n[B]\n");
    ASSERT_TRUE(Write("A", "K", "v"));
    EXPECT_EQ(Contents(), QByteArray("[A]\nK=v\n\n[B]\n"));
    ASSERT_TRUE(Write("B", "K", "w"));
    EXPECT_EQ(Contents(), QByteArray("[A]\nK=v\n\n[B]\nK=w\n"));
}

TEST_F(ProfileStore, UnterminatedLastLineIsTerminatedFirst) {
    Put("[A]\nX=1");
    ASSERT_TRUE(Write("A", "Y", "2"));
    EXPECT_EQ(Contents(), QByteArray("[A]\nX=1\nY=2\n"));

    Put("[A]\nX=1");
    ASSERT_TRUE(Write("B", "Y", "2"));
    EXPECT_EQ(Contents(), QByteArray("[A]\nX=1\n\n[B]\nY=2\n"));

    Put("[A]\nX=1");
    ASSERT_TRUE(Write("A", "X", "22"));
    EXPECT_EQ(Contents(), QByteArray("[A]\nX=22"));
}

// A last line cut off after its CR gets only its LF: a second CR would end up
// in that line's value.
TEST_F(ProfileStore, LoneCarriageReturnAtTheEndIsCompletedNotDoubled) {
    Put("[A]\r\nX=1\r");
    ASSERT_TRUE(Write("B", "Y", "2"));
    EXPECT_EQ(Read("A", "X"), "1");
    EXPECT_EQ(Contents(), QByteArray("[A]\r\nX=1\r\n\r\n[B]\r\nY=2\r\n"));

    Put("[A]\r\nX=1\r");
    ASSERT_TRUE(Write("A", "Z", "3"));
    EXPECT_EQ(Read("A", "X"), "1");
    EXPECT_EQ(Read("A", "Z"), "3");
}

TEST_F(ProfileStore, NewSectionAfterATrailingBlankLineAddsNoSecondBlank) {
    Put("[A]\nX=1\n\n");
    ASSERT_TRUE(Write("B", "Y", "2"));
    EXPECT_EQ(Contents(), QByteArray("[A]\nX=1\n\n[B]\nY=2\n"));
}

TEST_F(ProfileStore, CrLfFilesReadAndKeepTheirLineEnding) {
    Put("[HowToMonitor]\r\nPageURL=http://a/\r\n\r\n[Status]\r\nLanguage=cn\r\n");
    EXPECT_EQ(Read("HowToMonitor", "PageURL"), QString("http://a/"));
    EXPECT_EQ(Read("Status", "Language"), QString("cn"));
    ASSERT_TRUE(Write("Status", "Monitoring", "1"));
    ASSERT_TRUE(Write("HowToMonitor", "PageURL", "http://b/"));
    ASSERT_TRUE(Write("HowtoNotify", "SenderSMTP", "smtp"));
    EXPECT_EQ(Contents(), QByteArray("[HowToMonitor]\r\nPageURL=http://b/\r\n\r\n"
                                     "[Status]\r\nLanguage=cn\r\nMonitoring=1\r\n"
                                     "\r\n[HowtoNotify]\r\nSenderSMTP=smtp\r\n"));
}

TEST_F(ProfileStore, LineEndingFollowsTheFirstLine) {
    Put("[A]\nX=1\r\n");
    ASSERT_TRUE(Write("A", "Y", "2"));
    EXPECT_EQ(Contents(), QByteArray("[A]\nX=1\r\nY=2\n"));

    Put("; crlf\r\n[A]\nX=1");
    ASSERT_TRUE(Write("A", "Y", "2"));
    EXPECT_EQ(Contents(), QByteArray("; crlf\r\n[A]\nX=1\r\nY=2\r\n"));
}

TEST_F(ProfileStore, RefusesNamesAndValuesThatCannotBeStored) {
    Put("[S]\nK=old\n");
    const QByteArray before = Contents();
    EXPECT_FALSE(Write("S", "K", "a\nb"));
    EXPECT_FALSE(Write("S", "K", "a\rb"));
    EXPECT_FALSE(Write("S", "K", QString("a") + QChar(0) + "b"));
    EXPECT_FALSE(Write("S\n", "K", "v"));
    EXPECT_FALSE(Write("S", "K\r", "v"));
    EXPECT_FALSE(Write("S]", "K", "v"));
    EXPECT_FALSE(Write("[S", "K", "v"));
    EXPECT_FALSE(Write("S", "K=", "v"));
    EXPECT_FALSE(Write("", "K", "v"));
    EXPECT_FALSE(Write("  \t", "K", "v"));
    EXPECT_FALSE(Write("S", "", "v"));
    EXPECT_FALSE(Write("S", " ", "v"));
    EXPECT_FALSE(Write("S", ";K", "v"));
    EXPECT_EQ(Contents(), before);
    EXPECT_EQ(FolderEntries(), QStringList{"Tarvesk.ini"});
    // Nothing refused creates a file either.
    QFile::remove(m_path);
    EXPECT_FALSE(Write("S", "K", "a\nb"));
    EXPECT_FALSE(QFileInfo::exists(m_path));
}

TEST_F(ProfileStore, ValuesThatLookLikeSyntaxAreStoredAsText) {
    ASSERT_TRUE(Write("S", "K", "[Other]"));
    ASSERT_TRUE(Write("S", "L", "a=b=c ; not a comment"));
    EXPECT_EQ(Read("S", "K"), QString("[Other]"));
    EXPECT_EQ(Read("S", "L"), QString("a=b=c ; not a comment"));
}

// --- permissions and failures ------------------------------------------------

TEST_F(ProfileStore, NewFileHasMode0600) {
    const mode_t oldMask = ::umask(0);
    const bool ok = Write("S", "K", "secret");
    ::umask(oldMask);
    ASSERT_TRUE(ok);
    EXPECT_EQ(Mode(m_path), 0600u);
}

TEST_F(ProfileStore, ExistingModeIsKept) {
    Put("[S]\nK=1\n");
    ASSERT_EQ(::chmod(QFile::encodeName(m_path).constData(), 0640), 0);
    ASSERT_TRUE(Write("S", "K", "2"));
    EXPECT_EQ(Mode(m_path), 0640u);
    ASSERT_TRUE(Write("S", "New", "3"));
    EXPECT_EQ(Mode(m_path), 0640u);
}

TEST_F(ProfileStore, ReadOnlyFileIsLeftUnchanged) {
    Put("[S]\nK=1\n");
    ASSERT_EQ(::chmod(QFile::encodeName(m_path).constData(), 0444), 0);
    EXPECT_FALSE(Write("S", "K", "2"));
    EXPECT_FALSE(Write("S", "New", "2"));
    EXPECT_FALSE(Write("T", "K", "2"));
    EXPECT_EQ(Contents(), QByteArray("[S]\nK=1\n"));
    EXPECT_EQ(Mode(m_path), 0444u);
    EXPECT_EQ(FolderEntries(), QStringList{"Tarvesk.ini"});
    EXPECT_EQ(Read("S", "K"), QString("1"));
}

TEST_F(ProfileStore, MissingFolderFailsAndCreatesNothing) {
    const QString path = m_dir.filePath("missing/Tarvesk.ini");
    EXPECT_FALSE(Store::WriteIni(path, "S", "K", "v"));
    EXPECT_FALSE(QFileInfo::exists(m_dir.filePath("missing")));
    EXPECT_TRUE(FolderEntries().isEmpty());
    EXPECT_EQ(Store::ReadIni(path, "S", "K", "d"), QString("d"));
}

// Runs `body` in a child process as the unprivileged user "nobody" when the
// test runs as root; the child reports through its exit code (0 = as expected,
// 77 = cannot run the case here).
static int RunAsNobody(const std::function<int()>& body) {
    const pid_t pid = ::fork();
    if (pid < 0) return 77;
    if (pid == 0) {
        if (::geteuid() == 0) {
            if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
                ::_exit(77);
        }
        ::_exit(body());
    }
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return 99;
    return WEXITSTATUS(status);
}

TEST_F(ProfileStore, UnreadableTargetIsNotReplaced) {
    // A folder where the file should be: not readable as a file, not replaced.
    ASSERT_TRUE(QDir(m_dir.path()).mkdir("Tarvesk.ini"));
    EXPECT_FALSE(Write("S", "K", "v"));
    EXPECT_TRUE(QFileInfo(m_path).isDir());
    EXPECT_EQ(Store::ReadIni(m_path, "S", "K", "d"), QString("d"));

    // A file its owner may write but not read, in the owner's own folder: what
    // it holds cannot be kept, so it is not replaced.
    const QString folder = m_dir.filePath("own");
    const QString path = folder + "/Tarvesk.ini";
    const QByteArray encodedPath = QFile::encodeName(path);
    ASSERT_TRUE(QDir(m_dir.path()).mkdir("own"));
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[S]\nK=1\n");
    }
    ASSERT_EQ(::chmod(QFile::encodeName(m_dir.path()).constData(), 0755), 0);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(QFile::encodeName(folder).constData(), 65534, 65534), 0);
        ASSERT_EQ(::chown(encodedPath.constData(), 65534, 65534), 0);
    }
    ASSERT_EQ(::chmod(encodedPath.constData(), 0200), 0);
    const int code = RunAsNobody([&] {
        if (::access(encodedPath.constData(), R_OK) == 0) return 77;
        return Store::WriteIni(path, "S", "K", "2") ? 1 : 0;
    });
    ASSERT_EQ(::chmod(encodedPath.constData(), 0600), 0);
    if (code == 77) GTEST_SKIP() << "cannot drop privileges to meet an unreadable file";
    EXPECT_EQ(code, 0);
    EXPECT_EQ(Contents(path), QByteArray("[S]\nK=1\n"));
}

// A folder that refuses new files cannot take the atomic replacement; the
// writable file in it is rewritten in place, and a rewrite that does not fit
// puts the old bytes back.
TEST_F(ProfileStore, ReadOnlyFolderRewritesTheFileInPlace) {
    const QString folder = m_dir.filePath("ro");
    const QString path = folder + "/Tarvesk.ini";
    ASSERT_TRUE(QDir(m_dir.path()).mkdir("ro"));
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[S]\nK=1\nOld=a longer value\n");
    }
    const QByteArray encodedFolder = QFile::encodeName(folder);
    const QByteArray encodedPath = QFile::encodeName(path);
    // The file itself is writable by the child; only the folder is not.
    ASSERT_EQ(::chmod(QFile::encodeName(m_dir.path()).constData(), 0755), 0);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(encodedPath.constData(), 65534, 65534), 0);
    }
    ASSERT_EQ(::chmod(encodedPath.constData(), 0640), 0);
    ASSERT_EQ(::chmod(encodedFolder.constData(), 0555), 0);
    const ino_t inode = Inode(path);

    const int code = RunAsNobody([&] {
        if (::access(encodedPath.constData(), R_OK | W_OK) != 0) return 77;  // cannot reach it
        if (::access(encodedFolder.constData(), W_OK) == 0) return 77;      // folder writable
        if (!Store::WriteIni(path, "S", "K", "2")) return 1;
        if (!Store::WriteIni(path, "S", "Old", "b")) return 2;  // shorter: cut to length
        if (!Store::WriteIni(path, "T", "New", "3")) return 3;
        tarvesk::IgnoreFileSizeSignal();
        struct rlimit limit {};
        limit.rlim_cur = limit.rlim_max = 64;
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return 77;
        if (Store::WriteIni(path, "T", "New", QString(80, QLatin1Char('x')))) return 4;
        return 0;
    });
    ::chmod(encodedFolder.constData(), 0755);
    if (code == 77) GTEST_SKIP() << "cannot drop privileges to test a read-only folder";
    EXPECT_EQ(code, 0);
    EXPECT_EQ(Contents(path), QByteArray("[S]\nK=2\nOld=b\n\n[T]\nNew=3\n"));
    EXPECT_EQ(Inode(path), inode);
    EXPECT_EQ(Mode(path), 0640u);
    EXPECT_EQ(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"Tarvesk.ini"});
}

TEST_F(ProfileStore, WriteThatChangesNothingIsNotMade) {
    Put("[S]\nK= 1\n");
    // Held open, the file keeps its inode number from being handed out again.
    QFile held(m_path);
    ASSERT_TRUE(held.open(QIODevice::ReadOnly));
    const ino_t inode = Inode(m_path);
    EXPECT_TRUE(Write("S", "K", " 1"));
    EXPECT_EQ(Inode(m_path), inode);
    EXPECT_TRUE(Write("s", "k", " 1"));
    EXPECT_EQ(Inode(m_path), inode);
    EXPECT_TRUE(Write("S", "K", "1"));  // the blank goes: a change
    EXPECT_NE(Inode(m_path), inode);
    EXPECT_EQ(Contents(), QByteArray("[S]\nK=1\n"));
}

// Only regular files of exactly the store's naming go: nothing else of the
// folder's, not a folder or a link of that name.
TEST_F(ProfileStore, LeftoversOfKilledWritesAreRemovedAndNothingElse) {
    Put("[S]\nK=1\n");
    const QStringList kept{".Other.ini.tmp-abcdef", ".Tarvesk.ini.tmp-abc", ".Tarvesk.ini.tmp-abcdefg",
                           ".Tarvesk.ini.tmp-ab.def", "Tarvesk.ini", "Tarvesk.ini.tmp-abcdef"};
    for (const QString& name : kept + QStringList{".Tarvesk.ini.tmp-a1B2c3", ".Tarvesk.ini.tmp-ZZZZZZ"})
        ASSERT_TRUE(QFile(m_dir.filePath(name)).open(QIODevice::Append));
    ASSERT_TRUE(QDir(m_dir.path()).mkdir(".Tarvesk.ini.tmp-dir123"));
    ASSERT_TRUE(QFile::link("Tarvesk.ini", m_dir.filePath(".Tarvesk.ini.tmp-lnk123")));
    Store::RemoveLeftovers(m_path);
    QStringList left = FolderEntries(), expected = kept + QStringList{".Tarvesk.ini.tmp-dir123", ".Tarvesk.ini.tmp-lnk123"};
    left.sort();
    expected.sort();
    EXPECT_EQ(left, expected);
    EXPECT_EQ(Contents(), QByteArray("[S]\nK=1\n"));
}

// In a folder of the file's owner; in root's own folder it becomes root's.
TEST_F(ProfileStore, OwnerIsKeptWhenRootWrites) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root";
    Put("[S]\nK=1\n");
    ASSERT_EQ(::chown(QFile::encodeName(m_path).constData(), 65534, 65534), 0);
    ASSERT_EQ(::chown(QFile::encodeName(m_dir.path()).constData(), 65534, 65534), 0);
    ASSERT_TRUE(Write("S", "K", "2"));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(m_path).constData(), &st), 0);
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_gid, 65534u);
}

TEST_F(ProfileStore, SymlinkedFileIsWrittenThrough) {
    const QString target = m_dir.filePath("real.ini");
    {
        QFile file(target);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[S]\nK=1\n");
    }
    ASSERT_TRUE(QFile::link(target, m_path));
    ASSERT_TRUE(Write("S", "K", "2"));
    EXPECT_TRUE(QFileInfo(m_path).isSymLink());
    EXPECT_EQ(Contents(target), QByteArray("[S]\nK=2\n"));
}

// --- malformed files -----------------------------------------------------------

TEST_F(ProfileStore, MalformedFileReadsWhatItCanAndKeepsUnknownLines) {
    QByteArray junk;
    junk += "garbage line without equals\n";
    junk += "=value without key\n";
    junk += "[unterminated header\n";
    junk += "]backwards[\n";
    junk += "[]\n";
    static const char binary[] = "\x00\x01\x02\xff\xfe binary \x00 junk\n";
    junk += QByteArray(binary, sizeof binary - 1);
    junk += "\xc3\x28 invalid utf-8 \xe2\x82\n";
    junk += "[Status]\n";
    junk += "no equals here\n";
    junk += "Language=cn\n";
    junk += "Bad=\xff\xfe\xc3\n";
    junk += QByteArray(1024 * 1024, 'x') + "\n";
    junk += "Long=" + QByteArray(1024 * 1024, 'y') + "\n";
    junk += "\x80\x80\x80\n";
    Put(junk);

    EXPECT_EQ(Read("Status", "Language"), QString("cn"));
    const QString bad = Read("Status", "Bad");
    EXPECT_EQ(bad.size(), 3);
    EXPECT_EQ(bad, QString(3, QChar(0xFFFD)));
    EXPECT_EQ(Read("Status", "Long"), QString(199, 'y'));
    EXPECT_EQ(Store::ReadIni(m_path, "Status", "no equals here", "d"), QString("d"));

    ASSERT_TRUE(Write("Status", "Monitoring", "1"));
    ASSERT_TRUE(Write("Status", "Language", "eng"));
    QByteArray expected = junk;
    expected.replace("Language=cn\n", "Language=eng\n");
    expected += "Monitoring=1\n";
    EXPECT_EQ(Contents(), expected);
    EXPECT_EQ(Read("Status", "Monitoring"), QString("1"));
}

TEST_F(ProfileStore, ByteOrderMarkIsKeptAndDoesNotHideTheFirstSection) {
    Put("\xEF\xBB\xBF[Status]\r\nLanguage=cn\r\n");
    EXPECT_EQ(Read("Status", "Language"), QString("cn"));
    ASSERT_TRUE(Write("Status", "Language", "eng"));
    ASSERT_TRUE(Write("Status", "Monitoring", "0"));
    EXPECT_EQ(Contents(), QByteArray("\xEF\xBB\xBF[Status]\r\nLanguage=eng\r\nMonitoring=0\r\n"));

    Put("\xEF\xBB\xBFKey=orphan\n[S]\n");
    EXPECT_EQ(Store::ReadIni(m_path, "S", "Key", "d"), QString("d"));
}

TEST_F(ProfileStore, EntriesBeforeAnySectionAreIgnored) {
    Put("K=orphan\n[S]\nOther=1\n");
    EXPECT_EQ(Store::ReadIni(m_path, "S", "K", "d"), QString("d"));
    ASSERT_TRUE(Write("S", "K", "v"));
    EXPECT_EQ(Contents(), QByteArray("K=orphan\n[S]\nOther=1\nK=v\n"));
}

TEST_F(ProfileStore, EmptyFileReadsNothingAndTakesAWrite) {
    Put("");
    EXPECT_EQ(Store::ReadIni(m_path, "S", "K", "d"), QString("d"));
    ASSERT_TRUE(Write("S", "K", "v"));
    EXPECT_EQ(Contents(), QByteArray("[S]\nK=v\n"));
}

TEST_F(ProfileStore, BinaryOnlyFileKeepsItsBytes) {
    QByteArray bytes;
    std::mt19937 rng(42);
    for (int i = 0; i < 4096; ++i) bytes += static_cast<char>(rng() & 0xFF);
    Put(bytes);
    EXPECT_EQ(Store::ReadIni(m_path, "S", "K", "d"), QString("d"));
    ASSERT_TRUE(Write("Status", "Language", "eng"));
    const QByteArray after = Contents();
    EXPECT_TRUE(after.startsWith(bytes));
    EXPECT_EQ(Read("Status", "Language"), QString("eng"));
}

// --- crash safety --------------------------------------------------------------

// A writer killed at any moment leaves the old file or the new one, never a
// torn one. A temporary file of the killed writer may remain in the folder
// (the atomic write cannot remove it from a SIGKILLed process); it is named
// ".Tarvesk.ini.tmp-XXXXXX", never read, readable by its owner only, and
// removed by the clean-up of the next start.
// An ext4 image made with 128-byte inodes, which keep whole seconds,
// loop-mounted at `at` for the test's life; path() is empty where that cannot
// be done (not root, no loop device), and why() says why.
class WholeSecondFileSystem {
public:
    explicit WholeSecondFileSystem(const QString& at) : m_at(at), m_image(at + ".img") {
        if (::geteuid() != 0) {
            m_why = "needs root to mount";
            return;
        }
        QDir().mkpath(at);
        const int made = std::system(("truncate -s 16M '" + m_image.toStdString() + "' && mkfs.ext4 -q -F -I 128 '" +
                                      m_image.toStdString() + "' >/dev/null 2>&1 && mount -o loop '" +
                                      m_image.toStdString() + "' '" + at.toStdString() + "' 2>/dev/null")
                                         .c_str());
        m_mounted = made == 0;
        if (!m_mounted) m_why = "no ext4 image could be made and mounted here";
    }
    ~WholeSecondFileSystem() {
        if (m_mounted) ::umount2(QFile::encodeName(m_at).constData(), MNT_DETACH);
    }
    QString path() const { return m_mounted ? m_at : QString(); }
    const std::string& why() const { return m_why; }

private:
    QString m_at;
    QString m_image;
    bool m_mounted = false;
    std::string m_why;
};

// The program's own INI keeps its bytes between calls; whatever another
// writer does between two calls is still seen, however it edits: in place
// with the same size, at once after a write or long after it, with its times
// put back, or by renaming a copy over it.
TEST_F(ProfileStore, KeptFileSeesEveryEditMadeBetweenTwoCalls) {
    const auto inPlace = [](const QString& path, const QByteArray& bytes) {
        const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::pwrite(fd, bytes.constData(), static_cast<size_t>(bytes.size()), 0), bytes.size());
        ::close(fd);
    };
    const struct {
        const char* what;
        bool settle;  // the kept times lie in the past first
        std::function<void(const QString& path)> edit;
    } edits[] = {
        {"in place, same size, at once", false, [&](const QString& path) { inPlace(path, "[S]\nA=2\n"); }},
        {"in place, same size, later", true, [&](const QString& path) { inPlace(path, "[S]\nA=2\n"); }},
        {"in place with the old times put back", true,
         [&](const QString& path) {
             struct stat before {};
             ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &before), 0);
             inPlace(path, "[S]\nA=2\n");
             const struct timespec times[2] = {before.st_atim, before.st_mtim};
             ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
         }},
        {"a copy renamed over it", true,
         [&](const QString& path) {
             QFile copy(path + ".new");
             ASSERT_TRUE(copy.open(QIODevice::WriteOnly));
             copy.write("[S]\nA=2\n");
             copy.close();
             ASSERT_EQ(::rename(QFile::encodeName(copy.fileName()).constData(), QFile::encodeName(path).constData()), 0);
         }},
    };
    // The same on a file system that stamps whole seconds, where a settled
    // file's times lie a second back (as root, on a loop-mounted image).
    WholeSecondFileSystem seconds(m_dir.filePath("seconds"));
    for (const QString& place : {m_dir.path(), seconds.path()}) {
        if (place.isEmpty()) {
            std::fprintf(stderr, "whole-second file system skipped: %s\n", seconds.why().c_str());
            continue;
        }
        const tarvesk::Folder folder = tarvesk::Folder::Open(place);
        const QString path = place + "/Tarvesk.ini";
        for (const auto& e : edits) {
            SCOPED_TRACE(place.toStdString() + ": " + e.what);
            QFile::remove(path);
            tarvesk::KeptFile file(folder, "Tarvesk.ini");
            ASSERT_TRUE(Store::WriteIni(file, "S", "A", "1"));
            if (e.settle) {
                std::this_thread::sleep_for(std::chrono::milliseconds(place == m_dir.path() ? 30 : 2100));
                ASSERT_EQ(Store::ReadIni(file, "S", "A", QString()), "1");  // kept from here on
            }
            e.edit(path);
            EXPECT_EQ(Store::ReadIni(file, "S", "A", QString()), "2");
            ASSERT_TRUE(Store::WriteIni(file, "S", "B", "3"));
            EXPECT_EQ(Contents(path), "[S]\nA=2\nB=3\n");
        }
    }
}

TEST_F(ProfileStore, KilledWriterNeverLeavesATornFile) {
    const QStringList keys{"PageCheckCount", "IISResetCount", "ComputerResetCount", "StartTime"};
    for (const QString& key : keys) ASSERT_TRUE(Write("Status", key, "init"));
    ASSERT_EQ(::chmod(QFile::encodeName(m_path).constData(), 0644), 0);
    const QString longValue(150, QLatin1Char('L'));
    const QRegularExpression valid("^(init|s\\d+|L{150}\\d+)$");

    std::mt19937 rng(std::random_device{}());
    QSet<QString> seen;
    for (int round = 0; round < 30; ++round) {
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            ::close(ready[0]);
            for (int i = 0; i < 200000; ++i) {
                const QString& key = keys[i % keys.size()];
                const QString value = (i / keys.size()) % 2 ? longValue + QString::number(i)
                                                            : "s" + QString::number(i);
                Store::WriteIni(m_path, "Status", key, value);
                // Every key has had a short and then a long value: tell the
                // parent that the writer is in full swing.
                if (i == 2 * keys.size() - 1) {
                    (void)!::write(ready[1], "x", 1);
                    ::close(ready[1]);
                }
            }
            ::_exit(0);
        }
        ::close(ready[1]);
        char byte = 0;
        const ssize_t got = ::read(ready[0], &byte, 1);
        ::close(ready[0]);
        std::this_thread::sleep_for(std::chrono::microseconds(rng() % 20000));
        ::kill(pid, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_EQ(got, 1) << "the writer died before it got going";

        const QByteArray data = Contents();
        ASSERT_TRUE(data.startsWith("[Status]\n")) << "round " << round;
        ASSERT_TRUE(data.endsWith("\n")) << "round " << round;
        ASSERT_EQ(data.count('\n'), 1 + keys.size()) << "round " << round;
        for (const QString& key : keys) {
            const QString value = Read("Status", key);
            seen.insert(value);
            EXPECT_TRUE(valid.match(value).hasMatch())
                << "round " << round << " key " << key.toStdString() << " = "
                << value.toStdString();
        }
        QStringList strays = FolderEntries();
        strays.removeAll("Tarvesk.ini");
        EXPECT_LE(strays.size(), 1) << strays.join(", ").toStdString();
        for (const QString& stray : strays) {
            EXPECT_TRUE(stray.startsWith(".Tarvesk.ini.tmp-")) << stray.toStdString();
            EXPECT_EQ(Mode(m_dir.filePath(stray)), 0600u) << stray.toStdString();
        }
        Store::RemoveLeftovers(m_path);
        EXPECT_EQ(FolderEntries(), QStringList{"Tarvesk.ini"});
    }
    // The writers did get going (each had written long values before the
    // kill); whether a kill also caught a short one is left to chance.
    bool sawLong = false;
    for (const QString& value : seen) sawLong = sawLong || value.startsWith('L');
    EXPECT_TRUE(sawLong) << "only " << seen.size() << " distinct values seen";
}

}  // namespace
