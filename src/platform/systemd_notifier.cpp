#include "platform/systemd_notifier.h"

#include <systemd/sd-daemon.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace tarvesk {

std::unique_ptr<SystemdNotifier> SystemdNotifier::FromEnvironment() {
    if (std::getenv("NOTIFY_SOCKET") == nullptr) return nullptr;
    std::unique_ptr<SystemdNotifier> notifier(new SystemdNotifier);
    uint64_t usec = 0;
    // Also checks WATCHDOG_PID, so that a child started with our environment
    // does not take the pings for itself.
    if (sd_watchdog_enabled(0, &usec) > 0) {
        const uint64_t halfMs = std::max<uint64_t>(usec / 2000, 1);
        notifier->m_watchdog.setInterval(static_cast<int>(std::min<uint64_t>(halfMs, INT32_MAX)));
        connect(&notifier->m_watchdog, &QTimer::timeout, notifier.get(), [] { sd_notify(0, "WATCHDOG=1"); });
    }
    return notifier;
}

void SystemdNotifier::ready() {
    sd_notify(0, "READY=1");
    if (m_watchdog.interval() > 0) m_watchdog.start();
}

void SystemdNotifier::status(const QString& text) {
    const QByteArray message = "STATUS=" + text.toUtf8();
    sd_notify(0, message.constData());
}

void NotifyStopping() { sd_notify(0, "STOPPING=1"); }

}  // namespace tarvesk
