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

}  // namespace List
