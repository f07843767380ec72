#pragma once

#include <QByteArray>
#include <QString>
#include <chrono>
#include <cstdint>
#include <functional>

#include "platform/http_client.h"

namespace tarvesk {

// What the operator of the service reads of the watchdog: one line on
// standard error (the service's journal) for every change of the page's state
// or of the reason it fails, never one per check, and the status text the
// service manager shows. A page that keeps failing the same way adds nothing,
// and a good check after a good check costs one comparison.
class PageStateJournal {
public:
    // Takes each finished line, "Tarvesk: " and line end included.
    using Sink = std::function<void(const QByteArray& line)>;

    // Writes to standard error by default.
    explicit PageStateJournal(Sink sink = {});

    // After every page check: whether it was good, its outcome, and the
    // address it was made for (read only when a line is written).
    void checked(bool good, const HttpResult& result, const QString& url);
    // An event as the event log receives it.
    void logged(const QString& kind, const QString& detail);
    // The service manager's status text for the status line `message` (its
    // time left out) with, while the page fails, the reason; "" when neither
    // changed since the last call.
    QString statusChange(const QString& message);

    bool failing() const { return m_failedChecks > 0; }
    // A line of its own, for what the operator of a service must know and
    // can see nowhere else.
    void say(const QString& text);

    // "HTTP 503", or the HTTP library's words when no status came back.
    static QString Reason(const HttpResult& result);
    // "12 ms" below a second, "60.0 s" from there on.
    static QString Duration(std::chrono::milliseconds elapsed);

private:
    Sink m_sink;
    int64_t m_failedChecks = 0;
    QString m_reason;
    QString m_statusMessage;
    QString m_statusReason;
};

}  // namespace tarvesk
