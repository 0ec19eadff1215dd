#include "platform/aside.h"

#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

namespace platform {

void runAside(const std::function<void()>& work, const std::function<void()>& between) {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    std::exception_ptr failure;
    std::thread worker([&] {
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
        const std::lock_guard<std::mutex> lock(mutex);
        done = true;
        finished.notify_one();
    });
    {
        std::unique_lock<std::mutex> lock(mutex);
        while (!finished.wait_for(lock, std::chrono::milliseconds(5), [&] { return done; })) {
            lock.unlock();
            between();
            lock.lock();
        }
    }
    worker.join();
    if (failure) std::rethrow_exception(failure);
}

}  // namespace platform
