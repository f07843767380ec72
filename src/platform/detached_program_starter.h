#pragma once

#include "platform/program_starter.h"

namespace tarvesk {

// Starts a command line as its own process and forgets it. The text is split
// into words the way QProcess::splitCommand does (blanks separate words,
// double quotes group them, three double quotes stand for one); there is no
// shell, so no pipes, redirections or variables unless the command names a
// shell itself. Standard input, output and error go to /dev/null, which is
// this platform's hidden window.
class DetachedProgramStarter : public ProgramStarter {
public:
    bool start(const QString& commandLine, QString* error) override;
};

}  // namespace tarvesk
