#pragma once

#include <QIODevice>
#include <QString>
#include <memory>

#ifdef Q_OS_WIN
#include <QStringEncoder>
#endif

#include "platform/item_list.h"
#include "platform/text_block.h"

// The list file: one item per line. Lines end at CR LF, a lone CR or a lone LF; a terminator at
// the very end adds no item. Without a byte-order mark the bytes are in the system's ANSI code
// page on Windows and UTF-8 elsewhere; there every byte that is not part of valid UTF-8 is kept
// as the code unit U+DC00 + byte, so that a file loads and saves back byte for byte. UTF-8 and
// UTF-16 byte-order marks are recognised and dropped. Written files use the same encoding
// without a mark, each item followed by CR LF (or LF alone, where asked).
namespace listfile {

// Bytes that one Reader::readChunk() call takes from the device at most.
inline constexpr qsizetype kChunkBytes = qsizetype(1) << 20;

class Reader {
public:
    explicit Reader(QIODevice& device);
    // Takes at most `chunkBytes` (at least 1) per call instead of kChunkBytes; small chunks let
    // tests split every sequence and terminator across calls.
    Reader(QIODevice& device, qsizetype chunkBytes);
    ~Reader();
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    // Reads at most about one chunk of bytes and adds every line it completes to `lines`.
    // An unfinished line stays inside the reader, so the caller may hand `lines` on and clear it
    // between calls. Returns false once the device is exhausted (the last unterminated line
    // added). Throws platform::Failure when the device fails; lines added before stay.
    bool readChunk(platform::TextBlock& lines);

private:
    struct State;
    std::unique_ptr<State> m_state;
};

// What follows each written item.
enum class LineEnd { CrLf, Lf };

// Outside Windows, a lone surrogate in U+DC80..U+DCFF is written as the byte it stands for; any
// other lone surrogate has no encoding and is written as U+FFFD.
class Writer {
public:
    explicit Writer(QIODevice& device, LineEnd lineEnd = LineEnd::CrLf);
    ~Writer();
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    // Buffers the item and its line end; throws platform::Failure when the device refuses data.
    void writeItem(QStringView item);
    // Hands everything buffered to the device; throws platform::Failure on failure. Bytes still
    // buffered when the writer is destroyed are dropped, so call this before closing the device.
    void flush();

private:
    void encodeUnits(const char16_t* units, qsizetype size);
    void makeRoom(qsizetype bytes);
    void writeBuffer();

    QIODevice& m_device;
    QByteArray m_buffer;
    qsizetype m_used = 0;
    LineEnd m_lineEnd;
#ifdef Q_OS_WIN
    QStringEncoder m_encoder{QStringEncoder::System};
#endif
};

}  // namespace listfile
