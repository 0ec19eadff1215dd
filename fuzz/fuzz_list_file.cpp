// Feeds arbitrary bytes to the list file reader, once in tiny chunks and once in the normal
// chunk size, and checks that
// - both readings give the same items and never leave an unfinished line in the block;
// - a file the writer could have written itself (no byte-order mark, every line ended by CR LF,
//   no lone CR or LF) saves back byte for byte;
// - for any file read as UTF-8, what the writer makes of its items reads back as the same items
//   (unless the written bytes happen to begin with a byte-order mark);
// - a file read as UTF-16 saves as valid UTF-8.
// Any mismatch aborts, so libFuzzer keeps the input.

#include <QBuffer>
#include <QByteArray>
#include <QStringDecoder>
#include <QStringList>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "list_file_helpers.h"
#include "list_files/reader.h"

namespace {

QStringList readItems(const QByteArray& bytes, qsizetype chunk) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    list_files::Reader reader(buffer, chunk);
    list_store::TextBlock block;
    QStringList items;
    bool more = true;
    while (more) {
        more = reader.readChunk(block);
        if (block.pendingLength() != 0) {
            std::fprintf(stderr, "unfinished line left in the block\n");
            std::abort();
        }
        for (qsizetype i = 0; i < block.count(); ++i) items.append(block.text(i).toString());
        block.clear();
    }
    return items;
}

bool startsWithMark(const QByteArray& bytes) {
    return bytes.startsWith("\xEF\xBB\xBF") || bytes.startsWith("\xFF\xFE") ||
           bytes.startsWith("\xFE\xFF");
}

bool endsEveryLineWithCrLf(const QByteArray& bytes) {
    if (bytes.isEmpty()) return true;
    if (!bytes.endsWith("\r\n")) return false;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' && (i + 1 == bytes.size() || bytes[i + 1] != '\n')) return false;
        if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r')) return false;
    }
    return true;
}

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "list file property broken: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const qsizetype smallChunk = 1 + qsizetype(size % 5);

    const QStringList items = readItems(bytes, list_files::kChunkBytes);
    if (readItems(bytes, smallChunk) != items) fail("chunk size changes the items");

    const QByteArray written = writeItems(items);
    if (!startsWithMark(bytes) && endsEveryLineWithCrLf(bytes) && written != bytes) {
        fail("load then save changes the bytes");
    }
    const bool readAsUtf8 = !bytes.startsWith("\xFF\xFE") && !bytes.startsWith("\xFE\xFF");
    if (readAsUtf8 && !startsWithMark(written) && readItems(written, smallChunk) != items) {
        fail("saved items read back differently");
    }
#ifndef Q_OS_WIN
    if (!readAsUtf8) {
        QStringDecoder utf8(QStringDecoder::Utf8);
        (void)utf8.decode(written);
        if (utf8.hasError()) fail("a file read as UTF-16 saved as invalid UTF-8");
    }
#endif
    return 0;
}
