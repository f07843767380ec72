#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace tarvesk {

// Replaces the content of a file atomically: a temporary file in the same
// folder (mode 0600 until it has replaced the old file), fsync, rename over the
// old file, fsync of the folder. A new file gets mode 0600; an existing one
// keeps its mode (and owner, where allowed). A file without the owner's write
// bit is treated as read-only and left alone, even for root. A symbolic link is
// followed: its target is replaced. Only a regular file is ever replaced.
//
// When the folder refuses a new file (no write permission) but the file itself
// may be written, the file is rewritten in place and synced instead; that is
// not atomic, but a failed write puts the old bytes back.
// Returns false and leaves the old file whole when any step fails.
bool WriteFileAtomically(const QString& path, const QByteArray& content);

// Removes the temporary files that writes to `path` left behind when the
// process was killed in the middle of one. Only regular files of exactly the
// temporary naming are touched. Must not run while another process may be
// writing the same file.
void RemoveLeftoverTemporaries(const QString& path);

// True only when nothing exists at the path (a link is followed, so a link to
// a file yet to be made counts as missing); false when something exists or
// when that cannot be told (no access to the folder).
bool IsMissing(const QString& path);

// Reads a whole file. Nothing when it is missing or not a regular file; a
// FIFO, socket or device is never waited on.
std::optional<QByteArray> ReadWholeFile(const QString& path);

// Appends `record` to a regular file (created with mode 0666 less the umask
// when missing) in a single write. A write that the system cuts short (full
// disk, file-size limit) is undone by cutting the file back to its length
// before, so the file never ends in part of a record. Never waits on a FIFO,
// socket or device. False when the record is not in the file.
bool AppendRecord(const QString& path, const QByteArray& record);

// A write over the file-size limit must fail like any other failed write
// instead of ending the process.
void IgnoreFileSizeSignal();

}  // namespace tarvesk
