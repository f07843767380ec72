#include "notify/event_log.h"

#include <QFile>

#include "config/settings_table.h"
#include "platform/atomic_file.h"
#include "platform/folder.h"
#include "platform/standard_error_prompt.h"
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
    const QString name = FileNameFor(when);
    uid_t takenFrom = 0;
    (void)AppendRecord(folder, QFile::encodeName(name), FormatLine(when, kind, detail), &takenFrom);
    if (takenFrom != 0) {
        // Root's events went into a file that user could read and change
        // until now; the operator should know whose it was.
        StandardErrorPrompt::Say(QStringLiteral("%1 belonged to uid %2; made it root's (mode 0600, the same lines) as "
                                                "a new file before adding root's events")
                                     .arg(PathBeside(folder.path(), name))
                                     .arg(takenFrom),
                                 false);
    }
}

void EventLog::Append(const QString& folderPath, const QDateTime& when, const QString& kind,
                      const QString& detail) {
    Append(Folder::Open(folderPath), when, kind, detail);
}

}  // namespace tarvesk
