#pragma once

#include <QByteArray>
#include <QString>
#include <sys/types.h>

namespace tarvesk {

// Files, folders and links with the owners and modes a test needs, for the
// tests that run as root against another local user.
constexpr uid_t kOtherUser = 65534;

void WriteRaw(const QString& path, const QByteArray& bytes);
// Owner and group `owner`; the mode too, unless the path is a link.
void Own(const QString& path, uid_t owner, mode_t mode);
// A folder `name` in `base`, with that owner and mode; its path.
QString MakeFolder(const QString& base, const char* name, uid_t owner = 0, mode_t mode = 0755);
// A link at `at` to `to`, owned by `owner`.
void Link(const QString& to, const QString& at, uid_t owner);

}  // namespace tarvesk
