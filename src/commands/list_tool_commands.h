#pragma once

#include "commands/command_context.h"
#include "list_engine/collation.h"

namespace commands {

// Keeps in `list` only the entries that also occur in `other`, matching case as the box says and
// under the matching rules beyond case.
void KeepOnlyItemsAlsoIn(const Window& window, const QString& location, controls::ListView& list,
                         controls::ListView& other, const List::MatchRules& rules = {});

// Removes every later copy of an entry from `list`, copies by the matching rules, case included.
void RemoveRepeatedItems(const Window& window, const QString& location, controls::ListView& list,
                         const List::MatchRules& rules = {});

// Sorts `list` A to Z or Z to A.
void SortList(const Window& window, const QString& location, controls::ListView& list,
              List::SortOrder order);

}  // namespace commands
