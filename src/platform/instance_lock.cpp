#include "platform/instance_lock.h"

#include <QFile>
#include <QList>

#include <cerrno>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "platform/folder.h"
#include "platform/retry_on_eintr.h"
#include "platform/strict_modes.h"

namespace tarvesk {
namespace {

int OpenAt(int folder, const char* name, int flags, mode_t mode = 0) {
    return RetryOnEintr(
        [&] { return ::openat(folder, name, flags | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, mode); });
}

// The lock file, or -1 with errno. A file that exists but cannot be written
// (a read-only mount) is still good for the lock: flock needs no write access.
int OpenLockFile(const Folder& folder) {
    int fd = OpenAt(folder.fd(), InstanceLock::kFileName, O_RDWR | O_CREAT, 0600);
    if (fd < 0 && errno != ENOENT) fd = OpenAt(folder.fd(), InstanceLock::kFileName, O_RDONLY);
    if (fd < 0) return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    return fd;
}

// Whether a user other than this one may open the lock file. A file of this
// user's own that is open to others is closed to them again; another user's
// file is left as it is.
bool OthersCanOpen(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return true;
    if ((st.st_mode & 077) == 0 && st.st_uid == ::geteuid()) return false;
    if (st.st_uid == ::geteuid() && st.st_nlink == 1 && ::fchmod(fd, 0600) == 0) return false;
    return true;
}

// Root's alone: root's regular file with one name that no one else may open,
// or may have opened while it could (a descriptor outlives a chmod).
bool RootsAlone(int fd) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == 0 && (st.st_mode & 077) == 0 &&
           st.st_nlink == 1;
}

// A new lock file of root's in place of whatever has the name: another
// user's descriptors keep the old file, which locks nothing any more.
int Replace(const Folder& folder) {
    if (::unlinkat(folder.fd(), InstanceLock::kFileName, 0) != 0 && errno != ENOENT) return -1;
    return OpenAt(folder.fd(), InstanceLock::kFileName, O_RDWR | O_CREAT | O_EXCL, 0600);
}

QString UserName(uid_t uid) {
    struct passwd entry {};
    struct passwd* found = nullptr;
    char buffer[1024];
    if (::getpwuid_r(uid, &entry, buffer, sizeof buffer, &found) == 0 && found) return QString::fromLocal8Bit(found->pw_name);
    return QString::number(uid);
}

}  // namespace

InstanceLock::Holder InstanceLock::HolderOf(int fd) {
    Holder holder;
    struct stat st {};
    if (::fstat(fd, &st) != 0) return holder;
    // "1: FLOCK  ADVISORY  WRITE 1234 fd:01:5678 0 EOF": the device's major
    // and minor in hex, the inode in decimal.
    const QByteArray device = QByteArray::number(major(st.st_dev), 16).rightJustified(2, '0') + ':' +
                              QByteArray::number(minor(st.st_dev), 16).rightJustified(2, '0') + ':' +
                              QByteArray::number(static_cast<qulonglong>(st.st_ino));
    QFile locks(QStringLiteral("/proc/locks"));
    if (!locks.open(QIODevice::ReadOnly)) return holder;
    for (const QByteArray& line : locks.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        // Waiting locks carry a "->" after the number; only the holder counts.
        if (fields.size() < 6 || fields.at(1) == "->" || fields.at(5) != device) continue;
        holder.pid = static_cast<pid_t>(fields.at(4).toLong());
        break;
    }
    if (holder.pid <= 0) return holder;
    const QString proc = QStringLiteral("/proc/%1/").arg(holder.pid);
    QFile comm(proc + QStringLiteral("comm"));
    if (comm.open(QIODevice::ReadOnly)) holder.command = QString::fromLocal8Bit(comm.readAll().trimmed());
    QFile status(proc + QStringLiteral("status"));
    struct stat owner {};
    // The effective user, the one whose rights the lock was taken with.
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (!line.startsWith("Uid:")) continue;
            const QList<QByteArray> ids = line.simplified().split(' ');
            if (ids.size() > 2) holder.uid = static_cast<uid_t>(ids.at(2).toULong());
        }
    } else if (::stat(QFile::encodeName(proc).constData(), &owner) == 0) {
        holder.uid = owner.st_uid;
    }
    holder.user = UserName(holder.uid);
    return holder;
}

InstanceLock::InstanceLock(const Folder& folder) {
    if (!folder.isOpen()) return;
    const bool root = IsRoot();
    m_fd = OpenLockFile(folder);
    const int openError = m_fd < 0 ? errno : 0;
    // As root, only a lock file nobody else can reach is one to wait on: a
    // link, another user's file, or one that others may open (or may have
    // opened while they could: a descriptor outlives a chmod) is replaced,
    // where the folder is root's alone; anywhere else the run is refused.
    bool replace = root && (m_fd >= 0 ? !RootsAlone(m_fd) : openError != ENOENT);
    bool onFolder = false;
    for (;;) {
        if (replace && !m_replaced) {
            if (!JudgeFolder(folder).trusted()) {
                m_state = State::Refused;
                break;
            }
            if (m_fd >= 0) m_holder = HolderOf(m_fd);
            // A folder that takes no new file (a read-only mount) keeps the
            // old one, with the warning that others can hold it.
            const int fresh = Replace(folder);
            if (fresh >= 0) {
                if (m_fd >= 0) ::close(m_fd);
                m_fd = fresh;
            }
            m_replaced = fresh >= 0;
            if (m_fd < 0) return;  // nothing to lock: unguarded, and said so
        } else if (m_fd < 0) {
            // No lock file, and none can be made (a read-only folder): the
            // folder itself is all there is to lock.
            if (openError != ENOENT) return;
            m_fd = OpenAt(folder.fd(), ".", O_RDONLY | O_DIRECTORY);
            if (m_fd < 0) return;
            onFolder = true;
        }
        if (RetryOnEintr([&] { return ::flock(m_fd, LOCK_EX | LOCK_NB); }) == 0) {
            m_state = onFolder       ? State::AcquiredOnFolder
                      : OthersCanOpen(m_fd) ? State::OthersCanHoldIt
                                            : State::Acquired;
            return;
        }
        if (errno != EWOULDBLOCK) break;
        m_holder = HolderOf(m_fd);
        // Only this user's own process is a copy already running; where the
        // kernel names none, the file is this user's alone or it is not.
        const bool ours = m_holder.pid > 0 ? m_holder.uid == ::geteuid() : onFolder || !OthersCanOpen(m_fd);
        if (ours || !root || onFolder || replace) {
            m_state = ours ? State::HeldElsewhere : State::HeldByOther;
            break;
        }
        replace = true;
    }
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
}

InstanceLock::~InstanceLock() {
    if (m_fd >= 0) ::close(m_fd);
}

}  // namespace tarvesk
