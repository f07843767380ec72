// Root's walk to a file or a program, one rule a row: each row lays out its
// own case, so that removing the rule it names turns its verdict into a pass
// or into another cause.
#include "platform/path_walk.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <functional>
#include <sys/mount.h>
#include <unistd.h>

#include "platform/atomic_file.h"
#include "platform/folder.h"
#include "support/file_layout.h"

namespace tarvesk {
namespace {

using Cause = Trust::Cause;

// A settings file of root's in `base`/ok, and a link of `owner`'s to `to`
// as Tarvesk.ini in `base`/tv, the two folders with those modes: the verdict.
Trust Linked(const QString& base, const QString& to, uid_t owner = 0, mode_t tv = 0755, mode_t ok = 0755) {
    MakeFolder(base, "ok", 0, ok);
    WriteRaw(base + "/ok/t.ini", "[Status]\n");
    Own(base + "/ok/t.ini", 0, 0600);
    Link(to, MakeFolder(base, "tv", 0, tv) + "/Tarvesk.ini", owner);
    return JudgeFile(Folder::Open(base + "/tv"), "Tarvesk.ini");
}

// A program of root's, 0755, at `path`.
QString Program(const QString& path, mode_t mode = 0755) {
    WriteRaw(path, "#!/bin/sh\n");
    Own(path, 0, mode);
    return path;
}

// Judges `program` from the working folder `folder`, and goes back.
Trust JudgedFrom(const QString& folder, const QByteArray& program) {
    const QString before = QDir::currentPath();
    EXPECT_TRUE(QDir::setCurrent(folder));
    const Trust trust = JudgeProgram(program);
    QDir::setCurrent(before);
    return trust;
}

struct Row {
    const char* rule;
    // Lays the case out in `base` and gives the verdict on it.
    std::function<Trust(const QString& base)> verdict;
    Cause cause;
    const char* where;  // the culprit, under `base` (or absolute with a leading "/"), "" for none
};

TEST(PathWalk, EveryRuleOfRootsWalkRefusesOnItsOwn) {
    if (::geteuid() != 0) GTEST_SKIP() << "the walk judges only as root";
    const Row rows[] = {
        {"once a link is followed, the folder it lies in counts",
         [](const QString& b) { return Linked(b, b + "/ok/t.ini", 0, 0777); }, Cause::IniOrFolder, ""},
        {"every folder entered is root's alone",
         [](const QString& b) { return Linked(b, b + "/ok/t.ini", 0, 0755, 0775); }, Cause::OnTheWay, "ok"},
        {"every link is root's", [](const QString& b) { return Linked(b, b + "/ok/t.ini", kOtherUser); },
         Cause::OnTheWay, "tv/Tarvesk.ini"},
        {"no folder entered lies on a pseudo file system",
         [](const QString& b) { return Linked(b, "/proc/self/environ"); }, Cause::Pseudo, "/proc"},
        {"a link where nothing is makes no file", [](const QString& b) { return Linked(b, b + "/ok/none.ini"); },
         Cause::Dangling, "ok/none.ini"},
        {"only the last component may be missing", [](const QString& b) { return Linked(b, b + "/gone/t.ini"); },
         Cause::Unfollowable, "gone"},
        {"a loop of links cannot be followed",
         [](const QString& b) {
             Link(b + "/tv/Tarvesk.ini", b + "/loop", 0);
             return Linked(b, b + "/loop");
         },
         Cause::Unfollowable, ""},
        {"a folder that cannot be opened is no verdict",
         [](const QString& b) { return JudgeFile(Folder::Open(b + "/never-made"), "Tarvesk.ini"); },
         Cause::Unfollowable, "never-made"},
        {"a walk up to / that does not end within its bound is no verdict",
         [](const QString& base) {
             QString deep = base;
             for (int i = 0; i < 300; ++i) deep += "/d";
             QDir().mkpath(deep);
             return JudgeFolder(Folder::Open(deep));
         },
         Cause::Unfollowable, "d/d"},
        {"a relative program counts with the working folder",
         [](const QString& base) {
             const QString work = MakeFolder(base, "work", 0, 0777);
             Program(work + "/tool");
             return JudgedFrom(work, "./tool");
         },
         Cause::OnTheWay, "work"},
        {"a program is a regular file",
         [](const QString& base) { return JudgeProgram(QFile::encodeName(MakeFolder(base, "tool"))); },
         Cause::Missing, "tool"},
        {"a program that is not there is not judged as one",
         [](const QString& base) { return JudgeProgram(QFile::encodeName(base + "/absent")); }, Cause::Missing,
         "absent"},
        {"a program is root's alone",
         [](const QString& base) { return JudgeProgram(QFile::encodeName(Program(base + "/tool", 0775))); },
         Cause::OnTheWay, "tool"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.rule);
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const Trust trust = row.verdict(dir.path());
        EXPECT_EQ(trust.cause, row.cause);
        const QString where = QString::fromUtf8(row.where);
        if (where.startsWith('/')) {
            EXPECT_TRUE(trust.folder.startsWith(where)) << trust.folder.toStdString();
        } else if (!where.isEmpty()) {
            EXPECT_TRUE(trust.folder.startsWith(dir.path() + "/" + where)) << trust.folder.toStdString();
        }
    }
}

// Reads that a link led onto a pseudo file system are never taken, even where
// the folder is an ordinary one (a file bind-mounted there); nor does the
// clean-up of a killed write reach through another user's link.
TEST(PathWalk, ReadsAndCleanUpThroughALinkStopWhereTheWalkDoes) {
    if (::geteuid() != 0) GTEST_SKIP() << "the walk judges only as root";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString mounted = dir.path() + "/status";
    WriteRaw(mounted, "");
    Linked(dir.path(), mounted);
    const QString tv = dir.path() + "/tv";
    if (::mount("/proc/self/status", QFile::encodeName(mounted).constData(), nullptr, MS_BIND, nullptr) == 0) {
        Trust trust;
        EXPECT_FALSE(ReadWholeFile(Folder::Open(tv), "Tarvesk.ini", &trust));
        EXPECT_EQ(trust.cause, Cause::Pseudo);
        ::umount2(QFile::encodeName(mounted).constData(), MNT_DETACH);
    } else {
        ADD_FAILURE() << "cannot bind-mount a /proc file as root";
    }

    const QString att = MakeFolder(dir.path(), "att", kOtherUser);
    WriteRaw(att + "/.t.ini.tmp-abcdef", "");
    QFile::remove(tv + "/Tarvesk.ini");
    Link(att + "/t.ini", tv + "/Tarvesk.ini", kOtherUser);
    RemoveLeftoverTemporaries(Folder::Open(tv), "Tarvesk.ini");
    EXPECT_TRUE(QFile::exists(att + "/.t.ini.tmp-abcdef"));
}

}  // namespace
}  // namespace tarvesk
