#pragma once

#include "commands/command_context.h"

namespace commands {

// Removes from `first` every entry that occurs in `second`.
void Subtract(const Window& window, const QString& location, platform::ListView& first,
              platform::ListView& second);

// Keeps the match-case choice for the next start.
void StoreMatchCase(const Window& window, const QString& location, int value);

}  // namespace commands
