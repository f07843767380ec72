#include "notify/event_log.h"

#include "config/settings_table.h"
#include "platform/atomic_file.h"
#include "platform/text_conv.h"

namespace tarvesk {

QString EventLog::PathFor(const QString& folder, const QDateTime& when) {
    const QDate date = when.date();
    const QString name = QStringLiteral("%1-%2.log").arg(date.year()).arg(date.month());
    return PathBeside(folder, name);
}

QByteArray EventLog::FormatLine(const QDateTime& when, const QString& kind, const QString& detail) {
    const QString line = FormatGeneralDateTime(when) + QLatin1Char('\t') + kind + QLatin1Char('\t') +
                         detail + QStringLiteral("\r\n");
    return line.toUtf8();
}

void EventLog::Append(const QString& folder, const QDateTime& when, const QString& kind,
                      const QString& detail) {
    // One write per line, cut back when the disk takes only part of it.
    (void)AppendRecord(PathFor(folder, when), FormatLine(when, kind, detail));
}

}  // namespace tarvesk
