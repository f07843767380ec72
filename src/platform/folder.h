#pragma once

#include <QByteArray>
#include <QString>

namespace tarvesk {

// A folder opened once and reached through its descriptor from then on, so
// that renaming its path, or putting another folder or a link in its place,
// changes nothing that is read or written through it. Names given to it are
// entries of the folder itself, never paths.
class Folder {
public:
    Folder() = default;
    // Resolves `path` once. A folder that cannot be opened gives one that is
    // not open, where every access fails.
    static Folder Open(const QString& path);
    // The folder holding `filePath`; the file's own name goes to `name`.
    static Folder OpenParentOf(const QString& filePath, QByteArray* name);
    // A folder named relative to `base` ("sub", "../other"), or absolute.
    static Folder OpenFrom(const Folder& base, const QByteArray& path);

    Folder(Folder&& other) noexcept;
    Folder& operator=(Folder&& other) noexcept;
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    ~Folder();

    bool isOpen() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    // The path it was opened by, for messages.
    const QString& path() const { return m_path; }
    // A regular file (a link followed) of that name is in the folder.
    bool hasFile(const QByteArray& name) const;

private:
    Folder(int fd, QString path);
    int m_fd = -1;
    QString m_path;
};

// An entry name that stays inside its folder: not empty, no "/", no NUL,
// not "." or "..".
bool IsPlainName(const QByteArray& name);

// Where a file named in a folder really lies: a chain of symbolic links is
// followed (a dangling last link names a file yet to be made), each link read
// relative to the folder it lies in.
struct FileTarget {
    Folder other;          // the target's folder, when a link led elsewhere
    QByteArray name;       // the target's name in its folder
    bool viaLink = false;  // the name was a link

    const Folder& folder(const Folder& start) const { return viaLink ? other : start; }
};

// False when the chain cannot be followed (a loop, a folder that cannot be
// opened, a link that names a folder).
bool ResolveTarget(const Folder& start, const QByteArray& name, FileTarget* target);

}  // namespace tarvesk
