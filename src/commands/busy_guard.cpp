#include "commands/busy_guard.h"

#include <algorithm>

#include "platform/event_pump.h"

namespace commands {

std::optional<BusyGuard::Hold> BusyGuard::begin(
    std::initializer_list<const list_store::ItemList*> held) {
    return begin(std::span<const list_store::ItemList* const>(held.begin(), held.size()));
}

std::optional<BusyGuard::Hold> BusyGuard::begin(std::span<const list_store::ItemList* const> held) {
    if (m_running) return std::nullopt;
    m_running = true;
    m_held.assign(held.begin(), held.end());
    m_pump.clearCancel();
    changed();
    return std::optional<Hold>(std::in_place_t{}, *this);
}

bool BusyGuard::mayChange(const list_store::ItemList& list) const {
    return std::find(m_held.begin(), m_held.end(), &list) == m_held.end();
}

void BusyGuard::cancel() {
    if (m_running) m_pump.requestCancel();
}

bool BusyGuard::putOffClose() {
    if (!m_running || !m_finishOnClose) return false;
    m_closePutOff = true;
    return true;
}

void BusyGuard::release() {
    m_running = false;
    m_finishOnClose = false;
    m_closePutOff = false;
    m_held.clear();
    m_pump.clearCancel();
    changed();
}

void BusyGuard::changed() const {
    for (const auto& observer : m_observers) observer();
}

}  // namespace commands
