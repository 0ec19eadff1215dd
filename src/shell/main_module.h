#pragma once

#include <QString>

#include "controls/skin.h"
#include "platform/files.h"
#include "platform/services.h"

class QColor;
class QWidget;

// The start-up helpers.
namespace Main {

// What dressing the main window in a skin reaches of it.
class SkinnableWindow {
public:
    virtual ~SkinnableWindow() = default;
    virtual const QString& programFolder() const = 0;
    virtual controls::SkinEngine& SkinFramework1() = 0;
    // The window itself: the skin is applied to it and so reaches every control on it.
    virtual QWidget& skinnedWindow() = 0;
    // The one control whose background is set apart from the window's.
    virtual QWidget& matchCaseBox() = 0;
    virtual void setBackgroundColour(const QColor& colour) = 0;
};

extern const QString ProductName;          // "Quorvane"
extern const QString SettingsApplication;  // "Kelvarn"
extern const QString HomePageAddress;
constexpr int LongestApplicationTitle = 40;

using platform::FileExists;

// Dresses the window in the skin beside the program, when there is one.
void ApplySkinFile(SkinnableWindow& form);

// The product name cut at its last blank until it is at most 40 characters long. A name that
// cannot be cut keeps the product name.
QString ApplicationTitleFor(const QString& productName);
void SetApplicationTitle(QString& applicationTitle);

// About one start in a hundred opens the home page; throws Failure when no browser starts.
void OpenHomePageAtRandom(const platform::Clock& clock, platform::RandomSource& random,
                          platform::Launcher& launcher);

}  // namespace Main
