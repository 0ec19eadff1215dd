#pragma once

#include "commands/command_context.h"

namespace commands {

enum class FilterKind { Containing, NotContaining };

// Asks for a text and removes the entries of `list` that contain it, or that do not.
void Filter(const Window& window, const QString& location, FilterKind kind,
            controls::ListView& list);

}  // namespace commands
