#pragma once

#include <QDateTime>
#include <QString>

namespace tarvesk {

class Folder;

// The monthly event log beside the executable: "YEAR-MONTH.log", one
// TAB-separated line per event (timestamp, kind, detail), CRLF line ends,
// UTF-8 without BOM.
class EventLog {
public:
    // Name of the file that takes entries made at `when`.
    static QString FileNameFor(const QDateTime& when);
    // Its path in `folder`.
    static QString PathFor(const QString& folder, const QDateTime& when);

    // The line written for an event, line end included. Control characters
    // in the kind or the detail (a line break, a TAB, a NUL) become blanks, so
    // that every entry is one line of exactly three fields whatever a field
    // held.
    static QByteArray FormatLine(const QDateTime& when, const QString& kind, const QString& detail);

    // Appends one entry to the file in `folder`, creating it when missing.
    // Opened, written in a single write and closed per entry, so a crash never
    // leaves half a line; a write the disk cuts short is undone, so neither
    // does a full disk or a file-size limit. Failures (no rights, full disk, a
    // FIFO or anything else but a regular file in the log's place, a link
    // when running as root) lose the entry silently and never wait. As root,
    // a log of another user's in a folder of root's is first made root's (a
    // new file with its lines), which is said once on standard error.
    static void Append(const Folder& folder, const QDateTime& when, const QString& kind, const QString& detail);
    // The same in the folder at `folderPath`, opened for this entry.
    static void Append(const QString& folderPath, const QDateTime& when, const QString& kind,
                       const QString& detail);
};

}  // namespace tarvesk
