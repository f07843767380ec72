#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace tarvesk {

// Replaces the content of a file atomically: a temporary file in the same
// folder, fsync, rename over the old file, fsync of the folder. A new file gets
// mode 0600; an existing one keeps its mode (and owner, where allowed). A file
// without the owner's write bit is treated as read-only and left alone, even
// for root. A symbolic link is followed: its target is replaced.
// Returns false and leaves the old file whole when any step fails.
bool WriteFileAtomically(const QString& path, const QByteArray& content);

// True only when nothing exists at the path (a link is followed, so a link to
// a file yet to be made counts as missing); false when something exists or
// when that cannot be told (no access to the folder).
bool IsMissing(const QString& path);

// Reads a whole file. Nothing when it is missing or not a regular file.
std::optional<QByteArray> ReadWholeFile(const QString& path);

}  // namespace tarvesk
