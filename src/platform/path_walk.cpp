#include "platform/path_walk.h"

#include <QDir>
#include <QFile>
#include <QList>

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/retry_on_eintr.h"

namespace tarvesk {
namespace {

constexpr int kMaxLinks = 40;

bool IsRoot() { return ::geteuid() == 0; }

QByteArray Join(const QByteArray& folder, const QByteArray& name) {
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

QByteArray Parent(const QByteArray& folder) {
    const qsizetype slash = folder.lastIndexOf('/');
    return slash <= 0 ? QByteArrayLiteral("/") : folder.left(slash);
}

int OpenStep(int at, const char* name) {
    return RetryOnEintr([&] { return ::openat(at, name, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC); });
}

// One walk from `start` through `pending`, the components still to go.
class Walk {
public:
    Walk(const Folder& start, bool judge, FileTarget* target)
        : m_start(start), m_here(&start), m_shown(QFile::encodeName(start.path())), m_judge(judge), m_target(target) {}

    bool run(QList<QByteArray> pending) {
        int links = 0;
        while (!pending.isEmpty()) {
            const QByteArray part = pending.takeFirst();
            if (part.isEmpty() || part == ".") continue;
            if (part == "..") {
                if (!enter(OpenStep(m_here->fd(), ".."), Parent(m_shown))) return false;
                continue;
            }
            struct stat st {};
            if (::fstatat(m_here->fd(), part.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
                // Only the last component may be missing: a file yet to be made.
                if (errno != ENOENT || !pending.isEmpty()) return false;
                return finish(part, false);
            }
            if (S_ISLNK(st.st_mode)) {
                if (++links > kMaxLinks) return false;
                if (m_judge) {
                    // Whoever may change the folder of the first link may
                    // change the link: that folder counts from here on.
                    if (links == 1) m_target->trust.add(JudgeFolder(m_start));
                    if (st.st_uid != 0) m_target->trust.add({Trust::Cause::OnTheWay, shown(part)});
                }
                QByteArray text;
                if (!readLink(part, &text)) return false;
                m_target->viaLink = true;
                if (text.startsWith('/') && !enter(OpenStep(AT_FDCWD, "/"), QByteArrayLiteral("/"))) return false;
                pending = text.split('/') + pending;
                continue;
            }
            if (pending.isEmpty()) return finish(part, true);
            if (!S_ISDIR(st.st_mode)) return false;
            if (!enter(OpenStep(m_here->fd(), part.constData()), Join(m_shown, part))) return false;
        }
        return false;  // the path ends in a folder: no file
    }

private:
    QString shown(const QByteArray& name) const { return QFile::decodeName(Join(m_shown, name)); }

    // Steps into the folder opened as `fd`, judged as root on its own: the
    // folders above it were passed (and judged) on the way down, or are the
    // start's, judged with the first link.
    bool enter(int fd, const QByteArray& path) {
        if (fd < 0) return false;
        m_owned = Folder::Adopt(fd, QFile::decodeName(path));
        m_here = &m_owned;
        m_shown = path;
        if (m_judge) {
            struct stat st {};
            if (::fstat(fd, &st) != 0 || !OnlyRootCanWrite(st))
                m_target->trust.add({Trust::Cause::OnTheWay, m_owned.path()});
            if (OnPseudoFileSystem(fd)) m_target->trust.add({Trust::Cause::Pseudo, m_owned.path()});
        }
        return true;
    }

    bool readLink(const QByteArray& name, QByteArray* text) const {
        std::string buffer(PATH_MAX, '\0');
        const ssize_t n = ::readlinkat(m_here->fd(), name.constData(), buffer.data(), buffer.size());
        if (n <= 0 || static_cast<size_t>(n) >= buffer.size()) return false;
        *text = QByteArray(buffer.data(), static_cast<qsizetype>(n));
        return true;
    }

    bool finish(const QByteArray& name, bool exists) {
        // As root a link never makes a new file: its text says where, and
        // whoever wrote it chose that place.
        if (m_judge && !exists && m_target->viaLink) m_target->trust.add({Trust::Cause::Dangling, shown(name)});
        if (m_here == &m_owned) m_target->other = std::move(m_owned);
        m_target->name = name;
        m_target->exists = exists;
        return true;
    }

    const Folder& m_start;
    const Folder* m_here;
    Folder m_owned;
    QByteArray m_shown;
    const bool m_judge;
    FileTarget* m_target;
};

}  // namespace

bool ResolveTarget(const Folder& start, const QByteArray& name, FileTarget* target) {
    *target = FileTarget();
    if (!start.isOpen() || !IsPlainName(name)) return false;
    return Walk(start, IsRoot(), target).run({name});
}

Trust JudgeTarget(const Folder& start, const FileTarget& target, const struct stat* st) {
    if (!IsRoot()) return {};
    Trust trust = target.viaLink ? target.trust : JudgeFolder(start);
    if (st && !OnlyRootCanWrite(*st)) trust.add({Trust::Cause::IniOrFolder, QString()});
    return trust;
}

Trust JudgeFile(const Folder& folder, const QByteArray& name) {
    if (!IsRoot() || !folder.isOpen()) return {};
    FileTarget target;
    if (!ResolveTarget(folder, name, &target)) return {Trust::Cause::IniOrFolder, QString()};
    if (!target.exists) return JudgeTarget(folder, target, nullptr);
    struct stat st {};
    if (::fstatat(target.folder(folder).fd(), target.name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return {Trust::Cause::IniOrFolder, QString()};
    return JudgeTarget(folder, target, &st);
}

bool ResolveProgram(const QByteArray& path, QByteArray* real, Trust* trust) {
    const bool absolute = path.startsWith('/');
    const Folder base = Folder::Open(absolute ? QStringLiteral("/") : QDir::currentPath());
    if (!base.isOpen()) return false;
    FileTarget target;
    if (!Walk(base, true, &target).run(path.split('/')) || !target.exists) return false;
    const Folder& folder = target.folder(base);
    struct stat st {};
    if (::fstatat(folder.fd(), target.name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
        return false;
    *real = Join(QFile::encodeName(folder.path()), target.name);
    *trust = JudgeFolder(base);
    trust->add(target.trust);
    if (!OnlyRootCanWrite(st)) trust->add({Trust::Cause::OnTheWay, QFile::decodeName(*real)});
    return true;
}

}  // namespace tarvesk
