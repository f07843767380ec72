#include "window/support_document.h"

#include <QDir>
#include <QStringList>

namespace tarvesk {

QString SupportDocument(const QString& executableFolder, const std::function<bool(const QString&)>& fileExists) {
    const QString fromSource = QStringLiteral(TARVESK_SOURCE_DIR "/README.md");
    const QString buildFolder = QDir::cleanPath(QStringLiteral(TARVESK_BUILD_DIR));
    const QString folder = QDir::cleanPath(executableFolder);

    QStringList candidates{QDir(folder).filePath(QStringLiteral("README.md"))};
    if (folder == buildFolder || folder.startsWith(buildFolder + QLatin1Char('/'))) candidates << fromSource;
    candidates << QStringLiteral("/usr/share/doc/tarvesk/README.md") << fromSource;
    for (const QString& path : candidates) {
        if (fileExists && fileExists(path)) return path;
    }
    return QString();
}

}  // namespace tarvesk
