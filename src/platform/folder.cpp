#include "platform/folder.h"

#include <QFile>

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/retry_on_eintr.h"

namespace tarvesk {
namespace {

int OpenDirectory(int base, const char* path) {
    return RetryOnEintr([&] { return ::openat(base, path, O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
}

QByteArray DirPart(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0) return QByteArrayLiteral(".");
    return slash == 0 ? QByteArrayLiteral("/") : path.left(slash);
}

QByteArray NamePart(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    return slash < 0 ? path : path.mid(slash + 1);
}

}  // namespace

Folder::Folder(int fd, QString path) : m_fd(fd), m_path(std::move(path)) {}

Folder Folder::Open(const QString& path) {
    const QByteArray encoded = QFile::encodeName(path);
    if (encoded.isEmpty() || encoded.contains('\0')) return Folder(-1, path);
    return Folder(OpenDirectory(AT_FDCWD, encoded.constData()), path);
}

Folder Folder::OpenParentOf(const QString& filePath, QByteArray* name) {
    const QByteArray encoded = QFile::encodeName(filePath);
    if (name) *name = NamePart(encoded);
    return Open(QFile::decodeName(DirPart(encoded)));
}

Folder Folder::OpenFrom(const Folder& base, const QByteArray& path) {
    if (!base.isOpen() || path.isEmpty() || path.contains('\0')) return Folder();
    const QString shown = path.startsWith('/') ? QFile::decodeName(path)
                          : path == "."        ? base.path()
                                               : base.path() + QLatin1Char('/') + QFile::decodeName(path);
    return Folder(OpenDirectory(base.fd(), path.constData()), shown);
}

Folder::Folder(Folder&& other) noexcept : m_fd(other.m_fd), m_path(std::move(other.m_path)) { other.m_fd = -1; }

Folder& Folder::operator=(Folder&& other) noexcept {
    if (this != &other) {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = other.m_fd;
        m_path = std::move(other.m_path);
        other.m_fd = -1;
    }
    return *this;
}

Folder::~Folder() {
    if (m_fd >= 0) ::close(m_fd);
}

bool Folder::hasFile(const QByteArray& name) const {
    struct stat st {};
    return isOpen() && IsPlainName(name) && ::fstatat(m_fd, name.constData(), &st, 0) == 0 && S_ISREG(st.st_mode);
}

bool IsPlainName(const QByteArray& name) {
    return !name.isEmpty() && !name.contains('/') && !name.contains('\0') && name != "." && name != "..";
}

bool ResolveTarget(const Folder& start, const QByteArray& name, FileTarget* target) {
    if (!start.isOpen() || !IsPlainName(name)) return false;
    target->other = Folder();
    target->name = name;
    target->viaLink = false;
    for (int hops = 0; hops < 40; ++hops) {
        const Folder& folder = target->folder(start);
        struct stat st {};
        if (::fstatat(folder.fd(), target->name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            return errno == ENOENT;  // a file yet to be made
        if (!S_ISLNK(st.st_mode)) return true;

        std::string text(PATH_MAX, '\0');
        const ssize_t n = ::readlinkat(folder.fd(), target->name.constData(), text.data(), text.size());
        if (n <= 0 || static_cast<size_t>(n) >= text.size()) return false;
        const QByteArray link(text.data(), static_cast<qsizetype>(n));
        const QByteArray next = NamePart(link);
        if (!IsPlainName(next)) return false;  // "dir/", "..": no file
        // A relative link names a path from the folder it lies in.
        Folder nextFolder = Folder::OpenFrom(folder, DirPart(link));
        if (!nextFolder.isOpen()) return false;
        target->other = std::move(nextFolder);
        target->name = next;
        target->viaLink = true;
    }
    return false;  // a loop of links
}

}  // namespace tarvesk
