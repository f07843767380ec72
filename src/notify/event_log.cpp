#include "notify/event_log.h"

#include <QFile>

#include "config/settings_table.h"
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
    const QByteArray line = FormatLine(when, kind, detail);
    QFile file(PathFor(folder, when));
    // Unbuffered: the whole line reaches the file in one write.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) return;
    file.write(line);
    file.close();
}

}  // namespace tarvesk
