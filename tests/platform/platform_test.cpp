#include "engine/pass_lock.h"
#include "platform/defaults_store.h"
#include "platform/file_log.h"
#include "platform/main_thread.h"
#include "platform/notification_center.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

namespace auralune {
namespace {

TEST(FileLogTest, WritesLinesAndRotatesAtTheLimit)
{
    const auto dir = std::filesystem::temp_directory_path() / ("auralune-log-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    const auto file = dir / "state" / "auralune.log";
    {
        FileLog log(file, false, 200);
        for (int i = 0; i < 20; ++i)
            log.info("line " + std::to_string(i));
    }
    ASSERT_TRUE(std::filesystem::exists(file));
    auto rotated = file;
    rotated += ".1";
    ASSERT_TRUE(std::filesystem::exists(rotated));
    EXPECT_LE(std::filesystem::file_size(file), 200u + 64u);
    std::ifstream in(file);
    std::string last, line;
    while (std::getline(in, line))
        last = line;
    EXPECT_NE(last.find("<Info> line 19"), std::string::npos) << last;
    std::filesystem::remove_all(dir);
}

TEST(DefaultsStoreTest, StoredValueWinsOverRegisteredDefaultUntilRemoved)
{
    MemoryDefaultsStore store;
    store.registerDefaults({{"Mode", std::string("1")}, {"FilterTypeDefaults_1", std::vector<std::string>(15, "1")}});
    EXPECT_EQ(store.string("Mode"), "1");
    EXPECT_FALSE(store.string("FilterTypeDefaults_1").has_value()) << "a list is not a string";
    EXPECT_EQ(store.stringList("FilterTypeDefaults_1")->size(), 15u);
    store.setString("Mode", "64");
    EXPECT_EQ(store.string("Mode"), "64");
    EXPECT_EQ(store.storedKeys(), std::vector<std::string>{"Mode"});
    store.remove("Mode");
    EXPECT_EQ(store.string("Mode"), "1");
    EXPECT_FALSE(store.value("Unknown").has_value());
}

TEST(NotificationCenterTest, PostsByNameAndObserversMayRemoveThemselves)
{
    NotificationCenter center;
    int a = 0, b = 0;
    NotificationCenter::Token tokenA = 0;
    tokenA = center.observe("X", [&](const Notification& n) {
        ++a;
        EXPECT_EQ(std::get<std::string>(n.userInfo.at("filename")), "/f.wav");
        center.remove(tokenA);
    });
    center.observe("Y", [&](const Notification&) { ++b; });
    center.post("X", nullptr, {{"filename", std::string("/f.wav")}});
    center.post("X", nullptr, {{"filename", std::string("/f.wav")}});
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 0);
}

TEST(RunLoopMainThreadTest, SyncFromAnotherThreadRunsOnTheMainThreadAndWaits)
{
    RunLoopMainThread main;
    std::thread::id ranOn;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        main.sync([&] { ranOn = std::this_thread::get_id(); });
        done = true;
    });
    main.runUntil([&] { return done.load(); });
    worker.join();
    EXPECT_EQ(ranOn, std::this_thread::get_id());

    int order = 0;
    main.sync([&] { order = 1; });
    EXPECT_EQ(order, 1) << "sync on the main thread runs at once";
    main.async([&] { order = 2; });
    EXPECT_EQ(order, 1);
    EXPECT_EQ(main.runPending(), 1);
    EXPECT_EQ(order, 2);
}

TEST(PassLockTest, GrantsTheLockInTheOrderItWasAskedFor)
{
    PassLock lock;
    lock.lock();
    std::vector<int> order;
    std::mutex orderMutex;
    std::vector<std::thread> waiters;
    for (int i = 0; i < 5; ++i) {
        // Start one at a time so each has taken its ticket before the next.
        waiters.emplace_back([&, i] {
            lock.lock();
            {
                std::lock_guard g(orderMutex);
                order.push_back(i);
            }
            lock.unlock();
        });
        // Taken: the holder and i + 1 waiters.
        while (lock.holdersAndWaiters() != static_cast<std::uint64_t>(i) + 2)
            std::this_thread::yield();
    }
    lock.unlock();
    for (auto& w : waiters)
        w.join();
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4}));
}

// Turns reserved in row order are kept whatever order the threads arrive
// in, and an abandoned turn (a pass that never started) holds nobody up.
TEST(PassLock, ReservedTurnsGoInReservationOrderAndAbandonedOnesAreSkipped)
{
    PassLock lock;
    int owners[5];
    for (int& owner : owners)
        lock.reserve(&owner);
    lock.abandon(&owners[0]);
    lock.abandon(&owners[3]);
    std::vector<int> order;
    std::mutex orderMutex;
    std::vector<std::thread> passes;
    for (int i : {4, 2, 1}) {   // the last reserved arrives first
        passes.emplace_back([&, i] {
            lock.lock(&owners[i]);
            {
                std::lock_guard g(orderMutex);
                order.push_back(i);
            }
            lock.unlock();
        });
    }
    for (auto& pass : passes)
        pass.join();
    EXPECT_EQ(order, (std::vector<int>{1, 2, 4}));
    // Nothing is left waiting: a new pass gets the lock at once.
    lock.lock();
    lock.unlock();
}

}  // namespace
}  // namespace auralune
