#include "list_files/list_file.h"

#include <QBuffer>
#include <QFileDevice>
#include <QtEndian>
#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <type_traits>

#include "list_files/file_failure.h"
#include "list_store/flat_array.h"
#include "list_store/unicode_text.h"
#include "platform/failure.h"

#ifdef Q_OS_WIN
#include "list_files/code_page.h"
#endif
#ifdef __SSE2__
#include <emmintrin.h>
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

// The writer hands its buffer to the device once it holds this much; the slack above it lets
// ordinary items be encoded in one piece.
constexpr qsizetype kFlushBytes = qsizetype(1) << 20;
constexpr qsizetype kWriteSlack = qsizetype(64) << 10;
constexpr qsizetype kWriteCapacity = kFlushBytes + kWriteSlack;
// Buffers start at this size and grow with what a file turns out to need.
constexpr qsizetype kSmallestRequest = qsizetype(4) << 10;
// An unfinished line buffer bigger than this is given back once its line is done.
constexpr qsizetype kKeptPendingBytes = qsizetype(1) << 17;

// Escaped bytes stand in the low-surrogate range, where decoded valid text never puts a lone
// unit; only bytes from 0x80 up are ever escaped, since lower ones are always valid UTF-8.
constexpr char16_t kEscapeBase = 0xDC00;

// Default is lenient UTF-8 standing in for the code page. AsciiSoFar is a Windows file without a
// mark whose bytes have all been ASCII so far; its first other byte decides between Utf8 and
// CodePage.
enum class Encoding { Undecided, Default, AsciiSoFar, CodePage, Utf8, Utf16Le, Utf16Be };

const uchar kUtf8Mark[] = {0xEF, 0xBB, 0xBF};
const uchar kUtf16LeMark[] = {0xFF, 0xFE};
const uchar kUtf16BeMark[] = {0xFE, 0xFF};

template <size_t N>
bool startsWith(const uchar* bytes, qsizetype size, const uchar (&mark)[N]) {
    return size >= qsizetype(N) && std::memcmp(bytes, mark, N) == 0;
}

// True while the bytes seen so far could still grow into a byte-order mark.
bool couldBeMarkStart(const uchar* bytes, qsizetype size) {
    const auto prefixOf = [&](const uchar* mark, qsizetype length) {
        return size < length && std::memcmp(bytes, mark, size_t(size)) == 0;
    };
    return prefixOf(kUtf8Mark, 3) || prefixOf(kUtf16LeMark, 2) || prefixOf(kUtf16BeMark, 2);
}

struct Detected {
    Encoding encoding;
    qsizetype markLength;
};

Detected detectEncoding(const uchar* bytes, qsizetype size) {
    if (startsWith(bytes, size, kUtf8Mark)) return {Encoding::Utf8, 3};
    if (startsWith(bytes, size, kUtf16LeMark)) return {Encoding::Utf16Le, 2};
    if (startsWith(bytes, size, kUtf16BeMark)) return {Encoding::Utf16Be, 2};
    return {Encoding::Default, 0};
}

struct Decoded {
    qsizetype units;     // code units written
    qsizetype consumed;  // bytes used; the rest is an unfinished sequence to carry
};

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

// How many bytes from the start are ASCII, eight at a time while they can be.
qsizetype asciiPrefix(const uchar* in, qsizetype size) {
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

// Strict UTF-8 (see utf8Sequence); each byte of an invalid or truncated sequence is escaped on
// its own. `out` needs room for `size` units: no byte yields more than one unit.
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

// Checks bytes for valid UTF-8 piece by piece, carrying a sequence cut between pieces.
class Utf8Check {
public:
    // False once an invalid sequence is seen; `final` marks the last piece.
    bool take(const uchar* in, qsizetype size, bool final) {
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

private:
    uchar m_tail[4] = {};
    int m_carried = 0;
};

// Unpaired surrogates and a trailing odd byte become U+FFFD: the escapes are for bytes of files
// without a mark, and a file read as UTF-16 must save as valid UTF-8.
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

// Encodes units[from, to) into `out`, which needs 3 bytes per unit plus one. A surrogate pair
// that starts at to - 1 is taken whole, reading units[to] (below `size`). Returns the next unit.
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

}  // namespace

struct Reader::State {
    QString reportedPath;
    State(QIODevice& d, qsizetype chunk, unsigned page)
        : device(&d), chunkBytes(std::max<qsizetype>(chunk, 1)) {
#ifdef Q_OS_WIN
        codePageId = page;
        if (codePageId != kUtf8CodePage) codePage = std::make_unique<list_files::CodePage>(page);
#else
        Q_UNUSED(page);
#endif
    }

    qsizetype nextRequest() const;

    // Text in UTF-16 units, or in bytes that are all ASCII.
    template <typename Unit>
    void addLines(const Unit* text, qsizetype size, list_store::TextBlock& lines);
    void finishPending(list_store::TextBlock& lines);
    bool restIsUtf8(const uchar* in, qsizetype size, bool atEnd);

    QIODevice* device;  // the caller's, or the look-ahead copy of a sequential one
    const qsizetype chunkBytes;
    unsigned codePageId = kUtf8CodePage;
    Encoding encoding = Encoding::Undecided;
    list_store::FlatArray<uchar> bytes;  // carried bytes, then the chunk just read
    // Bytes kept back for the next call: an unfinished UTF-8 sequence, an odd UTF-16 byte, a
    // lead byte of the code page, or the start of what may be a byte-order mark. Never more
    // than three.
    qsizetype carried = 0;
    list_store::FlatArray<char16_t> units;  // the decoded chunk
    list_store::TextBlock pending;          // the line not yet ended, as its one unfinished text
    bool skipLineFeed = false;              // the last chunk ended in a CR
    bool finished = false;
    std::unique_ptr<QBuffer> ahead;
#ifdef Q_OS_WIN
    std::unique_ptr<list_files::CodePage> codePage;
#endif
};

// A full chunk, unless the device knows that less is left: a short file then needs no buffers
// of a chunk's size.
qsizetype Reader::State::nextRequest() const {
    if (device->isSequential()) return chunkBytes;
    const qint64 left = device->bytesAvailable();
    // A file that reports no size may still have content; read it in modest pieces.
    if (left <= 0) return std::min<qsizetype>(chunkBytes, kSmallestRequest);
    return qsizetype(std::min<qint64>(chunkBytes, left));
}

// Whether `bytes` and everything after them on the device are valid UTF-8. The device is read
// to its end, or to the first invalid sequence, and then set back; a sequential device cannot go
// back, so its rest is kept in memory and read from there.
bool Reader::State::restIsUtf8(const uchar* in, qsizetype size, bool atEnd) {
    Utf8Check check;
    if (!check.take(in, size, atEnd)) return false;
    if (atEnd) return true;
    const auto readFailure = [this] { return platform::Failure(device->errorString()); };
    if (device->isSequential()) {
        QByteArray rest;
        for (;;) {
            const qsizetype before = rest.size();
            rest.resize(before + chunkBytes);
            const qint64 got = device->read(rest.data() + before, chunkBytes);
            if (got < 0) throw readFailure();
            rest.resize(before + qsizetype(got));
            if (got == 0) break;
        }
        ahead = std::make_unique<QBuffer>();
        ahead->setData(rest);
        ahead->open(QIODevice::ReadOnly);
        device = ahead.get();
        return check.take(reinterpret_cast<const uchar*>(rest.constData()), rest.size(), true);
    }
    const qint64 start = device->pos();
    list_store::FlatArray<uchar> piece;
    piece.resize(std::min<qsizetype>(chunkBytes, kChunkBytes));
    bool valid = true;
    for (;;) {
        const qint64 got = device->read(reinterpret_cast<char*>(piece.data()), piece.size());
        if (got < 0) throw readFailure();
        if (!check.take(piece.data(), qsizetype(got), got == 0)) {
            valid = false;
            break;
        }
        if (got == 0) break;
    }
    if (!device->seek(start)) throw readFailure();
    return valid;
}

void Reader::State::finishPending(list_store::TextBlock& lines) {
    const bool large = pending.byteCount() > kKeptPendingBytes;
    lines.takeToLast(pending);
    if (large) pending = list_store::TextBlock();
}

namespace {

// The first unit from `i` on that could end a line (any unit up to CR), or `size`. Four units
// are tested at once while none of them is that low.
// The same for ASCII bytes, eight at a time.
qsizetype findLowUnit(const uchar* text, qsizetype i, qsizetype size) {
#ifdef __SSE2__
    // Sixteen at a time: the bytes here are ASCII, so a signed comparison is the right one.
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

inline list_store::ItemText piece(const char16_t* text, qsizetype size) {
    return list_store::ItemText(text, size);
}
inline list_store::ItemText piece(const uchar* text, qsizetype size) {
    return list_store::ItemText(reinterpret_cast<const char*>(text), size);
}

qsizetype findLowUnit(const char16_t* text, qsizetype i, qsizetype size) {
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

}  // namespace

template <typename Unit>
void Reader::State::addLines(const Unit* text, qsizetype size, list_store::TextBlock& lines) {
    qsizetype i = 0;
    if (size > 0 && skipLineFeed) {
        if (text[0] == u'\n') i = 1;
        skipLineFeed = false;
    }
    // Every unit may end up in `lines`: one allocation instead of many small growths.
    lines.reserve(lines.count(), lines.byteCount() + pending.byteCount() + size + size / 4);
    qsizetype begin = i;
    while (i < size) {
        i = findLowUnit(text, i, size);
        if (i == size) break;
        const char16_t unit = text[i];
        if (unit != u'\r' && unit != u'\n') {
            ++i;
            continue;
        }
        if (pending.byteCount() > 0) {
            finishPending(lines);
            lines.appendToLast(piece(text + begin, i - begin));
            lines.finishText();
        } else if constexpr (std::is_same_v<Unit, uchar>) {
            lines.addLatin1(reinterpret_cast<const char*>(text + begin), i - begin);
        } else {
            lines.add(piece(text + begin, i - begin));
        }
        ++i;
        if (unit == u'\r') {
            if (i == size) {
                skipLineFeed = true;
            } else if (text[i] == u'\n') {
                ++i;
            }
        }
        begin = i;
    }
    pending.appendToLast(piece(text + begin, size - begin));
}

bool TextLines::next(list_store::TextBlock& lines, qsizetype units) {
    const char16_t* text = m_text.utf16();
    const qsizetype size = m_text.size();
    const qsizetype stop = m_at + std::max<qsizetype>(units, 1);
    lines.reserve(lines.count(), lines.byteCount() + std::min(size, stop) - m_at);
    qsizetype i = m_at;
    while (m_at < size && m_at < stop) {
        i = findLowUnit(text, i, size);
        if (i < size && text[i] != u'\r' && text[i] != u'\n') {
            ++i;
            continue;
        }
        lines.add(QStringView(text + m_at, i - m_at));
        if (i < size) {
            ++i;
            if (text[i - 1] == u'\r' && i < size && text[i] == u'\n') ++i;
        }
        m_at = i;
    }
    return m_at < size;
}

Reader::Reader(QIODevice& device, qsizetype chunkBytes, unsigned codePage)
    : m_state(std::make_unique<State>(device, chunkBytes, codePage)) {}

Reader::~Reader() = default;

void appendAll(QIODevice& device, list_store::ItemList& list) {
    Reader reader(device);
    list_store::TextBlock lines;
    bool more = true;
    while (more) {
        more = reader.readChunk(lines);
        list.appendBlock(lines);
        lines.clear();
    }
}

void Reader::setReportedPath(const QString& path) {
    m_state->reportedPath = path;
}

bool Reader::readChunk(list_store::TextBlock& lines) {
    State& s = *m_state;
    if (s.finished) return false;

    const qsizetype request = s.nextRequest();
    if (s.bytes.size() < s.carried + request) s.bytes.resize(s.carried + request);
    if (s.units.size() < s.carried + request) s.units.resize(s.carried + request);
    uchar* bytes = s.bytes.data();
    errno = 0;
    const qint64 got = s.device->read(reinterpret_cast<char*>(bytes) + s.carried, request);
    if (got < 0) throw deviceFailure(*s.device, FileAction::Read, errno, s.reportedPath);
    const bool atEnd = got == 0;
    const qsizetype size = s.carried + qsizetype(got);
    qsizetype begin = 0;

    if (s.encoding == Encoding::Undecided) {
        if (!atEnd && couldBeMarkStart(bytes, size)) {
            s.carried = size;
            return true;
        }
        const Detected detected = detectEncoding(bytes, size);
        s.encoding = detected.encoding;
        if (s.encoding == Encoding::Default && s.codePageId != kUtf8CodePage) {
            s.encoding = Encoding::AsciiSoFar;
        }
        begin = detected.markLength;
    }

    if (s.encoding == Encoding::AsciiSoFar) {
        const qsizetype ascii = asciiPrefix(bytes + begin, size - begin);
        // The lines so far are the same in either encoding, and stay should the look-ahead fail.
        s.addLines(bytes + begin, ascii, lines);
        begin += ascii;
        if (begin < size) {
            s.encoding = s.restIsUtf8(bytes + begin, size - begin, atEnd) ? Encoding::Utf8
                                                                          : Encoding::CodePage;
        }
    }

    // Plain ASCII is its own Latin-1 form in the list store: lines are taken from the bytes.
    if ((s.encoding == Encoding::Default || s.encoding == Encoding::Utf8) && begin < size &&
        asciiPrefix(bytes + begin, size - begin) == size - begin) {
        s.addLines(bytes + begin, size - begin, lines);
        begin = size;
    }

    Decoded decoded{0, size - begin};
    switch (s.encoding) {
        case Encoding::Undecided:
        case Encoding::AsciiSoFar:
            break;
        case Encoding::CodePage:
#ifdef Q_OS_WIN
        {
            const qsizetype whole =
                atEnd ? size - begin : s.codePage->wholeCharacters(bytes + begin, size - begin);
            decoded = {s.codePage->decode(bytes + begin, whole, s.units.data()), whole};
            break;
        }
#endif
        case Encoding::Default:
        case Encoding::Utf8:
            decoded = decodeUtf8(bytes + begin, size - begin, atEnd, s.units.data());
            break;
        case Encoding::Utf16Le:
        case Encoding::Utf16Be:
            decoded = decodeUtf16(bytes + begin, size - begin, atEnd,
                                  s.encoding == Encoding::Utf16Be, s.units.data());
            break;
    }
    s.carried = size - begin - decoded.consumed;
    if (s.carried > 0) std::memmove(bytes, bytes + begin + decoded.consumed, size_t(s.carried));

    s.addLines(s.units.data(), decoded.units, lines);
    if (!atEnd) return true;

    // A line that ends with the file needs no terminator; a terminator at the end adds nothing.
    if (s.pending.byteCount() > 0) {
        s.finishPending(lines);
        lines.finishText();
    }
    s.finished = true;
    return false;
}

SaveFormat formatFor(const list_store::ItemList& items, unsigned codePage) {
#ifdef Q_OS_WIN
    if (codePage == kUtf8CodePage) return SaveFormat::CodePage;
    const list_files::CodePage page(codePage);
    const int count = items.count();
    for (int i = 1; i <= count; ++i) {
        if (!page.holds(items.textView(i).toString())) return SaveFormat::Utf8WithMark;
    }
#else
    Q_UNUSED(items);
    Q_UNUSED(codePage);
#endif
    return SaveFormat::CodePage;
}

Writer::Writer(QIODevice& device, LineEnd lineEnd, SaveFormat format, unsigned codePage)
    : m_device(device), m_lineEnd(lineEnd) {
#ifdef Q_OS_WIN
    if (format == SaveFormat::CodePage && codePage != kUtf8CodePage) {
        m_codePage = std::make_unique<list_files::CodePage>(codePage);
    }
#else
    Q_UNUSED(codePage);
#endif
    if (format == SaveFormat::Utf8WithMark) {
        makeRoom(sizeof kUtf8Mark);
        std::memcpy(m_buffer.data(), kUtf8Mark, sizeof kUtf8Mark);
        m_used = sizeof kUtf8Mark;
    }
}

Writer::~Writer() = default;

// Grows the buffer up to its full size before handing anything to the device, so that a short
// list costs no buffer of a megabyte. `bytes` is at most kWriteSlack.
void Writer::makeRoom(qsizetype bytes) {
    if (m_buffer.size() - m_used >= bytes) return;
    if (m_buffer.size() < kWriteCapacity) {
        const qsizetype wanted = std::max({m_buffer.size() * 2, m_used + bytes, kSmallestRequest});
        m_buffer.resize(std::min(wanted, kWriteCapacity));
        if (m_buffer.size() - m_used >= bytes) return;
    }
    writeBuffer();
}

void Writer::writeBuffer() {
    if (m_used == 0) return;
    const char* data = m_buffer.constData();
    qsizetype left = m_used;
    // Whatever happens, these bytes are done with: a failed write is reported once, not again
    // with every later item.
    m_used = 0;
    // A short write (a file reaching its size limit) sets no error; the next one tells why.
    while (left > 0) {
        errno = 0;
        const qint64 written = m_device.write(data, left);
        if (written <= 0) throw deviceFailure(m_device, FileAction::Write, errno, m_reportedPath);
        data += written;
        left -= qsizetype(written);
    }
}

void Writer::encodeLatin1(const uchar* bytes, qsizetype size) {
#ifdef Q_OS_WIN
    if (m_codePage) {
        // The code page's encoder takes UTF-16; items of ASCII alone are the same bytes in it.
        if (asciiPrefix(bytes, size) < size) {
            m_wideScratch.resize(size);
            list_store::widenTo(bytes, size, m_wideScratch.data());
            encodeUnits(m_wideScratch.data(), size);
            return;
        }
    }
#endif
    qsizetype i = 0;
    while (i < size) {
        makeRoom(std::min(2 * (size - i), kWriteSlack));
        const qsizetype room = m_buffer.size() - m_used;
        const qsizetype take = std::min(size - i, room / 2);
        char* out = m_buffer.data() + m_used;
        const qsizetype ascii = asciiPrefix(bytes + i, take);
        std::memcpy(out, bytes + i, size_t(ascii));
        out += ascii;
        for (qsizetype k = i + ascii; k < i + take; ++k) {
            const uchar byte = bytes[k];
            if (byte < 0x80) {
                *out++ = char(byte);
            } else {
                *out++ = char(0xC0 | (byte >> 6));
                *out++ = char(0x80 | (byte & 0x3F));
            }
        }
        m_used = out - m_buffer.data();
        i += take;
    }
}

void Writer::encodeUnits(const char16_t* units, qsizetype size) {
    qsizetype i = 0;
    while (i < size) {
        makeRoom(std::min(3 * (size - i) + 1, kWriteSlack));
        const qsizetype room = m_buffer.size() - m_used;
        char* const start = m_buffer.data() + m_used;
#ifdef Q_OS_WIN
        if (m_codePage) {
            const qsizetype take = std::min(size - i, room / m_codePage->maxCharBytes());
            m_used += m_codePage->encode(QStringView(units + i, take), start);
            i += take;
            continue;
        }
#endif
        const qsizetype take = std::min(size - i, (room - 1) / 3);
        char* end = start;
        i = encodeUtf8(units, i, i + take, size, end);
        m_used += end - start;
    }
}

void Writer::writeItem(list_store::ItemText item) {
    // Most items are short ASCII texts: their bytes are the same in UTF-8 and in every code page,
    // so they go in with their line end at once.
    constexpr qsizetype kShortItem = 64;
    if (!item.isWide() && item.size() <= kShortItem && m_buffer.size() - m_used >= kShortItem + 2 &&
        asciiPrefix(item.bytes(), item.size()) == item.size()) {
        char* out = m_buffer.data() + m_used;
        std::memcpy(out, item.latin1(), size_t(item.size()));
        out += item.size();
        if (m_lineEnd == LineEnd::CrLf) *out++ = '\r';
        *out++ = '\n';
        m_used = out - m_buffer.data();
        if (m_used >= kFlushBytes) writeBuffer();
        return;
    }
    if (item.isWide()) {
        encodeUnits(item.utf16(), item.size());
    } else {
        encodeLatin1(item.bytes(), item.size());
    }
    makeRoom(2);
    char* out = m_buffer.data() + m_used;
    if (m_lineEnd == LineEnd::CrLf) *out++ = '\r';
    *out = '\n';
    m_used += m_lineEnd == LineEnd::CrLf ? 2 : 1;
    if (m_used >= kFlushBytes) writeBuffer();
}

void Writer::flush() {
    writeBuffer();
    // A file device keeps small writes in its own buffer; push them out so that a full disk is
    // reported here and not lost at close.
    if (auto* file = qobject_cast<QFileDevice*>(&m_device)) {
        errno = 0;
        if (!file->flush()) throw deviceFailure(*file, FileAction::Write, errno, m_reportedPath);
    }
}

}  // namespace list_files
