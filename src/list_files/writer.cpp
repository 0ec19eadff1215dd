#include "list_files/writer.h"

#include <QFileDevice>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "list_files/file_failure.h"
#include "list_files/scan.h"

#ifdef Q_OS_WIN
#include "list_files/code_page.h"
#endif

namespace list_files {

namespace {

// The writer hands its buffer to the device once it holds this much; the slack above it lets
// ordinary items be encoded in one piece.
constexpr qsizetype kFlushBytes = qsizetype(1) << 20;
constexpr qsizetype kWriteSlack = qsizetype(64) << 10;
constexpr qsizetype kWriteCapacity = kFlushBytes + kWriteSlack;

}  // namespace

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
        const qsizetype wanted = std::max({m_buffer.size() * 2, m_used + bytes, kSmallestBuffer});
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

void Writer::writeEncoded(const char* bytes, qsizetype size) {
    while (size > 0) {
        makeRoom(std::min(size, kWriteCapacity));
        const qsizetype taken = std::min(size, m_buffer.size() - m_used);
        std::memcpy(m_buffer.data() + m_used, bytes, size_t(taken));
        m_used += taken;
        bytes += taken;
        size -= taken;
        if (m_used >= kFlushBytes) writeBuffer();
    }
}

void Writer::writeEncodedLine(const char* bytes, qsizetype size) {
    if (m_buffer.size() - m_used < size + 2) {
        writeEncoded(bytes, size);
        size = 0;
        makeRoom(2);
    }
    char* out = m_buffer.data() + m_used;
    std::memcpy(out, bytes, size_t(size));
    out += size;
    if (m_lineEnd == LineEnd::CrLf) *out++ = '\r';
    *out++ = '\n';
    m_used = out - m_buffer.data();
    if (m_used >= kFlushBytes) writeBuffer();
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
