#include "list_store/list_store.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "platform/aside.h"
#include "platform/failure.h"

using namespace Qt::Literals::StringLiterals;

namespace list_store {

namespace {

// Below this many separate runs the watcher is told of each run, which keeps a view's selection
// and scroll position; beyond it one reset is far cheaper than many row notifications.
constexpr qsizetype kMostRunsAnnounced = 8;
constexpr int kMostItems = INT_MAX - 1;
// An empty list takes a block's storage from this size up. Smaller blocks, as a file read chunk
// by chunk gives them, are copied, so that the reader keeps reusing its one buffer.
constexpr qsizetype kLeastTakenBytes = qsizetype(8) << 20;
// Rows moved between two calls of an insertion's `between`; without one, all at once.
constexpr qsizetype kNoSteps = qsizetype(1) << 40;

qsizetype runsIn(std::span<const int> risingPositions) {
    qsizetype runs = risingPositions.empty() ? 0 : 1;
    for (size_t k = 1; k < risingPositions.size(); ++k) {
        if (risingPositions[k] != risingPositions[k - 1] + 1) ++runs;
    }
    return runs;
}

// The end of the run of consecutive positions that starts at `begin`.
size_t runEnd(std::span<const int> risingPositions, size_t begin) {
    size_t end = begin + 1;
    while (end < risingPositions.size() && risingPositions[end] == risingPositions[end - 1] + 1) {
        ++end;
    }
    return end;
}

[[noreturn]] void throwFull() {
    throw platform::Failure(u"The list cannot hold more items"_s);
}

}  // namespace

int ListStore::count() const {
    return int(m_store.m_ends.size() - m_gapRows);
}

void ListStore::throwNoPosition(int position) const {
    throw platform::Failure(
        u"Index out of bounds: position %1 does not exist in a list of %2 items"_s.arg(position)
            .arg(count()));
}

ItemText ListStore::textView(int position) const {
    checkPosition(position);
    return m_store.text(storedRow(position - 1));
}

void ListStore::textViews(int first, std::span<ItemText> out) const {
    if (out.empty()) return;
    checkPosition(first);
    checkPosition(first + int(out.size()) - 1);
    for (size_t k = 0; k < out.size(); ++k)
        out[k] = m_store.text(storedRow(first - 1 + qsizetype(k)));
}

qint64 ListStore::textLength(int first, int last) const {
    if (first > last) return 0;
    checkPosition(first);
    checkPosition(last);
    qint64 length = 0;
    for (qsizetype row = first - 1; row < last; ++row) length += m_store.text(row).size();
    return length;
}

void ListStore::appendLines(QString& out, int first, int last, QStringView lineEnd) const {
    if (first > last) return;
    const qint64 textUnits = textLength(first, last);
    const qsizetype start = out.size();
    out.resize(start + qsizetype(textUnits + qint64(last - first + 1) * lineEnd.size()));
    char16_t* to = reinterpret_cast<char16_t*>(out.data()) + start;
    const size_t endBytes = size_t(lineEnd.size()) * sizeof(char16_t);
    for (qsizetype row = first - 1; row < last; ++row) {
        const ItemText text = m_store.text(row);
        if (text.isWide()) {
            std::memcpy(to, text.utf16(), size_t(text.size()) * sizeof(char16_t));
        } else {
            widenTo(text.bytes(), text.size(), to);
        }
        to += text.size();
        std::memcpy(to, lineEnd.utf16(), endBytes);
        to += lineEnd.size();
    }
}

void ListStore::appendedItems(int items, qint64 bytes) {
    ++m_changes;
    if (m_watcher) m_watcher->appended();
    if (m_recorder) m_recorder->appended(items, bytes);
}

template <typename Change>
void ListStore::changeAll(Change&& change) {
    // Told after the change however it ends, so that a watcher is never left in the middle.
    struct Told {
        StoreWatcher* watcher;
        ~Told() {
            if (watcher) watcher->wasReset();
        }
    };
    if (m_watcher) m_watcher->resetting();
    const Told told{m_watcher};
    change();
}

void ListStore::append(ItemText text) {
    if (count() >= kMostItems) throwFull();
    const qsizetype before = m_store.byteCount();
    m_store.add(text);
    appendedItems(1, m_store.byteCount() - before);
}

void ListStore::appendBlock(const TextBlock& block) {
    if (block.isEmpty()) return;
    if (block.count() > kMostItems - count()) throwFull();
    const qint64 base = stored::alignUp(m_store.byteCount());
    const qint64 blockBytes = stored::offsetOf(block.m_ends.last());
    // resize() grows the storage geometrically; reserving the exact size here would move the
    // whole array on every block of a file.
    m_store.m_bytes.resize(qsizetype(base));
    m_store.m_bytes.append(block.m_bytes.data(), qsizetype(blockBytes));
    const qsizetype old = m_store.m_ends.size();
    m_store.m_ends.resize(old + block.count());
    qint64* ends = m_store.m_ends.data() + old;
    for (qsizetype i = 0; i < block.count(); ++i) ends[i] = base + block.m_ends[i];
    appendedItems(int(block.count()), m_store.byteCount() - base);
}

void ItemList::takeBlock(TextBlock& block) {
    appendBlock(block);
    block.clear();
}

void ListStore::takeBlock(TextBlock& block) {
    if (count() > 0 || block.isEmpty() || block.byteCount() < kLeastTakenBytes ||
        block.pendingLength() > 0) {
        appendBlock(block);
        block.clear();
        return;
    }
    // An empty list takes the block's storage as its own: the offsets are the same.
    if (block.count() > kMostItems) throwFull();
    m_store.m_bytes.swap(block.m_bytes);
    m_store.m_ends.swap(block.m_ends);
    trimBytes();
    block.clear();
    appendedItems(count(), m_store.byteCount());
}

void ListStore::trimBytes() {
    m_store.m_bytes.resize(count() == 0 ? 0 : qsizetype(endOf(count() - 1)));
}

void ListStore::removeAt(int position) {
    const int positions[] = {position};
    removePositions(positions);
}

void ListStore::checkRising(std::span<const int> risingPositions, int last,
                            const std::function<void()>& between) const {
    int previous = 0;
    for (size_t k = 0; k < risingPositions.size(); ++k) {
        const int position = risingPositions[k];
        if (position < 1 || position > last) [[unlikely]] {
            throw platform::Failure(
                u"Index out of bounds: position %1 does not exist in a list of %2 items"_s
                    .arg(position)
                    .arg(last));
        }
        if (position <= previous) {
            throw platform::Failure(
                u"Positions to remove must be rising; %1 follows %2"_s.arg(position).arg(previous));
        }
        previous = position;
        // Tens of millions of positions take the window from its events for 50 ms and more.
        if (between && (k + 1) % kPositionsPerPiece == 0) between();
    }
}

void ListStore::removePositions(std::span<const int> risingPositions) {
    if (risingPositions.empty()) return;
    checkRising(risingPositions, count());
    FlatArray<int> positions;
    TextBlock texts;
    const bool recording = m_recorder && keepForRecorder(risingPositions, positions, texts);
    removeRuns(risingPositions);
    if (recording) m_recorder->removed(std::move(positions), std::move(texts));
}

bool ListStore::keepForRecorder(std::span<const int> risingPositions, FlatArray<int>& positions,
                                TextBlock& texts) const {
    try {
        const auto between = [this] { m_recorder->copying(); };
        // In pieces: the first touch of a fresh block costs a page fault per page, and millions
        // of positions at once kept the window from its events for tens of milliseconds.
        positions.useSmallPages();
        positions.reserve(qsizetype(risingPositions.size()));
        for (size_t at = 0; at < risingPositions.size(); at += kPositionsPerPiece) {
            const size_t piece = std::min(kPositionsPerPiece, risingPositions.size() - at);
            positions.append(risingPositions.data() + at, qsizetype(piece));
            if (at + piece < risingPositions.size()) between();
        }
        copyOut(risingPositions, texts, between);
        return true;
    } catch (const std::bad_alloc&) {
        // The removal goes ahead all the same: it is what the user asked for.
        positions.clear();
        texts = TextBlock();
        m_recorder->lost();
        return false;
    }
}

void ListStore::takePositions(std::span<const int> risingPositions, TextBlock& removed,
                              const std::function<void()>& between) {
    checkRising(risingPositions, count(), between);
    TextBlock texts;
    copyOut(risingPositions, texts, between);
    if (!risingPositions.empty()) {
        if (between && count() > kMostRowsRemovedAtOnce) {
            removeInSteps(risingPositions, between);
        } else {
            removeRuns(risingPositions);
        }
    }
    removed = std::move(texts);
}

// The texts at the positions, into a block of exactly their size, in their stored form. A long
// copy tells `between` after each piece.
void ListStore::copyOut(std::span<const int> risingPositions, TextBlock& texts,
                        const std::function<void()>& between) const {
    const qint64* ends = m_store.m_ends.data();
    qint64 bytes = 0;
    for (size_t k = 0; k < risingPositions.size(); ++k) {
        const qsizetype row = risingPositions[k] - 1;
        bytes += stored::alignUp(endOf(row) - beginOf(row));
        if (between && (k + 1) % kPositionsPerPiece == 0) between();
    }
    texts.clear();
    texts.useSmallPages();
    texts.reserve(qsizetype(risingPositions.size()), qsizetype(bytes));
    texts.m_bytes.resize(qsizetype(bytes));
    texts.m_ends.resize(qsizetype(risingPositions.size()));
    const char* from = m_store.m_bytes.data();
    char* to = texts.m_bytes.data();
    qint64* toEnds = texts.m_ends.data();
    qint64 at = 0;
    for (size_t k = 0; k < risingPositions.size(); ++k) {
        const qsizetype row = risingPositions[k] - 1;
        const qint64 begin = stored::beginOf(ends, row);
        const qint64 length = stored::offsetOf(ends[row]) - begin;
        if (length > 0) std::memcpy(to + at, from + begin, size_t(length));
        toEnds[k] = (at + length) | (ends[row] & stored::kWide);
        at = stored::alignUp(at + length);
        if (between && (k + 1) % kPositionsPerPiece == 0) between();
    }
    if (!risingPositions.empty())
        texts.m_bytes.resize(qsizetype(stored::offsetOf(toEnds[risingPositions.size() - 1])));
}

void ListStore::removeRuns(std::span<const int> risingPositions) {
    beforeChange();
    if (runsIn(risingPositions) > kMostRunsAnnounced) {
        changeAll([&] { removeInStorage(risingPositions); });
        return;
    }
    // Each run from the highest down, so the lower rows keep their numbers meanwhile.
    size_t end = risingPositions.size();
    while (end > 0) {
        size_t begin = end - 1;
        while (begin > 0 && risingPositions[begin - 1] == risingPositions[begin] - 1) --begin;
        if (m_watcher)
            m_watcher->removing(risingPositions[begin] - 1, risingPositions[end - 1] - 1);
        removeInStorage(risingPositions.subspan(begin, end - begin));
        if (m_watcher) m_watcher->removed();
        end = begin;
    }
}

// One pass over the storage: kept items slide down over the removed ones.
void ListStore::removeInStorage(std::span<const int> risingPositions) {
    Compaction at = startCompaction(risingPositions);
    compact(risingPositions, at, m_store.m_ends.size());
    finishCompaction(at);
    ++m_removals;
    ++m_changes;
}

ListStore::Compaction ListStore::startCompaction(std::span<const int> risingPositions) const {
    // Rows count from 0, positions from 1.
    const qsizetype first = qsizetype(risingPositions.front()) - 1;
    return Compaction{first, beginOf(first), first, 0};
}

// Every item starts at an even offset, so each run moves by an even distance and keeps its
// layout. The row below the read position keeps its end while there is a gap, so the first
// row still to come is found where it always was.
void ListStore::compact(std::span<const int> risingPositions, Compaction& at, qsizetype end) {
    FlatArray<char>& bytes = m_store.m_bytes;
    FlatArray<qint64>& ends = m_store.m_ends;
    const auto rowAt = [&](size_t k) { return qsizetype(risingPositions[k]) - 1; };
    for (qsizetype row = at.readRow; row < end; ++row) {
        if (at.next < risingPositions.size() && rowAt(at.next) == row) {
            ++at.next;
            continue;
        }
        // Copy the run of kept rows that starts here in one move.
        const qsizetype runEnd =
            std::min(end, at.next < risingPositions.size() ? rowAt(at.next) : end);
        const qint64 from = beginOf(row);
        const qint64 length = endOf(runEnd - 1) - from;
        if (from != at.writeByte) {
            std::memmove(bytes.data() + at.writeByte, bytes.data() + from, size_t(length));
        }
        const qint64 shift = from - at.writeByte;
        for (qsizetype r = row; r < runEnd; ++r) ends[at.writeRow++] = ends[r] - shift;
        at.writeByte = stored::alignUp(at.writeByte + length);
        row = runEnd - 1;
    }
    at.readRow = std::max(at.readRow, end);
}

void ListStore::finishCompaction(const Compaction& at) {
    m_gapAt = 0;
    m_gapRows = 0;
    m_store.m_ends.resize(at.writeRow);
    trimBytes();
    m_store.m_ends.squeeze();
    m_store.m_bytes.squeeze();
}

void ListStore::removePositionsInSteps(std::span<const int> risingPositions,
                                       const std::function<void()>& between) {
    if (count() <= kMostRowsRemovedAtOnce) {
        removePositions(risingPositions);
        return;
    }
    if (risingPositions.empty()) return;
    checkRising(risingPositions, count(), between);
    between();
    FlatArray<int> positions;
    TextBlock texts;
    const bool recording = m_recorder && keepForRecorder(risingPositions, positions, texts);
    between();
    removeInSteps(risingPositions, between);
    if (recording) m_recorder->removed(std::move(positions), std::move(texts));
}

void ListStore::removeInSteps(std::span<const int> risingPositions,
                              const std::function<void()>& between) {
    beforeChange();
    // The views let go of their selection and current row first, as for any large change:
    // each step below tells them of one block of rows, not of the rows it removes.
    changeAll([this] {
        ++m_removals;
        ++m_changes;
    });
    const qsizetype total = m_store.m_ends.size();
    Compaction at = startCompaction(risingPositions);
    while (at.readRow < total) {
        const qsizetype stepEnd = std::min(total, at.readRow + kRowsPerRemovalStep);
        const size_t nextBefore = at.next;
        while (at.next < risingPositions.size() && risingPositions[at.next] <= stepEnd) ++at.next;
        const qsizetype removed = qsizetype(at.next - nextBefore);
        at.next = nextBefore;
        const qsizetype kept = stepEnd - at.readRow - removed;
        // Rows from the write position on are the stored rows from the read position on.
        const qsizetype firstShown = at.writeRow;
        if (removed > 0 && m_watcher) {
            m_watcher->removing(int(firstShown + kept), int(firstShown + kept + removed - 1));
        }
        compact(risingPositions, at, stepEnd);
        m_gapAt = at.writeRow;
        m_gapRows = at.readRow - at.writeRow;
        if (removed > 0 && m_watcher) {
            m_watcher->removed();
            if (kept > 0) m_watcher->moved(int(firstShown), int(at.writeRow) - 1);
        }
        if (at.readRow < total) between();
    }
    finishCompaction(at);
}

void ListStore::prepareInsertion(std::span<const int> risingPositions, const TextBlock& texts) {
    if (qsizetype(risingPositions.size()) != texts.count()) {
        throw platform::Failure(
            u"%1 positions given for %2 items"_s.arg(qsizetype(risingPositions.size()))
                .arg(texts.count()));
    }
    if (risingPositions.empty()) return;
    if (texts.count() > kMostItems - count()) throwFull();
    checkRising(risingPositions, count() + int(texts.count()));
    // Room for everything first, so that running out of memory changes nothing.
    m_store.m_bytes.reserve(qsizetype(stored::alignUp(m_store.byteCount())) + texts.byteCount() +
                            1);
    m_store.m_ends.reserve(m_store.m_ends.size() + texts.count());
    beforeChange();
}

void ListStore::insertAt(std::span<const int> risingPositions, const TextBlock& texts,
                         const std::function<void()>& between) {
    prepareInsertion(risingPositions, texts);
    if (risingPositions.empty()) return;
    if (between && count() + texts.count() > kMostRowsRemovedAtOnce) {
        // As for any large change, the views let go of their selection first: see
        // removeInSteps().
        changeAll([] {});
        insertFromTop<true>(risingPositions, texts, 0, true, between);
        return;
    }
    if (runsIn(risingPositions) > kMostRunsAnnounced) {
        changeAll([&] { insertFromTop<false>(risingPositions, texts, 0, false, {}); });
        return;
    }
    // Each run from the lowest up: a run's positions are final once the runs below it are in.
    for (size_t begin = 0; begin < risingPositions.size();) {
        const size_t end = runEnd(risingPositions, begin);
        insertFromTop<false>(risingPositions.subspan(begin, end - begin), texts, qsizetype(begin),
                             true, {});
        begin = end;
    }
}

// One pass from the top down: the items already there move up over the room the inserted ones
// need below them, and each run of inserted texts is copied into the gap left for it. The text
// for risingPositions[k] is texts.text(firstText + k). Room is reserved by the caller. Sizes
// here include the padding that keeps each text at an even offset, so every move is by an even
// distance.
//
// With `between`, a step of rows at a time: between steps the rows below the gap are old ones
// not yet moved and the rows above it final, and the slot just below the final rows holds where
// the first of them begins. With `tell`, the watcher hears of the rows inserted and moved at the
// end of each step; without steps the positions must be one run.
template <bool kInSteps>
void ListStore::insertFromTop(std::span<const int> risingPositions, const TextBlock& texts,
                              qsizetype firstText, bool tell,
                              const std::function<void()>& between) {
    ++m_removals;  // positions taken before point at other items now
    ++m_changes;
    FlatArray<char>& bytes = m_store.m_bytes;
    FlatArray<qint64>& ends = m_store.m_ends;
    const qsizetype inserted = qsizetype(risingPositions.size());
    const qint64 textBase = stored::beginOf(texts.m_ends.data(), firstText);
    // Bytes of the first `k` texts to insert.
    const auto bytesBefore = [&](qsizetype k) {
        return k == 0 ? 0 : stored::beginOf(texts.m_ends.data(), firstText + k) - textBase;
    };
    constexpr qsizetype stepRows = kInSteps ? kRowsPerRemovalStep : kNoSteps;
    const qsizetype oldRows = ends.size();
    const qint64 oldBytes = stored::alignUp(bytes.size());
    bytes.resize(qsizetype(oldBytes + bytesBefore(inserted)));
    ends.resize(oldRows + inserted);

    qsizetype above = oldRows;  // old rows from here up are in place
    qsizetype k = inserted;     // texts from here up are in place
    qsizetype toldAbove = above;
    qsizetype toldTexts = k;
    qsizetype work = 0;
    // Without steps the positions are one run, told around the whole insertion; with steps the
    // views heard of a reset first, and each step tells what it made final.
    const bool tellAround = tell && !between && m_watcher;
    const bool tellSteps = tell && between && m_watcher;
    if (tellAround) m_watcher->inserting(risingPositions.front() - 1, risingPositions.back() - 1);
    const auto endStep = [&] {
        const qsizetype added = toldTexts - k;
        const qsizetype changed = toldAbove - above + added;
        if (tellSteps && added > 0) m_watcher->inserting(int(above), int(above + added - 1));
        m_gapAt = k > 0 ? above : 0;
        m_gapRows = k;
        if (k > 0) {
            ends[above + k - 1] =
                (above == 0 ? 0 : stored::alignUp(endOf(above - 1))) + bytesBefore(k);
        }
        if (tellSteps && added > 0) m_watcher->inserted();
        if (tellSteps && changed > added) m_watcher->moved(int(above), int(above + changed) - 1);
        toldAbove = above;
        toldTexts = k;
        work = 0;
    };
    while (k > 0) {
        qsizetype runStart = k - 1;
        while (runStart > 0 && risingPositions[runStart - 1] == risingPositions[runStart] - 1) {
            --runStart;
        }
        const qsizetype runRow = risingPositions[runStart] - 1;
        // The old rows that end up above this run move up by the k texts below them, the top
        // ones first.
        const qsizetype from = runRow - runStart;
        const qint64 shift = bytesBefore(k);
        while (above > from) {
            const qsizetype lowest =
                kInSteps ? std::max(from, above - std::max<qsizetype>(1, stepRows - work)) : from;
            const qint64 fromByte = beginOf(lowest);
            const qint64 toByte = stored::alignUp(endOf(above - 1));
            if (toByte > fromByte && shift != 0) {
                std::memmove(bytes.data() + fromByte + shift, bytes.data() + fromByte,
                             size_t(toByte - fromByte));
            }
            for (qsizetype r = above - 1; r >= lowest; --r) ends[r + k] = ends[r] + shift;
            if constexpr (kInSteps) work += above - lowest;
            above = lowest;
            if constexpr (kInSteps) {
                if (work >= stepRows) {
                    endStep();
                    between();
                }
            }
        }
        // The run's texts go right after the old rows below it, which move by the texts below.
        const qint64 runByte = beginOf(from) + bytesBefore(runStart);
        const qint64 runText = textBase + bytesBefore(runStart);
        // The last text of the block may lack the padding after it. Empty texts leave both
        // buffers possibly unallocated; memcpy must not see null then.
        const qint64 runBytes =
            std::min(bytesBefore(k), texts.byteCount() - textBase) - bytesBefore(runStart);
        if (runBytes > 0) {
            std::memcpy(bytes.data() + runByte, texts.m_bytes.data() + runText, size_t(runBytes));
        }
        for (qsizetype j = runStart; j < k; ++j) {
            ends[runRow + (j - runStart)] = runByte + (texts.m_ends[firstText + j] - runText);
        }
        if constexpr (kInSteps) work += k - runStart;
        k = runStart;
        if constexpr (kInSteps) {
            if (k > 0 && work >= stepRows) {
                endStep();
                between();
            }
        }
    }
    endStep();
    trimBytes();
    if (tellAround) m_watcher->inserted();
}

void ListStore::takeLast(int count, TextBlock* removed, const std::function<void()>& between) {
    if (count < 0 || count > this->count()) {
        throw platform::Failure(
            u"Index out of bounds: %1 last items of a list of %2 items"_s.arg(count).arg(
                this->count()));
    }
    TextBlock texts;
    if (count == 0) {
        if (removed) *removed = std::move(texts);
        return;
    }
    // Giving back the memory of millions of texts takes a while: aside, for a long list.
    const auto drop = [&](TextBlock& dropped) {
        if (between && count > kMostRowsRemovedAtOnce) {
            platform::runAside([&] { dropped = TextBlock(); }, between);
        } else {
            dropped = TextBlock();
        }
    };
    FlatArray<char>& bytes = m_store.m_bytes;
    FlatArray<qint64>& ends = m_store.m_ends;
    beforeChange();
    if (count == this->count()) {
        // The list's own storage holds exactly these texts, at the offsets a block has.
        if (m_watcher) m_watcher->removing(0, count - 1);
        std::swap(texts, m_store);
        ++m_removals;
        ++m_changes;
        if (m_watcher) m_watcher->removed();
        if (removed) {
            *removed = std::move(texts);
        } else {
            drop(texts);
        }
        return;
    }
    const qsizetype first = ends.size() - count;
    const qint64 base = beginOf(first);
    if (removed) {
        // In pieces for a long tail; the copy only reads the list, which its holder keeps as it
        // is meanwhile.
        const bool inPieces = between && count > kMostRowsRemovedAtOnce;
        // Written once and read in order: small pages (see Pages::Small).
        texts.useSmallPages();
        texts.reserve(count, bytes.size() - qsizetype(base));
        qint64 copied = base;
        for (qsizetype row = first; row < ends.size();) {
            const qsizetype stepEnd = inPieces ? pieceEnd(m_store, row) : ends.size();
            const qint64 to = endOf(stepEnd - 1);
            texts.m_bytes.append(bytes.data() + copied, qsizetype(to - copied));
            copied = to;
            for (qsizetype r = row; r < stepEnd; ++r) texts.m_ends.append(ends[r] - base);
            if (stepEnd < ends.size()) between();
            row = stepEnd;
        }
    }
    if (m_watcher) m_watcher->removing(int(first), int(ends.size()) - 1);
    ends.resize(first);
    trimBytes();
    ++m_removals;
    ++m_changes;
    if (m_watcher) m_watcher->removed();
    if (removed) *removed = std::move(texts);
    // Unmapping hundreds of megabytes takes a while too: aside, for a long tail.
    if (between && count > kMostRowsRemovedAtOnce) {
        const FlatArray<qint64>::Tail endsTail = ends.cutTail();
        const FlatArray<char>::Tail bytesTail = bytes.cutTail();
        platform::runAside(
            [=] {
                endsTail.release();
                bytesTail.release();
            },
            between);
    }
    ends.squeeze();
    bytes.squeeze();
}

qsizetype ListStore::pieceEnd(const TextBlock& block, qsizetype first) {
    const qint64* ends = block.m_ends.data();
    const qsizetype last = std::min(block.count(), first + kRowsPerPiece);
    const qint64 limit = stored::beginOf(ends, first) + kBytesPerPiece;
    // The stored ends rise with the rows; the first row goes in whatever its length.
    const qint64* end = std::partition_point(ends + first + 1, ends + last, [&](qint64 stored) {
        return stored::offsetOf(stored) <= limit;
    });
    return qsizetype(end - ends);
}

void ListStore::appendRange(const TextBlock& block, qsizetype first, qsizetype end) {
    const qint64 base = stored::alignUp(m_store.byteCount());
    const qint64 from = stored::beginOf(block.m_ends.data(), first);
    const qint64 blockBytes = stored::offsetOf(block.m_ends[end - 1]) - from;
    m_store.m_bytes.resize(qsizetype(base));
    m_store.m_bytes.append(block.m_bytes.data() + from, qsizetype(blockBytes));
    const qsizetype old = m_store.m_ends.size();
    m_store.m_ends.resize(old + (end - first));
    qint64* ends = m_store.m_ends.data() + old;
    const qint64 shift = base - from;
    for (qsizetype i = first; i < end; ++i) *ends++ = block.m_ends[i] + shift;
}

void ListStore::appendTaken(TextBlock& texts, const std::function<void()>& between) {
    if (texts.isEmpty()) return;
    if (texts.pendingLength() > 0) throw platform::Failure(u"Items can only be restored whole"_s);
    if (count() == 0) {
        restoreAll(texts);
        return;
    }
    if (texts.count() > kMostItems - count()) throwFull();
    if (!between || texts.count() <= kMostRowsRemovedAtOnce) {
        appendBlock(texts);
        texts = TextBlock();
        return;
    }
    // Each step leaves the list a whole list, with the first of the texts appended; the
    // storage grows by moving its pages, never by copying them.
    FlatArray<char>& bytes = m_store.m_bytes;
    FlatArray<qint64>& ends = m_store.m_ends;
    bytes.reserve(qsizetype(stored::alignUp(bytes.size())) + texts.byteCount() + 1);
    ends.reserve(ends.size() + texts.count());
    // A fresh page costs a fault when first touched, and a huge one may keep the system looking
    // for it for a hundred milliseconds: they are touched aside first, beyond the list's end,
    // where nothing reads.
    char* const bytesFrom = bytes.data() + bytes.size();
    char* const bytesTo =
        bytes.data() + (qsizetype(stored::alignUp(bytes.size())) + texts.byteCount());
    char* const endsFrom = reinterpret_cast<char*>(ends.data() + ends.size());
    char* const endsTo = reinterpret_cast<char*>(ends.data() + ends.size() + texts.count());
    platform::runAside(
        [=] {
            constexpr qsizetype kPage = 4096;
            for (char* at = bytesFrom; at < bytesTo; at += kPage) *at = 0;
            for (char* at = endsFrom; at < endsTo; at += kPage) *at = 0;
        },
        between);
    for (qsizetype first = 0; first < texts.count();) {
        const qsizetype end = pieceEnd(texts, first);
        appendRange(texts, first, end);
        ++m_changes;
        if (m_watcher) m_watcher->appended();
        between();
        first = end;
    }
    platform::runAside([&] { texts = TextBlock(); }, between);
}

void ListStore::takeAll(TextBlock& all) {
    all = TextBlock();
    changeAll([&] {
        std::swap(all, m_store);
        ++m_removals;
        ++m_changes;
    });
}

void ListStore::restoreAll(TextBlock& all) {
    if (count() != 0) throw platform::Failure(u"Items can only be restored to an empty list"_s);
    if (all.isEmpty()) return;
    if (all.count() > kMostItems) throwFull();
    if (all.pendingLength() > 0) throw platform::Failure(u"Items can only be restored whole"_s);
    if (m_watcher) m_watcher->inserting(0, int(all.count()) - 1);
    std::swap(all, m_store);
    trimBytes();
    ++m_removals;
    ++m_changes;
    if (m_watcher) m_watcher->inserted();
    all = TextBlock();
}

void ListStore::clear() {
    if (m_recorder) {
        TextBlock all;
        takeAll(all);
        m_recorder->cleared(std::move(all));
        return;
    }
    changeAll([this] {
        m_store = TextBlock();
        ++m_removals;
        ++m_changes;
    });
}

// A new order must name every position once, and the texts in it must be the list's own in
// number and size (in UTF-16 code units); otherwise nothing is changed.
void ListStore::checkArrangement(std::span<const int> from, qsizetype texts, qint64 units) const {
    if (qsizetype(from.size()) != count() || texts != count() || units != textLength(1, count())) {
        throw platform::Failure(
            u"A new order of %1 items does not fit a list of %2 items"_s.arg(qsizetype(from.size()))
                .arg(count()));
    }
    std::vector<bool> named(from.size());
    for (const int position : from) {
        if (position < 1 || position > count() || named[size_t(position) - 1]) [[unlikely]] {
            throw platform::Failure(
                u"A new order names position %1 of a list of %2 items wrongly"_s.arg(position).arg(
                    count()));
        }
        named[size_t(position) - 1] = true;
    }
}

void ListStore::rearrange(TextBlock& arranged, FlatArray<int>&& from) {
    rearrangeInSteps(arranged, std::move(from), {});
}

void ListStore::rearrangeInSteps(TextBlock& arranged, FlatArray<int>&& from,
                                 const std::function<void()>& between) {
    if (arranged.pendingLength() > 0)
        throw platform::Failure(u"Items can only be arranged whole"_s);
    const bool aside = between && count() > kMostRowsArrangedAtOnce;
    const auto check = [&] {
        qint64 units = 0;
        for (qsizetype k = 0; k < arranged.count(); ++k) units += arranged.text(k).size();
        checkArrangement(std::span<const int>(from.data(), size_t(from.size())), arranged.count(),
                         units);
    };
    // The checks only read the list and the block, which their holder keeps as they are.
    if (aside) {
        platform::runAside(check, between);
    } else {
        check();
    }
    // The block's storage becomes the list's: nothing is copied, and the old texts go with the
    // emptied block.
    changeAll([&] {
        std::swap(m_store, arranged);
        trimBytes();
        ++m_removals;
        ++m_changes;
    });
    // Giving back the memory of millions of old texts takes a while too.
    if (aside) {
        platform::runAside([&] { arranged = TextBlock(); }, between);
    } else {
        arranged = TextBlock();
    }
    if (m_recorder) m_recorder->reordered(std::move(from));
}

void ListStore::reorder(std::span<const int> from, const std::function<void()>& between) {
    replaceInOnePass(
        [&](FlatArray<char>& bytes, FlatArray<qint64>& ends) { arrangedCopy(from, bytes, ends); },
        between);
}

void ListStore::restoreOrder(std::span<const int> from, const std::function<void()>& between) {
    replaceInOnePass(
        [&](FlatArray<char>& bytes, FlatArray<qint64>& ends) { restoredCopy(from, bytes, ends); },
        between);
}

void ListStore::replaceInOnePass(
    const std::function<void(FlatArray<char>&, FlatArray<qint64>&)>& copy,
    const std::function<void()>& between) {
    FlatArray<char> bytes;
    FlatArray<qint64> ends;
    const auto arrange = [&] { copy(bytes, ends); };
    // The copy only reads the list, which its holder keeps as it is meanwhile.
    if (between && count() > kMostRowsArrangedAtOnce) {
        platform::runAside(arrange, between);
    } else {
        arrange();
    }
    changeAll([&] {
        m_store.m_bytes.swap(bytes);
        m_store.m_ends.swap(ends);
        trimBytes();
        ++m_removals;
        ++m_changes;
    });
}

void ListStore::arrangedCopy(std::span<const int> from, FlatArray<char>& bytes,
                             FlatArray<qint64>& ends) const {
    checkArrangement(from, count(), textLength(1, count()));
    const qint64* oldEnds = m_store.m_ends.data();
    qint64 total = 0;
    for (qsizetype row = 0; row < count(); ++row) {
        total += stored::alignUp(endOf(row) - beginOf(row));
    }
    bytes.resize(qsizetype(total));
    ends.resize(count());
    qint64 at = 0;
    for (size_t k = 0; k < from.size(); ++k) {
        const qsizetype row = from[k] - 1;
        const qint64 begin = beginOf(row);
        const qint64 length = endOf(row) - begin;
        if (length > 0)
            std::memcpy(bytes.data() + at, m_store.m_bytes.data() + begin, size_t(length));
        ends[qsizetype(k)] = (at + length) | (oldEnds[row] & stored::kWide);
        at = stored::alignUp(at + length);
    }
}

// Each item goes straight to its old place, so no inverse of `from` is built: the new ends first
// hold each item's length, then, summed up in order, where each ends; then the texts follow.
void ListStore::restoredCopy(std::span<const int> from, FlatArray<char>& bytes,
                             FlatArray<qint64>& ends) const {
    checkArrangement(from, count(), textLength(1, count()));
    const qint64* oldEnds = m_store.m_ends.data();
    ends.resize(count());
    for (size_t k = 0; k < from.size(); ++k) {
        const qsizetype row = qsizetype(k);
        ends[from[k] - 1] = (endOf(row) - beginOf(row)) | (oldEnds[row] & stored::kWide);
    }
    qint64 at = 0;
    for (qsizetype row = 0; row < ends.size(); ++row) {
        const qint64 length = stored::offsetOf(ends[row]);
        ends[row] = (at + length) | (ends[row] & stored::kWide);
        at = stored::alignUp(at + length);
    }
    bytes.resize(qsizetype(at));
    for (size_t k = 0; k < from.size(); ++k) {
        const qsizetype row = qsizetype(k);
        const qsizetype to = from[k] - 1;
        const qint64 begin = beginOf(row);
        const qint64 length = endOf(row) - begin;
        if (length > 0) {
            std::memcpy(bytes.data() + stored::beginOf(ends.data(), to),
                        m_store.m_bytes.data() + begin, size_t(length));
        }
    }
}

}  // namespace list_store
