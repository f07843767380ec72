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
// with another device, inode, size, modification or change time is read
// again, so another writer's edit is seen at the next call, as without the
// keeping. A change made within the same clock tick as the kept times cannot
// show in them, so bytes whose times are that recent are never trusted: the
// file is read again until its times lie in the past.
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
    void keep(const QByteArray& bytes, const struct stat& st);

    const Folder& m_folder;
    const QByteArray m_name;
    bool m_kept = false;
    struct stat m_stat {};
    QByteArray m_bytes;
    std::optional<Trust> m_trust;  // judged once per kept version, when asked
};

}  // namespace tarvesk
