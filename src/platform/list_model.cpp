#include "platform/list_model.h"

#include <QLocale>
#include <climits>
#include <cstring>

#include "platform/failure.h"

using namespace Qt::Literals::StringLiterals;

namespace platform {

namespace {

// Below this many separate runs the view is told of each run, which keeps its selection and
// scroll position; beyond it one reset is far cheaper than many row notifications.
constexpr qsizetype kMostRunsAnnounced = 8;
constexpr int kMostItems = INT_MAX - 1;
// An empty list takes a block's storage from this size up. Smaller blocks, as a file read chunk
// by chunk gives them, are copied, so that the reader keeps reusing its one buffer.
constexpr qsizetype kLeastTakenChars = qsizetype(4) << 20;

}  // namespace

ListModel::ListModel(QObject* parent) : QAbstractTableModel(parent) {}

int ListModel::count() const {
    return int(m_ends.size());
}

void ListModel::throwNoPosition(int position) const {
    throw Failure(
        u"Index out of bounds: position %1 does not exist in a list of %2 items"_s.arg(position)
            .arg(count()));
}

QStringView ListModel::textView(int position) const {
    checkPosition(position);
    const qsizetype row = position - 1;
    const qint64 begin = beginOf(row);
    return QStringView(m_chars.data() + begin, m_ends[row] - begin);
}

qint64 ListModel::textLength(int first, int last) const {
    if (first > last) return 0;
    checkPosition(first);
    checkPosition(last);
    return m_ends[last - 1] - beginOf(first - 1);
}

void ListModel::appendLines(QString& out, int first, int last, QStringView lineEnd) const {
    if (first > last) return;
    checkPosition(first);
    checkPosition(last);
    const qint64 textUnits = m_ends[last - 1] - beginOf(first - 1);
    const qsizetype start = out.size();
    out.resize(start + qsizetype(textUnits + qint64(last - first + 1) * lineEnd.size()));
    char16_t* to = reinterpret_cast<char16_t*>(out.data()) + start;
    const char16_t* chars = m_chars.data();
    const size_t endBytes = size_t(lineEnd.size()) * sizeof(char16_t);
    qint64 begin = beginOf(first - 1);
    for (qsizetype row = first - 1; row < last; ++row) {
        const qint64 end = m_ends[row];
        std::memcpy(to, chars + begin, size_t(end - begin) * sizeof(char16_t));
        to += end - begin;
        std::memcpy(to, lineEnd.utf16(), endBytes);
        to += lineEnd.size();
        begin = end;
    }
}

void ListModel::append(QStringView text) {
    if (count() >= kMostItems) throw Failure(u"The list cannot hold more items"_s);
    const int row = count();
    beginInsertRows({}, row, row);
    m_chars.append(text.utf16(), text.size());
    m_ends.append(m_chars.size());
    ++m_changes;
    endInsertRows();
}

void ListModel::appendBlock(const TextBlock& block) {
    if (block.isEmpty()) return;
    if (block.count() > kMostItems - count()) throw Failure(u"The list cannot hold more items"_s);
    const int first = count();
    const qint64 base = m_chars.size();
    beginInsertRows({}, first, first + int(block.count()) - 1);
    m_chars.append(block.m_chars.data(), block.m_chars.size());
    // resize() grows the storage geometrically; reserving the exact size here would move the
    // whole array on every block of a file.
    const qsizetype old = m_ends.size();
    m_ends.resize(old + block.count());
    qint64* ends = m_ends.data() + old;
    for (qsizetype i = 0; i < block.count(); ++i) ends[i] = base + block.m_ends[i];
    ++m_changes;
    endInsertRows();
}

void ItemList::takeBlock(TextBlock& block) {
    appendBlock(block);
    block.clear();
}

void ListModel::takeBlock(TextBlock& block) {
    if (count() > 0 || block.isEmpty() || block.charCount() < kLeastTakenChars) {
        appendBlock(block);
        block.clear();
        return;
    }
    // An empty list takes the block's storage as its own: the offsets are the same.
    if (block.count() > kMostItems) throw Failure(u"The list cannot hold more items"_s);
    beginInsertRows({}, 0, int(block.count()) - 1);
    m_chars.swap(block.m_chars);
    m_ends.swap(block.m_ends);
    ++m_changes;
    endInsertRows();
    block.clear();
}

void ListModel::removeAt(int position) {
    checkPosition(position);
    const int row = position - 1;
    beginRemoveRows({}, row, row);
    const int positions[] = {position};
    removeInStorage(positions);
    endRemoveRows();
}

void ListModel::removePositions(std::span<const int> risingPositions) {
    if (risingPositions.empty()) return;
    int previous = 0;
    for (int position : risingPositions) {
        checkPosition(position);
        if (position <= previous) {
            throw Failure(
                u"Positions to remove must be rising; %1 follows %2"_s.arg(position).arg(previous));
        }
        previous = position;
    }

    qsizetype runs = 1;
    for (size_t k = 1; k < risingPositions.size(); ++k) {
        if (risingPositions[k] != risingPositions[k - 1] + 1) ++runs;
    }
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
    const qsizetype total = m_ends.size();
    // Rows count from 0, positions from 1.
    const auto rowAt = [&](size_t k) { return qsizetype(risingPositions[k]) - 1; };
    qsizetype writeRow = rowAt(0);
    qint64 writeChar = beginOf(writeRow);
    size_t next = 0;
    for (qsizetype row = rowAt(0); row < total; ++row) {
        if (next < risingPositions.size() && rowAt(next) == row) {
            ++next;
            continue;
        }
        // Copy the run of kept rows that starts here in one move.
        const qsizetype runEnd = next < risingPositions.size() ? rowAt(next) : total;
        const qint64 from = beginOf(row);
        const qint64 length = m_ends[runEnd - 1] - from;
        if (from != writeChar) {
            std::memmove(m_chars.data() + writeChar, m_chars.data() + from,
                         size_t(length) * sizeof(char16_t));
        }
        const qint64 shift = from - writeChar;
        for (qsizetype r = row; r < runEnd; ++r) m_ends[writeRow++] = m_ends[r] - shift;
        writeChar += length;
        row = runEnd - 1;
    }
    m_ends.resize(writeRow);
    m_chars.resize(writeChar);
    m_ends.squeeze();
    m_chars.squeeze();
    ++m_removals;
    ++m_changes;
}

void ListModel::clear() {
    beginResetModel();
    m_chars.clear();
    m_ends.clear();
    ++m_removals;
    ++m_changes;
    endResetModel();
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
    return parent.isValid() ? 0 : count();
}

int ListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : columnTotal();
}

QVariant ListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= count() || index.column() != 0) return {};
    if (role != Qt::DisplayRole) return {};
    const QStringView text = textView(index.row() + 1);
    if (text.size() <= kMostShownChars) return text.toString();
    qsizetype shown = kMostShownChars;
    if (text[shown - 1].isHighSurrogate()) --shown;  // never half a pair
    return text.first(shown).toString() + QChar(0x2026);
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

}  // namespace platform
