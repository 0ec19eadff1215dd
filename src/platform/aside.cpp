#include "platform/aside.h"

#include <chrono>

namespace platform {

Aside::Aside(std::function<void(Aside&)> work) {
    m_thread = std::thread([this, work = std::move(work)] {
        std::exception_ptr failure;
        try {
            work(*this);
        } catch (...) {
            failure = std::current_exception();
        }
        const std::lock_guard lock(m_mutex);
        m_failure = failure;
        m_finished = true;
        m_ended.notify_all();
    });
}

Aside::~Aside() {
    join();
}

bool Aside::finished() const {
    const std::lock_guard lock(m_mutex);
    return m_finished;
}

void Aside::join() {
    if (m_thread.joinable()) m_thread.join();
}

void Aside::wait(const std::function<void()>& between, int intervalMs) {
    if (between) {
        std::unique_lock lock(m_mutex);
        while (!m_ended.wait_for(lock, std::chrono::milliseconds(intervalMs),
                                 [this] { return m_finished; })) {
            lock.unlock();
            between();
            lock.lock();
        }
    }
    join();
    if (m_failure) std::rethrow_exception(std::exchange(m_failure, nullptr));
}

void runAside(const std::function<void()>& work, const std::function<void()>& between) {
    Aside aside([&work](Aside&) { work(); });
    aside.wait(between);
}

}  // namespace platform
