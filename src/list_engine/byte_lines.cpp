#include "list_engine/byte_lines.h"

#include <atomic>
#include <bit>
#include <cstring>

#include "list_engine/hashing.h"
#include "list_files/scan.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace List {

namespace {

// Offsets are kept in the low 40 bits of a slot, one more than the offset so that 0 is an empty
// slot; the high 24 bits keep the top of the line's hash, so that most other lines are told
// apart without reading their bytes.
constexpr int kOffsetBits = 40;
constexpr quint64 kOffsetMask = (quint64(1) << kOffsetBits) - 1;

quint64 tagOf(quint64 hash) {
    return hash & ~kOffsetMask;
}

quint64 lowerAsciiWord(quint64 word) {
    // Adds 0x20 to each byte from 'A' to 'Z', eight at a time; other bytes stay.
    constexpr quint64 kLanes = 0x0101010101010101ULL;
    const quint64 low7 = word & (kLanes * 0x7F);
    const quint64 aboveA = low7 + kLanes * (0x80 - 'A');
    const quint64 aboveZ = low7 + kLanes * (0x7F - 'Z');
    const quint64 upper = aboveA & ~aboveZ & ~word & (kLanes * 0x80);
    return word | (upper >> 2);
}

quint64 load(const uchar* bytes, qsizetype size) {
    quint64 word = 0;
    std::memcpy(&word, bytes, size_t(size));
    return word;
}

}  // namespace

qsizetype countLines(const uchar* bytes, qsizetype size) {
    if (size == 0) return 0;
    // Every LF and every CR ends a line, except a CR that an LF follows.
    qsizetype ends = 0;
    qsizetype i = 0;
#ifdef __SSE2__
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i cr = _mm_set1_epi8('\r');
    for (; size - i >= 17; i += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
        const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i + 1));
        const __m128i isLf = _mm_cmpeq_epi8(block, lf);
        const __m128i isCr = _mm_cmpeq_epi8(block, cr);
        const __m128i crLf = _mm_and_si128(isCr, _mm_cmpeq_epi8(next, lf));
        const __m128i ending = _mm_andnot_si128(crLf, _mm_or_si128(isLf, isCr));
        ends += std::popcount(unsigned(_mm_movemask_epi8(ending)));
    }
#endif
    for (; i < size; ++i) {
        if (bytes[i] == '\n' || (bytes[i] == '\r' && (i + 1 == size || bytes[i + 1] != '\n'))) {
            ++ends;
        }
    }
    return ends + (isLineEnd(bytes[size - 1]) ? 0 : 1);
}

qsizetype lineEndFrom(const uchar* bytes, qsizetype from, qsizetype size) {
    qsizetype i = from;
    while (i < size) {
        i = list_files::findLowUnit(bytes, i, size);
        if (i == size || isLineEnd(bytes[i])) return i;
        ++i;
    }
    return size;
}

quint64 hashBytes(const uchar* bytes, qsizetype size, bool lowerAscii) {
    quint64 h = 0x9E3779B97F4A7C15ULL ^ quint64(size);
    qsizetype i = 0;
    for (; size - i >= 8; i += 8) {
        quint64 word = load(bytes + i, 8);
        if (lowerAscii) word = lowerAsciiWord(word);
        h = (h ^ word) * 0x9FB21C651E98DF25ULL;
        h ^= h >> 29;
    }
    if (i < size) {
        quint64 word = load(bytes + i, size - i);
        if (lowerAscii) word = lowerAsciiWord(word);
        h = (h ^ word) * 0x9FB21C651E98DF25ULL;
    }
    return mix(h);
}

bool sameBytes(const uchar* a, const uchar* b, qsizetype size, bool lowerAscii) {
    if (!lowerAscii) return std::memcmp(a, b, size_t(size)) == 0;
    qsizetype i = 0;
    for (; size - i >= 8; i += 8) {
        if (lowerAsciiWord(load(a + i, 8)) != lowerAsciiWord(load(b + i, 8))) return false;
    }
    return i == size ||
           lowerAsciiWord(load(a + i, size - i)) == lowerAsciiWord(load(b + i, size - i));
}

ByteLineSet::ByteLineSet(const uchar* text, qsizetype size, qsizetype lines, ByteKeys keys)
    : m_text(text),
      m_size(size),
      m_keys(keys),
      // At most two slots in three taken, so that probes stay short.
      m_capacity(std::max<qsizetype>(16, lines + lines / 2)),
      // Probed all over: huge pages spare the address-translation cache.
      m_slots(list_store::FlatArray<quint64>::zeroed(m_capacity, list_store::Pages::Huge)) {
    Q_ASSERT(size < qsizetype(kOffsetMask));
}

qsizetype ByteLineSet::slotOf(quint64 hash) const {
    // The low bits of the hash, scaled to the table; the high ones are the tag.
    return qsizetype(
        (static_cast<unsigned __int128>(hash << (64 - kOffsetBits)) * quint64(m_capacity)) >> 64);
}

bool ByteLineSet::holds(quint64 slot, const uchar* bytes, qsizetype size) const {
    const qsizetype offset = qsizetype(slot & kOffsetMask) - 1;
    if (m_size - offset < size) return false;
    qsizetype end = offset + size;
    // A trimmed key is followed by nothing but white space to its line's end: as these bytes
    // are the same as those of a key, which ends in anything but white space, its key too ends
    // there.
    if (m_keys.trim) end = whiteSpaceEnd(m_text, end, m_size);
    if (end < m_size && !isLineEnd(m_text[end])) return false;
    return sameBytes(m_text + offset, bytes, size, m_keys.lowerAscii);
}

qsizetype ByteLineSet::addLines(qsizetype from, qsizetype to, quint32* tally) {
    // In batches, each line's slot asked for ahead, so that the memory's delays overlap.
    constexpr int kBatch = 32;
    struct Line {
        qsizetype start;
        qsizetype size;
        quint64 hash;
    };
    Line batch[kBatch];
    qsizetype added = 0;
    qsizetype start = from;
    while (start < to) {
        int count = 0;
        for (; count < kBatch && start < to; ++count) {
            const qsizetype end = lineEndFrom(m_text, start, m_size);
            const ByteRange key = keyOfLine(m_text, start, end, m_keys.trim);
            batch[count] = {key.start, key.size,
                            hashBytes(m_text + key.start, key.size, m_keys.lowerAscii)};
            prefetch(batch[count].hash);
            start = nextLineStart(m_text, end, m_size);
        }
        for (int k = 0; k < count; ++k) {
            const Added line = add(batch[k].start, batch[k].size, batch[k].hash);
            added += line.isNew ? 1 : 0;
            if (tally)
                std::atomic_ref<quint32>(tally[line.slot]).fetch_add(1, std::memory_order_relaxed);
        }
    }
    return added;
}

ByteLineSet::Added ByteLineSet::add(qsizetype start, qsizetype size, quint64 hash) {
    const quint64 tag = tagOf(hash);
    const quint64 mine = tag | quint64(start + 1);
    for (qsizetype at = slotOf(hash);; at = at + 1 == m_capacity ? 0 : at + 1) {
        std::atomic_ref<quint64> slot(m_slots[at]);
        quint64 seen = slot.load(std::memory_order_acquire);
        if (seen == 0) {
            if (slot.compare_exchange_strong(seen, mine, std::memory_order_acq_rel)) {
                return {at, true};
            }
            // Another thread took the slot first; it may hold this very line.
        }
        if (tagOf(seen) == tag && holds(seen, m_text + start, size)) return {at, false};
    }
}

qsizetype ByteLineSet::find(const uchar* bytes, qsizetype size, quint64 hash) const {
    const quint64 tag = tagOf(hash);
    for (qsizetype at = slotOf(hash);; at = at + 1 == m_capacity ? 0 : at + 1) {
        // Lines are looked up only where no other thread adds to the set meanwhile.
        const quint64 seen = m_slots[at];
        if (seen == 0) return -1;
        if (tagOf(seen) == tag && holds(seen, bytes, size)) return at;
    }
}

void ByteLineSet::prefetch(quint64 hash) const {
    __builtin_prefetch(m_slots.data() + slotOf(hash));
}

void ByteLineSet::prefetchText(quint64 hash) const {
    // The slot is in the cache by now; a line that may be the one is fetched too.
    const quint64 seen = m_slots[slotOf(hash)];
    if (seen != 0 && tagOf(seen) == tagOf(hash)) {
        __builtin_prefetch(m_text + qsizetype(seen & kOffsetMask) - 1);
    }
}

}  // namespace List
