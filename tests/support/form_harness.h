#pragma once

#include <QtWidgets/qtestsupport_widgets.h>
#include <QAction>
#include <QDir>
#include <QPushButton>
#include <QTemporaryDir>
#include <functional>
#include <memory>

#include "list_helpers.h"
#include "scripted_pump.h"
#include "scripted_services.h"
#include "shell/compare_by_dialog.h"
#include "shell/form1.h"

// The real Compare By dialog, never shown: `choose` sets its controls as a user would and says
// whether OK is then pressed; OK is pressed only when the dialog allows it. Records what each
// showing was asked, what it refused and the keys it previewed.
class ScriptedCompareBy : public commands::CompareByDialogs {
public:
    std::optional<List::MatchRules> ask(const commands::CompareByRequest& request) override {
        requests.append(request);
        shell::CompareByDialog dialog(request);
        const bool pressOk = !choose || choose(dialog);
        refusals.append(dialog.refusal());
        previews.append(dialog.previewedKeys());
        if (pressOk && dialog.okButton()->isEnabled()) dialog.okButton()->click();
        if (dialog.result() != QDialog::Accepted) return std::nullopt;
        return dialog.rules();
    }
    std::function<bool(shell::CompareByDialog&)> choose;
    QList<commands::CompareByRequest> requests;
    QStringList refusals;
    QList<QStringList> previews;
};

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
    ScriptedCompareBy compareBy;
    QTemporaryDir folder;
    std::unique_ptr<Form1> form;

    Form1& make() {
        // As the program is given it: in the platform's own separators.
        form = std::make_unique<Form1>(Form1Services{
            messages, input, dialogs, settings, *windowClipboard, launcher, clock, random,
            *eventPump, skin, compareBy, QDir::toNativeSeparators(folder.path())});
        return *form;
    }
    Form1& load() {
        make().Form_Load();
        return *form;
    }
    // Shows the window; false when it was not exposed in time. Until it is, its rows have no
    // places on the screen and its keys and drops reach nothing.
    bool shown() const {
        form->show();
        return QTest::qWaitForWindowExposed(form.get());
    }
};

// The entry of a list's context menu with this caption; nullptr when there is none.
inline QAction* menuAction(Form1& form, int list, const QString& caption) {
    for (QAction* action : form.listView(list)->actions()) {
        if (action->text() == caption) return action;
    }
    return nullptr;
}
