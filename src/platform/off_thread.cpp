#include "platform/off_thread.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QThreadPool>
#include <future>
#include <memory>
#include <thread>

namespace tarvesk {
namespace {

// Threads kept from one call to the next: starting a thread for every page
// check cost more than waking one that waits. They stay until the process
// ends, when the pool's destructor joins them.
QThreadPool& KeptWorkers() {
    static QThreadPool pool;
    static const bool configured = [] {
        pool.setExpiryTimeout(-1);
        pool.setMaxThreadCount(2);
        return true;
    }();
    (void)configured;
    return pool;
}

}  // namespace

void RunWorkOffThread(const std::function<void()>& work) {
    if (!QCoreApplication::instance()) {
        work();
        return;
    }

    QEventLoop loop;
    auto finished = std::make_shared<std::promise<void>>();
    std::future<void> done = finished->get_future();
    // The wake-up is posted to the loop's thread, so it cannot be lost even
    // when the work ends before exec() starts: exec() finds it queued.
    std::function<void()> job = [&work, &loop, finished] {
        work();
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        finished->set_value();
    };
    // A call made while the kept threads are busy (a click handled during a
    // request that starts another one) must not wait behind them: it gets a
    // thread of its own.
    std::thread own;
    if (!KeptWorkers().tryStart(job)) own = std::thread(job);
    loop.exec();
    // exec() also returns early when the application quits; the work still
    // refers to this frame, so wait for it whatever happens.
    done.wait();
    if (own.joinable()) own.join();
}

}  // namespace tarvesk
