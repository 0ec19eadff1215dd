#pragma once

#include <QtGlobal>
#include <cstring>

namespace List::ascii {

// Tests on Latin-1 bytes eight at a time, as the bytes of one 64-bit word. The per-byte sums
// below never carry from one byte into the next as long as no byte has its high bit set.
constexpr quint64 kEveryByte = 0x0101010101010101ull;
constexpr quint64 kHighBits = 0x8080808080808080ull;

inline quint64 wordAt(const uchar* bytes) {
    quint64 word;
    std::memcpy(&word, bytes, sizeof word);
    return word;
}

// For a word of ASCII bytes, the high bit of each capital.
inline quint64 capitalsIn(quint64 asciiWord) {
    const quint64 fromA = asciiWord + 0x3F3F3F3F3F3F3F3Full;    // high bit from 'A' on
    const quint64 beyondZ = asciiWord + 0x2525252525252525ull;  // high bit beyond 'Z'
    return fromA & ~beyondZ & kHighBits;
}

// Its capitals lowered: 0x80 >> 2 is 'a' - 'A'.
inline quint64 lowered(quint64 asciiWord) {
    return asciiWord | (capitalsIn(asciiWord) >> 2);
}

// Every byte from U+0020 to U+007E: none beyond ASCII, none below U+0020 (it borrows), none
// U+007F (it carries into the high bit).
inline bool isPrintable(quint64 word) {
    return ((word | (word - 0x20 * kEveryByte) | (word + kEveryByte)) & kHighBits) == 0;
}

// Whether a word of ASCII bytes holds U+0020.
inline bool hasSpace(quint64 asciiWord) {
    const quint64 x = asciiWord ^ (0x20 * kEveryByte);
    return ((x - kEveryByte) & ~x & kHighBits) != 0;
}

}  // namespace List::ascii
