#pragma once

#include <QtGlobal>
#include <bit>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

// Scanners shared by the decoders, the reader and the writer. They look at every byte of a file,
// so they live here to be inlined where they are used.
namespace list_files {

// The reader's and the writer's buffers start at this size and grow with what a file turns out
// to need, so that a short list costs no buffer of a megabyte.
inline constexpr qsizetype kSmallestBuffer = qsizetype(4) << 10;

// How many bytes from the start are ASCII: thirty-two at a time (with SSE2), then eight, while
// they can be.
inline qsizetype asciiPrefix(const uchar* in, qsizetype size) {
    qsizetype i = 0;
#ifdef __SSE2__
    for (; size - i >= 32; i += 32) {
        const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i + 16));
        if (_mm_movemask_epi8(_mm_or_si128(first, second)) != 0) break;
    }
#endif
    while (size - i >= 8) {
        quint64 word;
        std::memcpy(&word, in + i, 8);
        if (word & 0x8080808080808080ULL) break;
        i += 8;
    }
    while (i < size && in[i] < 0x80) ++i;
    return i;
}

// The first unit from `i` on that could end a line (any unit up to CR), or `size`. Four units
// are tested at once while none of them is that low.
inline qsizetype findLowUnit(const char16_t* text, qsizetype i, qsizetype size) {
    constexpr quint64 kLanes = 0x0001000100010001ULL;
    constexpr quint64 kLaneSigns = 0x8000800080008000ULL;
    while (i < size) {
        if (size - i >= 4) {
            quint64 word;
            std::memcpy(&word, text + i, sizeof word);
            // Sets a lane's sign bit only if some lane is below CR + 1.
            if (((word - kLanes * (u'\r' + 1)) & ~word & kLaneSigns) == 0) {
                i += 4;
                continue;
            }
        }
        if (text[i] <= u'\r') return i;
        ++i;
    }
    return size;
}

// The same for ASCII bytes: sixteen at a time (with SSE2), then eight.
inline qsizetype findLowUnit(const uchar* text, qsizetype i, qsizetype size) {
#ifdef __SSE2__
    // The bytes here are ASCII, so a signed comparison is the right one.
    const __m128i aboveCr = _mm_set1_epi8(char(u'\r' + 1));
    for (; size - i >= 16; i += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
        if (const int low = _mm_movemask_epi8(_mm_cmplt_epi8(block, aboveCr)); low != 0) {
            return i + std::countr_zero(unsigned(low));
        }
    }
#endif
    constexpr quint64 kLanes = 0x0101010101010101ULL;
    constexpr quint64 kLaneSigns = 0x8080808080808080ULL;
    while (i < size) {
        if (size - i >= 8) {
            quint64 word;
            std::memcpy(&word, text + i, sizeof word);
            if (((word - kLanes * (u'\r' + 1)) & ~word & kLaneSigns) == 0) {
                i += 8;
                continue;
            }
        }
        if (text[i] <= u'\r') return i;
        ++i;
    }
    return size;
}

}  // namespace list_files
