#pragma once

#include <QtGlobal>

// What the hash tables of the engine share. Header-only, so that the probe loops inline it.
namespace List {

// Spreads the bits of a hash over all 64 (the finalizer of MurmurHash3), so that the high bits
// that pick a slot depend on every byte of the key.
inline quint64 mix(quint64 h) {
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdULL;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ULL;
    h ^= h >> 33;
    return h;
}

// Asks the memory for `address` ahead of its use; nothing where the compiler has no way to.
inline void prefetch(const void* address) {
#if defined(__GNUC__) || defined(__clang__)
    __builtin_prefetch(address);
#else
    Q_UNUSED(address);
#endif
}

// Open addressing with linear probing over one-word slots: a slot keeps a position (0 marks an
// empty slot) and, above it, bits of the hash that spare most look-ups a text comparison.
template <typename Word>
struct Layout;
template <>
struct Layout<quint32> {
    static constexpr int kPositionBits = 24;
    // The lowest eight bits of the hash: the start slot is taken from the highest ones.
    static quint32 tagOf(quint64 hash) { return quint32(hash) << kPositionBits; }
};
template <>
struct Layout<quint64> {
    static constexpr int kPositionBits = 32;
    // The high half, from which the start slot can be computed again.
    static quint64 tagOf(quint64 hash) { return hash & ~quint64(0xFFFFFFFF); }
};

template <typename Word>
constexpr Word kPositionMask = (Word(1) << Layout<Word>::kPositionBits) - 1;

template <typename Word>
inline int positionIn(Word word) {
    return int(word & kPositionMask<Word>);
}

template <typename Word>
inline Word tagIn(Word word) {
    return word & ~kPositionMask<Word>;
}

// The hash's high half scaled to the table.
inline qsizetype startSlot(quint64 hash, qsizetype size) {
    return qsizetype(((hash >> 32) * quint64(size)) >> 32);
}

inline qsizetype nextSlot(qsizetype slot, qsizetype size) {
    return slot + 1 == size ? 0 : slot + 1;
}

}  // namespace List
