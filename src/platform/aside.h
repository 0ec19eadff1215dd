#pragma once

#include <QtGlobal>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>

namespace platform {

// Work on a thread of its own, while the thread that started it goes on: handling the window's
// events, reading another file, sorting another part. The one way the program runs work aside,
// on the standard library's threads and locks, which the thread sanitizer sees through.
//
// The work may end early when asked (stopRequested()) and may count what it has done
// (advance()); the starter asks with requestStop() and reads done(). What the work throws is
// thrown again by wait(). Whatever the work reads must stay as it is until it has ended.
class Aside {
public:
    // Starts `work` at once.
    explicit Aside(std::function<void(Aside&)> work);
    // Waits for the work if nobody has yet; what it threw is dropped then.
    ~Aside();
    Aside(const Aside&) = delete;
    Aside& operator=(const Aside&) = delete;

    // For the work.
    bool stopRequested() const { return m_stop.load(std::memory_order_relaxed); }
    void advance(qint64 count) { m_done.fetch_add(count, std::memory_order_relaxed); }
    // The same flag and count, for code that takes them as such.
    const std::atomic<bool>& stopFlag() const { return m_stop; }
    std::atomic<qint64>& doneCount() { return m_done; }

    // For the starter.
    void requestStop() { m_stop.store(true); }
    qint64 done() const { return m_done.load(std::memory_order_relaxed); }
    bool finished() const;
    // Calls `between` every `intervalMs` milliseconds until the work has ended (not at all when
    // it is empty), then throws again what the work threw.
    void wait(const std::function<void()>& between = {}, int intervalMs = 5);

private:
    void join();

    std::atomic<bool> m_stop = false;
    std::atomic<qint64> m_done = 0;
    mutable std::mutex m_mutex;
    std::condition_variable m_ended;
    bool m_finished = false;
    std::exception_ptr m_failure;
    std::thread m_thread;
};

// Runs `work` aside and calls `between` on this thread every few milliseconds until it is done,
// so that the window can handle its events meanwhile; then throws again what the work threw.
// The work must not touch anything `between` may change.
void runAside(const std::function<void()>& work, const std::function<void()>& between);

}  // namespace platform
