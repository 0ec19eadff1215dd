#pragma once

#include <QString>
#include <functional>
#include <vector>

#include "list_engine/collation.h"
#include "list_engine/match_rules.h"
#include "list_store/item_list.h"
#include "platform/check_value.h"
#include "platform/event_pump.h"
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
    // The matching rules, read once when a comparison starts; none when empty. Their ignoreCase
    // counts for RemoveRepeatedItems alone: the subtraction and its complement take the case
    // from matchCase, item by item, whatever the rules say.
    std::function<MatchRules()> matchRules = {};
};

// Removes from `first` every item whose text equals the text of some item of `second`;
// `second` never changes. Check1 unchecked compares lower-cased texts, any other value exact texts.
// With matching rules beyond case, the items' keys are compared instead; whole items are removed,
// and an item without a key stays. Rules that cannot make keys change nothing.
// On long lists a helper thread reads both lists while the window handles its events, so the
// caller must see that nothing changes them until this returns (as for SortItems).
void SubtractSecondListFromFirstList(const Environment& env, list_store::ItemList& first,
                                     list_store::ItemList& second);

// Removes from `first` every item whose text does not equal the text of some item of `second`;
// the complement of the subtraction, with the same comparison: what one keeps the other removes
// (an item without a key goes).
void KeepOnlyItemsAlsoInSecondList(const Environment& env, list_store::ItemList& first,
                                   list_store::ItemList& second);

// Removes every item whose text equals that of an earlier item (exact, case-sensitive unless the
// rules ignore case); the first occurrence of each text stays where it was. With matching rules,
// the first item of each key stays, and every item without a key.
void RemoveRepeatedItems(const Environment& env, list_store::ItemList& list);

// Puts the items in the order of collationLocale(), A to Z or Z to A; items that collate as
// equal keep their order. The order is computed on worker threads while the window handles its
// events; they read the list throughout, so the caller must see that nothing changes it until
// this returns.
void SortItems(const Environment& env, list_store::ItemList& list, SortOrder order);

// Remove every item whose text contains / does not contain `text` (exact, case-sensitive).
void RemoveItemsWith(const Environment& env, list_store::ItemList& list, const QString& text);
void RemoveItemsWithout(const Environment& env, list_store::ItemList& list, const QString& text);

// Each distinct value once, at its last occurrence, in the order they stood.
std::vector<int> DistinctValues(const std::vector<int>& values);
// The same; values that are distinct already are handed back without a copy. On failure
// `values` is left as it was.
std::vector<int> DistinctValues(std::vector<int>&& values);

}  // namespace List
