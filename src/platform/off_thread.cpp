#include "platform/off_thread.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <thread>

namespace tarvesk {

void RunWorkOffThread(const std::function<void()>& work) {
    if (!QCoreApplication::instance()) {
        work();
        return;
    }

    QEventLoop loop;
    // The wake-up is posted to the loop's thread, so it cannot be lost even
    // when the work ends before exec() starts: exec() finds it queued.
    std::thread worker([&] {
        work();
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    // exec() also returns early when the application quits; the work still
    // refers to this frame, so wait for it whatever happens.
    worker.join();
}

}  // namespace tarvesk
