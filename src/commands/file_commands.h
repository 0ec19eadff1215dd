#pragma once

#include <QIODevice>

#include "commands/command_context.h"
#include "commands/paths.h"

namespace commands {

extern const int kFileDialogFlags;
extern const QString kListFileFilter;

// Appends every line of one or several chosen files to `list`.
void LoadList(const Window& window, const QString& location, platform::ListView& list);

// Appends every line of the file to `list`; "File not found" when there is none. Other failures
// go to the caller's step.
void LoadListFromFile(const Window& window, platform::ItemList& list, const QString& path);

// Appends every line the device gives; a failure of the device goes to the caller's step, named
// by `path` when one is given, and the lines read before it stay.
void LoadListFromDevice(const Window& window, platform::ItemList& list, QIODevice& device,
                        const QString& path = {});

// Writes every entry of `list` to a chosen file, one per line.
void SaveList(const Window& window, const QString& location, platform::ListView& list);

}  // namespace commands
