#pragma once

#include <span>

#include "commands/command_context.h"

namespace commands {

// Copied items each end with the platform's line end.
#ifdef Q_OS_WIN
inline constexpr QStringView kClipboardLineEnd = u"\r\n";
#else
inline constexpr QStringView kClipboardLineEnd = u"\n";
#endif

// Puts the selected entries of `list` on the clipboard, one per line, in list order.
void CopySelection(const Window& window, const QString& location, controls::ListView& list);
// The same for the entries at the given positions, rising, of `list`.
void CopyPositions(const Window& window, const QString& location, controls::ListView& list,
                   std::span<const int> risingPositions);

// Appends the clipboard's lines to `list`, split as a list file's lines are.
void Paste(const Window& window, const QString& location, controls::ListView& list);

// Appends the lines of text dropped onto `list`, as a paste does.
void DropText(const Window& window, const QString& location, controls::ListView& list,
              const QString& text);

}  // namespace commands
