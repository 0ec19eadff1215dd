#pragma once

#include <QString>

#include "platform/services.h"

namespace controls {

// The window's one file dialog: its settings are set before each showing, and the chosen file
// name comes back in FileName.
class CommonDialog {
public:
    explicit CommonDialog(platform::FileDialogs& dialogs) : m_dialogs(dialogs) {}

    QString FileName;
    int Flags = 0;
    QString DialogTitle;
    QString Filter;

    void ShowOpen() { FileName = m_dialogs.showOpen(request()); }
    void ShowSave() { FileName = m_dialogs.showSave(request()); }

private:
    platform::FileDialogRequest request() const { return {FileName, Flags, DialogTitle, Filter}; }

    platform::FileDialogs& m_dialogs;
};

}  // namespace controls
