#include "platform/path_walk.h"

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

QByteArray Join(const QByteArray& folder, const QByteArray& name) {
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

QByteArray Parent(const QByteArray& folder) {
    const qsizetype slash = folder.lastIndexOf('/');
    return slash <= 0 ? QByteArrayLiteral("/") : folder.left(slash);
}

// A name in a folder, for a message.
QString PathIn(const Folder& folder, const QByteArray& name) {
    return QFile::decodeName(Join(QFile::encodeName(folder.path()), name));
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
                if (!enter(OpenStep(m_here->fd(), ".."), Parent(m_shown))) return stuck(part);
                continue;
            }
            struct stat st {};
            if (::fstatat(m_here->fd(), part.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
                // Only the last component may be missing: a file yet to be made.
                if (errno != ENOENT || !pending.isEmpty()) return stuck(part);
                return finish(part, false);
            }
            if (S_ISLNK(st.st_mode)) {
                if (++links > kMaxLinks) return stuck(part);
                if (m_judge) {
                    // Whoever may change the folder of the first link may
                    // change the link: that folder counts from here on.
                    if (links == 1) m_target->trust.add(JudgeFolder(m_start));
                    if (st.st_uid != 0) m_target->trust.add({Trust::Cause::OnTheWay, shown(part)});
                }
                QByteArray text;
                if (!readLink(part, &text)) return stuck(part);
                m_target->viaLink = true;
                if (text.startsWith('/') && !enter(OpenStep(AT_FDCWD, "/"), QByteArrayLiteral("/"))) return stuck("/");
                pending = text.split('/') + pending;
                continue;
            }
            if (pending.isEmpty()) return finish(part, true);
            if (!S_ISDIR(st.st_mode)) return stuck(part);
            if (!enter(OpenStep(m_here->fd(), part.constData()), Join(m_shown, part))) return stuck(part);
        }
        return stuck(QByteArray());  // the path ends in a folder: no file
    }

private:
    QString shown(const QByteArray& name) const {
        return QFile::decodeName(name.isEmpty() ? m_shown : name.startsWith('/') ? name : Join(m_shown, name));
    }

    // The way cannot be followed past `name`: as root, a refusal that says
    // where, never a pass.
    bool stuck(const QByteArray& name) {
        if (m_judge) m_target->trust.add({Trust::Cause::Unfollowable, shown(name)});
        return false;
    }

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
    const bool judge = IsRoot();
    if (!start.isOpen() || !IsPlainName(name)) {
        if (judge) target->trust = start.isOpen() ? Trust{Trust::Cause::Unfollowable, PathIn(start, name)} : JudgeFolder(start);
        return false;
    }
    return Walk(start, judge, target).run({name});
}

QByteArray TakenOverMarker(const QByteArray& name) { return '.' + name + ".taken-over"; }

Trust JudgeTarget(const Folder& start, const FileTarget& target, const struct stat* st) {
    if (!IsRoot()) return {};
    Trust trust = target.viaLink ? target.trust : JudgeFolder(start);
    if (st && !OnlyRootCanWrite(*st)) trust.add({Trust::Cause::IniOrFolder, QString()});
    const Folder& folder = target.folder(start);
    const QByteArray marker = TakenOverMarker(target.name);
    struct stat seen {};
    if (::fstatat(folder.fd(), marker.constData(), &seen, AT_SYMLINK_NOFOLLOW) == 0)
        trust.add({Trust::Cause::TakenOver, PathIn(folder, marker)});
    return trust;
}

Trust JudgeFile(const Folder& folder, const QByteArray& name) {
    if (!IsRoot()) return {};
    if (!folder.isOpen()) return JudgeFolder(folder);
    FileTarget target;
    if (!ResolveTarget(folder, name, &target)) return target.trust;
    if (!target.exists) return JudgeTarget(folder, target, nullptr);
    struct stat st {};
    if (::fstatat(target.folder(folder).fd(), target.name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        Trust trust = target.trust;
        trust.add({Trust::Cause::Unfollowable, PathIn(target.folder(folder), target.name)});
        return trust;
    }
    return JudgeTarget(folder, target, &st);
}

Trust JudgeProgram(const QByteArray& path) {
    if (!IsRoot()) return {};
    // The kernel resolves a relative path from the working folder and an
    // absolute one from /: the walk starts where it will.
    const Folder base = path.startsWith('/') ? Folder::Open(QStringLiteral("/")) : Folder::OpenWorking();
    Trust trust = JudgeFolder(base);
    if (!base.isOpen()) return trust;
    // For a program, the folder it is named from is one on its way.
    if (trust.cause == Trust::Cause::IniOrFolder) trust = {Trust::Cause::OnTheWay, base.path()};
    FileTarget target;
    const bool followed = Walk(base, true, &target).run(path.split('/'));
    trust.add(target.trust);
    if (!followed) return trust;
    const Folder& folder = target.folder(base);
    const QString file = PathIn(folder, target.name);
    struct stat st {};
    if (::fstatat(folder.fd(), target.name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(st.st_mode)) {
        trust.add({Trust::Cause::Missing, file});
    } else if (!OnlyRootCanWrite(st)) {
        trust.add({Trust::Cause::OnTheWay, file});
    }
    return trust;
}

}  // namespace tarvesk
