#include <QApplication>

#include "platform/atomic_file.h"
#include "window/main_window.h"
#include "window/window_fonts.h"
#include "window/window_services.h"

int main(int argc, char* argv[]) {
    tarvesk::IgnoreFileSizeSignal();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarvesk"));
    tarvesk::UseControlFontByDefault();
    tarvesk::MainWindow window(tarvesk::MakeWindowServices());
    window.show();
    return QApplication::exec();
}
