#include "shell/main_module.h"

#include <QFileInfo>
#include <QWidget>

#include "platform/failure.h"

using namespace Qt::Literals::StringLiterals;

namespace Main {

const QString ProductName = u"Quorvane"_s;
const QString SettingsApplication = u"Kelvarn"_s;
const QString HomePageAddress = u"https://www.kelvarn.example/"_s;

void ApplySkinFile(SkinnableWindow& form) {
    const QString path = form.programFolder() + platform::pathSeparator() + u"x"_s +
                         platform::pathSeparator() + u"o.cjs"_s;
    const QFileInfo info(path);
    if (!info.isFile() || info.isHidden()) return;

    QWidget& window = form.skinnedWindow();
    form.setBackgroundColour(window.palette().color(QPalette::Button));
    QWidget& check1 = form.matchCaseBox();
    check1.setAutoFillBackground(true);
    QPalette checkPalette = check1.palette();
    checkPalette.setColor(QPalette::Window, window.palette().color(QPalette::Button));
    check1.setPalette(checkPalette);

    controls::SkinEngine& skin = form.SkinFramework1();
    skin.LoadSkin(path, QString());
    skin.SetOptions(skin.Options() | 1);
    skin.SetFirstSwitch(true);
    skin.SetSecondSwitch(true);
    skin.ApplyWindow(window);
}

QString ApplicationTitleFor(const QString& productName) {
    QString title = productName;
    do {
        const qsizetype blank = title.lastIndexOf(u' ');
        if (blank < 0) return productName;  // nothing left to cut: the title stays as it began
        title.truncate(blank);
    } while (title.size() > LongestApplicationTitle);
    return title;
}

void SetApplicationTitle(QString& applicationTitle) {
    applicationTitle = ApplicationTitleFor(ProductName);
}

void OpenHomePageAtRandom(const platform::Clock& clock, platform::RandomSource& random,
                          platform::Launcher& launcher) {
    random.seed(clock.secondsSinceMidnight());
    const int drawn = int(random.next() * 100.0f) + 1;
    if (drawn != 7) return;
    if (!launcher.openAddress(HomePageAddress)) {
        throw platform::Failure(u"File not found: the web browser could not be started"_s);
    }
}

}  // namespace Main
