#pragma once

// A few threads that run jobs in the order given: write-behind packs thousands of worksheets, and
// a thread started for each costs more than packing a small one.

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

namespace workbookfile {

class WorkerPool {
public:
    explicit WorkerPool(unsigned threads);
    // Runs the jobs given before, then ends the threads.
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // The job's outcome (an exception it throws included) arrives through the future.
    std::future<void> submit(std::function<void()> job);

private:
    void serve();

    std::mutex _mutex;
    std::condition_variable _wake;
    std::deque<std::packaged_task<void()>> _jobs;
    bool _ending = false;
    std::vector<std::thread> _threads;
};

} // namespace workbookfile
