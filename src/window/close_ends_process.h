#pragma once

#include <QObject>

namespace tarvesk {

// Closing the window ends the program on the spot, whatever it is doing: a
// page check or a mail in flight, the wait for the site after a restart, an
// open message box. The interrupted operation is abandoned, never finished
// after the close (a restart or reboot command started by a "closed"
// program would be a surprise).
class CloseEndsProcess : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace tarvesk
