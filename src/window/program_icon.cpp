#include "window/program_icon.h"

#include <QGuiApplication>
#include <QWidget>

namespace tarvesk {

QIcon ProgramIcon() {
    QIcon icon;
    for (const int size : {16, 32, 48, 256}) {
        icon.addFile(QStringLiteral(":/icons/tarvesk-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}

void UseProgramIcon(QWidget& window) {
    const QIcon icon = ProgramIcon();
    QGuiApplication::setWindowIcon(icon);
    window.setWindowIcon(icon);
    QGuiApplication::setDesktopFileName(QStringLiteral("tarvesk"));
}

}  // namespace tarvesk
