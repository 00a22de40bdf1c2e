#include "WorkerPool.h"

namespace workbookfile {

WorkerPool::WorkerPool(unsigned threads) {
    for (unsigned i = 0; i < std::max(1u, threads); ++i)
        _threads.emplace_back([this] { serve(); });
}

WorkerPool::~WorkerPool() {
    {
        std::lock_guard<std::mutex> lock(_mutex);
        _ending = true;
    }
    _wake.notify_all();
    for (std::thread& t : _threads)
        t.join();
}

std::future<void> WorkerPool::submit(std::function<void()> job) {
    std::packaged_task<void()> task(std::move(job));
    std::future<void> done = task.get_future();
    {
        std::lock_guard<std::mutex> lock(_mutex);
        _jobs.push_back(std::move(task));
    }
    _wake.notify_one();
    return done;
}

void WorkerPool::serve() {
    for (;;) {
        std::packaged_task<void()> task;
        {
            std::unique_lock<std::mutex> lock(_mutex);
            _wake.wait(lock, [this] { return _ending || !_jobs.empty(); });
            if (_jobs.empty())
                return;
            task = std::move(_jobs.front());
            _jobs.pop_front();
        }
        task();
    }
}

} // namespace workbookfile
