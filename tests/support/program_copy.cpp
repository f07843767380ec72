#include "support/program_copy.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace tarvesk {

QString CopyProgramInto(const QString& folder) {
    QString program;
    for (const char* built : {TARVESK_BINARY, TARVESK_SERVICE_BINARY}) {
        const QString copy = QDir(folder).filePath(QFileInfo(QString::fromUtf8(built)).fileName());
        if (!QFile::copy(QString::fromUtf8(built), copy)) return QString();
        QFile::setPermissions(copy, QFile::permissions(copy) | QFileDevice::ExeOwner);
        if (program.isEmpty()) program = copy;
    }
    return program;
}

QByteArray ReadRaw(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace tarvesk
