#include "commands/compare_commands.h"

#include "commands/list_tool_commands.h"
#include "commands/subtract_commands.h"

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

namespace {

controls::ListView& listView(const Window& window, int list) {
    return list == 1 ? window.ListView1 : window.ListView2;
}

// The region's entries of `list` are those with a match in the other list, or those without.
void keepMatched(const Window& window, const QString& location, int list, bool matched,
                 const List::MatchRules& rules) {
    controls::ListView& target = listView(window, list);
    controls::ListView& other = listView(window, list == 1 ? 2 : 1);
    if (matched) {
        KeepOnlyItemsAlsoIn(window, location, target, other, rules);
    } else {
        Subtract(window, location, target, other, rules);
    }
}

}  // namespace

void RemoveRegion(const Window& window, const QString& location, Region region, int list,
                  const List::MatchRules& rules) {
    keepMatched(window, location, list, region != Region::Both, rules);
}

void KeepOnlyRegion(const Window& window, const QString& location, Region region, int list,
                    const List::MatchRules& rules) {
    keepMatched(window, location, list, region == Region::Both, rules);
}

}  // namespace commands
