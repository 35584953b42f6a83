#include "platform/main_thread.h"

namespace auralune {

RunLoopMainThread::RunLoopMainThread() : mainId_(std::this_thread::get_id()) {}

void RunLoopMainThread::async(std::function<void()> task)
{
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    wake_.notify_all();
}

void RunLoopMainThread::sync(std::function<void()> task)
{
    if (isMainThread()) {
        task();
        return;
    }
    std::mutex doneMutex;
    std::condition_variable doneSignal;
    bool done = false;
    async([&] {
        task();
        {
            std::lock_guard lock(doneMutex);
            done = true;
        }
        doneSignal.notify_all();
    });
    std::unique_lock lock(doneMutex);
    doneSignal.wait(lock, [&] { return done; });
}

int RunLoopMainThread::runPending()
{
    std::deque<std::function<void()>> batch;
    {
        std::lock_guard lock(mutex_);
        batch.swap(tasks_);
    }
    for (auto& task : batch)
        task();
    return static_cast<int>(batch.size());
}

void RunLoopMainThread::runUntil(const std::function<bool()>& done)
{
    for (;;) {
        runPending();
        if (done())
            return;
        std::unique_lock lock(mutex_);
        // The timeout lets a done() that depends on other threads' state be
        // seen even when no task arrives to wake the loop.
        wake_.wait_for(lock, std::chrono::milliseconds(20), [&] { return !tasks_.empty(); });
    }
}

}  // namespace auralune
