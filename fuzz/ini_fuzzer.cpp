// ProfileStore against arbitrary files and names: a write either does what it
// says and leaves every other line alone, or leaves the file exactly as it was;
// a read never crashes and returns the value as written, trimmed and cut.

#include "config/profile_store.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void Fail();

void Check(bool ok) {
    if (!ok) Fail();
}

// One folder per process, reused by every run and removed at exit.
struct Scratch {
    std::string folder;
    std::string file;
    QString path;

    Scratch() {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/tarvesk-ini-fuzz-XXXXXX";
        if (!::mkdtemp(pattern.data())) std::abort();
        folder = pattern;
        file = folder + "/Tarvesk.ini";
        path = QString::fromStdString(file);
    }
    ~Scratch() {
        ::unlink(file.c_str());
        ::rmdir(folder.c_str());
    }
};

Scratch& Dir() {
    static Scratch scratch;
    return scratch;
}

// A trap skips the destructors: the scratch folder goes first.
void Fail() {
    Scratch& dir = Dir();
    ::unlink(dir.file.c_str());
    ::rmdir(dir.folder.c_str());
    __builtin_trap();
}

void Put(const std::string& file, const QByteArray& data) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) std::abort();
    if (::fchmod(fd, 0644) != 0) std::abort();
    if (::write(fd, data.constData(), size_t(data.size())) != data.size()) std::abort();
    ::close(fd);
}

// The file's bytes, or nothing when it does not exist.
std::optional<QByteArray> Get(const std::string& file) {
    FILE* f = std::fopen(file.c_str(), "rb");
    if (!f) return std::nullopt;
    QByteArray data;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) data.append(buffer, qsizetype(n));
    std::fclose(f);
    return data;
}

mode_t Mode(const std::string& file) {
    struct stat st {};
    return ::stat(file.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

// Only the settings file itself may be left in the folder: no temporaries.
bool FolderIsClean(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return false;
    bool clean = true;
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name != "." && name != ".." && name != "Tarvesk.ini") clean = false;
    }
    ::closedir(dir);
    return clean;
}

bool Blank(char c) { return c == ' ' || c == '\t'; }

QByteArray Trim(QByteArray s) {
    while (!s.isEmpty() && Blank(s.front())) s.remove(0, 1);
    while (!s.isEmpty() && Blank(s.back())) s.chop(1);
    return s;
}

bool SameAscii(const QByteArray& a, const QByteArray& b) {
    if (a.size() != b.size()) return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = char(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = char(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

bool HasBreakOrNul(const QByteArray& s) {
    return s.contains('\r') || s.contains('\n') || s.contains('\0');
}

// Whether names and value can be stored at all.
bool Storable(const QByteArray& section, const QByteArray& key, const QByteArray& value) {
    if (section.isEmpty() || key.isEmpty()) return false;
    if (HasBreakOrNul(section) || HasBreakOrNul(key) || HasBreakOrNul(value)) return false;
    if (section.contains('[') || section.contains(']') || key.contains('=')) return false;
    return key.front() != ';' && key.front() != '#' && key.front() != '[';
}

// What a read returns for a stored value: leading blanks dropped, cut at 199
// bytes on a UTF-8 boundary (the value came from a QString, so it is valid
// UTF-8), trailing blanks dropped.
QString Expected(const QByteArray& stored) {
    QByteArray v = stored;
    while (!v.isEmpty() && Blank(v.front())) v.remove(0, 1);
    if (v.size() > tarvesk::ProfileStore::kMaxValueBytes) {
        qsizetype cut = tarvesk::ProfileStore::kMaxValueBytes;
        while (cut > 0 && (uint8_t(v[cut]) & 0xC0) == 0x80) --cut;
        v.truncate(cut);
    }
    return QString::fromUtf8(Trim(v));
}

QList<QByteArray> Lines(const QByteArray& data) {
    QList<QByteArray> lines = data.split('\n');
    if (!lines.isEmpty() && lines.back().isEmpty()) lines.removeLast();
    return lines;
}

// The new file is the old one with at most one entry line given a new value
// and a few lines (a blank, a header, an entry) added in one place.
bool OnlyTheEntryChanged(const QByteArray& before, const QByteArray& after,
                         const QByteArray& value) {
    const QList<QByteArray> o = Lines(before);
    const QList<QByteArray> n = Lines(after);
    // A last line without a line break gets one in the file's style, so it may
    // gain a CR before the LF; a CR it already ends with must not be doubled.
    const bool openEnd = !before.isEmpty() && !before.endsWith('\n');
    const auto same = [&](qsizetype i, qsizetype j) {
        if (o[i] == n[j]) return true;
        return openEnd && i == o.size() - 1 && !o[i].endsWith('\r') && n[j] == o[i] + '\r';
    };
    qsizetype prefix = 0;
    while (prefix < o.size() && prefix < n.size() && same(prefix, prefix)) ++prefix;
    qsizetype suffix = 0;
    while (prefix + suffix < o.size() && prefix + suffix < n.size() &&
           same(o.size() - 1 - suffix, n.size() - 1 - suffix))
        ++suffix;
    const qsizetype oldMiddle = o.size() - prefix - suffix;
    const qsizetype newMiddle = n.size() - prefix - suffix;
    if (oldMiddle == 0) return newMiddle <= 3;
    if (oldMiddle != 1 || newMiddle != 1) return false;
    const QByteArray& was = o[prefix];
    const qsizetype eq = was.indexOf('=');
    if (eq < 0) return false;
    QByteArray expected = was.left(eq + 1) + value;
    if (was.endsWith('\r')) expected += '\r';
    return n[prefix] == expected;
}

const QString kMissing = QStringLiteral("\n<missing>\n");  // no value can look like this

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using tarvesk::ProfileStore;
    FuzzedDataProvider in(data, size);
    const uint8_t flags = in.ConsumeIntegral<uint8_t>();
    const std::string sectionText = in.ConsumeRandomLengthString(48);
    const std::string keyText = in.ConsumeRandomLengthString(48);
    const std::string otherKeyText = in.ConsumeRandomLengthString(24);
    const std::string valueText = in.ConsumeRandomLengthString(320);
    const std::string contentText = in.ConsumeRemainingBytesAsString();

    const QString section = QString::fromUtf8(sectionText.data(), qsizetype(sectionText.size()));
    const QString key = QString::fromUtf8(keyText.data(), qsizetype(keyText.size()));
    const QString otherKey = QString::fromUtf8(otherKeyText.data(), qsizetype(otherKeyText.size()));
    const QString value = QString::fromUtf8(valueText.data(), qsizetype(valueText.size()));
    const QByteArray content(contentText.data(), qsizetype(contentText.size()));

    Scratch& dir = Dir();
    const bool fresh = (flags & 1) != 0;  // no file yet
    if (fresh) ::unlink(dir.file.c_str());
    else Put(dir.file, content);

    // Reads never create the file and never crash, whatever it holds.
    (void)ProfileStore::ReadIni(dir.path, QStringLiteral("General"), QStringLiteral("Interval"), kMissing);
    (void)ProfileStore::ReadIni(dir.path, QStringLiteral("Mail"), QStringLiteral("Server"), kMissing);
    const QString otherBefore = ProfileStore::ReadIni(dir.path, section, otherKey, kMissing);
    const QString keyBefore = ProfileStore::ReadIni(dir.path, section, key, kMissing);
    if (fresh) Check(!Get(dir.file).has_value() && otherBefore == kMissing && keyBefore == kMissing);

    const QByteArray sectionBytes = Trim(section.toUtf8());
    const QByteArray keyBytes = Trim(key.toUtf8());
    const QByteArray valueBytes = value.toUtf8();
    const bool ok = ProfileStore::WriteIni(dir.path, section, key, value);
    Check(ok == Storable(sectionBytes, keyBytes, valueBytes));
    Check(FolderIsClean(dir.folder));

    const std::optional<QByteArray> after = Get(dir.file);
    if (!ok) {
        if (fresh) Check(!after.has_value());
        else Check(after.has_value() && *after == content && Mode(dir.file) == 0644);
        return 0;
    }

    Check(after.has_value());
    Check(ProfileStore::ReadIni(dir.path, section, key, kMissing) == Expected(valueBytes));
    if (!SameAscii(Trim(otherKey.toUtf8()), keyBytes))
        Check(ProfileStore::ReadIni(dir.path, section, otherKey, kMissing) == otherBefore);

    if (fresh) {
        Check(*after == '[' + sectionBytes + "]\n" + keyBytes + '=' + valueBytes + '\n');
        Check(Mode(dir.file) == 0600);
    } else {
        Check(Mode(dir.file) == 0644);
        if (!OnlyTheEntryChanged(content, *after, valueBytes)) {
            std::fprintf(stderr, "write changed more than the entry:\nbefore: %s\nafter:  %s\n",
                         content.toPercentEncoding().constData(),
                         after->toPercentEncoding().constData());
            Fail();
        }
    }
    return 0;
}
