#include "list_engine/collation.h"

#include <QCollator>
#include <QThread>
#include <algorithm>
#include <climits>
#include <cstring>
#include <exception>
#include <memory>

#ifdef QUORVANE_HAVE_ICU
#include <unicode/ucol.h>
#endif

#include "list_store/item_list.h"
#include "platform/aside.h"
#include "platform/failure.h"

using namespace Qt::Literals::StringLiterals;

namespace List {

QLocale collationLocale() {
    const QLocale system;
    if (system.language() == QLocale::C) return QLocale(QLocale::English, QLocale::UnitedStates);
    return system;
}

namespace {

constexpr int kLeastItemsPerWorker = 20'000;

// Positions 1 to `count` cut into parts of at least kLeastItemsPerWorker, at most one per core
// and eight in all: each part's `first` and `last` are set.
template <typename Part>
std::vector<Part> partsOf(int count) {
    const int parts =
        std::clamp(std::min(QThread::idealThreadCount(), count / kLeastItemsPerWorker), 1, 8);
    std::vector<Part> split(static_cast<size_t>(parts));
    for (int p = 0; p < parts; ++p) {
        split[size_t(p)].first = int(qint64(count) * p / parts) + 1;
        split[size_t(p)].last = int(qint64(count) * (p + 1) / parts);
    }
    return split;
}

// Sorts every part with `sortPart`: the first here, each other on a thread of its own. Once all
// have ended, throws again what one of them threw.
template <typename Part, typename SortPart>
void sortParts(std::vector<Part>& parts, const SortPart& sortPart) {
    std::vector<std::unique_ptr<platform::Aside>> workers;
    for (size_t p = 1; p < parts.size(); ++p) {
        workers.push_back(std::make_unique<platform::Aside>(
            [&parts, &sortPart, p](platform::Aside&) { sortPart(parts[p]); }));
    }
    sortPart(parts[0]);
    for (const auto& worker : workers) worker->wait();
}

// The sorted parts' items merged into one order. std::merge takes equal items from the earlier
// part first, so the sort stays stable.
template <typename Part, typename Item, typename Less>
std::vector<Item> mergeParts(std::vector<Part>& parts, std::vector<Item> Part::*items, Less less) {
    std::vector<Item> merged = std::move(parts[0].*items);
    std::vector<Item> scratch;
    for (size_t p = 1; p < parts.size(); ++p) {
        const std::vector<Item>& next = parts[p].*items;
        scratch.resize(merged.size() + next.size());
        std::merge(merged.begin(), merged.end(), next.begin(), next.end(), scratch.begin(), less);
        merged.swap(scratch);
    }
    return merged;
}

}  // namespace

#ifdef QUORVANE_HAVE_ICU

struct Collation::Collator {
    explicit Collator(const QLocale& locale) {
        // The settings QCollator makes for a case-sensitive collation in numeric mode.
        QByteArray name = locale.bcp47Name().toLatin1();
        name.replace('-', '_');
        UErrorCode status = U_ZERO_ERROR;
        handle = ucol_open(name.constData(), &status);
        ucol_setAttribute(handle, UCOL_NORMALIZATION_MODE, UCOL_ON, &status);
        ucol_setAttribute(handle, UCOL_STRENGTH, UCOL_DEFAULT_STRENGTH, &status);
        ucol_setAttribute(handle, UCOL_NUMERIC_COLLATION, UCOL_ON, &status);
        ucol_setAttribute(handle, UCOL_ALTERNATE_HANDLING, UCOL_NON_IGNORABLE, &status);
        if (U_FAILURE(status)) {
            ucol_close(handle);
            throw platform::Failure(
                u"The collation of the locale %1 is not available"_s.arg(locale.name()));
        }
    }
    ~Collator() { ucol_close(handle); }
    Collator(const Collator&) = delete;
    Collator& operator=(const Collator&) = delete;

    UCollator* handle = nullptr;
};

namespace {

const UChar* unitsOf(QStringView text) {
    return reinterpret_cast<const UChar*>(text.utf16());
}

int32_t lengthOf(QStringView text) {
    if (text.size() > INT32_MAX) throw platform::Failure(u"An item is too long to be sorted"_s);
    return int32_t(text.size());
}

// Sort keys back to back in large blocks, so that a key stays where it was put.
class KeyStore {
public:
    const quint8* store(const quint8* key, size_t size) {
        if (size > kBlock) {
            m_large.push_back(std::make_unique<quint8[]>(size));
            std::memcpy(m_large.back().get(), key, size);
            return m_large.back().get();
        }
        if (m_blocks.empty() || m_used + size > kBlock) {
            m_blocks.push_back(std::make_unique<quint8[]>(kBlock));
            m_used = 0;
        }
        quint8* at = m_blocks.back().get() + m_used;
        std::memcpy(at, key, size);
        m_used += size;
        return at;
    }

private:
    static constexpr size_t kBlock = size_t(1) << 20;
    std::vector<std::unique_ptr<quint8[]>> m_blocks;
    std::vector<std::unique_ptr<quint8[]>> m_large;
    size_t m_used = 0;
};

struct Entry {
    quint64 prefix;     // the key's first eight bytes, the first the highest
    const quint8* key;  // the whole key, ending in a zero byte
    int position;
};

// Equal keys fall back on the positions, in rising order whatever the direction: the sort is
// stable without paying for a stable algorithm.
struct EntryOrder {
    bool descending;

    bool operator()(const Entry& a, const Entry& b) const {
        if (a.prefix != b.prefix) return (a.prefix < b.prefix) != descending;
        const int keys =
            std::strcmp(reinterpret_cast<const char*>(a.key), reinterpret_cast<const char*>(b.key));
        if (keys != 0) return (keys < 0) != descending;
        return a.position < b.position;
    }
};

// The keys of one range of positions, sorted.
struct Part {
    int first = 0;
    int last = 0;
    KeyStore keys;
    std::vector<Entry> entries;
};

constexpr int kItemsPerCheck = 1024;

void keyAndSort(Part& part, const QLocale& locale, const list_store::ItemList& list,
                SortOrder order, const std::atomic<bool>& cancelled, std::atomic<qint64>& keyed) {
    {
        const Collation::Collator collator(locale);
        std::vector<quint8> buffer(256);
        QString wide;  // an item kept in Latin-1, widened for the collator
        part.entries.reserve(size_t(part.last) - size_t(part.first) + 1);
        for (int position = part.first; position <= part.last; ++position) {
            if ((position - part.first) % kItemsPerCheck == kItemsPerCheck - 1) {
                keyed.fetch_add(kItemsPerCheck, std::memory_order_relaxed);
                if (cancelled.load(std::memory_order_relaxed)) return;
            }
            const QStringView text = list_store::utf16View(list.textView(position), wide);
            int32_t size = ucol_getSortKey(collator.handle, unitsOf(text), lengthOf(text),
                                           buffer.data(), int32_t(buffer.size()));
            if (size > int32_t(buffer.size())) {
                buffer.resize(size_t(size));
                size = ucol_getSortKey(collator.handle, unitsOf(text), lengthOf(text),
                                       buffer.data(), int32_t(buffer.size()));
            }
            if (size <= 0) throw platform::Failure(u"No sort key for item %1"_s.arg(position));
            quint64 prefix = 0;
            for (int32_t k = 0; k < 8; ++k) prefix = (prefix << 8) | (k < size ? buffer[k] : 0);
            part.entries.push_back(
                {prefix, part.keys.store(buffer.data(), size_t(size)), position});
        }
        std::sort(part.entries.begin(), part.entries.end(), EntryOrder{order == SortOrder::ZToA});
    }
}

}  // namespace

Collation::Collation(const QLocale& locale)
    : m_locale(locale), m_collator(std::make_unique<Collator>(locale)) {}

Collation::~Collation() = default;

int Collation::compare(QStringView a, QStringView b) const {
    return int(ucol_strcoll(m_collator->handle, unitsOf(a), lengthOf(a), unitsOf(b), lengthOf(b)));
}

std::vector<int> Collation::sortedPositions(const list_store::ItemList& list, int count,
                                            SortOrder order, const std::atomic<bool>& cancelled,
                                            std::atomic<qint64>& keyed) const {
    if (count <= 0) return {};
    std::vector<Part> split = partsOf<Part>(count);
    sortParts(split,
              [&](Part& part) { keyAndSort(part, m_locale, list, order, cancelled, keyed); });
    if (cancelled.load()) return {};
    const std::vector<Entry> merged =
        mergeParts(split, &Part::entries, EntryOrder{order == SortOrder::ZToA});
    std::vector<int> positions;
    positions.reserve(merged.size());
    for (const Entry& entry : merged) positions.push_back(entry.position);
    return positions;
}

#else  // QUORVANE_HAVE_ICU

// Without ICU (Qt for Windows collates through the system), QCollator's comparison itself.
// Its sort keys are not used: the system's keys may leave out what the comparison honours
// (numbers by value, composed and decomposed accents alike), and the order must be the one the
// comparison gives. The list is cut into pieces, each sorted on a thread of its own, then merged.
struct Collation::Collator {
    explicit Collator(const QLocale& locale) : collator(locale) {
        collator.setCaseSensitivity(Qt::CaseSensitive);
        collator.setNumericMode(true);
    }
    QCollator collator;
};

namespace {

constexpr int kComparesPerCheck = 4096;

// Thrown from a comparison once the sort is cancelled, to leave std::stable_sort early.
struct SortCancelled {};

// Compares positions of the list by their texts; counts its work for the progress shown.
class PositionOrder {
public:
    PositionOrder(const Collation::Collator& collator, const list_store::ItemList& list,
                  SortOrder order, const std::atomic<bool>& cancelled, std::atomic<qint64>& keyed,
                  int itemsPerCheck)
        : m_collator(collator),
          m_list(list),
          m_descending(order == SortOrder::ZToA),
          m_cancelled(cancelled),
          m_keyed(keyed),
          m_itemsPerCheck(itemsPerCheck) {}

    bool operator()(int a, int b) {
        if (++m_compares == kComparesPerCheck) {
            m_compares = 0;
            m_keyed.fetch_add(m_itemsPerCheck, std::memory_order_relaxed);
            if (m_cancelled.load(std::memory_order_relaxed)) throw SortCancelled();
        }
        const int c =
            m_collator.collator.compare(list_store::utf16View(m_list.textView(a), m_first),
                                        list_store::utf16View(m_list.textView(b), m_second));
        return m_descending ? c > 0 : c < 0;
    }

private:
    const Collation::Collator& m_collator;
    const list_store::ItemList& m_list;
    bool m_descending;
    const std::atomic<bool>& m_cancelled;
    std::atomic<qint64>& m_keyed;
    int m_itemsPerCheck;
    int m_compares = 0;
    QString m_first;  // the texts compared, widened when kept in Latin-1
    QString m_second;
};

struct Part {
    int first = 0;
    int last = 0;
    std::vector<int> positions;
    bool cancelled = false;
};

// Progress counts items: a sort of n items compares about n log2 n times, so each batch of
// comparisons stands for that many items.
int itemsPerCheck(int count) {
    int log2 = 1;
    while ((qint64(1) << log2) < count) ++log2;
    return std::max(1, kComparesPerCheck / log2);
}

void sortPart(Part& part, const QLocale& locale, const list_store::ItemList& list, SortOrder order,
              const std::atomic<bool>& cancelled, std::atomic<qint64>& keyed, int perCheck) {
    for (int position = part.first; position <= part.last; ++position) {
        part.positions.push_back(position);
    }
    try {
        // A collator of this thread's own: QCollator sets itself up on first use.
        const Collation::Collator collator(locale);
        std::stable_sort(part.positions.begin(), part.positions.end(),
                         PositionOrder(collator, list, order, cancelled, keyed, perCheck));
    } catch (const SortCancelled&) {
        part.cancelled = true;
    }
}

}  // namespace

Collation::Collation(const QLocale& locale)
    : m_locale(locale), m_collator(std::make_unique<Collator>(locale)) {}

Collation::~Collation() = default;

int Collation::compare(QStringView a, QStringView b) const {
    return m_collator->collator.compare(a, b);
}

std::vector<int> Collation::sortedPositions(const list_store::ItemList& list, int count,
                                            SortOrder order, const std::atomic<bool>& cancelled,
                                            std::atomic<qint64>& keyed) const {
    if (count <= 0) return {};
    const int perCheck = itemsPerCheck(count);
    std::vector<Part> split = partsOf<Part>(count);
    sortParts(split, [&](Part& part) {
        sortPart(part, m_locale, list, order, cancelled, keyed, perCheck);
    });
    if (cancelled.load() ||
        std::any_of(split.begin(), split.end(), [](const Part& part) { return part.cancelled; })) {
        return {};
    }
    const Collator collator(m_locale);
    try {
        return mergeParts(split, &Part::positions,
                          PositionOrder(collator, list, order, cancelled, keyed, perCheck));
    } catch (const SortCancelled&) {
        return {};
    }
}

#endif  // QUORVANE_HAVE_ICU

}  // namespace List
