#pragma once

#include <QtGlobal>
#include <initializer_list>
#include <optional>
#include <vector>

namespace platform {
class ItemList;
}

namespace commands {

// Knows whether a long command (load, save, subtract, filter) runs and which lists it reads by
// position. While one runs, no other long command starts, and nothing may change a held list:
// the running command's positions would then point at other items.
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

    // Starts a long command that holds the given lists; nothing when one already runs.
    [[nodiscard]] std::optional<Hold> begin(std::initializer_list<const platform::ItemList*> held);

    bool running() const { return m_running; }
    bool mayChange(const platform::ItemList& list) const;

private:
    void release();

    bool m_running = false;
    std::vector<const platform::ItemList*> m_held;
};

}  // namespace commands
