#include "platform/qt/qt_main_thread.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>

#include <atomic>
#include <thread>

namespace auralune {
namespace {

TEST(QtMainThreadTest, WorkerHandsCallsToTheEventLoopThread)
{
    int argc = 1;
    char name[] = "test";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    QtMainThread main;

    std::thread::id syncRanOn, asyncRanOn;
    std::atomic<bool> syncReturned{false};
    std::thread worker([&] {
        main.sync([&] { syncRanOn = std::this_thread::get_id(); });
        syncReturned = true;
        main.async([&] {
            asyncRanOn = std::this_thread::get_id();
            QCoreApplication::quit();
        });
    });
    QTimer::singleShot(5000, &app, [] { QCoreApplication::exit(1); });
    const int rc = app.exec();
    worker.join();
    EXPECT_EQ(rc, 0);
    EXPECT_TRUE(syncReturned);
    EXPECT_EQ(syncRanOn, std::this_thread::get_id());
    EXPECT_EQ(asyncRanOn, std::this_thread::get_id());
}

}  // namespace
}  // namespace auralune
