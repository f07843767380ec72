#pragma once

#include <QString>
#include <memory>

#include "platform/instance_lock.h"
#include "platform/systemd_notifier.h"
#include "platform/termination.h"

namespace tarvesk {

class Folder;
class MonitorEngine;
struct Services;

// The service program, which the window program runs in its place where there
// is no display.
inline constexpr char kServiceProgramName[] = "tarvesk-service";

// What both programs do around the engine when they start, in one place.
class ProgramStart {
public:
    // Exit status of a second copy that found the folder taken; the service
    // unit does not restart the program for it.
    static constexpr int kAlreadyRunningStatus = 3;

    // First thing in main(), on the one thread there is: libcurl's global
    // set-up wants that, and a file grown past its size limit is a failed
    // write, not the end of the process.
    static void BeforeAnyThread();

    // One line on standard error, where a service's journal keeps it.
    static void Say(const QString& text);

    // Once the application object exists: opens the program's folder once
    // (into `services`, for the engine to reach every file through it), says
    // so when it runs without a window (`windowless`) or cannot open its
    // folder, and takes the folder's instance lock. When another copy holds
    // it, or the lock keeps the program from starting here at all, says so
    // in the stored language and nothing else is done.
    ProgramStart(Services& services, bool windowless);
    ~ProgramStart();
    ProgramStart(const ProgramStart&) = delete;
    ProgramStart& operator=(const ProgramStart&) = delete;

    // The status to end the program with before anything is loaded: 3 when
    // a copy of this user's already runs from the folder, 1 when the lock is
    // held by another user's process or, as root, cannot be trusted or
    // replaced; 0 to go on.
    int endStatus() const;

    // Once the engine has loaded its settings (and the window is up): the
    // warnings about the settings file, then, under systemd, readiness, the
    // status line and the watchdog's pings.
    void loaded(MonitorEngine& engine);

private:
    std::shared_ptr<const Folder> m_folder;
    QString m_iniPath;
    std::unique_ptr<InstanceLock> m_lock;
    // SIGTERM and SIGINT end the program at once.
    std::unique_ptr<TerminationSignals> m_terminationSignals;
    std::unique_ptr<SystemdNotifier> m_notifier;
};

}  // namespace tarvesk
