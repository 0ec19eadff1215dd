#pragma once

#include <QTemporaryDir>
#include <QWidget>

#include "commands/busy_guard.h"
#include "commands/command_context.h"
#include "controls/list_view.h"
#include "engine_doubles.h"
#include "list_helpers.h"
#include "scripted_pump.h"
#include "scripted_services.h"
#include "shell/error_report.h"

// What the command handlers reach of the window, over real list views and scripted seams but
// without the main window: for tests of commands where the window is not the point. Failures are
// reported as the program reports them, through the scripted message boxes.
struct CommandHarness {
    ScriptedMessages messages;
    ScriptedInput input;
    ScriptedDialogs dialogs;
    MemorySettings settings;
    MemoryClipboard clipboard;
    ScriptedPump pump;
    RecordingProgress progress;
    QTemporaryDir folder;
    QWidget owner;  // parent of the list views, and what the pointer is shown over
    controls::ListView& ListView1 = *new controls::ListView(&owner);
    controls::ListView& ListView2 = *new controls::ListView(&owner);
    controls::CommonDialog CommonDialog1{dialogs};
    controls::WindowPointer pointer{owner};
    shell::ApplicationErrorReport report{messages};
    platform::CheckValue matchCase = platform::CheckValue::Checked;
    List::Environment engine{report, pump, progress, [this] { return matchCase; }};
    commands::BusyGuard guard{pump};
    QString applicationTitle = u"Quorvane"_s;
    commands::History history{guard, report, commands::defaultHistoryBound()};
    commands::Window window{ListView1, ListView2, CommonDialog1,    pointer, messages,
                            input,     settings,  report,           pump,    clipboard,
                            engine,    guard,     applicationTitle, history};
};
