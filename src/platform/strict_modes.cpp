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

bool IsRoot() { return ::geteuid() == 0; }

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

Trust JudgeFolder(const Folder& folder) {
    // A folder that could not be opened held nothing to read: what the
    // program has in memory is its own.
    if (!IsRoot() || !folder.isOpen()) return {};
    struct stat top {};
    if (::stat("/", &top) != 0) return Failed(Trust::Cause::IniOrFolder);
    int fd = ::openat(folder.fd(), ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    Trust trust;
    for (int depth = 0; fd >= 0 && depth < 256; ++depth) {
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !OnlyRootCanWrite(st)) {
            trust = depth == 0 ? Failed(Trust::Cause::IniOrFolder) : Failed(Trust::Cause::FolderAbove, PathOf(fd));
            break;
        }
        if (st.st_dev == top.st_dev && st.st_ino == top.st_ino) break;
        const int up = ::openat(fd, "..", O_PATH | O_DIRECTORY | O_CLOEXEC);
        struct stat above {};
        // The top of a chroot is its own "..".
        if (up >= 0 && ::fstat(up, &above) == 0 && above.st_dev == st.st_dev && above.st_ino == st.st_ino) {
            ::close(up);
            break;
        }
        ::close(fd);
        fd = up;
        if (fd < 0) trust = Failed(Trust::Cause::FolderAbove, folder.path());  // cannot be walked: not safe
    }
    if (fd >= 0) ::close(fd);
    return trust;
}

bool ReadableByOthers(const Folder& folder, const QByteArray& name) {
    struct stat st {};
    return folder.isOpen() && ::fstatat(folder.fd(), name.constData(), &st, 0) == 0 &&
           (st.st_mode & (S_IRGRP | S_IROTH)) != 0;
}

}  // namespace tarvesk
