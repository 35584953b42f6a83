#include "app/worker_pool.h"
#include "support/queue_fixture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <system_error>
#include <thread>
#include <utility>

namespace auralune {
namespace {

// Starts the first `allowed` threads, then refuses as a process limit does.
WorkerPool::ThreadStarter limitedStarter(int allowed, std::atomic<int>& started)
{
    return [allowed, &started](std::function<void()> body) {
        if (started >= allowed)
            throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
        ++started;
        return std::thread(std::move(body));
    };
}

TEST(WorkerPool, RunsEveryTaskOnAtMostItsBoundOfThreads)
{
    constexpr int kTasks = 40;
    std::atomic<int> done{0}, running{0}, mostAtOnce{0};
    std::promise<void> gate;
    std::shared_future<void> open = gate.get_future().share();
    {
        WorkerPool pool(3);
        for (int i = 0; i < kTasks; ++i)
            pool.submit(
                [&, open] {
                    const int now = ++running;
                    for (int seen = mostAtOnce; now > seen && !mostAtOnce.compare_exchange_weak(seen, now);) {
                    }
                    open.wait();
                    --running;
                    ++done;
                },
                [](const std::string& reason) { ADD_FAILURE() << reason; });
        EXPECT_LE(pool.workers(), 3u);
        gate.set_value();
    }
    EXPECT_EQ(done, kTasks);
    EXPECT_LE(mostAtOnce, 3);
}

TEST(WorkerPool, ATaskNoThreadCanRunFailsAndTheRestGoOn)
{
    for (int allowed : {0, 1}) {
        SCOPED_TRACE(allowed);
        std::atomic<int> started{0}, ran{0};
        std::vector<std::string> failures;
        {
            WorkerPool pool(4, WorkerPool::OnEnd::Join, limitedStarter(allowed, started));
            for (int i = 0; i < 10; ++i)
                pool.submit([&] { ++ran; }, [&](const std::string& reason) { failures.push_back(reason); });
        }
        // Without any thread every task fails; one thread runs them all.
        EXPECT_EQ(ran, allowed == 0 ? 0 : 10);
        EXPECT_EQ(failures.size(), allowed == 0 ? 10u : 0u);
        for (const std::string& reason : failures)
            EXPECT_EQ(reason, "cannot start a thread (Resource temporarily unavailable)");
    }
}

// 100 files under a process limit: the batch ends, the files that got no
// thread fail with the reason and the others are analysed.
TEST(WorkerPool, QueueFailsTheJobsThatGetNoThread)
{
    for (int allowed : {0, 1}) {
        SCOPED_TRACE(allowed);
        std::atomic<int> started{0};
        test::QueueHarness h;
        QueueController::Options options = h.options();
        options.threadStarter = limitedStarter(allowed, started);
        h.queue = std::make_unique<QueueController>(h.services.platform, options);
        for (int i = 0; i < 12; ++i)
            h.queue->addNewFileToQueue(h.wav("f" + std::to_string(i) + ".wav"));
        h.queue->waitForPasses();
        for (std::size_t row = 0; row < h.queue->size(); ++row) {
            const AudioFile& job = h.queue->job(row);
            EXPECT_EQ(job.state, kStateAnalysed);
            if (allowed == 0) {
                EXPECT_EQ(job.error, kErrorMemory);
                EXPECT_EQ(job.errorCause(), "cannot start a thread (Resource temporarily unavailable)");
                EXPECT_EQ(job.tableText(TableText::State), "Memory allocation error. ");
            } else {
                EXPECT_EQ(job.error, 0);
            }
        }
        if (allowed == 0)
            continue;
        // Converting goes through the same single worker.
        EXPECT_EQ(h.queue->processQueue(ConvertSender::ConvertButton), 12u);
        h.queue->waitForPasses();
        for (std::size_t row = 0; row < h.queue->size(); ++row)
            EXPECT_EQ(h.queue->job(row).state, kStateConverted) << h.queue->job(row).tableText(TableText::State);
    }
}

// "Simultaneous conversions" beyond the pool's own bound: the pool grows so
// that each admitted pass has a thread. Every pass waits before naming its
// file until all three have come that far, which they can only together.
TEST(WorkerPool, QueueGivesEachOfTheSimultaneousPassesAThread)
{
    test::QueueHarness h;
    QueueController::Options options = h.options();
    options.maxWorkers = 1;
    h.services.defaults.setString("SimultaneousConversions", "3");
    h.queue = std::make_unique<QueueController>(h.services.platform, options);
    for (const char* name : {"a.wav", "b.wav", "c.wav"})
        h.queue->addNewFileToQueue(h.wav(name));
    h.queue->waitForPasses();
    std::atomic<int> arrived{0};
    for (std::size_t row = 0; row < 3; ++row)
        h.queue->job(row).destinationNamingHook = [&arrived, named = false](const std::string&) mutable {
            if (!std::exchange(named, true))
                ++arrived;
            while (arrived < 3)
                std::this_thread::yield();
        };
    EXPECT_EQ(h.queue->processQueue(ConvertSender::ConvertButton), 3u);
    h.queue->waitForPasses();
    for (std::size_t row = 0; row < 3; ++row)
        EXPECT_EQ(h.queue->job(row).state, kStateConverted) << h.queue->job(row).tableText(TableText::State);
}

}  // namespace
}  // namespace auralune
