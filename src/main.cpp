#include <QApplication>
#include <QScreen>

#include "platform/event_pump.h"
#include "platform/files.h"
#include "platform/qt_services.h"
#include "platform/skin.h"
#include "shell/form1.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);

    platform::QtMessageBoxes messages;
    platform::QtInputBoxes input;
    platform::QtFileDialogs dialogs;
    platform::QtSettingsStore settings;
    platform::DesktopLauncher launcher;
    platform::SystemClock clock;
    platform::SeededRandom random;
    platform::ThrottledEventPump pump;
    platform::StyleSheetSkin skin;

    Form1 form({messages, input, dialogs, settings, launcher, clock, random, pump, skin,
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
