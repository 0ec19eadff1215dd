#include "commands/compare_commands.h"

namespace commands {

CompareOutcome CompareBothLists(const Window& window, const QString& location,
                                const List::MatchRules& rules, bool nearMisses,
                                platform::ProgressSink& progress) {
    CompareOutcome outcome;
    const auto hold = window.guard.begin({&window.ListView1.items(), &window.ListView2.items()});
    if (!hold) {
        outcome.status = CompareOutcome::Status::Busy;
        return outcome;
    }
    platform::Steps step = window.longSteps(location);
    BusyPointer busy(window.pointer);
    step(100, [&] { busy.show(); });
    {
        ProgressShown shown(progress);
        const List::ComparisonEnvironment environment{window.report, window.pump, shown};
        step(102, [&] {
            outcome.comparison = List::CompareLists(environment, window.ListView1.items(),
                                                    window.ListView2.items(), rules, nearMisses);
        });
    }
    if (window.pump.stopping()) {
        outcome.comparison.reset();
        outcome.status = CompareOutcome::Status::Cancelled;
        return outcome;
    }
    outcome.status =
        outcome.comparison ? CompareOutcome::Status::Done : CompareOutcome::Status::Failed;
    step(104, [&] { window.pointer.setState(controls::WindowPointer::Default); });
    return outcome;
}

}  // namespace commands
