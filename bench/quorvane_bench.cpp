// Figures for large lists: the list engine alone, and the main window loading, saving and
// running a whole job. With no argument every case runs, each in a fresh child process so that
// its peak memory is its own; with a case name that case runs here.
//
// `quorvane-bench --help` prints the cases and arguments (kHelp below).

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <limits>
#include <memory>
#include <vector>

#include "commands/busy_guard.h"
#include "commands/history.h"
#include "generator.h"
#include "list_engine/comparison.h"
#include "list_engine/list.h"
#include "list_store/list_store.h"
#include "measure.h"
#include "platform/event_pump.h"
#include "platform/steps.h"
#include "window_cases.h"

using namespace Qt::Literals::StringLiterals;
using bench::fail;
using bench::Figures;
using bench::kSeed;
using bench::Repetition;
using bench::statusKiB;

namespace {

constexpr qsizetype kDefaultItems = 1'000'000;

class CountingReport : public platform::ErrorReport {
public:
    void show(const QString& description, const QString& location, int line) override {
        ++count;
        std::fprintf(stderr, "unexpected failure: %s%s at line %d\n", qPrintable(description),
                     qPrintable(location), line);
    }
    int count = 0;
};

class LastValueProgress : public platform::ProgressSink {
public:
    void setValue(double percent) override { last = percent; }
    double last = 0;
};

// The engine's surroundings as in the window: a throttled pump, a progress sink, a report.
struct Surroundings {
    CountingReport report;
    platform::ThrottledEventPump pump;
    LastValueProgress progress;
    int check1 = 1;
    List::MatchRules rules;
    List::Environment env{report, pump, progress, [this] { return platform::CheckValue(check1); },
                          [this] { return rules; }};
};

std::shared_ptr<bench::ListPair> generatedPair(qsizetype items) {
    return std::make_shared<bench::ListPair>(bench::generateListPair(items, kSeed));
}

// Subtract or keep only shared items: one of the two-list procedures of the engine.
using TwoListProcedure = void (*)(const List::Environment&, list_store::ItemList&,
                                  list_store::ItemList&);

// A two-list procedure on lists made for the case (see the generator), with Check1 and the
// matching rules as given; it must remove some but not all of List 1 and leave List 2.
std::function<Repetition()> twoListCase(const std::shared_ptr<bench::ListPair>& data, int check1,
                                        const List::MatchRules& rules, TwoListProcedure procedure) {
    return [data, check1, rules, procedure] {
        auto first = std::make_shared<list_store::ListStore>();
        auto second = std::make_shared<list_store::ListStore>();
        first->appendBlock(data->first);
        second->appendBlock(data->second);
        auto around = std::make_shared<Surroundings>();
        around->check1 = check1;
        around->rules = rules;
        return Repetition{[=] { procedure(around->env, *first, *second); },
                          [=] {
                              if (around->report.count != 0) fail("no failure reported");
                              if (first->count() >= data->first.count() || first->count() == 0) {
                                  fail("some but not all items removed");
                              }
                              if (second->count() != data->second.count()) {
                                  fail("second list unchanged");
                              }
                          }};
    };
}

std::function<Repetition()> subtractCase(qsizetype items, int check1) {
    return twoListCase(generatedPair(items), check1, List::MatchRules(),
                       List::SubtractSecondListFromFirstList);
}

std::function<Repetition()> ruledSubtractCase(const std::shared_ptr<bench::ListPair>& data,
                                              int check1, const List::MatchRules& rules) {
    return twoListCase(data, check1, rules, List::SubtractSecondListFromFirstList);
}

std::function<Repetition()> intersectCase(qsizetype items) {
    return twoListCase(generatedPair(items), 1, List::MatchRules(),
                       List::KeepOnlyItemsAlsoInSecondList);
}

// The comparison of the generated lists under exact matching; with near misses, of lists where
// about a tenth of the entries differ only where the eye does not see it.
std::function<Repetition()> compareCase(qsizetype items, bool nearMisses, QString* extra) {
    auto data =
        std::make_shared<bench::ListPair>(nearMisses ? bench::generateNearMissPair(items, kSeed)
                                                     : bench::generateListPair(items, kSeed));
    return [data, nearMisses, extra] {
        auto first = std::make_shared<list_store::ListStore>();
        auto second = std::make_shared<list_store::ListStore>();
        first->appendBlock(data->first);
        second->appendBlock(data->second);
        auto around = std::make_shared<Surroundings>();
        auto result = std::make_shared<std::optional<List::Comparison>>();
        return Repetition{
            [=] {
                *result = List::CompareLists({around->report, around->pump, around->progress},
                                             *first, *second, List::MatchRules(), nearMisses);
            },
            [=] {
                if (around->report.count != 0) fail("no failure reported");
                if (!*result) fail("a result");
                const List::Comparison& found = **result;
                if (found.onlyFirst.empty() || found.bothFirst.empty() ||
                    found.onlyFirst.size() + found.bothFirst.size() != size_t(first->count())) {
                    fail("List 1 split into two regions");
                }
                if (found.onlySecond.size() + found.bothSecond.size() != size_t(second->count())) {
                    fail("List 2 split into two regions");
                }
                if (nearMisses && (!found.nearMisses || found.nearMisses->pairs.empty())) {
                    fail("near misses found");
                }
                *extra = u"only_first=%1 both_first=%2 only_second=%3"_s.arg(found.onlyFirst.size())
                             .arg(found.bothFirst.size())
                             .arg(found.onlySecond.size());
                if (found.nearMisses) {
                    int matched = 0;
                    for (const List::NearMissRow& row : found.nearMisses->rows) {
                        if (row.rule != List::NearMissRule::All) matched += row.second;
                    }
                    *extra += u" near_miss_second=%1"_s.arg(matched);
                }
            }};
    };
}

// The generator's second list holds copies of entries of the first drawn at random, so about
// one entry in ten repeats an earlier one.
std::function<Repetition()> distinctCase(qsizetype items) {
    auto data = generatedPair(items);
    return [data] {
        auto list = std::make_shared<list_store::ListStore>();
        list->appendBlock(data->second);
        auto around = std::make_shared<Surroundings>();
        return Repetition{[=] { List::RemoveRepeatedItems(around->env, *list); },
                          [=] {
                              if (around->report.count != 0) fail("no failure reported");
                              if (list->count() >= data->second.count() || list->count() == 0) {
                                  fail("some but not all items removed");
                              }
                          }};
    };
}

std::function<Repetition()> sortCase(qsizetype items) {
    auto data = generatedPair(items);
    return [data] {
        auto list = std::make_shared<list_store::ListStore>();
        list->appendBlock(data->second);
        auto around = std::make_shared<Surroundings>();
        return Repetition{
            [=] { List::SortItems(around->env, *list, List::SortOrder::AToZ); },
            [=] {
                if (around->report.count != 0) fail("no failure reported");
                if (list->count() != data->second.count()) fail("every item kept");
                const List::Collation collation(List::collationLocale());
                QString before;
                QString after;
                for (int p = 2; p <= list->count(); ++p) {
                    if (collation.compare(list_store::utf16View(list->textView(p - 1), before),
                                          list_store::utf16View(list->textView(p), after)) > 0) {
                        fail("items in order");
                    }
                }
            }};
    };
}

std::function<Repetition()> filterCase(qsizetype items, bool removeContaining) {
    auto data = std::make_shared<list_store::TextBlock>(bench::generateList(items, kSeed));
    return [data, removeContaining] {
        auto list = std::make_shared<list_store::ListStore>();
        list->appendBlock(*data);
        auto around = std::make_shared<Surroundings>();
        const QString text = u".txt"_s;
        return Repetition{[=] {
                              if (removeContaining) {
                                  List::RemoveItemsWith(around->env, *list, text);
                              } else {
                                  List::RemoveItemsWithout(around->env, *list, text);
                              }
                          },
                          [=] {
                              if (around->report.count != 0) fail("no failure reported");
                              if (list->count() >= data->count() || list->count() == 0) {
                                  fail("some but not all items removed");
                              }
                          }};
    };
}

std::function<Repetition()> removeBulkCase(qsizetype items) {
    auto data = std::make_shared<list_store::TextBlock>(bench::generateList(items, kSeed));
    auto positions = std::make_shared<std::vector<int>>(
        bench::scatteredPositions(int(items), int(items / 2), kSeed));
    return [data, positions] {
        auto list = std::make_shared<list_store::ListStore>();
        list->appendBlock(*data);
        return Repetition{[=] {
                              platform::ThrottledEventPump pump;
                              list->removePositionsInSteps(*positions,
                                                           [&] { pump.pumpAfterChunk(); });
                          },
                          [=] {
                              if (list->count() != data->count() - qsizetype(positions->size())) {
                                  fail("every position removed");
                              }
                          }};
    };
}

// Undo of a subtraction that removed half the first list's items at scattered positions. The
// second list holds those items and as many others; the subtraction runs with the history
// recording, outside the clock, and the undo is timed.
struct UndoFigure {
    qint64 removed = 0;
    qint64 removedTextBytes = 0;
    qint64 historyBytes = 0;
};

std::function<Repetition()> undoSubtractCase(qsizetype items, QString* extra) {
    auto first = std::make_shared<list_store::TextBlock>(bench::generateList(items, kSeed));
    const auto positions = bench::scatteredPositions(int(items), int(items / 2), kSeed);
    auto second = std::make_shared<list_store::TextBlock>();
    const list_store::TextBlock others = bench::generateList(items - items / 2, kSeed + 1);
    for (int position : positions) second->add(first->text(position - 1));
    for (qsizetype k = 0; k < others.count(); ++k) second->add(others.text(k));
    auto figure = std::make_shared<UndoFigure>();
    return [first, second, figure, items, extra] {
        auto list = std::make_shared<list_store::ListStore>();
        auto other = std::make_shared<list_store::ListStore>();
        list->appendBlock(*first);
        other->appendBlock(*second);
        auto around = std::make_shared<Surroundings>();
        auto guard = std::make_shared<commands::BusyGuard>(around->pump);
        auto history = std::make_shared<commands::History>(*guard, around->report,
                                                           std::numeric_limits<qint64>::max());
        {
            commands::History::Recording change(*history, u"Subtract"_s, {list.get()});
            List::SubtractSecondListFromFirstList(around->env, *list, *other);
        }
        if (history->count() != 1) fail("the subtraction is kept");
        figure->removed = first->count() - list->count();
        figure->historyBytes = history->bytesHeld();
        // The removed items' UTF-16 text: the first list's text less what is left of it.
        // In UTF-16, as the figure was first taken; the history keeps the compact form.
        qint64 keptUnits = 0;
        for (int p = 1; p <= list->count(); ++p) keptUnits += list->textView(p).size();
        qint64 allUnits = 0;
        for (qsizetype k = 0; k < first->count(); ++k) allUnits += first->text(k).size();
        figure->removedTextBytes = (allUnits - keptUnits) * 2;
        // The history works through the guard, which must outlive it.
        return Repetition{[=] {
                              history->undo();
                              if (guard->running()) fail("the undo let go of its lists");
                          },
                          [=] {
                              if (around->report.count != 0) fail("no failure reported");
                              if (figure->removed < items / 2) fail("half the items removed");
                              if (list->count() != first->count()) fail("every item back");
                              for (qsizetype k = 0; k < first->count(); ++k) {
                                  if (list->textView(int(k) + 1) != first->text(k)) {
                                      fail("every item back at its position");
                                  }
                              }
                              const double allowed = 1.5 * double(figure->removedTextBytes) +
                                                     8.0 * double(figure->removed);
                              *extra =
                                  u"removed=%1 removed_text_bytes=%2 history_bytes=%3 "
                                  u"history_vs_allowed=%4"_s.arg(figure->removed)
                                      .arg(figure->removedTextBytes)
                                      .arg(figure->historyBytes)
                                      .arg(double(figure->historyBytes) / allowed, 0, 'f', 2);
                          }};
    };
}

// The undo of a sort of the second generated list: the old order back in one step. Adds what
// the history holds per item.
std::function<Repetition()> undoSortCase(qsizetype items, QString* extra) {
    auto data = generatedPair(items);
    return [data, extra] {
        auto list = std::make_shared<list_store::ListStore>();
        list->appendBlock(data->second);
        auto around = std::make_shared<Surroundings>();
        auto guard = std::make_shared<commands::BusyGuard>(around->pump);
        auto history = std::make_shared<commands::History>(*guard, around->report,
                                                           std::numeric_limits<qint64>::max());
        {
            commands::History::Recording change(*history, u"Sort A to Z"_s, {list.get()});
            List::SortItems(around->env, *list, List::SortOrder::AToZ);
        }
        if (history->count() != 1) fail("the sort is kept");
        const qint64 historyBytes = history->bytesHeld();
        // The history works through the guard, which must outlive it.
        return Repetition{[=] {
                              history->undo();
                              if (guard->running()) fail("the undo let go of its lists");
                          },
                          [=] {
                              if (around->report.count != 0) fail("no failure reported");
                              if (list->count() != data->second.count()) fail("every item back");
                              for (qsizetype k = 0; k < data->second.count(); ++k) {
                                  if (list->textView(int(k) + 1) != data->second.text(k)) {
                                      fail("every item back at its position");
                                  }
                              }
                              *extra =
                                  u"history_bytes=%1 history_bytes_per_item=%2"_s.arg(historyBytes)
                                      .arg(double(historyBytes) / double(list->count()), 0, 'f', 2);
                          }};
    };
}

// Peak memory growth of a list filled item by item, beyond its UTF-16 text, per item.
struct StoreFigure {
    qint64 textBytes = 0;
    qint64 peakBefore = 0;
    qint64 items = 0;
};

std::function<Repetition()> listStoreCase(qsizetype items, QString* extra) {
    auto figure = std::make_shared<StoreFigure>();
    figure->items = items;
    return [figure, items, extra] {
        auto list = std::make_shared<list_store::ListStore>();
        figure->peakBefore = statusKiB("VmHWM:");
        return Repetition{
            [=] {
                bench::EntryGenerator generator(kSeed);
                // Events are handled between appends, as in any long command.
                platform::ThrottledEventPump pump;
                qint64 textBytes = 0;
                for (qsizetype k = 0; k < items; ++k) {
                    const QString entry = generator.next();
                    // The generator's entries are ASCII, one byte a character in the store.
                    textBytes += entry.size();
                    list->append(entry);
                    pump.pump();
                }
                figure->textBytes = textBytes;
            },
            [=] {
                const qint64 grown = (statusKiB("VmHWM:") - figure->peakBefore) * 1024;
                const double perItem = double(grown - figure->textBytes) / double(figure->items);
                // The first repetition raises the peak; later ones reuse freed
                // memory, so the largest figure is the honest one.
                const QString now = QString::number(std::max(perItem, 0.0), 'f', 1);
                if (extra->isEmpty() || extra->toDouble() < perItem) *extra = now;
            }};
    };
}

int runEngineCase(const QString& name, qsizetype items) {
    QString extra;
    std::function<Repetition()> factory;
    if (name == u"subtract_exact") {
        factory = subtractCase(items, 1);
    } else if (name == u"subtract_ignore_case") {
        factory = subtractCase(items, 0);
    } else if (name == u"subtract_trim_case") {
        List::MatchRules rules;
        rules.trim = true;
        factory = ruledSubtractCase(
            std::make_shared<bench::ListPair>(bench::generateMessyListPair(items, kSeed)), 0,
            rules);
    } else if (name == u"subtract_accents") {
        List::MatchRules rules;
        rules.accents = true;
        factory = ruledSubtractCase(
            std::make_shared<bench::ListPair>(bench::generateMessyListPair(items, kSeed)), 0,
            rules);
    } else if (name == u"subtract_field") {
        List::MatchRules rules;
        rules.compareBy = List::CompareBy::Field;
        rules.field = 2;
        factory = ruledSubtractCase(
            std::make_shared<bench::ListPair>(bench::generateFieldListPair(items, kSeed)), 1,
            rules);
    } else if (name == u"compare") {
        factory = compareCase(items, false, &extra);
    } else if (name == u"compare_near_misses") {
        factory = compareCase(items, true, &extra);
    } else if (name == u"intersect") {
        factory = intersectCase(items);
    } else if (name == u"distinct") {
        factory = distinctCase(items);
    } else if (name == u"sort") {
        factory = sortCase(items);
    } else if (name == u"filter_with") {
        factory = filterCase(items, true);
    } else if (name == u"filter_without") {
        factory = filterCase(items, false);
    } else if (name == u"remove_bulk") {
        factory = removeBulkCase(items);
    } else if (name == u"undo_subtract") {
        factory = undoSubtractCase(items, &extra);
    } else if (name == u"undo_sort") {
        factory = undoSortCase(items, &extra);
    } else if (name == u"list_store") {
        factory = listStoreCase(items, &extra);
    } else {
        std::fprintf(stderr, "unknown case: %s\n", qPrintable(name));
        return 1;
    }
    const Figures figures = bench::measure(factory);
    if (name == u"list_store") extra = u"bytes_per_item="_s + extra;
    bench::printFigures(name, items, figures, extra);
    return 0;
}

const QStringList kEngineCases{u"subtract_exact"_s,
                               u"subtract_ignore_case"_s,
                               u"subtract_trim_case"_s,
                               u"subtract_accents"_s,
                               u"subtract_field"_s,
                               u"compare"_s,
                               u"compare_near_misses"_s,
                               u"intersect"_s,
                               u"distinct"_s,
                               u"sort"_s,
                               u"filter_with"_s,
                               u"filter_without"_s,
                               u"remove_bulk"_s,
                               u"list_store"_s,
                               u"undo_subtract"_s,
                               u"undo_sort"_s};
const QStringList kWindowCases{u"load"_s,      u"save"_s,         u"end_to_end"_s, u"paste"_s,
                               u"copy_all"_s,  u"long_line"_s,    u"load_big"_s,   u"undo_load"_s,
                               u"redo_load"_s, u"compare_panel"_s};
// Run only when named: it writes a file of about 2 GB.
const QStringList kNamedOnlyCases{u"load_big"_s};
constexpr qsizetype kLoadBigItems = 100'000'000;
constexpr qint64 kLongLineBytes = 200'000'000;

const char kUsage[] =
    "usage: quorvane-bench [case [items]]\n"
    "       quorvane-bench end_to_end [items] [--a FILE] [--b FILE] [--out FILE]\n"
    "       quorvane-bench undo_load|redo_load [items] [--after-samples]\n"
    "       quorvane-bench long_line [bytes]\n"
    "       quorvane-bench generate items FILE_A FILE_B\n"
    "       quorvane-bench --help\n";

const char kHelp[] =
    "\n"
    "With no case, every case runs, each in a child process of its own so that its peak memory\n"
    "is its own. items is the number of entries per list (default 1000000, at least 2).\n"
    "\n"
    "Cases of the list engine alone:\n"
    "  subtract_exact        subtract a list from another, case respected\n"
    "  subtract_ignore_case  the same, case ignored\n"
    "  subtract_trim_case    the same with surrounding spaces ignored too, on lists where one\n"
    "                        entry in ten has spaces, a tab or a no-break space at an end, or\n"
    "                        decomposed accents\n"
    "  subtract_accents      the same lists, accents and case ignored\n"
    "  subtract_field        compare field 2 of tab-separated entries, case respected\n"
    "  compare               compare the two lists: repeats, the regions only in List 1, in\n"
    "                        both and only in List 2 with their keys, case respected\n"
    "  compare_near_misses   the same with near misses, on lists where a tenth of the second\n"
    "                        list's entries differ from entries of the first only by an edge\n"
    "                        space, a no-break space, case or a decomposed accent\n"
    "  intersect             keep only the entries that also occur in the other list, case\n"
    "                        respected\n"
    "  distinct              remove repeated entries (the second generated list)\n"
    "  sort                  sort the second generated list A to Z\n"
    "  filter_with           remove the entries that contain a text\n"
    "  filter_without        remove the entries that do not contain it\n"
    "  remove_bulk           remove half the entries at scattered positions, as Delete does\n"
    "  list_store            fill a list entry by entry; adds bytes_per_item=<n> beyond the text\n"
    "                        as stored (a byte a character: the entries are ASCII)\n"
    "  undo_subtract         undo a subtraction that removed half the entries, scattered; adds\n"
    "                        what the history holds against 1.5 x the removed text + 8 B/entry\n"
    "  undo_sort             undo a sort A to Z of the second generated list; adds what the\n"
    "                        history holds\n"
    "Cases through the main window, headless:\n"
    "  load                  load a file into List 1\n"
    "  save                  save List 2 to a file\n"
    "  end_to_end            load FILE_A into List 1 and FILE_B into List 2, subtract List 1\n"
    "                        from List 2, save List 2 to FILE (--a, --b, --out; generated files\n"
    "                        in a temporary folder when not given); items are List 1's, and\n"
    "                        kept=<n> is what List 2 held when saved\n"
    "  paste                 paste a clipboard of items lines into List 1 (Ctrl+V)\n"
    "  copy_all              select all of a List 1 of items entries and copy them\n"
    "                        (Ctrl+A, Ctrl+C)\n"
    "  undo_load             load a file into an empty List 1, then time the undo of that\n"
    "                        load (Ctrl+Z); with --after-samples List 1 holds the sample\n"
    "                        items before the load; adds items_before=<n>\n"
    "  redo_load             the same loaded and undone, then time the redo (Ctrl+Shift+Z)\n"
    "  compare_panel         fill List 1 and List 2 with the generated lists, open the\n"
    "                        comparison panel (Ctrl+K), compare them and scroll each region's\n"
    "                        list to its end and back; adds the regions' sizes, shown_ms (until\n"
    "                        the regions were shown) and lists_mib (the memory before)\n"
    "  long_line             load one line of bytes letters (default 200000000) into List 1,\n"
    "                        paint the list, click the entry and paint it again\n"
    "  load_big              write a file of items generated entries (default 100000000, about\n"
    "                        2 GB) to the temporary folder, load it once into List 1, remove it;\n"
    "                        adds file_bytes, mb_per_s and the peak memory against 1.25 x the\n"
    "                        file + 12 B/entry (peak_vs_allowed); run only when named\n"
    "generate writes the generator's two lists of items entries each, one per line ending in\n"
    "CR LF; about half of FILE_B's lines occur in FILE_A.\n"
    "\n"
    "Each case prints one line:\n"
    "  case=<name> items=<n> ms=<median of 5> max_gap_ms=<n> rss_mib=<peak>\n";

int usage() {
    std::fputs(kUsage, stderr);
    return 1;
}

int runWindowCase(const QString& name, QStringList arguments) {
    bench::JobFiles files;
    for (const auto& [option, path] :
         {std::pair{u"--a"_s, &files.first}, std::pair{u"--b"_s, &files.second},
          std::pair{u"--out"_s, &files.output}}) {
        const qsizetype at = arguments.indexOf(option);
        if (at < 0) continue;
        if (name != u"end_to_end" || at + 1 >= arguments.size()) return usage();
        *path = arguments.at(at + 1);
        arguments.remove(at, 2);
    }
    if (files.first.isEmpty() != files.second.isEmpty()) return usage();
    if (name == u"long_line") {
        const qint64 bytes =
            arguments.isEmpty() ? kLongLineBytes : arguments.takeFirst().toLongLong();
        if (bytes < 1 || !arguments.isEmpty()) return usage();
        return bench::runLongLineCase(bytes);
    }
    const bool afterSamples = arguments.removeAll(u"--after-samples"_s) > 0;
    if (afterSamples && name != u"undo_load" && name != u"redo_load") return usage();
    qsizetype items = name == u"load_big" ? kLoadBigItems : kDefaultItems;
    if (!arguments.isEmpty()) items = arguments.takeFirst().toLongLong();
    if (items < 2 || !arguments.isEmpty()) return usage();
    if (name == u"load") return bench::runLoadCase(items);
    if (name == u"load_big") return bench::runLoadBigCase(items);
    if (name == u"save") return bench::runSaveCase(items);
    if (name == u"paste") return bench::runPasteCase(items);
    if (name == u"copy_all") return bench::runCopyAllCase(items);
    if (name == u"undo_load") return bench::runUndoLoadCase(items, afterSamples);
    if (name == u"redo_load") return bench::runRedoLoadCase(items, afterSamples);
    if (name == u"compare_panel") return bench::runComparePanelCase(items);
    return bench::runEndToEndCase(items, files);
}

int runAll() {
    int result = 0;
    for (const QString& name : kEngineCases + kWindowCases) {
        if (kNamedOnlyCases.contains(name)) continue;
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(QCoreApplication::applicationFilePath(), {name});
        if (!child.waitForFinished(-1) || child.exitStatus() != QProcess::NormalExit ||
            child.exitCode() != 0) {
            result = 1;
        }
    }
    return result;
}

}  // namespace

int main(int argc, char* argv[]) {
    const QString name = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (name == u"--help" || name == u"-h") {
        std::fputs(kUsage, stdout);
        std::fputs(kHelp, stdout);
        return 0;
    }
    // The window cases draw nowhere unless a display is asked for.
    if (kWindowCases.contains(name) && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    std::unique_ptr<QCoreApplication> app;
    if (kWindowCases.contains(name)) {
        app = std::make_unique<QApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QStringList arguments = QCoreApplication::arguments().mid(1);
    if (arguments.isEmpty()) return runAll();
    arguments.removeFirst();
    if (name == u"generate") {
        if (arguments.size() != 3 || arguments.at(0).toLongLong() < 1) return usage();
        return bench::writeListPairFiles(arguments.at(0).toLongLong(), arguments.at(1),
                                         arguments.at(2));
    }
    if (kWindowCases.contains(name)) return runWindowCase(name, arguments);
    qsizetype items = name == u"load_big" ? kLoadBigItems : kDefaultItems;
    if (!arguments.isEmpty()) items = arguments.takeFirst().toLongLong();
    if (items < 2 || !arguments.isEmpty()) return usage();
    return runEngineCase(name, items);
}
