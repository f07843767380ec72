#pragma once

#include <QByteArray>
#include <optional>
#include <sys/stat.h>

#include "platform/strict_modes.h"

namespace tarvesk {

class Folder;

// One file of a folder, read and written many times, whose bytes (and, as
// root, the trust verdict on them) are kept between calls while the file is
// unchanged. Each call still looks at the file once (one fstatat): a file
// with another device, inode, size, mode, modification or change time is
// read again, so another writer's edit is seen at the next call, as without
// the keeping.
//
// A change stamps the file with the time it was made, cut to the file
// system's granularity: the kernel's coarse tick, or whole seconds (two
// where the times are even seconds) on file systems that keep no more. So a
// change within the same granule as the kept times cannot show in them, and
// bytes are kept only when their times lie in a granule that had passed
// before the bytes were read (or before a write put them in place). Where the
// times do not come from this machine's own clock (a network file system),
// how old they are cannot be told, and nothing is kept. The copy only ever
// saves a read; it never changes what is read.
//
// Only a regular file under the name itself is kept; a link, or a file that
// cannot be read, is handled afresh at every call.
class KeptFile {
public:
    KeptFile(const Folder& folder, QByteArray name) : m_folder(folder), m_name(std::move(name)) {}

    // As ReadWholeFile, with the trust verdict joined into `trust`.
    std::optional<QByteArray> read(Trust* trust = nullptr);
    // As IsMissing.
    bool isMissing() const;
    // As WriteFileAtomically.
    bool replace(const QByteArray& content);

    const Folder& folder() const { return m_folder; }
    const QByteArray& name() const { return m_name; }

private:
    bool unchanged() const;
    // Keeps `bytes`, which the file held with status `st` from `since` on.
    void keep(const QByteArray& bytes, const struct stat& st, const struct timespec& since);
    bool stampsFromThisClock();

    const Folder& m_folder;
    const QByteArray m_name;
    bool m_kept = false;
    struct stat m_stat {};
    QByteArray m_bytes;
    std::optional<Trust> m_trust;       // judged once per kept version, when asked
    std::optional<bool> m_localStamps;  // the folder's file system, looked at once
};

}  // namespace tarvesk
