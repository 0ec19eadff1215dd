#include "commands/subtract_commands.h"

#include "platform/failure.h"

using namespace Qt::Literals::StringLiterals;

namespace commands {

void Subtract(const Window& window, const QString& location, controls::ListView& first,
              controls::ListView& second, const List::MatchRules& rules) {
    runLong(window, location, u"Subtract"_s, {&first.items(), &second.items()}, first.items(), [&] {
        List::SubtractSecondListFromFirstList(withRules(window.engine, rules), first.items(),
                                              second.items());
    });
}

namespace {
const QString kSettingsApplication = u"Kelvarn"_s;
const QString kSettingsSection = u"Quorvane"_s;
const QString kMatchCaseKey = u"Check1"_s;
}  // namespace

void StoreMatchCase(const Window& window, const QString& location, platform::CheckValue value) {
    platform::Steps step = window.steps(location);
    step(100, [&] {
        window.settings.write(kSettingsApplication, kSettingsSection, kMatchCaseKey,
                              QString::number(platform::numberOf(value)));
    });
}

platform::CheckValue StoredMatchCase(platform::SettingsStore& settings) {
    const QString stored =
        settings.read(kSettingsApplication, kSettingsSection, kMatchCaseKey).value_or(u"1"_s);
    bool isNumber = false;
    const qlonglong value = stored.trimmed().toLongLong(&isNumber);
    // A stored value that is no whole number, or does not fit one, is reported as such on
    // purpose, and the box keeps its default.
    if (!isNumber) throw platform::Failure(u"Type mismatch"_s);
    if (value < -32768 || value > 32767) throw platform::Failure(u"Overflow"_s);
    return platform::checkValueFromNumber(int(value));
}

}  // namespace commands
