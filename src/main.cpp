#include <QApplication>
#include <QFileInfo>
#include <QScreen>
#include <cstdio>
#include <vector>

#include "cli/command_line.h"
#include "controls/desktop_services.h"
#include "controls/skin.h"
#include "platform/event_pump.h"
#include "platform/files.h"
#include "platform/qt_services.h"
#include "shell/compare_by_dialog.h"
#include "shell/form1.h"

using namespace Qt::Literals::StringLiterals;

namespace {

// Whether the window has somewhere to show. Without a session Qt would abort with several lines
// about its platform plugin; one line that says what is wrong serves better.
bool hasGraphicalSession(const QStringList& qtOptions) {
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    for (const QString& option : qtOptions) {
        for (const QString& chooser : {u"-platform"_s, u"-display"_s}) {
            if (option == chooser || option == u"-"_s + chooser) return true;
        }
    }
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
#else
    Q_UNUSED(qtOptions);
    return true;
#endif
}

// The files as the load dialog would name them: in full, whatever folder the window is in later.
QStringList absolutePaths(const QStringList& paths) {
    QStringList result;
    result.reserve(paths.size());
    for (const QString& path : paths) result.append(QFileInfo(path).absoluteFilePath());
    return result;
}

}  // namespace

int main(int argc, char* argv[]) {
    // Decided before any application object exists: a command needs no display, and a usage error
    // opens no window.
    const cli::Invocation invocation = cli::classify(cli::programArguments(argc, argv));
    if (invocation.kind != cli::Invocation::Kind::Window) return cli::run(invocation, argc, argv);

    if (!hasGraphicalSession(invocation.qtOptions)) {
        std::fputs(
            "quorvane: no graphical session to open the window in (neither DISPLAY nor "
            "WAYLAND_DISPLAY is set); for the command line see 'quorvane --help'\n",
            stderr);
        return 1;
    }

    // The application object sees Qt's own options and nothing else, so that a file named like
    // one of them stays a file.
    std::vector<QByteArray> qtArguments{QByteArray(argv[0])};
    for (const QString& option : invocation.qtOptions) qtArguments.push_back(option.toLocal8Bit());
    std::vector<char*> qtArgv;
    qtArgv.reserve(qtArguments.size() + 1);
    for (QByteArray& argument : qtArguments) qtArgv.push_back(argument.data());
    qtArgv.push_back(nullptr);
    int qtArgc = int(qtArguments.size());
    QApplication application(qtArgc, qtArgv.data());
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
    shell::QtCompareByDialogs compareBy;

    Form1 form({messages, input, dialogs, settings, clipboard, launcher, clock, random, pump, skin,
                compareBy, platform::programFolder()});
    messages.setParent(&form);
    input.setParent(&form);
    dialogs.setParent(&form);
    compareBy.setParent(&form);
    form.Form_Load();

    if (const QScreen* screen = form.screen()) {
        QRect frame = form.frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        form.move(frame.topLeft());
    }
    form.show();
    if (!invocation.list1.isEmpty() || !invocation.list2.isEmpty()) {
        // Once the event loop runs, so that the loads' reports appear over the visible window.
        QMetaObject::invokeMethod(
            &form,
            [&form, list1 = absolutePaths(invocation.list1),
             list2 = absolutePaths(invocation.list2)] { form.OpenFiles(list1, list2); },
            Qt::QueuedConnection);
    }
    return QApplication::exec();
}
