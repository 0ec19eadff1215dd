#include "list_engine/far_end_lookups.h"

#include <algorithm>
#include <chrono>
#include <span>

#include "list_store/item_list.h"
#include "platform/event_pump.h"

namespace List {

FarEndLookups::FarEndLookups(const list_store::ItemList& list, const TextIndex& index, int count)
    : m_list(list),
      m_index(index),
      // Not zeroed: its pages are touched only as answers are written.
      m_found(new bool[size_t(std::max(count, 1))]),
      m_farBegin(count + 1),
      m_doneFrom(count + 1),
      m_readyFrom(count + 1) {
    m_thread.emplace([this](platform::Aside&) { work(); });
}

FarEndLookups::~FarEndLookups() {
    stop();
}

void FarEndLookups::work() {
    TextIndex::Scratch scratch;
    list_store::ItemText texts[TextIndex::kMostAtOnce];
    try {
        for (;;) {
            int begin = 0;
            int end = 0;
            {
                const std::lock_guard lock(m_mutex);
                end = m_farBegin;
                begin = std::max(m_nearEnd + 1, end - kChunk);
                if (m_stop.load() || begin >= end) break;
                m_farBegin = begin;
            }
            for (int from = begin; from < end; from += TextIndex::kMostAtOnce) {
                const int count = std::min(TextIndex::kMostAtOnce, end - from);
                for (int k = 0; k < count; ++k) texts[k] = m_list.textView(from + k);
                m_index.containsEach(std::span<const list_store::ItemText>(texts, size_t(count)),
                                     m_found.get() + (from - 1), scratch);
            }
            {
                const std::lock_guard lock(m_mutex);
                m_doneFrom = begin;
            }
            m_progressed.notify_all();
        }
    } catch (...) {
        // A look-up that fails here (no memory) fails again in the loop, which reports it; the
        // positions not answered are the loop's to look up.
    }
    {
        const std::lock_guard lock(m_mutex);
        m_farBegin = m_doneFrom;
        m_finished = true;
    }
    m_progressed.notify_all();
}

int FarEndLookups::claimNear(int from, int last) {
    const std::lock_guard lock(m_mutex);
    if (from >= m_farBegin) return from - 1;
    const int to = std::min(last, m_farBegin - 1);
    m_nearEnd = std::max(m_nearEnd, to);
    return to;
}

std::optional<bool> FarEndLookups::farAnswer(int position, platform::EventPump& pump) {
    using namespace std::chrono_literals;
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (position >= m_doneFrom) {
            m_readyFrom = m_doneFrom;
            return m_found[size_t(position - 1)];
        }
        if (m_finished || position < m_farBegin || pump.stopping()) return std::nullopt;
        m_progressed.wait_for(lock, 5ms);
        lock.unlock();
        pump.pumpAfterChunk();
        lock.lock();
    }
}

void FarEndLookups::stop() {
    m_stop.store(true);
    m_thread.reset();
}

}  // namespace List
