#pragma once

#include <QtGlobal>

#include "list_engine/white_space.h"
#include "list_store/flat_array.h"

// Lines of a list file compared as the bytes they were read from. Where UTF-8 stands in for the
// code page, every line has one decoded form and every decoded form one line of bytes (bytes that
// are not UTF-8 are kept as escapes of their own), so comparing bytes gives exactly what comparing
// the decoded items gives, and kept lines can be written back as they were read. The command
// line takes this path for files without a UTF-16 mark; everything else goes through the list
// store.
namespace List {

// Lines end at CR LF, a lone CR or a lone LF, as the reader splits them.
inline bool isLineEnd(uchar byte) {
    return byte == '\n' || byte == '\r';
}

// How many lines `bytes` holds as the reader counts them: a line end at the very end adds none.
qsizetype countLines(const uchar* bytes, qsizetype size);

// Where the line that starts at `from` ends (its first line-end byte, or `size`).
qsizetype lineEndFrom(const uchar* bytes, qsizetype from, qsizetype size);

// Where the line after the one ending at `end` starts: past CR LF, CR or LF.
inline qsizetype nextLineStart(const uchar* bytes, qsizetype end, qsizetype size) {
    if (end >= size) return size;
    if (bytes[end] == '\r' && end + 1 < size && bytes[end + 1] == '\n') return end + 2;
    return end + 1;
}

// The length of the UTF-8 sequence of a White_Space character that starts at bytes[0] (of `left`
// bytes), or 0. Line ends belong to no line, and bytes that are not UTF-8 are no white space:
// the reader escapes each of them on its own.
inline int whiteSpaceLength(const uchar* bytes, qsizetype left) {
    const uchar lead = bytes[0];
    if (lead < 0x80) return !isLineEnd(lead) && isWhiteSpace(lead) ? 1 : 0;
    const auto follows = [&](qsizetype k) { return k < left && (bytes[k] & 0xC0) == 0x80; };
    if (lead >= 0xC2 && lead <= 0xDF && follows(1)) {
        return isWhiteSpace(char32_t((lead & 0x1F) << 6 | (bytes[1] & 0x3F))) ? 2 : 0;
    }
    if (lead >= 0xE0 && lead <= 0xEF && follows(1) && follows(2)) {
        const auto c = char32_t((lead & 0x0F) << 12 | (bytes[1] & 0x3F) << 6 | (bytes[2] & 0x3F));
        return c >= 0x800 && isWhiteSpace(c) ? 3 : 0;  // a shorter form is not UTF-8
    }
    return 0;  // four bytes are beyond the BMP, where no character is white space
}

// Where the white space that starts at `from` ends, `to` at most.
inline qsizetype whiteSpaceEnd(const uchar* bytes, qsizetype from, qsizetype to) {
    while (from < to) {
        const int length = whiteSpaceLength(bytes + from, to - from);
        if (length == 0) break;
        from += length;
    }
    return from;
}

// Where the white space that ends at `to` starts, `from` at least. The reader decodes from every
// byte that cannot continue a sequence, so a whole sequence found backwards is a character.
inline qsizetype whiteSpaceStart(const uchar* bytes, qsizetype from, qsizetype to) {
    while (to > from) {
        const uchar last = bytes[to - 1];
        if (last < 0x80) {
            if (whiteSpaceLength(bytes + to - 1, 1) == 0) break;
            --to;
        } else if (to - from >= 2 && whiteSpaceLength(bytes + to - 2, 2) == 2) {
            to -= 2;
        } else if (to - from >= 3 && whiteSpaceLength(bytes + to - 3, 3) == 3) {
            to -= 3;
        } else {
            break;
        }
    }
    return to;
}

// What of a line is compared: with `lowerAscii` A-Z count as a-z (for a text of ASCII bytes only);
// with `trim` white space at either end does not count. These are the matching rules of case and
// surrounding spaces, on bytes that decode into the very code units whose keys they make.
struct ByteKeys {
    bool lowerAscii = false;
    bool trim = false;
};

struct ByteRange {
    qsizetype start;
    qsizetype size;
};

// The key of the line bytes[start, end).
inline ByteRange keyOfLine(const uchar* bytes, qsizetype start, qsizetype end, bool trim) {
    if (trim) {
        start = whiteSpaceEnd(bytes, start, end);
        end = whiteSpaceStart(bytes, start, end);
    }
    return {start, end - start};
}

// A 64-bit hash of bytes; with `lowerAscii` of the bytes with A-Z taken as a-z.
quint64 hashBytes(const uchar* bytes, qsizetype size, bool lowerAscii);

// True when both are the same bytes; with `lowerAscii` when they differ only in the case of
// ASCII letters.
bool sameBytes(const uchar* a, const uchar* b, qsizetype size, bool lowerAscii);

// The distinct keys of a text's lines held in memory, as offsets into it: eight bytes a line and no
// copy of a text. Lines may be added from several threads at once.
class ByteLineSet {
public:
    // `text` must stay as it is while the set is used; `lines` is countLines() of it.
    ByteLineSet(const uchar* text, qsizetype size, qsizetype lines, ByteKeys keys);
    ByteLineSet(const ByteLineSet&) = delete;
    ByteLineSet& operator=(const ByteLineSet&) = delete;

    // Adds the lines that start in [from, to); `from` must be a line's start. Returns how many
    // were not in the set yet. With `tally` (one counter a slot, capacity() of them), each
    // line's slot counts it.
    qsizetype addLines(qsizetype from, qsizetype to, quint32* tally = nullptr);
    // Adds the key of a line of the text at [start, start + size) with its hash.
    struct Added {
        qsizetype slot;
        bool isNew;
    };
    Added add(qsizetype start, qsizetype size, quint64 hash);
    // The slot of the key `bytes`, or -1 when the text does not hold it; with `lowerAscii` the
    // key must be given with A-Z taken as a-z already, or be of the same case as the one to be
    // found.
    qsizetype find(const uchar* bytes, qsizetype size, quint64 hash) const;
    bool contains(const uchar* bytes, qsizetype size, quint64 hash) const {
        return find(bytes, size, hash) >= 0;
    }
    // Ask the memory for the slot of `hash` ahead of contains(), and once that has arrived for
    // the line it points to.
    void prefetch(quint64 hash) const;
    void prefetchText(quint64 hash) const;

    bool lowerAscii() const { return m_keys.lowerAscii; }
    bool trims() const { return m_keys.trim; }
    qsizetype capacity() const { return m_capacity; }

private:
    qsizetype slotOf(quint64 hash) const;
    bool holds(quint64 slot, const uchar* bytes, qsizetype size) const;

    const uchar* m_text;
    qsizetype m_size;
    ByteKeys m_keys;
    qsizetype m_capacity;
    list_store::FlatArray<quint64> m_slots;  // read and written through std::atomic_ref
};

}  // namespace List
