#pragma once

#include <QAction>
#include <QDir>
#include <QTemporaryDir>
#include <memory>

#include "list_helpers.h"
#include "scripted_pump.h"
#include "scripted_services.h"
#include "shell/form1.h"

// A Form1 with scripted seams, its program folder a fresh temporary folder.
struct FormHarness {
    ScriptedMessages messages;
    ScriptedInput input;
    ScriptedDialogs dialogs;
    MemorySettings settings;
    MemoryClipboard clipboard;
    // The clipboard the window is given: the scripted one unless replaced before make().
    platform::Clipboard* windowClipboard = &clipboard;
    RecordingLauncher launcher;
    FixedClock clock;
    ScriptedRandom random;
    ScriptedPump pump;
    // The pump the window is given: the scripted one unless replaced before make().
    platform::EventPump* eventPump = &pump;
    TestSkin skin;
    QTemporaryDir folder;
    std::unique_ptr<Form1> form;

    Form1& make() {
        // As the program is given it: in the platform's own separators.
        form = std::make_unique<Form1>(
            Form1Services{messages, input, dialogs, settings, *windowClipboard, launcher, clock,
                          random, *eventPump, skin, QDir::toNativeSeparators(folder.path())});
        return *form;
    }
    Form1& load() {
        make().Form_Load();
        return *form;
    }
};

// The entry of a list's context menu with this caption; nullptr when there is none.
inline QAction* menuAction(Form1& form, int list, const QString& caption) {
    for (QAction* action : form.listView(list)->actions()) {
        if (action->text() == caption) return action;
    }
    return nullptr;
}
