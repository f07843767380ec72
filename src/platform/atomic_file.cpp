#include "platform/atomic_file.h"

#include <QFile>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvesk {
namespace {

// Keeps errno-driven POSIX calls from giving up on a signal.
template <typename F>
auto RetryOnEintr(F call) -> decltype(call()) {
    decltype(call()) result;
    do {
        result = call();
    } while (result == -1 && errno == EINTR);
    return result;
}

std::string DirName(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The path whose content a write must replace: the final target of a chain of
// symbolic links, or the path itself. realpath() cannot resolve a dangling link
// (the target does not exist yet), so such chains are followed by hand.
std::optional<std::string> ResolveTarget(const std::string& path) {
    std::string current = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(current.c_str(), &st) != 0) {
            if (errno == ENOENT) return current;  // a new file
            return std::nullopt;
        }
        if (!S_ISLNK(st.st_mode)) return current;

        if (char* real = ::realpath(current.c_str(), nullptr)) {
            std::string resolved(real);
            std::free(real);
            return resolved;
        }
        std::string link(PATH_MAX, '\0');
        const ssize_t n = ::readlink(current.c_str(), link.data(), link.size());
        if (n <= 0 || static_cast<size_t>(n) >= link.size()) return std::nullopt;
        link.resize(static_cast<size_t>(n));
        current = link.front() == '/' ? link : DirName(current) + "/" + link;
    }
    return std::nullopt;  // a loop of links
}

bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = RetryOnEintr([&] { return ::write(fd, data, size); });
        if (n <= 0) return false;  // ENOSPC, EFBIG (SIGXFSZ ignored), EIO, ...
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// Gives the new file the owner and group of the old one. Root must manage it
// (otherwise a root-run program would take the file away from its owner);
// anyone else can at most keep a group they belong to, and tries that alone.
bool KeepOwner(int fd, const struct stat& old, bool isRoot) {
    struct stat now {};
    if (::fstat(fd, &now) != 0) return false;
    if (now.st_uid == old.st_uid && now.st_gid == old.st_gid) return true;
    if (isRoot) return ::fchown(fd, old.st_uid, old.st_gid) == 0;
    if (now.st_gid != old.st_gid) (void)::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
    return true;
}

void SyncFolder(const std::string& folder) {
    const int fd = RetryOnEintr(
        [&] { return ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

}  // namespace

bool WriteFileAtomically(const QString& path, const QByteArray& content) {
    if (path.isEmpty()) return false;
    const QByteArray encoded = QFile::encodeName(path);
    if (encoded.contains('\0')) return false;

    const std::optional<std::string> target = ResolveTarget(encoded.toStdString());
    if (!target) return false;

    const bool isRoot = ::geteuid() == 0;
    struct stat old {};
    bool exists = false;
    if (::stat(target->c_str(), &old) == 0) {
        exists = true;
        if (!S_ISREG(old.st_mode)) return false;
        // The owner's write bit is the read-only flag of the file, honoured even
        // by root, who would otherwise replace anything.
        if ((old.st_mode & S_IWUSR) == 0) return false;
        if (!isRoot && ::faccessat(AT_FDCWD, target->c_str(), W_OK, AT_EACCESS) != 0)
            return false;
    } else if (errno != ENOENT) {
        return false;
    }

    // Same folder as the target, so that rename() is atomic. A missing folder
    // makes mkostemp fail and nothing is created.
    const std::string folder = DirName(*target);
    std::string temp = folder + "/." + BaseName(*target) + ".tmp-XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return false;

    bool ok = WriteAll(fd, content.constData(), static_cast<size_t>(content.size()));
    if (ok && exists) ok = KeepOwner(fd, old, isRoot);
    if (ok) ok = ::fchmod(fd, exists ? (old.st_mode & 07777) : 0600) == 0;
    if (ok) ok = RetryOnEintr([&] { return ::fsync(fd); }) == 0;
    if (::close(fd) != 0) ok = false;
    if (ok) ok = ::rename(temp.c_str(), target->c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
    // The new content is in place; a failed folder sync cannot undo that, so
    // it does not change the result.
    SyncFolder(folder);
    return true;
}

std::optional<QByteArray> ReadWholeFile(const QString& path) {
    if (path.isEmpty()) return std::nullopt;
    const QByteArray encoded = QFile::encodeName(path);
    if (encoded.contains('\0')) return std::nullopt;

    const int fd = RetryOnEintr([&] { return ::open(encoded.constData(), O_RDONLY | O_CLOEXEC); });
    if (fd < 0) return std::nullopt;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }

    QByteArray data;
    data.reserve(static_cast<qsizetype>(st.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = RetryOnEintr([&] { return ::read(fd, buffer, sizeof buffer); });
        if (n < 0) {
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0) break;
        data.append(buffer, static_cast<qsizetype>(n));
    }
    ::close(fd);
    return data;
}

bool IsMissing(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) != 0 && errno == ENOENT;
}

}  // namespace tarvesk
