#pragma once

#include <QObject>
#include <QTimer>

namespace tarvesk {

// A window timer with a period in milliseconds and an on/off switch, kept
// apart as the operator sees them: while off, or while the period is 0 or
// less, no tick comes (a running QTimer with period 0 would fire in a busy
// loop). Switching on, or changing the period while on, starts a full period.
class PeriodTimer : public QObject {
    Q_OBJECT
public:
    explicit PeriodTimer(QObject* parent = nullptr);

    void setInterval(int milliseconds);
    int interval() const { return m_interval; }
    void setEnabled(bool enabled);
    bool isEnabled() const { return m_enabled; }
    // True when ticks are actually being produced.
    bool isTicking() const { return m_timer.isActive(); }

signals:
    void tick();

private:
    void apply();

    QTimer m_timer;
    int m_interval = 0;
    bool m_enabled = false;
};

}  // namespace tarvesk
