#include "platform/folder.h"

#include <QFile>

#include <cerrno>
#include <climits>
#include <string>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/retry_on_eintr.h"

namespace tarvesk {
namespace {

// Opened for reading where the folder allows it, so that it can be synced
// after a rename; otherwise for path operations alone, which need nothing
// but search permission.
int OpenDirectory(int base, const char* path) {
    const int fd = RetryOnEintr([&] { return ::openat(base, path, O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
    if (fd >= 0 || errno != EACCES) return fd;
    return RetryOnEintr([&] { return ::openat(base, path, O_PATH | O_DIRECTORY | O_CLOEXEC); });
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

Folder::Folder(int fd, QString path) : m_fd(fd), m_error(fd < 0 ? errno : 0), m_path(std::move(path)) {}

Folder Folder::Open(const QString& path) {
    const QByteArray encoded = QFile::encodeName(path);
    if (encoded.isEmpty() || encoded.contains('\0')) {
        errno = ENOENT;
        return Folder(-1, path);
    }
    return Folder(OpenDirectory(AT_FDCWD, encoded.constData()), path);
}

Folder Folder::OpenWorking() {
    const int fd = OpenDirectory(AT_FDCWD, ".");
    const int error = errno;
    // The name is for messages alone.
    std::string name(PATH_MAX, '\0');
    const QString path = ::getcwd(name.data(), name.size()) ? QFile::decodeName(name.c_str()) : QStringLiteral(".");
    errno = error;
    return Folder(fd, path);
}

Folder Folder::OpenParentOf(const QString& filePath, QByteArray* name) {
    const QByteArray encoded = QFile::encodeName(filePath);
    if (name) *name = NamePart(encoded);
    return Open(QFile::decodeName(DirPart(encoded)));
}

Folder Folder::Adopt(int fd, const QString& path) { return Folder(fd, path); }

Folder::Folder(Folder&& other) noexcept : m_fd(other.m_fd), m_error(other.m_error), m_path(std::move(other.m_path)) {
    other.m_fd = -1;
}

Folder& Folder::operator=(Folder&& other) noexcept {
    if (this != &other) {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = other.m_fd;
        m_error = other.m_error;
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

}  // namespace tarvesk
