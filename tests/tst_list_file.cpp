#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QtEndian>
#include <QtTest>
#include <algorithm>
#include <cstring>

#include "fail_device.h"
#include "list_file_helpers.h"
#include "list_files/encoding.h"
#include "list_files/reader.h"
#include "list_files/writer.h"
#include "list_store/list_store.h"
#include "platform/failure.h"

using namespace Qt::Literals::StringLiterals;

namespace {

// Reads every chunk into `block`; the failure that ended the reading, or nothing.
QString readUntilFailure(list_files::Reader& reader, list_store::TextBlock& block) {
    try {
        while (reader.readChunk(block)) {
        }
    } catch (const platform::Failure& failure) {
        return failure.description();
    }
    return {};
}

// Most cases read and write with UTF-8 as the code page, what every system but Windows uses and
// what Windows uses when set to UTF-8; the Windows cases pin Windows-1252 instead.
constexpr unsigned kUtf8 = list_files::kUtf8CodePage;
constexpr unsigned kWindows1252 = 1252;

// Chunk sizes that put every byte, sequence and terminator on some chunk boundary, plus the
// size the program uses.
const qsizetype kChunkSizes[] = {1, 2, 3, 7, list_files::kChunkBytes};

QString units(std::initializer_list<char16_t> list) {
    return QStringView(list.begin(), qsizetype(list.size())).toString();
}

QByteArray utf16Bytes(QStringView text, bool bigEndian) {
    QByteArray bytes(text.size() * 2, Qt::Uninitialized);
    if (bigEndian) {
        qToBigEndian<quint16>(text.utf16(), text.size(), bytes.data());
    } else {
        qToLittleEndian<quint16>(text.utf16(), text.size(), bytes.data());
    }
    return bytes;
}

// Reads all lines, handing the block on and clearing it after every call as the load command
// does; the block must never hold an unfinished line, since a list takes all of its text.
void readAll(QIODevice& device, qsizetype chunk, QStringList& items, unsigned codePage = kUtf8) {
    list_files::Reader reader(device, chunk, codePage);
    list_store::TextBlock block;
    const qint64 mostCalls = device.size() / chunk + 3;
    qint64 calls = 0;
    bool more = true;
    while (more) {
        QVERIFY2(++calls <= mostCalls, "the reader does not come to an end");
        more = reader.readChunk(block);
        QCOMPARE(block.pendingLength(), 0);
        for (qsizetype i = 0; i < block.count(); ++i) items.append(block.text(i).toString());
        block.clear();
    }
    QVERIFY(!reader.readChunk(block));
    QVERIFY(block.isEmpty());
}

void readBytes(const QByteArray& bytes, qsizetype chunk, QStringList& items,
               unsigned codePage = kUtf8) {
    QBuffer buffer;
    buffer.setData(bytes);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    readAll(buffer, chunk, items, codePage);
}

// The reader must give the same items however the bytes are split into chunks.
void expectItemsAtEveryChunkSize(const QByteArray& bytes, const QStringList& expected,
                                 unsigned codePage = kUtf8) {
    for (qsizetype chunk : kChunkSizes) {
        QStringList items;
        readBytes(bytes, chunk, items, codePage);
        if (QTest::currentTestFailed()) return;
        QVERIFY2(items == expected, qPrintable(u"chunk of %1 bytes"_s.arg(chunk)));
    }
}

// Bytes that look like arbitrary binary data but are the same on every run.
QByteArray scrambledBytes(qsizetype size, quint32 seed) {
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& byte : bytes) {
        seed = seed * 1664525u + 1013904223u;
        byte = char(seed >> 24);
    }
    return bytes;
}

}  // namespace

class TestListFile : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void endsLinesAtEveryTerminatorKeepingTheRest_data();
    void endsLinesAtEveryTerminatorKeepingTheRest();
    void splitsDecodedTextAsTheReaderSplitsBytes_data();
    void splitsDecodedTextAsTheReaderSplitsBytes();
    void decodesByteOrderMarks_data();
    void decodesByteOrderMarks();
    void decodesStrictUtf8KeepingInvalidBytes_data();
    void decodesStrictUtf8KeepingInvalidBytes();
    void loadThenSaveGivesBackTheSameBytes_data();
    void loadThenSaveGivesBackTheSameBytes();
    void writesEveryItemFollowedByCrLf_data();
    void writesEveryItemFollowedByCrLf();
    void writesLongItemsAcrossBufferFlushes();
    void writesLineFeedsAloneWhenAsked();
    void treatsCrLfSplitAtChunkBoundaryAsOneTerminator();
    void readsAtMostOneChunkPerCall();
    void readsLongSingleLineAcrossChunks();
    void readFailureThrowsAndKeepsEarlierLines_data();
    void readFailureThrowsAndKeepsEarlierLines();
    void writeFailureThrowsAfterAcceptedPrefix_data();
    void writeFailureThrowsAfterAcceptedPrefix();
    void flushReportsFullDisk();
    void storedFuzzInputsKeepTheFuzzerProperties();
    void readsUtf8WithoutMarkAndElseTheCodePage_data();
    void readsUtf8WithoutMarkAndElseTheCodePage();
    void looksAheadOnASequentialDevice();
    void aFailureWhileLookingAheadKeepsTheLinesBefore();
    void everyByteFrom80ToFFLoadsAndSavesBackInWindows1252();
    void doubleByteCharactersSplitAcrossChunksLoadAndSaveBack();
    void savesInTheCodePageOnlyWhenItHoldsEveryItem_data();
    void savesInTheCodePageOnlyWhenItHoldsEveryItem();
};

// QSKIP ends the function it stands in, so a helper would skip only itself: this is a macro.
#ifdef Q_OS_WIN
#define SKIP_WITHOUT_CODE_PAGES() (void)0
#else
#define SKIP_WITHOUT_CODE_PAGES() QSKIP("code pages other than UTF-8 exist on Windows only")
#endif

namespace {

// Bytes that can be read once, in order, as from a pipe.
class SequentialBuffer : public QIODevice {
public:
    void setData(const QByteArray& bytes) { m_bytes = bytes; }
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override {
        return m_bytes.size() - m_next + QIODevice::bytesAvailable();
    }

protected:
    qint64 readData(char* data, qint64 maxSize) override {
        const qint64 size = std::min<qint64>(maxSize, m_bytes.size() - m_next);
        std::memcpy(data, m_bytes.constData() + m_next, size_t(size));
        m_next += size;
        return size;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray m_bytes;
    qint64 m_next = 0;
};

}  // namespace

void TestListFile::endsLinesAtEveryTerminatorKeepingTheRest_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("empty file adds no item") << ""_ba << QStringList{};
    QTest::newRow("one CR LF is one empty item") << "\r\n"_ba << QStringList{u""_s};
    QTest::newRow("CR LF after every line") << "a\r\nb\r\n"_ba << QStringList{u"a"_s, u"b"_s};
    QTest::newRow("last line unterminated") << "a\r\nb"_ba << QStringList{u"a"_s, u"b"_s};
    QTest::newRow("lone CR") << "a\rb"_ba << QStringList{u"a"_s, u"b"_s};
    QTest::newRow("lone LF") << "a\nb"_ba << QStringList{u"a"_s, u"b"_s};
    QTest::newRow("empty line between") << "a\r\n\r\nb"_ba << QStringList{u"a"_s, u""_s, u"b"_s};
    QTest::newRow("LF then CR is two terminators")
        << "a\n\rb"_ba << QStringList{u"a"_s, u""_s, u"b"_s};
    QTest::newRow("CR then CR LF is two terminators")
        << "a\r\r\nb"_ba << QStringList{u"a"_s, u""_s, u"b"_s};
    QTest::newRow("lone CR at the end adds nothing") << "a\r"_ba << QStringList{u"a"_s};
    QTest::newRow("lone LF at the end adds nothing") << "a\n"_ba << QStringList{u"a"_s};
    QTest::newRow("only terminators") << "\r\n\n\r"_ba << QStringList{u""_s, u""_s, u""_s};
    QTest::newRow("blanks and tabs kept")
        << " \ta b\t \r\n\t\r\n  "_ba << QStringList{u" \ta b\t "_s, u"\t"_s, u"  "_s};
    QTest::newRow("repeated lines kept")
        << "x\r\nx\r\nx\r\n"_ba << QStringList{u"x"_s, u"x"_s, u"x"_s};
    QTest::newRow("NUL kept") << "a\0b\r\n\0\r\n"_ba << QStringList{u"a\0b"_s, u"\0"_s};
    QTest::newRow("UTF-8 text") << "caf\xC3\xA9 \xE2\x82\xAC\r\n\xF0\x9F\x98\x80"_ba
                                << QStringList{u"café €"_s, u"😀"_s};

    // Lines of every length up to several blocks of the scan, each with a low byte that ends no
    // line somewhere in it, and terminators of all three kinds.
    QByteArray bytes;
    QStringList lines;
    const char lowBytes[] = {'\t', '\v', '\f', '\0', '\x01', '\x0e', '\x7f'};
    const char* const terminators[] = {"\r\n", "\n", "\r"};
    for (int length = 1; length <= 70; ++length) {
        QByteArray line(length, 'a' + char(length % 26));
        line[(length * 7) % length] = lowBytes[length % std::size(lowBytes)];
        bytes += line + terminators[length % 3];
        lines.append(QString::fromLatin1(line));
    }
    QTest::newRow("low bytes that end no line, at every offset") << bytes << lines;
}

void TestListFile::endsLinesAtEveryTerminatorKeepingTheRest() {
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, expected);
    expectItemsAtEveryChunkSize(bytes, expected);
}

// Pasted or dropped text follows the same line rules, in pieces of any size.
void TestListFile::splitsDecodedTextAsTheReaderSplitsBytes_data() {
    endsLinesAtEveryTerminatorKeepingTheRest_data();
}

void TestListFile::splitsDecodedTextAsTheReaderSplitsBytes() {
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, expected);
    const QString text = QString::fromUtf8(bytes);
    for (qsizetype units : {qsizetype(0), qsizetype(1), qsizetype(2), qsizetype(5), text.size()}) {
        list_files::TextLines lines(text);
        list_store::TextBlock block;
        QStringList items;
        bool more = true;
        int calls = 0;
        while (more) {
            QVERIFY(++calls <= text.size() + 1);
            more = lines.next(block, units);
            for (qsizetype i = 0; i < block.count(); ++i) items.append(block.text(i).toString());
            block.clear();
        }
        QVERIFY2(items == expected, qPrintable(u"pieces of %1 units"_s.arg(units)));
    }
}

void TestListFile::decodesByteOrderMarks_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("expected");

    const QString text = u"a\r\ncafé 😀\r\n\rb\nc"_s;
    const QStringList lines{u"a"_s, u"café 😀"_s, u""_s, u"b"_s, u"c"_s};

    QTest::newRow("UTF-8 mark dropped") << "\xEF\xBB\xBF"_ba + text.toUtf8() << lines;
    QTest::newRow("UTF-8 mark alone") << "\xEF\xBB\xBF"_ba << QStringList{};
    QTest::newRow("UTF-8 mark before CR LF") << "\xEF\xBB\xBF\r\n"_ba << QStringList{u""_s};
    QTest::newRow("UTF-8 mark keeps invalid bytes")
        << "\xEF\xBB\xBF\xFF"_ba << QStringList{units({0xDCFF})};
    QTest::newRow("UTF-16LE") << "\xFF\xFE"_ba + utf16Bytes(text, false) << lines;
    QTest::newRow("UTF-16BE") << "\xFE\xFF"_ba + utf16Bytes(text, true) << lines;
    QTest::newRow("UTF-16LE mark alone") << "\xFF\xFE"_ba << QStringList{};
    QTest::newRow("UTF-16LE odd last byte replaced")
        << "\xFF\xFE"_ba + utf16Bytes(u"a\r\n", false) + "\x80"_ba
        << QStringList{u"a"_s, units({0xFFFD})};
    QTest::newRow("UTF-16BE NUL kept")
        << "\xFE\xFF\0\0\0a"_ba << QStringList{units({0x0000, 0x0061})};
    QTest::newRow("UTF-16BE unpaired high surrogate replaced")
        << "\xFE\xFF\xD8\x00\x00\x61"_ba << QStringList{units({0xFFFD, 0x0061})};
    QTest::newRow("UTF-16LE unpaired low surrogates replaced")
        << "\xFF\xFE\x80\xDC\x61\x00\xFF\xDC"_ba << QStringList{units({0xFFFD, 0x61, 0xFFFD})};
    QTest::newRow("UTF-16LE pair kept, reversed pair replaced")
        << "\xFF\xFE\x3D\xD8\x00\xDE\x00\xDE\x3D\xD8"_ba
        << QStringList{units({0xD83D, 0xDE00, 0xFFFD, 0xFFFD})};
    QTest::newRow("UTF-16BE high surrogate before a line end replaced")
        << "\xFE\xFF\xD8\x3D\x00\x0D\xDE\x00"_ba << QStringList{units({0xFFFD}), units({0xFFFD})};
    QTest::newRow("UTF-16LE high surrogate at the end replaced")
        << "\xFF\xFE\x61\x00\x3D\xD8"_ba << QStringList{units({0x61, 0xFFFD})};
    QTest::newRow("UTF-16 units 0D0A only as whole units end lines")
        << "\xFF\xFE\x0D\x0A\x0A\x0D"_ba << QStringList{units({0x0A0D, 0x0D0A})};
    QTest::newRow("mark after the start is text") << "a\r\n\xEF\xBB\xBF"
                                                     "b"_ba
                                                  << QStringList{u"a"_s, u"\uFEFFb"_s};
    QTest::newRow("UTF-16 mark after the start is escaped bytes")
        << "a\r\n\xFF\xFE"_ba << QStringList{u"a"_s, units({0xDCFF, 0xDCFE})};
    QTest::newRow("start of a UTF-8 mark only")
        << "\xEF\xBB"_ba << QStringList{units({0xDCEF, 0xDCBB})};
    QTest::newRow("start of a UTF-8 mark then text") << "\xEF\xBB"
                                                        "a"_ba
                                                     << QStringList{units({0xDCEF, 0xDCBB, 0x61})};
    QTest::newRow("one byte of a UTF-16 mark") << "\xFE"_ba << QStringList{units({0xDCFE})};
}

void TestListFile::decodesByteOrderMarks() {
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, expected);
    expectItemsAtEveryChunkSize(bytes, expected);
}

void TestListFile::decodesStrictUtf8KeepingInvalidBytes_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");

    QTest::newRow("stray continuation") << "\x80\xBF"_ba << units({0xDC80, 0xDCBF});
    QTest::newRow("overlong two bytes")
        << "\xC0\xAF\xC1\xBF"_ba << units({0xDCC0, 0xDCAF, 0xDCC1, 0xDCBF});
    QTest::newRow("overlong three bytes") << "\xE0\x80\xAF"_ba << units({0xDCE0, 0xDC80, 0xDCAF});
    QTest::newRow("overlong four bytes")
        << "\xF0\x80\x80\xAF"_ba << units({0xDCF0, 0xDC80, 0xDC80, 0xDCAF});
    QTest::newRow("encoded high surrogate") << "\xED\xA0\x80"_ba << units({0xDCED, 0xDCA0, 0xDC80});
    QTest::newRow("encoded low surrogate in the escape range")
        << "\xED\xB2\x80"_ba << units({0xDCED, 0xDCB2, 0xDC80});
    QTest::newRow("above U+10FFFF")
        << "\xF4\x90\x80\x80"_ba << units({0xDCF4, 0xDC90, 0xDC80, 0xDC80});
    QTest::newRow("lead byte F5") << "\xF5\x80"_ba << units({0xDCF5, 0xDC80});
    QTest::newRow("bytes FE FF after text") << "x\xFE\xFF"_ba << units({0x78, 0xDCFE, 0xDCFF});
    QTest::newRow("truncated at the end") << "\xE2\x82"_ba << units({0xDCE2, 0xDC82});
    QTest::newRow("truncated before ASCII") << "\xE2\x82"
                                               "A"_ba
                                            << units({0xDCE2, 0xDC82, 0x41});
    QTest::newRow("lead before a valid sequence") << "\xC3\xC3\xA9"_ba << units({0xDCC3, 0x00E9});
    QTest::newRow("four-byte lead cut by a three-byte one")
        << "\xF0\x9F\xE2\x82\xAC"_ba << units({0xDCF0, 0xDC9F, 0x20AC});
    QTest::newRow("smallest two-byte") << "\xC2\x80"_ba << units({0x0080});
    QTest::newRow("largest two-byte") << "\xDF\xBF"_ba << units({0x07FF});
    QTest::newRow("smallest three-byte") << "\xE0\xA0\x80"_ba << units({0x0800});
    QTest::newRow("below the surrogates") << "\xED\x9F\xBF"_ba << units({0xD7FF});
    QTest::newRow("above the surrogates") << "\xEE\x80\x80"_ba << units({0xE000});
    QTest::newRow("largest three-byte") << "\xEF\xBF\xBF"_ba << units({0xFFFF});
    QTest::newRow("smallest four-byte") << "\xF0\x90\x80\x80"_ba << units({0xD800, 0xDC00});
    QTest::newRow("largest four-byte") << "\xF4\x8F\xBF\xBF"_ba << units({0xDBFF, 0xDFFF});
}

void TestListFile::decodesStrictUtf8KeepingInvalidBytes() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    expectItemsAtEveryChunkSize(bytes, QStringList{expected});
    if (QTest::currentTestFailed()) return;
    QCOMPARE(writeItems({expected}), bytes + "\r\n"_ba);
}

void TestListFile::loadThenSaveGivesBackTheSameBytes_data() {
    QTest::addColumn<QByteArray>("bytes");

    QByteArray everyByte;
    for (int byte = 0; byte < 256; ++byte) {
        if (byte != '\r' && byte != '\n') everyByte.append(char(byte));
    }
    QByteArray scrambled = "x"_ba;
    for (int line = 0; line < 3000; ++line) {
        QByteArray piece = scrambledBytes(line % 41, quint32(line));
        piece.replace('\r', 'r').replace('\n', 'n');
        scrambled += piece + "\r\n"_ba;
    }

    QTest::newRow("empty file") << ""_ba;
    QTest::newRow("empty lines") << "\r\n\r\n\r\n"_ba;
    QTest::newRow("every byte value") << everyByte + "\r\n"_ba + everyByte + "\r\n"_ba;
    QTest::newRow("sequences cut by CR LF") << "\xE2\x82\r\n\xAC\r\n\xF0\r\n"_ba;
    QTest::newRow("valid and invalid mixed")
        << "caf\xC3\xA9 \xE9t\xE9\r\n\xF0\x9F\x98\x80\xED\xA0\x80\xF0\x9F\x98\r\n"_ba;
    QTest::newRow("scrambled binary lines") << scrambled;
}

void TestListFile::loadThenSaveGivesBackTheSameBytes() {
    QFETCH(QByteArray, bytes);
#ifdef Q_OS_WIN
    const unsigned codePages[] = {kUtf8, kWindows1252};
#else
    const unsigned codePages[] = {kUtf8};
#endif
    for (unsigned codePage : codePages) {
        for (qsizetype chunk : {qsizetype(1), qsizetype(5), list_files::kChunkBytes}) {
            QStringList items;
            readBytes(bytes, chunk, items, codePage);
            if (QTest::currentTestFailed()) return;
            QCOMPARE(items.size(), bytes.count("\r\n"));
            QVERIFY2(writeItems(items, list_files::LineEnd::CrLf, codePage) == bytes,
                     qPrintable(u"code page %1, chunk of %2"_s.arg(codePage).arg(chunk)));
        }
    }
}

void TestListFile::writesEveryItemFollowedByCrLf_data() {
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("two items") << QStringList{u"a"_s, u"b"_s} << "a\r\nb\r\n"_ba;
    QTest::newRow("empty list gives zero bytes") << QStringList{} << ""_ba;
    QTest::newRow("one empty item") << QStringList{u""_s} << "\r\n"_ba;
    QTest::newRow("blanks and empty items kept")
        << QStringList{u" a\t"_s, u""_s, u"a"_s} << " a\t\r\n\r\na\r\n"_ba;
    QTest::newRow("NUL kept") << QStringList{u"a\0b"_s} << "a\0b\r\n"_ba;
    QTest::newRow("non-ASCII") << QStringList{u"é€"_s} << "\xC3\xA9\xE2\x82\xAC\r\n"_ba;
    QTest::newRow("surrogate pair") << QStringList{u"😀"_s} << "\xF0\x9F\x98\x80\r\n"_ba;
    QTest::newRow("escaped bytes") << QStringList{units({0xDC80, 0xDCFF})} << "\x80\xFF\r\n"_ba;
    QTest::newRow("escape after a pair")
        << QStringList{units({0xD83D, 0xDE00, 0xDC80})} << "\xF0\x9F\x98\x80\x80\r\n"_ba;
    QTest::newRow("lone high surrogate") << QStringList{units({0xD800, 0x61})}
                                         << "\xEF\xBF\xBD"
                                            "a\r\n"_ba;
    QTest::newRow("high surrogate ending the item")
        << QStringList{units({0x61, 0xD83D}), units({0xDE00})}
        << "a\xEF\xBF\xBD\r\n\xEF\xBF\xBD\r\n"_ba;
    QTest::newRow("low surrogates outside the escapes")
        << QStringList{units({0xDC00, 0xDC7F, 0xDD00, 0xDFFF})}
        << "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\r\n"_ba;
    QTest::newRow("reversed pair")
        << QStringList{units({0xDE00, 0xD83D})} << "\xEF\xBF\xBD\xEF\xBF\xBD\r\n"_ba;
    QTest::newRow("high surrogate pairs with a following escape unit")
        << QStringList{units({0xD800, 0xDC80})} << "\xF0\x90\x82\x80\r\n"_ba;
}

void TestListFile::writesEveryItemFollowedByCrLf() {
    QFETCH(QStringList, items);
    QFETCH(QByteArray, expected);
    QCOMPARE(writeItems(items), expected);
}

void TestListFile::writesLongItemsAcrossBufferFlushes() {
    // Pairs and multi-byte characters fall on every offset of the writer's internal pieces.
    QString longItem;
    while (longItem.size() < 3 * list_files::kChunkBytes) longItem += u"aé€😀b"_s;
    QStringList items{longItem};
    for (int i = 0; i < 200000; ++i) items.append(u"item %1 ü😀"_s.arg(i));
    items.append(longItem);

    QByteArray expected;
    for (const QString& item : items) expected += item.toUtf8() + "\r\n"_ba;
    const QByteArray written = writeItems(items);
    QCOMPARE(written.size(), expected.size());
    QVERIFY(written == expected);
}

void TestListFile::writesLineFeedsAloneWhenAsked() {
    QCOMPARE(writeItems({u"a"_s, QString(), u" b\u00e9"_s}, list_files::LineEnd::Lf),
             "a\n\n b\xC3\xA9\n"_ba);
    // Enough items that the line ends fall on every offset of the writer's buffer.
    QStringList items;
    QByteArray expected;
    for (int i = 0; i < 300000; ++i) {
        items.append(u"item %1 \u00fc"_s.arg(i));
        expected += items.last().toUtf8() + '\n';
    }
    QVERIFY(writeItems(items, list_files::LineEnd::Lf) == expected);
}

void TestListFile::treatsCrLfSplitAtChunkBoundaryAsOneTerminator() {
    const QByteArray first(list_files::kChunkBytes - 1, 'x');
    QBuffer buffer;
    buffer.setData(first + "\r\ny\xC3\xA9\r\n"_ba);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    list_files::Reader reader(buffer);
    list_store::TextBlock block;
    QVERIFY(reader.readChunk(block));
    QCOMPARE(buffer.pos(), list_files::kChunkBytes);  // the chunk ends between CR and LF
    QCOMPARE(block.count(), 1);
    while (reader.readChunk(block)) {
    }
    QCOMPARE(block.count(), 2);
    QCOMPARE(block.text(0), QString::fromLatin1(first));
    QCOMPARE(block.text(1), u"yé"_s);
}

void TestListFile::readsAtMostOneChunkPerCall() {
    const QByteArray line = "0123456789abcdef\r\n"_ba;
    QByteArray bytes;
    while (bytes.size() < 3 * list_files::kChunkBytes + list_files::kChunkBytes / 2) bytes += line;
    QBuffer buffer;
    buffer.setData(bytes);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    list_files::Reader reader(buffer);
    list_store::TextBlock block;
    qint64 before = 0;
    int calls = 0;
    bool more = true;
    while (more) {
        more = reader.readChunk(block);
        ++calls;
        QVERIFY(buffer.pos() - before <= list_files::kChunkBytes);
        before = buffer.pos();
    }
    QCOMPARE(calls, 5);  // four chunks, then the end
    QCOMPARE(block.count(), bytes.size() / line.size());
    QCOMPARE(block.text(block.count() - 1), u"0123456789abcdef"_s);
}

void TestListFile::readsLongSingleLineAcrossChunks() {
    QByteArray longLine;
    while (longLine.size() < 5 * list_files::kChunkBytes + 123)
        longLine += "ab\xC3\xA9\xF0\x9F\x98\x80"_ba;
    QBuffer buffer;
    buffer.setData("\xEF\xBB\xBF"_ba + longLine + "\r\nnext"_ba);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    list_files::Reader reader(buffer);
    list_store::TextBlock block;
    int calls = 0;
    while (reader.readChunk(block)) {
        ++calls;
        if (buffer.pos() <= longLine.size()) QCOMPARE(block.count(), 0);
    }
    QVERIFY(calls >= 5);
    QCOMPARE(block.count(), 2);
    QVERIFY(block.text(0) == QString::fromUtf8(longLine));
    QCOMPARE(block.text(1), u"next"_s);
}

void TestListFile::readFailureThrowsAndKeepsEarlierLines_data() {
    QTest::addColumn<qsizetype>("chunk");
    QTest::addColumn<qint64>("failAfter");
    QTest::addColumn<QStringList>("linesBefore");

    const qsizetype whole = list_files::kChunkBytes;
    QTest::newRow("at once") << whole << qint64(0) << QStringList{};
    QTest::newRow("inside the second line") << whole << qint64(7) << QStringList{u"one"_s};
    QTest::newRow("after two lines") << whole << qint64(10) << QStringList{u"one"_s, u"two"_s};
    QTest::newRow("small chunks, after two lines")
        << qsizetype(4) << qint64(10) << QStringList{u"one"_s, u"two"_s};
    QTest::newRow("small chunks, between CR and LF")
        << qsizetype(3) << qint64(4) << QStringList{u"one"_s};
}

void TestListFile::readFailureThrowsAndKeepsEarlierLines() {
    QFETCH(qsizetype, chunk);
    QFETCH(qint64, failAfter);
    QFETCH(QStringList, linesBefore);

    FailDevice device(failAfter, "one\r\ntwo\r\nthree\r\n"_ba);
    QVERIFY(device.open(QIODevice::ReadOnly | QIODevice::Unbuffered));
    list_files::Reader reader(device, chunk);
    list_store::TextBlock block;
    QCOMPARE(readUntilFailure(reader, block), FailDevice::readFailureText());
    QStringList items;
    for (qsizetype i = 0; i < block.count(); ++i) items.append(block.text(i).toString());
    QCOMPARE(items, linesBefore);
}

void TestListFile::writeFailureThrowsAfterAcceptedPrefix_data() {
    QTest::addColumn<qint64>("failAfter");
    QTest::addColumn<bool>("fails");

    QTest::newRow("nothing accepted") << qint64(0) << true;
    QTest::newRow("a few bytes accepted") << qint64(5) << true;
    QTest::newRow("just short of the first flush") << qint64((1 << 20) - 1) << true;
    QTest::newRow("in the third flush") << qint64(2500000) << true;
    QTest::newRow("room for everything") << qint64(1 << 30) << false;
}

void TestListFile::writeFailureThrowsAfterAcceptedPrefix() {
    QFETCH(qint64, failAfter);
    QFETCH(bool, fails);

    QStringList items;
    QByteArray expected;
    for (int i = 0; i < 200000; ++i) {
        items.append(u"item %1 é"_s.arg(i));
        expected += items.last().toUtf8() + "\r\n"_ba;
    }
    QVERIFY(expected.size() > 2500000);

    FailDevice device(failAfter);
    QVERIFY(device.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    QString failure;
    {
        list_files::Writer writer(device, list_files::LineEnd::CrLf,
                                  list_files::SaveFormat::CodePage, kUtf8);
        try {
            for (const QString& item : items) writer.writeItem(item);
            writer.flush();
        } catch (const platform::Failure& f) {
            failure = f.description();
        }
    }
    QCOMPARE(failure, fails ? FailDevice::writeFailureText() : QString());
    QCOMPARE(device.written(), expected.left(failAfter));
}

void TestListFile::flushReportsFullDisk() {
    QFile full(u"/dev/full"_s);
    if (!full.exists()) QSKIP("this system has no /dev/full");
    QVERIFY(full.open(QIODevice::WriteOnly));
    list_files::Writer writer(full, list_files::LineEnd::CrLf, list_files::SaveFormat::CodePage,
                              kUtf8);
    writer.writeItem(u"a");
    writer.writeItem(u"b");
    QVERIFY_THROWS_EXCEPTION(platform::Failure, writer.flush());
}

// The fuzzer's properties, on the inputs kept from it and on its seeds: every chunk size gives
// the same items; a file the writer could have written saves back byte for byte; and items read
// as UTF-8 read back the same after saving.
void TestListFile::storedFuzzInputsKeepTheFuzzerProperties() {
    QStringList paths;
    for (const char* location : {QUORVANE_FUZZ_REGRESSIONS, QUORVANE_FUZZ_SEEDS}) {
        const QDir folder(QString::fromUtf8(location));
        for (const QString& name : folder.entryList(QDir::Files, QDir::Name)) {
            paths.append(folder.filePath(name));
        }
    }
    QVERIFY(!paths.isEmpty());
    const auto startsWithMark = [](const QByteArray& bytes) {
        return bytes.startsWith("\xEF\xBB\xBF") || bytes.startsWith("\xFF\xFE") ||
               bytes.startsWith("\xFE\xFF");
    };
    for (const QString& path : paths) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QStringList items;
        readBytes(bytes, list_files::kChunkBytes, items);
        if (QTest::currentTestFailed()) return;
        const QByteArray written = writeItems(items);
        const bool readAsUtf8 = !bytes.startsWith("\xFF\xFE") && !bytes.startsWith("\xFE\xFF");
        for (qsizetype chunk = 1; chunk <= 5; ++chunk) {
            QStringList split;
            readBytes(bytes, chunk, split);
            if (QTest::currentTestFailed()) return;
            QVERIFY2(split == items, qPrintable(u"%1, chunk of %2"_s.arg(path).arg(chunk)));
            if (readAsUtf8 && !startsWithMark(written)) {
                QStringList again;
                readBytes(written, chunk, again);
                if (QTest::currentTestFailed()) return;
                QVERIFY2(again == items,
                         qPrintable(u"%1 saved, chunk of %2"_s.arg(path).arg(chunk)));
            }
        }
        const bool onlyCrLf =
            bytes.count('\r') == bytes.count("\r\n") && bytes.count('\n') == bytes.count("\r\n");
        if (!startsWithMark(bytes) && onlyCrLf && (bytes.isEmpty() || bytes.endsWith("\r\n"))) {
            QVERIFY2(written == bytes, qPrintable(path));
        }
    }
}

void TestListFile::readsUtf8WithoutMarkAndElseTheCodePage_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("expected");

    const QByteArray longAscii(3 * 1024 + 5, 'a');
    QTest::newRow("ASCII") << "a\r\nb c"_ba << QStringList{u"a"_s, u"b c"_s};
    QTest::newRow("valid UTF-8 is UTF-8")
        << "caf\xC3\xA9 \xE2\x82\xAC\r\n\xF0\x9F\x98\x80"_ba << QStringList{u"café €"_s, u"😀"_s};
    QTest::newRow("Windows-1252 bytes")
        << "caf\xE9 \x80\r\n\xFF"_ba << QStringList{u"café €"_s, u"ÿ"_s};
    // One invalid sequence anywhere makes the whole file the code page's, lines before it too.
    QTest::newRow("valid UTF-8, then one invalid byte")
        << "\xC3\xA9\r\n"_ba + longAscii + "\r\n\xE9"_ba
        << QStringList{u"Ã©"_s, QString::fromLatin1(longAscii), u"é"_s};
    QTest::newRow("UTF-8 sequence cut by the end")
        << "ok\r\n\xE2\x82"_ba << QStringList{u"ok"_s, units({0x00E2, 0x201A})};
    QTest::newRow("start of a UTF-8 mark only") << "\xEF\xBB"_ba << QStringList{u"ï»"_s};
    QTest::newRow("one byte of a UTF-16 mark") << "\xFE"_ba << QStringList{u"þ"_s};
    QTest::newRow("UTF-16 mark after the start")
        << "a\r\n\xFF\xFE"_ba << QStringList{u"a"_s, u"ÿþ"_s};
    QTest::newRow("UTF-8 mark: invalid bytes kept as escapes")
        << "\xEF\xBB\xBF\xE9"_ba << QStringList{units({0xDCE9})};
    QTest::newRow("encoded surrogate is not UTF-8")
        << "\xED\xA0\x80"_ba << QStringList{units({0x00ED, 0x00A0, 0x20AC})};
}

void TestListFile::readsUtf8WithoutMarkAndElseTheCodePage() {
    SKIP_WITHOUT_CODE_PAGES();
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, expected);
    expectItemsAtEveryChunkSize(bytes, expected, kWindows1252);
}

void TestListFile::looksAheadOnASequentialDevice() {
    SKIP_WITHOUT_CODE_PAGES();
    for (const QByteArray& last : {"\xC3\xA9"_ba, "\xE9"_ba}) {
        const QByteArray bytes = "\xC3\xA9\r\n"_ba + QByteArray(100, 'x') + "\r\n"_ba + last;
        const bool utf8 = last.size() == 2;
        for (qsizetype chunk : {qsizetype(1), qsizetype(4), list_files::kChunkBytes}) {
            SequentialBuffer buffer;
            buffer.setData(bytes);
            QVERIFY(buffer.open(QIODevice::ReadOnly));
            QStringList items;
            readAll(buffer, chunk, items, kWindows1252);
            if (QTest::currentTestFailed()) return;
            QCOMPARE(items, (QStringList{utf8 ? u"é"_s : u"Ã©"_s, QString(100, u'x'), u"é"_s}));
        }
    }
}

void TestListFile::aFailureWhileLookingAheadKeepsTheLinesBefore() {
    SKIP_WITHOUT_CODE_PAGES();
    // The first chunk ends inside the first non-ASCII character; the device fails just after.
    FailDevice device(12, "one\r\ntwo\r\n\xC3\xA9 and more\r\n"_ba);
    QVERIFY(device.open(QIODevice::ReadOnly | QIODevice::Unbuffered));
    list_files::Reader reader(device, 11, kWindows1252);
    list_store::TextBlock block;
    QCOMPARE(readUntilFailure(reader, block), FailDevice::readFailureText());
    QCOMPARE(block.count(), 2);
    QCOMPARE(block.text(0), u"one"_s);
    QCOMPARE(block.text(1), u"two"_s);
}

void TestListFile::everyByteFrom80ToFFLoadsAndSavesBackInWindows1252() {
    SKIP_WITHOUT_CODE_PAGES();
    QByteArray bytes;
    for (int byte = 0x80; byte <= 0xFF; ++byte) bytes.append(char(byte));
    bytes += "\r\n"_ba;
    for (qsizetype chunk : kChunkSizes) {
        QStringList items;
        readBytes(bytes, chunk, items, kWindows1252);
        if (QTest::currentTestFailed()) return;
        QCOMPARE(items.size(), 1);
        const QString& item = items.first();
        QCOMPARE(item.size(), 128);
        QCOMPARE(item.at(0x80 - 0x80), QChar(0x20AC));  // euro sign
        QCOMPARE(item.at(0x9F - 0x80), QChar(0x0178));  // Y with diaeresis
        QCOMPARE(item.mid(0xA0 - 0x80), QString::fromLatin1(bytes.mid(0xA0 - 0x80, 0x60)));
        QCOMPARE(writeItems(items, list_files::LineEnd::CrLf, kWindows1252), bytes);
    }
}

// Shift-JIS: a character's two bytes fall on either side of every chunk boundary.
void TestListFile::doubleByteCharactersSplitAcrossChunksLoadAndSaveBack() {
    SKIP_WITHOUT_CODE_PAGES();
    const unsigned shiftJis = 932;
    const QByteArray bytes = "\x93\xFA\x96\x7B\r\nx\x82\xA0\r\n"_ba;
    const QStringList items{u"日本"_s, u"xあ"_s};
    expectItemsAtEveryChunkSize(bytes, items, shiftJis);
    if (QTest::currentTestFailed()) return;
    QCOMPARE(writeItems(items, list_files::LineEnd::CrLf, shiftJis), bytes);
}

void TestListFile::savesInTheCodePageOnlyWhenItHoldsEveryItem_data() {
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray mark = "\xEF\xBB\xBF"_ba;
    QTest::newRow("empty list") << QStringList{} << ""_ba;
    QTest::newRow("ASCII") << QStringList{u"a"_s, QString()} << "a\r\n\r\n"_ba;
    QTest::newRow("Windows-1252 letters")
        << QStringList{u"café"_s, u"€ ÿ"_s} << "caf\xE9\r\n\x80 \xFF\r\n"_ba;
    QTest::newRow("one item beyond the code page makes all UTF-8")
        << QStringList{u"café"_s, u"日本"_s}
        << mark + "caf\xC3\xA9\r\n\xE6\x97\xA5\xE6\x9C\xAC\r\n"_ba;
    // Best fit would write "a" and lose the macron.
    QTest::newRow("letter with a best-fit stand-in")
        << QStringList{u"ā"_s} << mark + "\xC4\x81\r\n"_ba;
    QTest::newRow("outside the BMP") << QStringList{u"😀"_s} << mark + "\xF0\x9F\x98\x80\r\n"_ba;
    QTest::newRow("escaped byte written as itself")
        << QStringList{u"é"_s, units({0xDCE9})} << mark + "\xC3\xA9\r\n\xE9\r\n"_ba;
}

void TestListFile::savesInTheCodePageOnlyWhenItHoldsEveryItem() {
    SKIP_WITHOUT_CODE_PAGES();
    QFETCH(QStringList, items);
    QFETCH(QByteArray, expected);
    const QByteArray written = writeItems(items, list_files::LineEnd::CrLf, kWindows1252);
    QCOMPARE(written, expected);
    QStringList again;
    readBytes(written, list_files::kChunkBytes, again, kWindows1252);
    QCOMPARE(again, items);
}

QTEST_GUILESS_MAIN(TestListFile)
#include "tst_list_file.moc"
