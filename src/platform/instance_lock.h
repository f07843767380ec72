#pragma once

namespace tarvesk {

class Folder;

// Keeps a second copy of the program from working in the same folder: two
// copies would both count, log and run every recovery command. The lock is
// an advisory lock on `.Tarvesk.lock` in the folder, a file created 0600 (and
// kept, empty, between runs), so that no other user can open it and hold the
// lock to keep the program from starting. The kernel releases it however the
// process ends (a SIGKILL, a reboot): it never goes stale. Child processes do
// not inherit it.
class InstanceLock {
public:
    enum class State {
        Acquired,           // this process holds the lock file
        AcquiredOnFolder,   // no lock file could be made (a read-only folder):
                            // the folder itself is locked, which any user who
                            // may read the folder could hold too
        OthersCanHoldIt,    // held, but the lock file is open to other users
        HeldElsewhere,      // another process holds it
        Unavailable,        // nothing could be locked; nothing is guarded
    };

    static constexpr char kFileName[] = ".Tarvesk.lock";

    explicit InstanceLock(const Folder& folder);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    State state() const { return m_state; }

private:
    int m_fd = -1;
    State m_state = State::Unavailable;
};

}  // namespace tarvesk
