#include "cli/byte_lines.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <memory>
#include <vector>

#include "cli/list_io.h"
#include "list_engine/byte_lines.h"
#include "list_files/encoding.h"
#include "list_files/file_failure.h"
#include "list_files/opened_file.h"
#include "list_files/scan.h"
#include "list_store/flat_array.h"
#include "platform/aside.h"
#include "platform/cpu.h"
#include "platform/failure.h"
#include "platform/steps.h"

using namespace Qt::Literals::StringLiterals;

namespace cli {

namespace {

constexpr qsizetype kReadBytes = qsizetype(4) << 20;
// Below this, a second thread costs more than it saves.
constexpr qsizetype kSplitBytes = qsizetype(8) << 20;

bool isUtf16(const uchar* bytes, qsizetype size) {
    const list_files::Encoding encoding = list_files::detectEncoding(bytes, size).encoding;
    return encoding == list_files::Encoding::Utf16Le || encoding == list_files::Encoding::Utf16Be;
}

bool openForReading(QFile& file, const QString& path) {
    file.setFileName(path);
    return file.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

// Reads into bytes[0, wanted) what the file has there; fewer at its end.
qsizetype readUpTo(QFile& file, uchar* bytes, qsizetype wanted) {
    qsizetype got = 0;
    while (got < wanted) {
        errno = 0;
        const qint64 n = file.read(reinterpret_cast<char*>(bytes) + got, wanted - got);
        if (n < 0) throw list_files::deviceFailure(file, list_files::FileAction::Read, errno, {});
        if (n == 0) break;
        got += qsizetype(n);
    }
    return got;
}

// The whole second file in memory, as the set of its lines refers to it.
struct WholeFile {
    std::unique_ptr<uchar[]> bytes;
    qsizetype size = 0;
};

WholeFile readWhole(QFile& file) {
    WholeFile whole;
    qsizetype capacity = std::max<qsizetype>(qsizetype(file.size()) + 1, 4096);
    whole.bytes.reset(new uchar[size_t(capacity)]);
    for (;;) {
        whole.size += readUpTo(file, whole.bytes.get() + whole.size, capacity - whole.size);
        if (whole.size < capacity) return whole;
        // It grew while being read: the rest is read too.
        capacity *= 2;
        std::unique_ptr<uchar[]> larger(new uchar[size_t(capacity)]);
        std::copy(whole.bytes.get(), whole.bytes.get() + whole.size, larger.get());
        whole.bytes = std::move(larger);
    }
}

// Where the first line that starts at or after `from` starts, reading the file there.
qsizetype lineStartFrom(QFile& file, qsizetype from) {
    std::vector<uchar> window(1 << 16);
    qsizetype at = from - 1;  // the byte before: a line end there makes `from` a start
    for (;;) {
        if (!file.seek(at)) throw platform::Failure(file.errorString());
        const qsizetype got = readUpTo(file, window.data(), qsizetype(window.size()));
        const qsizetype end = List::lineEndFrom(window.data(), 0, got);
        if (end == got) {
            if (got < qsizetype(window.size())) return at + got;  // the last line: no split
            at += got;
            continue;
        }
        if (end + 1 == got && got == qsizetype(window.size())) {
            at += end;  // is this CR followed by LF? Read again from it
            continue;
        }
        return at + List::nextLineStart(window.data(), end, got);
    }
}

// Looks up the lines of one part of the first file and writes those that are kept.
class FirstPart {
public:
    FirstPart(const List::ByteLineSet& second, bool keepCommon, list_files::Writer& writer)
        : m_second(second), m_keepCommon(keepCommon), m_writer(writer) {}

    // Reads [from, to) of the file (to its end for -1), `from` a line's start.
    void run(QFile& file, qsizetype from, qsizetype to, platform::Aside* aside) {
        if (!file.seek(from)) throw platform::Failure(file.errorString());
        std::vector<uchar> buffer(static_cast<size_t>(kReadBytes));
        qsizetype held = 0;  // bytes of lines not yet taken, at the buffer's start
        qsizetype left = to < 0 ? -1 : to - from;
        bool first = from == 0;
        for (;;) {
            if (aside && aside->stopRequested()) return;
            if (held == qsizetype(buffer.size())) buffer.resize(buffer.size() * 2);
            qsizetype wanted = qsizetype(buffer.size()) - held;
            if (left >= 0) wanted = std::min(wanted, left);
            const qsizetype got = readUpTo(file, buffer.data() + held, wanted);
            if (left >= 0) left -= got;
            const bool atEnd = got < wanted || left == 0;
            qsizetype size = held + got;
            qsizetype begin = 0;
            if (first) {
                // Only the start of the file can hold a mark, which adds nothing to the lines.
                begin = list_files::detectEncoding(buffer.data(), size).markLength;
                first = false;
            }
            const qsizetype taken = takeLines(buffer.data(), begin, size, atEnd);
            if (atEnd) return;
            held = size - taken;
            std::copy(buffer.data() + taken, buffer.data() + size, buffer.data());
        }
    }

private:
    struct Line {
        const uchar* bytes;
        qsizetype size;
        const uchar* key;  // what is looked up: the line, or its lower case; null: no match
        qsizetype keySize;
        quint64 hash;
    };

    // Takes the whole lines of bytes[begin, size) and returns where the unfinished one starts:
    // a line end is whole only when what follows it is known (a CR may precede an LF).
    qsizetype takeLines(const uchar* bytes, qsizetype begin, qsizetype size, bool atEnd) {
        // Looked up in batches, each slot asked for ahead, so that the memory's delays overlap.
        constexpr int kBatch = 32;
        Line batch[kBatch];
        int count = 0;
        qsizetype start = begin;
        while (start < size) {
            const qsizetype end = List::lineEndFrom(bytes, start, size);
            if (!atEnd && end + 1 >= size) break;
            batch[count++] = lineAt(bytes + start, end - start);
            if (count == kBatch) {
                lookUp(batch, count);
                count = 0;
            }
            start = List::nextLineStart(bytes, end, size);
        }
        lookUp(batch, count);
        return start;
    }

    Line lineAt(const uchar* bytes, qsizetype size) {
        const bool lower = m_second.lowerAscii();
        const List::ByteRange range = List::keyOfLine(bytes, 0, size, m_second.trims());
        const uchar* key = bytes + range.start;
        if (!lower || list_files::asciiPrefix(key, range.size) == range.size) {
            return {bytes, size, key, range.size, List::hashBytes(key, range.size, lower)};
        }
        // Beyond ASCII the Unicode tables lower the case, as for the list store's items; a line
        // whose lower case is not all ASCII matches no line of an ASCII file. A trimmed key
        // decodes on its own as it does within its line.
        QString text(range.size, Qt::Uninitialized);
        const list_files::Decoded decoded =
            list_files::decodeUtf8(key, range.size, true, reinterpret_cast<char16_t*>(text.data()));
        text.truncate(decoded.units);
        text = std::move(text).toLower();
        for (const QChar unit : std::as_const(text)) {
            if (unit.unicode() >= 0x80) return {bytes, size, nullptr, 0, 0};
        }
        const QByteArray& lowered = m_loweredKeys.emplace_back(text.toLatin1());
        const auto* keyBytes = reinterpret_cast<const uchar*>(lowered.constData());
        return {bytes, size, keyBytes, lowered.size(),
                List::hashBytes(keyBytes, lowered.size(), true)};
    }

    void lookUp(const Line* batch, int count) {
        for (int k = 0; k < count; ++k) {
            if (batch[k].key) m_second.prefetch(batch[k].hash);
        }
        for (int k = 0; k < count; ++k) {
            if (batch[k].key) m_second.prefetchText(batch[k].hash);
        }
        for (int k = 0; k < count; ++k) {
            const Line& line = batch[k];
            const bool found = line.key && m_second.contains(line.key, line.keySize, line.hash);
            if (found == m_keepCommon) {
                m_writer.writeEncodedLine(reinterpret_cast<const char*>(line.bytes), line.size);
            }
        }
        m_loweredKeys.clear();
    }

    const List::ByteLineSet& m_second;
    bool m_keepCommon;
    list_files::Writer& m_writer;
    std::vector<QByteArray> m_loweredKeys;  // of the batch's lines beyond ASCII
};

}  // namespace

namespace {

// Looks up the first file's lines and hands those kept to `writer`: in two parts on two threads
// when it is large, the second part's kept lines waiting in memory for the first part's. Returns
// false (with the failure in `failures`) when the file could not be read whole.
bool streamFirst(const TwoFileRequest& request, QFile& file, const list_files::OpenedFile& opened,
                 const List::ByteLineSet& lines, list_files::Writer& writer, Failures& failures) {
    platform::Steps step(failures, request.first);
    const qsizetype size = qsizetype(file.size());
    if (size < kSplitBytes) {
        return step(0, [&] {
            FirstPart(lines, request.keepCommon, writer).run(file, 0, -1, nullptr);
            if (opened.changed()) throw list_files::changedFailure({});
        });
    }
    qsizetype split = 0;
    QFile otherFile;
    std::optional<list_files::OpenedFile> otherOpened;
    if (!step(0, [&] {
            split = lineStartFrom(file, size / 2);
            if (!openForReading(otherFile, request.first)) {
                throw platform::Failure(otherFile.errorString());
            }
            otherOpened.emplace(opened, otherFile);
        })) {
        return false;
    }
    QByteArray secondPart;
    QBuffer secondPartDevice(&secondPart);
    secondPartDevice.open(QIODevice::WriteOnly);
    Failures otherFailures;
    bool otherRead = false;
    platform::Aside other([&](platform::Aside& aside) {
        platform::clearUpperVectorState();
        list_files::Writer partWriter(secondPartDevice, request.lineEnd,
                                      list_files::SaveFormat::CodePage);
        otherRead = platform::Steps(otherFailures, request.first)(0, [&] {
            FirstPart(lines, request.keepCommon, partWriter).run(otherFile, split, -1, &aside);
            partWriter.flush();
            // This part reads to the end: what changed, it sees.
            if (!aside.stopRequested() && otherOpened->changed()) {
                throw list_files::changedFailure({});
            }
        });
    });
    const bool firstRead =
        step(0, [&] { FirstPart(lines, request.keepCommon, writer).run(file, 0, split, nullptr); });
    if (!firstRead) other.requestStop();
    other.wait();
    if (!firstRead) return false;
    if (!otherRead) {
        otherFailures.print();  // the first part's failure would have been the one to tell
        return false;
    }
    writer.writeEncoded(secondPart.constData(), secondPart.size());
    return true;
}

}  // namespace

namespace {

// Whether the files' lines can be compared as their bytes, before anything is read.
bool bytesStandForLines(const TwoFileRequest& request) {
    // Elsewhere a file without a mark may be in another code page, whose bytes do not compare
    // as its characters do.
    if (list_files::systemCodePage() != list_files::kUtf8CodePage) return false;
    if (request.first == kStandardStream || request.second == kStandardStream) return false;
    return QFileInfo(request.first).isFile() && QFileInfo(request.second).isFile();
}

bool readWholeFile(QFile& file, const QString& path, WholeFile& whole, Failures& failures) {
    return platform::Steps(failures, path)(0, [&] {
        const list_files::OpenedFile opened(file);
        whole = readWhole(file);
        if (opened.changed()) throw list_files::changedFailure({});
    });
}

// A file's lines: its bytes after the byte-order mark.
struct Text {
    const uchar* bytes;
    qsizetype size;
};

Text textOf(const WholeFile& whole) {
    const qsizetype mark = list_files::detectEncoding(whole.bytes.get(), whole.size).markLength;
    return {whole.bytes.get() + mark, whole.size - mark};
}

List::ByteKeys keysOf(const TwoFileRequest& request) {
    return {.lowerAscii = request.ignoreCase, .trim = request.trim};
}

bool isAscii(const Text& text) {
    return list_files::asciiPrefix(text.bytes, text.size) == text.size;
}

// Where the line that holds the middle of `text` ends, past its line end: the start of the
// second half when two threads share the lines.
qsizetype middleLineStart(const Text& text) {
    const qsizetype half = List::lineEndFrom(text.bytes, text.size / 2, text.size);
    return List::nextLineStart(text.bytes, half, text.size);
}

// Adds every line of `text` to `lines`, on two threads when it is large; returns how many
// distinct lines it holds.
qsizetype addAll(List::ByteLineSet& lines, const Text& text, quint32* tally = nullptr) {
    if (text.size < kSplitBytes) return lines.addLines(0, text.size, tally);
    const qsizetype split = middleLineStart(text);
    qsizetype added = 0;
    platform::Aside other([&](platform::Aside&) {
        platform::clearUpperVectorState();
        added = lines.addLines(split, text.size, tally);
    });
    const qsizetype before = lines.addLines(0, split, tally);
    other.wait();
    return before + added;
}

// A second file's slot counts its lines in the low bits; the top bit says a line of the first
// file has its key.
constexpr quint32 kMatched = quint32(1) << 31;

// Looks up the first file's lines that start in [from, to) among the second file's, and adds
// those not there to `unmatched`, which counts their distinct keys. `tally` gets these lines' share
// of the regions' figures: both and only-first lines and keys, and the second's lines matched.
void tallyFirst(const Text& first, qsizetype from, qsizetype to, const List::ByteLineSet& second,
                quint32* secondTally, List::ByteLineSet& unmatched, Figures& tally) {
    // In batches, each slot asked for ahead, so that the memory's delays overlap.
    constexpr int kBatch = 32;
    struct Line {
        qsizetype start;  // of the line's key
        qsizetype size;
        quint64 hash;
        qsizetype slot;
    };
    Line batch[kBatch];
    const bool lower = second.lowerAscii();
    qsizetype start = from;
    while (start < to) {
        int count = 0;
        for (; count < kBatch && start < to; ++count) {
            const qsizetype end = List::lineEndFrom(first.bytes, start, first.size);
            const List::ByteRange key = List::keyOfLine(first.bytes, start, end, second.trims());
            const quint64 hash = List::hashBytes(first.bytes + key.start, key.size, lower);
            batch[count] = {key.start, key.size, hash, -1};
            second.prefetch(hash);
            start = List::nextLineStart(first.bytes, end, first.size);
        }
        for (int k = 0; k < count; ++k) second.prefetchText(batch[k].hash);
        for (int k = 0; k < count; ++k) {
            Line& line = batch[k];
            line.slot = second.find(first.bytes + line.start, line.size, line.hash);
            if (line.slot >= 0) {
                __builtin_prefetch(secondTally + line.slot);
            } else {
                unmatched.prefetch(line.hash);
            }
        }
        for (int k = 0; k < count; ++k) {
            const Line& line = batch[k];
            if (line.slot < 0) {
                ++tally.onlyFirst;
                if (unmatched.add(line.start, line.size, line.hash).isNew) ++tally.onlyFirstKeys;
                continue;
            }
            ++tally.bothFirst;
            std::atomic_ref<quint32> lines(secondTally[line.slot]);
            if (lines.load(std::memory_order_relaxed) & kMatched) continue;
            // Whichever thread marks the key first counts it and its lines.
            const quint32 before = lines.fetch_or(kMatched, std::memory_order_relaxed);
            if (before & kMatched) continue;
            ++tally.bothKeys;
            tally.bothSecond += before;
        }
    }
}

}  // namespace

std::optional<int> compareAsBytes(const TwoFileRequest& request) {
    if (!bytesStandForLines(request)) return std::nullopt;
    QFile firstFile;
    QFile secondFile;
    if (!openForReading(firstFile, request.first) || !openForReading(secondFile, request.second)) {
        return std::nullopt;  // the list store's path reports it
    }
    // What the first file was at the start: its second part is opened only later.
    const list_files::OpenedFile firstOpened(firstFile);
    uchar start[4];
    qsizetype startSize = 0;
    Failures readFailures;
    WholeFile second;
    const bool read = platform::Steps(readFailures, request.first)(
                          0, [&] { startSize = readUpTo(firstFile, start, sizeof start); }) &&
                      readWholeFile(secondFile, request.second, second, readFailures);
    if (!read) {
        readFailures.print();
        return kFileFailed;
    }
    if (isUtf16(start, startSize) || isUtf16(second.bytes.get(), second.size)) return std::nullopt;
    const Text text = textOf(second);
    if (request.ignoreCase && !isAscii(text)) return std::nullopt;

    platform::clearUpperVectorState();
    List::ByteLineSet lines(text.bytes, text.size, List::countLines(text.bytes, text.size),
                            keysOf(request));
    addAll(lines, text);

    Failures writeFailures;
    bool firstRead = false;
    saveWith(request.output, request.lineEnd, list_files::SaveFormat::CodePage, writeFailures,
             [&](list_files::Writer& writer) {
                 firstRead =
                     streamFirst(request, firstFile, firstOpened, lines, writer, readFailures);
                 return firstRead;
             });
    if (!firstRead || writeFailures.any()) {
        readFailures.print();
        writeFailures.print();
        return kFileFailed;
    }
    return kDone;
}

std::optional<int> figuresAsBytes(const TwoFileRequest& request,
                                  const std::function<int(const Figures&)>& write) {
    if (!bytesStandForLines(request)) return std::nullopt;
    QFile firstFile;
    QFile secondFile;
    if (!openForReading(firstFile, request.first) || !openForReading(secondFile, request.second)) {
        return std::nullopt;  // the list store's path reports it
    }
    // Both whole, at the same time: the first file's lines not in the second are kept as a set
    // over its bytes.
    WholeFile firstWhole;
    WholeFile secondWhole;
    Failures firstFailures;
    Failures secondFailures;
    bool secondRead = false;
    bool firstRead = false;
    {
        platform::Aside reader([&](platform::Aside&) {
            secondRead = readWholeFile(secondFile, request.second, secondWhole, secondFailures);
        });
        firstRead = readWholeFile(firstFile, request.first, firstWhole, firstFailures);
        reader.wait();
    }
    if (!firstRead || !secondRead) {
        firstFailures.print();
        secondFailures.print();
        return kFileFailed;
    }
    if (isUtf16(firstWhole.bytes.get(), firstWhole.size) ||
        isUtf16(secondWhole.bytes.get(), secondWhole.size)) {
        return std::nullopt;
    }
    const Text first = textOf(firstWhole);
    const Text second = textOf(secondWhole);
    // Beyond ASCII a line's lower case may be another line's.
    if (request.ignoreCase && (!isAscii(first) || !isAscii(second))) return std::nullopt;
    const qsizetype firstLines = List::countLines(first.bytes, first.size);
    const qsizetype secondLines = List::countLines(second.bytes, second.size);
    // The lists count their entries in an int, and so does a slot its lines.
    if (firstLines > INT_MAX || secondLines > INT_MAX) return std::nullopt;

    platform::clearUpperVectorState();
    List::ByteLineSet secondSet(second.bytes, second.size, secondLines, keysOf(request));
    auto secondTally =
        list_store::FlatArray<quint32>::zeroed(secondSet.capacity(), list_store::Pages::Huge);
    const qsizetype secondKeys = addAll(secondSet, second, secondTally.data());
    List::ByteLineSet unmatched(first.bytes, first.size, firstLines, keysOf(request));
    Figures parts[2];
    if (first.size < kSplitBytes) {
        tallyFirst(first, 0, first.size, secondSet, secondTally.data(), unmatched, parts[0]);
    } else {
        const qsizetype split = middleLineStart(first);
        platform::Aside other([&](platform::Aside&) {
            platform::clearUpperVectorState();
            tallyFirst(first, split, first.size, secondSet, secondTally.data(), unmatched,
                       parts[1]);
        });
        tallyFirst(first, 0, split, secondSet, secondTally.data(), unmatched, parts[0]);
        other.wait();
    }

    Figures figures;
    for (const Figures& part : parts) {
        figures.onlyFirst += part.onlyFirst;
        figures.onlyFirstKeys += part.onlyFirstKeys;
        figures.bothFirst += part.bothFirst;
        figures.bothSecond += part.bothSecond;
        figures.bothKeys += part.bothKeys;
    }
    figures.firstItems = firstLines;
    figures.firstRepeats = firstLines - figures.onlyFirstKeys - figures.bothKeys;
    figures.secondItems = secondLines;
    figures.secondRepeats = secondLines - secondKeys;
    figures.onlySecond = secondLines - figures.bothSecond;
    figures.onlySecondKeys = secondKeys - figures.bothKeys;
    return write(figures);
}

}  // namespace cli
