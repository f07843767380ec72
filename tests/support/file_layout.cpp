#include "support/file_layout.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

namespace tarvesk {

void WriteRaw(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    file.write(bytes);
}

void Own(const QString& path, uid_t owner, mode_t mode) {
    const QByteArray p = QFile::encodeName(path);
    ASSERT_EQ(::lchown(p.constData(), owner, owner), 0) << p.constData();
    if (!QFileInfo(path).isSymLink()) {
        ASSERT_EQ(::chmod(p.constData(), mode), 0) << p.constData();
    }
}

QString MakeFolder(const QString& base, const char* name, uid_t owner, mode_t mode) {
    const QString path = base + "/" + name;
    QDir().mkpath(path);
    Own(path, owner, mode);
    return path;
}

void Link(const QString& to, const QString& at, uid_t owner) {
    QFile::link(to, at);
    Own(at, owner, 0);
}

}  // namespace tarvesk
