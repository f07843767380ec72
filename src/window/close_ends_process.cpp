#include "window/close_ends_process.h"

#include <QEvent>

#include "platform/termination.h"

namespace tarvesk {

bool CloseEndsProcess::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Close) EndProcessNow(0);
    return QObject::eventFilter(watched, event);
}

}  // namespace tarvesk
