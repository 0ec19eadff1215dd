#include "cli/byte_lines.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <memory>
#include <vector>

#include "cli/list_io.h"
#include "list_engine/byte_lines.h"
#include "list_files/encoding.h"
#include "list_files/file_failure.h"
#include "list_files/opened_file.h"
#include "list_files/scan.h"
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
        if (!lower || list_files::asciiPrefix(bytes, size) == size) {
            return {bytes, size, bytes, size, List::hashBytes(bytes, size, lower)};
        }
        // Beyond ASCII the Unicode tables lower the case, as for the list store's items; a line
        // whose lower case is not all ASCII matches no line of an ASCII file.
        QString text(size, Qt::Uninitialized);
        const list_files::Decoded decoded =
            list_files::decodeUtf8(bytes, size, true, reinterpret_cast<char16_t*>(text.data()));
        text.truncate(decoded.units);
        text = std::move(text).toLower();
        for (const QChar unit : std::as_const(text)) {
            if (unit.unicode() >= 0x80) return {bytes, size, nullptr, 0, 0};
        }
        const QByteArray& key = m_loweredKeys.emplace_back(text.toLatin1());
        const auto* keyBytes = reinterpret_cast<const uchar*>(key.constData());
        return {bytes, size, keyBytes, key.size(), List::hashBytes(keyBytes, key.size(), true)};
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

std::optional<int> compareAsBytes(const TwoFileRequest& request) {
    // Elsewhere a file without a mark may be in another code page, whose bytes do not compare
    // as its characters do.
    if (list_files::systemCodePage() != list_files::kUtf8CodePage) return std::nullopt;
    if (request.first == kStandardStream || request.second == kStandardStream) return std::nullopt;
    if (!QFileInfo(request.first).isFile() || !QFileInfo(request.second).isFile()) {
        return std::nullopt;
    }
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
                      platform::Steps(readFailures, request.second)(0, [&] {
                          const list_files::OpenedFile opened(secondFile);
                          second = readWhole(secondFile);
                          if (opened.changed()) throw list_files::changedFailure({});
                      });
    if (!read) {
        readFailures.print();
        return kFileFailed;
    }
    if (isUtf16(start, startSize) || isUtf16(second.bytes.get(), second.size)) return std::nullopt;
    const qsizetype mark = list_files::detectEncoding(second.bytes.get(), second.size).markLength;
    const uchar* text = second.bytes.get() + mark;
    const qsizetype textSize = second.size - mark;
    if (request.ignoreCase && list_files::asciiPrefix(text, textSize) != textSize) {
        return std::nullopt;
    }

    platform::clearUpperVectorState();
    List::ByteLineSet lines(text, textSize, List::countLines(text, textSize), request.ignoreCase);
    if (textSize < kSplitBytes) {
        lines.addLines(0, textSize);
    } else {
        const qsizetype half = List::lineEndFrom(text, textSize / 2, textSize);
        const qsizetype split = List::nextLineStart(text, half, textSize);
        platform::Aside other([&](platform::Aside&) {
            platform::clearUpperVectorState();
            lines.addLines(split, textSize);
        });
        lines.addLines(0, split);
        other.wait();
    }

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

}  // namespace cli
