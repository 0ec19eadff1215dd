#include "commands/command_context.h"

namespace commands {

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

}  // namespace commands
