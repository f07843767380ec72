#pragma once

#include <QString>
#include <functional>

namespace tarvesk {

// The README the support label opens: the copy installed beside the program
// (cmake --install), else the one the service package puts under
// /usr/share/doc/tarvesk-service (the window package depends on it), else
// one in the folder above the program's (a program still in its build folder
// inside the source tree). No path of the build machine is compiled in. ""
// when none exists.
QString SupportDocument(const QString& executableFolder, const std::function<bool(const QString&)>& fileExists);

}  // namespace tarvesk
