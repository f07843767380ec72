#pragma once

#include <QString>
#include <sys/types.h>

namespace tarvesk {

class Folder;

// Keeps a second copy of the program from working in the same folder: two
// copies would both count, log and run every recovery command. The lock is
// an advisory lock on `.Tarvesk.lock` in the folder, a file created 0600 (and
// kept, empty, between runs), so that no other user can open it and hold the
// lock to keep the program from starting. The kernel releases it however the
// process ends (a SIGKILL, a reboot): it never goes stale. Child processes do
// not inherit it.
//
// As root, a lock file that another user owns or may open (or a link, or a
// file with a second name) is not one to wait on: in a folder of root's alone
// it is replaced by a new file of root's before it is locked; anywhere else
// the run is refused. A lock held by another user's process is treated the
// same way: only a process of this user counts as a copy already running.
class InstanceLock {
public:
    enum class State {
        Acquired,           // this process holds the lock file
        AcquiredOnFolder,   // no lock file could be made (a read-only folder):
                            // the folder itself is locked, which any user who
                            // may read the folder could hold too
        OthersCanHoldIt,    // held, but the lock file is open to other users
        HeldElsewhere,      // a process of this user holds it: a copy runs
        HeldByOther,        // another user's process holds it, and it cannot
                            // be replaced (not root, or not root's folder)
        Refused,            // as root: the lock file is not root's alone and
                            // the folder is not root's alone to replace it in
        Unavailable,        // nothing could be locked; nothing is guarded
    };

    // The process holding the lock, from the kernel's lock table.
    struct Holder {
        pid_t pid = 0;       // 0: not found there
        uid_t uid = 0;
        QString command;     // its command name
        QString user;        // the user's name, or the number
    };

    static constexpr char kFileName[] = ".Tarvesk.lock";

    explicit InstanceLock(const Folder& folder);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    State state() const { return m_state; }
    // Who held the lock when it was found held (HeldElsewhere, HeldByOther),
    // or held the file that was replaced.
    const Holder& holder() const { return m_holder; }
    // As root, the lock file another user owned or could open was replaced.
    bool replaced() const { return m_replaced; }

    // The holder of a flock on the file open as `fd`, as the kernel's lock
    // table names it; pid 0 when it names none.
    static Holder HolderOf(int fd);

private:
    int m_fd = -1;
    State m_state = State::Unavailable;
    Holder m_holder;
    bool m_replaced = false;
};

}  // namespace tarvesk
