#include "list_store/list_model.h"

#include <QLocale>
#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "platform/aside.h"
#include "platform/failure.h"

using namespace Qt::Literals::StringLiterals;

namespace list_store {

namespace {

// Below this many separate runs the view is told of each run, which keeps its selection and
// scroll position; beyond it one reset is far cheaper than many row notifications.
constexpr qsizetype kMostRunsAnnounced = 8;
constexpr int kMostItems = INT_MAX - 1;
// An empty list takes a block's storage from this size up. Smaller blocks, as a file read chunk
// by chunk gives them, are copied, so that the reader keeps reusing its one buffer.
// Up to this many rows the views hear of every append at once.
constexpr int kRowsToldAtOnce = 1'000'000;
constexpr qsizetype kLeastTakenBytes = qsizetype(8) << 20;

}  // namespace

ListModel::ListModel(QObject* parent) : QAbstractTableModel(parent) {
    // A child, so that it moves with the list to another thread (the command line fills a list
    // on a thread of its own).
    m_showRowsTimer.setParent(this);
    m_showRowsTimer.setSingleShot(true);
    connect(&m_showRowsTimer, &QTimer::timeout, this, &ListModel::showAppendedRows);
}

int ListModel::count() const {
    return int(m_store.m_ends.size() - m_gapRows);
}

void ListModel::throwNoPosition(int position) const {
    throw platform::Failure(
        u"Index out of bounds: position %1 does not exist in a list of %2 items"_s.arg(position)
            .arg(count()));
}

ItemText ListModel::textView(int position) const {
    checkPosition(position);
    return m_store.text(storedRow(position - 1));
}

qint64 ListModel::textLength(int first, int last) const {
    if (first > last) return 0;
    checkPosition(first);
    checkPosition(last);
    qint64 length = 0;
    for (qsizetype row = first - 1; row < last; ++row) length += m_store.text(row).size();
    return length;
}

void ListModel::appendLines(QString& out, int first, int last, QStringView lineEnd) const {
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

void ListModel::append(ItemText text) {
    if (count() >= kMostItems) throw platform::Failure(u"The list cannot hold more items"_s);
    const qsizetype before = m_store.byteCount();
    m_store.add(text);
    ++m_changes;
    rowsAppended();
    if (m_recorder) m_recorder->appended(1, m_store.byteCount() - before);
}

void ListModel::appendBlock(const TextBlock& block) {
    if (block.isEmpty()) return;
    if (block.count() > kMostItems - count())
        throw platform::Failure(u"The list cannot hold more items"_s);
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
    ++m_changes;
    rowsAppended();
    if (m_recorder) m_recorder->appended(int(block.count()), m_store.byteCount() - base);
}

void ItemList::takeBlock(TextBlock& block) {
    appendBlock(block);
    block.clear();
}

void ListModel::takeBlock(TextBlock& block) {
    if (count() > 0 || block.isEmpty() || block.byteCount() < kLeastTakenBytes ||
        block.pendingLength() > 0) {
        appendBlock(block);
        block.clear();
        return;
    }
    // An empty list takes the block's storage as its own: the offsets are the same.
    if (block.count() > kMostItems) throw platform::Failure(u"The list cannot hold more items"_s);
    m_store.m_bytes.swap(block.m_bytes);
    m_store.m_ends.swap(block.m_ends);
    trimBytes();
    ++m_changes;
    rowsAppended();
    block.clear();
    if (m_recorder) m_recorder->appended(count(), m_store.byteCount());
}

// Telling the views of new rows costs them time in proportion to all their rows, so for a long
// list the rows appended since are told of at most every so often, the longer the list the more
// rarely (from every 100 ms up to ten million rows to every 5 s): a load of a hundred million lines
// would otherwise spend most of its time there.
void ListModel::rowsAppended() {
    if (count() <= m_shownRows) return;
    if (count() <= kRowsToldAtOnce || !m_sinceRowsShown.isValid() ||
        m_sinceRowsShown.elapsed() >= showRowsInterval()) {
        showAppendedRows();
        return;
    }
    if (!m_showRowsTimer.isActive()) m_showRowsTimer.start(int(showRowsInterval()));
}

qint64 ListModel::showRowsInterval() const {
    // Each telling costs the views time also in proportion to the rows it adds, so up to ten
    // million rows they hear of them often, in small portions.
    if (count() <= 10'000'000) return 100;
    return std::min<qint64>(count() / 20'000, 5000);
}

void ListModel::showAppendedRows() {
    m_showRowsTimer.stop();
    if (count() <= m_shownRows) return;
    beginInsertRows({}, m_shownRows, count() - 1);
    m_shownRows = count();
    endInsertRows();
    m_sinceRowsShown.start();
}

void ListModel::trimBytes() {
    m_store.m_bytes.resize(count() == 0 ? 0 : qsizetype(endOf(count() - 1)));
}

void ListModel::removeAt(int position) {
    const int positions[] = {position};
    removePositions(positions);
}

void ListModel::checkRising(std::span<const int> risingPositions, int last) const {
    int previous = 0;
    for (int position : risingPositions) {
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
    }
}

void ListModel::removePositions(std::span<const int> risingPositions) {
    if (risingPositions.empty()) return;
    checkRising(risingPositions, count());
    FlatArray<int> positions;
    TextBlock texts;
    const bool recording = m_recorder && keepForRecorder(risingPositions, positions, texts);
    removeRuns(risingPositions);
    if (recording) m_recorder->removed(std::move(positions), std::move(texts));
}

bool ListModel::keepForRecorder(std::span<const int> risingPositions, FlatArray<int>& positions,
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

void ListModel::takePositions(std::span<const int> risingPositions, TextBlock& removed,
                              const std::function<void()>& between) {
    checkRising(risingPositions, count());
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
void ListModel::copyOut(std::span<const int> risingPositions, TextBlock& texts,
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

void ListModel::removeRuns(std::span<const int> risingPositions) {
    qsizetype runs = 1;
    for (size_t k = 1; k < risingPositions.size(); ++k) {
        if (risingPositions[k] != risingPositions[k - 1] + 1) ++runs;
    }
    showAppendedRows();
    if (runs > kMostRunsAnnounced) {
        beginResetModel();
        removeInStorage(risingPositions);
        endResetModel();
        return;
    }
    // Announce each run from the highest down, so the lower rows keep their numbers meanwhile.
    size_t end = risingPositions.size();
    while (end > 0) {
        size_t begin = end - 1;
        while (begin > 0 && risingPositions[begin - 1] == risingPositions[begin] - 1) --begin;
        beginRemoveRows({}, risingPositions[begin] - 1, risingPositions[end - 1] - 1);
        removeInStorage(risingPositions.subspan(begin, end - begin));
        endRemoveRows();
        end = begin;
    }
}

// One pass over the storage: kept items slide down over the removed ones.
void ListModel::removeInStorage(std::span<const int> risingPositions) {
    Compaction at = startCompaction(risingPositions);
    compact(risingPositions, at, m_store.m_ends.size());
    finishCompaction(at);
    ++m_removals;
    ++m_changes;
}

ListModel::Compaction ListModel::startCompaction(std::span<const int> risingPositions) const {
    // Rows count from 0, positions from 1.
    const qsizetype first = qsizetype(risingPositions.front()) - 1;
    return Compaction{first, beginOf(first), first, 0};
}

// Every item starts at an even offset, so each run moves by an even distance and keeps its
// layout. The row below the read position keeps its end while there is a gap, so the first
// row still to come is found where it always was.
void ListModel::compact(std::span<const int> risingPositions, Compaction& at, qsizetype end) {
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

void ListModel::finishCompaction(const Compaction& at) {
    m_gapAt = 0;
    m_gapRows = 0;
    m_store.m_ends.resize(at.writeRow);
    m_shownRows = count();
    trimBytes();
    m_store.m_ends.squeeze();
    m_store.m_bytes.squeeze();
}

void ListModel::removePositionsInSteps(std::span<const int> risingPositions,
                                       const std::function<void()>& between) {
    if (count() <= kMostRowsRemovedAtOnce) {
        removePositions(risingPositions);
        return;
    }
    if (risingPositions.empty()) return;
    checkRising(risingPositions, count());
    between();
    FlatArray<int> positions;
    TextBlock texts;
    const bool recording = m_recorder && keepForRecorder(risingPositions, positions, texts);
    between();
    removeInSteps(risingPositions, between);
    if (recording) m_recorder->removed(std::move(positions), std::move(texts));
}

void ListModel::removeInSteps(std::span<const int> risingPositions,
                              const std::function<void()>& between) {
    showAppendedRows();
    // The views let go of their selection and current row first, as for any large change:
    // each step below tells them of one block of rows, not of the rows it removes.
    beginResetModel();
    ++m_removals;
    ++m_changes;
    endResetModel();
    const qsizetype total = m_store.m_ends.size();
    Compaction at = startCompaction(risingPositions);
    while (at.readRow < total) {
        const qsizetype stepEnd = std::min(total, at.readRow + kRowsPerRemovalStep);
        const size_t nextBefore = at.next;
        while (at.next < risingPositions.size() && risingPositions[at.next] <= stepEnd) ++at.next;
        const qsizetype removed = qsizetype(at.next - nextBefore);
        at.next = nextBefore;
        const qsizetype kept = stepEnd - at.readRow - removed;
        // Shown rows from the write position on are the stored rows from the read position on.
        const qsizetype firstShown = at.writeRow;
        if (removed > 0) {
            beginRemoveRows({}, int(firstShown + kept), int(firstShown + kept + removed - 1));
        }
        compact(risingPositions, at, stepEnd);
        m_gapAt = at.writeRow;
        m_gapRows = at.readRow - at.writeRow;
        m_shownRows = count();
        if (removed > 0) {
            endRemoveRows();
            if (kept > 0)
                Q_EMIT dataChanged(index(int(firstShown), 0), index(int(at.writeRow) - 1, 0));
        }
        if (at.readRow < total) between();
    }
    finishCompaction(at);
}

void ListModel::prepareInsertion(std::span<const int> risingPositions, const TextBlock& texts) {
    if (qsizetype(risingPositions.size()) != texts.count()) {
        throw platform::Failure(
            u"%1 positions given for %2 items"_s.arg(qsizetype(risingPositions.size()))
                .arg(texts.count()));
    }
    if (risingPositions.empty()) return;
    if (texts.count() > kMostItems - count())
        throw platform::Failure(u"The list cannot hold more items"_s);
    checkRising(risingPositions, count() + int(texts.count()));
    // Room for everything first, so that running out of memory changes nothing.
    m_store.m_bytes.reserve(qsizetype(stored::alignUp(m_store.byteCount())) + texts.byteCount() +
                            1);
    m_store.m_ends.reserve(m_store.m_ends.size() + texts.count());
    showAppendedRows();
}

void ListModel::insertAt(std::span<const int> risingPositions, const TextBlock& texts,
                         const std::function<void()>& between) {
    if (between && count() + texts.count() > kMostRowsRemovedAtOnce) {
        prepareInsertion(risingPositions, texts);
        if (!risingPositions.empty()) insertInSteps(risingPositions, texts, between);
        return;
    }
    prepareInsertion(risingPositions, texts);
    if (risingPositions.empty()) return;
    qsizetype runs = 1;
    for (size_t k = 1; k < risingPositions.size(); ++k) {
        if (risingPositions[k] != risingPositions[k - 1] + 1) ++runs;
    }
    if (runs > kMostRunsAnnounced) {
        beginResetModel();
        insertInStorage(risingPositions, texts, 0);
        endResetModel();
        return;
    }
    // Each run from the lowest up: a run's positions are final once the runs below it are in.
    size_t begin = 0;
    while (begin < risingPositions.size()) {
        size_t end = begin + 1;
        while (end < risingPositions.size() &&
               risingPositions[end] == risingPositions[end - 1] + 1) {
            ++end;
        }
        beginInsertRows({}, risingPositions[begin] - 1, risingPositions[end - 1] - 1);
        insertInStorage(risingPositions.subspan(begin, end - begin), texts, qsizetype(begin));
        endInsertRows();
        begin = end;
    }
}

// One pass from the top down: the items already there move up over the room the inserted ones
// need below them, and each run of inserted texts is copied into the gap left for it. The text
// for risingPositions[k] is texts.text(firstText + k). Room is reserved by the caller. Sizes
// here include the padding that keeps each text at an even offset, so every move is by an even
// distance.
void ListModel::insertInStorage(std::span<const int> risingPositions, const TextBlock& texts,
                                qsizetype firstText) {
    FlatArray<char>& bytes = m_store.m_bytes;
    FlatArray<qint64>& ends = m_store.m_ends;
    const qsizetype inserted = qsizetype(risingPositions.size());
    const qint64 textBase = stored::beginOf(texts.m_ends.data(), firstText);
    // Bytes of the first `k` texts to insert.
    const auto bytesBefore = [&](qsizetype k) {
        return k == 0 ? 0 : stored::beginOf(texts.m_ends.data(), firstText + k) - textBase;
    };
    const qsizetype oldRows = ends.size();
    const qint64 oldBytes = stored::alignUp(bytes.size());
    bytes.resize(qsizetype(oldBytes + bytesBefore(inserted)));
    ends.resize(oldRows + inserted);

    qsizetype above = oldRows;  // old rows from here up are in place
    qsizetype k = inserted;     // texts from here up are in place
    while (k > 0) {
        qsizetype runStart = k - 1;
        while (runStart > 0 && risingPositions[runStart - 1] == risingPositions[runStart] - 1) {
            --runStart;
        }
        const qsizetype runRow = risingPositions[runStart] - 1;
        // The old rows that end up above this run move up by the k texts below them.
        const qsizetype from = runRow - runStart;
        const qint64 fromByte = beginOf(from);
        const qint64 toByte = above == 0 ? 0 : stored::alignUp(endOf(above - 1));
        const qint64 shift = bytesBefore(k);
        if (toByte > fromByte && shift != 0) {
            std::memmove(bytes.data() + fromByte + shift, bytes.data() + fromByte,
                         size_t(toByte - fromByte));
        }
        for (qsizetype r = above - 1; r >= from; --r) ends[r + k] = ends[r] + shift;
        // The run's texts go right after the old rows below it, which move by the texts below.
        const qint64 runByte = fromByte + bytesBefore(runStart);
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
        above = from;
        k = runStart;
    }
    trimBytes();
    m_shownRows = count();
    ++m_removals;  // positions taken before point at other items now
    ++m_changes;
}

// As insertInStorage(), from the top down, but a step of rows at a time. Between steps the
// rows below the gap are old ones not yet moved and the rows above it final, and the slot just
// below the final rows holds where the first of them begins.
void ListModel::insertInSteps(std::span<const int> risingPositions, const TextBlock& texts,
                              const std::function<void()>& between) {
    beginResetModel();  // as for any large change: see removeInSteps()
    ++m_removals;
    ++m_changes;
    endResetModel();
    FlatArray<char>& bytes = m_store.m_bytes;
    FlatArray<qint64>& ends = m_store.m_ends;
    const qsizetype inserted = qsizetype(risingPositions.size());
    const auto bytesBefore = [&](qsizetype k) {
        return k == 0 ? 0 : stored::beginOf(texts.m_ends.data(), k);
    };
    const qsizetype oldRows = ends.size();
    const qint64 oldBytes = stored::alignUp(bytes.size());
    bytes.resize(qsizetype(oldBytes + bytesBefore(inserted)));
    ends.resize(oldRows + inserted);

    qsizetype above = oldRows;  // old rows from here up are in place
    qsizetype k = inserted;     // texts from here up are in place
    qsizetype shownAbove = above;
    qsizetype shownTexts = k;
    qsizetype work = 0;
    const auto tellViews = [&] {
        const qsizetype added = shownTexts - k;
        const qsizetype changed = shownAbove - above + added;
        if (added > 0) beginInsertRows({}, int(above), int(above + added - 1));
        m_gapAt = k > 0 ? above : 0;
        m_gapRows = k;
        if (k > 0) {
            ends[above + k - 1] =
                (above == 0 ? 0 : stored::alignUp(endOf(above - 1))) + bytesBefore(k);
        }
        m_shownRows = count();
        if (added > 0) endInsertRows();
        if (changed > added) {
            Q_EMIT dataChanged(index(int(above), 0), index(int(above + changed) - 1, 0));
        }
        shownAbove = above;
        shownTexts = k;
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
                std::max(from, above - std::max<qsizetype>(1, kRowsPerRemovalStep - work));
            const qint64 fromByte = beginOf(lowest);
            const qint64 toByte = stored::alignUp(endOf(above - 1));
            if (toByte > fromByte && shift != 0) {
                std::memmove(bytes.data() + fromByte + shift, bytes.data() + fromByte,
                             size_t(toByte - fromByte));
            }
            for (qsizetype r = above - 1; r >= lowest; --r) ends[r + k] = ends[r] + shift;
            work += above - lowest;
            above = lowest;
            if (work >= kRowsPerRemovalStep) {
                tellViews();
                between();
            }
        }
        // The run's texts go right after the old rows below it, which move by the texts below.
        const qint64 runByte = beginOf(from) + bytesBefore(runStart);
        const qint64 runText = bytesBefore(runStart);
        // The last text of the block may lack the padding after it. Empty texts leave both
        // buffers possibly unallocated; memcpy must not see null then.
        const qint64 runBytes = std::min(bytesBefore(k), texts.byteCount()) - runText;
        if (runBytes > 0) {
            std::memcpy(bytes.data() + runByte, texts.m_bytes.data() + runText, size_t(runBytes));
        }
        for (qsizetype j = runStart; j < k; ++j) {
            ends[runRow + (j - runStart)] = runByte + (texts.m_ends[j] - runText);
        }
        work += k - runStart;
        k = runStart;
        if (k > 0 && work >= kRowsPerRemovalStep) {
            tellViews();
            between();
        }
    }
    tellViews();
    trimBytes();
}

void ListModel::takeLast(int count, TextBlock* removed) {
    if (count < 0 || count > this->count()) {
        throw platform::Failure(
            u"Index out of bounds: %1 last items of a list of %2 items"_s.arg(count).arg(
                this->count()));
    }
    TextBlock texts;
    FlatArray<char>& bytes = m_store.m_bytes;
    FlatArray<qint64>& ends = m_store.m_ends;
    const qsizetype first = ends.size() - count;
    const qint64 base = beginOf(first);
    if (removed && count > 0) {
        texts.reserve(count, bytes.size() - qsizetype(base));
        texts.m_bytes.append(bytes.data() + base, bytes.size() - qsizetype(base));
        texts.m_ends.resize(count);
        for (qsizetype k = 0; k < count; ++k) texts.m_ends[k] = ends[first + k] - base;
    }
    if (count > 0) {
        showAppendedRows();
        beginRemoveRows({}, int(first), int(ends.size()) - 1);
        ends.resize(first);
        m_shownRows = int(first);
        trimBytes();
        ends.squeeze();
        bytes.squeeze();
        ++m_removals;
        ++m_changes;
        endRemoveRows();
    }
    if (removed) *removed = std::move(texts);
}

void ListModel::takeAll(TextBlock& all) {
    all = TextBlock();
    beginResetModel();
    std::swap(all, m_store);
    m_shownRows = 0;
    m_showRowsTimer.stop();
    ++m_removals;
    ++m_changes;
    endResetModel();
}

void ListModel::restoreAll(TextBlock& all) {
    if (count() != 0) throw platform::Failure(u"Items can only be restored to an empty list"_s);
    if (all.isEmpty()) return;
    if (all.count() > kMostItems) throw platform::Failure(u"The list cannot hold more items"_s);
    if (all.pendingLength() > 0) throw platform::Failure(u"Items can only be restored whole"_s);
    beginInsertRows({}, 0, int(all.count()) - 1);
    std::swap(all, m_store);
    trimBytes();
    m_shownRows = count();
    ++m_removals;
    ++m_changes;
    endInsertRows();
    all = TextBlock();
}

void ListModel::clear() {
    if (m_recorder) {
        TextBlock all;
        takeAll(all);
        m_recorder->cleared(std::move(all));
        return;
    }
    beginResetModel();
    m_store = TextBlock();
    m_shownRows = 0;
    m_showRowsTimer.stop();
    ++m_removals;
    ++m_changes;
    endResetModel();
}

// A new order must name every position once, and the texts in it must be the list's own in
// number and size (in UTF-16 code units); otherwise nothing is changed.
void ListModel::checkArrangement(std::span<const int> from, qsizetype texts, qint64 units) const {
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

void ListModel::rearrange(TextBlock& arranged, FlatArray<int>&& from) {
    rearrangeInSteps(arranged, std::move(from), {});
}

void ListModel::rearrangeInSteps(TextBlock& arranged, FlatArray<int>&& from,
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
    beginResetModel();
    // The block's storage becomes the list's: nothing is copied, and the old texts go with the
    // emptied block.
    std::swap(m_store, arranged);
    trimBytes();
    m_shownRows = count();
    m_showRowsTimer.stop();
    ++m_removals;
    ++m_changes;
    endResetModel();
    // Giving back the memory of millions of old texts takes a while too.
    if (aside) {
        platform::runAside([&] { arranged = TextBlock(); }, between);
    } else {
        arranged = TextBlock();
    }
    if (m_recorder) m_recorder->reordered(std::move(from));
}

void ListModel::reorder(std::span<const int> from, const std::function<void()>& between) {
    FlatArray<char> bytes;
    FlatArray<qint64> ends;
    const auto arrange = [&] { arrangedCopy(from, bytes, ends); };
    // The copy only reads the list, which its holder keeps as it is meanwhile.
    if (between && count() > kMostRowsArrangedAtOnce) {
        platform::runAside(arrange, between);
    } else {
        arrange();
    }
    beginResetModel();
    m_store.m_bytes.swap(bytes);
    m_store.m_ends.swap(ends);
    trimBytes();
    m_shownRows = count();
    m_showRowsTimer.stop();
    ++m_removals;
    ++m_changes;
    endResetModel();
}

void ListModel::arrangedCopy(std::span<const int> from, FlatArray<char>& bytes,
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

void ListModel::addColumn(const QString& header) {
    const int column = columnTotal();
    beginInsertColumns({}, column, column);
    m_headers.append(header);
    endInsertColumns();
}

QString ListModel::columnHeader(int column) const {
    return m_headers.value(column);
}

QString itemCountText(int count) {
    QLocale locale;
    // Qt's C locale leaves out the separators; a count of millions needs them.
    locale.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    const QString number = locale.toString(count);
    return count == 1 ? number + u" item"_s : number + u" items"_s;
}

void ListModel::showCount() {
    if (m_shownCount == count()) return;
    m_shownCount = count();
    if (columnTotal() > 0) Q_EMIT headerDataChanged(Qt::Horizontal, 0, 0);
}

int ListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_shownRows;
}

int ListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : columnTotal();
}

QVariant ListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_shownRows || index.column() != 0) return {};
    if (role != Qt::DisplayRole) return {};
    const ItemText text = textView(index.row() + 1);
    if (text.size() <= kMostShownChars) return text.toString();
    qsizetype shown = kMostShownChars;
    if (QChar::isHighSurrogate(text.at(shown - 1))) --shown;  // never half a pair
    const ItemText first =
        text.isWide() ? ItemText(text.utf16(), shown) : ItemText(text.latin1(), shown);
    return first.toString() + QChar(0x2026);
}

QVariant ListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < columnTotal()) {
        if (section > 0 || m_shownCount == 0) return m_headers.at(section);
        return u"%1 (%2)"_s.arg(m_headers.at(section), itemCountText(m_shownCount));
    }
    return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags ListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

}  // namespace list_store
