#include "list_engine/text_index.h"

#include <algorithm>
#include <cstring>

#include "platform/event_pump.h"
#include "platform/item_list.h"

namespace List {

namespace {

// Items indexed between two chances for the window to handle its events. The pump itself
// decides how often it really processes them, so this only has to be small.
constexpr int kItemsPerPump = 256;
constexpr int kBatch = 32;
constexpr qsizetype kSmallestTable = 16;

constexpr quint64 kMultiplier = 0x9E3779B97F4A7C15ull;

quint64 mix(quint64 h) {
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdull;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ull;
    h ^= h >> 33;
    return h;
}

void prefetch(const void* address) {
#if defined(__GNUC__) || defined(__clang__)
    __builtin_prefetch(address);
#else
    Q_UNUSED(address);
#endif
}

bool isCapitalAscii(char16_t unit) {
    return unsigned(unit) - u'A' < 26u;
}

}  // namespace

quint64 hashText(QStringView text) {
    const char* bytes = reinterpret_cast<const char*>(text.utf16());
    size_t left = size_t(text.size()) * sizeof(char16_t);
    quint64 h = kMultiplier ^ quint64(left);
    while (left >= sizeof(quint64)) {
        quint64 word;
        std::memcpy(&word, bytes, sizeof word);
        h = (h ^ word) * kMultiplier;
        h ^= h >> 29;
        bytes += sizeof word;
        left -= sizeof word;
    }
    if (left > 0) {
        quint64 word = 0;
        std::memcpy(&word, bytes, left);
        h = (h ^ word) * kMultiplier;
        h ^= h >> 29;
    }
    return mix(h);
}

QStringView lowerCased(QStringView text, QString& scratch) {
    const char16_t* units = text.utf16();
    const qsizetype size = text.size();
    qsizetype firstCapital = 0;
    for (; firstCapital < size; ++firstCapital) {
        const char16_t unit = units[firstCapital];
        if (unit >= 0x80) {
            scratch = text.toString().toLower();
            return scratch;
        }
        if (isCapitalAscii(unit)) break;
    }
    if (firstCapital == size) return text;

    scratch.resize(size);
    QChar* out = scratch.data();
    std::copy(units, units + firstCapital, out);
    for (qsizetype k = firstCapital; k < size; ++k) {
        const char16_t unit = units[k];
        if (unit >= 0x80) {
            // Beyond ASCII the Unicode tables decide, exactly as everywhere else in the program.
            scratch = text.toString().toLower();
            return scratch;
        }
        out[k] = QChar(isCapitalAscii(unit) ? char16_t(unit + (u'a' - u'A')) : unit);
    }
    return QStringView(scratch.constData(), size);
}

bool equalsWhenLowered(QStringView text, QStringView loweredKey, QString& scratch) {
    if (text.size() == loweredKey.size()) {
        const char16_t* units = text.utf16();
        const char16_t* key = loweredKey.utf16();
        qsizetype k = 0;
        for (; k < text.size(); ++k) {
            const char16_t unit = units[k];
            if (unit >= 0x80) break;
            // Up to the first letter beyond ASCII, lower-casing maps unit for unit.
            if ((isCapitalAscii(unit) ? char16_t(unit + (u'a' - u'A')) : unit) != key[k]) {
                return false;
            }
        }
        if (k == text.size()) return true;
    }
    return lowerCased(text, scratch) == loweredKey;
}

TextIndex::TextIndex(const platform::ItemList& list, Keys keys, platform::EventPump& pump)
    : m_list(list), m_keys(keys), m_pump(pump) {}

bool TextIndex::isCurrent() const {
    return m_synced && m_changeGeneration == m_list.changeGeneration();
}

void TextIndex::update() {
    while (!isCurrent()) {
        if (m_pump.closing()) return;
        const bool onlyAppended = m_started && m_list.removalGeneration() == m_removalGeneration &&
                                  m_list.count() >= m_indexedCount;
        if (!onlyAppended) {
            clear();
            m_removalGeneration = m_list.removalGeneration();
            m_started = true;
            reserveFor(m_list.count());
        }
        m_synced = indexFrom(m_indexedCount + 1);
        if (m_synced) m_changeGeneration = m_list.changeGeneration();
    }
}

bool TextIndex::indexFrom(int firstPosition) {
    quint32 tags[kBatch];
    int sincePump = 0;
    // The count is read again after every pump: items appended meanwhile are taken in too.
    for (int position = firstPosition; position <= m_list.count();) {
        const int batch = std::min(kBatch, m_list.count() - position + 1);
        while (isCrowdedWith(m_used + batch)) grow();
        // Hash a batch first and ask for its slots, so that their loads overlap.
        for (int k = 0; k < batch; ++k) {
            tags[k] = tagOf(m_list.textView(position + k), m_keyScratch);
            prefetch(&m_slots[size_t(slotFor(tags[k]))]);
        }
        for (int k = 0; k < batch; ++k) insert(position + k, tags[k]);
        position += batch;
        m_indexedCount = position - 1;
        sincePump += batch;
        if (sincePump >= kItemsPerPump) {
            sincePump = 0;
            m_pump.pump();
            if (m_pump.closing() || m_list.removalGeneration() != m_removalGeneration) {
                return false;
            }
        }
    }
    return true;
}

void TextIndex::clear() {
    m_slots.clear();
    m_used = 0;
    m_indexedCount = 0;
    m_started = false;
    m_synced = false;
}

void TextIndex::reserveFor(qsizetype items) {
    m_slots.assign(size_t(std::max(kSmallestTable, items + items / 3 + 1)), Slot{0, 0});
}

QStringView TextIndex::keyOf(QStringView text, QString& scratch) const {
    return m_keys == Keys::Exact ? text : lowerCased(text, scratch);
}

quint32 TextIndex::tagOf(QStringView text, QString& scratch) const {
    return quint32(hashText(keyOf(text, scratch)) >> 32);
}

bool TextIndex::sameKey(int position, QStringView key) const {
    const QStringView text = m_list.textView(position);
    return m_keys == Keys::Exact ? text == key : equalsWhenLowered(text, key, m_candidateScratch);
}

// Linear probing stays short up to three quarters full.
bool TextIndex::isCrowdedWith(qsizetype used) const {
    return 4 * used > 3 * qsizetype(m_slots.size());
}

qsizetype TextIndex::slotFor(quint32 tag) const {
    // The tag scaled to the table: the index can be recomputed from the stored tag alone.
    return qsizetype((quint64(tag) * quint64(m_slots.size())) >> 32);
}

void TextIndex::insert(int position, quint32 tag) {
    const qsizetype size = qsizetype(m_slots.size());
    for (qsizetype s = slotFor(tag);; s = s + 1 == size ? 0 : s + 1) {
        Slot& slot = m_slots[size_t(s)];
        if (slot.position == 0) {
            slot = Slot{tag, position};
            ++m_used;
            return;
        }
        if (slot.tag == tag &&
            sameKey(slot.position, keyOf(m_list.textView(position), m_keyScratch))) {
            return;  // the same key is already there
        }
    }
}

void TextIndex::grow() {
    std::vector<Slot> old;
    old.swap(m_slots);
    m_slots.assign(std::max<size_t>(size_t(kSmallestTable), old.size() * 2), Slot{0, 0});
    const qsizetype size = qsizetype(m_slots.size());
    for (const Slot& slot : old) {
        if (slot.position == 0) continue;
        qsizetype s = slotFor(slot.tag);
        while (m_slots[size_t(s)].position != 0) s = s + 1 == size ? 0 : s + 1;
        m_slots[size_t(s)] = slot;
    }
}

bool TextIndex::probeFrom(qsizetype s, quint32 tag, QStringView key) const {
    const qsizetype size = qsizetype(m_slots.size());
    for (;; s = s + 1 == size ? 0 : s + 1) {
        const Slot& slot = m_slots[size_t(s)];
        if (slot.position == 0) return false;
        if (slot.tag == tag && sameKey(slot.position, key)) return true;
    }
}

bool TextIndex::contains(QStringView text) const {
    if (m_used == 0) return false;
    const QStringView key = keyOf(text, m_keyScratch);
    const quint32 tag = quint32(hashText(key) >> 32);
    return probeFrom(slotFor(tag), tag, key);
}

void TextIndex::containsEach(std::span<const QStringView> texts, bool* found) const {
    Q_ASSERT(texts.size() <= size_t(kMostAtOnce));
    const int count = int(texts.size());
    if (m_used == 0) {
        std::fill(found, found + count, false);
        return;
    }
    quint32 tags[kMostAtOnce];
    qsizetype slots[kMostAtOnce];
    QStringView candidates[kMostAtOnce];
    QStringView keys[kMostAtOnce];
    qsizetype keptAt[kMostAtOnce];  // where a lowered key stands in m_batchKeys, or -1
    const qsizetype size = qsizetype(m_slots.size());
    m_batchKeys.clear();
    // First the slots where the look-ups start ...
    for (int k = 0; k < count; ++k) {
        keys[k] = keyOf(texts[k], m_aheadScratch);
        keptAt[k] = -1;
        if (keys[k].utf16() != texts[k].utf16()) {
            keptAt[k] = m_batchKeys.size();
            m_batchKeys.append(keys[k]);
        }
        tags[k] = quint32(hashText(keys[k]) >> 32);
        slots[k] = slotFor(tags[k]);
        prefetch(&m_slots[size_t(slots[k])]);
    }
    for (int k = 0; k < count; ++k) {
        if (keptAt[k] >= 0) keys[k] = QStringView(m_batchKeys).mid(keptAt[k], keys[k].size());
    }
    // ... then the text of the first candidate each slot run offers ...
    for (int k = 0; k < count; ++k) {
        qsizetype s = slots[k];
        while (m_slots[size_t(s)].position != 0 && m_slots[size_t(s)].tag != tags[k]) {
            s = s + 1 == size ? 0 : s + 1;
        }
        slots[k] = s;
        if (m_slots[size_t(s)].position != 0) {
            candidates[k] = m_list.textView(m_slots[size_t(s)].position);
            prefetch(candidates[k].utf16());
        }
    }
    // ... and only then the comparisons, which now find their data in the cache.
    for (int k = 0; k < count; ++k) {
        found[k] = m_slots[size_t(slots[k])].position != 0 && probeFrom(slots[k], tags[k], keys[k]);
    }
}

}  // namespace List
