#include "config/profile_store.h"

#include "platform/atomic_file.h"
#include "platform/folder.h"
#include "platform/kept_file.h"

#include <QByteArray>
#include <QFile>
#include <QList>

namespace tarvesk {
namespace {

// The file is handled as bytes throughout: names are matched as UTF-8 bytes
// with ASCII case folding, so invalid UTF-8 or binary junk in the file can
// neither crash a read nor be altered by a write.

bool IsBlankOrTab(char c) { return c == ' ' || c == '\t'; }

// Views into the file's bytes: a parse makes no copy of a line or a name.
QByteArrayView TrimBlanksAndTabs(QByteArrayView text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && IsBlankOrTab(text[begin])) ++begin;
    while (end > begin && IsBlankOrTab(text[end - 1])) --end;
    return text.sliced(begin, end - begin);
}

QByteArray TrimBlanksAndTabs(const QByteArray& text) {
    return TrimBlanksAndTabs(QByteArrayView(text)).toByteArray();
}

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(QByteArrayView a, QByteArrayView b) {
    if (a.size() != b.size()) return false;
    for (qsizetype i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    return true;
}

enum class LineKind { Other, Blank, Header, Entry };

struct Line {
    qsizetype start = 0;    // offset of the line in the file
    qsizetype bodyEnd = 0;  // end of the text, before CR LF / LF
    qsizetype end = 0;      // end including the line break
    LineKind kind = LineKind::Other;
    QByteArrayView name;    // section or key name, trimmed (a view into the file's bytes)
    qsizetype equals = -1;  // offset of the first '=' of an entry
};

QList<Line> SplitLines(const QByteArray& data) {
    QList<Line> lines;
    lines.reserve(data.count('\n') + 1);
    qsizetype pos = 0;
    while (pos < data.size()) {
        Line line;
        line.start = pos;
        qsizetype newline = data.indexOf('\n', pos);
        line.end = newline < 0 ? data.size() : newline + 1;
        line.bodyEnd = newline < 0 ? data.size() : newline;
        if (line.bodyEnd > line.start && data[line.bodyEnd - 1] == '\r') --line.bodyEnd;
        pos = line.end;

        // A UTF-8 byte order mark (left by some editors) is kept but does not
        // hide the first header.
        qsizetype bodyStart = line.start;
        if (line.start == 0 && data.startsWith("\xEF\xBB\xBF"))
            bodyStart = qMin<qsizetype>(3, line.bodyEnd);
        const QByteArrayView body = QByteArrayView(data).sliced(bodyStart, line.bodyEnd - bodyStart);
        const QByteArrayView trimmed = TrimBlanksAndTabs(body);
        if (trimmed.isEmpty()) {
            line.kind = LineKind::Blank;
        } else if (trimmed.front() == ';' || trimmed.front() == '#') {
            line.kind = LineKind::Other;  // comment
        } else if (trimmed.front() == '[' && trimmed.back() == ']' && trimmed.size() >= 2) {
            line.kind = LineKind::Header;
            line.name = TrimBlanksAndTabs(trimmed.sliced(1, trimmed.size() - 2));
        } else if (const qsizetype eq = body.indexOf('='); eq >= 0) {
            line.name = TrimBlanksAndTabs(body.first(eq));
            if (!line.name.isEmpty()) {
                line.kind = LineKind::Entry;
                line.equals = bodyStart + eq;
            }
        }
        lines.append(line);
    }
    return lines;
}

// Index of the first header named `section`, or -1.
qsizetype FindSection(const QList<Line>& lines, const QByteArray& section) {
    for (qsizetype i = 0; i < lines.size(); ++i)
        if (lines[i].kind == LineKind::Header && SameName(lines[i].name, section)) return i;
    return -1;
}

// One past the last line of the section whose header is at `header`.
qsizetype SectionEnd(const QList<Line>& lines, qsizetype header) {
    qsizetype i = header + 1;
    while (i < lines.size() && lines[i].kind != LineKind::Header) ++i;
    return i;
}

qsizetype FindKey(const QList<Line>& lines, qsizetype header, qsizetype end,
                  const QByteArray& key) {
    for (qsizetype i = header + 1; i < end; ++i)
        if (lines[i].kind == LineKind::Entry && SameName(lines[i].name, key)) return i;
    return -1;
}

// At most `limit` bytes, never ending inside a UTF-8 sequence: when the last
// kept byte belongs to a sequence that the limit cuts short, the whole sequence
// goes. Bytes that are not UTF-8 are cut where the limit falls.
QByteArray CutUtf8(const QByteArray& value, qsizetype limit) {
    if (value.size() <= limit) return value;
    const auto byteAt = [&](qsizetype i) { return static_cast<unsigned char>(value[i]); };
    qsizetype lead = limit - 1;
    for (int back = 0; back < 3 && lead > 0 && (byteAt(lead) & 0xC0) == 0x80; ++back) --lead;
    const unsigned char first = byteAt(lead);
    const qsizetype length = (first & 0xE0) == 0xC0   ? 2
                             : (first & 0xF0) == 0xE0 ? 3
                             : (first & 0xF8) == 0xF0 ? 4
                                                      : 1;
    return value.left(lead + length > limit ? lead : limit);
}

bool HasLineBreakOrNul(const QByteArray& text) {
    return text.contains('\r') || text.contains('\n') || text.contains('\0');
}

// Ends the text's last line before more lines follow. A last line that stops
// at a lone CR only needs its LF; a second CR would stay in its value.
void EndLine(QByteArray& text, const QByteArray& eol) {
    if (text.endsWith('\n')) return;
    text += text.endsWith('\r') ? QByteArrayLiteral("\n") : eol;
}

}  // namespace

QString ProfileStore::ReadIni(const QString& filePath, const QString& section,
                              const QString& keyName, const QString& defaultValue) {
    QByteArray name;
    const Folder folder = Folder::OpenParentOf(filePath, &name);
    return ReadIni(folder, QFile::decodeName(name), section, keyName, defaultValue);
}

bool ProfileStore::WriteIni(const QString& filePath, const QString& section,
                            const QString& keyName, const QString& value) {
    QByteArray name;
    const Folder folder = Folder::OpenParentOf(filePath, &name);
    return WriteIni(folder, QFile::decodeName(name), section, keyName, value);
}

QString ProfileStore::ReadIni(const Folder& folder, const QString& fileName, const QString& section,
                              const QString& keyName, const QString& defaultValue, Trust* trust) {
    KeptFile file(folder, QFile::encodeName(fileName));
    return ReadIni(file, section, keyName, defaultValue, trust);
}

QString ProfileStore::ReadIni(KeptFile& file, const QString& section, const QString& keyName,
                              const QString& defaultValue, Trust* trust) {
    const std::optional<QByteArray> data = file.read(trust);
    if (!data) return defaultValue;

    const QByteArray sectionName = TrimBlanksAndTabs(section.toUtf8());
    const QByteArray key = TrimBlanksAndTabs(keyName.toUtf8());
    const QList<Line> lines = SplitLines(*data);
    const qsizetype header = FindSection(lines, sectionName);
    if (header < 0) return defaultValue;
    const qsizetype entry = FindKey(lines, header, SectionEnd(lines, header), key);
    if (entry < 0) return defaultValue;

    const Line& line = lines[entry];
    QByteArray value = data->mid(line.equals + 1, line.bodyEnd - line.equals - 1);
    qsizetype lead = 0;
    while (lead < value.size() && IsBlankOrTab(value[lead])) ++lead;
    value = CutUtf8(value.mid(lead), kMaxValueBytes);
    return QString::fromUtf8(TrimBlanksAndTabs(value));
}

bool ProfileStore::WriteIni(const Folder& folder, const QString& fileName, const QString& section,
                            const QString& keyName, const QString& value) {
    KeptFile file(folder, QFile::encodeName(fileName));
    return WriteIni(file, section, keyName, value);
}

bool ProfileStore::WriteIni(KeptFile& file, const QString& section, const QString& keyName, const QString& value) {
    const QByteArray sectionName = TrimBlanksAndTabs(section.toUtf8());
    const QByteArray key = TrimBlanksAndTabs(keyName.toUtf8());
    const QByteArray newValue = value.toUtf8();

    // Anything that could not be read back as the same section, key and value.
    if (sectionName.isEmpty() || key.isEmpty()) return false;
    if (HasLineBreakOrNul(sectionName) || HasLineBreakOrNul(key) || HasLineBreakOrNul(newValue))
        return false;
    if (sectionName.contains('[') || sectionName.contains(']')) return false;
    if (key.contains('=') || key.front() == ';' || key.front() == '#' || key.front() == '[')
        return false;

    QByteArray data;
    if (const std::optional<QByteArray> old = file.read()) {
        data = *old;
    } else {
        // Only a file that does not exist may be started afresh; one that
        // exists but cannot be read must not be replaced.
        if (!file.isMissing()) return false;
    }

    const QList<Line> lines = SplitLines(data);
    const QByteArray eol = (!lines.isEmpty() && data.mid(lines[0].bodyEnd, 2) == "\r\n")
                               ? QByteArrayLiteral("\r\n")
                               : QByteArrayLiteral("\n");
    const QByteArray entryLine = key + '=' + newValue + eol;

    QByteArray result;
    const qsizetype header = FindSection(lines, sectionName);
    if (header < 0) {
        result = data;
        if (!result.isEmpty()) {
            EndLine(result, eol);
            if (lines.back().kind != LineKind::Blank) result += eol;
        }
        result += '[' + sectionName + ']' + eol + entryLine;
    } else {
        const qsizetype end = SectionEnd(lines, header);
        const qsizetype entry = FindKey(lines, header, end, key);
        if (entry >= 0) {
            // In place: the key as it stands, the new value, the old line break.
            const Line& line = lines[entry];
            result = data.left(line.equals + 1) + newValue + data.mid(line.bodyEnd);
        } else {
            qsizetype last = end - 1;
            while (last > header && lines[last].kind == LineKind::Blank) --last;
            const qsizetype at = lines[last].end;
            result = data.left(at);
            EndLine(result, eol);
            result += entryLine + data.mid(at);
        }
    }
    // The entry is already stored as asked: a synced replacement would change
    // nothing but wear the disk.
    if (result == data) return true;
    return file.replace(result);
}

void ProfileStore::RemoveLeftovers(const Folder& folder, const QString& fileName) {
    RemoveLeftoverTemporaries(folder, QFile::encodeName(fileName));
}

void ProfileStore::RemoveLeftovers(const QString& filePath) { RemoveLeftoverTemporaries(filePath); }

}  // namespace tarvesk
