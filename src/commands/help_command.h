#pragma once

#include "commands/command_context.h"

namespace commands {

extern const QString kContactPageAddress;

QString HelpText();

// Explains the program and offers sample data for both lists.
void Help(const Window& window, const QString& location);

}  // namespace commands
