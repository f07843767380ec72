#pragma once

#include <QString>
#include <functional>

namespace tarvesk {

// The README the support label opens: the copy installed beside the program
// (cmake --install), else the one the Debian package puts under
// /usr/share/doc/tarvesk, else the README of the source tree this program was
// built from. A program still in its build folder prefers its own source
// tree to a package installed on the same machine. "" when none exists.
QString SupportDocument(const QString& executableFolder, const std::function<bool(const QString&)>& fileExists);

}  // namespace tarvesk
