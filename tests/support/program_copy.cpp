#include "support/program_copy.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace tarvesk {

QString CopyProgramInto(const QString& folder, Program which) {
    QString copies[2];
    const char* const built[2] = {TARVESK_BINARY, TARVESK_SERVICE_BINARY};
    for (int i = 0; i < 2; ++i) {
        copies[i] = QDir(folder).filePath(QFileInfo(QString::fromUtf8(built[i])).fileName());
        if (!QFile::copy(QString::fromUtf8(built[i]), copies[i])) return QString();
        QFile::setPermissions(copies[i], QFile::permissions(copies[i]) | QFileDevice::ExeOwner);
    }
    return copies[which == Program::Service ? 1 : 0];
}

QByteArray ReadRaw(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace tarvesk
