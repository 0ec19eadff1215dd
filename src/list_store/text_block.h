#pragma once

#include <QStringView>
#include <cstring>

#include "list_store/flat_array.h"
#include "list_store/item_text.h"

namespace list_store {

// How texts are stored back to back, here and in the list store: one buffer of bytes and one
// end offset per text. A text whose code units are all below 256 is kept as Latin-1 bytes, any
// other as UTF-16 with kWide set in its end offset, so that each text has exactly one stored
// form. Every text starts at an even offset, which keeps UTF-16 texts aligned and lets a run
// of texts move by any even distance unchanged.
namespace stored {

inline constexpr qint64 kWide = qint64(1) << 62;

inline qint64 offsetOf(qint64 end) {
    return end & (kWide - 1);
}
inline bool isWide(qint64 end) {
    return (end & kWide) != 0;
}
inline qint64 alignUp(qint64 offset) {
    return (offset + 1) & ~qint64(1);
}
// Where text `index` starts.
inline qint64 beginOf(const qint64* ends, qsizetype index) {
    return index == 0 ? 0 : alignUp(offsetOf(ends[index - 1]));
}
inline ItemText textAt(const char* bytes, const qint64* ends, qsizetype index) {
    const qint64 begin = beginOf(ends, index);
    const qint64 end = ends[index];
    const qint64 length = offsetOf(end) - begin;
    if (isWide(end)) return ItemText(reinterpret_cast<const char16_t*>(bytes + begin), length / 2);
    return ItemText(bytes + begin, length);
}

}  // namespace stored

// Many texts stored back to back in the list store's compact form (see `stored`).
class TextBlock {
public:
    qsizetype count() const { return m_ends.size(); }
    bool isEmpty() const { return m_ends.isEmpty(); }
    // Bytes of the stored texts, with the padding between them.
    qsizetype byteCount() const { return m_bytes.size(); }
    ItemText text(qsizetype index) const {
        return stored::textAt(m_bytes.data(), m_ends.data(), index);
    }
    void add(ItemText text) {
        appendToLast(text);
        finishText();
    }
    // add() for a text of Latin-1 bytes while no text is being built: the reader's common case,
    // in one step.
    void addLatin1(const char* bytes, qsizetype size) {
        const qsizetype end = m_bytes.size();
        const qsizetype begin = qsizetype(openBegin());
        Q_ASSERT(end <= begin);
        m_bytes.resize(begin + size);
        char* data = m_bytes.data();
        if (begin > end) data[end] = '\0';  // the padding, as startText() writes it
        if (size > 0) std::memcpy(data + begin, bytes, size_t(size));
        m_ends.append(begin + size);
    }
    // Builds the next text in pieces: appendToLast() adds code units, finishText() closes it.
    void appendToLast(ItemText piece) {
        startText();
        if (piece.isEmpty()) return;
        if (!piece.isWide()) {
            if (!m_openWide) {
                m_bytes.append(piece.latin1(), piece.size());
            } else {
                const qsizetype at = m_bytes.size();
                m_bytes.resize(at + 2 * piece.size());
                widenTo(piece.bytes(), piece.size(),
                        reinterpret_cast<char16_t*>(m_bytes.data() + at));
            }
            return;
        }
        if (!m_openWide && fitsLatin1(piece.utf16(), piece.size())) {
            const qsizetype at = m_bytes.size();
            m_bytes.resize(at + piece.size());
            narrowTo(piece.utf16(), piece.size(), m_bytes.data() + at);
            return;
        }
        if (!m_openWide) widenOpenText();
        m_bytes.append(reinterpret_cast<const char*>(piece.utf16()), piece.size() * 2);
    }
    // Adds the unfinished text of `from`, which holds no finished text, to the text being built
    // here, and leaves `from` empty. Into a block that holds nothing yet it takes the storage of
    // `from` instead of copying it.
    void takeToLast(TextBlock& from) {
        if (m_bytes.isEmpty() && m_ends.isEmpty()) {
            m_bytes.swap(from.m_bytes);
            m_openWide = from.m_openWide;
        } else if (from.m_openWide) {
            startText();
            if (!m_openWide) widenOpenText();
            m_bytes.append(from.m_bytes.data(), from.m_bytes.size());
        } else {
            appendToLast(ItemText(from.m_bytes.data(), from.m_bytes.size()));
        }
        from.clear();
    }
    void finishText() {
        startText();
        m_ends.append(m_bytes.size() | (m_openWide ? stored::kWide : 0));
        m_openWide = false;
    }
    // Code units of the text being built.
    qsizetype pendingLength() const {
        const qsizetype bytes = m_bytes.size() - qsizetype(openBegin());
        return bytes <= 0 ? 0 : (m_openWide ? bytes / 2 : bytes);
    }
    // Keeps the storage, so that a block refilled again and again (a file read chunk by chunk)
    // allocates only once.
    void clear() {
        m_bytes.resize(0);
        m_ends.resize(0);
        m_openWide = false;
    }
    // See FlatArray::useSmallPages().
    void useSmallPages() {
        m_bytes.useSmallPages();
        m_ends.useSmallPages();
    }
    // Room for `texts` texts and `bytes` bytes in all.
    void reserve(qsizetype texts, qsizetype bytes) {
        m_ends.reserve(texts);
        m_bytes.reserve(bytes);
    }
    // The memory the block takes, used or not.
    size_t allocatedBytes() const { return m_bytes.allocatedBytes() + m_ends.allocatedBytes(); }

private:
    friend class ListStore;

    qint64 openBegin() const {
        return m_ends.isEmpty() ? 0 : stored::alignUp(stored::offsetOf(m_ends.last()));
    }
    // Pads to the even offset where the next text starts.
    void startText() {
        if (m_bytes.size() < openBegin()) m_bytes.append('\0');
    }
    // The text being built turns out to need UTF-16: its bytes become units, in place.
    void widenOpenText() {
        const qsizetype begin = qsizetype(openBegin());
        const qsizetype length = m_bytes.size() - begin;
        m_bytes.resize(begin + 2 * length);
        char* base = m_bytes.data() + begin;
        for (qsizetype i = length - 1; i >= 0; --i) {
            const char16_t unit = uchar(base[i]);
            std::memcpy(base + 2 * i, &unit, sizeof unit);
        }
        m_openWide = true;
    }

    FlatArray<char> m_bytes;
    FlatArray<qint64> m_ends;
    bool m_openWide = false;  // the text being built is stored as UTF-16
};

}  // namespace list_store
