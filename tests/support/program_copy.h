#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QThread>

namespace tarvesk {

// The programs keep their INI and logs beside themselves, so tests that run
// the real binaries run copies of both (the window program runs the service
// program beside it where there is no display) in a folder of their own.
// Returns the path of the window program's copy, or "" when they could not
// be made.
QString CopyProgramInto(const QString& folder);

// The bytes of a file the program wrote; empty when it cannot be read.
QByteArray ReadRaw(const QString& path);

// Waits up to `milliseconds` for `done` to hold.
template <typename Pred>
bool WaitUntil(Pred done, int milliseconds) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > milliseconds) return false;
        QThread::msleep(20);
    }
    return true;
}

}  // namespace tarvesk
