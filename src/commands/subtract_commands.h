#pragma once

#include "commands/command_context.h"
#include "platform/check_value.h"

namespace commands {

// Removes from `first` every entry that occurs in `second`, under the matching rules beyond case
// (the case is Check1's, as the subtraction reads it).
void Subtract(const Window& window, const QString& location, controls::ListView& first,
              controls::ListView& second, const List::MatchRules& rules = {});

// Keeps the match-case choice for the next start.
void StoreMatchCase(const Window& window, const QString& location, platform::CheckValue value);
// The choice kept, checked when none is. Throws Failure when the stored text is no whole number
// ("Type mismatch"), does not fit one ("Overflow") or is no value the box takes.
platform::CheckValue StoredMatchCase(platform::SettingsStore& settings);

}  // namespace commands
