#include "platform/detached_program_starter.h"

#include <QByteArray>
#include <QFile>
#include <QStringList>
#include <optional>
#include <vector>

#include <glib.h>

#include "platform/path_walk.h"
#include "platform/retry_on_eintr.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tarvesk {

namespace {

bool Fail(QString* error, const QString& description) {
    if (error) *error = description;
    return false;
}

// POSIX shell word splitting (quotes and backslash, no expansion) by GLib,
// which the window toolkit already brings along. An unterminated quote is an
// error with GLib's description.
std::optional<QStringList> SplitWords(const QString& commandLine, QString* error) {
    const QByteArray text = commandLine.toUtf8();
    gint count = 0;
    gchar** argv = nullptr;
    GError* failure = nullptr;
    if (!g_shell_parse_argv(text.constData(), &count, &argv, &failure)) {
        // Blanks alone are no command; say so in our own words.
        const bool empty = failure && failure->domain == G_SHELL_ERROR && failure->code == G_SHELL_ERROR_EMPTY_STRING;
        if (error) {
            *error = empty ? QStringLiteral("The command is empty.")
                           : QStringLiteral("Cannot split the command into words: %1")
                                 .arg(QString::fromUtf8(failure ? failure->message : "unknown error"));
        }
        if (failure) g_error_free(failure);
        return std::nullopt;
    }
    QStringList words;
    for (gint i = 0; i < count; ++i) words << QString::fromUtf8(argv[i]);
    g_strfreev(argv);
    return words;
}

// The file to execute: a name with a slash as it stands, any other looked up
// in PATH as a shell does. 0 or an errno value.
int FindProgram(const QByteArray& name, QByteArray* path) {
    if (name.contains('/')) {
        *path = name;
        return 0;
    }
    const QByteArray search = qgetenv("PATH").isNull() ? QByteArrayLiteral("/usr/bin:/bin") : qgetenv("PATH");
    int found = ENOENT;
    for (const QByteArray& dir : search.split(':')) {
        const QByteArray candidate = (dir.isEmpty() ? QByteArrayLiteral(".") : dir) + '/' + name;
        struct stat st {};
        if (::stat(candidate.constData(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        if (::access(candidate.constData(), X_OK) == 0) {
            *path = candidate;
            return 0;
        }
        found = EACCES;
    }
    return found;
}

// As root, the program a command names runs only when nobody else could
// have put it there or could swap it, and only once the way to it was
// followed to a regular file and judged: anything short of that is a
// refusal. Every folder and link on the way is root's alone, so the kernel's
// own resolution of the same path, a moment later, reaches the judged file.
bool RefusedAsRoot(const QByteArray& program, ProgramRefusal* refusal) {
    if (::geteuid() != 0) return false;
    ProgramRefusal verdict{QFile::decodeName(program), JudgeProgram(program)};
    if (!verdict.refused()) return false;
    if (refusal) *refusal = std::move(verdict);
    return true;
}

// What the service manager gave the program for itself: a command that
// talked to it through these would be taken for the program, or refused.
bool IsServiceManagerVariable(const char* entry) {
    for (const char* name : {"NOTIFY_SOCKET=", "WATCHDOG_USEC=", "WATCHDOG_PID="}) {
        if (std::strncmp(entry, name, std::strlen(name)) == 0) return true;
    }
    return false;
}

// In the child, between fork and exec: async-signal-safe calls only.
void ResetSignals() {
    struct sigaction standard {};
    standard.sa_handler = SIG_DFL;
    sigemptyset(&standard.sa_mask);
    for (int signal = 1; signal < NSIG; ++signal) {
        if (signal != SIGKILL && signal != SIGSTOP) ::sigaction(signal, &standard, nullptr);
    }
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
}

// Marks every descriptor from 3 up close-on-exec, whether or not whoever
// opened it asked for that.
void CloseOnExecFromThree() {
#ifdef SYS_close_range
    if (::syscall(SYS_close_range, 3U, ~0U, 4U /* CLOSE_RANGE_CLOEXEC */) == 0) return;
#endif
    const long limit = ::sysconf(_SC_OPEN_MAX);
    for (int fd = 3; fd < (limit > 0 && limit < 65536 ? limit : 65536); ++fd) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
}

void ReportAndExit(int report, int code) {
    [[maybe_unused]] const ssize_t n = ::write(report, &code, sizeof code);
    ::_exit(127);
}

}  // namespace

bool DetachedProgramStarter::start(const QString& commandLine, QString* error, ProgramRefusal* refusal) {
    if (refusal) *refusal = ProgramRefusal();
    std::optional<QStringList> split = SplitWords(commandLine, error);
    if (!split) return false;
    const QStringList words = std::move(*split);
    if (words.isEmpty() || words.first().isEmpty()) {
        return Fail(error, QStringLiteral("The command is empty."));
    }
    const auto failed = [&](int code) {
        return Fail(error, QStringLiteral("Cannot start \"%1\": %2")
                               .arg(words.first(), QString::fromLocal8Bit(std::strerror(code))));
    };

    // Everything the child needs is made here: after the fork, in a program
    // with threads, it may only make async-signal-safe calls. The program is
    // executed by the path the command gives (after a PATH lookup, the path
    // as found), so that a script's $0 is what the operator wrote.
    QByteArray program;
    if (const int code = FindProgram(QFile::encodeName(words.first()), &program)) return failed(code);
    if (RefusedAsRoot(program, refusal))
        return Fail(error, QStringLiteral("Not run as root: %1").arg(QFile::decodeName(program)));
    judged(program);
    std::vector<QByteArray> arguments;
    for (const QString& word : words) arguments.push_back(QFile::encodeName(word));
    std::vector<char*> argv;
    for (QByteArray& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (char** entry = environ; *entry; ++entry) {
        if (!IsServiceManagerVariable(*entry)) envp.push_back(*entry);
    }
    envp.push_back(nullptr);

    // The exec failure of the grandchild comes back through this pipe; a
    // successful exec closes it.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) return failed(errno);
    // No signal handler of the program's may run in the child before its
    // handling is reset.
    sigset_t all, before;
    sigfillset(&all);
    ::pthread_sigmask(SIG_SETMASK, &all, &before);
    const pid_t middle = ::fork();
    if (middle == 0) {
        ResetSignals();
        ::setsid();
        const pid_t grandchild = ::fork();
        if (grandchild < 0) ReportAndExit(report[1], errno);
        if (grandchild > 0) ::_exit(0);
        const int null = ::open("/dev/null", O_RDWR);
        if (null < 0 || ::dup2(null, 0) < 0 || ::dup2(null, 1) < 0 || ::dup2(null, 2) < 0)
            ReportAndExit(report[1], errno);
        CloseOnExecFromThree();
        ::execve(program.constData(), argv.data(), envp.data());
        ReportAndExit(report[1], errno);
    }
    const int forkError = errno;
    ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
    ::close(report[1]);
    if (middle < 0) {
        ::close(report[0]);
        return failed(forkError);
    }
    // The middle process ends at once, so the command is never our child.
    int status = 0;
    RetryOnEintr([&] { return ::waitpid(middle, &status, 0); });
    int code = 0;
    const ssize_t n = RetryOnEintr([&] { return ::read(report[0], &code, sizeof code); });
    ::close(report[0]);
    if (n == static_cast<ssize_t>(sizeof code)) return failed(code);
    if (error) error->clear();
    return true;
}

}  // namespace tarvesk
