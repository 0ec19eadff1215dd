#include "commands/item_commands.h"

#include "list_store/unicode_text.h"

using namespace Qt::Literals::StringLiterals;

namespace commands {

void AddOneItem(const Window& window, const QString& location, controls::ListView& list) {
    if (!window.guard.mayChange(list.items())) return;
    platform::Steps step = window.steps(location);
    QString answer;
    step(100, [&] {
        answer = window.input.ask(window.applicationTitle, u"Enter Item To Add To List: "_s);
    });
    if (!step.when(102, [&] { return !answer.isEmpty(); })) return;
    History::Recording change(window.history, u"Add One Item"_s, {&list.items()});
    step(104, [&] {
        list.items().append(list_store::withLoneSurrogatesReplaced(answer));
        list.showPosition(list.items().count());
    });
}

void ClearList1(const Window& window, const QString& location) {
    platform::Steps step = window.steps(location);
    step(100, [&] {
        if (window.pointer.state() == controls::WindowPointer::Busy) return;
        if (!window.guard.mayChange(window.ListView1.items())) return;
        History::Recording change(window.history, u"Clear List"_s, {&window.ListView1.items()});
        window.ListView1.items().clear();
    });
}

void ClearList2(const Window& window, const QString& location) {
    platform::Steps step = window.steps(location);
    step(100, [&] {
        if (!window.guard.mayChange(window.ListView2.items())) return;
        History::Recording change(window.history, u"Clear List"_s, {&window.ListView2.items()});
        window.ListView2.items().clear();
    });
}

void LoadSampleItems1(const Window& window, const QString& location) {
    list_store::ListStore& list = window.ListView1.items();
    if (!window.guard.mayChange(list)) return;
    platform::Steps step = window.steps(location);
    History::Recording change(window.history, u"Load Sample Items"_s, {&list});
    step(100, [&] { list.append(u"grape"_s); });
    step(102, [&] { list.append(u"banana"_s); });
    step(104, [&] { list.append(u"apple"_s); });
    step(106, [&] { list.append(u"orange"_s); });
}

void LoadSampleItems2(const Window& window, const QString& location) {
    list_store::ListStore& list = window.ListView2.items();
    if (!window.guard.mayChange(list)) return;
    platform::Steps step = window.steps(location);
    History::Recording change(window.history, u"Load Sample Items"_s, {&list});
    step(100, [&] { list.append(u"grape"_s); });
    step(102, [&] { list.append(u"apple"_s); });
}

}  // namespace commands
