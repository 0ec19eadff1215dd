#pragma once

#include <QString>
#include <functional>
#include <vector>

#include "platform/check_value.h"
#include "platform/event_pump.h"
#include "platform/item_list.h"
#include "platform/progress.h"
#include "platform/steps.h"

// The List engine: procedures that edit a list control's items in place.
namespace List {

// What the procedures reach of the main window besides their arguments.
struct Environment {
    platform::ErrorReport& report;
    platform::EventPump& pump;
    platform::ProgressSink& progress;                 // ProgressBar1
    std::function<platform::CheckValue()> matchCase;  // the value of Check1; may throw Failure
};

// Removes from `first` every item whose text equals the text of some item of `second`;
// `second` never changes. Check1 unchecked compares lower-cased texts, any other value exact texts.
void SubtractSecondListFromFirstList(const Environment& env, platform::ItemList& first,
                                     platform::ItemList& second);

// Remove every item whose text contains / does not contain `text` (exact, case-sensitive).
void RemoveItemsWith(const Environment& env, platform::ItemList& list, const QString& text);
void RemoveItemsWithout(const Environment& env, platform::ItemList& list, const QString& text);

// Each distinct value once, at its last occurrence, in the order they stood.
std::vector<int> DistinctValues(const std::vector<int>& values);
// The same; values that are distinct already are handed back without a copy. On failure
// `values` is left as it was.
std::vector<int> DistinctValues(std::vector<int>&& values);

}  // namespace List
