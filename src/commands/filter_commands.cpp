#include "commands/filter_commands.h"

using namespace Qt::Literals::StringLiterals;

namespace commands {

void Filter(const Window& window, const QString& location, FilterKind kind,
            controls::ListView& list) {
    const auto hold = window.guard.begin({&list.items()});
    if (!hold) return;
    platform::Steps step = window.longSteps(location);
    const QString prompt = kind == FilterKind::Containing ? u"Remove entries containing: "_s
                                                          : u"Remove entries not containing: "_s;
    QString answer;
    step(100, [&] { answer = window.input.ask(window.applicationTitle, prompt); });
    if (!step.when(102, [&] { return !answer.isEmpty(); })) return;
    runLongWork(window, step, 104, u"Remove Entries"_s, list.items(), [&] {
        step(106, [&] {
            if (kind == FilterKind::Containing) {
                List::RemoveItemsWith(window.engine, list.items(), answer);
            } else {
                List::RemoveItemsWithout(window.engine, list.items(), answer);
            }
        });
        return 106;
    });
}

}  // namespace commands
