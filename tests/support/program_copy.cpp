#include "support/program_copy.h"

#include <QDir>
#include <QFile>

namespace tarvesk {

QString CopyProgramInto(const QString& folder) {
    const QString program = QDir(folder).filePath(QStringLiteral("tarvesk"));
    if (!QFile::copy(QStringLiteral(TARVESK_BINARY), program)) return QString();
    QFile::setPermissions(program, QFile::permissions(program) | QFileDevice::ExeOwner);
    return program;
}

QByteArray ReadRaw(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace tarvesk
