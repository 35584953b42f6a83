#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace auralune {

// Hands work to the main thread, which runs the windows, the queue and
// every dialog.
class MainThread {
public:
    virtual ~MainThread() = default;
    // Runs the task on the main thread later; returns at once.
    virtual void async(std::function<void()> task) = 0;
    // Runs the task on the main thread and waits until it has run. Called
    // on the main thread itself, it runs the task at once.
    virtual void sync(std::function<void()> task) = 0;
};

// A plain run loop: the thread that creates it is the main thread, and
// tasks run when that thread calls runPending() or runUntil().
class RunLoopMainThread final : public MainThread {
public:
    RunLoopMainThread();
    void async(std::function<void()> task) override;
    void sync(std::function<void()> task) override;

    // Runs every task queued so far; returns how many ran.
    int runPending();
    // Runs tasks as they arrive until done() is true (checked after each
    // task and on every wake-up).
    void runUntil(const std::function<bool()>& done);
    bool isMainThread() const { return std::this_thread::get_id() == mainId_; }

private:
    std::thread::id mainId_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> tasks_;
};

}  // namespace auralune
