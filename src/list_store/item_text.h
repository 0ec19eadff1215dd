#pragma once

#include <QLatin1StringView>
#include <QString>
#include <QStringView>
#include <cstring>

namespace list_store {

// A view of one item's text as the lists store it: Latin-1 bytes when every UTF-16 code unit of
// the text is below 256, which halves the memory of the usual list, UTF-16 otherwise. The same
// text may also be viewed in UTF-16 when it comes from elsewhere (a QString); equality, hashing
// and everything else treat both forms of one text alike. Valid as long as what it views.
class ItemText {
public:
    constexpr ItemText() = default;
    constexpr ItemText(const char* latin1, qsizetype size) : m_data(latin1), m_size(size) {}
    constexpr ItemText(const char16_t* utf16, qsizetype size)
        : m_data(utf16), m_size(size), m_wide(true) {}
    ItemText(QStringView text) : ItemText(text.utf16(), text.size()) {}
    ItemText(const QString& text) : ItemText(QStringView(text)) {}
    ItemText(QLatin1StringView text) : ItemText(text.data(), text.size()) {}
    template <size_t N>
    ItemText(const char16_t (&text)[N]) : ItemText(QStringView(text)) {}

    // Code units, in either form.
    qsizetype size() const { return m_size; }
    bool isEmpty() const { return m_size == 0; }
    bool isWide() const { return m_wide; }
    const char* latin1() const { return static_cast<const char*>(m_data); }
    const uchar* bytes() const { return static_cast<const uchar*>(m_data); }
    const char16_t* utf16() const { return static_cast<const char16_t*>(m_data); }
    const void* data() const { return m_data; }
    qsizetype sizeInBytes() const { return m_wide ? m_size * 2 : m_size; }
    char16_t at(qsizetype i) const { return m_wide ? utf16()[i] : char16_t(bytes()[i]); }

    QString toString() const {
        return m_wide ? QString(reinterpret_cast<const QChar*>(utf16()), m_size)
                      : QString::fromLatin1(latin1(), m_size);
    }
    // Calls f(units, size) with the text's own units: const uchar* or const char16_t*.
    template <typename F>
    decltype(auto) visit(F&& f) const {
        return m_wide ? f(utf16(), m_size) : f(bytes(), m_size);
    }

    // Equal as UTF-16 code units, whatever the forms.
    friend bool operator==(ItemText a, ItemText b) {
        if (a.m_size != b.m_size) return false;
        if (a.m_wide == b.m_wide) {
            return a.m_size == 0 || std::memcmp(a.m_data, b.m_data, size_t(a.sizeInBytes())) == 0;
        }
        const ItemText& narrow = a.m_wide ? b : a;
        const ItemText& wide = a.m_wide ? a : b;
        const uchar* n = narrow.bytes();
        const char16_t* w = wide.utf16();
        for (qsizetype i = 0; i < a.m_size; ++i) {
            if (char16_t(n[i]) != w[i]) return false;
        }
        return true;
    }
    friend bool operator!=(ItemText a, ItemText b) { return !(a == b); }

private:
    const void* m_data = nullptr;
    qsizetype m_size = 0;
    bool m_wide = false;
};

// Whether every unit is below 256, so that the text has a Latin-1 form.
inline bool fitsLatin1(const char16_t* units, qsizetype size) {
    qsizetype i = 0;
    for (; i + 4 <= size; i += 4) {
        quint64 word;
        std::memcpy(&word, units + i, sizeof word);
        if (word & 0xFF00FF00FF00FF00ULL) return false;
    }
    for (; i < size; ++i) {
        if (units[i] >= 0x100) return false;
    }
    return true;
}

inline void narrowTo(const char16_t* units, qsizetype size, char* out) {
    for (qsizetype i = 0; i < size; ++i) out[i] = char(units[i]);
}

inline void widenTo(const uchar* bytes, qsizetype size, char16_t* out) {
    for (qsizetype i = 0; i < size; ++i) out[i] = bytes[i];
}

// The text in UTF-16, for what takes nothing else: a view of its own units, or of `scratch`
// filled with them.
inline QStringView utf16View(ItemText text, QString& scratch) {
    if (text.isWide()) return QStringView(text.utf16(), text.size());
    scratch.resize(text.size());
    widenTo(text.bytes(), text.size(), reinterpret_cast<char16_t*>(scratch.data()));
    return scratch;
}

}  // namespace list_store
