#include "commands/help_command.h"

using namespace Qt::Literals::StringLiterals;

namespace commands {

const QString kContactPageAddress = u"https://www.kelvarn.example/contact/"_s;

QString HelpText() {
    return u"Questions? Please contact Team Kelvarn at "_s + kContactPageAddress + u"\r\r"_s +
           u"This software will remove the contents of one list from another. If you are "
           u"having problems with this software, first open the two text files you are working "
           u"with in Microsoft Notepad to make sure they are in a normal clean format."_s +
           u"\r\r"_s + u"Would you like to load some sample data to test this software?"_s;
}

void Help(const Window& window, const QString& location) {
    platform::Steps step = window.steps(location);
    platform::Answer answer = platform::Answer::No;
    step(100, [&] {
        answer =
            window.messages.show({window.applicationTitle, HelpText(), platform::Buttons::YesNo,
                                  platform::Icon::None, platform::Answer::Yes});
    });
    if (answer != platform::Answer::Yes) return;
    // A list that a running command reads by position gets no samples.
    list_store::ListStore& list1 = window.ListView1.items();
    list_store::ListStore& list2 = window.ListView2.items();
    History::Recording change(window.history, u"Load Sample Items"_s, {&list1, &list2});
    auto add = [&](list_store::ItemList& list, int line, const QString& text) {
        if (window.guard.mayChange(list)) step(line, [&] { list.append(text); });
    };
    add(list1, 102, u"1"_s);
    add(list1, 104, u"2"_s);
    add(list1, 106, u"2"_s);
    add(list1, 108, u"1"_s);
    add(list2, 110, u"3"_s);
    add(list2, 112, u"2"_s);
    add(list2, 114, u"1"_s);
}

}  // namespace commands
