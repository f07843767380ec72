#pragma once

#include <QObject>

class QSocketNotifier;

namespace tarvesk {

// Ends the process on the spot with `code`, telling a service manager that
// it stops. Nothing runs after it: no pending step of an interrupted tick, no
// destructor, no exit handler. Every file the program writes is whole between
// two of its writes, so this is safe wherever the main thread handles
// events.
[[noreturn]] void EndProcessNow(int code);

// Turns SIGTERM and SIGINT (what `systemctl stop` and Ctrl-C send) into
// EndProcessNow(0) at the next moment the main thread handles events,
// never in the middle of one of its writes. The signal handler only writes
// a byte to a pipe that a socket notifier watches. One instance per process.
class TerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

    // Whether the handlers are in place.
    bool installed() const { return m_notifier != nullptr; }

private:
    QSocketNotifier* m_notifier = nullptr;
};

}  // namespace tarvesk
