#include "commands/command_context.h"

namespace commands {

List::Environment withRules(const List::Environment& engine, const List::MatchRules& rules) {
    List::Environment ruled = engine;
    ruled.matchRules = [rules] { return rules; };
    return ruled;
}

bool takeBackIfCancelled(const Window& window, platform::Steps& step, int line,
                         History::Recording& change) {
    if (!window.pump.cancelled() || window.pump.closing()) return false;
    try {
        change.revert();
    } catch (...) {
        step.report(line, platform::describeCurrentException());
    }
    try {
        window.engine.progress.setValue(0);
    } catch (...) {
        // The bar refusing 0 is no reason to report anything after a cancel.
    }
    return true;
}

void runLongWork(const Window& window, platform::Steps& step, int line, const QString& change,
                 list_store::ListStore& changed, const std::function<int()>& work) {
    BusyPointer busy(window.pointer);
    History::Recording recording(window.history, change, {&changed});
    step(line, [&] { busy.show(); });
    const int last = work();
    if (takeBackIfCancelled(window, step, last, recording)) return;
    step(last + 2, [&] { window.pointer.setState(controls::WindowPointer::Default); });
}

void runLong(const Window& window, const QString& location, const QString& change,
             std::initializer_list<const list_store::ItemList*> held,
             list_store::ListStore& changed, const std::function<void()>& work) {
    const auto hold = window.guard.begin(held);
    if (!hold) return;
    platform::Steps step = window.longSteps(location);
    runLongWork(window, step, 100, change, changed, [&] {
        step(102, work);
        return 102;
    });
}

}  // namespace commands
