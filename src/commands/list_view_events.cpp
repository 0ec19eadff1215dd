#include "commands/list_view_events.h"

using namespace Qt::Literals::StringLiterals;

namespace commands {

namespace {

bool mayRemove(const Window& window, platform::ListView& list) {
    if (window.pointer.state() == platform::WindowPointer::Busy) return false;
    if (!window.guard.mayChange(list.items())) return false;
    return list.items().count() > 0;
}

}  // namespace

void RemoveSelectedOnKey(const Window& window, platform::ListView& list, int keyCode,
                         int /*shift*/) {
    if (keyCode != kDeleteKey) return;
    RemoveSelection(window, list);
}

void RemoveSelection(const Window& window, platform::ListView& list) {
    if (!mayRemove(window, list)) return;
    // A list with items but none selected stays as it is.
    const std::vector<int> positions = list.selectedPositions();
    if (positions.empty()) return;
    History::Recording change(window.history, u"Remove Items"_s, {&list.items()});
    list.items().removePositions(positions);
}

void RemoveSelected(const Window& window, platform::ListView& list) {
    if (!mayRemove(window, list)) return;
    const int position = list.selectedPosition();
    if (position < 1) return;
    History::Recording change(window.history, u"Remove Item"_s, {&list.items()});
    list.items().removeAt(position);
}

}  // namespace commands
