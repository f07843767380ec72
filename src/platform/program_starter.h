#pragma once

#include <QString>

namespace tarvesk {

// Starts a command line as a detached process without waiting for it.
class ProgramStarter {
public:
    virtual ~ProgramStarter() = default;
    // Returns false and sets *error to a readable description when the
    // program cannot be started (empty text, no such program, ...).
    virtual bool start(const QString& commandLine, QString* error) = 0;
};

}  // namespace tarvesk
