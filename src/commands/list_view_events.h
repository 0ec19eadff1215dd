#pragma once

#include "commands/command_context.h"

namespace commands {

constexpr int kDeleteKey = 46;

// The Delete key removes every selected entry of the list. Under Qt the list's Delete action
// takes the key first, as its shortcut, so a key press never reaches this with Delete: the
// action's RemoveSelection() does the work, and this stays the list's key handler.
void RemoveSelectedOnKey(const Window& window, controls::ListView& list, int keyCode, int shift);
// Removes every selected entry in one bulk removal.
void RemoveSelection(const Window& window, controls::ListView& list);
// The activation gesture (a double-click) removes the list's selected entry.
void RemoveSelected(const Window& window, controls::ListView& list);

}  // namespace commands
