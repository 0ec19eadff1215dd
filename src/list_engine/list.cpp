#include "list_engine/list.h"

#include <QStringMatcher>
#include <algorithm>
#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <unordered_set>
#include <utility>

#include "list_engine/far_end_lookups.h"
#include "list_engine/text_index.h"
#include "list_store/text_block.h"
#include "platform/aside.h"
#include "platform/event_pump.h"
#include "platform/failure.h"

using namespace Qt::Literals::StringLiterals;

namespace List {

namespace {

const QString kSubtractLocation =
    platform::procedureLocation(u"List", u"SubtractSecondListFromFirstList");
const QString kRemoveWithLocation = platform::procedureLocation(u"List", u"RemoveItemsWith");
const QString kRemoveWithoutLocation = platform::procedureLocation(u"List", u"RemoveItemsWithout");
const QString kKeepLocation =
    platform::procedureLocation(u"List", u"KeepOnlyItemsAlsoInSecondList");
const QString kRepeatsLocation = platform::procedureLocation(u"List", u"RemoveRepeatedItems");
const QString kSortLocation = platform::procedureLocation(u"List", u"SortItems");

// Finds a text, case respected, in items of either stored form: an item kept as Latin-1 holds
// no unit above 255, so it is searched for the Latin-1 form of the text, when there is one.
class TextFinder {
public:
    explicit TextFinder(const QString& text) : m_matcher(text, Qt::CaseSensitive) {
        const auto* units = reinterpret_cast<const char16_t*>(text.constData());
        m_hasLatin1 = list_store::fitsLatin1(units, text.size());
        if (m_hasLatin1) {
            m_latin1.resize(text.size());
            list_store::narrowTo(units, text.size(), m_latin1.data());
        }
    }

    bool isIn(list_store::ItemText item) const {
        if (item.isWide()) return m_matcher.indexIn(QStringView(item.utf16(), item.size())) >= 0;
        if (!m_hasLatin1) return false;
        if (m_latin1.isEmpty()) return true;
        return std::string_view(item.latin1(), size_t(item.size()))
                   .find(std::string_view(m_latin1.constData(), size_t(m_latin1.size()))) !=
               std::string_view::npos;
    }

private:
    QStringMatcher m_matcher;
    QByteArray m_latin1;
    bool m_hasLatin1 = false;
};

// Position `i` of a list that holds `count` items now, as a percentage.
void showProgress(platform::ProgressSink& progress, int i, int count) {
    // An emptied list has no position to show: raised on purpose, so that the step reports what
    // the division would have.
    if (count == 0) throw platform::Failure(u"Division by zero"_s);
    progress.setValue(double(i) / double(count) * 100.0);
}

// The answers for the next items of the first list, looked up together because one look-up at
// a time waits for memory again and again. On a long list a second thread looks up items from
// the far end meanwhile. An answer stands only while nothing it depends on has changed: the
// index (and with it the mode), the second list, and the first list's items.
class LookAhead {
public:
    LookAhead(const list_store::ItemList& first, const list_store::ItemList& second,
              platform::EventPump& pump)
        : m_first(first), m_second(second), m_pump(pump) {}

    std::optional<bool> answer(const TextIndex& index, int position) const {
        if (knownThrough(index, position, position) < position) return std::nullopt;
        return knownAnswer(index, position);
    }

    // The last position from `position` to `last` up to which every answer is known (then
    // knownAnswer() gives them), or `position` - 1.
    int knownThrough(const TextIndex& index, int position, int last) const {
        if (m_first.removalGeneration() != m_firstRemovals ||
            m_second.changeGeneration() != m_secondChanges) {
            return position - 1;
        }
        if (&index == m_index && position >= m_from && position < m_from + m_count) {
            return std::min(last, m_from + m_count - 1);
        }
        if (m_far && &m_far->index() == &index && position >= m_far->readyFrom()) return last;
        return position - 1;
    }
    bool knownAnswer(const TextIndex& index, int position) const {
        if (&index == m_index && position >= m_from && position < m_from + m_count) {
            return m_found[position - m_from];
        }
        return m_far->answerAt(position);
    }

    // Looks up positions from `position` on, up to `last`, unless they are answered already.
    void prepare(TextIndex& index, int position, int last) {
        if (answer(index, position) || position < m_retryFrom) return;
        m_index = nullptr;
        // Should this fail, these positions are looked up one by one instead of failing again.
        m_retryFrom = position + TextIndex::kMostAtOnce;
        update(index);
        if (!index.isCurrent()) return;
        noteGenerations();
        startFarEnd(index, position, last);
        if (m_far && &m_far->index() == &index) {
            // The far end's positions wait for its answers; the rest are claimed here.
            for (;;) {
                if (m_far->farAnswer(position, m_pump)) {
                    m_retryFrom = 0;
                    return;
                }
                if (m_pump.stopping()) return;
                const int near = m_far->claimNear(
                    position, std::min(last, position + TextIndex::kMostAtOnce - 1));
                if (near >= position) {
                    last = near;
                    break;
                }
            }
        }
        const int count =
            std::min({last, m_first.count(), position + TextIndex::kMostAtOnce - 1}) - position + 1;
        if (count <= 0) return;
        list_store::ItemText texts[TextIndex::kMostAtOnce];
        for (int k = 0; k < count; ++k) texts[k] = m_first.textView(position + k);
        index.containsEach(std::span<const list_store::ItemText>(texts, size_t(count)), m_found);
        m_retryFrom = 0;
        m_index = &index;
        m_from = position;
        m_count = count;
    }

    // Brings an index up to date; the far end stops first if it reads that index.
    void update(TextIndex& index) {
        if (index.isCurrent()) return;
        if (m_far && &m_far->index() == &index) stopFarEnd();
        index.update();
    }

    void stopFarEnd() {
        if (m_far) m_far->stop();
    }
    // Gives back the far end's answers, a byte an item; nothing is known any more.
    void release() {
        stopFarEnd();
        m_far.reset();
        m_index = nullptr;
    }

private:
    // Notes the lists' generations that answers from now on depend on; the far end's answers
    // depended on earlier ones and go when those differ.
    void noteGenerations() {
        const quint64 firstRemovals = m_first.removalGeneration();
        const quint64 secondChanges = m_second.changeGeneration();
        if (m_far && (firstRemovals != m_firstRemovals || secondChanges != m_secondChanges)) {
            stopFarEnd();
            m_far.reset();
        }
        m_firstRemovals = firstRemovals;
        m_secondChanges = secondChanges;
    }

    void startFarEnd(const TextIndex& index, int position, int last) {
        if (m_farStarted || last - position < kLeastForFarEnd) return;
        m_farStarted = true;
        m_far = std::make_unique<FarEndLookups>(m_first, index, std::min(last, m_first.count()));
    }

    // Below this many items a second thread does not pay for itself.
    static constexpr int kLeastForFarEnd = 100'000;

    const list_store::ItemList& m_first;
    const list_store::ItemList& m_second;
    platform::EventPump& m_pump;
    const TextIndex* m_index = nullptr;
    int m_from = 0;
    int m_count = 0;
    int m_retryFrom = 0;
    quint64 m_firstRemovals = 0;
    quint64 m_secondChanges = 0;
    bool m_found[TextIndex::kMostAtOnce] = {};
    std::unique_ptr<FarEndLookups> m_far;
    bool m_farStarted = false;
};

// A mark takes two steps, as it always has: one extends the marks, the next stores the position.
// When the first fails (no memory), the second fails on purpose too, so both lines are reported
// and no position is stored in a slot that does not exist.
void markPosition(platform::Steps& step, int extendLine, std::vector<int>& marks, int position) {
    bool extended = false;
    step(extendLine, [&] {
        marks.push_back(0);
        extended = true;
    });
    step(extendLine + 2, [&] {
        if (!extended) throw platform::Failure(u"Subscript out of range"_s);
        marks.back() = position;
    });
}

// Items of the first list compared between two chances for the window to handle its events,
// when their answers are known already.
constexpr int kItemsPerRun = 256;

const QString kInvalidRules =
    u"The matching rules cannot make keys (field number or pattern), so no item was removed"_s;

MatchRules withCase(MatchRules rules, bool ignoreCase) {
    rules.ignoreCase = ignoreCase;
    return rules;
}

// Removes the marked positions in one pass. The marks were taken from the list as it was
// scanned; if anything was removed from it since, they may point at other items, so nothing is
// removed at all rather than the wrong items.
constexpr size_t kMostMarksWithoutPumps = 1'000'000;

// Runs `work` aside, letting the window handle its events meanwhile, when it is `long`: a pass
// over the marks of tens of millions of items, or giving back the hundreds of megabytes of their
// look-up tables and marks, which the system takes a while over. Otherwise here, at once.
void maybeAside(bool isLong, platform::EventPump& pump, const std::function<void()>& work) {
    if (!isLong) {
        work();
        return;
    }
    platform::runAside(work, [&] { pump.pumpAfterChunk(); });
}

void removeMarked(platform::Steps& step, int line, list_store::ItemList& list,
                  const std::vector<int>& marks, quint64 removalsWhenScanned,
                  platform::EventPump& pump) {
    step(line, [&] {
        if (list.removalGeneration() != removalsWhenScanned) {
            throw platform::Failure(
                u"The list was changed while it was being worked on, so no item was removed"_s);
        }
        std::span<const int> positions(marks);
        const int count = list.count();
        const auto beyond = std::upper_bound(positions.begin(), positions.end(), count);
        if (beyond != positions.end()) {
            step.report(line,
                        u"Index out of bounds: %1 marked positions no longer exist in a "
                        u"list of %2 items"_s.arg(positions.end() - beyond)
                            .arg(count));
            positions = positions.first(size_t(beyond - positions.begin()));
        }
        // A long list gives up its items in steps, and the window handles its events between
        // them; the list is held by this command, so nothing but reading comes between.
        list.removePositionsInSteps(positions, [&] { pump.pumpAfterChunk(); });
    });
}

void removeItemsContaining(const Environment& env, list_store::ItemList& list, const QString& text,
                           bool removeContaining, const QString& location) {
    platform::Steps step(env.report, location, &env.pump, platform::Steps::Work::Long);
    std::vector<int> marks;
    step(100, [&] { marks.clear(); });
    int n = 0;
    step(102, [&] {
        n = list.count();
        marks.reserve(size_t(n));
    });
    const quint64 removalsWhenScanned = list.removalGeneration();
    const TextFinder finder(text);

    for (int i = 1; i <= n; ++i) {
        if (step.stopped()) return;
        step(104, [&] { env.pump.pump(); });
        step(106, [&] { showProgress(env.progress, i, list.count()); });
        const bool marked = step.when(108, [&] {
            const bool contained = text.isEmpty() || finder.isIn(list.textView(i));
            return contained == removeContaining;
        });
        if (marked) markPosition(step, 110, marks, i);
    }
    if (step.stopped()) return;

    if (!marks.empty()) {
        step(118, [&] { env.pump.pump(); });
        removeMarked(step, 120, list, marks, removalsWhenScanned, env.pump);
    }
    step(124, [&] { env.progress.setValue(0); });
}

// The subtraction and its complement: removes from `first` the items that occur in `second`
// (`removeFound`) or those that do not. Both read the box and compare alike, item by item, so
// that for the same lists what one keeps the other removes.
void removeByPresence(const Environment& env, list_store::ItemList& first,
                      list_store::ItemList& second, bool removeFound, const QString& location) {
    platform::Steps step(env.report, location, &env.pump, platform::Steps::Work::Long);
    std::vector<int> marks;
    step(100, [&] { marks.clear(); });
    int n = 0;
    step(102, [&] {
        n = first.count();
        marks.reserve(size_t(n));  // address space only; pages come as marks are stored
    });
    const quint64 removalsWhenScanned = first.removalGeneration();

    // The rules hold for the whole run; the box still decides the case, item by item.
    const MatchRules rules = env.matchRules ? env.matchRules() : MatchRules();
    const KeyMaker exactKeys(withCase(rules, false));
    const KeyMaker loweredKeys(withCase(rules, true));
    if (!exactKeys.isValid()) {
        step(104, [] { throw platform::Failure(kInvalidRules); });
        step(136, [&] { env.progress.setValue(0); });
        return;
    }
    const bool plain = exactKeys.isPlain();

    // Each index is built the first time a look-up needs it, and kept up to date with the
    // second list from then on.
    TextIndex exact = plain ? TextIndex(second, TextIndex::Keys::Exact, env.pump)
                            : TextIndex(second, exactKeys, env.pump);
    TextIndex lowered = plain ? TextIndex(second, TextIndex::Keys::LowerCase, env.pump)
                              : TextIndex(second, loweredKeys, env.pump);
    // The mode of the next item is most likely that of the last; before the box has been read,
    // nothing is prepared, so that no index is built for a mode that is not asked for.
    TextIndex* lastUsed = nullptr;
    LookAhead lookAhead(first, second, env.pump);
    bool afterRun = false;

    for (int i = 1; i <= n;) {
        if (step.stopped()) return;
        step(104, [&] { showProgress(env.progress, i, first.count()); });
        int m = 0;
        step(106, [&] {
            m = second.count();
            if (m > 0 && lastUsed) lookAhead.prepare(*lastUsed, i, n);
        });
        // With an empty (or unreadable) second list there is nothing to compare with: no events
        // are processed and the box is not read.
        if (m <= 0) {
            if (!removeFound) markPosition(step, 120, marks, i);
            ++i;
            continue;
        }
        // After a run of items the pump has not been called for each of them: the clock decides.
        step(108, [&] { afterRun ? env.pump.pumpAfterChunk() : env.pump.pump(); });
        // Read once per item: a change of the box takes effect from the next item on.
        const bool ignoreCase =
            step.when(110, [&] { return env.matchCase() == platform::CheckValue::Unchecked; });
        TextIndex& index = ignoreCase ? lowered : exact;
        lastUsed = &index;
        // The look-up is line 112 when case is ignored and 118 when it is respected, both for
        // building the index and for asking it, so a failure names the line of its mode.
        // An index that cannot be built (no memory) would fail every look-up and so mark every
        // item: the run stops after one report instead, and nothing is removed.
        if (!index.isCurrent() && !step(ignoreCase ? 112 : 118, [&] { lookAhead.update(index); })) {
            step(136, [&] { env.progress.setValue(0); });
            return;
        }
        const bool matched = step.when(ignoreCase ? 112 : 118, [&] {
            if (const std::optional<bool> known = lookAhead.answer(index, i)) return *known;
            lookAhead.update(index);  // may process events, so the text is fetched only afterwards
            return index.contains(first.textView(i));
        });
        const int markLine = ignoreCase ? 114 : 120;
        if (matched == removeFound) markPosition(step, markLine, marks, i);
        // The items after it whose answers are known already go in one run: no events come
        // between them, so nothing read for this item (the box, the lists) can change.
        const int runEnd =
            env.pump.handlesByClock()
                ? lookAhead.knownThrough(index, i + 1, std::min(n, i + kItemsPerRun - 1))
                : i;
        for (int next = i + 1; next <= runEnd; ++next) {
            if (lookAhead.knownAnswer(index, next) == removeFound) {
                markPosition(step, markLine, marks, next);
            }
        }
        afterRun = runEnd > i;
        i = std::max(i, runEnd) + 1;
    }
    if (step.stopped()) return;
    lookAhead.stopFarEnd();

    // Each step over the marks of a very long list takes a while: the window gets a chance
    // between them, and during those that it cannot take in pieces.
    const bool veryLong = marks.size() > kMostMarksWithoutPumps;
    const bool largeTables =
        exact.tableBytes() + lowered.tableBytes() > kMostMarksWithoutPumps * sizeof(quint64);
    step(128, [&] {
        maybeAside(veryLong, env.pump, [&] { marks = DistinctValues(std::move(marks)); });
    });
    if (veryLong) env.pump.pumpAfterChunk();
    // The removal may need memory for the history's copy of what it removes; the look-ups are
    // over, so the tables go first.
    maybeAside(veryLong || largeTables, env.pump, [&] {
        exact.release();
        lowered.release();
        lookAhead.release();
    });
    if (veryLong) env.pump.pumpAfterChunk();
    if (!marks.empty()) removeMarked(step, 132, first, marks, removalsWhenScanned, env.pump);
    maybeAside(veryLong, env.pump, [&] { std::vector<int>().swap(marks); });
    step(136, [&] { env.progress.setValue(0); });
}

// Items looked at between two chances for the window to handle its events.
constexpr int kItemsPerPump = 256;

// Runs `work` aside while this thread lets the window handle its events and shows how much of
// `total` the work has done as progress; returns the work's result, or nothing when the window
// was closed or the command cancelled meanwhile. The work is then asked to stop and awaited
// without handling events, so that nothing it reads goes away under it.
template <typename Result, typename Work>
std::optional<Result> runWhilePumping(const Environment& env, qint64 total, Work work) {
    std::optional<Result> result;
    platform::Aside aside([&](platform::Aside& self) { result.emplace(work(self)); });
    qint64 shown = -1;
    aside.wait([&] {
        if (env.pump.stopping()) {
            aside.requestStop();
            return;
        }
        env.pump.pumpAfterChunk();
        const qint64 now = std::min(aside.done(), total);
        if (now != shown && total > 0) {
            env.progress.setValue(double(now) / double(total) * 100.0);
            shown = now;
        }
    });
    if (aside.stopRequested()) return std::nullopt;
    return result;
}

// A list's items in a new order: their texts, and where each stood before.
struct Arrangement {
    list_store::TextBlock texts;
    list_store::FlatArray<int> from;
    bool unchanged = false;  // the order was right already: nothing to put back
};

// Positions 1 to `count` of `list` in collation order, worked out off the window's thread.
std::optional<Arrangement> sortedCopy(const Environment& env, const list_store::ItemList& list,
                                      int count, SortOrder order) {
    const Collation collation(collationLocale());
    return runWhilePumping<Arrangement>(env, count, [&](platform::Aside& aside) {
        const std::vector<int> positions =
            collation.sortedPositions(list, count, order, aside.stopFlag(), aside.doneCount());
        Arrangement sorted;
        if (aside.stopRequested()) return sorted;
        int next = 1;
        sorted.unchanged = std::all_of(positions.begin(), positions.end(),
                                       [&next](int position) { return position == next++; });
        if (sorted.unchanged) return sorted;
        sorted.from.resize(qsizetype(positions.size()));
        std::copy(positions.begin(), positions.end(), sorted.from.data());
        sorted.texts.reserve(count, qsizetype(list.textLength(1, count)));
        for (const int position : positions) sorted.texts.add(list.textView(position));
        return sorted;
    });
}

}  // namespace

void SubtractSecondListFromFirstList(const Environment& env, list_store::ItemList& first,
                                     list_store::ItemList& second) {
    removeByPresence(env, first, second, true, kSubtractLocation);
}

void KeepOnlyItemsAlsoInSecondList(const Environment& env, list_store::ItemList& first,
                                   list_store::ItemList& second) {
    removeByPresence(env, first, second, false, kKeepLocation);
}

void RemoveRepeatedItems(const Environment& env, list_store::ItemList& list) {
    platform::Steps step(env.report, kRepeatsLocation, &env.pump, platform::Steps::Work::Long);
    std::vector<int> marks;
    step(100, [&] { marks.clear(); });
    int n = 0;
    step(102, [&] { n = list.count(); });
    const quint64 removalsWhenScanned = list.removalGeneration();
    const MatchRules rules = env.matchRules ? env.matchRules() : MatchRules();
    const KeyMaker keys(rules);
    if (!keys.isValid()) {
        step(104, [] { throw platform::Failure(kInvalidRules); });
        step(124, [&] { env.progress.setValue(0); });
        return;
    }
    TextIndex seen = !keys.isPlain()    ? TextIndex(list, keys, env.pump)
                     : rules.ignoreCase ? TextIndex(list, TextIndex::Keys::LowerCase, env.pump)
                                        : TextIndex(list, TextIndex::Keys::Exact, env.pump);

    for (int from = 1; from <= n; from += kItemsPerPump) {
        if (step.stopped()) return;
        const int to = std::min(n, from + kItemsPerPump - 1);
        // A piece may take a while (the first touch of the table's pages): the clock decides.
        step(104, [&] { env.pump.pumpAfterChunk(); });
        step(106, [&] { showProgress(env.progress, to, list.count()); });
        // Items that were not looked at would count as first occurrences: the run stops after
        // one report instead, and nothing is removed.
        if (!step(108, [&] { seen.addNotingRepeats(from, to, marks); })) {
            step(124, [&] { env.progress.setValue(0); });
            return;
        }
    }
    if (step.stopped()) return;

    if (!marks.empty()) {
        step(118, [&] { env.pump.pump(); });
        removeMarked(step, 120, list, marks, removalsWhenScanned, env.pump);
    }
    step(124, [&] { env.progress.setValue(0); });
}

void SortItems(const Environment& env, list_store::ItemList& list, SortOrder order) {
    platform::Steps step(env.report, kSortLocation, &env.pump, platform::Steps::Work::Long);
    step(100, [&] { env.pump.pump(); });
    int n = 0;
    step(102, [&] { n = list.count(); });
    const quint64 changesWhenRead = list.changeGeneration();
    std::optional<Arrangement> sorted;
    if (n > 1) step(104, [&] { sorted = sortedCopy(env, list, n, order); });
    if (step.stopped()) return;
    if (sorted && !sorted->unchanged) {
        // A last chance to cancel before the list changes.
        step(106, [&] { env.pump.pump(); });
        if (step.stopped()) return;
        step(108, [&] {
            if (list.changeGeneration() != changesWhenRead) {
                throw platform::Failure(
                    u"The list was changed while it was being sorted, so its order was kept"_s);
            }
            list.rearrangeInSteps(sorted->texts, std::move(sorted->from),
                                  [&] { env.pump.pumpAfterChunk(); });
        });
    }
    step(110, [&] { env.progress.setValue(0); });
}

void RemoveItemsWith(const Environment& env, list_store::ItemList& list, const QString& text) {
    removeItemsContaining(env, list, text, true, kRemoveWithLocation);
}

void RemoveItemsWithout(const Environment& env, list_store::ItemList& list, const QString& text) {
    removeItemsContaining(env, list, text, false, kRemoveWithoutLocation);
}

namespace {
bool risesStrictly(const std::vector<int>& values) {
    return std::adjacent_find(values.begin(), values.end(), std::greater_equal<int>()) ==
           values.end();
}
}  // namespace

std::vector<int> DistinctValues(std::vector<int>&& values) {
    // The marks of a subtraction rise strictly already: nothing to reduce, nothing to copy.
    if (risesStrictly(values)) return std::move(values);
    return DistinctValues(std::as_const(values));
}

std::vector<int> DistinctValues(const std::vector<int>& values) {
    if (risesStrictly(values)) return values;
    // Walk from the end so that each value is kept at its last occurrence.
    std::vector<int> result;
    std::unordered_set<int> seen;
    seen.reserve(values.size());
    for (auto it = values.rbegin(); it != values.rend(); ++it) {
        if (seen.insert(*it).second) result.push_back(*it);
    }
    std::reverse(result.begin(), result.end());
    return result;
}

}  // namespace List
