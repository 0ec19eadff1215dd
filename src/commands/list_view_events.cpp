#include "commands/list_view_events.h"

namespace commands {

void RemoveSelectedOnKey(const Window& window, platform::ListView& list, int keyCode,
                         int /*shift*/) {
    if (keyCode != kDeleteKey) return;
    RemoveSelected(window, list);
}

void RemoveSelected(const Window& window, platform::ListView& list) {
    if (window.pointer.state() == platform::WindowPointer::Busy) return;
    if (!window.guard.mayChange(list.items())) return;
    if (list.items().count() == 0) return;
    // A list with items but none selected stays as it is.
    const int position = list.selectedPosition();
    if (position < 1) return;
    list.items().removeAt(position);
}

}  // namespace commands
