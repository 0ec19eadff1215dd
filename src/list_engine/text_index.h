#pragma once

#include <QString>
#include <QStringView>
#include <QtGlobal>
#include <span>
#include <utility>
#include <vector>

#include "list_engine/match_rules.h"
#include "list_store/flat_array.h"
#include "list_store/item_list.h"
#include "list_store/item_text.h"
#include "platform/event_pump.h"

namespace List {

// Lower-cases a text exactly as QString::toLower does. Texts of ASCII code units only are mapped
// in place in `scratch` without a call into the Unicode tables; a text without capitals is
// returned as it is. The result stays valid until `scratch` is next used, and may be in either
// form.
list_store::ItemText lowerCased(list_store::ItemText text, QString& scratch);

// Whether lower-casing `text` as lowerCased() does gives `loweredKey`; `scratch` is written only
// for a text beyond ASCII, and must not be what `loweredKey` views.
bool equalsWhenLowered(list_store::ItemText text, list_store::ItemText loweredKey,
                       QString& scratch);

// A 64-bit hash of a text, the same for both of its forms.
quint64 hashText(list_store::ItemText text);

// The hash and the equality of keys, whatever their forms: a folded key hashes and compares as
// the lower-cased text it stands for. Inline, so that exact keys cost what their texts do.
quint64 hashFoldedKey(list_store::ItemText asciiText);
bool sameFoldedKey(KeyView a, KeyView b);
inline quint64 hashKey(KeyView key) {
    return key.foldsCase ? hashFoldedKey(key.text) : hashText(key.text);
}
inline bool sameKey(KeyView a, KeyView b) {
    return a.foldsCase || b.foldsCase ? sameFoldedKey(a, b) : a.text == b.text;
}

// The set of distinct texts of one list, keyed by the exact text, the lower-cased text or the
// key that matching rules make (items without a key are left out: they match nothing).
// It stores item positions and hashes only; texts are read from the list when a candidate has
// to be confirmed. It notices when the list has changed and brings itself up to date before the
// next look-up: appended items are added, anything else rebuilds it.
class TextIndex {
public:
    enum class Keys { Exact, LowerCase, Rules };

    TextIndex(const list_store::ItemList& list, Keys keys, platform::EventPump& pump);
    // Keyed by `rules`, which must outlive the index.
    TextIndex(const list_store::ItemList& list, const KeyMaker& rules, platform::EventPump& pump);
    TextIndex(const TextIndex&) = delete;
    TextIndex& operator=(const TextIndex&) = delete;

    // True when the index reflects the list as it is now.
    bool isCurrent() const;
    // Gives back the memory of the table; the next update() builds it again.
    void release();
    // The memory the table takes.
    size_t tableBytes() const {
        return m_narrowSlots.allocatedBytes() + m_wideSlots.allocatedBytes();
    }
    // Indexes what is not yet indexed. Pending events are processed while it works; if they
    // change the list, the index catches up before it returns, unless the window is closing or
    // the command was cancelled.
    void update();
    // Indexes positions `first` to `last` without processing events; they must follow directly
    // on the positions indexed already, the first call starting at 1. Appends to `repeats`, in
    // rising order, each position whose key an earlier item has. Throws Failure when items have
    // been removed from the list since indexing began.
    void addNotingRepeats(int first, int last, std::vector<int>& repeats);

    // Whether some item's key equals the key of `text`. Call update() first; this never
    // processes events, so `text` may be a view into a list.
    bool contains(list_store::ItemText text) const;

    // contains() for each of a few texts at once (at most kMostAtOnce): the memory loads of the
    // look-ups overlap instead of waiting one after another.
    static constexpr int kMostAtOnce = 256;
    void containsEach(std::span<const list_store::ItemText> texts, bool* found) const;

    // Room for the lowered keys of look-ups. Look-ups on other threads bring their own, and may
    // run at the same time as each other, as long as nothing changes the index or its list.
    struct Scratch {
        QString key;
        QString candidate;
        QString batchKeys[kMostAtOnce];
    };
    void containsEach(std::span<const list_store::ItemText> texts, bool* found,
                      Scratch& scratch) const;

private:
    // A slot is one word: the item's position in the low bits (0 marks an empty slot) and bits
    // of the key's hash above them. Lists of fewer than 2^24 items take 4-byte slots, which
    // halves the table and with it the cache misses of every look-up; longer ones 8-byte slots.
    static constexpr qsizetype kMostNarrowPositions = (qsizetype(1) << 24) - 1;

    void clear();
    void reserveFor(qsizetype items);
    void begin();
    bool indexFrom(int firstPosition);  // false when the list changed under it
    bool indexShared(int first, int last);
    // Indexes a batch alongside another thread; returns how many keys it added.
    template <typename Key, typename Word>
    qsizetype indexBatchShared(list_store::FlatArray<Word>& slots, int position, int batch,
                               QString& keyScratch, QString& candidateScratch) const;
    void indexBatch(int position, int batch, std::vector<int>* repeats);
    template <typename Key>
    void indexBatchOf(int position, int batch, std::vector<int>* repeats);
    void grow();
    void widen();
    bool isCrowdedWith(qsizetype used) const;
    qsizetype tableSize() const;
    // With rules, an item may have no key: hasKey() tells.
    // Inline, so that the exact path costs what it did before keys had other forms.
    KeyView keyOf(list_store::ItemText text, QString& scratch) const {
        return m_keys == Keys::Exact ? KeyView{text} : keyOfBeyondExact(text, scratch);
    }
    KeyView keyOfBeyondExact(list_store::ItemText text, QString& scratch) const;
    static bool hasKey(KeyView key) { return key.text.data() != &kNoKey; }
    // The loops over items are compiled for two kinds of key: the texts themselves when the
    // keys are exact, so that the exact path carries no flag and no test, else key views.
    bool hasExactKeys() const {
        return m_keys == Keys::Exact || (m_keys == Keys::Rules && !m_rules);
    }
    template <typename Key>
    Key keyAs(list_store::ItemText text, QString& scratch) const;
    static bool hasKey(list_store::ItemText) { return true; }
    // Stands for the key of an item that has none; only its address counts.
    static const char kNoKey;
    quint64 hashOf(list_store::ItemText text, QString& scratch) const;
    bool sameKey(int position, KeyView key, QString& scratch) const;
    bool sameKey(int position, list_store::ItemText key, QString&) const {
        return m_list.textView(position) == key;
    }
    // False when an item with the same key is there already.
    template <typename Key, typename Word>
    bool insert(list_store::FlatArray<Word>& slots, int position, quint64 hash);
    template <typename From, typename To>
    void moveEntries(const list_store::FlatArray<From>& from, list_store::FlatArray<To>& to);
    template <typename Key, typename Word>
    bool probeFrom(const list_store::FlatArray<Word>& slots, qsizetype slot, quint64 hash, Key key,
                   QString& scratch) const;
    template <typename Key, typename Word>
    void containsEachIn(const list_store::FlatArray<Word>& slotWords,
                        std::span<const list_store::ItemText> texts, bool* found,
                        Scratch& scratch) const;

    const list_store::ItemList& m_list;
    const Keys m_keys;
    const KeyMaker* const m_rules = nullptr;
    platform::EventPump& m_pump;

    // Open addressing with linear probing; one of the two is in use.
    list_store::FlatArray<quint32> m_narrowSlots;
    list_store::FlatArray<quint64> m_wideSlots;
    bool m_wide = false;
    qsizetype m_used = 0;
    int m_indexedCount = 0;  // positions 1 to this are in the table
    bool m_started = false;  // the table holds a prefix of the list
    bool m_synced = false;   // ... and that prefix was the whole list at m_changeGeneration
    quint64 m_changeGeneration = 0;
    quint64 m_removalGeneration = 0;
    QString m_keyScratch;             // for indexing
    mutable Scratch m_lookUpScratch;  // for look-ups on the index's own thread
};

}  // namespace List
