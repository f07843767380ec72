#include "platform/strict_modes.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/folder.h"

namespace tarvesk {
namespace {

bool IsRoot() { return ::geteuid() == 0; }

bool OnlyRootCanWrite(const struct stat& st) {
    return st.st_uid == 0 && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// Where a folder descriptor is now, for the message that names it.
QString PathOf(int fd) {
    std::string path(4096, '\0');
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t n = ::readlink(link.c_str(), path.data(), path.size() - 1);
    return n > 0 ? QFile::decodeName(QByteArray(path.data(), static_cast<qsizetype>(n))) : QStringLiteral("?");
}

Trust Failed(Trust::Cause cause, const QString& folder = QString()) { return Trust{cause, folder}; }

// The verdict on a file found (`st`, or nothing when there is none) at the
// end of `target`.
Trust JudgeFound(const struct stat* st, const Folder& start, const FileTarget& target) {
    Trust trust = JudgeFolder(start);
    if (target.viaLink) trust.add(JudgeFolder(target.other));
    if (st && !OnlyRootCanWrite(*st)) trust.add(Failed(Trust::Cause::IniOrFolder));
    return trust;
}

}  // namespace

Trust JudgeFolder(const Folder& folder) {
    // A folder that could not be opened held nothing to read: what the
    // program has in memory is its own.
    if (!IsRoot() || !folder.isOpen()) return {};
    struct stat top {};
    if (::stat("/", &top) != 0) return Failed(Trust::Cause::IniOrFolder);
    int fd = ::openat(folder.fd(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    Trust trust;
    for (int depth = 0; fd >= 0 && depth < 256; ++depth) {
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !OnlyRootCanWrite(st)) {
            trust = depth == 0 ? Failed(Trust::Cause::IniOrFolder) : Failed(Trust::Cause::FolderAbove, PathOf(fd));
            break;
        }
        if (st.st_dev == top.st_dev && st.st_ino == top.st_ino) break;
        const int up = ::openat(fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
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

Trust JudgeReadFile(int fd, const Folder& start, const FileTarget& target) {
    if (!IsRoot()) return {};
    struct stat st {};
    if (fd >= 0 && ::fstat(fd, &st) != 0) return Failed(Trust::Cause::IniOrFolder);
    return JudgeFound(fd >= 0 ? &st : nullptr, start, target);
}

Trust JudgeFile(const Folder& folder, const QByteArray& name) {
    if (!IsRoot() || !folder.isOpen()) return {};
    FileTarget target;
    if (!ResolveTarget(folder, name, &target)) return Failed(Trust::Cause::IniOrFolder);
    struct stat st {};
    if (::fstatat(target.folder(folder).fd(), target.name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno != ENOENT) return Failed(Trust::Cause::IniOrFolder);
        return JudgeFound(nullptr, folder, target);
    }
    return JudgeFound(&st, folder, target);
}

bool ReadableByOthers(const Folder& folder, const QByteArray& name) {
    struct stat st {};
    return folder.isOpen() && ::fstatat(folder.fd(), name.constData(), &st, 0) == 0 &&
           (st.st_mode & (S_IRGRP | S_IROTH)) != 0;
}

}  // namespace tarvesk
