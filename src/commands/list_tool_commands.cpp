#include "commands/list_tool_commands.h"

#include <functional>

namespace commands {

namespace {

// The shape of every long command: the guard holds the lists the work reads, the busy pointer
// shows while it runs.
void runLong(const Window& window, const QString& location,
             std::initializer_list<const platform::ItemList*> held,
             const std::function<void()>& work) {
    const auto hold = window.guard.begin(held);
    if (!hold) return;
    platform::Steps step = window.steps(location);
    BusyPointer busy(window.pointer);
    step(100, [&] { busy.show(); });
    step(102, work);
    step(104, [&] { window.pointer.setState(platform::WindowPointer::Default); });
}

}  // namespace

void KeepOnlyItemsAlsoIn(const Window& window, const QString& location, platform::ListView& list,
                         platform::ListView& other) {
    runLong(window, location, {&list.items(), &other.items()}, [&] {
        List::KeepOnlyItemsAlsoInSecondList(window.engine, list.items(), other.items());
    });
}

void RemoveRepeatedItems(const Window& window, const QString& location, platform::ListView& list) {
    runLong(window, location, {&list.items()},
            [&] { List::RemoveRepeatedItems(window.engine, list.items()); });
}

void SortList(const Window& window, const QString& location, platform::ListView& list,
              List::SortOrder order) {
    runLong(window, location, {&list.items()},
            [&] { List::SortItems(window.engine, list.items(), order); });
}

}  // namespace commands
