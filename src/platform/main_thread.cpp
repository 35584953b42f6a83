#include "platform/main_thread.h"

#include <future>
#include <memory>

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
    // The signal lives as long as the task that gives it: a waiter that
    // wakes and returns at once must not take it away while the main
    // thread is still notifying (a condition variable on the waiter's
    // stack was destroyed under its notify_all).
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> finished = done->get_future();
    async([&task, done] {
        task();
        done->set_value();
    });
    finished.wait();
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
