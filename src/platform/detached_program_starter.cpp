#include "platform/detached_program_starter.h"

#include <QProcess>
#include <QStringList>
#include <optional>

#include <glib.h>

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

}  // namespace

bool DetachedProgramStarter::start(const QString& commandLine, QString* error) {
    std::optional<QStringList> split = SplitWords(commandLine, error);
    if (!split) return false;
    QStringList words = std::move(*split);
    if (words.isEmpty() || words.first().isEmpty()) {
        return Fail(error, QStringLiteral("The command is empty."));
    }

    QProcess process;
    process.setProgram(words.takeFirst());
    process.setArguments(words);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());

    // Qt forks twice and reaps the middle process itself, so the program is
    // never our child and cannot linger as our zombie. The exec failure of
    // the grandchild comes back through a pipe, so a missing program is
    // reported here rather than lost.
    qint64 pid = 0;
    if (!process.startDetached(&pid)) {
        const QString reason = process.errorString();
        return Fail(error, QStringLiteral("Cannot start \"%1\": %2")
                               .arg(process.program(),
                                    reason.isEmpty() ? QStringLiteral("unknown error") : reason));
    }
    if (error) error->clear();
    return true;
}

}  // namespace tarvesk
