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
    // Resolves `path` once. Search permission is enough: a folder its user
    // may enter but not list is opened all the same (for path operations
    // only: it cannot then be listed, synced or locked itself). A folder that
    // cannot be opened gives one that is not open, where every access fails;
    // errorCode() then says why.
    static Folder Open(const QString& path);
    // The working folder, by descriptor: not by its name, which need not be
    // text and may name another folder by now.
    static Folder OpenWorking();
    // The folder holding `filePath`; the file's own name goes to `name`.
    static Folder OpenParentOf(const QString& filePath, QByteArray* name);
    // Takes over a folder descriptor opened elsewhere.
    static Folder Adopt(int fd, const QString& path);

    Folder(Folder&& other) noexcept;
    Folder& operator=(Folder&& other) noexcept;
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    ~Folder();

    bool isOpen() const { return m_fd >= 0; }
    // The errno value of a failed open, 0 for an open folder.
    int errorCode() const { return m_error; }
    int fd() const { return m_fd; }
    // The path it was opened by, for messages.
    const QString& path() const { return m_path; }
    // A regular file (a link followed) of that name is in the folder.
    bool hasFile(const QByteArray& name) const;

private:
    Folder(int fd, QString path);
    int m_fd = -1;
    int m_error = 0;
    QString m_path;
};

// An entry name that stays inside its folder: not empty, no "/", no NUL,
// not "." or "..".
bool IsPlainName(const QByteArray& name);

}  // namespace tarvesk
