#include "platform/detached_program_starter.h"

#include <QProcess>
#include <QStringList>

namespace tarvesk {

namespace {

bool Fail(QString* error, const QString& description) {
    if (error) *error = description;
    return false;
}

}  // namespace

bool DetachedProgramStarter::start(const QString& commandLine, QString* error) {
    QStringList words = QProcess::splitCommand(commandLine);
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
