#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <memory>

#include "list_files/encoding.h"
#include "list_store/flat_array.h"
#include "list_store/item_list.h"
#include "list_store/item_text.h"

// Written files put CR LF after every item (or LF alone, where asked).
namespace list_files {

class CodePage;

// What follows each written item.
enum class LineEnd { CrLf, Lf };

enum class SaveFormat {
    CodePage,      // no mark; a unit the code page cannot hold becomes its default character
    Utf8WithMark,  // for lists that the code page cannot hold
};

// The format that loses nothing: the code page when it holds every item, as older tools expect,
// otherwise UTF-8 with a byte-order mark. Where UTF-8 is the code page, always the code page.
SaveFormat formatFor(const list_store::ItemList& items, unsigned codePage = systemCodePage());

// In UTF-8, a lone surrogate in U+DC80..U+DCFF is written as the byte it stands for; any other
// lone surrogate has no encoding and is written as U+FFFD.
class Writer {
public:
    // Throws platform::Failure for a code page the system does not have.
    explicit Writer(QIODevice& device, LineEnd lineEnd = LineEnd::CrLf,
                    SaveFormat format = SaveFormat::CodePage, unsigned codePage = systemCodePage());
    ~Writer();
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    // Buffers the item and its line end; throws platform::Failure when the device refuses data.
    void writeItem(list_store::ItemText item);
    // Buffers bytes that are a line's encoding already, and its line end.
    void writeEncodedLine(const char* bytes, qsizetype size);
    // Buffers bytes as they are: lines encoded and ended already.
    void writeEncoded(const char* bytes, qsizetype size);
    // Hands everything buffered to the device; throws platform::Failure on failure. Bytes still
    // buffered when the writer is destroyed are dropped, so call this before closing the device.
    void flush();
    // As Reader::setReportedPath().
    void setReportedPath(const QString& path) { m_reportedPath = path; }

private:
    void encodeUnits(const char16_t* units, qsizetype size);
    void encodeLatin1(const uchar* bytes, qsizetype size);
    void makeRoom(qsizetype bytes);
    void writeBuffer();

    QIODevice& m_device;
    QString m_reportedPath;
    QByteArray m_buffer;
    qsizetype m_used = 0;
    LineEnd m_lineEnd;
#ifdef Q_OS_WIN
    // Null where the items are written in UTF-8.
    std::unique_ptr<list_files::CodePage> m_codePage;
    list_store::FlatArray<char16_t> m_wideScratch;
#endif
};

}  // namespace list_files
