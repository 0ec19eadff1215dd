#include "commands/list_view_events.h"

using namespace Qt::Literals::StringLiterals;

namespace commands {

namespace {

bool mayRemove(const Window& window, controls::ListView& list) {
    if (window.pointer.state() == controls::WindowPointer::Busy) return false;
    if (!window.guard.mayChange(list.items())) return false;
    return list.items().count() > 0;
}

}  // namespace

void RemoveSelectedOnKey(const Window& window, controls::ListView& list, int keyCode,
                         int /*shift*/) {
    if (keyCode != kDeleteKey) return;
    RemoveSelection(window, list);
}

void RemoveSelection(const Window& window, controls::ListView& list) {
    if (!mayRemove(window, list)) return;
    // A list with items but none selected stays as it is.
    const std::vector<int> positions = list.selectedPositions();
    if (positions.empty()) return;
    // A long list gives up its items in steps, with events handled between them: the list is
    // held meanwhile, as by any long command.
    const auto hold = window.guard.begin({&list.items()});
    if (!hold) return;
    History::Recording change(window.history, u"Remove Items"_s, {&list.items()});
    list.items().removePositionsInSteps(positions, [&] { window.pump.pumpAfterChunk(); });
}

void RemoveSelected(const Window& window, controls::ListView& list) {
    if (!mayRemove(window, list)) return;
    const int position = list.selectedPosition();
    if (position < 1) return;
    History::Recording change(window.history, u"Remove Item"_s, {&list.items()});
    list.items().removeAt(position);
}

}  // namespace commands
