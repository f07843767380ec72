#include "platform/kept_file.h"

#include <ctime>
#include <fcntl.h>

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

// File times are stamped from the coarse clock: a change made later in the
// same tick would leave them as they are. Times before the current tick
// cannot be repeated by a later change.
bool TimesInThePast(const struct stat& st) {
    struct timespec now {};
    if (::clock_gettime(CLOCK_REALTIME_COARSE, &now) != 0) return false;
    return Before(st.st_mtim, now) && Before(st.st_ctim, now);
}

}  // namespace

bool KeptFile::unchanged() const {
    if (!m_kept) return false;
    struct stat now {};
    return ::fstatat(m_folder.fd(), m_name.constData(), &now, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(now.st_mode) &&
           SameIdentity(now, m_stat);
}

void KeptFile::keep(const QByteArray& bytes, const struct stat& st) {
    m_kept = st.st_nlink > 0 && TimesInThePast(st);
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
    struct stat st {};
    Trust verdict;
    std::optional<QByteArray> data = ReadWholeFile(m_folder, m_name, trust ? &verdict : nullptr, &st);
    if (trust) trust->add(verdict);
    m_kept = false;
    if (data) {
        keep(*data, st);
        if (trust) m_trust = verdict;
    }
    return data;
}

bool KeptFile::isMissing() const { return IsMissing(m_folder, m_name); }

bool KeptFile::replace(const QByteArray& content) {
    struct stat st {};
    m_kept = false;
    if (!WriteFileAtomically(m_folder, m_name, content, &st)) return false;
    keep(content, st);
    return true;
}

}  // namespace tarvesk
