#pragma once

#include <QByteArray>
#include <QString>

namespace tarvesk {

// Runs the program `name` that lies in the running executable's own folder in
// this process's place: the same process (its id, so a service manager still
// hears it), the same arguments and the same environment. As root it is run
// only when it and every folder on the way to it are root's alone (see
// strict_modes.h): another user who could swap it would otherwise run his
// program as root. Returns only when it was not run, with the reason.
QString RunProgramBesideInstead(const QByteArray& name, char* argv[]);

}  // namespace tarvesk
