#include "list_engine/comparison.h"

#include <QChar>
#include <algorithm>
#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <span>
#include <type_traits>
#include <utility>

#include "list_engine/ascii_words.h"
#include "list_engine/hashing.h"
#include "list_engine/text_index.h"
#include "list_engine/white_space.h"
#include "list_store/flat_array.h"
#include "platform/aside.h"
#include "platform/failure.h"

using namespace Qt::Literals::StringLiterals;

namespace List {

namespace {

using list_store::ItemList;
using list_store::ItemText;

const QString kLocation = platform::procedureLocation(u"List", u"CompareLists");

constexpr quint32 kNone = 0xFFFFFFFF;
constexpr int kBatch = 32;
// Entries between two looks at the stop flag and two counts of progress.
constexpr int kPiece = 4096;

bool isAsciiOnly(ItemText text) {
    const uchar* bytes = text.bytes();
    const qsizetype size = text.size();
    qsizetype i = 0;
    for (; i + 8 <= size; i += 8) {
        if (ascii::wordAt(bytes + i) & ascii::kHighBits) return false;
    }
    for (; i < size; ++i) {
        if (bytes[i] >= 0x80) return false;
    }
    return true;
}

// The key of an entry as the subtraction makes it: the exact text or the lower-cased one on
// their fast paths when no rule beyond case is on, else the rules' key.
class Keys {
public:
    explicit Keys(const MatchRules& rules) : m_maker(rules) {
        m_mode = !m_maker.isPlain() ? Mode::Rules : rules.ignoreCase ? Mode::Lower : Mode::Exact;
    }
    bool isValid() const { return m_maker.isValid(); }
    // Every entry's key is its text.
    bool isExact() const { return m_mode == Mode::Exact; }

    // False when the entry has no key. The key views the entry or `scratch`.
    bool of(ItemText text, QString& scratch, KeyView& key) const {
        switch (m_mode) {
            case Mode::Exact:
                key = {text};
                return true;
            case Mode::Lower:
                // Latin-1 bytes of ASCII fold their case as they are hashed and compared.
                if (!text.isWide() && isAsciiOnly(text)) {
                    key = {text, true};
                } else {
                    key = {lowerCased(text, scratch)};
                }
                return true;
            case Mode::Rules:
                break;
        }
        return m_maker.keyOf(text, scratch, key);
    }

private:
    enum class Mode { Exact, Lower, Rules };
    KeyMaker m_maker;
    Mode m_mode = Mode::Exact;
};

// Open addressing with linear probing over 4-byte slots: eight bits of the hash above an id
// (from 1; 0 marks an empty slot). The ids are the caller's; texts are confirmed by the caller's
// `same`, since slots hold no texts.
class SlotTable {
public:
    static constexpr quint32 kMostIds = (quint32(1) << 24) - 2;

    // Room for `keys` keys: the table grows only beyond them (a growth makes every key again).
    void reserve(qsizetype keys, list_store::Pages pages = list_store::Pages::Small) {
        m_pages = pages;
        m_slots = list_store::FlatArray<quint32>::zeroed(
            std::max<qsizetype>(16, keys + (keys + 2) / 3), pages);
        m_used = 0;
    }
    bool isEmpty() const { return m_used == 0; }
    qsizetype size() const { return qsizetype(m_slots.size()); }
    void release() {
        m_slots = list_store::FlatArray<quint32>();
        m_used = 0;
    }

    const quint32* startOf(quint64 hash) const { return &m_slots[size_t(startSlot(hash))]; }

    // The id whose key `same` confirms, or kNone.
    template <typename Same>
    quint32 find(quint64 hash, Same&& same) const {
        if (m_used == 0) return kNone;
        const quint32 tag = tagOf(hash);
        const qsizetype size = this->size();
        for (qsizetype s = startSlot(hash);; s = s + 1 == size ? 0 : s + 1) {
            const quint32 word = m_slots[size_t(s)];
            if (word == 0) return kNone;
            if ((word & ~kIdMask) == tag && same((word & kIdMask) - 1)) return (word & kIdMask) - 1;
        }
    }

    // The id already there for the key, or `id` once it is put in.
    template <typename Same, typename HashOf>
    quint32 insert(quint64 hash, quint32 id, Same&& same, HashOf&& hashOf) {
        if (4 * (m_used + 1) > 3 * size()) grow(hashOf);
        const quint32 tag = tagOf(hash);
        const qsizetype size = this->size();
        for (qsizetype s = startSlot(hash);; s = s + 1 == size ? 0 : s + 1) {
            const quint32 word = m_slots[size_t(s)];
            if (word == 0) {
                if (id >= kMostIds) throw platform::Failure(u"Too many distinct entries"_s);
                m_slots[size_t(s)] = tag | (id + 1);
                ++m_used;
                return id;
            }
            if ((word & ~kIdMask) == tag && same((word & kIdMask) - 1)) return (word & kIdMask) - 1;
        }
    }

private:
    static constexpr quint32 kIdMask = (quint32(1) << 24) - 1;
    // Eight bits of the high half, the only half some callers keep.
    static quint32 tagOf(quint64 hash) { return quint32(hash >> 32) << 24; }
    // From bits below the top one, which may choose a partition.
    qsizetype startSlot(quint64 hash) const {
        return qsizetype((((hash >> 32) & 0x7FFFFFFF) * quint64(size())) >> 31);
    }

    template <typename HashOf>
    void grow(HashOf&& hashOf) {
        list_store::FlatArray<quint32> old = std::move(m_slots);
        m_slots = list_store::FlatArray<quint32>::zeroed(qsizetype(old.size()) * 2, m_pages);
        const qsizetype size = this->size();
        for (const quint32 word : old) {
            if (word == 0) continue;
            const quint64 hash = hashOf((word & kIdMask) - 1);
            qsizetype s = startSlot(hash);
            while (m_slots[size_t(s)] != 0) s = s + 1 == size ? 0 : s + 1;
            m_slots[size_t(s)] = word;
        }
    }

    list_store::FlatArray<quint32> m_slots;
    qsizetype m_used = 0;
    list_store::Pages m_pages = list_store::Pages::Small;
};

// A bit for each of a number of things.
class Bits {
public:
    explicit Bits(qsizetype count = 0) : m_words(size_t((count + 63) / 64), 0) {}
    void set(qsizetype i) { m_words[size_t(i / 64)] |= quint64(1) << (i % 64); }
    bool at(qsizetype i) const { return (m_words[size_t(i / 64)] >> (i % 64)) & 1; }

private:
    std::vector<quint64> m_words;
};

// The distinct keys of both lists in one table, which two threads fill at once, each with half
// of the entries of both lists taken together. A key's id is the code of the first entry that
// got it into the table: the position for List 1, List 1's count and the position for List 2.
// Which entry that is depends on the threads; nothing that is shown does. For each id, which
// lists hold it; for each entry, its key's id. Each thread marks the lists of the keys it meets
// in marks of its own, without locking; settle() then puts them together.
class KeySet {
public:
    KeySet(const ItemList& first, const ItemList& second, const Keys& keys)
        : m_lists{&first, &second}, m_keys(keys), m_firstCount(quint32(first.count())) {
        const qsizetype all = qsizetype(first.count()) + second.count();
        // Room for every entry's key and a batch over, so that the table never grows while
        // both threads fill it. In huge pages, which spare the look-ups all over it their
        // address translations; the threads that fill it pay for their zeroing, not the window.
        const qsizetype size = std::max<qsizetype>(16, all + all / 3 + 2 * qsizetype(kBatch));
        m_wide = all >= (qsizetype(1) << Layout<quint32>::kPositionBits) - 1;
        if (m_wide) {
            m_wideSlots = list_store::FlatArray<quint64>::zeroed(size, list_store::Pages::Huge);
        } else {
            m_narrowSlots = list_store::FlatArray<quint32>::zeroed(size, list_store::Pages::Huge);
        }
        for (auto& marks : m_marks) {
            marks = list_store::FlatArray<quint8>::zeroed(all + 1, list_store::Pages::Small);
        }
        for (int l = 0; l < 2; ++l) {
            m_ids[l] = list_store::FlatArray<quint32>::zeroed(list(l).count() + 1,
                                                              list_store::Pages::Small);
        }
    }
    // The keys of the same lists under rules that can only join keys of `exact`, never split
    // one (the case ignored as well): only the first entry of each of its keys is keyed and put
    // in, and the others take its id in settle(). That spares most look-ups that find their key
    // there already, each of which reads a text from anywhere in the lists.
    KeySet(const KeySet& exact, const Keys& keys) : KeySet(exact.list(0), exact.list(1), keys) {
        m_exact = &exact;
    }

    const ItemList& list(int which) const { return *m_lists[which]; }
    const Keys& keys() const { return m_keys; }
    // Ids are below this.
    qsizetype idLimit() const { return m_marks[0].size(); }
    // 1 List 1, 2 List 2, 3 both; 0 for a code that is no key's id; once settled.
    quint8 listsOf(quint32 id) const { return m_marks[0][qsizetype(id)]; }
    int repeats(int l) const {
        return m_repeats[0][l] + m_repeats[1][l] + m_overlaps[0][l] + m_overlaps[1][l];
    }

    // Puts in the keys of piece `which` (0 or 1) of the entries of both lists, List 1's first;
    // the other piece at the same time on another thread.
    void build(int which, platform::Aside& aside) {
        const qint64 all = qint64(list(0).count()) + list(1).count();
        const qint64 middle = all / 2;
        buildRange(which, which == 0 ? 0 : middle, which == 0 ? middle : all, aside);
    }
    // build() for pieces of the entries of both lists that this thread takes from `next` in
    // turn, as another may be doing with the same counter: what each thread has left to do
    // before it need not be the same.
    void buildTaking(int which, std::atomic<qint64>& next, platform::Aside& aside) {
        const qint64 all = qint64(list(0).count()) + list(1).count();
        constexpr qint64 kTaken = qint64(16) * kPiece;
        for (;;) {
            const qint64 begin = next.fetch_add(kTaken, std::memory_order_relaxed);
            if (begin >= all || !buildRange(which, begin, std::min(all, begin + kTaken), aside)) {
                return;
            }
        }
    }

    // Half `which` of the table's pages, touched ahead of a build() that comes later: first
    // touched after the rows, amid their tables coming and going, they made the system compact
    // memory, and the longest gap between events at 10,000,000 entries grew from 22 ms to 38.
    void touch(int which) {
        if (m_wide) {
            touchHalf(m_wideSlots, which);
        } else {
            touchHalf(m_narrowSlots, which);
        }
    }

    // Gives back the table, once no look-ups are to come.
    void releaseTable() {
        m_narrowSlots = list_store::FlatArray<quint32>();
        m_wideSlots = list_store::FlatArray<quint64>();
    }

    // After build(), piece `which` of the ids: puts the two threads' marks together, and counts
    // how many keys are in each set of lists. A key that both threads met in the same list was
    // its first entry there for each, and one of them is a repeat. (Built over another set, the
    // repeats are not counted.) Ids are entries of both lists in turn: the piece's entries that
    // build() left to their first get their ids here.
    void settle(int which, qint64 (&counts)[4]) {
        const qsizetype all = m_marks[0].size() - 1;
        const qsizetype from = which == 0 ? 1 : all / 2 + 1;
        const qsizetype to = which == 0 ? all / 2 : all;
        if (m_exact) takeFirstsIds(from, to);
        quint8* own = m_marks[0].data();
        const quint8* other = m_marks[1].data();
        int overlaps[2] = {0, 0};
        for (qsizetype id = from; id <= to; ++id) {
            const quint8 both = own[id] & other[id];
            overlaps[0] += both & 1;
            overlaps[1] += both >> 1;
            own[id] |= other[id];
            ++counts[own[id]];
        }
        m_overlaps[which][0] = overlaps[0];
        m_overlaps[which][1] = overlaps[1];
    }
    // After settle() of both pieces.
    void releaseSecondMarks() { m_marks[1] = list_store::FlatArray<quint8>(); }

    // The id of the key of entry `position` of list `l`, or kNone.
    quint32 idOf(int l, int position) const { return m_ids[l][position]; }

    // Calls f(position, id) for the entries of a list in order; kNone for one without a key.
    template <typename F>
    void forEachEntry(int l, F&& f) const {
        const quint32* ids = m_ids[l].data();
        const int count = list(l).count();
        for (int position = 1; position <= count; ++position) f(position, ids[position]);
    }

    // The ids of up to kBatch keys, kNone for a key neither list has; before releaseTable().
    // Their slots are asked for together, then the texts of likely matches, so that the loads of
    // a batch overlap instead of following one another.
    void find(std::span<const KeyView> keys, quint32* ids, QString& scratch) const {
        if (m_wide) {
            findAllIn(m_wideSlots, keys, ids, scratch);
        } else {
            findAllIn(m_narrowSlots, keys, ids, scratch);
        }
    }

private:
    template <typename Word>
    static void touchHalf(list_store::FlatArray<Word>& slots, int which) {
        const qsizetype size = slots.size();
        const qsizetype step = 4096 / qsizetype(sizeof(Word));
        for (qsizetype s = which == 0 ? 0 : size / 2 / step * step;
             s < (which == 0 ? size / 2 : size); s += step) {
            std::atomic_ref<Word>(slots[s]).fetch_add(0, std::memory_order_relaxed);
        }
    }
    // Entries `begin` to before `end` of both lists taken together (from 0).
    bool buildRange(int which, qint64 begin, qint64 end, platform::Aside& aside) {
        for (int l = 0; l < 2; ++l) {
            const qint64 offset = l == 0 ? 0 : m_firstCount;
            const qint64 from = std::max<qint64>(begin, offset) - offset + 1;
            const qint64 to = std::min<qint64>(end, offset + list(l).count()) - offset;
            if (from > to) continue;
            const bool done = m_keys.isExact()
                                  ? buildFrom<ItemText>(which, l, int(from), int(to), aside)
                                  : buildFrom<KeyView>(which, l, int(from), int(to), aside);
            if (!done) return false;
        }
        return true;
    }

    template <typename Word>
    static quint32 idIn(Word word) {
        return quint32(word & kPositionMask<Word>);
    }
    ItemText textOf(quint32 id) const {
        return id <= m_firstCount ? list(0).textView(int(id))
                                  : list(1).textView(int(id - m_firstCount));
    }
    // Entries `from` to `to` of both lists in turn, with an id from their first entry in
    // m_exact: its first entry's id here, which build() gave it.
    void takeFirstsIds(qsizetype from, qsizetype to) {
        for (int l = 0; l < 2; ++l) {
            const qsizetype offset = l == 0 ? 0 : m_firstCount;
            const qsizetype begin = std::max(from, offset + 1) - offset;
            const qsizetype end = std::min(to, offset + list(l).count()) - offset;
            quint32* ids = m_ids[l].data();
            const quint32* exactIds = m_exact->m_ids[l].data();
            for (qsizetype position = begin; position <= end; ++position) {
                if (ids[position] != 0) continue;
                const quint32 first = exactIds[position];
                ids[position] =
                    first <= m_firstCount ? m_ids[0][first] : m_ids[1][first - m_firstCount];
            }
        }
    }

    template <typename Word>
    void findAllIn(const list_store::FlatArray<Word>& slots, std::span<const KeyView> keys,
                   quint32* ids, QString& scratch) const {
        quint64 hashes[kBatch];
        const qsizetype size = slots.size();
        for (size_t k = 0; k < keys.size(); ++k) {
            hashes[k] = hashKey(keys[k]);
            prefetch(&slots[startSlot(hashes[k], size)]);
        }
        for (size_t k = 0; k < keys.size(); ++k) {
            const Word word = slots[startSlot(hashes[k], size)];
            if (idIn(word) != 0 && tagIn(word) == Layout<Word>::tagOf(hashes[k])) {
                prefetch(textOf(idIn(word)).data());
            }
        }
        for (size_t k = 0; k < keys.size(); ++k)
            ids[k] = findIn(slots, keys[k], hashes[k], scratch);
    }

    template <typename Word>
    quint32 findIn(const list_store::FlatArray<Word>& slots, KeyView key, quint64 hash,
                   QString& scratch) const {
        const Word tag = Layout<Word>::tagOf(hash);
        const qsizetype size = slots.size();
        for (qsizetype s = startSlot(hash, size);; s = nextSlot(s, size)) {
            const Word word = slots[s];
            if (idIn(word) == 0) return kNone;
            if (tagIn(word) != tag) continue;
            KeyView held;
            m_keys.of(textOf(idIn(word)), scratch, held);
            if (sameKey(held, key)) return idIn(word);
        }
    }

    // The loops over entries are compiled for two kinds of key: the texts themselves when the
    // keys are exact, so that no key view is built and taken apart again (a view's copies
    // through memory cost the exact comparison more than its hashing), else key views.
    template <typename Key>
    bool keyOf(ItemText text, QString& scratch, Key& key) const {
        if constexpr (std::is_same_v<Key, ItemText>) {
            key = text;
            return true;
        } else {
            return m_keys.of(text, scratch, key);
        }
    }
    static quint64 hashOf(ItemText text) { return hashText(text); }
    static quint64 hashOf(KeyView key) { return hashKey(key); }
    // Most entries are a few dozen Latin-1 bytes: compared a word at a time, the last word
    // overlapping the one before, without a call.
    static bool same(ItemText a, ItemText b) {
        const qsizetype size = a.size();
        if (size != b.size()) return false;
        if (a.isWide() || b.isWide() || size < 8 || size > 64) return a == b;
        const uchar* x = a.bytes();
        const uchar* y = b.bytes();
        for (qsizetype i = 0; i + 8 < size; i += 8) {
            if (ascii::wordAt(x + i) != ascii::wordAt(y + i)) return false;
        }
        return ascii::wordAt(x + size - 8) == ascii::wordAt(y + size - 8);
    }
    static bool same(KeyView a, KeyView b) { return sameKey(a, b); }

    template <typename Key>
    bool buildFrom(int which, int l, int from, int to, platform::Aside& aside) {
        return m_wide ? buildIn<Key>(m_wideSlots, which, l, from, to, aside)
                      : buildIn<Key>(m_narrowSlots, which, l, from, to, aside);
    }

    // Positions `from` to `to` of list `l`: a batch is hashed and its slots asked for first, so
    // that their loads overlap; a slot is taken by compare-and-swap, as the other thread may be
    // after it too, and a key two threads put in at once ends in one slot. Each entry marks its
    // key as its list's: an entry that finds the mark there already repeats an earlier one of
    // its list, whichever thread met that one.
    template <typename Key, typename Word>
    bool buildIn(list_store::FlatArray<Word>& slots, int which, int l, int from, int to,
                 platform::Aside& aside) {
        const ItemList& entries = list(l);
        const quint32 offset = l == 0 ? 0 : m_firstCount;
        const auto bit = quint8(1 << l);
        quint32* ids = m_ids[l].data();
        quint8* marks = m_marks[which].data();
        const quint32* exactIds = m_exact ? m_exact->m_ids[l].data() : nullptr;
        const qsizetype size = slots.size();
        // A scratch for each key of a batch, so that a batch's keys are made once and kept.
        QString keyScratch[kBatch];
        QString candidateScratch;
        int repeats = 0;
        for (int pieceFrom = from; pieceFrom <= to; pieceFrom += kPiece) {
            if (aside.stopRequested()) return false;
            const int pieceTo = std::min(to, pieceFrom + kPiece - 1);
            for (int position = pieceFrom; position <= pieceTo; position += kBatch) {
                const int batch = std::min(kBatch, pieceTo - position + 1);
                ItemText texts[kBatch];
                entries.textViews(position, {texts, size_t(batch)});
                quint64 hashes[kBatch];
                bool keyed[kBatch];
                Key keys[kBatch];
                // The keys in a loop of their own: a key read back at once, while its parts are
                // still on their way to memory, would wait for them.
                for (int k = 0; k < batch; ++k) {
                    if (exactIds) {
                        // Left to settle() (0), or with no key under either rules.
                        const quint32 first = exactIds[position + k];
                        if (first != offset + quint32(position + k)) {
                            keyed[k] = false;
                            ids[position + k] = first == kNone ? kNone : 0;
                            continue;
                        }
                    }
                    keyed[k] = keyOf(texts[k], keyScratch[k], keys[k]);
                    if (!keyed[k]) ids[position + k] = kNone;
                }
                for (int k = 0; k < batch; ++k) {
                    if (!keyed[k]) continue;
                    hashes[k] = hashOf(keys[k]);
                    prefetch(&slots[startSlot(hashes[k], size)]);
                }
                // The texts of likely matches next, before any of them is compared.
                for (int k = 0; k < batch; ++k) {
                    if (!keyed[k]) continue;
                    const Word word = std::atomic_ref<Word>(slots[startSlot(hashes[k], size)])
                                          .load(std::memory_order_relaxed);
                    if (idIn(word) != 0 && tagIn(word) == Layout<Word>::tagOf(hashes[k])) {
                        prefetch(textOf(idIn(word)).data());
                    }
                }
                for (int k = 0; k < batch; ++k) {
                    if (!keyed[k]) continue;
                    const Key& key = keys[k];
                    const quint32 own = offset + quint32(position + k);
                    const Word entry = Layout<Word>::tagOf(hashes[k]) | Word(own);
                    quint32 id = 0;
                    for (qsizetype s = startSlot(hashes[k], size);; s = nextSlot(s, size)) {
                        std::atomic_ref<Word> slot(slots[s]);
                        Word word = slot.load(std::memory_order_relaxed);
                        if (idIn(word) == 0) {
                            if (slot.compare_exchange_strong(word, entry,
                                                             std::memory_order_relaxed)) {
                                id = own;
                                break;
                            }
                            // The other thread took the slot first: `word` is what it put there.
                        }
                        Key held;
                        if (tagIn(word) == tagIn(entry) &&
                            keyOf(textOf(idIn(word)), candidateScratch, held) && same(held, key)) {
                            id = idIn(word);
                            break;
                        }
                    }
                    ids[position + k] = id;
                    if (exactIds) {
                        // The lists of all the entries with the first's key.
                        marks[id] |= m_exact->listsOf(own);
                        continue;
                    }
                    repeats += (marks[id] & bit) != 0;
                    marks[id] |= bit;
                }
            }
            aside.advance(pieceTo - pieceFrom + 1);
        }
        m_repeats[which][l] += repeats;
        return true;
    }

    const ItemList* m_lists[2];
    const Keys& m_keys;
    const quint32 m_firstCount;
    const KeySet* m_exact = nullptr;  // the set this one is built over, if any
    // Lists of fewer than 2^24 entries in all take 4-byte slots, longer ones 8-byte slots.
    bool m_wide = false;
    list_store::FlatArray<quint32> m_narrowSlots;
    list_store::FlatArray<quint64> m_wideSlots;
    list_store::FlatArray<quint8> m_marks[2];  // by id, for each thread: 1 List 1, 2 List 2
    list_store::FlatArray<quint32> m_ids[2];   // by position
    int m_repeats[2][2] = {};                  // by piece and list
    int m_overlaps[2][2] = {};                 // by piece of ids and list
};

// A set of key ids, beside a map of them: most ids asked about are not in the map, and a bit
// for each key answers those without a look-up in it.
class IdMarks {
public:
    explicit IdMarks(const KeySet& keys) : m_bits(keys.idLimit()) {}
    void mark(quint32 id) { m_bits.set(qsizetype(id)); }
    bool has(quint32 id) const { return m_bits.at(qsizetype(id)); }

private:
    Bits m_bits;
};

// Keys to look up in a KeySet together, each with a number of the caller's: once kBatch are
// there, found(number, id) is called for each in turn.
template <typename Found>
class FindBatch {
public:
    FindBatch(const KeySet& set, Found found) : m_set(set), m_found(std::move(found)) {}
    FindBatch(const FindBatch&) = delete;
    FindBatch& operator=(const FindBatch&) = delete;
    // Scratch for the next key to make, which then stays as it is until the batch is looked up.
    QString& scratch() { return m_scratch[m_count]; }
    void add(KeyView key, qint64 number) {
        m_keys[m_count] = key;
        m_numbers[m_count] = number;
        if (++m_count == size_t(kBatch)) flush();
    }
    // Looks up those added since the last batch.
    void flush() {
        if (m_count == 0) return;
        quint32 ids[kBatch];
        m_set.find({m_keys, m_count}, ids, m_findScratch);
        for (size_t k = 0; k < m_count; ++k) m_found(m_numbers[k], ids[k]);
        m_count = 0;
    }

private:
    const KeySet& m_set;
    Found m_found;
    KeyView m_keys[kBatch];
    qint64 m_numbers[kBatch];
    QString m_scratch[kBatch];
    QString m_findScratch;
    size_t m_count = 0;
};

// Entries of a list to read together, each with a number of the caller's: once kBatch are there,
// their texts are found and asked for at once, then take(position, number, text) is called for
// each in turn. Entries a rule could change stand far apart, and each would otherwise wait for
// where its text is and then for the text.
template <typename Take>
class TextBatch {
public:
    TextBatch(const ItemList& list, Take take) : m_list(list), m_take(std::move(take)) {}
    TextBatch(const TextBatch&) = delete;
    TextBatch& operator=(const TextBatch&) = delete;
    void add(int position, qint64 number = 0) {
        m_positions[m_count] = position;
        m_numbers[m_count] = number;
        if (++m_count == size_t(kBatch)) flush();
    }
    void flush() {
        ItemText texts[kBatch];
        for (size_t k = 0; k < m_count; ++k) {
            texts[k] = m_list.textView(m_positions[k]);
            prefetch(texts[k].data());
        }
        const size_t count = m_count;
        m_count = 0;
        for (size_t k = 0; k < count; ++k) m_take(m_positions[k], m_numbers[k], texts[k]);
    }

private:
    const ItemList& m_list;
    Take m_take;
    int m_positions[kBatch];
    qint64 m_numbers[kBatch];
    size_t m_count = 0;
};

// Values by key id, for the ids one row asks about: open addressing over pairs in one array, so
// that a look-up reads one place and an insertion allocates nothing of its own.
template <typename V>
class IdTable {
public:
    bool empty() const { return m_size == 0; }
    size_t size() const { return m_size; }
    // The id's value, `value` if the id was not there yet.
    V& emplace(quint32 id, V value = V()) {
        if (2 * (m_size + 1) > m_slots.size()) grow();
        Slot& slot = m_slots[slotOf(id)];
        if (slot.id == 0) {
            slot = {id, value};
            ++m_size;
        }
        return slot.value;
    }
    // Null when the id is not there.
    V* find(quint32 id) {
        if (m_slots.empty()) return nullptr;
        Slot& slot = m_slots[slotOf(id)];
        return slot.id == id ? &slot.value : nullptr;
    }
    const V* find(quint32 id) const { return const_cast<IdTable*>(this)->find(id); }
    template <typename F>
    void forEach(F&& f) const {
        for (const Slot& slot : m_slots) {
            if (slot.id != 0) f(slot.id, slot.value);
        }
    }

private:
    struct Slot {
        quint32 id = 0;  // ids are from 1
        V value{};
    };
    // Where the id is, or the empty slot where it would go.
    size_t slotOf(quint32 id) const {
        const size_t mask = m_slots.size() - 1;
        for (size_t s = size_t(mix(id)) & mask;; s = (s + 1) & mask) {
            if (m_slots[s].id == id || m_slots[s].id == 0) return s;
        }
    }
    void grow() {
        std::vector<Slot> old(std::max<size_t>(16, 2 * m_slots.size()));
        old.swap(m_slots);
        for (const Slot& slot : old) {
            if (slot.id != 0) m_slots[slotOf(slot.id)] = slot;
        }
    }

    std::vector<Slot> m_slots;
    size_t m_size = 0;
};

// Runs two pieces of work aside at once while this thread lets the window handle its events;
// false when the command was cancelled or the window closed meanwhile. The work is then asked
// to stop and awaited, so that nothing it reads goes away under it.
bool runBoth(const ComparisonEnvironment& env, qint64 total, qint64& doneBefore,
             const std::function<void(platform::Aside&)>& one,
             const std::function<void(platform::Aside&)>& other) {
    platform::Aside a(one);
    platform::Aside b(other);
    const auto between = [&] {
        if (env.pump.stopping()) {
            a.requestStop();
            b.requestStop();
            return;
        }
        env.pump.pumpAfterChunk();
        if (total > 0) {
            const qint64 done = std::min(total, doneBefore + a.done() + b.done());
            env.progress.setValue(double(done) / double(total) * 100.0);
        }
    };
    try {
        a.wait(between);
    } catch (...) {
        b.requestStop();
        throw;
    }
    b.wait(between);
    doneBefore += a.done() + b.done();
    return !a.stopRequested() && !b.stopRequested();
}

// Gives back what the comparison held on a thread aside: freeing hundreds of megabytes takes
// longer than the window may wait.
void releaseAside(const ComparisonEnvironment& env, std::unique_ptr<KeySet>& held) {
    if (!held) return;
    platform::Aside aside([&](platform::Aside&) { held.reset(); });
    aside.wait([&] {
        if (!env.pump.stopping()) env.pump.pumpAfterChunk();
    });
}

void countRegions(const KeySet& keys, int l, Comparison& result) {
    const int count = keys.list(l).count();
    std::vector<int>& only = l == 0 ? result.onlyFirst : result.onlySecond;
    std::vector<int>& both = l == 0 ? result.bothFirst : result.bothSecond;
    only.reserve(size_t(count));  // address space only: pages come as positions are stored
    both.reserve(size_t(count));
    const auto other = quint8(l == 0 ? 2 : 1);
    keys.forEachEntry(l, [&](int position, quint32 id) {
        (id != kNone && (keys.listsOf(id) & other) ? both : only).push_back(position);
    });
}

// Each rule a near miss can suggest, in the order of NearMissRule: the rules' switch it turns on,
// and its name.
struct SingleRule {
    NearMissRule rule;
    bool MatchRules::*flag;
    const char16_t* name;
};
constexpr SingleRule kSingleRules[] = {
    {NearMissRule::Trim, &MatchRules::trim, u"ignore surrounding spaces"},
    {NearMissRule::Spaces, &MatchRules::spaces, u"spaces alike"},
    {NearMissRule::Invisible, &MatchRules::invisible, u"ignore invisible characters"},
    {NearMissRule::Unicode, &MatchRules::unicode, u"same Unicode form"},
    {NearMissRule::Accents, &MatchRules::accents, u"ignore accents"},
    {NearMissRule::Case, &MatchRules::ignoreCase, u"ignore case"},
};

const SingleRule* singleRule(NearMissRule rule) {
    for (const SingleRule& single : kSingleRules) {
        if (single.rule == rule) return &single;
    }
    return nullptr;
}

bool isOn(const MatchRules& rules, NearMissRule rule) {
    // Accents imply the Unicode form.
    if (rule == NearMissRule::Unicode && rules.accents) return true;
    const SingleRule* single = singleRule(rule);
    return single && rules.*(single->flag);
}

// Positions of one list's entries whose keys under some rows' rules differ from their keys
// under the rules in force, with the first of them for each new key.
class PositionTable {
public:
    // `storesKeys`: each new key is kept, for keys dear to make that are compared often or
    // looked up later; else a key is made again from its entry when compared.
    PositionTable(const ItemList& list, const Keys& keys, qsizetype expected,
                  bool storesKeys = false)
        : m_list(list), m_keys(keys), m_storesKeys(storesKeys) {
        // Looked up all over, many times for each row: huge pages spare the address
        // translations, and the table is small enough for their zeroing not to count.
        m_table.reserve(expected, list_store::Pages::Huge);
        m_positions.reserve(size_t(expected));
    }
    bool isEmpty() const { return m_positions.empty(); }
    // The first position of each key, in the order added.
    const std::vector<int>& positions() const { return m_positions; }

    // True when the key is new.
    bool add(KeyView key, int position) { return add(key, hashKey(key), position); }
    bool add(KeyView key, quint64 hash, int position) {
        const auto fresh = quint32(m_positions.size());
        const quint32 id = m_table.insert(
            hash, fresh, [&](quint32 n) { return sameKey(keyAt(n), key); },
            [&](quint32 n) { return hashKey(keyAt(n)); });
        if (id != fresh) return false;
        m_positions.push_back(position);
        if (m_storesKeys) store(key);
        return true;
    }
    // Asks for the slot where a key's look-up starts, ahead of it.
    void prefetchFor(quint64 hash) const { prefetch(m_table.startOf(hash)); }
    // The first position with the key, or 0.
    int find(KeyView key, quint64 hash) {
        const quint32 id = m_table.find(hash, [&](quint32 n) { return sameKey(keyAt(n), key); });
        return id == kNone ? 0 : m_positions[id];
    }

    // The key of the n-th position.
    KeyView keyAt(quint32 n) {
        if (m_storesKeys) {
            const Stored& stored = m_stored[n];
            const char* at = m_keyBytes.data() + stored.offset;
            return {stored.wide ? ItemText(reinterpret_cast<const char16_t*>(at), stored.size)
                                : ItemText(at, stored.size),
                    stored.foldsCase};
        }
        KeyView key;
        m_keys.of(m_list.textView(m_positions[n]), m_scratch, key);
        return key;
    }

private:
    struct Stored {
        qsizetype offset;
        qsizetype size;
        bool wide;
        bool foldsCase;
    };
    void store(KeyView key) {
        const bool wide = key.text.isWide();
        // Two-byte units start at an even offset.
        if (wide && m_keyBytes.size() % 2 != 0) m_keyBytes.push_back(0);
        const auto offset = qsizetype(m_keyBytes.size());
        const auto* bytes = static_cast<const char*>(key.text.data());
        m_keyBytes.insert(m_keyBytes.end(), bytes, bytes + key.text.size() * (wide ? 2 : 1));
        m_stored.push_back({offset, key.text.size(), wide, key.foldsCase});
    }

    const ItemList& m_list;
    const Keys& m_keys;
    SlotTable m_table;
    std::vector<int> m_positions;
    QString m_scratch;
    bool m_storesKeys = false;
    std::vector<char> m_keyBytes;
    std::vector<Stored> m_stored;
};

// Whether an entry's key under other rules is its key under the rules in force.
bool sameKeys(bool hasA, KeyView a, bool hasB, KeyView b) {
    return hasA == hasB && (!hasA || sameKey(a, b));
}

// Which of the rules an entry's key could depend on, from its units alone: a rule whose bit is
// clear leaves the key as the rules in force make it, whatever else is on. White space is never
// made by the other steps (fields, invisibles, Unicode forms), nothing below U+0300 composes,
// nothing below U+00C0 has an accent, and only capitals and units beyond ASCII lower-case.
constexpr quint8 bitOf(NearMissRule rule) {
    return quint8(1U << unsigned(rule));
}

// `wholeEntries`: the rules in force key whole entries, not a field or a pattern's part.
quint8 rulesThatCouldChange(ItemText text, bool wholeEntries) {
    // Printable ASCII, eight bytes at a time: only capitals and spaces count. No rule in force
    // changes such a text before the spaces: trimming can change only an entry with a space at
    // an edge (a part of one may have it inside), and spaces alike only a run of two or more.
    if (!text.isWide() && text.size() >= 8) {
        const uchar* bytes = text.bytes();
        const qsizetype size = text.size();
        quint64 capitals = 0;
        bool spaces = false;
        bool printable = true;
        for (qsizetype i = 0; printable; i += 8) {
            // The last word overlaps some bytes already seen.
            const quint64 word = ascii::wordAt(bytes + std::min(i, size - 8));
            printable = ascii::isPrintable(word);
            capitals |= ascii::capitalsIn(word);
            spaces = spaces || ascii::hasSpace(word);
            if (i + 8 >= size) break;
        }
        if (printable) {
            quint8 bits = capitals ? bitOf(NearMissRule::Case) : 0;
            if (spaces) {
                const bool atEdge = bytes[0] == ' ' || bytes[size - 1] == ' ';
                if (atEdge || !wholeEntries) bits |= bitOf(NearMissRule::Trim);
                if (std::search_n(bytes, bytes + size, 2, uchar(' ')) != bytes + size) {
                    bits |= bitOf(NearMissRule::Spaces);
                }
            }
            return bits;
        }
    }
    return text.visit([](const auto* units, qsizetype size) {
        quint8 bits = 0;
        for (qsizetype i = 0; i < size; ++i) {
            const char16_t u = units[i];
            if (u < 0x80) {
                if (u >= u'A' && u <= u'Z') bits |= bitOf(NearMissRule::Case);
                if (u < 0x20 || u == 0x7F) {
                    bits |= u == u'\t' ? 0 : bitOf(NearMissRule::Invisible);
                    if (isWhiteSpace(u)) {
                        bits |= bitOf(NearMissRule::Trim) | bitOf(NearMissRule::Spaces);
                    }
                } else if (u == u' ') {
                    bits |= bitOf(NearMissRule::Trim) | bitOf(NearMissRule::Spaces);
                }
                continue;
            }
            bits |= bitOf(NearMissRule::Case);
            if (u >= 0xC0) bits |= bitOf(NearMissRule::Accents);
            if (u >= 0x300) bits |= bitOf(NearMissRule::Unicode);
            if (isWhiteSpace(u)) bits |= bitOf(NearMissRule::Trim) | bitOf(NearMissRule::Spaces);
            // Controls from U+0080, the soft hyphen, and format characters; a surrogate stands
            // for a character beyond the BMP, which may be one.
            if (u < 0xA0 || u == 0xAD ||
                (u >= 0x100 &&
                 (QChar::isSurrogate(u) || QChar::category(char32_t(u)) == QChar::Other_Format))) {
                bits |= bitOf(NearMissRule::Invisible);
            }
        }
        return bits;
    });
}

std::vector<quint8> changeFlags(const ItemList& list, bool wholeEntries, platform::Aside& aside) {
    const int count = list.count();
    std::vector<quint8> flags(size_t(count) + 1, 0);
    for (int from = 1; from <= count; from += kPiece) {
        if (aside.stopRequested()) break;
        const int to = std::min(count, from + kPiece - 1);
        for (int position = from; position <= to; ++position) {
            flags[size_t(position)] = rulesThatCouldChange(list.textView(position), wholeEntries);
        }
        aside.advance(to - from + 1);
    }
    return flags;
}

// Whether at least half the entries have a flag.
bool mostlyWith(const std::vector<quint8>& flags, quint8 bit) {
    const auto with = std::count_if(flags.begin() + 1, flags.end(),
                                    [bit](quint8 each) { return (each & bit) != 0; });
    return flags.size() > 1 && 2 * qsizetype(with) >= qsizetype(flags.size()) - 1;
}

// The near misses of the entries only in list `a` (`only`, rising) against list `b`, row by
// row: for each entry, the first row that matches it and the entry of `b` it matches then.
struct Direction {
    std::vector<signed char> firstRow;  // by index into `only`; -1 none
    std::vector<int> partner;
    std::vector<int> counts;           // by row
    std::vector<signed char> lastRow;  // by index into `only`: the last row that matched it
    // For the last row with the case keys: b's entries that a rule but the case could change,
    // by their keys under all rules, with the keys kept.
    std::unique_ptr<Keys> allKeys;
    std::unique_ptr<PositionTable> others;
    std::vector<quint32> othersIds;  // by key of `others`: its id in the case keys, or kNone
};

struct Row {
    MatchRules rules;
    quint8 bits;  // the rules it adds, as rulesThatCouldChange() gives them
};

quint8 otherBitsOf(const std::vector<Row>& rows) {
    return quint8(rows.back().bits & ~bitOf(NearMissRule::Case));
}

// Direction::others, made before the case keys are there: the last row's keys that need no
// case keys, most of its work, while the other thread may still be busy with its own rows.
void prepareLastRow(const KeySet& keys, int a, const std::vector<quint8> (&flags)[2],
                    const std::vector<Row>& rows, platform::Aside& aside, Direction& out) {
    const int b = 1 - a;
    const ItemList& listB = keys.list(b);
    const int countB = listB.count();
    const quint8 otherBits = otherBitsOf(rows);
    const auto flagged = std::count_if(flags[b].begin() + 1, flags[b].end(),
                                       [&](quint8 each) { return (each & otherBits) != 0; });
    out.allKeys = std::make_unique<Keys>(rows.back().rules);
    out.others = std::make_unique<PositionTable>(listB, *out.allKeys, flagged, true);
    QString scratch;
    TextBatch texts(listB, [&](int position, qint64, ItemText text) {
        KeyView key;
        if (out.allKeys->of(text, scratch, key)) out.others->add(key, position);
    });
    for (int position = 1; position <= countB; ++position) {
        if ((position & (kPiece - 1)) == 0 && aside.stopRequested()) return;
        if ((flags[b][size_t(position)] & otherBits) != 0) texts.add(position);
    }
    texts.flush();
    out.othersIds.assign(out.others->positions().size(), kNone);
}

// Direction::othersIds of both sides, once the case keys are in: pieces of both sides' keys
// taken in turn from `next`, as the other thread does, since one side may have many more.
void findOthersIds(const KeySet& caseSet, Direction& first, Direction& second,
                   std::atomic<qint64>& next, platform::Aside& aside) {
    Direction* const sides[2] = {&first, &second};
    const qint64 counts[2] = {qint64(first.othersIds.size()), qint64(second.othersIds.size())};
    const qint64 all = counts[0] + counts[1];
    constexpr qint64 kTaken = 1024;
    QString scratch;
    for (;;) {
        const qint64 begin = next.fetch_add(kTaken, std::memory_order_relaxed);
        if (begin >= all || aside.stopRequested()) return;
        const qint64 end = std::min(all, begin + kTaken);
        for (int d = 0; d < 2; ++d) {
            const qint64 offset = d == 0 ? 0 : counts[0];
            const qint64 to = std::min(end, offset + counts[d]) - offset;
            for (qint64 n = std::max(begin, offset) - offset; n < to; n += kBatch) {
                const auto batch = size_t(std::min(qint64(kBatch), to - n));
                KeyView keys[kBatch];
                for (size_t j = 0; j < batch; ++j)
                    keys[j] = sides[d]->others->keyAt(quint32(n) + quint32(j));
                caseSet.find({keys, batch}, &sides[d]->othersIds[size_t(n)], scratch);
            }
        }
    }
}

// The first of b's entries with a key (of the case keys), among those some rule but the case
// could change and among the others.
struct FirstsWith {
    int changing = 0;
    int keeping = 0;
};

// For each key id in `firsts`, its first entries of list `b` in the case keys.
void findFirsts(const KeySet& caseSet, int b, const std::vector<quint8>& flagsB, quint8 otherBits,
                const IdMarks& marks, IdTable<FirstsWith>& firsts) {
    if (firsts.empty()) return;
    caseSet.forEachEntry(b, [&](int position, quint32 id) {
        if (id == kNone || !marks.has(id)) return;
        FirstsWith& first = *firsts.find(id);
        int& slot = (flagsB[size_t(position)] & otherBits) != 0 ? first.changing : first.keeping;
        if (slot == 0) slot = position;
    });
}

// `caseSet`: with case and the last row among the rows, and most entries of some list with
// capitals, the keys of both lists under the rules in force and case.
// Rows `rowsFrom` to before `rowsTo`: the rows before them were done by an earlier call.
void findNearMisses(const KeySet& keys, const KeySet* caseSet, int a, const std::vector<int>& only,
                    const std::vector<quint8> (&flags)[2], const std::vector<Row>& rows,
                    size_t rowsFrom, size_t rowsTo, platform::Aside& aside, Direction& out) {
    const int b = 1 - a;
    const ItemList& listA = keys.list(a);
    const ItemList& listB = keys.list(b);
    const int countB = listB.count();
    if (rowsFrom == 0) {
        out.firstRow.assign(only.size(), -1);
        out.partner.assign(only.size(), 0);
        out.counts.assign(rows.size(), 0);
        out.lastRow.assign(only.size(), -1);
    }
    std::vector<signed char>& lastRow = out.lastRow;
    // How many of b's entries each row may change: room for them in its table at once. The
    // entries are counted by their flags, and the rows' counts summed from those.
    qsizetype withFlags[256] = {};
    for (size_t k = 1; k < flags[b].size(); ++k) ++withFlags[flags[b][k]];
    const auto flaggedWith = [&](quint8 bits) {
        qsizetype count = 0;
        for (int value = 1; value < 256; ++value)
            count += (value & bits) != 0 ? withFlags[value] : 0;
        return count;
    };
    std::vector<qsizetype> flaggedB(rows.size(), 0);
    for (size_t row = rowsFrom; row < rowsTo; ++row) flaggedB[row] = flaggedWith(rows[row].bits);
    const auto inA = quint8(a == 0 ? 1 : 2);
    const auto inB = quint8(b == 0 ? 1 : 2);
    QString scratch;
    QString baseScratch;
    // With the case keys of both lists at hand, the case row reads its matches off their ids,
    // and the last row (all rules) starts from them: an entry that no other rule could change
    // has its case key under all of them, so only the entries some other rule could change need
    // keys and a table of their own.
    const auto caseAt = std::find_if(rows.begin(), rows.end(), [](const Row& row) {
        return row.bits == bitOf(NearMissRule::Case);
    });
    const bool hasAllRow = rows.size() > 1;
    const quint8 otherBits = hasAllRow ? otherBitsOf(rows) : 0;
    const size_t caseRow = caseAt != rows.end() ? size_t(caseAt - rows.begin()) : rows.size();
    // The entries that surely keep their keys, for each row in turn: one buffer, so that its
    // pages are not asked for again and again.
    std::vector<size_t> keeping;
    for (size_t row = rowsFrom; row < rowsTo; ++row) {
        const Keys rowKeys(rows[row].rules);
        const quint8 bits = rows[row].bits;
        const auto matched = [&](size_t k, int partner) {
            if (lastRow[k] == static_cast<signed char>(row)) return;
            lastRow[k] = static_cast<signed char>(row);
            ++out.counts[row];
            if (out.firstRow[k] < 0) {
                out.firstRow[k] = static_cast<signed char>(row);
                out.partner[k] = partner;
            }
        };
        if (caseSet && row == caseRow) {
            // An entry matches when b has its case key; it pairs with b's first entry with that
            // key that another rule could change, else with b's first.
            IdTable<FirstsWith> firsts;
            IdMarks marks(*caseSet);
            std::vector<std::pair<size_t, quint32>> hits;  // index into `only`, key id
            for (size_t k = 0; k < only.size(); ++k) {
                if ((k & (kPiece - 1)) == 0 && aside.stopRequested()) return;
                const quint32 id = caseSet->idOf(a, only[k]);
                if (id == kNone || (caseSet->listsOf(id) & inB) == 0) continue;
                hits.emplace_back(k, id);
                if (!marks.has(id)) {
                    marks.mark(id);
                    firsts.emplace(id);
                }
            }
            findFirsts(*caseSet, b, flags[b], otherBits, marks, firsts);
            for (const auto& [k, id] : hits) {
                const FirstsWith& first = *firsts.find(id);
                matched(k, first.changing != 0 ? first.changing : first.keeping);
            }
            aside.advance(qint64(only.size()) + countB);
            continue;
        }
        if (caseSet && row + 1 == rows.size()) {
            // Which case keys of a the keys of b's entries that another rule could change are, as
            // each is first met: an entry of a that keeps its case key under all rules pairs with
            // the first of b's entries with it.
            PositionTable& others = *out.others;
            IdTable<int> toOthers;  // case key id -> entry of b
            IdMarks othersMarks(*caseSet);
            for (size_t n = 0; n < others.positions().size(); ++n) {
                const quint32 id = out.othersIds[n];
                if (id != kNone && (caseSet->listsOf(id) & inA) != 0) {
                    toOthers.emplace(id, others.positions()[n]);
                    othersMarks.mark(id);
                }
            }
            // An entry that another rule could change pairs with one of b's such entries, else
            // with b's first entry that no other rule could change whose case key is its key.
            IdTable<FirstsWith> firsts;
            IdMarks wantedMarks(*caseSet);
            std::vector<std::pair<size_t, quint32>> wanting;  // index into `only`, key id
            FindBatch wantedIds(*caseSet, [&](qint64 k, quint32 id) {
                if (id == kNone || (caseSet->listsOf(id) & inB) == 0) return;
                wanting.emplace_back(size_t(k), id);
                if (!wantedMarks.has(id)) {
                    wantedMarks.mark(id);
                    firsts.emplace(id);
                }
            });
            TextBatch wantedTexts(listA, [&](int, qint64 k, ItemText text) {
                KeyView key;
                if (!rowKeys.of(text, wantedIds.scratch(), key)) return;
                if (const int partner = others.find(key, hashKey(key))) {
                    matched(size_t(k), partner);
                    return;
                }
                wantedIds.add(key, k);
            });
            // Only entries that no single rule matched count here.
            for (size_t k = 0; k < only.size(); ++k) {
                if ((k & (kPiece - 1)) == 0 && aside.stopRequested()) return;
                if (out.firstRow[k] >= 0) continue;
                if ((flags[a][size_t(only[k])] & otherBits) == 0) {
                    const quint32 id = caseSet->idOf(a, only[k]);
                    if (id == kNone || !othersMarks.has(id)) continue;
                    if (const int* found = toOthers.find(id)) matched(k, *found);
                    continue;
                }
                wantedTexts.add(only[k], qint64(k));
            }
            wantedTexts.flush();
            wantedIds.flush();
            findFirsts(*caseSet, b, flags[b], otherBits, wantedMarks, firsts);
            for (const auto& [k, id] : wanting) {
                if (const int partner = firsts.find(id)->keeping) matched(k, partner);
            }
            continue;
        }
        // List b's entries whose keys change under this row's rules: at most those flagged.
        // When the row may change most of them (ignoring case, on lists of mixed case), the
        // table takes every entry of b instead, and a look-up in it answers for every entry.
        const bool complete = 2 * flaggedB[row] >= countB;
        Bits changedB(countB + 1);
        PositionTable changed(listB, rowKeys, complete ? countB : flaggedB[row]);
        TextBatch flaggedTexts(listB, [&](int position, qint64, ItemText text) {
            KeyView key;
            KeyView base;
            const bool has = rowKeys.of(text, scratch, key);
            const bool hasBase = keys.keys().of(text, baseScratch, base);
            if (sameKeys(has, key, hasBase, base)) return;
            changedB.set(position);
            if (has) changed.add(key, position);
        });
        for (int from = 1; from <= countB; from += kPiece) {
            if (aside.stopRequested()) return;
            const int to = std::min(countB, from + kPiece - 1);
            // Every entry goes in: a batch is hashed first and its slots asked for, so that
            // their loads overlap.
            for (int position = from; complete && position <= to; position += kBatch) {
                const int batch = std::min(kBatch, to - position + 1);
                quint64 hashes[kBatch];
                bool keyed[kBatch];
                for (int k = 0; k < batch; ++k) {
                    KeyView key;
                    keyed[k] = rowKeys.of(listB.textView(position + k), scratch, key);
                    if (!keyed[k]) continue;
                    hashes[k] = hashKey(key);
                    changed.prefetchFor(hashes[k]);
                }
                for (int k = 0; k < batch; ++k) {
                    if (!keyed[k]) continue;
                    KeyView key;
                    rowKeys.of(listB.textView(position + k), scratch, key);
                    changed.add(key, hashes[k], position + k);
                }
            }
            for (int position = from; !complete && position <= to; ++position) {
                if ((flags[b][size_t(position)] & bits) != 0) flaggedTexts.add(position);
            }
            aside.advance(to - from + 1);
        }
        flaggedTexts.flush();

        // An entry whose key changes may match one whose key changes too (looked up here) or one
        // that keeps its key (found by key id below).
        IdTable<int> unchangedWith;                       // key id -> first such entry of b
        std::vector<std::pair<size_t, quint32>> wanting;  // index into `only`, key id
        keeping.clear();
        // Every entry is looked up, in batches as above.
        for (size_t k = 0; complete && k < only.size(); k += kBatch) {
            if ((k & (kPiece - 1)) == 0) {
                if (aside.stopRequested()) return;
                aside.advance(kPiece);
            }
            const size_t batch = std::min(size_t(kBatch), only.size() - k);
            quint64 hashes[kBatch];
            bool keyed[kBatch];
            for (size_t j = 0; j < batch; ++j) {
                KeyView key;
                keyed[j] = rowKeys.of(listA.textView(only[k + j]), scratch, key);
                if (!keyed[j]) continue;
                hashes[j] = hashKey(key);
                changed.prefetchFor(hashes[j]);
            }
            for (size_t j = 0; j < batch; ++j) {
                if (!keyed[j]) continue;
                KeyView key;
                rowKeys.of(listA.textView(only[k + j]), scratch, key);
                if (const int partner = changed.find(key, hashes[j])) matched(k + j, partner);
            }
        }
        FindBatch wanted(keys, [&](qint64 k, quint32 id) {
            if (id != kNone && (keys.listsOf(id) & inB)) {
                wanting.emplace_back(size_t(k), id);
                unchangedWith.emplace(id, 0);
            }
        });
        TextBatch wantedTexts(listA, [&](int, qint64 k, ItemText text) {
            KeyView key;
            KeyView base;
            const bool has = rowKeys.of(text, wanted.scratch(), key);
            if (!has) return;
            const bool hasBase = keys.keys().of(text, baseScratch, base);
            const bool keeps = sameKeys(has, key, hasBase, base);
            if (keeps && changed.isEmpty()) return;
            const int partner = changed.isEmpty() ? 0 : changed.find(key, hashKey(key));
            if (partner != 0) {
                matched(size_t(k), partner);
            } else if (!keeps) {
                wanted.add(key, k);
            }
        });
        for (size_t k = 0; !complete && k < only.size(); ++k) {
            if ((k & (kPiece - 1)) == 0) {
                if (aside.stopRequested()) return;
                aside.advance(kPiece);
            }
            if ((flags[a][size_t(only[k])] & bits) == 0) {
                if (!changed.isEmpty()) keeping.push_back(k);
                continue;
            }
            wantedTexts.add(only[k], qint64(k));
        }
        wantedTexts.flush();
        wanted.flush();
        // An entry that keeps its key can only match one whose key changes: either each is
        // looked up among the changed keys, or (when they are many more) each changed key among
        // the keys in force, and the entries with such a key are found by a pass over the ids.
        if (!keeping.empty() && keeping.size() <= 4 * changed.positions().size()) {
            for (const size_t k : keeping) {
                KeyView key;
                if (!keys.keys().of(listA.textView(only[k]), scratch, key)) continue;
                if (const int partner = changed.find(key, hashKey(key))) matched(k, partner);
            }
        } else if (!keeping.empty()) {
            IdTable<int> changedTo;  // key id in a alone -> entry of b
            FindBatch changedIds(keys, [&](qint64 position, quint32 id) {
                if (id != kNone && keys.listsOf(id) == inA) changedTo.emplace(id, int(position));
            });
            TextBatch changedTexts(listB, [&](int position, qint64, ItemText text) {
                KeyView key;
                rowKeys.of(text, changedIds.scratch(), key);
                changedIds.add(key, position);
            });
            for (const int position : changed.positions()) changedTexts.add(position);
            changedTexts.flush();
            changedIds.flush();
            if (!changedTo.empty()) {
                IdMarks marks(keys);
                changedTo.forEach([&](quint32 id, int) { marks.mark(id); });
                // Such keys are a's alone, so their entries are all in `only`: the entries come
                // in rising order, and so does where they stand in it.
                size_t at = 0;
                keys.forEachEntry(a, [&](int position, quint32 id) {
                    if (id == kNone || !marks.has(id) || (flags[a][size_t(position)] & bits) != 0) {
                        return;
                    }
                    const int* found = changedTo.find(id);
                    if (!found) return;
                    while (only[at] < position) ++at;
                    matched(at, *found);
                });
            }
        }
        if (!wanting.empty()) {
            size_t left = unchangedWith.size();
            IdMarks marks(keys);
            unchangedWith.forEach([&](quint32 id, int) { marks.mark(id); });
            keys.forEachEntry(b, [&](int position, quint32 id) {
                if (left == 0 || id == kNone || !marks.has(id) || changedB.at(position)) return;
                int* found = unchangedWith.find(id);
                if (!found || *found != 0) return;
                *found = position;
                --left;
            });
            for (const auto& [k, id] : wanting) {
                if (const int partner = *unchangedWith.find(id)) matched(k, partner);
            }
        }
    }
}

NearMisses gatherNearMisses(const std::vector<NearMissRule>& rules, bool hasAllRow,
                            const Comparison& result, const Direction& fromFirst,
                            const Direction& fromSecond) {
    NearMisses misses;
    const size_t singles = hasAllRow ? rules.size() - 1 : rules.size();
    for (size_t row = 0; row < rules.size(); ++row) {
        NearMissRow line;
        line.rule = rules[row];
        if (row < singles) {
            line.first = fromFirst.counts[row];
            line.second = fromSecond.counts[row];
        } else {
            // Those that no single rule matched.
            line.first = int(std::count(fromFirst.firstRow.begin(), fromFirst.firstRow.end(),
                                        static_cast<signed char>(row)));
            line.second = int(std::count(fromSecond.firstRow.begin(), fromSecond.firstRow.end(),
                                         static_cast<signed char>(row)));
        }
        misses.rows.push_back(line);
    }
    std::vector<NearMissPair> pairs;
    for (size_t k = 0; k < result.onlyFirst.size(); ++k) {
        if (fromFirst.firstRow[k] >= 0) {
            pairs.push_back({fromFirst.firstRow[k], result.onlyFirst[k], fromFirst.partner[k]});
        }
    }
    for (size_t k = 0; k < result.onlySecond.size(); ++k) {
        if (fromSecond.firstRow[k] >= 0) {
            pairs.push_back({fromSecond.firstRow[k], fromSecond.partner[k], result.onlySecond[k]});
        }
    }
    const auto before = [](const NearMissPair& x, const NearMissPair& y) {
        return std::tie(x.first, x.second, x.row) < std::tie(y.first, y.second, y.row);
    };
    // A pair is found at most twice, once from each side, so the first kMostPairs distinct pairs
    // lie among the first twice as many: only those are sorted, not millions on the window's turn.
    const size_t candidates = 2 * size_t(NearMisses::kMostPairs);
    if (pairs.size() > candidates) {
        std::nth_element(pairs.begin(), pairs.begin() + qsizetype(candidates), pairs.end(), before);
        pairs.resize(candidates);
    }
    std::sort(pairs.begin(), pairs.end(), before);
    // A pair found from both sides has the same first row on both.
    pairs.erase(std::unique(pairs.begin(), pairs.end(),
                            [](const NearMissPair& x, const NearMissPair& y) {
                                return x.first == y.first && x.second == y.second;
                            }),
                pairs.end());
    if (pairs.size() > size_t(NearMisses::kMostPairs)) pairs.resize(NearMisses::kMostPairs);
    misses.pairs = std::move(pairs);
    return misses;
}

}  // namespace

QString nearMissRuleName(NearMissRule rule) {
    const SingleRule* single = singleRule(rule);
    return single ? QString::fromUtf16(single->name) : u"all these rules together"_s;
}

MatchRules withRule(MatchRules rules, NearMissRule rule) {
    if (const SingleRule* single = singleRule(rule)) {
        rules.*(single->flag) = true;
    } else {
        for (const SingleRule& each : kSingleRules) rules.*(each.flag) = true;
    }
    return rules;
}

std::optional<Comparison> CompareLists(const ComparisonEnvironment& env, const ItemList& first,
                                       const ItemList& second, const MatchRules& rules,
                                       bool nearMisses) {
    platform::Steps step(env.report, kLocation, &env.pump, platform::Steps::Work::Long);
    const Keys keys(rules);
    if (!keys.isValid()) {
        step(100, [] {
            throw platform::Failure(
                u"The matching rules cannot make keys (field number or pattern), so the lists "
                u"were not compared"_s);
        });
        return std::nullopt;
    }
    std::vector<NearMissRule> rowRules;
    if (nearMisses) {
        for (const SingleRule& single : kSingleRules) {
            if (!isOn(rules, single.rule)) rowRules.push_back(single.rule);
        }
        if (rowRules.size() > 1) rowRules.push_back(NearMissRule::All);
    }
    const bool hasAllRow = rowRules.size() > 1;

    std::optional<Comparison> outcome;
    std::unique_ptr<KeySet> keySet;
    std::unique_ptr<Keys> caseKeys;
    std::unique_ptr<KeySet> caseSet;
    step(102, [&] {
        Comparison result;
        result.firstItems = first.count();
        result.secondItems = second.count();
        const qint64 entries = qint64(result.firstItems) + result.secondItems;
        const qint64 total =
            2 * entries + (nearMisses ? qint64(rowRules.size()) * entries * 3 / 2 : 0);
        qint64 done = 0;
        keySet = std::make_unique<KeySet>(first, second, keys);
        KeySet& set = *keySet;
        if (!runBoth(
                env, total, done, [&](platform::Aside& self) { set.build(0, self); },
                [&](platform::Aside& self) { set.build(1, self); })) {
            return;
        }
        // How many keys are in each set of lists: 1 List 1 alone, 2 List 2 alone, 3 both.
        qint64 keyCounts[2][4] = {};
        if (!runBoth(
                env, total, done, [&](platform::Aside&) { set.settle(0, keyCounts[0]); },
                [&](platform::Aside&) { set.settle(1, keyCounts[1]); })) {
            return;
        }
        result.firstRepeats = set.repeats(0);
        result.secondRepeats = set.repeats(1);
        const auto regions = [&](int l, platform::Aside& self) {
            if (l == 0) {
                set.releaseSecondMarks();
                if (!nearMisses) set.releaseTable();
            }
            countRegions(set, l, result);
            self.advance(l == 0 ? result.firstItems : result.secondItems);
        };
        if (!runBoth(
                env, total, done, [&](platform::Aside& self) { regions(0, self); },
                [&](platform::Aside& self) { regions(1, self); })) {
            return;
        }
        for (const auto& counts : keyCounts) {
            result.onlyFirstKeys += counts[1];
            result.onlySecondKeys += counts[2];
            result.bothKeys += counts[3];
        }
        if (nearMisses) {
            std::vector<Row> rows;
            rows.reserve(rowRules.size());
            quint8 allBits = 0;
            for (const NearMissRule rule : rowRules) {
                rows.push_back({withRule(rules, rule), bitOf(rule)});
                if (rule != NearMissRule::All) allBits |= bitOf(rule);
            }
            if (hasAllRow) rows.back().bits = allBits;
            const bool whole = rules.compareBy == CompareBy::WholeEntry;
            std::vector<quint8> flags[2];
            if (!runBoth(
                    env, total, done,
                    [&](platform::Aside& self) { flags[0] = changeFlags(first, whole, self); },
                    [&](platform::Aside& self) { flags[1] = changeFlags(second, whole, self); })) {
                return;
            }
            // With case and the last row among the rows, on lists mostly of mixed case, the case
            // keys of both lists: one table that both threads fill answers the case row and
            // most of the last row, where each side would otherwise key the other's every entry.
            // The rows before the case row need no such table: each thread does its side's, then
            // takes pieces of the table's entries while there are any, so that the side with
            // less to do puts in more.
            const auto caseAt = std::find(rowRules.begin(), rowRules.end(), NearMissRule::Case);
            const size_t caseRow = size_t(caseAt - rowRules.begin());
            if (hasAllRow && caseAt != rowRules.end() &&
                (mostlyWith(flags[0], bitOf(NearMissRule::Case)) ||
                 mostlyWith(flags[1], bitOf(NearMissRule::Case)))) {
                caseKeys = std::make_unique<Keys>(rows[caseRow].rules);
                caseSet = std::make_unique<KeySet>(set, *caseKeys);
            }
            const size_t before = caseSet ? caseRow : rows.size();
            std::atomic<qint64> nextPiece{0};
            Direction fromFirst;
            Direction fromSecond;
            const auto side = [&](int a, platform::Aside& self) {
                if (caseSet) caseSet->touch(a);
                findNearMisses(set, nullptr, a, a == 0 ? result.onlyFirst : result.onlySecond,
                               flags, rows, 0, before, self, a == 0 ? fromFirst : fromSecond);
                if (!caseSet || self.stopRequested()) return;
                prepareLastRow(set, a, flags, rows, self, a == 0 ? fromFirst : fromSecond);
                if (!self.stopRequested()) caseSet->buildTaking(a, nextPiece, self);
            };
            if (!runBoth(
                    env, total, done, [&](platform::Aside& self) { side(0, self); },
                    [&](platform::Aside& self) { side(1, self); })) {
                return;
            }
            if (caseSet) {
                KeySet& cases = *caseSet;
                qint64 unused[2][4] = {};
                // The look-ups read only the table, which settling leaves alone.
                std::atomic<qint64> nextKeys{0};
                const auto settle = [&](int which, platform::Aside& self) {
                    cases.settle(which, unused[which]);
                    findOthersIds(cases, fromFirst, fromSecond, nextKeys, self);
                };
                if (!runBoth(
                        env, total, done, [&](platform::Aside& self) { settle(0, self); },
                        [&](platform::Aside& self) { settle(1, self); })) {
                    return;
                }
                if (!runBoth(
                        env, total, done,
                        [&](platform::Aside& self) {
                            cases.releaseSecondMarks();  // read by neither side
                            findNearMisses(set, &cases, 0, result.onlyFirst, flags, rows, before,
                                           rows.size(), self, fromFirst);
                        },
                        [&](platform::Aside& self) {
                            findNearMisses(set, &cases, 1, result.onlySecond, flags, rows, before,
                                           rows.size(), self, fromSecond);
                        })) {
                    return;
                }
            }
            // Millions of candidates are ordered, and the searches' arrays given back, aside.
            platform::Aside gathering([&](platform::Aside&) {
                result.nearMisses =
                    gatherNearMisses(rowRules, hasAllRow, result, fromFirst, fromSecond);
                fromFirst = {};
                fromSecond = {};
                for (std::vector<quint8>& each : flags) each = {};
            });
            gathering.wait([&] {
                if (!env.pump.stopping()) env.pump.pumpAfterChunk();
            });
        }
        outcome = std::move(result);
    });
    releaseAside(env, keySet);
    releaseAside(env, caseSet);
    step(104, [&] { env.progress.setValue(0); });
    if (env.pump.stopping()) return std::nullopt;
    return outcome;
}

namespace {

QString token(char32_t c) {
    return u"⟨U+"_s + QString::number(uint(c), 16).toUpper().rightJustified(4, u'0') + u"⟩"_s;
}

bool needsToken(char32_t c) {
    if (c != 0x20 && isWhiteSpace(c)) return true;
    switch (QChar::category(c)) {
        case QChar::Other_Format:
        case QChar::Other_Control:
        case QChar::Mark_NonSpacing:
        case QChar::Mark_SpacingCombining:
        case QChar::Mark_Enclosing:
            return true;
        default:
            return false;
    }
}

// The code points of a text with where each begins.
struct CodePoint {
    char32_t value;
    qsizetype at;
    qsizetype size;
};

std::vector<CodePoint> codePoints(QStringView text) {
    std::vector<CodePoint> points;
    for (qsizetype i = 0; i < text.size();) {
        const QChar unit = text.at(i);
        if (unit.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            points.push_back({QChar::surrogateToUcs4(unit, text.at(i + 1)), i, 2});
            i += 2;
        } else {
            points.push_back({unit.unicode(), i, 1});
            ++i;
        }
    }
    return points;
}

// The text made visible, with `marked` code points (by index) between the case marks.
QString render(QStringView text, const std::vector<CodePoint>& points,
               const std::vector<bool>& marked) {
    qsizetype lead = 0;
    while (lead < qsizetype(points.size()) && points[size_t(lead)].value == 0x20) ++lead;
    qsizetype trail = qsizetype(points.size());
    while (trail > lead && points[size_t(trail - 1)].value == 0x20) --trail;
    QString out;
    out.reserve(text.size() + 8);
    for (qsizetype k = 0; k < qsizetype(points.size()); ++k) {
        const CodePoint& point = points[size_t(k)];
        if (point.value == 0x20 && (k < lead || k >= trail)) {
            out.append(u'␣');
        } else if (needsToken(point.value)) {
            out.append(token(point.value));
        } else if (!marked.empty() && marked[size_t(k)]) {
            out.append(u'⟦');
            out.append(text.mid(point.at, point.size));
            out.append(u'⟧');
        } else {
            out.append(text.mid(point.at, point.size));
        }
    }
    return out;
}

bool caseOnly(const CodePoint& a, const CodePoint& b) {
    return a.value != b.value && QChar::toCaseFolded(a.value) == QChar::toCaseFolded(b.value);
}

bool sameAsideCase(const CodePoint& a, const CodePoint& b) {
    return QChar::toCaseFolded(a.value) == QChar::toCaseFolded(b.value);
}

}  // namespace

QString visibleText(QStringView text) {
    return render(text, codePoints(text), {});
}

VisiblePair visiblePair(QStringView first, QStringView second) {
    const std::vector<CodePoint> a = codePoints(first);
    const std::vector<CodePoint> b = codePoints(second);
    std::vector<bool> markA(a.size(), false);
    std::vector<bool> markB(b.size(), false);
    size_t front = 0;
    for (; front < a.size() && front < b.size() && sameAsideCase(a[front], b[front]); ++front) {
        if (caseOnly(a[front], b[front])) markA[front] = markB[front] = true;
    }
    for (size_t back = 1; back <= a.size() - front && back <= b.size() - front &&
                          sameAsideCase(a[a.size() - back], b[b.size() - back]);
         ++back) {
        if (caseOnly(a[a.size() - back], b[b.size() - back])) {
            markA[a.size() - back] = markB[b.size() - back] = true;
        }
    }
    return {render(first, a, markA), render(second, b, markB)};
}

}  // namespace List
