#pragma once

#include <QStringView>

#include "platform/flat_array.h"

namespace platform {

// Many texts stored back to back: one buffer of UTF-16 code units and one end offset per text.
class TextBlock {
public:
    qsizetype count() const { return m_ends.size(); }
    bool isEmpty() const { return m_ends.isEmpty(); }
    qsizetype charCount() const { return m_chars.size(); }
    QStringView text(qsizetype index) const {
        const qint64 begin = index == 0 ? 0 : m_ends[index - 1];
        return QStringView(m_chars.data() + begin, m_ends[index] - begin);
    }
    void add(QStringView text) {
        m_chars.append(text.utf16(), text.size());
        m_ends.append(m_chars.size());
    }
    // Builds the next text in pieces: appendToLast() adds code units, finishText() closes it.
    void appendToLast(QStringView piece) { m_chars.append(piece.utf16(), piece.size()); }
    void appendToLast(char16_t unit) { m_chars.append(unit); }
    // Adds all of `units` to the text being built and leaves `units` empty. Into a block that
    // holds no text yet it takes the storage of `units` instead of copying it.
    void takeToLast(FlatArray<char16_t>& units) {
        if (m_chars.isEmpty()) {
            m_chars.swap(units);
        } else {
            m_chars.append(units.data(), units.size());
        }
        units.resize(0);
    }
    void finishText() { m_ends.append(m_chars.size()); }
    qsizetype pendingLength() const {
        return m_chars.size() - (m_ends.isEmpty() ? 0 : m_ends.last());
    }
    // Keeps the storage, so that a block refilled again and again (a file read chunk by chunk)
    // allocates only once.
    void clear() {
        m_chars.resize(0);
        m_ends.resize(0);
    }
    void reserve(qsizetype texts, qsizetype chars) {
        m_ends.reserve(texts);
        m_chars.reserve(chars);
    }
    // The memory the block takes, used or not.
    size_t allocatedBytes() const { return m_chars.allocatedBytes() + m_ends.allocatedBytes(); }

private:
    friend class ListModel;
    FlatArray<char16_t> m_chars;
    FlatArray<qint64> m_ends;
};

}  // namespace platform
