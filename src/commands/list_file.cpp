#include "commands/list_file.h"

#include <QFileDevice>
#include <QtEndian>
#include <algorithm>
#include <cstring>

#ifdef Q_OS_WIN
#include <QStringDecoder>
#endif

#include "platform/failure.h"
#include "platform/flat_array.h"

namespace listfile {

namespace {

// The writer hands its buffer to the device once it holds this much; the slack above it lets
// ordinary items be encoded in one piece.
constexpr qsizetype kFlushBytes = qsizetype(1) << 20;
constexpr qsizetype kWriteSlack = qsizetype(64) << 10;
constexpr qsizetype kWriteCapacity = kFlushBytes + kWriteSlack;
// Buffers start at this size and grow with what a file turns out to need.
constexpr qsizetype kSmallestRequest = qsizetype(4) << 10;
// An unfinished line buffer bigger than this is given back once its line is done.
constexpr qsizetype kKeptPendingUnits = qsizetype(1) << 16;

// Escaped bytes stand in the low-surrogate range, where decoded valid text never puts a lone
// unit; only bytes from 0x80 up are ever escaped, since lower ones are always valid UTF-8.
constexpr char16_t kEscapeBase = 0xDC00;

enum class Encoding { Undecided, Default, Utf8, Utf16Le, Utf16Be };

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

// Strict UTF-8: overlong forms, encoded surrogates, code points above U+10FFFF, stray
// continuation bytes and truncated sequences are invalid, and each of their bytes is escaped on
// its own. `out` needs room for `size` units: no byte yields more than one unit.
Decoded decodeUtf8(const uchar* in, qsizetype size, bool final, char16_t* out) {
    char16_t* o = out;
    qsizetype i = 0;
    while (i < size) {
        // Runs of ASCII go eight bytes at a time.
        while (size - i >= 8) {
            quint64 word;
            std::memcpy(&word, in + i, 8);
            if (word & 0x8080808080808080ULL) break;
            for (int k = 0; k < 8; ++k) o[k] = in[i + k];
            o += 8;
            i += 8;
        }
        if (i >= size) break;
        const uchar lead = in[i];
        if (lead < 0x80) {
            *o++ = lead;
            ++i;
            continue;
        }
        int needed;
        char32_t codePoint;
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
            *o++ = char16_t(kEscapeBase + lead);
            ++i;
            continue;
        }
        bool valid = true;
        bool truncated = false;
        for (int k = 1; k <= needed; ++k) {
            if (i + k >= size) {
                truncated = true;
                break;
            }
            const uchar next = in[i + k];
            if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xBF)) {
                valid = false;
                break;
            }
            codePoint = (codePoint << 6) | (next & 0x3F);
        }
        if (truncated) {
            if (!final) break;  // the rest arrives with the next chunk
            valid = false;
        }
        if (!valid) {
            *o++ = char16_t(kEscapeBase + lead);
            ++i;
            continue;
        }
        if (codePoint >= 0x10000) {
            *o++ = QChar::highSurrogate(codePoint);
            *o++ = QChar::lowSurrogate(codePoint);
        } else {
            *o++ = char16_t(codePoint);
        }
        i += needed + 1;
    }
    return {qsizetype(o - out), i};
}

// A trailing odd byte at the end of the file is kept as U+DC00 + byte.
Decoded decodeUtf16(const uchar* in, qsizetype size, bool final, bool bigEndian, char16_t* out) {
    const qsizetype units = size / 2;
    if (bigEndian) {
        qFromBigEndian<quint16>(in, units, out);
    } else {
        qFromLittleEndian<quint16>(in, units, out);
    }
    if (size % 2 == 0 || !final) return {units, units * 2};
    out[units] = char16_t(kEscapeBase + in[size - 1]);
    return {units + 1, size};
}

#ifndef Q_OS_WIN
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
#endif

}  // namespace

struct Reader::State {
    State(QIODevice& d, qsizetype chunk) : device(d), chunkBytes(std::max<qsizetype>(chunk, 1)) {}

    qsizetype nextRequest() const;

    void addLines(const char16_t* text, qsizetype size, platform::TextBlock& lines);
    void finishPending(platform::TextBlock& lines);

    QIODevice& device;
    const qsizetype chunkBytes;
    Encoding encoding = Encoding::Undecided;
    platform::FlatArray<uchar> bytes;  // carried bytes, then the chunk just read
    // Bytes kept back for the next call: an unfinished UTF-8 sequence, an odd UTF-16 byte, or
    // the start of what may be a byte-order mark. Never more than three.
    qsizetype carried = 0;
    platform::FlatArray<char16_t> units;    // the decoded chunk
    platform::FlatArray<char16_t> pending;  // the line not yet ended
    bool skipLineFeed = false;              // the last chunk ended in a CR
    bool finished = false;
#ifdef Q_OS_WIN
    QStringDecoder systemDecoder{QStringDecoder::System};
#endif
};

// A full chunk, unless the device knows that less is left: a short file then needs no buffers
// of a chunk's size.
qsizetype Reader::State::nextRequest() const {
    if (device.isSequential()) return chunkBytes;
    const qint64 left = device.bytesAvailable();
    // A file that reports no size may still have content; read it in modest pieces.
    if (left <= 0) return std::min<qsizetype>(chunkBytes, kSmallestRequest);
    return qsizetype(std::min<qint64>(chunkBytes, left));
}

void Reader::State::finishPending(platform::TextBlock& lines) {
    lines.appendToLast(QStringView(pending.data(), pending.size()));
    if (pending.size() > kKeptPendingUnits) {
        pending.clear();
    } else {
        pending.resize(0);
    }
}

namespace {

// The first unit from `i` on that could end a line (any unit up to CR), or `size`. Four units
// are tested at once while none of them is that low.
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

void Reader::State::addLines(const char16_t* text, qsizetype size, platform::TextBlock& lines) {
    qsizetype i = 0;
    if (size > 0 && skipLineFeed) {
        if (text[0] == u'\n') i = 1;
        skipLineFeed = false;
    }
    // Every unit may end up in `lines`: one allocation instead of many small growths.
    lines.reserve(lines.count(), lines.charCount() + pending.size() + size);
    qsizetype begin = i;
    while (i < size) {
        i = findLowUnit(text, i, size);
        if (i == size) break;
        const char16_t unit = text[i];
        if (unit != u'\r' && unit != u'\n') {
            ++i;
            continue;
        }
        if (!pending.isEmpty()) finishPending(lines);
        lines.appendToLast(QStringView(text + begin, i - begin));
        lines.finishText();
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
    pending.append(text + begin, size - begin);
}

Reader::Reader(QIODevice& device) : Reader(device, kChunkBytes) {}

Reader::Reader(QIODevice& device, qsizetype chunkBytes)
    : m_state(std::make_unique<State>(device, chunkBytes)) {}

Reader::~Reader() = default;

bool Reader::readChunk(platform::TextBlock& lines) {
    State& s = *m_state;
    if (s.finished) return false;

    const qsizetype request = s.nextRequest();
    if (s.bytes.size() < s.carried + request) s.bytes.resize(s.carried + request);
    if (s.units.size() < s.carried + request) s.units.resize(s.carried + request);
    uchar* bytes = s.bytes.data();
    const qint64 got = s.device.read(reinterpret_cast<char*>(bytes) + s.carried, request);
    if (got < 0) throw platform::Failure(s.device.errorString());
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
        begin = detected.markLength;
    }

    Decoded decoded{0, size - begin};
    switch (s.encoding) {
        case Encoding::Undecided:
        case Encoding::Default:
#ifdef Q_OS_WIN
        {
            const QByteArrayView view(bytes + begin, size - begin);
            const qsizetype room = s.systemDecoder.requiredSpace(view.size());
            if (room > s.units.size()) s.units.resize(room);
            QChar* out = reinterpret_cast<QChar*>(s.units.data());
            decoded.units = s.systemDecoder.appendToBuffer(out, view) - out;
            break;
        }
#endif
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
    if (!s.pending.isEmpty()) {
        s.finishPending(lines);
        lines.finishText();
    }
    s.finished = true;
    return false;
}

Writer::Writer(QIODevice& device, LineEnd lineEnd) : m_device(device), m_lineEnd(lineEnd) {}

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
        const qint64 written = m_device.write(data, left);
        if (written <= 0) throw platform::Failure(m_device.errorString());
        data += written;
        left -= qsizetype(written);
    }
}

void Writer::encodeUnits(const char16_t* units, qsizetype size) {
    qsizetype i = 0;
    while (i < size) {
        makeRoom(std::min(3 * (size - i) + 1, kWriteSlack));
        const qsizetype room = m_buffer.size() - m_used;
        char* const start = m_buffer.data() + m_used;
#ifdef Q_OS_WIN
        qsizetype take = size - i;
        while (take > 1 && m_encoder.requiredSpace(take) > room) take /= 2;
        if (m_encoder.requiredSpace(take) > room) {
            writeBuffer();
            continue;
        }
        const char* end = m_encoder.appendToBuffer(start, QStringView(units + i, take));
        i += take;
        m_used += end - start;
#else
        const qsizetype take = std::min(size - i, (room - 1) / 3);
        char* end = start;
        i = encodeUtf8(units, i, i + take, size, end);
        m_used += end - start;
#endif
    }
}

void Writer::writeItem(QStringView item) {
    encodeUnits(item.utf16(), item.size());
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
        if (!file->flush()) throw platform::Failure(file->errorString());
    }
}

}  // namespace listfile
