#include "notify/event_log.h"

#include <QFile>

#include "config/settings_table.h"
#include "platform/atomic_file.h"
#include "platform/folder.h"
#include "platform/text_conv.h"

namespace tarvesk {

QString EventLog::FileNameFor(const QDateTime& when) {
    const QDate date = when.date();
    return QStringLiteral("%1-%2.log").arg(date.year()).arg(date.month());
}

QString EventLog::PathFor(const QString& folder, const QDateTime& when) {
    return PathBeside(folder, FileNameFor(when));
}

QByteArray EventLog::FormatLine(const QDateTime& when, const QString& kind, const QString& detail) {
    const QString line = FormatGeneralDateTime(when) + QLatin1Char('\t') + OneLine(kind) + QLatin1Char('\t') +
                         OneLine(detail) + QStringLiteral("\r\n");
    return line.toUtf8();
}

void EventLog::Append(const Folder& folder, const QDateTime& when, const QString& kind, const QString& detail) {
    // One write per line, cut back when the disk takes only part of it.
    (void)AppendRecord(folder, QFile::encodeName(FileNameFor(when)), FormatLine(when, kind, detail));
}

void EventLog::Append(const QString& folderPath, const QDateTime& when, const QString& kind,
                      const QString& detail) {
    Append(Folder::Open(folderPath), when, kind, detail);
}

}  // namespace tarvesk
