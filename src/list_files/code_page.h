#pragma once

#include <QString>
#include <memory>

namespace list_files {

// A Windows code page for list files: the system's ANSI code page unless a caller picks another.
// Only single- and double-byte code pages are supported, which every ANSI code page is.
class CodePage {
public:
    // The code page that Windows calls ANSI for this user (GetACP).
    static unsigned systemAnsi();
    static constexpr unsigned kUtf8 = 65001;

    explicit CodePage(unsigned id = systemAnsi());
    ~CodePage();
    CodePage(const CodePage&) = delete;
    CodePage& operator=(const CodePage&) = delete;

    unsigned id() const { return m_id; }
    // Bytes that one character takes at most.
    int maxCharBytes() const { return m_maxCharBytes; }

    // The length of `bytes` without a lead byte at the end whose trail byte has not come yet.
    qsizetype wholeCharacters(const uchar* bytes, qsizetype size) const;
    // Decodes whole characters into `out`, which needs room for `size` units. Returns the units.
    qsizetype decode(const uchar* bytes, qsizetype size, char16_t* out) const;
    // Encodes into `out`, which needs maxCharBytes() per unit. A unit the code page cannot hold
    // becomes its default character. Returns the bytes written.
    qsizetype encode(QStringView text, char* out) const;
    // True when every unit of `text` is written and read back unchanged.
    bool holds(QStringView text) const;

private:
    void mapUnits() const;

    unsigned m_id;
    int m_maxCharBytes = 1;
    unsigned char m_leadBytes[256] = {};
    // One bit per UTF-16 unit, set when the unit survives a round trip; filled on first use.
    mutable std::unique_ptr<quint64[]> m_heldUnits;
};

}  // namespace list_files
