#include "platform/atomic_file.h"

#include <QFile>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
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

bool WriteAllAt(int fd, const QByteArray& data, off_t offset) {
    const char* p = data.constData();
    size_t size = static_cast<size_t>(data.size());
    while (size > 0) {
        const ssize_t n = RetryOnEintr([&] { return ::pwrite(fd, p, size, offset); });
        if (n <= 0) return false;
        p += n;
        size -= static_cast<size_t>(n);
        offset += n;
    }
    return true;
}

std::optional<QByteArray> ReadAll(int fd, qsizetype sizeHint) {
    QByteArray data;
    data.reserve(sizeHint);
    char buffer[65536];
    for (;;) {
        const ssize_t n = RetryOnEintr([&] { return ::read(fd, buffer, sizeof buffer); });
        if (n < 0) return std::nullopt;
        if (n == 0) return data;
        data.append(buffer, static_cast<qsizetype>(n));
    }
}

// Opens a regular file and nothing else, without ever waiting: O_NONBLOCK
// keeps the open of a FIFO or a device from blocking, and whatever is not a
// regular file is closed again at once. The descriptor is then made blocking,
// as ordinary file I/O expects.
int OpenRegular(const char* path, int flags, mode_t mode = 0, struct stat* st = nullptr) {
    const int fd = RetryOnEintr(
        [&] { return ::open(path, flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, mode); });
    if (fd < 0) return -1;
    struct stat own {};
    struct stat& info = st ? *st : own;
    const int fl = ::fcntl(fd, F_GETFL);
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || fl < 0 ||
        ::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// The write for a folder that refuses new files: the file's own bytes are
// replaced. Not atomic, so the old bytes are kept and put back when the new
// ones cannot be written whole.
bool RewriteInPlace(const std::string& target, const QByteArray& content) {
    struct stat st {};
    const int fd = OpenRegular(target.c_str(), O_RDWR, 0, &st);
    if (fd < 0) return false;
    const std::optional<QByteArray> old = ReadAll(fd, static_cast<qsizetype>(st.st_size));
    if (!old) {
        ::close(fd);
        return false;
    }
    const auto sync = [fd] { return RetryOnEintr([fd] { return ::fsync(fd); }) == 0; };
    bool ok = WriteAllAt(fd, content, 0);
    if (ok) ok = RetryOnEintr([&] { return ::ftruncate(fd, content.size()); }) == 0;
    if (ok) ok = sync();
    if (!ok) {
        // The old bytes fit where they were before.
        WriteAllAt(fd, *old, 0);
        RetryOnEintr([&] { return ::ftruncate(fd, old->size()); });
        sync();
    }
    if (::close(fd) != 0) ok = false;
    return ok;
}

std::string TemporaryPrefix(const std::string& target) {
    const std::string folder = DirName(target);
    return folder + "/." + BaseName(target) + ".tmp-";
}

constexpr char kTemporaryPattern[] = "XXXXXX";
constexpr size_t kTemporaryRandom = sizeof kTemporaryPattern - 1;

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
    // makes mkostemp fail and nothing is created. O_EXCL (implied) means the
    // temporary file is always a new regular file, never a FIFO or a link.
    const std::string folder = DirName(*target);
    std::string temp = TemporaryPrefix(*target) + kTemporaryPattern;
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        // A folder the program may not write into, holding a file it may.
        if (exists && (errno == EACCES || errno == EPERM)) return RewriteInPlace(*target, content);
        return false;
    }

    // 0600 whatever the umask, and until the rename whatever the old file's
    // mode: a temporary file left by a kill never shows the content to others.
    bool ok = ::fchmod(fd, 0600) == 0;
    if (ok) ok = WriteAll(fd, content.constData(), static_cast<size_t>(content.size()));
    if (ok && exists) ok = KeepOwner(fd, old, isRoot);
    if (ok) ok = RetryOnEintr([&] { return ::fsync(fd); }) == 0;
    if (ok) ok = ::rename(temp.c_str(), target->c_str()) == 0;
    if (!ok) {
        ::close(fd);
        ::unlink(temp.c_str());
        return false;
    }
    // The new content is in place; neither the old mode nor a failed folder
    // sync can undo that, so they do not change the result.
    if (exists && (old.st_mode & 07777) != 0600) (void)::fchmod(fd, old.st_mode & 07777);
    ::close(fd);
    SyncFolder(folder);
    return true;
}

void RemoveLeftoverTemporaries(const QString& path) {
    if (path.isEmpty()) return;
    const QByteArray encoded = QFile::encodeName(path);
    if (encoded.contains('\0')) return;
    const std::string target = ResolveTarget(encoded.toStdString()).value_or(encoded.toStdString());
    const std::string prefix = "." + BaseName(target) + ".tmp-";

    const int dirFd = RetryOnEintr([&] {
        return ::open(DirName(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    });
    if (dirFd < 0) return;
    DIR* dir = ::fdopendir(dirFd);
    if (!dir) {
        ::close(dirFd);
        return;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.size() != prefix.size() + kTemporaryRandom || name.compare(0, prefix.size(), prefix) != 0)
            continue;
        bool random = true;
        for (size_t i = prefix.size(); i < name.size(); ++i) {
            const char c = name[i];
            random = random && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'));
        }
        struct stat st {};
        if (!random || ::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(st.st_mode))
            continue;
        ::unlinkat(dirFd, name.c_str(), 0);
    }
    ::closedir(dir);
}

std::optional<QByteArray> ReadWholeFile(const QString& path) {
    if (path.isEmpty()) return std::nullopt;
    const QByteArray encoded = QFile::encodeName(path);
    if (encoded.contains('\0')) return std::nullopt;

    struct stat st {};
    const int fd = OpenRegular(encoded.constData(), O_RDONLY, 0, &st);
    if (fd < 0) return std::nullopt;
    std::optional<QByteArray> data = ReadAll(fd, static_cast<qsizetype>(st.st_size));
    ::close(fd);
    return data;
}

bool AppendRecord(const QString& path, const QByteArray& record) {
    if (path.isEmpty()) return false;
    const QByteArray encoded = QFile::encodeName(path);
    if (encoded.contains('\0')) return false;

    const int fd = OpenRegular(encoded.constData(), O_WRONLY | O_APPEND | O_CREAT, 0666);
    if (fd < 0) return false;
    const size_t size = static_cast<size_t>(record.size());
    const ssize_t n = RetryOnEintr([&] { return ::write(fd, record.constData(), size); });
    if (n > 0 && static_cast<size_t>(n) < size) {
        // Cut back what this write added, measured from the end it reached, so
        // that the next record starts on a line of its own.
        struct stat st {};
        if (::fstat(fd, &st) == 0 && st.st_size >= n)
            RetryOnEintr([&] { return ::ftruncate(fd, st.st_size - n); });
    }
    ::close(fd);
    return n >= 0 && static_cast<size_t>(n) == size;
}

void IgnoreFileSizeSignal() {
    ::signal(SIGXFSZ, SIG_IGN);
}

bool IsMissing(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) != 0 && errno == ENOENT;
}

}  // namespace tarvesk
