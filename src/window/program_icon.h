#pragma once

#include <QIcon>

class QWidget;

namespace tarvesk {

// The program's icon in every size it is drawn at, from the program's own
// resources, so the title bar and the task switcher show it wherever the
// program is started from.
QIcon ProgramIcon();

// Gives the application and `window` the program icon, and names the desktop
// entry the program is installed with, so that a desktop shell matches the
// running window to its launcher.
void UseProgramIcon(QWidget& window);

}  // namespace tarvesk
