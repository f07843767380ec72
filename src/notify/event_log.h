#pragma once

#include <QDateTime>
#include <QString>

namespace tarvesk {

// The monthly event log beside the executable: "YEAR-MONTH.log", one
// TAB-separated line per event (timestamp, kind, detail), CRLF line ends,
// UTF-8 without BOM.
class EventLog {
public:
    // Path of the file that takes entries made at `when`.
    static QString PathFor(const QString& folder, const QDateTime& when);

    // The line written for an event, line end included.
    static QByteArray FormatLine(const QDateTime& when, const QString& kind, const QString& detail);

    // Appends one entry, creating the file when missing. Opened, written in a
    // single write and closed per entry, so a crash never leaves half a line;
    // a write the disk cuts short is undone, so neither does a full disk or a
    // file-size limit. Failures (no folder, no rights, full disk, a FIFO or
    // anything else but a regular file in the log's place) lose the entry
    // silently and never wait.
    static void Append(const QString& folder, const QDateTime& when, const QString& kind,
                       const QString& detail);
};

}  // namespace tarvesk
