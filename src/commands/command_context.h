#pragma once

#include <QString>
#include <functional>
#include <initializer_list>

#include "commands/busy_guard.h"
#include "commands/history.h"
#include "controls/common_dialog.h"
#include "controls/list_view.h"
#include "controls/pointer.h"
#include "list_engine/list.h"
#include "platform/progress.h"
#include "platform/services.h"
#include "platform/steps.h"

namespace commands {

// What the command handlers reach of the main window.
struct Window {
    controls::ListView& ListView1;
    controls::ListView& ListView2;
    controls::CommonDialog& CommonDialog1;
    controls::WindowPointer& pointer;
    platform::MessageBoxes& messages;
    platform::InputBoxes& input;
    platform::SettingsStore& settings;
    platform::ErrorReport& report;
    platform::EventPump& pump;
    platform::Clipboard& clipboard;
    const List::Environment& engine;
    BusyGuard& guard;
    const QString& applicationTitle;
    History& history;

    platform::Steps steps(const QString& location) const { return {report, location, &pump}; }
    // The steps of a long command: they stop once the command is cancelled, too.
    platform::Steps longSteps(const QString& location) const {
        return {report, location, &pump, platform::Steps::Work::Long};
    }
};

// The engine as the window gives it, comparing by `rules` (read when a comparison starts).
List::Environment withRules(const List::Environment& engine, const List::MatchRules& rules);

// Shows the busy pointer for as long as it lives, and the standard pointer after.
class BusyPointer {
public:
    explicit BusyPointer(controls::WindowPointer& pointer) : m_pointer(pointer) {}
    ~BusyPointer() { m_pointer.setState(controls::WindowPointer::Default); }
    BusyPointer(const BusyPointer&) = delete;
    BusyPointer& operator=(const BusyPointer&) = delete;
    void show() { m_pointer.setState(controls::WindowPointer::Busy); }

private:
    controls::WindowPointer& m_pointer;
};

// Passes progress on to the bar and puts the bar back to 0 when the work ends, however it ends;
// work that showed no progress leaves the bar as it was.
class ProgressShown : public platform::ProgressSink {
public:
    explicit ProgressShown(platform::ProgressSink& bar) : m_bar(bar) {}
    ~ProgressShown() override { reset(); }
    ProgressShown(const ProgressShown&) = delete;
    ProgressShown& operator=(const ProgressShown&) = delete;

    void setValue(double percent) override {
        m_bar.setValue(percent);
        m_moved = true;
    }
    void reset() {
        if (m_moved) m_bar.setValue(0);
        m_moved = false;
    }

private:
    platform::ProgressSink& m_bar;
    bool m_moved = false;
};
// After a long command's work: when the command was cancelled, takes back what it changed and
// puts the progress bar back to 0, and returns true. A failure to take it back is reported with
// `line`, the step that did the work. The busy pointer goes with BusyPointer.
bool takeBackIfCancelled(const Window& window, platform::Steps& step, int line,
                         History::Recording& change);

// The shape of every long command once it may start: the busy pointer shows from step `line` on,
// what `work` does to `changed` is one change in the history, taken back whole when the command
// is cancelled, and the standard pointer comes back in the step after the work's. The work runs
// its own steps from `line` + 2 on and returns the line of its last.
void runLongWork(const Window& window, platform::Steps& step, int line, const QString& change,
                 list_store::ListStore& changed, const std::function<int()>& work);

// A long command that holds the lists `held` (it reads them by position) and whose work is the
// one step 102, after the busy pointer at 100; the standard pointer comes back at 104.
void runLong(const Window& window, const QString& location, const QString& change,
             std::initializer_list<const list_store::ItemList*> held,
             list_store::ListStore& changed, const std::function<void()>& work);

}  // namespace commands
