#include "list_files/reader.h"

#include <QBuffer>
#include <QFile>
#include <QFileDevice>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <type_traits>

#include "list_files/file_failure.h"
#include "list_files/opened_file.h"
#include "list_files/scan.h"
#include "list_store/flat_array.h"
#include "platform/failure.h"

#ifdef Q_OS_WIN
#include "list_files/code_page.h"
#endif

namespace list_files {

namespace {

// An unfinished line buffer bigger than this is given back once its line is done.
constexpr qsizetype kKeptPendingBytes = qsizetype(1) << 17;

}  // namespace

struct Reader::State {
    QString reportedPath;
    State(QIODevice& d, qsizetype chunk, unsigned page)
        : device(&d), chunkBytes(std::max<qsizetype>(chunk, 1)), opened(d) {
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
    const OpenedFile opened;
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
    if (left <= 0) return std::min<qsizetype>(chunkBytes, kSmallestBuffer);
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

inline list_store::ItemText piece(const char16_t* text, qsizetype size) {
    return list_store::ItemText(text, size);
}
inline list_store::ItemText piece(const uchar* text, qsizetype size) {
    return list_store::ItemText(reinterpret_cast<const char*>(text), size);
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
    // Before the last line is taken: of a file cut short it is a torn piece.
    if (atEnd && s.opened.changed()) throw changedFailure(s.reportedPath);
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

}  // namespace list_files
