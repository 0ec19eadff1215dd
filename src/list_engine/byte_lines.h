#pragma once

#include <QtGlobal>

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

// A 64-bit hash of bytes; with `lowerAscii` of the bytes with A-Z taken as a-z.
quint64 hashBytes(const uchar* bytes, qsizetype size, bool lowerAscii);

// True when both are the same bytes; with `lowerAscii` when they differ only in the case of
// ASCII letters.
bool sameBytes(const uchar* a, const uchar* b, qsizetype size, bool lowerAscii);

// The distinct lines of a text held in memory, as offsets into it: eight bytes a line and no copy
// of a text. Lines may be added from several threads at once. With `lowerAscii`, lines that
// differ only in the case of ASCII letters are the same line (for a text of ASCII bytes only).
class ByteLineSet {
public:
    // `text` must stay as it is while the set is used; `lines` is countLines() of it.
    ByteLineSet(const uchar* text, qsizetype size, qsizetype lines, bool lowerAscii);
    ByteLineSet(const ByteLineSet&) = delete;
    ByteLineSet& operator=(const ByteLineSet&) = delete;

    // Adds the lines that start in [from, to); `from` must be a line's start. Returns how many
    // were not in the set yet. With `tally` (one counter a slot, capacity() of them), each
    // line's slot counts it.
    qsizetype addLines(qsizetype from, qsizetype to, quint32* tally = nullptr);
    // Adds the line of the text at [start, start + size) with its hash.
    struct Added {
        qsizetype slot;
        bool isNew;
    };
    Added add(qsizetype start, qsizetype size, quint64 hash);
    // The slot of the line `bytes`, or -1 when the text does not hold it; with `lowerAscii` the
    // line must be given with A-Z taken as a-z already, or be of the same case as the one to be
    // found.
    qsizetype find(const uchar* bytes, qsizetype size, quint64 hash) const;
    bool contains(const uchar* bytes, qsizetype size, quint64 hash) const {
        return find(bytes, size, hash) >= 0;
    }
    // Ask the memory for the slot of `hash` ahead of contains(), and once that has arrived for
    // the line it points to.
    void prefetch(quint64 hash) const;
    void prefetchText(quint64 hash) const;

    bool lowerAscii() const { return m_lowerAscii; }
    qsizetype capacity() const { return m_capacity; }

private:
    qsizetype slotOf(quint64 hash) const;
    bool holds(quint64 slot, const uchar* bytes, qsizetype size) const;

    const uchar* m_text;
    qsizetype m_size;
    bool m_lowerAscii;
    qsizetype m_capacity;
    list_store::FlatArray<quint64> m_slots;  // read and written through std::atomic_ref
};

}  // namespace List
