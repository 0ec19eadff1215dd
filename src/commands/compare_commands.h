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

// The regions of a comparison.
enum class Region { OnlyFirst, Both, OnlySecond };

// Removes the entries of `region` from `list` (1 or 2), or keeps only them, under the rules the
// comparison used: List 1's entries in both are what Subtract List 2 From List 1 removes, those
// only in List 1 what Keep Only Items Also In List 2 removes. Each is that command, with its
// guards, as one change.
void RemoveRegion(const Window& window, const QString& location, Region region, int list,
                  const List::MatchRules& rules);
void KeepOnlyRegion(const Window& window, const QString& location, Region region, int list,
                    const List::MatchRules& rules);

}  // namespace commands
