#include "commands/clipboard_commands.h"

#include <algorithm>
#include <functional>
#include <vector>

#include "list_files/reader.h"
#include "list_store/unicode_text.h"

using namespace Qt::Literals::StringLiterals;

namespace commands {

namespace {

// Work between two chances for the window to handle its events: about a load's chunk.
constexpr qsizetype kTextUnitsPerPiece = qsizetype(1) << 19;
constexpr int kItemsPerPiece = 1 << 15;

// Appends the text's lines in blocks, letting the window handle its events between them.
void appendLines(const Window& window, list_store::ItemList& list, const QString& text) {
    list_files::TextLines lines(text);
    list_store::TextBlock block;
    bool more = true;
    while (more) {
        window.pump.pumpAfterChunk();
        if (window.pump.stopping()) return;
        more = lines.next(block, kTextUnitsPerPiece);
        list.appendBlock(block);
        block.clear();
    }
}

// Replaces the text's lone surrogates with U+FFFD a piece at a time, letting the window handle
// its events between pieces: the text of millions of lines takes longer to scan than the window
// may stop answering. Stops early when the command is stopped.
void replaceLoneSurrogates(const Window& window, QString& text) {
    const qsizetype size = text.size();
    qsizetype first = size;  // the piece holding the first surrogate, if any
    for (qsizetype from = 0; from < size && first == size; from += kTextUnitsPerPiece) {
        window.pump.pumpAfterChunk();
        if (window.pump.stopping()) return;
        const QChar* units = text.constData();
        const QChar* end = units + std::min(size, from + kTextUnitsPerPiece);
        if (std::any_of(units + from, end, [](QChar c) { return c.isSurrogate(); })) first = from;
    }
    if (first == size) return;  // the common case: nothing to change, and no copy made
    auto* units = reinterpret_cast<char16_t*>(text.data());
    for (qsizetype from = first; from < size;) {
        window.pump.pumpAfterChunk();
        if (window.pump.stopping()) return;
        qsizetype to = std::min(size, from + kTextUnitsPerPiece);
        // A pair that the piece's end would split is finished in this piece.
        if (to < size && QChar::isHighSurrogate(units[to - 1]) &&
            QChar::isLowSurrogate(units[to])) {
            ++to;
        }
        list_store::replaceLoneSurrogates(units + from, to - from);
        from = to;
    }
}

// Calls `piece` with the first and last position of each piece of the runs, letting the window
// handle its events before each; stops early when the command is stopped.
void forEachPiece(const Window& window, const std::vector<controls::ListView::Run>& runs,
                  const std::function<void(int, int)>& piece) {
    for (const auto& run : runs) {
        for (int first = run.first; first <= run.last; first += kItemsPerPiece) {
            window.pump.pumpAfterChunk();
            if (window.pump.stopping()) return;
            piece(first, int(std::min<qint64>(qint64(first) + kItemsPerPiece - 1, run.last)));
        }
    }
}

// A paste and a drop of text: a long command that holds its list, like a load.
void appendText(const Window& window, const QString& location, controls::ListView& list,
                const QString& changeText, const std::function<QString()>& source) {
    const auto hold = window.guard.begin({&list.items()});
    if (!hold) return;
    platform::Steps step = window.longSteps(location);
    runLongWork(window, step, 100, changeText, list.items(), [&] {
        QString text;
        // Whole text, before it is split: a surrogate at a line's end is lone even when the next
        // line starts with its partner.
        step(102, [&] {
            text = source();
            replaceLoneSurrogates(window, text);
        });
        step(104, [&] { appendLines(window, list.items(), text); });
        return 104;
    });
}

}  // namespace

namespace {

// Copying pumps events while it reads positions: it holds the list meanwhile. A cancelled copy
// leaves the clipboard as it was.
void copyRuns(const Window& window, const QString& location, controls::ListView& list,
              const std::function<std::vector<controls::ListView::Run>()>& chosen) {
    const auto hold = window.guard.begin({&list.items()});
    if (!hold) return;
    platform::Steps step = window.longSteps(location);
    const list_store::ItemList& items = list.items();
    std::vector<controls::ListView::Run> runs;
    step(100, [&] { runs = chosen(); });
    if (runs.empty()) return;
    QString text;
    step(102, [&] {
        qint64 units = 0;
        forEachPiece(window, runs, [&](int first, int last) {
            units +=
                items.textLength(first, last) + qint64(last - first + 1) * kClipboardLineEnd.size();
        });
        text.reserve(qsizetype(units));
    });
    if (window.pump.stopping()) return;
    const bool copied = step(104, [&] {
        forEachPiece(window, runs, [&](int first, int last) {
            items.appendLines(text, first, last, kClipboardLineEnd);
        });
    });
    if (!copied || window.pump.stopping()) return;
    step(106, [&] { window.clipboard.setText(text); });
}

}  // namespace

void CopySelection(const Window& window, const QString& location, controls::ListView& list) {
    copyRuns(window, location, list, [&] { return list.selectedRuns(); });
}

void CopyPositions(const Window& window, const QString& location, controls::ListView& list,
                   std::span<const int> risingPositions) {
    copyRuns(window, location, list, [&] {
        std::vector<controls::ListView::Run> runs;
        for (const int position : risingPositions) {
            if (!runs.empty() && runs.back().last + 1 == position) {
                runs.back().last = position;
            } else {
                runs.push_back({position, position});
            }
        }
        return runs;
    });
}

void Paste(const Window& window, const QString& location, controls::ListView& list) {
    appendText(window, location, list, u"Paste"_s, [&] { return window.clipboard.text(); });
}

void DropText(const Window& window, const QString& location, controls::ListView& list,
              const QString& text) {
    appendText(window, location, list, u"Drop Text"_s, [&] { return text; });
}

}  // namespace commands
