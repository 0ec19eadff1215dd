#pragma once

// Quorvane's command line: subtract, intersect, filter, de-duplicate and sort list files without
// a window or a display. It links QtCore only; a run creates a QCoreApplication and never a GUI
// application object.
namespace cli {

// True when the arguments ask for a command-line run (a command, or one of the command line's
// own options). Anything else, including Qt's own window options such as -platform or -session,
// is left to the window.
bool isCommandLine(int argc, const char* const* argv);

// Runs the command line and returns the exit status: 0 done, 1 a file could not be read or
// written, 2 a usage error.
int run(int argc, char* argv[]);

}  // namespace cli
