#pragma once

#include <QString>

namespace tarvesk {

// The program keeps its INI and logs beside itself, so tests that run the real
// binary run a copy of it in a folder of their own. Returns the copy's path,
// or "" when it could not be made.
QString CopyProgramInto(const QString& folder);

}  // namespace tarvesk
