#pragma once

#include <QString>

namespace tarvesk {

// Whether the commands written in `filePath` may be run by this process. As
// root only when the file and its folder are owned by root and writable by
// nobody else (no group or other write bit): anyone who can change them could
// otherwise have root run a command of their choosing. This is the rule that
// sshd's StrictModes and cron apply to the files that steer them. A file that
// does not exist counts by its folder alone, and a missing folder holds
// nothing to fear. Any other user may always run them: they are that user's
// own commands.
bool CommandsFromFileMayRun(const QString& filePath);

// True when group or others may read `filePath` (it holds the mail password).
bool ReadableByOthers(const QString& filePath);

}  // namespace tarvesk
