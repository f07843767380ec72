#include "window/support_document.h"

#include <QDir>
#include <QStringList>

namespace tarvesk {

QString SupportDocument(const QString& executableFolder, const std::function<bool(const QString&)>& fileExists) {
    const QDir folder(QDir::cleanPath(executableFolder));
    // Beside the program (a folder of its own), where the package puts it,
    // and one folder up: a build folder inside the source tree.
    const QStringList candidates{folder.filePath(QStringLiteral("README.md")),
                                 QStringLiteral("/usr/share/doc/tarvesk-service/README.md"),
                                 folder.filePath(QStringLiteral("../README.md"))};
    for (const QString& path : candidates) {
        const QString clean = QDir::cleanPath(path);
        if (fileExists && fileExists(clean)) return clean;
    }
    return QString();
}

}  // namespace tarvesk
