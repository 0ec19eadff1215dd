#pragma once

#include <QLocale>
#include <QStringView>
#include <QtGlobal>
#include <atomic>
#include <memory>
#include <vector>

namespace list_store {
class ItemList;
}

namespace List {

// The locale whose collation sorts the lists: the user's own, or English where the user's is
// C or POSIX, which would order by code point and put "Zebra" before "apple".
QLocale collationLocale();

enum class SortOrder { AToZ, ZToA };

// Puts texts in the order people expect of names: the locale's collation (accents and case
// second to the letters), with runs of digits compared by their value, so "file2" comes before
// "file10". The order is QCollator's with numeric mode on.
//
// Where Qt collates through ICU, each text's sort key is computed once, from ICU directly, into one
// flat store, and most comparisons are settled by the first eight bytes of the keys, held beside
// the positions: QCollatorSortKey keeps every key in two allocations of its own, and a sort through
// them waits on memory at each comparison (a million names took over three seconds to sort on the
// development machine, against a quarter of a second here). Without ICU (Windows), QCollator
// compares the texts themselves, which is slower: the system's sort keys do not always order as its
// comparison does.
class Collation {
public:
    explicit Collation(const QLocale& locale);
    ~Collation();
    Collation(const Collation&) = delete;
    Collation& operator=(const Collation&) = delete;

    // Negative, zero or positive as `a` sorts before, with or after `b`.
    int compare(QStringView a, QStringView b) const;

    // Positions 1 to `count` of `list` in sorted order; equal texts keep their order (for Z to A
    // too). Runs on this thread and on one more worker thread per spare core; reads the list's
    // texts from all of them, so nothing may change the list meanwhile. `keyed` counts the texts
    // keyed so far; once `cancelled` is raised the work ends early with an empty result.
    std::vector<int> sortedPositions(const list_store::ItemList& list, int count, SortOrder order,
                                     const std::atomic<bool>& cancelled,
                                     std::atomic<qint64>& keyed) const;

    // An open collation of the locale; one per thread, as the workers each open their own.
    struct Collator;

private:
    QLocale m_locale;
    std::unique_ptr<Collator> m_collator;  // for compare()
};

}  // namespace List
