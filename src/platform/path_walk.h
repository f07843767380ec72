#pragma once

#include <QByteArray>

#include "platform/folder.h"
#include "platform/strict_modes.h"

struct stat;

namespace tarvesk {

// Where a name really leads. The program walks the path itself, one
// component at a time: each folder is opened without following a link, each
// link is read and its text walked in turn (40 links at most, as the
// kernel), so that, as root, every link and every folder that any hop passes
// through is judged as it is passed. Nothing is ever resolved by the kernel's
// own link following, which would judge only where a chain ends.
struct FileTarget {
    Folder other;          // the target's folder, when it is not the start
    QByteArray name;       // the target's name in its folder
    bool viaLink = false;  // a link was followed on the way
    bool exists = false;   // something other than a link is there
    // As root, the first failure met on the way: a link another user owns,
    // a folder another user can change, a pseudo file system, a dangling
    // link, a place where the way cannot be followed. Once a link was
    // followed it holds the start folder's own verdict too (walked up to /),
    // since whoever can change that folder can change the link.
    Trust trust;

    const Folder& folder(const Folder& start) const { return other.isOpen() ? other : start; }
};

// False when the chain cannot be followed at all (a loop, a component that
// is not a folder, a folder that cannot be entered); as root, `trust` then
// says where (Unfollowable), unless a failure met before that stands.
bool ResolveTarget(const Folder& start, const QByteArray& name, FileTarget* target);

// The whole verdict on what ResolveTarget found: the start folder walked up
// to /, everything on the way, and the file itself (`st`; none when there is
// nothing). Trusted for any user but root.
Trust JudgeTarget(const Folder& start, const FileTarget& target, const struct stat* st);

// The marker beside a file that root took over from another user: while it
// is there, root does not trust what that user wrote in the file.
QByteArray TakenOverMarker(const QByteArray& name);

// The named file as it is now.
Trust JudgeFile(const Folder& folder, const QByteArray& name);

// The program a command names, as root: `path` (absolute, or relative to the
// working folder, which is opened by descriptor: its name may not even be
// text) walked like a settings file, the file itself and every folder above
// it held to the same rule. Only a regular file at the end of a way that was
// followed to the end and judged passes; anything else is a refusal that
// says why and where. Trusted for any user but root.
Trust JudgeProgram(const QByteArray& path);

}  // namespace tarvesk
