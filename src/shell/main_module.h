#pragma once

#include <QString>

#include "platform/files.h"
#include "platform/services.h"

class Form1;

// The start-up helpers.
namespace Main {

extern const QString ProductName;          // "Quorvane"
extern const QString SettingsApplication;  // "Kelvarn"
extern const QString HomePageAddress;
constexpr int LongestApplicationTitle = 40;

using platform::FileExists;

// Dresses the window in the skin beside the program, when there is one.
void ApplySkinFile(Form1& form);

// The product name cut at its last blank until it is at most 40 characters long. A name that
// cannot be cut keeps the product name.
QString ApplicationTitleFor(const QString& productName);
void SetApplicationTitle(QString& applicationTitle);

// About one start in a hundred opens the home page; throws Failure when no browser starts.
void OpenHomePageAtRandom(const platform::Clock& clock, platform::RandomSource& random,
                          platform::Launcher& launcher);

}  // namespace Main
