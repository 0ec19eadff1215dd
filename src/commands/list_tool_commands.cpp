#include "commands/list_tool_commands.h"

#include <functional>

using namespace Qt::Literals::StringLiterals;

namespace commands {

namespace {

// The shape of every long command: the guard holds the lists the work reads, the busy pointer
// shows while it runs, and what the work does to `changed` is one change in the history, taken
// back whole when the command is cancelled.
void runLong(const Window& window, const QString& location, const QString& change,
             std::initializer_list<const list_store::ItemList*> held,
             list_store::ListStore& changed, const std::function<void()>& work) {
    const auto hold = window.guard.begin(held);
    if (!hold) return;
    platform::Steps step = window.longSteps(location);
    BusyPointer busy(window.pointer);
    History::Recording recording(window.history, change, {&changed});
    step(100, [&] { busy.show(); });
    step(102, work);
    if (takeBackIfCancelled(window, step, 102, recording)) return;
    step(104, [&] { window.pointer.setState(controls::WindowPointer::Default); });
}

}  // namespace

void KeepOnlyItemsAlsoIn(const Window& window, const QString& location, controls::ListView& list,
                         controls::ListView& other) {
    const int otherNumber = &other == &window.ListView1 ? 1 : 2;
    runLong(window, location, u"Keep Only Items Also In List %1"_s.arg(otherNumber),
            {&list.items(), &other.items()}, list.items(), [&] {
                List::KeepOnlyItemsAlsoInSecondList(window.engine, list.items(), other.items());
            });
}

void RemoveRepeatedItems(const Window& window, const QString& location, controls::ListView& list) {
    runLong(window, location, u"Remove Repeated Items"_s, {&list.items()}, list.items(),
            [&] { List::RemoveRepeatedItems(window.engine, list.items()); });
}

void SortList(const Window& window, const QString& location, controls::ListView& list,
              List::SortOrder order) {
    runLong(window, location, order == List::SortOrder::AToZ ? u"Sort A to Z"_s : u"Sort Z to A"_s,
            {&list.items()}, list.items(),
            [&] { List::SortItems(window.engine, list.items(), order); });
}

}  // namespace commands
