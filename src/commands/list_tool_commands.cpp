#include "commands/list_tool_commands.h"

using namespace Qt::Literals::StringLiterals;

namespace commands {

void KeepOnlyItemsAlsoIn(const Window& window, const QString& location, controls::ListView& list,
                         controls::ListView& other, const List::MatchRules& rules) {
    const int otherNumber = &other == &window.ListView1 ? 1 : 2;
    runLong(window, location, u"Keep Only Items Also In List %1"_s.arg(otherNumber),
            {&list.items(), &other.items()}, list.items(), [&] {
                List::KeepOnlyItemsAlsoInSecondList(withRules(window.engine, rules), list.items(),
                                                    other.items());
            });
}

void RemoveRepeatedItems(const Window& window, const QString& location, controls::ListView& list,
                         const List::MatchRules& rules) {
    runLong(window, location, u"Remove Repeated Items"_s, {&list.items()}, list.items(),
            [&] { List::RemoveRepeatedItems(withRules(window.engine, rules), list.items()); });
}

void SortList(const Window& window, const QString& location, controls::ListView& list,
              List::SortOrder order) {
    runLong(window, location, order == List::SortOrder::AToZ ? u"Sort A to Z"_s : u"Sort Z to A"_s,
            {&list.items()}, list.items(),
            [&] { List::SortItems(window.engine, list.items(), order); });
}

}  // namespace commands
