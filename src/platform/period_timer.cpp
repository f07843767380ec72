#include "platform/period_timer.h"

namespace tarvesk {

PeriodTimer::PeriodTimer(QObject* parent) : QObject(parent) {
    m_timer.setTimerType(Qt::CoarseTimer);
    connect(&m_timer, &QTimer::timeout, this, &PeriodTimer::tick);
}

void PeriodTimer::setInterval(int milliseconds) {
    if (milliseconds == m_interval) return;
    m_interval = milliseconds;
    apply();
}

void PeriodTimer::setEnabled(bool enabled) {
    if (enabled == m_enabled) return;
    m_enabled = enabled;
    apply();
}

void PeriodTimer::apply() {
    if (m_enabled && m_interval > 0) {
        m_timer.start(m_interval);
    } else {
        m_timer.stop();
    }
}

}  // namespace tarvesk
