#pragma once

#include <QByteArray>
#include <QString>

struct stat;

namespace tarvesk {

class Folder;

// Root runs only what root wrote. As root, the commands in the settings file
// may run only when that file is owned by root and writable by no group or
// other, and so are its folder and every folder above it up to / (the walk
// sshd's StrictModes makes; a sticky folder such as /tmp does not count):
// anyone who can change one of them could otherwise have root run a command
// of their choosing, at once or later by swapping a folder in the path. A
// file that does not exist counts by its folders alone. A link counts with
// every link and folder it passes through (see path_walk.h). Any other user
// may always run them: they are that user's own commands.
struct Trust {
    enum class Cause {
        None,         // trusted
        IniOrFolder,  // the settings file or the folder it lies in
        FolderAbove,  // a folder above that, named in `folder`
        OnTheWay,     // a link, or a folder a link passes through, named in `folder`
        Pseudo,       // a link leads onto /proc, /sys or the like, to `folder`
        Dangling,     // a link leads to `folder`, where nothing is
        Unfollowable, // the way cannot be followed at `folder`: a missing
                      // folder, a loop of links, a folder that cannot be
                      // opened, a walk up to / that did not end
        Missing,      // a program: no regular file at `folder`
        TakenOver,    // root made another user's file its own, and
                      // `folder` (the marker beside it) says so: what that
                      // user wrote in it is not yet reviewed
    };
    Cause cause = Cause::None;
    QString folder;

    bool trusted() const { return cause == Cause::None; }
    // Joins another verdict in; the first failure found stands.
    void add(const Trust& other) {
        if (trusted()) *this = other;
    }
};

// True when the program runs as root (by its effective user id), the one
// user the trust rule binds.
bool IsRoot();

// The folder, walked up through its own ".." entries, so the verdict is on
// the folders actually above it, whatever their paths say.
Trust JudgeFolder(const Folder& folder);

// Owned by root and writable by no group or other.
bool OnlyRootCanWrite(const struct stat& st);

// On a file system the kernel makes up (/proc, /sys and their kind), whose
// files say what their processes or the kernel want them to say.
bool OnPseudoFileSystem(int fd);

// True when group or others may read the named file (it holds the mail
// password).
bool ReadableByOthers(const Folder& folder, const QByteArray& name);

}  // namespace tarvesk
