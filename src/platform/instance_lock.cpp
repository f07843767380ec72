#include "platform/instance_lock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/folder.h"
#include "platform/retry_on_eintr.h"

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

}  // namespace

InstanceLock::InstanceLock(const Folder& folder) {
    if (!folder.isOpen()) return;
    m_fd = OpenLockFile(folder);
    bool onFolder = false;
    if (m_fd < 0) {
        // No lock file, and none can be made (a read-only folder): the
        // folder itself is all there is to lock.
        if (errno != ENOENT) return;
        m_fd = OpenAt(folder.fd(), ".", O_RDONLY | O_DIRECTORY);
        if (m_fd < 0) return;
        onFolder = true;
    }
    if (RetryOnEintr([&] { return ::flock(m_fd, LOCK_EX | LOCK_NB); }) == 0) {
        m_state = onFolder ? State::AcquiredOnFolder : OthersCanOpen(m_fd) ? State::OthersCanHoldIt : State::Acquired;
        return;
    }
    m_state = errno == EWOULDBLOCK ? State::HeldElsewhere : State::Unavailable;
    ::close(m_fd);
    m_fd = -1;
}

InstanceLock::~InstanceLock() {
    if (m_fd >= 0) ::close(m_fd);
}

}  // namespace tarvesk
