#include "platform/qt/qt_main_thread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

namespace auralune {

void QtMainThread::async(std::function<void()> task)
{
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(task), Qt::QueuedConnection);
}

void QtMainThread::sync(std::function<void()> task)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (QThread::currentThread() == app->thread()) {
        task();
        return;
    }
    QMetaObject::invokeMethod(app, std::move(task), Qt::BlockingQueuedConnection);
}

}  // namespace auralune
