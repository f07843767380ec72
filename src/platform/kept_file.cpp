#include "platform/kept_file.h"

#include <ctime>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/vfs.h>

#include "platform/atomic_file.h"
#include "platform/folder.h"

namespace tarvesk {
namespace {

bool SameTime(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

bool Before(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

bool SameIdentity(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size && a.st_mode == b.st_mode &&
           SameTime(a.st_mtim, b.st_mtim) && SameTime(a.st_ctim, b.st_ctim);
}

struct timespec CoarseNow() {
    struct timespec now {};
    if (::clock_gettime(CLOCK_REALTIME_COARSE, &now) != 0) now = {};
    return now;
}

// The start of the granule of the file's stamps that `now` lies in. Times
// that are whole seconds come from a file system that keeps no more (or
// happen to: then this only costs a read): whole seconds, or two where both
// are even. Any others come at the coarse clock's own tick, which `now`
// starts.
struct timespec GranuleStart(const struct stat& st, struct timespec now) {
    if (st.st_mtim.tv_nsec != 0 || st.st_ctim.tv_nsec != 0) return now;
    const bool even = st.st_mtim.tv_sec % 2 == 0 && st.st_ctim.tv_sec % 2 == 0;
    return {even ? now.tv_sec - now.tv_sec % 2 : now.tv_sec, 0};
}

}  // namespace

// The kernel stamps files on local file systems from this machine's coarse
// clock; a server of a network file system stamps them from its own.
bool KeptFile::stampsFromThisClock() {
    if (!m_localStamps) {
        struct statfs fs {};
        bool local = false;
        if (::fstatfs(m_folder.fd(), &fs) == 0) {
            switch (fs.f_type) {
                case EXT4_SUPER_MAGIC:  // ext2 and ext3 too
                case XFS_SUPER_MAGIC:
                case BTRFS_SUPER_MAGIC:
                case TMPFS_MAGIC:
                case F2FS_SUPER_MAGIC:
                case OVERLAYFS_SUPER_MAGIC:
                    local = true;
                    break;
                default:
                    break;
            }
        }
        m_localStamps = local;
    }
    return *m_localStamps;
}

bool KeptFile::unchanged() const {
    if (!m_kept) return false;
    struct stat now {};
    return ::fstatat(m_folder.fd(), m_name.constData(), &now, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(now.st_mode) &&
           SameIdentity(now, m_stat);
}

void KeptFile::keep(const QByteArray& bytes, const struct stat& st, const struct timespec& since) {
    // Any change after `since` is stamped in `since`'s granule or a later
    // one: kept times from an earlier granule cannot be repeated by it.
    const struct timespec granule = GranuleStart(st, since);
    m_kept = st.st_nlink > 0 && Before(st.st_mtim, granule) && Before(st.st_ctim, granule) && stampsFromThisClock();
    m_stat = st;
    m_bytes = bytes;
    m_trust.reset();
}

std::optional<QByteArray> KeptFile::read(Trust* trust) {
    // A verdict is only ever on bytes read with it: kept bytes without one
    // (from a write, or a read that asked for none) are read again.
    if (unchanged() && (!trust || m_trust)) {
        if (trust) trust->add(*m_trust);
        return m_bytes;
    }
    const struct timespec since = CoarseNow();
    struct stat st {};
    Trust verdict;
    std::optional<QByteArray> data = ReadWholeFile(m_folder, m_name, trust ? &verdict : nullptr, &st);
    if (trust) trust->add(verdict);
    m_kept = false;
    if (data) {
        keep(*data, st, since);
        if (trust) m_trust = verdict;
    }
    return data;
}

bool KeptFile::isMissing() const { return IsMissing(m_folder, m_name); }

bool KeptFile::replace(const QByteArray& content) {
    struct stat st {};
    struct timespec renamed {};
    m_kept = false;
    if (!WriteFileAtomically(m_folder, m_name, content, &st, &renamed)) return false;
    keep(content, st, renamed);
    return true;
}

}  // namespace tarvesk
