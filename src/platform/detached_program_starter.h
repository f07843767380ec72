#pragma once

#include "platform/program_starter.h"

namespace tarvesk {

// Starts a command line as its own process and forgets it. The text is split
// into words as a POSIX shell splits them: blanks separate words, single and
// double quotes group them, a backslash takes the next character literally.
// There is no shell, so no pipes, redirections or variables unless the
// command names a shell itself (sh -c '...'). Standard input, output and
// error go to /dev/null, which is this platform's hidden window.
//
// The command starts as if from a fresh shell of the program's user: default
// signal handling and no blocked signals (whatever the program set for
// itself), the program's environment and umask without what the service
// manager meant for the program alone (NOTIFY_SOCKET, WATCHDOG_*), no descriptor of the program's (lock,
// settings, log, sockets), a session of its own, and never a child of the
// program, so it cannot linger as the program's zombie.
//
// As root, the program must be root's and writable by root alone, and so
// must every folder and link on the way to it; it is then executed by the
// path as the command gives it, which leads to the judged file.
class DetachedProgramStarter : public ProgramStarter {
public:
    bool start(const QString& commandLine, QString* error, ProgramRefusal* refusal) override;

protected:
    // Called once the program passed root's judgement, just before it is
    // started: what a change made at this moment on the way to the program
    // can reach, tests see here.
    virtual void judged(const QByteArray& program) { (void)program; }
};

}  // namespace tarvesk
