#include "platform/strict_modes.h"

#include <QFile>

#include <fcntl.h>
#include <linux/magic.h>
#include <string>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include "platform/folder.h"

namespace tarvesk {
namespace {

// Folders above one another, at most: deeper than that the walk up is not
// finished, and an unfinished walk is no verdict.
constexpr int kMaxDepth = 256;

// Where a folder descriptor is now, for the message that names it.
QString PathOf(int fd) {
    std::string path(4096, '\0');
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t n = ::readlink(link.c_str(), path.data(), path.size() - 1);
    return n > 0 ? QFile::decodeName(QByteArray(path.data(), static_cast<qsizetype>(n))) : QStringLiteral("?");
}

Trust Failed(Trust::Cause cause, const QString& folder = QString()) { return Trust{cause, folder}; }

}  // namespace

bool OnlyRootCanWrite(const struct stat& st) { return st.st_uid == 0 && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0; }

bool OnPseudoFileSystem(int fd) {
    struct statfs fs {};
    if (::fstatfs(fd, &fs) != 0) return true;  // cannot be told: not safe
    switch (fs.f_type) {
        case PROC_SUPER_MAGIC:
        case SYSFS_MAGIC:
        case DEBUGFS_MAGIC:
        case TRACEFS_MAGIC:
        case SECURITYFS_MAGIC:
        case CGROUP_SUPER_MAGIC:
        case CGROUP2_SUPER_MAGIC:
        case BPF_FS_MAGIC:
        case EFIVARFS_MAGIC:
        case DEVPTS_SUPER_MAGIC:
            return true;
        default:
            return false;
    }
}

bool IsRoot() { return ::geteuid() == 0; }

Trust JudgeFolder(const Folder& folder) {
    if (!IsRoot()) return {};
    // Every way out that does not reach / through folders of root's alone is
    // a refusal: a folder that could not be opened may be anybody's.
    if (!folder.isOpen()) return Failed(Trust::Cause::Unfollowable, folder.path());
    struct stat top {};
    if (::stat("/", &top) != 0) return Failed(Trust::Cause::Unfollowable, QStringLiteral("/"));
    int fd = ::openat(folder.fd(), ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return Failed(Trust::Cause::Unfollowable, folder.path());
    const auto same = [](const struct stat& a, const struct stat& b) {
        return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
    };
    // Every way out closes the folder in hand.
    const auto verdict = [&fd](const Trust& trust) {
        ::close(fd);
        return trust;
    };
    for (int depth = 0;; ++depth) {
        // Deeper than any real tree: not walked to the end, so not judged.
        if (depth == kMaxDepth) return verdict(Failed(Trust::Cause::Unfollowable, PathOf(fd)));
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !OnlyRootCanWrite(st)) {
            return verdict(depth == 0 ? Failed(Trust::Cause::IniOrFolder)
                                      : Failed(Trust::Cause::FolderAbove, PathOf(fd)));
        }
        if (same(st, top)) return verdict({});
        const int up = ::openat(fd, "..", O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (up < 0) return verdict(Failed(Trust::Cause::Unfollowable, PathOf(fd)));
        struct stat above {};
        // The top of a chroot is its own "..".
        const bool chrootTop = ::fstat(up, &above) == 0 && same(above, st);
        ::close(fd);
        fd = up;
        if (chrootTop) return verdict({});
    }
}

bool ReadableByOthers(const Folder& folder, const QByteArray& name) {
    struct stat st {};
    return folder.isOpen() && ::fstatat(folder.fd(), name.constData(), &st, 0) == 0 &&
           (st.st_mode & (S_IRGRP | S_IROTH)) != 0;
}

}  // namespace tarvesk
