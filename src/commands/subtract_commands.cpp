#include "commands/subtract_commands.h"

using namespace Qt::Literals::StringLiterals;

namespace commands {

void Subtract(const Window& window, const QString& location, platform::ListView& first,
              platform::ListView& second) {
    const auto hold = window.guard.begin({&first.items(), &second.items()});
    if (!hold) return;
    platform::Steps step = window.steps(location);
    BusyPointer busy(window.pointer);
    step(100, [&] { busy.show(); });
    step(102, [&] {
        List::SubtractSecondListFromFirstList(window.engine, first.items(), second.items());
    });
    step(104, [&] { window.pointer.setState(platform::WindowPointer::Default); });
}

void StoreMatchCase(const Window& window, const QString& location, int value) {
    platform::Steps step = window.steps(location);
    step(100, [&] {
        window.settings.write(u"Kelvarn"_s, u"Quorvane"_s, u"Check1"_s, QString::number(value));
    });
}

}  // namespace commands
