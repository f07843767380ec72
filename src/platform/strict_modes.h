#pragma once

#include <QByteArray>
#include <QString>

namespace tarvesk {

class Folder;
struct FileTarget;

// Root runs only what root wrote. As root, the commands in the settings file
// may run only when that file is owned by root and writable by no group or
// other, and so are its folder and every folder above it up to / (the walk
// sshd's StrictModes makes; a sticky folder such as /tmp does not count):
// anyone who can change one of them could otherwise have root run a command
// of their choosing, at once or later by swapping a folder in the path. A
// file that does not exist counts by its folders alone. Any other user may
// always run them: they are that user's own commands.
struct Trust {
    enum class Cause {
        None,         // trusted
        IniOrFolder,  // the settings file or the folder it lies in
        FolderAbove,  // a folder above that, named in `folder`
    };
    Cause cause = Cause::None;
    QString folder;

    bool trusted() const { return cause == Cause::None; }
    // Joins another verdict in; the first failure found stands.
    void add(const Trust& other) {
        if (trusted()) *this = other;
    }
};

// The folder, walked up through its own ".." entries, so the verdict is on
// the folders actually above it, whatever their paths say.
Trust JudgeFolder(const Folder& folder);

// The file that was read through `fd` (-1: there was none), found by
// following `name` in `start` to `target`: the file, its folder and, for a
// link, the link's folder too.
Trust JudgeReadFile(int fd, const Folder& start, const FileTarget& target);

// The named file as it is now, a link followed to its target.
Trust JudgeFile(const Folder& folder, const QByteArray& name);

// True when group or others may read the named file (it holds the mail
// password).
bool ReadableByOthers(const Folder& folder, const QByteArray& name);

}  // namespace tarvesk
