#pragma once

#include <QIODevice>
#include <QString>
#include <QStringView>
#include <memory>

#include "list_files/encoding.h"
#include "list_store/item_list.h"
#include "list_store/text_block.h"

// The list file: one item per line. Lines end at CR LF, a lone CR or a lone LF; a terminator at
// the very end adds no item. UTF-8 and UTF-16 byte-order marks are recognised and dropped; in
// UTF-16, unpaired surrogates and an odd last byte become U+FFFD.
// Without a mark, on Windows, a file that is valid UTF-8 is read as UTF-8 (what today's editors
// write; plain ASCII reads the same either way) and any other file in the ANSI code page. Where
// UTF-8 stands in for the code page (other systems, or Windows set to UTF-8), every byte that is
// not part of valid UTF-8 is kept as the code unit U+DC00 + byte, so that a file loads and saves
// back byte for byte.
namespace list_files {

// Bytes that one Reader::readChunk() call takes from the device at most.
inline constexpr qsizetype kChunkBytes = qsizetype(1) << 20;

class Reader {
public:
    // Takes at most `chunkBytes` (at least 1) per call; small chunks let tests split every
    // sequence and terminator across calls. Throws platform::Failure for a code page the system
    // does not have.
    explicit Reader(QIODevice& device, qsizetype chunkBytes = kChunkBytes,
                    unsigned codePage = systemCodePage());
    ~Reader();
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    // Reads at most about one chunk of bytes and adds every line it completes to `lines`.
    // An unfinished line stays inside the reader, so the caller may hand `lines` on and clear it
    // between calls. Returns false once the device is exhausted (the last unterminated line
    // added). Throws platform::Failure when the device fails; lines added before stay.
    bool readChunk(list_store::TextBlock& lines);
    // A failure then names this file before the system's reason; otherwise it gives the reason
    // alone.
    void setReportedPath(const QString& path);

private:
    struct State;
    std::unique_ptr<State> m_state;
};

// Appends every line of the device to `list`, a chunk at a time, handling no events between
// chunks: for callers without a window (the command line, the benchmark). Throws as Reader does.
void appendAll(QIODevice& device, list_store::ItemList& list);

// Splits text that is decoded already (the clipboard's, a drop's) into lines by the same rules:
// CR LF, CR and LF end a line, a line end at the very end adds no item, empty text none at all.
class TextLines {
public:
    explicit TextLines(QStringView text) : m_text(text) {}

    // Adds the next lines to `lines`: whole lines of about `units` code units together, at least
    // one. Returns false once the last line has been added.
    bool next(list_store::TextBlock& lines, qsizetype units);

private:
    QStringView m_text;
    qsizetype m_at = 0;
};

}  // namespace list_files
