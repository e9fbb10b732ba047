#include "framework/WorkThread.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <exception>
#include <memory>

namespace workthread {

void Run(const std::function<void()>& work) {
    std::exception_ptr failure;
    const std::unique_ptr<QThread> thread(QThread::create([&work, &failure] {
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
    }));
    QEventLoop loop;
    QObject::connect(thread.get(), &QThread::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    thread->start();
    loop.exec();
    thread->wait();
    // Lines and updates the work posted last come before the caller's own.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
    if (failure) std::rethrow_exception(failure);
}

bool OnWindowThread() {
    const QCoreApplication* app = QCoreApplication::instance();
    return !app || QThread::currentThread() == app->thread();
}

void Post(std::function<void()> update) {
    if (OnWindowThread()) {
        update();
        return;
    }
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(update), Qt::QueuedConnection);
}

void Call(const std::function<void()>& call) {
    if (OnWindowThread()) {
        call();
        return;
    }
    std::exception_ptr failure;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [&call, &failure] {
            try {
                call();
            } catch (...) {
                failure = std::current_exception();
            }
        },
        Qt::BlockingQueuedConnection);
    if (failure) std::rethrow_exception(failure);
}

}  // namespace workthread
