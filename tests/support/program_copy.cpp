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

}  // namespace tarvesk
