#include "OrderedZip.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>

namespace workbookfile {

void writeInOrder(ZipWriter& zip, ZipReader* source, const std::vector<ZipItem>& items,
                  const std::function<void()>& stepDone) {
    const std::size_t n = items.size();
    std::vector<std::optional<PackedEntry>> results(n);
    std::mutex mutex;
    std::condition_variable cv;
    std::size_t next = 0, written = 0;
    bool stop = false;
    std::exception_ptr failure;
    // Deflating more than four entries at once buys nothing on the machines this runs on; a
    // window of twice that keeps every worker busy without holding many made entries.
    const unsigned workerCount = std::max(1u, std::min(std::thread::hardware_concurrency(), 4u));
    const std::size_t window = workerCount * 2;

    auto worker = [&] {
        for (;;) {
            std::size_t i;
            {
                std::unique_lock<std::mutex> lock(mutex);
                for (;;) {
                    while (next < n && !items[next].make)
                        ++next;
                    if (stop || next >= n)
                        return;
                    if (next < written + window)
                        break;
                    cv.wait(lock);
                }
                i = next++;
            }
            try {
                PackedEntry entry = items[i].make();
                std::lock_guard<std::mutex> lock(mutex);
                results[i] = std::move(entry);
            } catch (...) {
                std::lock_guard<std::mutex> lock(mutex);
                if (!failure)
                    failure = std::current_exception();
                stop = true;
            }
            cv.notify_all();
        }
    };
    std::vector<std::thread> threads;
    for (unsigned t = 0; t < workerCount; ++t)
        threads.emplace_back(worker);
    // The workers read what the items refer to: they end before anything is given up.
    auto finishThreads = [&] {
        {
            std::lock_guard<std::mutex> lock(mutex);
            stop = true;
        }
        cv.notify_all();
        for (auto& t : threads)
            t.join();
        threads.clear();
    };
    try {
        for (std::size_t i = 0; i < n; ++i) {
            const ZipItem& item = items[i];
            if (item.sourceIndex >= 0) {
                ZipReader::RawInfo info = source->rawInfo(std::size_t(item.sourceIndex));
                zip.beginRaw(item.name, info.method, info.crc, info.compressedSize, info.size, info.dosTime,
                             info.dosDate);
                source->copyRaw(std::size_t(item.sourceIndex),
                                [&](const char* data, std::size_t size) { zip.appendRaw(data, size); });
                zip.endRaw();
            } else if (item.write) {
                item.write(zip);
            } else {
                std::optional<PackedEntry> entry;
                {
                    std::unique_lock<std::mutex> lock(mutex);
                    cv.wait(lock, [&] { return results[i].has_value() || failure; });
                    if (failure)
                        std::rethrow_exception(failure);
                    entry = std::move(results[i]);
                    results[i].reset();
                }
                zip.add(*entry);
            }
            {
                std::lock_guard<std::mutex> lock(mutex);
                written = i + 1;
            }
            cv.notify_all();
            if (stepDone)
                stepDone();
        }
        zip.finish();
    } catch (...) {
        finishThreads();
        throw;
    }
    finishThreads();
}

} // namespace workbookfile
