#pragma once

#include <QString>

namespace tarvesk {

// Keeps a second copy of the program from working in the same folder: two
// copies would both count, log and run every recovery command. The lock is an
// advisory lock on the folder itself, so it needs no write access, leaves no
// file behind and is released by the kernel however the process ends (a
// SIGKILL, a reboot): it never goes stale. Child processes do not inherit it.
class InstanceLock {
public:
    enum class State {
        Acquired,       // this process holds the folder
        HeldElsewhere,  // another process holds it
        Unavailable,    // the folder cannot be locked; nothing is guarded
    };

    explicit InstanceLock(const QString& folder);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    State state() const { return m_state; }

private:
    int m_fd = -1;
    State m_state = State::Unavailable;
};

}  // namespace tarvesk
