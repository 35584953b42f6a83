#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace auralune {

// A bounded set of worker threads that run tasks in the order they are
// given. Threads are started as tasks arrive, up to the bound, and kept
// until the pool ends. How many tasks may do real work at once is not the
// pool's business: the passes' own locks decide that.
//
// Starting a thread can fail (a process limit, no memory). A task that no
// worker can run then fails at once: its `failed` callback runs on the
// submitting thread with the reason, and later tasks are tried again.
class WorkerPool {
public:
    // Starts one thread running the function; throws std::system_error
    // when the system refuses. Tests pass one that refuses.
    using ThreadStarter = std::function<std::thread(std::function<void()>)>;

    // What the pool does with its threads when it ends: wait for every task
    // given (join), or leave the running ones to finish on their own and
    // drop the tasks not yet started (detach; the desktop app ends without
    // waiting for its passes).
    enum class OnEnd { Join, Detach };

    explicit WorkerPool(std::size_t maxWorkers = defaultWorkers(), OnEnd onEnd = OnEnd::Join,
                        ThreadStarter starter = {});
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    void submit(std::function<void()> task, std::function<void(const std::string& reason)> failed);

    // Threads started so far.
    std::size_t workers() const;
    // Lets the pool start up to this many threads (never fewer than its
    // bound so far): one per pass that may run at once.
    void raiseBound(std::size_t maxWorkers);

    // The hardware's threads, at least 4 (passes waiting for a pass lock
    // hold a worker each) and at most 16.
    static std::size_t defaultWorkers();

private:
    struct Shared {
        std::mutex mutex;
        std::condition_variable wake;
        std::deque<std::function<void()>> tasks;
        std::size_t idle = 0;
        bool ending = false;
    };
    static void work(const std::shared_ptr<Shared>& shared);

    std::size_t maxWorkers_;   // guarded by shared_->mutex
    OnEnd onEnd_;
    ThreadStarter starter_;
    std::shared_ptr<Shared> shared_;
    std::vector<std::thread> threads_;   // guarded by shared_->mutex
};

}  // namespace auralune
