#pragma once

#include <QString>
#include <QStringView>
#include <optional>
#include <vector>

#include "list_engine/match_rules.h"
#include "list_store/item_list.h"
#include "platform/event_pump.h"
#include "platform/progress.h"
#include "platform/steps.h"

namespace List {

// A rule that is off, suggested because it would make entries match; All stands for every such
// rule at once.
enum class NearMissRule { Trim, Spaces, Invisible, Unicode, Accents, Case, All };

// A short English name for a suggested rule: "ignore surrounding spaces", "spaces alike",
// "ignore invisible characters", "same Unicode form", "ignore accents", "ignore case", "all
// these rules together".
QString nearMissRuleName(NearMissRule rule);

// The rules in force with one more rule turned on (All: every rule of the six that is off).
MatchRules withRule(MatchRules rules, NearMissRule rule);

struct NearMissRow {
    NearMissRule rule = NearMissRule::Trim;
    // Entries only in List 1 (List 2) that this rule would match with some entry of the other
    // list. A single rule counts every entry it matches, so an entry may count in several rows;
    // the All row counts only those that no single rule matches.
    int first = 0;
    int second = 0;
};

// An entry of List 1 and one of List 2 that match under the rules of rows[row] but not under
// the rules in force; positions from 1.
struct NearMissPair {
    int row = 0;
    int first = 0;
    int second = 0;
};

struct NearMisses {
    // One row per rule that is off, in the order of NearMissRule (Unicode is left out when
    // accents are ignored, which implies it), then All when two or more are off.
    std::vector<NearMissRow> rows;
    // At most kMostPairs, in List 1's order (then List 2's), each under the first row that
    // matches it. A pair comes from an entry only in one list and the entry of the other list
    // it would match, so the other entry may be one that has a match already.
    static constexpr int kMostPairs = 1000;
    std::vector<NearMissPair> pairs;
};

// What the two lists hold under the matching rules. Positions are from 1, in list order; no
// text is copied. An entry without a key (see KeyMaker) matches nothing, is no repeat and has no
// key to count: it lies in its list's "only" region.
struct Comparison {
    int firstItems = 0;
    int secondItems = 0;
    // Entries whose key an earlier entry of the same list has.
    int firstRepeats = 0;
    int secondRepeats = 0;

    std::vector<int> onlyFirst;   // List 1's entries whose key List 2 does not have
    std::vector<int> bothFirst;   // List 1's entries whose key List 2 has
    std::vector<int> bothSecond;  // List 2's entries whose key List 1 has
    std::vector<int> onlySecond;  // List 2's entries whose key List 1 does not have
    // Distinct keys of each region; bothKeys are those the two lists share.
    qint64 onlyFirstKeys = 0;
    qint64 bothKeys = 0;
    qint64 onlySecondKeys = 0;

    // With near misses asked for.
    std::optional<NearMisses> nearMisses;
};

struct ComparisonEnvironment {
    platform::ErrorReport& report;
    platform::EventPump& pump;
    platform::ProgressSink& progress;
};

// Compares the two lists under the rules, and with `nearMisses` also finds which entries only
// in one list some rule that is off would match. The work runs on helper threads while this
// thread lets the window handle its events, so nothing may change either list until this
// returns. Nothing when it was cancelled or the window closed meanwhile, or when it failed (the
// failure is reported), or when the rules cannot make keys.
std::optional<Comparison> CompareLists(const ComparisonEnvironment& env,
                                       const list_store::ItemList& first,
                                       const list_store::ItemList& second, const MatchRules& rules,
                                       bool nearMisses);

// An entry as a near miss shows it, with what the eye cannot tell made visible:
//   - U+0020 at either end as '␣' (U+2423); inside, an ordinary space stays a space;
//   - every other white space, anywhere (tab, no-break and the typographic spaces), as a token
//     naming it, "⟨U+00A0⟩";
//   - invisible characters (format and control characters) as "⟨U+200B⟩";
//   - combining marks (Mn, Mc, Me) as "⟨U+0301⟩" after the letter they belong to, so that a
//     decomposed "é" shows apart from a composed one.
// Everything else stands as it is.
QString visibleText(QStringView text);

// Both entries of a pair made visible, and where their letters differ only in case (within the
// stretches where the two agree, case aside, from either end) those letters between '⟦' and
// '⟧' (U+27E6, U+27E7) in both.
struct VisiblePair {
    QString first;
    QString second;
};
VisiblePair visiblePair(QStringView first, QStringView second);

}  // namespace List
