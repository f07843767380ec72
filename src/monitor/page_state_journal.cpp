#include "monitor/page_state_journal.h"

#include "platform/text_conv.h"

#include <QUrl>
#include <cstdio>

namespace tarvesk {
namespace {

void WriteToStandardError(const QByteArray& line) {
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
    std::fflush(stderr);
}

// The address as the operator wrote it, less a password it may carry: the
// journal is readable by more people than the settings file.
QString ShownAddress(const QString& url) {
    const QUrl parsed(url);
    return parsed.isValid() && !parsed.password().isEmpty() ? parsed.toString(QUrl::RemovePassword) : url;
}

}  // namespace

PageStateJournal::PageStateJournal(Sink sink) : m_sink(sink ? std::move(sink) : WriteToStandardError) {}

void PageStateJournal::checked(bool good, const HttpResult& result, const QString& url) {
    if (good) {
        if (m_failedChecks == 0) return;
        say(QStringLiteral("page good again after %1 failed check%2")
                .arg(m_failedChecks)
                .arg(m_failedChecks == 1 ? QString() : QStringLiteral("s")));
        m_failedChecks = 0;
        m_reason.clear();
        return;
    }
    QString reason = Reason(result);
    ++m_failedChecks;
    if (m_failedChecks == 1) {
        say(QStringLiteral("page check failed: %1 (%2, took %3)")
                .arg(reason, ShownAddress(url), Duration(result.elapsed)));
    } else if (reason != m_reason) {
        say(QStringLiteral("page still failing, now: %1 (took %2, %3 failed checks)")
                .arg(reason, Duration(result.elapsed))
                .arg(m_failedChecks));
    }
    m_reason = std::move(reason);
}

void PageStateJournal::logged(const QString& kind, const QString& detail) {
    QString text = detail.isEmpty() ? kind : kind + QStringLiteral(": ") + detail;
    if (failing()) text += QStringLiteral(" (last failed check: %1)").arg(m_reason);
    say(text);
}

QString PageStateJournal::statusChange(const QString& message) {
    if (message == m_statusMessage && (failing() ? m_statusReason == m_reason : m_statusReason.isEmpty())) {
        return {};
    }
    m_statusMessage = message;
    m_statusReason = failing() ? m_reason : QString();
    return OneLine(m_statusReason.isEmpty() ? message : message + QStringLiteral(" (") + m_statusReason +
                                                            QLatin1Char(')'));
}

QString PageStateJournal::Reason(const HttpResult& result) {
    return result.transferOk ? QStringLiteral("HTTP %1").arg(result.status) : result.error;
}

QString PageStateJournal::Duration(std::chrono::milliseconds elapsed) {
    if (elapsed.count() < 1000) return QStringLiteral("%1 ms").arg(elapsed.count());
    return QStringLiteral("%1 s").arg(static_cast<double>(elapsed.count()) / 1000.0, 0, 'f', 1);
}

void PageStateJournal::say(const QString& text) {
    m_sink(QByteArrayLiteral("Tarvesk: ") + OneLine(text).toUtf8() + '\n');
}

}  // namespace tarvesk
