#pragma once

#include <optional>

#include "commands/command_context.h"
#include "list_engine/comparison.h"

namespace commands {

// How a comparison of the two lists ended.
struct CompareOutcome {
    enum class Status {
        Done,       // `comparison` holds the figures and regions
        Busy,       // another long command runs: nothing was compared
        Cancelled,  // cancelled (Esc) or the window closed: nothing to show
        Failed,     // reported already, or the rules cannot make keys
    };
    Status status = Status::Failed;
    std::optional<List::Comparison> comparison;
};

// Compares List 1 with List 2 under `rules`, as a long command that holds both lists while it
// reads them: the busy pointer shows and `progress` climbs meanwhile, Esc cancels it. Nothing
// changes either list.
CompareOutcome CompareBothLists(const Window& window, const QString& location,
                                const List::MatchRules& rules, bool nearMisses,
                                platform::ProgressSink& progress);

}  // namespace commands
