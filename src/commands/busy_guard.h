#pragma once

#include <QtGlobal>
#include <functional>
#include <initializer_list>
#include <optional>
#include <span>
#include <vector>

#include "list_store/item_list.h"
#include "platform/event_pump.h"

namespace commands {

// Knows whether a long command (load, save, subtract, filter) runs and which lists it reads by
// position. While one runs, no other long command starts, and nothing may change a held list:
// the running command's positions would then point at other items. The running command can be
// cancelled; a cancel never outlives the command it was meant for.
class BusyGuard {
public:
    class Hold {
    public:
        explicit Hold(BusyGuard& guard) : m_guard(guard) {}
        ~Hold() { m_guard.release(); }
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;

    private:
        BusyGuard& m_guard;
    };

    explicit BusyGuard(platform::EventPump& pump) : m_pump(pump) {}

    // Starts a long command that holds the given lists; nothing when one already runs.
    [[nodiscard]] std::optional<Hold> begin(
        std::initializer_list<const list_store::ItemList*> held);
    [[nodiscard]] std::optional<Hold> begin(std::span<const list_store::ItemList* const> held);

    bool running() const { return m_running; }
    platform::EventPump& pump() const { return m_pump; }
    bool mayChange(const list_store::ItemList& list) const;

    // Asks the running long command to stop and take back what it did; nothing when none runs.
    void cancel();

    // The running command finishes its work when the window is closed, rather than stopping at
    // its next step: a save the user asked for is done, not silently dropped. Until it ends.
    void finishOnClose() { m_finishOnClose = m_running; }
    // A close request while such a command runs: true when it is put off until the command has
    // ended; false when the window may close now.
    bool putOffClose();
    // True once a close was put off: the command then shows no news of its success (its
    // failures still), since the program ends as soon as it has.
    bool closePutOff() const { return m_closePutOff; }

    // Called whenever a long command starts or ends.
    void onChange(std::function<void()> observer) { m_observers.push_back(std::move(observer)); }

private:
    void release();
    void changed() const;

    platform::EventPump& m_pump;
    bool m_running = false;
    bool m_finishOnClose = false;
    bool m_closePutOff = false;
    std::vector<const list_store::ItemList*> m_held;
    std::vector<std::function<void()>> m_observers;
};

}  // namespace commands
