#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QThread>

namespace tarvesk {

// The program keeps its INI and logs beside itself, so tests that run the real
// binary run a copy of it in a folder of their own. Returns the copy's path,
// or "" when it could not be made.
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
