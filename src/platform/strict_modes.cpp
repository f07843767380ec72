#include "platform/strict_modes.h"

#include <QFile>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvesk {
namespace {

bool OnlyRootCanWrite(const struct stat& st) {
    return st.st_uid == 0 && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// A folder that does not exist holds no file to fear.
bool FolderOnlyRootCanWrite(const std::string& path) {
    struct stat st {};
    if (::stat(FolderOf(path).c_str(), &st) != 0) return errno == ENOENT;
    return OnlyRootCanWrite(st);
}

}  // namespace

bool CommandsFromFileMayRun(const QString& filePath) {
    if (::geteuid() != 0) return true;
    const std::string path = QFile::encodeName(filePath).toStdString();
    // The folder the program names the file in: whoever may write it may
    // put a file (or a link) of their own there.
    if (!FolderOnlyRootCanWrite(path)) return false;
    struct stat link {};
    if (::lstat(path.c_str(), &link) != 0) return errno == ENOENT;
    if (!S_ISLNK(link.st_mode)) return OnlyRootCanWrite(link);
    // A link: the file it leads to and that file's folder must be root's too.
    char* real = ::realpath(path.c_str(), nullptr);
    if (!real) return false;
    const std::string target(real);
    std::free(real);
    struct stat st {};
    return ::stat(target.c_str(), &st) == 0 && OnlyRootCanWrite(st) && FolderOnlyRootCanWrite(target);
}

bool ReadableByOthers(const QString& filePath) {
    struct stat st {};
    return ::stat(QFile::encodeName(filePath).constData(), &st) == 0 && (st.st_mode & (S_IRGRP | S_IROTH)) != 0;
}

}  // namespace tarvesk
