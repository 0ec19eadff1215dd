#include "list_files/encoding.h"

#include <QChar>
#include <QtEndian>
#include <cstring>

#include "list_files/scan.h"
#include "list_store/unicode_text.h"

#ifdef Q_OS_WIN
#include "list_files/code_page.h"
#endif

namespace list_files {

unsigned systemCodePage() {
#ifdef Q_OS_WIN
    return list_files::CodePage::systemAnsi();
#else
    return kUtf8CodePage;
#endif
}

namespace {

// Escaped bytes stand in the low-surrogate range, where decoded valid text never puts a lone
// unit; only bytes from 0x80 up are ever escaped, since lower ones are always valid UTF-8.
constexpr char16_t kEscapeBase = 0xDC00;

template <size_t N>
bool startsWith(const uchar* bytes, qsizetype size, const uchar (&mark)[N]) {
    return size >= qsizetype(N) && std::memcmp(bytes, mark, N) == 0;
}

// The length of the UTF-8 sequence that starts with the byte in[0] (0x80 or above), with its
// code point; 0 when the bytes so far are valid but the sequence goes on past `size`; -1 when it
// is invalid. Overlong forms, encoded surrogates, code points above U+10FFFF and stray
// continuation bytes are invalid.
inline int utf8Sequence(const uchar* in, qsizetype size, char32_t& codePoint) {
    const uchar lead = in[0];
    int needed;
    uchar low = 0x80;
    uchar high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        needed = 1;
        codePoint = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        needed = 2;
        codePoint = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;   // shorter forms are overlong
        if (lead == 0xED) high = 0x9F;  // higher ones encode surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        needed = 3;
        codePoint = lead & 0x07;
        if (lead == 0xF0) low = 0x90;   // overlong
        if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
    } else {
        return -1;
    }
    for (int k = 1; k <= needed; ++k) {
        if (k >= size) return 0;
        const uchar next = in[k];
        if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xBF)) return -1;
        codePoint = (codePoint << 6) | (next & 0x3F);
    }
    return needed + 1;
}

}  // namespace

bool couldBeMarkStart(const uchar* bytes, qsizetype size) {
    const auto prefixOf = [&](const uchar* mark, qsizetype length) {
        return size < length && std::memcmp(bytes, mark, size_t(size)) == 0;
    };
    return prefixOf(kUtf8Mark, 3) || prefixOf(kUtf16LeMark, 2) || prefixOf(kUtf16BeMark, 2);
}

Detected detectEncoding(const uchar* bytes, qsizetype size) {
    if (startsWith(bytes, size, kUtf8Mark)) return {Encoding::Utf8, 3};
    if (startsWith(bytes, size, kUtf16LeMark)) return {Encoding::Utf16Le, 2};
    if (startsWith(bytes, size, kUtf16BeMark)) return {Encoding::Utf16Be, 2};
    return {Encoding::Default, 0};
}

Decoded decodeUtf8(const uchar* in, qsizetype size, bool final, char16_t* out) {
    char16_t* o = out;
    qsizetype i = 0;
    while (i < size) {
        const qsizetype ascii = asciiPrefix(in + i, size - i);
        for (qsizetype k = 0; k < ascii; ++k) o[k] = in[i + k];
        o += ascii;
        i += ascii;
        if (i >= size) break;
        char32_t codePoint = 0;
        const int length = utf8Sequence(in + i, size - i, codePoint);
        if (length == 0 && !final) break;  // the rest arrives with the next chunk
        if (length <= 0) {
            *o++ = char16_t(kEscapeBase + in[i]);
            ++i;
            continue;
        }
        if (codePoint >= 0x10000) {
            *o++ = QChar::highSurrogate(codePoint);
            *o++ = QChar::lowSurrogate(codePoint);
        } else {
            *o++ = char16_t(codePoint);
        }
        i += length;
    }
    return {qsizetype(o - out), i};
}

bool Utf8Check::take(const uchar* in, qsizetype size, bool final) {
    qsizetype i = 0;
    if (m_carried > 0) {
        while (m_carried < 4 && i < size) m_tail[m_carried++] = in[i++];
        char32_t codePoint = 0;
        const int length = utf8Sequence(m_tail, m_carried, codePoint);
        if (length < 0) return false;
        if (length == 0) {
            if (m_carried == 4) return false;
            return !final;  // still short: everything so far has been taken
        }
        i -= m_carried - length;
        m_carried = 0;
    }
    while (i < size) {
        i += asciiPrefix(in + i, size - i);
        if (i >= size) break;
        char32_t codePoint = 0;
        const int length = utf8Sequence(in + i, size - i, codePoint);
        if (length < 0) return false;
        if (length == 0) {
            if (final) return false;
            m_carried = int(size - i);
            std::memcpy(m_tail, in + i, size_t(m_carried));
            return true;
        }
        i += length;
    }
    return true;
}

Decoded decodeUtf16(const uchar* in, qsizetype size, bool final, bool bigEndian, char16_t* out) {
    qsizetype units = size / 2;
    if (bigEndian) {
        qFromBigEndian<quint16>(in, units, out);
    } else {
        qFromLittleEndian<quint16>(in, units, out);
    }
    if (!final) {
        // A high surrogate at the end may be paired by the next chunk.
        if (units > 0 && QChar::isHighSurrogate(out[units - 1])) --units;
        list_store::replaceLoneSurrogates(out, units);
        return {units, units * 2};
    }
    list_store::replaceLoneSurrogates(out, units);
    if (size % 2 != 0) out[units++] = QChar::ReplacementCharacter;
    return {units, size};
}

qsizetype encodeUtf8(const char16_t* units, qsizetype from, qsizetype to, qsizetype size,
                     char*& out) {
    char* o = out;
    qsizetype i = from;
    while (i < to) {
        while (to - i >= 4) {
            quint64 word;
            std::memcpy(&word, units + i, 8);
            if (word & 0xFF80FF80FF80FF80ULL) break;
            for (int k = 0; k < 4; ++k) o[k] = char(units[i + k]);
            o += 4;
            i += 4;
        }
        if (i >= to) break;
        const char16_t unit = units[i];
        if (unit < 0x80) {
            *o++ = char(unit);
            ++i;
        } else if (unit < 0x800) {
            *o++ = char(0xC0 | (unit >> 6));
            *o++ = char(0x80 | (unit & 0x3F));
            ++i;
        } else if (!QChar::isSurrogate(unit)) {
            *o++ = char(0xE0 | (unit >> 12));
            *o++ = char(0x80 | ((unit >> 6) & 0x3F));
            *o++ = char(0x80 | (unit & 0x3F));
            ++i;
        } else if (QChar::isHighSurrogate(unit) && i + 1 < size &&
                   QChar::isLowSurrogate(units[i + 1])) {
            const char32_t codePoint = QChar::surrogateToUcs4(unit, units[i + 1]);
            *o++ = char(0xF0 | (codePoint >> 18));
            *o++ = char(0x80 | ((codePoint >> 12) & 0x3F));
            *o++ = char(0x80 | ((codePoint >> 6) & 0x3F));
            *o++ = char(0x80 | (codePoint & 0x3F));
            i += 2;
        } else if (unit >= kEscapeBase + 0x80 && unit <= kEscapeBase + 0xFF) {
            *o++ = char(unit - kEscapeBase);  // a byte the reader could not decode
            ++i;
        } else {
            *o++ = char(0xEF);  // a lone surrogate has no encoding: U+FFFD
            *o++ = char(0xBF);
            *o++ = char(0xBD);
            ++i;
        }
    }
    out = o;
    return i;
}

}  // namespace list_files
