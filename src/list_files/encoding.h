#pragma once

#include <QtGlobal>

// The encodings of list files: byte-order marks, what a file without one is read as, and the
// decoders and the encoder that the reader and the writer share.
namespace list_files {

// The code page that files without a byte-order mark fall back to: the ANSI code page on
// Windows; elsewhere 65001, UTF-8, the only one supported there.
unsigned systemCodePage();
inline constexpr unsigned kUtf8CodePage = 65001;

// Default is lenient UTF-8 standing in for the code page. AsciiSoFar is a Windows file without a
// mark whose bytes have all been ASCII so far; its first other byte decides between Utf8 and
// CodePage.
enum class Encoding { Undecided, Default, AsciiSoFar, CodePage, Utf8, Utf16Le, Utf16Be };

inline constexpr uchar kUtf8Mark[] = {0xEF, 0xBB, 0xBF};
inline constexpr uchar kUtf16LeMark[] = {0xFF, 0xFE};
inline constexpr uchar kUtf16BeMark[] = {0xFE, 0xFF};

// True while the bytes seen so far could still grow into a byte-order mark.
bool couldBeMarkStart(const uchar* bytes, qsizetype size);

struct Detected {
    Encoding encoding;
    qsizetype markLength;
};

Detected detectEncoding(const uchar* bytes, qsizetype size);

struct Decoded {
    qsizetype units;     // code units written
    qsizetype consumed;  // bytes used; the rest is an unfinished sequence to carry
};

// Strict UTF-8 (see utf8Sequence); each byte of an invalid or truncated sequence is escaped on
// its own. `out` needs room for `size` units: no byte yields more than one unit.
Decoded decodeUtf8(const uchar* in, qsizetype size, bool final, char16_t* out);

// Checks bytes for valid UTF-8 piece by piece, carrying a sequence cut between pieces.
class Utf8Check {
public:
    // False once an invalid sequence is seen; `final` marks the last piece.
    bool take(const uchar* in, qsizetype size, bool final);

private:
    uchar m_tail[4] = {};
    int m_carried = 0;
};

// Unpaired surrogates and a trailing odd byte become U+FFFD: the escapes are for bytes of files
// without a mark, and a file read as UTF-16 must save as valid UTF-8.
Decoded decodeUtf16(const uchar* in, qsizetype size, bool final, bool bigEndian, char16_t* out);

// Encodes units[from, to) into `out`, which needs 3 bytes per unit plus one. A surrogate pair
// that starts at to - 1 is taken whole, reading units[to] (below `size`). Returns the next unit.
qsizetype encodeUtf8(const char16_t* units, qsizetype from, qsizetype to, qsizetype size,
                     char*& out);

}  // namespace list_files
