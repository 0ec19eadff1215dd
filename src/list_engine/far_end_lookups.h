#pragma once

#include <QtGlobal>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>

#include "list_engine/text_index.h"
#include "platform/aside.h"

namespace List {

// Looks up items of a list in an index on a thread of its own, from the list's far end down,
// while the command's loop works up from the near end; the two meet in between, and the loop
// then finds the far end's answers ready. The command holds both lists, and the index is not
// changed while this runs (stop() first), so every answer stays valid.
class FarEndLookups {
public:
    FarEndLookups(const list_store::ItemList& list, const TextIndex& index, int count);
    ~FarEndLookups();
    FarEndLookups(const FarEndLookups&) = delete;
    FarEndLookups& operator=(const FarEndLookups&) = delete;

    const TextIndex& index() const { return m_index; }

    // Claims positions from `from` on, up to `last`, for the loop to look up itself; returns
    // the last position claimed, or `from` - 1 when the far end has `from` already.
    int claimNear(int from, int last);
    // The answer for a position that the far end has claimed: waits for it, letting the window
    // handle its events meanwhile. Nothing when the far end never reached it (it stopped or
    // failed) or the command is stopping; the loop then looks it up itself.
    std::optional<bool> farAnswer(int position, platform::EventPump& pump);
    // Positions from this on have answers the loop may read with answerAt(): those that the
    // far end had finished at the last farAnswer().
    int readyFrom() const { return m_readyFrom; }
    bool answerAt(int position) const { return m_found[size_t(position - 1)]; }
    // Ends the thread; what it has not looked up yet is the loop's again.
    void stop();

private:
    static constexpr int kChunk = 4096;

    void work();

    const list_store::ItemList& m_list;
    const TextIndex& m_index;
    std::unique_ptr<bool[]> m_found;  // by position - 1

    mutable std::mutex m_mutex;
    std::condition_variable m_progressed;
    int m_nearEnd = 0;   // positions up to this are the loop's
    int m_farBegin = 0;  // positions from this on are claimed by the far end
    int m_doneFrom = 0;  // positions from this on have their answers
    bool m_finished = false;
    int m_readyFrom = 0;  // the loop's own copy of m_doneFrom
    std::atomic<bool> m_stop = false;
    std::optional<platform::Aside> m_thread;
};

}  // namespace List
