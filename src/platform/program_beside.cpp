#include "platform/program_beside.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/folder.h"
#include "platform/path_walk.h"
#include "platform/retry_on_eintr.h"
#include "platform/strict_modes.h"

extern char** environ;

namespace tarvesk {
namespace {

QString Reason(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

}  // namespace

QString RunProgramBesideInstead(const QByteArray& name, char* argv[]) {
    QByteArray self(4096, '\0');
    const ssize_t length = ::readlink("/proc/self/exe", self.data(), static_cast<size_t>(self.size()));
    if (length <= 0 || length >= self.size()) {
        return QStringLiteral("%1 cannot be found: the program's own path cannot be read (%2)")
            .arg(QString::fromLatin1(name), Reason(length < 0 ? errno : ENAMETOOLONG));
    }
    self.truncate(length);
    const QByteArray folderPath = self.left(qMax<qsizetype>(self.lastIndexOf('/'), 1));
    const QString path = QFile::decodeName(folderPath == "/" ? "/" + name : folderPath + '/' + name);
    const int folderFd =
        RetryOnEintr([&] { return ::open(folderPath.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC); });
    if (folderFd < 0) return QStringLiteral("%1 cannot be run (%2)").arg(path, Reason(errno));
    const Folder folder = Folder::Adopt(folderFd, QFile::decodeName(folderPath));

    // Judged first, opened after: once it is judged root's alone, nobody else
    // can put another file under the name in between.
    const Trust trust = JudgeFile(folder, name);
    if (!trust.trusted()) {
        return QStringLiteral("%1 is not run as root: %2 can be changed by another user")
            .arg(path, trust.folder.isEmpty() ? QStringLiteral("it or its folder") : trust.folder);
    }
    const int fd = RetryOnEintr([&] { return ::openat(folder.fd(), name.constData(), O_PATH | O_CLOEXEC); });
    if (fd < 0) return QStringLiteral("%1 cannot be run (%2)").arg(path, Reason(errno));
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return QStringLiteral("%1 cannot be run (not a regular file)").arg(path);
    }
    ::execveat(fd, "", argv, environ, AT_EMPTY_PATH);
    const int error = errno;
    ::close(fd);
    return QStringLiteral("%1 cannot be run (%2)").arg(path, Reason(error));
}

}  // namespace tarvesk
