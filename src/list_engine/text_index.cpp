#include "list_engine/text_index.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <exception>
#include <type_traits>

#include "list_engine/ascii_words.h"
#include "list_engine/hashing.h"
#include "list_store/item_list.h"
#include "platform/aside.h"
#include "platform/event_pump.h"
#include "platform/failure.h"

using namespace Qt::Literals::StringLiterals;

namespace List {

namespace {

// Items indexed between two chances for the window to handle its events. The pump itself
// decides how often it really processes them, so this only has to be small.
constexpr int kItemsPerPump = 256;
constexpr int kBatch = 32;
// From this many items on, a helper thread indexes half of them.
constexpr int kLeastShared = 100'000;
constexpr qsizetype kSmallestTable = 16;

constexpr quint64 kMultiplier = 0x9E3779B97F4A7C15ull;

// A table of empty slots, in small pages that the system zeroes as the index fills them: the
// first pieces of an index touch nearly every page, and huge ones would all be zeroed at once.
template <typename Word>
list_store::FlatArray<Word> zeroedTable(size_t size) {
    return list_store::FlatArray<Word>::zeroed(qsizetype(size), list_store::Pages::Small);
}

bool isCapitalAscii(char16_t unit) {
    return unsigned(unit) - u'A' < 26u;
}

}  // namespace

namespace {

// `fold` maps each word of bytes before it is taken: for a key whose case folds as it is hashed.
// A type of its own for each map, so that the loop is compiled for each without a call.
struct KeepWord {
    quint64 operator()(quint64 word) const { return word; }
};

template <typename Fold = KeepWord>
quint64 hashBytes(const char* bytes, size_t left, Fold fold = {}) {
    const size_t size = left;
    quint64 h = kMultiplier ^ quint64(left);
    while (left >= sizeof(quint64)) {
        quint64 word;
        std::memcpy(&word, bytes, sizeof word);
        h = (h ^ fold(word)) * kMultiplier;
        h ^= h >> 29;
        bytes += sizeof word;
        left -= sizeof word;
    }
    if (left > 0) {
        quint64 word = 0;
        if (size >= sizeof word) {
            // The last eight bytes, overlapping ones already taken: one load instead of a copy
            // of a varying length.
            std::memcpy(&word, bytes + left - sizeof word, sizeof word);
        } else {
            std::memcpy(&word, bytes, left);
        }
        h = (h ^ fold(word)) * kMultiplier;
        h ^= h >> 29;
    }
    return mix(h);
}

using ascii::capitalsIn;
using ascii::kHighBits;
using ascii::wordAt;

// The units of `text` from `k` on, lowered as QString::toLower lowers ASCII; `out` may be the
// text's own units.
template <typename Unit>
void lowerAsciiFrom(const Unit* units, qsizetype k, qsizetype size, Unit* out) {
    if constexpr (sizeof(Unit) == 1) {
        for (; k + 8 <= size; k += 8) {
            const quint64 word = wordAt(units + k);
            const quint64 lowered = word | (capitalsIn(word) >> 2);  // 0x80 >> 2 is 'a' - 'A'
            std::memcpy(out + k, &lowered, sizeof lowered);
        }
    }
    for (; k < size; ++k) {
        const Unit unit = units[k];
        out[k] = isCapitalAscii(unit) ? Unit(unit + (u'a' - u'A')) : unit;
    }
}

// The first unit that is a capital or beyond ASCII, or `size`.
template <typename Unit>
qsizetype firstToLower(const Unit* units, qsizetype from, qsizetype size) {
    qsizetype k = from;
    if constexpr (sizeof(Unit) == 1) {
        for (; k + 8 <= size; k += 8) {
            const quint64 word = wordAt(units + k);
            if ((word & kHighBits) != 0 || capitalsIn(word) != 0) break;
        }
    }
    for (; k < size; ++k) {
        const Unit unit = units[k];
        if (unit >= 0x80 || isCapitalAscii(unit)) return k;
    }
    return size;
}

template <typename Unit>
bool withinLatin1(const Unit* units, qsizetype from, qsizetype size) {
    if constexpr (sizeof(Unit) == 1) {
        return true;
    } else {
        for (qsizetype k = from; k < size; ++k) {
            if (units[k] >= 0x100) return false;
        }
        return true;
    }
}

template <typename Unit>
void lowerLatin1From(const Unit* units, qsizetype k, qsizetype size, Unit* out) {
    for (; k < size; ++k) {
        const Unit unit = units[k];
        const bool capital = isCapitalAscii(unit) || (unit >= 0xC0 && unit <= 0xDE && unit != 0xD7);
        out[k] = capital ? Unit(unit + 0x20) : unit;
    }
}

template <typename Unit>
bool hasNonAscii(const Unit* units, qsizetype from, qsizetype size) {
    qsizetype k = from;
    if constexpr (sizeof(Unit) == 1) {
        for (; k + 8 <= size; k += 8) {
            if ((wordAt(units + k) & kHighBits) != 0) return true;
        }
    }
    for (; k < size; ++k) {
        if (units[k] >= 0x80) return true;
    }
    return false;
}

}  // namespace

// The same for both forms of one text: a UTF-16 text that has a Latin-1 form is hashed in it.
quint64 hashText(list_store::ItemText text) {
    if (!text.isWide()) return hashBytes(text.latin1(), size_t(text.size()));
    if (!list_store::fitsLatin1(text.utf16(), text.size())) {
        return hashBytes(reinterpret_cast<const char*>(text.utf16()), size_t(text.size()) * 2);
    }
    char small[256];
    QByteArray large;
    char* narrow = small;
    if (text.size() > qsizetype(sizeof small)) {
        large.resize(text.size());
        narrow = large.data();
    }
    list_store::narrowTo(text.utf16(), text.size(), narrow);
    return hashBytes(narrow, size_t(text.size()));
}

quint64 hashFoldedKey(list_store::ItemText asciiText) {
    // Lowered ASCII bytes are the Latin-1 form of the lowered text, which hashText() takes.
    struct Lowered {
        quint64 operator()(quint64 word) const { return ascii::lowered(word); }
    };
    return hashBytes(asciiText.latin1(), size_t(asciiText.size()), Lowered{});
}

bool sameFoldedKey(KeyView a, KeyView b) {
    const qsizetype size = a.text.size();
    if (size != b.text.size()) return false;
    if (!a.foldsCase) std::swap(a, b);
    const uchar* units = a.text.bytes();
    if (b.text.isWide()) {
        const char16_t* other = b.text.utf16();
        for (qsizetype k = 0; k < size; ++k) {
            const char16_t unit = units[k];
            if ((isCapitalAscii(unit) ? char16_t(unit + (u'a' - u'A')) : unit) != other[k]) {
                return false;
            }
        }
        return true;
    }
    const uchar* other = b.text.bytes();
    const auto wordOf = [&](qsizetype k) {
        const quint64 word = wordAt(other + k);
        return b.foldsCase ? ascii::lowered(word) : word;
    };
    if (size < 8) {
        for (qsizetype k = 0; k < size; ++k) {
            const uchar unit = units[k];
            const uchar lowered = isCapitalAscii(unit) ? uchar(unit + (u'a' - u'A')) : unit;
            const uchar theirs = b.foldsCase && isCapitalAscii(other[k])
                                     ? uchar(other[k] + (u'a' - u'A'))
                                     : other[k];
            if (lowered != theirs) return false;
        }
        return true;
    }
    qsizetype k = 0;
    for (; k + 8 <= size; k += 8) {
        if (ascii::lowered(wordAt(units + k)) != wordOf(k)) return false;
    }
    // The last eight bytes, overlapping some already compared.
    return k == size || ascii::lowered(wordAt(units + size - 8)) == wordOf(size - 8);
}

list_store::ItemText lowerCased(list_store::ItemText text, QString& scratch) {
    const qsizetype size = text.size();
    return text.visit([&](const auto* units, qsizetype) -> list_store::ItemText {
        using Unit = std::remove_cv_t<std::remove_pointer_t<decltype(units)>>;
        const qsizetype first = firstToLower(units, 0, size);
        if (first == size) return text;
        if (hasNonAscii(units, first, size)) {
            if (!withinLatin1(units, first, size)) {
                // Beyond Latin-1 the Unicode tables decide, exactly as everywhere else in the
                // program.
                scratch = text.toString().toLower();
                return list_store::ItemText(scratch);
            }
            // Latin-1 lowers within itself, À to Þ but × by 32 as A to Z: mapped in place, as
            // toLower maps them, without a call into the tables.
            if constexpr (std::is_same_v<Unit, char16_t>) {
                scratch.resize(size);
                auto* out = reinterpret_cast<char16_t*>(scratch.data());
                std::copy(units, units + first, out);
                lowerLatin1From(units, first, size, out);
                return list_store::ItemText(out, size);
            } else {
                scratch.resize((size + 1) / 2);
                auto* out = reinterpret_cast<uchar*>(scratch.data());
                std::copy(units, units + first, out);
                lowerLatin1From(units, first, size, out);
                return list_store::ItemText(reinterpret_cast<const char*>(out), size);
            }
        }
        if constexpr (std::is_same_v<Unit, char16_t>) {
            scratch.resize(size);
            auto* out = reinterpret_cast<char16_t*>(scratch.data());
            std::copy(units, units + first, out);
            lowerAsciiFrom(units, first, size, out);
            return list_store::ItemText(out, size);
        } else {
            // Latin-1 bytes in the scratch string's own storage.
            scratch.resize((size + 1) / 2);
            auto* out = reinterpret_cast<uchar*>(scratch.data());
            std::copy(units, units + first, out);
            lowerAsciiFrom(units, first, size, out);
            return list_store::ItemText(reinterpret_cast<const char*>(out), size);
        }
    });
}

bool equalsWhenLowered(list_store::ItemText text, list_store::ItemText loweredKey,
                       QString& scratch) {
    if (text.size() == loweredKey.size()) {
        qsizetype k = 0;
        for (; k < text.size(); ++k) {
            const char16_t unit = text.at(k);
            if (unit >= 0x80) break;
            // Up to the first letter beyond ASCII, lower-casing maps unit for unit.
            if ((isCapitalAscii(unit) ? char16_t(unit + (u'a' - u'A')) : unit) !=
                loweredKey.at(k)) {
                return false;
            }
        }
        if (k == text.size()) return true;
    }
    return lowerCased(text, scratch) == loweredKey;
}

namespace {

quint64 hashOfKey(list_store::ItemText key) {
    return hashText(key);
}

quint64 hashOfKey(KeyView key) {
    return hashKey(key);
}

}  // namespace

template <>
list_store::ItemText TextIndex::keyAs<list_store::ItemText>(list_store::ItemText text,
                                                            QString&) const {
    return text;
}

template <>
KeyView TextIndex::keyAs<KeyView>(list_store::ItemText text, QString& scratch) const {
    return keyOf(text, scratch);
}

TextIndex::TextIndex(const list_store::ItemList& list, Keys keys, platform::EventPump& pump)
    : m_list(list), m_keys(keys), m_pump(pump) {
    Q_ASSERT(keys != Keys::Rules);
}

TextIndex::TextIndex(const list_store::ItemList& list, const KeyMaker& rules,
                     platform::EventPump& pump)
    : m_list(list), m_keys(Keys::Rules), m_rules(&rules), m_pump(pump) {}

bool TextIndex::isCurrent() const {
    return m_synced && m_changeGeneration == m_list.changeGeneration();
}

void TextIndex::update() {
    while (!isCurrent()) {
        if (m_pump.stopping()) return;
        const bool onlyAppended = m_started && m_list.removalGeneration() == m_removalGeneration &&
                                  m_list.count() >= m_indexedCount;
        if (!onlyAppended) begin();
        m_synced = indexFrom(m_indexedCount + 1);
        if (m_synced) m_changeGeneration = m_list.changeGeneration();
    }
}

void TextIndex::begin() {
    clear();
    m_removalGeneration = m_list.removalGeneration();
    m_started = true;
    reserveFor(m_list.count());
}

void TextIndex::addNotingRepeats(int first, int last, std::vector<int>& repeats) {
    if (!m_started) begin();
    if (m_list.removalGeneration() != m_removalGeneration) {
        throw platform::Failure(u"The list was changed while it was being indexed"_s);
    }
    if (first != m_indexedCount + 1) {
        throw platform::Failure(u"Items must be indexed in order, without gaps"_s);
    }
    for (int position = first; position <= last; position += kBatch) {
        indexBatch(position, std::min(kBatch, last - position + 1), &repeats);
    }
    m_synced = m_indexedCount == m_list.count();
    if (m_synced) m_changeGeneration = m_list.changeGeneration();
}

void TextIndex::indexBatch(int position, int batch, std::vector<int>* repeats) {
    if (hasExactKeys()) {
        indexBatchOf<list_store::ItemText>(position, batch, repeats);
    } else {
        indexBatchOf<KeyView>(position, batch, repeats);
    }
}

template <typename Key>
void TextIndex::indexBatchOf(int position, int batch, std::vector<int>* repeats) {
    quint64 hashes[kBatch];
    bool keyed[kBatch];
    if (!m_wide && position + batch - 1 > kMostNarrowPositions) widen();
    while (isCrowdedWith(m_used + batch)) grow();
    // Hash a batch first and ask for its slots, so that their loads overlap.
    const qsizetype size = tableSize();
    for (int k = 0; k < batch; ++k) {
        const Key key = keyAs<Key>(m_list.textView(position + k), m_keyScratch);
        keyed[k] = hasKey(key);
        if (!keyed[k]) continue;
        hashes[k] = hashOfKey(key);
        const size_t slot = size_t(startSlot(hashes[k], size));
        prefetch(m_wide ? static_cast<const void*>(&m_wideSlots[slot])
                        : static_cast<const void*>(&m_narrowSlots[slot]));
    }
    for (int k = 0; k < batch; ++k) {
        if (!keyed[k]) continue;  // matches nothing, so it repeats nothing either
        const bool added = m_wide ? insert<Key>(m_wideSlots, position + k, hashes[k])
                                  : insert<Key>(m_narrowSlots, position + k, hashes[k]);
        if (!added && repeats) repeats->push_back(position + k);
    }
    m_indexedCount = position + batch - 1;
}

bool TextIndex::indexFrom(int firstPosition) {
    const int count = m_list.count();
    const qsizetype items = count - firstPosition + 1;
    if (items >= kLeastShared && !isCrowdedWith(m_used + items) &&
        (m_wide || count <= kMostNarrowPositions)) {
        if (!indexShared(firstPosition, count)) return false;
        firstPosition = count + 1;
    }
    int sincePump = 0;
    // The count is read again after every pump: items appended meanwhile are taken in too.
    for (int position = firstPosition; position <= m_list.count();) {
        const int batch = std::min(kBatch, m_list.count() - position + 1);
        indexBatch(position, batch, nullptr);
        position += batch;
        sincePump += batch;
        if (sincePump >= kItemsPerPump) {
            sincePump = 0;
            // A batch may take a while: the first touch of the table's pages, items far apart
            // in memory. So the clock decides, not a count of calls.
            m_pump.pumpAfterChunk();
            if (m_pump.stopping() || m_list.removalGeneration() != m_removalGeneration) {
                return false;
            }
        }
    }
    return true;
}

// Positions `first` to `last`, on this thread and a helper at once. Each takes the next piece
// of positions in turn; the slots are claimed by compare-and-swap, so that of two equal keys
// only one goes in, whichever thread comes first. Which position then stands for a key does not
// matter to a look-up. The table is big enough already: it does not grow meanwhile.
bool TextIndex::indexShared(int first, int last) {
    constexpr int kPiece = 8192;
    std::atomic<int> next = first;
    std::atomic<bool> stop = false;
    const quint64 removals = m_removalGeneration;
    const bool exact = hasExactKeys();
    const auto indexBatchShared = [&](int position, int batch, QString& keyScratch,
                                      QString& candidateScratch) {
        if (exact) {
            return m_wide ? this->indexBatchShared<list_store::ItemText>(
                                m_wideSlots, position, batch, keyScratch, candidateScratch)
                          : this->indexBatchShared<list_store::ItemText>(
                                m_narrowSlots, position, batch, keyScratch, candidateScratch);
        }
        return m_wide ? this->indexBatchShared<KeyView>(m_wideSlots, position, batch, keyScratch,
                                                        candidateScratch)
                      : this->indexBatchShared<KeyView>(m_narrowSlots, position, batch, keyScratch,
                                                        candidateScratch);
    };
    const auto work = [&](bool pumping) {
        QString keyScratch;
        QString candidateScratch;
        qsizetype added = 0;
        int sincePump = 0;
        while (!stop.load(std::memory_order_relaxed)) {
            const int from = next.fetch_add(kPiece);
            if (from > last) break;
            const int to = std::min(last, from + kPiece - 1);
            for (int position = from; position <= to; position += kBatch) {
                const int batch = std::min(kBatch, to - position + 1);
                added += indexBatchShared(position, batch, keyScratch, candidateScratch);
                sincePump += batch;
                if (pumping && sincePump >= kItemsPerPump) {
                    sincePump = 0;
                    m_pump.pumpAfterChunk();
                    if (m_pump.stopping() || m_list.removalGeneration() != removals) {
                        stop.store(true);
                        break;
                    }
                }
            }
        }
        return added;
    };
    qsizetype helperAdded = 0;
    platform::Aside helper([&](platform::Aside&) {
        try {
            helperAdded = work(false);
        } catch (...) {
            stop.store(true);
            throw;
        }
    });
    qsizetype added = 0;
    try {
        added = work(true);
    } catch (...) {
        stop.store(true);
        throw;  // once the helper has ended: its destructor waits for it
    }
    helper.wait();
    m_used += added + helperAdded;
    if (stop.load()) return false;
    m_indexedCount = last;
    return true;
}

template <typename Key, typename Word>
qsizetype TextIndex::indexBatchShared(list_store::FlatArray<Word>& slots, int position, int batch,
                                      QString& keyScratch, QString& candidateScratch) const {
    quint64 hashes[kBatch];
    bool keyed[kBatch];
    const qsizetype size = qsizetype(slots.size());
    for (int k = 0; k < batch; ++k) {
        const Key key = keyAs<Key>(m_list.textView(position + k), keyScratch);
        keyed[k] = hasKey(key);
        if (!keyed[k]) continue;
        hashes[k] = hashOfKey(key);
        prefetch(&slots[size_t(startSlot(hashes[k], size))]);
    }
    qsizetype added = 0;
    for (int k = 0; k < batch; ++k) {
        if (!keyed[k]) continue;
        const Word entry = Layout<Word>::tagOf(hashes[k]) | Word(position + k);
        for (qsizetype s = startSlot(hashes[k], size);; s = nextSlot(s, size)) {
            std::atomic_ref<Word> slot(slots[size_t(s)]);
            Word word = slot.load(std::memory_order_relaxed);
            if (positionIn(word) == 0) {
                if (slot.compare_exchange_strong(word, entry, std::memory_order_relaxed)) {
                    ++added;
                    break;
                }
                // Another thread took the slot first: `word` now holds what it put there.
            }
            if (tagIn(word) == tagIn(entry) &&
                sameKey(positionIn(word), keyAs<Key>(m_list.textView(position + k), keyScratch),
                        candidateScratch)) {
                break;  // the same key is already there
            }
        }
    }
    return added;
}

void TextIndex::release() {
    clear();
    m_narrowSlots = list_store::FlatArray<quint32>();
    m_wideSlots = list_store::FlatArray<quint64>();
}

void TextIndex::clear() {
    m_narrowSlots = list_store::FlatArray<quint32>();
    m_wideSlots = list_store::FlatArray<quint64>();
    m_used = 0;
    m_indexedCount = 0;
    m_started = false;
    m_synced = false;
}

void TextIndex::reserveFor(qsizetype items) {
    // Room for a whole batch beyond the list, so that indexing the list as it is never ends in
    // a growth of the table: a batch is checked against three quarters full before it goes in.
    const size_t size = size_t(std::max(kSmallestTable, items + items / 3 + 2 * qsizetype(kBatch)));
    m_wide = items > kMostNarrowPositions;
    if (m_wide) {
        m_narrowSlots = list_store::FlatArray<quint32>();
        m_wideSlots = zeroedTable<quint64>(size);
    } else {
        m_wideSlots = list_store::FlatArray<quint64>();
        m_narrowSlots = zeroedTable<quint32>(size);
    }
}

qsizetype TextIndex::tableSize() const {
    return qsizetype(m_wide ? m_wideSlots.size() : m_narrowSlots.size());
}

const char TextIndex::kNoKey = 0;

KeyView TextIndex::keyOfBeyondExact(list_store::ItemText text, QString& scratch) const {
    if (m_keys == Keys::LowerCase) {
        // ASCII bytes are lowered as they are hashed and compared, never written out.
        if (!text.isWide() && !hasNonAscii(text.bytes(), 0, text.size())) return {text, true};
        return {lowerCased(text, scratch)};
    }
    // An index of rules' keys always has its key maker; without one, the exact text.
    if (!m_rules) return {text};
    KeyView key;
    return m_rules->keyOf(text, scratch, key) ? key : KeyView{list_store::ItemText(&kNoKey, 0)};
}

quint64 TextIndex::hashOf(list_store::ItemText text, QString& scratch) const {
    return hashKey(keyOf(text, scratch));
}

bool TextIndex::sameKey(int position, KeyView key, QString& scratch) const {
    const list_store::ItemText text = m_list.textView(position);
    // Exact keys never fold.
    if (m_keys == Keys::Exact || (m_keys == Keys::Rules && !m_rules)) return text == key.text;
    const KeyView own = keyOf(text, scratch);
    return hasKey(own) && List::sameKey(own, key);
}

// Linear probing stays short up to three quarters full.
bool TextIndex::isCrowdedWith(qsizetype used) const {
    return 4 * used > 3 * tableSize();
}

template <typename Key, typename Word>
bool TextIndex::insert(list_store::FlatArray<Word>& slots, int position, quint64 hash) {
    const Word tag = Layout<Word>::tagOf(hash);
    const qsizetype size = qsizetype(slots.size());
    for (qsizetype s = startSlot(hash, size);; s = nextSlot(s, size)) {
        const Word word = slots[size_t(s)];
        const int held = positionIn(word);
        if (held == 0) {
            slots[size_t(s)] = tag | Word(position);
            ++m_used;
            return true;
        }
        if (tagIn(word) == tag && sameKey(held, keyAs<Key>(m_list.textView(position), m_keyScratch),
                                          m_lookUpScratch.candidate)) {
            return false;  // the same key is already there
        }
    }
}

// Places every entry of `from` in the empty table `to`; the entries are distinct already.
template <typename From, typename To>
void TextIndex::moveEntries(const list_store::FlatArray<From>& from,
                            list_store::FlatArray<To>& to) {
    const qsizetype size = qsizetype(to.size());
    for (const From word : from) {
        const int position = positionIn(word);
        if (position == 0) continue;
        quint64 hash = 0;
        if constexpr (std::is_same_v<From, quint64> && std::is_same_v<To, quint64>) {
            hash = tagIn(word);  // all that a wide slot needs
        } else {
            hash = hashOf(m_list.textView(position), m_keyScratch);
        }
        qsizetype s = startSlot(hash, size);
        while (positionIn(to[size_t(s)]) != 0) s = nextSlot(s, size);
        to[size_t(s)] = Layout<To>::tagOf(hash) | To(position);
    }
}

void TextIndex::grow() {
    const size_t size = std::max<size_t>(size_t(kSmallestTable), size_t(tableSize()) * 2);
    if (m_wide) {
        list_store::FlatArray<quint64> old = zeroedTable<quint64>(size);
        old.swap(m_wideSlots);
        moveEntries(old, m_wideSlots);
    } else {
        list_store::FlatArray<quint32> old = zeroedTable<quint32>(size);
        old.swap(m_narrowSlots);
        moveEntries(old, m_narrowSlots);
    }
}

// The list has grown beyond what a narrow slot can address.
void TextIndex::widen() {
    list_store::FlatArray<quint64> wide = zeroedTable<quint64>(
        std::max<size_t>(size_t(kSmallestTable), size_t(m_narrowSlots.size())));
    moveEntries(m_narrowSlots, wide);
    m_narrowSlots = list_store::FlatArray<quint32>();
    m_wideSlots.swap(wide);
    m_wide = true;
}

template <typename Key, typename Word>
bool TextIndex::probeFrom(const list_store::FlatArray<Word>& slots, qsizetype s, quint64 hash,
                          Key key, QString& scratch) const {
    const Word tag = Layout<Word>::tagOf(hash);
    const qsizetype size = qsizetype(slots.size());
    for (;; s = nextSlot(s, size)) {
        const Word word = slots[size_t(s)];
        const int held = positionIn(word);
        if (held == 0) return false;
        if (tagIn(word) == tag && sameKey(held, key, scratch)) return true;
    }
}

bool TextIndex::contains(list_store::ItemText text) const {
    if (m_used == 0) return false;
    Scratch& scratch = m_lookUpScratch;
    if (hasExactKeys()) {
        const quint64 hash = hashText(text);
        const qsizetype slot = startSlot(hash, tableSize());
        return m_wide ? probeFrom(m_wideSlots, slot, hash, text, scratch.candidate)
                      : probeFrom(m_narrowSlots, slot, hash, text, scratch.candidate);
    }
    const KeyView key = keyOf(text, scratch.key);
    if (!hasKey(key)) return false;
    const quint64 hash = hashKey(key);
    const qsizetype slot = startSlot(hash, tableSize());
    return m_wide ? probeFrom(m_wideSlots, slot, hash, key, scratch.candidate)
                  : probeFrom(m_narrowSlots, slot, hash, key, scratch.candidate);
}

void TextIndex::containsEach(std::span<const list_store::ItemText> texts, bool* found) const {
    containsEach(texts, found, m_lookUpScratch);
}

void TextIndex::containsEach(std::span<const list_store::ItemText> texts, bool* found,
                             Scratch& scratch) const {
    Q_ASSERT(texts.size() <= size_t(kMostAtOnce));
    if (m_used == 0) {
        std::fill(found, found + texts.size(), false);
        return;
    }
    if (hasExactKeys()) {
        if (m_wide) {
            containsEachIn<list_store::ItemText>(m_wideSlots, texts, found, scratch);
        } else {
            containsEachIn<list_store::ItemText>(m_narrowSlots, texts, found, scratch);
        }
    } else if (m_wide) {
        containsEachIn<KeyView>(m_wideSlots, texts, found, scratch);
    } else {
        containsEachIn<KeyView>(m_narrowSlots, texts, found, scratch);
    }
}

template <typename Key, typename Word>
void TextIndex::containsEachIn(const list_store::FlatArray<Word>& slotWords,
                               std::span<const list_store::ItemText> texts, bool* found,
                               Scratch& scratch) const {
    const int count = int(texts.size());
    quint64 hashes[kMostAtOnce];
    qsizetype slots[kMostAtOnce];
    list_store::ItemText candidates[kMostAtOnce];
    Key keys[kMostAtOnce];
    const qsizetype size = qsizetype(slotWords.size());
    // First the slots where the look-ups start ...
    for (int k = 0; k < count; ++k) {
        keys[k] = keyAs<Key>(texts[k], scratch.batchKeys[k]);
        if (!hasKey(keys[k])) {
            slots[k] = -1;
            continue;
        }
        hashes[k] = hashOfKey(keys[k]);
        slots[k] = startSlot(hashes[k], size);
        prefetch(&slotWords[size_t(slots[k])]);
    }
    // ... then the text of the first candidate each slot run offers ...
    for (int k = 0; k < count; ++k) {
        if (slots[k] < 0) continue;
        const Word tag = Layout<Word>::tagOf(hashes[k]);
        qsizetype s = slots[k];
        while (positionIn(slotWords[size_t(s)]) != 0 && tagIn(slotWords[size_t(s)]) != tag) {
            s = nextSlot(s, size);
        }
        slots[k] = s;
        if (const int held = positionIn(slotWords[size_t(s)]); held != 0) {
            candidates[k] = m_list.textView(held);
            prefetch(candidates[k].data());
        }
    }
    // ... and only then the comparisons, which now find their data in the cache.
    for (int k = 0; k < count; ++k) {
        found[k] = slots[k] >= 0 && positionIn(slotWords[size_t(slots[k])]) != 0 &&
                   probeFrom(slotWords, slots[k], hashes[k], keys[k], scratch.candidate);
    }
}

}  // namespace List
