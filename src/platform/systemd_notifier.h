#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>

namespace tarvesk {

// systemd's notify protocol (sd_notify(3)) for the program run as a
// Type=notify service: readiness, a status text for `systemctl status`, and
// the watchdog's keep-alive pings. It exists only when the service manager
// passed a notify socket; without one none of this runs.
class SystemdNotifier : public QObject {
    Q_OBJECT
public:
    // Null when NOTIFY_SOCKET is not set.
    static std::unique_ptr<SystemdNotifier> FromEnvironment();

    // READY=1, then the watchdog pings when the unit asked for them: from a
    // timer on the calling thread, so that they stop when that thread is
    // stuck, at half the watchdog's time-out.
    void ready();

public slots:
    // STATUS= with `text`, which must be one line.
    void status(const QString& text);

private:
    SystemdNotifier() = default;

    QTimer m_watchdog;
};

// STOPPING=1 when a notify socket was passed; nothing otherwise.
void NotifyStopping();

}  // namespace tarvesk
