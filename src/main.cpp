#include <QApplication>
#include <QScreen>
#include <cstdio>
#include <cstring>

#include "cli/command_line.h"
#include "controls/desktop_services.h"
#include "controls/skin.h"
#include "platform/event_pump.h"
#include "platform/files.h"
#include "platform/qt_services.h"
#include "shell/form1.h"

using namespace Qt::Literals::StringLiterals;

namespace {

// Whether the window has somewhere to show. Without a session Qt would abort with several lines
// about its platform plugin; one line that says what is wrong serves better.
bool hasGraphicalSession(int argc, char* argv[]) {
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0) {
            return true;
        }
    }
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
#else
    Q_UNUSED(argc);
    Q_UNUSED(argv);
    return true;
#endif
}

}  // namespace

int main(int argc, char* argv[]) {
    // Decided before any application object exists: a command-line run needs no display.
    if (cli::isCommandLine(argc, argv)) return cli::run(argc, argv);

    if (!hasGraphicalSession(argc, argv)) {
        std::fputs(
            "quorvane: no graphical session to open the window in (neither DISPLAY nor "
            "WAYLAND_DISPLAY is set); for the command line see 'quorvane --help'\n",
            stderr);
        return 1;
    }

    QApplication application(argc, argv);
    // Lets the desktop match the window with the installed menu entry and its icon.
    QGuiApplication::setDesktopFileName(u"example.kelvarn.Quorvane"_s);

    controls::QtMessageBoxes messages;
    controls::QtInputBoxes input;
    controls::QtFileDialogs dialogs;
    platform::QtSettingsStore settings;
    controls::SystemClipboard clipboard;
    controls::DesktopLauncher launcher;
    platform::SystemClock clock;
    platform::SeededRandom random;
    platform::ThrottledEventPump pump;
    controls::StyleSheetSkin skin;

    Form1 form({messages, input, dialogs, settings, clipboard, launcher, clock, random, pump, skin,
                platform::programFolder()});
    messages.setParent(&form);
    input.setParent(&form);
    dialogs.setParent(&form);
    form.Form_Load();

    if (const QScreen* screen = form.screen()) {
        QRect frame = form.frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        form.move(frame.topLeft());
    }
    form.show();
    return QApplication::exec();
}
