#pragma once

#include <QByteArray>
#include <QString>
#include <optional>
#include <sys/types.h>

struct stat;
struct timespec;

namespace tarvesk {

class Folder;
struct Trust;

// Every function here names its file by a folder opened once and a name in
// it, and works relative to the folder's descriptor; the forms that take a
// path open the path's folder for the one call.

// Replaces the content of a file atomically: a temporary file in the same
// folder (mode 0600 until it has replaced the old file), fsync, rename over the
// old file, fsync of the folder. A new file gets mode 0600; an existing one
// keeps its mode (and owner, where allowed). A file without the owner's write
// bit is treated as read-only and left alone, even for root; root's rewrite of
// another user's file in a folder of root's is root's. A symbolic link is
// followed and its target replaced; as root only when the link's folder, the
// target and the target's folders pass the trust rule (see strict_modes.h).
// Only a regular file is ever replaced.
//
// When the folder refuses a new file (no write permission) but the file itself
// may be written, the file is rewritten in place and synced instead; that is
// not atomic, but a failed write puts the old bytes back.
// Returns false and leaves the old file whole when any step fails.
// With `written`: the new file's status once it is in place, when it lies in
// `folder` under `name` itself (no link followed, not rewritten in place);
// st_nlink 0 otherwise. With `renamed`: the coarse clock read just before the
// new file took the name, before which nobody else can have changed it.
bool WriteFileAtomically(const Folder& folder, const QByteArray& name, const QByteArray& content,
                         struct stat* written = nullptr, struct timespec* renamed = nullptr);
bool WriteFileAtomically(const QString& path, const QByteArray& content);

// Removes the temporary files that writes to the named file left behind when
// the process was killed in the middle of one. Only regular files of exactly
// the temporary naming are touched. Must not run while another process may be
// writing the same file.
void RemoveLeftoverTemporaries(const Folder& folder, const QByteArray& name);
void RemoveLeftoverTemporaries(const QString& path);

// True only when nothing exists under the name (a link is followed, so a link
// to a file yet to be made counts as missing); false when something exists or
// when that cannot be told (no access to the folder).
bool IsMissing(const Folder& folder, const QByteArray& name);
bool IsMissing(const QString& path);

// Reads a whole file, a link followed. Nothing when it is missing or not a
// regular file; a FIFO, socket or device is never waited on. With `trust`,
// the file actually read and its folders are judged by the trust rule, and a
// failure is joined into it. With `read`: the status of the file read, when
// it lies in `folder` under `name` itself (no link followed); st_nlink 0
// otherwise.
std::optional<QByteArray> ReadWholeFile(const Folder& folder, const QByteArray& name, Trust* trust = nullptr,
                                        struct stat* read = nullptr);
std::optional<QByteArray> ReadWholeFile(const QString& path);

// Appends `record` to a regular file in a single write, creating it when
// missing. A write that the system cuts short (full disk, file-size limit) is
// undone by cutting the file back to its length before, so the file never
// ends in part of a record. Never waits on a FIFO, socket or device. As root
// no link is followed (symbolic or hard) and a new file gets mode 0600, so a
// name in a folder that others may write never makes root write elsewhere;
// any other user's new file gets 0666 less the umask. As root, another
// user's file in a folder of root's is first made root's: a new file, 0600,
// with its bytes, takes its name, so that no descriptor that user holds
// reaches what root adds; `takenFrom` then gets that user's id (0
// otherwise). False when the record is not in the file.
bool AppendRecord(const Folder& folder, const QByteArray& name, const QByteArray& record,
                  uid_t* takenFrom = nullptr);
bool AppendRecord(const QString& path, const QByteArray& record);

// A write over the file-size limit must fail like any other failed write
// instead of ending the process.
void IgnoreFileSizeSignal();

}  // namespace tarvesk
