#pragma once

#include "platform/program_starter.h"

namespace tarvesk {

// Starts a command line as its own process and forgets it. The text is split
// into words as a POSIX shell splits them: blanks separate words, single and
// double quotes group them, a backslash takes the next character literally.
// There is no shell, so no pipes, redirections or variables unless the
// command names a shell itself (sh -c '...'). Standard input, output and error go to /dev/null, which is
// this platform's hidden window.
class DetachedProgramStarter : public ProgramStarter {
public:
    bool start(const QString& commandLine, QString* error) override;
};

}  // namespace tarvesk
