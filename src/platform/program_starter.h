#pragma once

#include <QString>

#include "platform/strict_modes.h"

namespace tarvesk {

// Why root did not start the program a command names: nobody but root may be
// able to change it, and the way to it must be followed to a regular file.
struct ProgramRefusal {
    QString program;  // as the command names it (after a PATH lookup)
    Trust trust;      // the first failure met on the way

    bool refused() const { return !trust.trusted(); }
};

// Starts a command line as a detached process without waiting for it.
class ProgramStarter {
public:
    virtual ~ProgramStarter() = default;
    // Returns false and sets *error to a readable description when the
    // program cannot be started (empty text, no such program, ...); when
    // root refused it, *refusal says why.
    virtual bool start(const QString& commandLine, QString* error, ProgramRefusal* refusal) = 0;
};

}  // namespace tarvesk
