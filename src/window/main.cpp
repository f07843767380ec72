#include <QApplication>

#include "window/main_window.h"
#include "window/program_icon.h"
#include "window/window_fonts.h"
#include "window/window_services.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarvesk"));
    tarvesk::UseControlFontByDefault();
    tarvesk::MainWindow window(tarvesk::MakeWindowServices());
    tarvesk::UseProgramIcon(window);
    window.show();
    return QApplication::exec();
}
