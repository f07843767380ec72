#include "platform/atomic_file.h"

#include <QFile>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/folder.h"
#include "platform/path_walk.h"
#include "platform/retry_on_eintr.h"
#include "platform/standard_error_prompt.h"
#include "platform/strict_modes.h"

namespace tarvesk {
namespace {

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

// Opens a regular file of `folder` and nothing else, without ever waiting.
// Whatever is known not to be a regular file is not opened at all: even a
// moment's open of a FIFO for reading lets a writer waiting on it through.
// For what changes in between, O_NONBLOCK keeps the open of a FIFO or a
// device from blocking, and whatever is not a regular file is closed again at
// once. The descriptor is then made blocking, as ordinary file I/O expects.
int OpenRegular(const Folder& folder, const QByteArray& name, int flags, mode_t mode = 0,
                struct stat* st = nullptr) {
    struct stat before {};
    if (::fstatat(folder.fd(), name.constData(), &before, (flags & O_NOFOLLOW) ? AT_SYMLINK_NOFOLLOW : 0) == 0 &&
        !S_ISREG(before.st_mode)) {
        errno = EINVAL;
        return -1;
    }
    const int fd = RetryOnEintr([&] {
        return ::openat(folder.fd(), name.constData(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, mode);
    });
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
bool RewriteInPlace(const Folder& folder, const QByteArray& name, const QByteArray& content) {
    struct stat st {};
    const int fd = OpenRegular(folder, name, O_RDWR | O_NOFOLLOW, 0, &st);
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

QByteArray TemporaryPrefix(const QByteArray& name) { return "." + name + ".tmp-"; }

constexpr int kTemporaryRandom = 6;

bool IsTemporaryRandom(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

// A new file of exactly the temporary naming, never one that was there
// before (O_EXCL: no FIFO, no link); `temp` gets its name.
int CreateTemporary(const Folder& folder, const QByteArray& name, QByteArray* temp) {
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        *temp = TemporaryPrefix(name);
        for (int i = 0; i < kTemporaryRandom; ++i)
            temp->append(kLetters[QRandomGenerator::system()->bounded(int(sizeof kLetters - 1))]);
        const int fd = RetryOnEintr([&] {
            return ::openat(folder.fd(), temp->constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                            0600);
        });
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

// True when the folder is root's, as the program folder of the service is.
// Root's rewrite of another user's file there is root's: what root wrote
// into its own folder must not stay open to the user who owned the old file.
bool RootsFolder(const Folder& folder) {
    struct stat st {};
    return ::fstat(folder.fd(), &st) == 0 && st.st_uid == 0;
}

// Gives the new file the owner and group of the old one, or root's where
// root takes the file over. Root must manage it (otherwise a root-run program
// would take the file away from its owner); anyone else can at most keep a
// group they belong to, and tries that alone.
bool KeepOwner(int fd, const struct stat& old, bool isRoot, bool takeOver) {
    struct stat now {};
    if (::fstat(fd, &now) != 0) return false;
    if (takeOver) return ::fchown(fd, 0, 0) == 0;
    if (now.st_uid == old.st_uid && now.st_gid == old.st_gid) return true;
    if (isRoot) return ::fchown(fd, old.st_uid, old.st_gid) == 0;
    if (now.st_gid != old.st_gid) {
        // Best effort: a group the user is not in cannot be kept.
        [[maybe_unused]] const int kept = ::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
    }
    return true;
}

// Puts a new file of root's, mode 0600, with the bytes `old` held when it was
// opened (`st`), in place of `name`; a descriptor to its end, for appending.
// Whoever held the old file open keeps only the old file. -1 when that
// cannot be done whole; the old file then stays.
int RecreateAsRoots(const Folder& folder, const QByteArray& name, int old, const struct stat& st) {
    QByteArray temp;
    const int fd = CreateTemporary(folder, name, &temp);
    if (fd < 0) return -1;
    bool ok = ::fchown(fd, 0, 0) == 0 && ::fchmod(fd, 0600) == 0;
    // Only the length seen at the open: a writer who keeps adding cannot
    // keep the copy going.
    char buffer[65536];
    for (off_t at = 0; ok && at < st.st_size;) {
        const size_t want = static_cast<size_t>(std::min<off_t>(st.st_size - at, off_t(sizeof buffer)));
        const ssize_t n = RetryOnEintr([&] { return ::pread(old, buffer, want, at); });
        if (n == 0) break;  // cut short meanwhile
        ok = n > 0 && WriteAll(fd, buffer, static_cast<size_t>(n));
        at += n;
    }
    ok = ok && RetryOnEintr([&] { return ::fsync(fd); }) == 0 &&
         ::renameat(folder.fd(), temp.constData(), folder.fd(), name.constData()) == 0;
    if (!ok) {
        ::close(fd);
        ::unlinkat(folder.fd(), temp.constData(), 0);
        return -1;
    }
    ::fsync(folder.fd());
    return fd;
}

// Calls `use` with the folder and name that `path` names, opened for the call.
template <typename R, typename F>
R AtPath(const QString& path, R failed, F use) {
    if (path.isEmpty()) return failed;
    QByteArray name;
    const Folder folder = Folder::OpenParentOf(path, &name);
    if (!folder.isOpen() || !IsPlainName(name)) return failed;
    return use(folder, name);
}

}  // namespace

bool WriteFileAtomically(const Folder& start, const QByteArray& startName, const QByteArray& content,
                         struct stat* written, struct timespec* renamed) {
    if (written) written->st_nlink = 0;
    FileTarget target;
    if (!ResolveTarget(start, startName, &target)) return false;
    const bool isRoot = IsRoot();
    const Folder& folder = target.folder(start);
    const QByteArray& name = target.name;

    struct stat old {};
    bool exists = false;
    if (::fstatat(folder.fd(), name.constData(), &old, AT_SYMLINK_NOFOLLOW) == 0) {
        exists = true;
        if (!S_ISREG(old.st_mode)) return false;
        // The owner's write bit is the read-only flag of the file, honoured even
        // by root, who would otherwise replace anything.
        if ((old.st_mode & S_IWUSR) == 0) return false;
        if (!isRoot && ::faccessat(folder.fd(), name.constData(), W_OK, AT_EACCESS) != 0)
            return false;
    } else if (errno != ENOENT) {
        return false;
    }
    // Root follows a link only where nobody else could have laid it, changed
    // what it leads to or chosen a place for a new file.
    if (isRoot && target.viaLink && !JudgeTarget(start, target, exists ? &old : nullptr).trusted()) return false;

    // Same folder as the target, so that the rename is atomic.
    QByteArray temp;
    const int fd = CreateTemporary(folder, name, &temp);
    if (fd < 0) {
        // A folder the program may not write into, holding a file it may.
        if (exists && (errno == EACCES || errno == EPERM)) return RewriteInPlace(folder, name, content);
        return false;
    }

    // 0600 whatever the umask, and until the rename whatever the old file's
    // mode: a temporary file left by a kill never shows the content to others.
    bool ok = ::fchmod(fd, 0600) == 0;
    if (ok) ok = WriteAll(fd, content.constData(), static_cast<size_t>(content.size()));
    const bool takeOver = exists && isRoot && old.st_uid != 0 && RootsFolder(folder);
    if (ok && exists) ok = KeepOwner(fd, old, isRoot, takeOver);
    if (ok) ok = RetryOnEintr([&] { return ::fsync(fd); }) == 0;
    // The status from before anybody else can reach the file: whatever is
    // changed after this (our own mode included) shows at the next look.
    if (ok && written && !target.viaLink && ::fstat(fd, written) != 0) written->st_nlink = 0;
    if (ok && renamed) ::clock_gettime(CLOCK_REALTIME_COARSE, renamed);
    if (ok) ok = ::renameat(folder.fd(), temp.constData(), folder.fd(), name.constData()) == 0;
    if (!ok) {
        ::close(fd);
        ::unlinkat(folder.fd(), temp.constData(), 0);
        return false;
    }
    // The new content is in place; neither the old mode nor a failed folder
    // sync can undo that, so they do not change the result.
    if (exists && (old.st_mode & 07777) != 0600) (void)::fchmod(fd, old.st_mode & 07777);
    ::close(fd);
    ::fsync(folder.fd());
    if (takeOver) {
        // What root wrote back came from that user's file: a marker beside
        // it keeps root from trusting that user's words in it until the
        // operator has read them and removed the marker.
        const QByteArray marker = TakenOverMarker(name);
        const int mark = ::openat(folder.fd(), marker.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (mark >= 0) {
            const QByteArray from = "taken over from uid " + QByteArray::number(old.st_uid) + '\n';
            [[maybe_unused]] const ssize_t n = ::write(mark, from.constData(), static_cast<size_t>(from.size()));
            ::close(mark);
        }
        StandardErrorPrompt::Say(QStringLiteral("%1/%2 belonged to uid %3; root's rewrite made it root's. Root runs "
                                                "none of the commands in it until you have read them and removed "
                                                "%1/%4.")
                                     .arg(folder.path(), QFile::decodeName(name), QString::number(old.st_uid),
                                          QFile::decodeName(marker)),
                                 false);
    }
    return true;
}

bool WriteFileAtomically(const QString& path, const QByteArray& content) {
    return AtPath(path, false, [&](const Folder& folder, const QByteArray& name) {
        return WriteFileAtomically(folder, name, content);
    });
}

void RemoveLeftoverTemporaries(const Folder& start, const QByteArray& startName) {
    FileTarget target;
    if (!ResolveTarget(start, startName, &target)) return;
    // Root removes nothing in a folder that a link of somebody else's names.
    if (IsRoot() && target.viaLink && !target.trust.trusted()) return;
    const Folder& folder = target.folder(start);
    const QByteArray prefix = TemporaryPrefix(target.name);

    const int dirFd = RetryOnEintr([&] { return ::openat(folder.fd(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
    if (dirFd < 0) return;
    DIR* dir = ::fdopendir(dirFd);
    if (!dir) {
        ::close(dirFd);
        return;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name.size() != prefix.size() + kTemporaryRandom || !name.startsWith(prefix)) continue;
        bool random = true;
        for (qsizetype i = prefix.size(); i < name.size(); ++i) random = random && IsTemporaryRandom(name[i]);
        struct stat st {};
        if (!random || ::fstatat(dirFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
            continue;
        ::unlinkat(dirFd, name.constData(), 0);
    }
    ::closedir(dir);
}

void RemoveLeftoverTemporaries(const QString& path) {
    AtPath(path, 0, [](const Folder& folder, const QByteArray& name) {
        RemoveLeftoverTemporaries(folder, name);
        return 0;
    });
}

std::optional<QByteArray> ReadWholeFile(const Folder& start, const QByteArray& startName, Trust* trust,
                                        struct stat* read) {
    if (read) read->st_nlink = 0;
    FileTarget target;
    if (!ResolveTarget(start, startName, &target)) {
        // As root the walk says where it stopped: a refusal, never a pass.
        if (trust) trust->add(target.trust);
        return std::nullopt;
    }
    struct stat st {};
    const int fd = OpenRegular(target.folder(start), target.name, O_RDONLY | O_NOFOLLOW, 0, &st);
    // Judged on the very file read, so that what is in memory and the
    // verdict on it can never come from two different files.
    if (trust) trust->add(JudgeTarget(start, target, fd >= 0 ? &st : nullptr));
    // Only a link leads out of the program's own folder onto /proc or /sys;
    // what is found there is never taken as settings.
    if (fd >= 0 && target.viaLink && IsRoot() && OnPseudoFileSystem(fd)) {
        if (trust) trust->add({Trust::Cause::Pseudo, target.folder(start).path()});
        ::close(fd);
        return std::nullopt;
    }
    if (fd < 0) return std::nullopt;
    std::optional<QByteArray> data = ReadAll(fd, static_cast<qsizetype>(st.st_size));
    // The status from before the read: a change made during it shows as a
    // change at the next look.
    if (read && !target.viaLink) *read = st;
    ::close(fd);
    return data;
}

std::optional<QByteArray> ReadWholeFile(const QString& path) {
    return AtPath(path, std::optional<QByteArray>(),
                  [](const Folder& folder, const QByteArray& name) { return ReadWholeFile(folder, name); });
}

bool AppendRecord(const Folder& folder, const QByteArray& name, const QByteArray& record, uid_t* takenFrom) {
    if (takenFrom) *takenFrom = 0;
    if (!folder.isOpen() || !IsPlainName(name)) return false;
    const bool isRoot = IsRoot();
    struct stat st {};
    // Root opens for reading too, to copy a file it takes over.
    int fd = OpenRegular(folder, name, (isRoot ? O_RDWR | O_NOFOLLOW : O_WRONLY) | O_APPEND | O_CREAT,
                         isRoot ? 0600 : 0666, &st);
    if (fd < 0) return false;
    if (isRoot && st.st_nlink > 1) {
        // A hard link is another name of a file elsewhere.
        ::close(fd);
        return false;
    }
    if (isRoot && st.st_uid != 0 && RootsFolder(folder)) {
        const int own = RecreateAsRoots(folder, name, fd, st);
        ::close(fd);
        if (own < 0) return false;
        fd = own;
        if (takenFrom) *takenFrom = st.st_uid;
    }
    const size_t size = static_cast<size_t>(record.size());
    const ssize_t n = RetryOnEintr([&] { return ::write(fd, record.constData(), size); });
    if (n > 0 && static_cast<size_t>(n) < size) {
        // Cut back what this write added, measured from the end it reached, so
        // that the next record starts on a line of its own.
        struct stat now {};
        if (::fstat(fd, &now) == 0 && now.st_size >= n)
            RetryOnEintr([&] { return ::ftruncate(fd, now.st_size - n); });
    }
    ::close(fd);
    return n >= 0 && static_cast<size_t>(n) == size;
}

bool AppendRecord(const QString& path, const QByteArray& record) {
    return AtPath(path, false,
                  [&](const Folder& folder, const QByteArray& name) { return AppendRecord(folder, name, record); });
}

void IgnoreFileSizeSignal() { ::signal(SIGXFSZ, SIG_IGN); }

bool IsMissing(const Folder& start, const QByteArray& startName) {
    FileTarget target;
    return ResolveTarget(start, startName, &target) && !target.exists;
}

bool IsMissing(const QString& path) {
    return AtPath(path, false, [](const Folder& folder, const QByteArray& name) { return IsMissing(folder, name); });
}

}  // namespace tarvesk
