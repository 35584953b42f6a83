#include "app/worker_pool.h"

#include <algorithm>
#include <system_error>

namespace auralune {

WorkerPool::WorkerPool(std::size_t maxWorkers, OnEnd onEnd, ThreadStarter starter)
    : maxWorkers_(std::max<std::size_t>(1, maxWorkers)),
      onEnd_(onEnd),
      starter_(std::move(starter)),
      shared_(std::make_shared<Shared>())
{
    if (!starter_)
        starter_ = [](std::function<void()> body) { return std::thread(std::move(body)); };
}

WorkerPool::~WorkerPool()
{
    std::vector<std::thread> threads;
    {
        std::lock_guard lock(shared_->mutex);
        shared_->ending = true;
        if (onEnd_ == OnEnd::Detach)
            shared_->tasks.clear();
        threads.swap(threads_);
    }
    shared_->wake.notify_all();
    for (std::thread& thread : threads) {
        if (onEnd_ == OnEnd::Join)
            thread.join();
        else
            thread.detach();
    }
}

std::size_t WorkerPool::defaultWorkers()
{
    return std::clamp<std::size_t>(std::thread::hardware_concurrency(), 4, 16);
}

std::size_t WorkerPool::workers() const
{
    std::lock_guard lock(shared_->mutex);
    return threads_.size();
}

void WorkerPool::raiseBound(std::size_t maxWorkers)
{
    std::lock_guard lock(shared_->mutex);
    maxWorkers_ = std::max(maxWorkers_, maxWorkers);
}

void WorkerPool::work(const std::shared_ptr<Shared>& shared)
{
    std::unique_lock lock(shared->mutex);
    for (;;) {
        ++shared->idle;
        shared->wake.wait(lock, [&] { return shared->ending || !shared->tasks.empty(); });
        --shared->idle;
        if (shared->tasks.empty())
            return;   // ending, nothing left
        std::function<void()> task = std::move(shared->tasks.front());
        shared->tasks.pop_front();
        lock.unlock();
        task();
        task = nullptr;   // whatever it holds goes before the next wait
        lock.lock();
    }
}

void WorkerPool::submit(std::function<void()> task, std::function<void(const std::string& reason)> failed)
{
    std::unique_lock lock(shared_->mutex);
    shared_->tasks.push_back(std::move(task));
    if (shared_->idle >= shared_->tasks.size() || threads_.size() >= maxWorkers_) {
        lock.unlock();
        shared_->wake.notify_one();
        return;
    }
    std::string reason;
    try {
        threads_.push_back(starter_([shared = shared_] { work(shared); }));
    } catch (const std::system_error& e) {
        reason = e.code().message();
    } catch (const std::bad_alloc&) {
        reason = "out of memory";
    }
    if (reason.empty() || !threads_.empty()) {
        // Started, or a running worker takes the task in its turn.
        lock.unlock();
        shared_->wake.notify_one();
        return;
    }
    // No worker at all: this task cannot run.
    std::function<void()> orphan = std::move(shared_->tasks.back());
    shared_->tasks.pop_back();
    lock.unlock();
    orphan = nullptr;
    if (failed)
        failed("cannot start a thread (" + reason + ")");
}

}  // namespace auralune
