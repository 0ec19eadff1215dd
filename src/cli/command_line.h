#pragma once

#include "cli/arguments.h"

// Quorvane's command line: subtract, intersect, filter, de-duplicate and sort list files without
// a window or a display. It links QtCore only; a run creates a QCoreApplication and never a GUI
// application object.
namespace cli {

// Does what the arguments ask of the command line (any kind but the window: a command, the help,
// the version or a usage error) and returns the exit status: 0 done, 1 a file could not be read
// or written, 2 a usage error. Nothing but its own messages reaches standard error.
int run(const Invocation& invocation, int argc, char* argv[]);

}  // namespace cli
