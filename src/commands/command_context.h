#pragma once

#include <QString>

#include "commands/busy_guard.h"
#include "list_engine/list.h"
#include "platform/common_dialog.h"
#include "platform/list_view.h"
#include "platform/pointer.h"
#include "platform/services.h"
#include "platform/steps.h"

namespace commands {

// What the command handlers reach of the main window.
struct Window {
    platform::ListView& ListView1;
    platform::ListView& ListView2;
    platform::CommonDialog& CommonDialog1;
    platform::WindowPointer& pointer;
    platform::MessageBoxes& messages;
    platform::InputBoxes& input;
    platform::SettingsStore& settings;
    platform::ErrorReport& report;
    platform::EventPump& pump;
    const List::Environment& engine;
    BusyGuard& guard;
    const QString& applicationTitle;

    platform::Steps steps(const QString& location) const { return {report, location, &pump}; }
};

// Shows the busy pointer for as long as it lives, and the standard pointer after.
class BusyPointer {
public:
    explicit BusyPointer(platform::WindowPointer& pointer) : m_pointer(pointer) {}
    ~BusyPointer() { m_pointer.setState(platform::WindowPointer::Default); }
    BusyPointer(const BusyPointer&) = delete;
    BusyPointer& operator=(const BusyPointer&) = delete;
    void show() { m_pointer.setState(platform::WindowPointer::Busy); }

private:
    platform::WindowPointer& m_pointer;
};

}  // namespace commands
