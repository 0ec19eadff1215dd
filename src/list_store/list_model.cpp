#include "list_store/list_model.h"

#include <QLocale>
#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace list_store {

namespace {

// Up to this many rows the views hear of every append at once.
constexpr int kRowsToldAtOnce = 1'000'000;

}  // namespace

ListModel::ListModel(ListStore& store, QObject* parent)
    : QAbstractTableModel(parent), m_store(store) {
    m_showRowsTimer.setSingleShot(true);
    connect(&m_showRowsTimer, &QTimer::timeout, this, &ListModel::showAppendedRows);
    m_shownRows = m_store.count();
    m_store.setWatcher(this);
}

ListModel::~ListModel() {
    m_store.setWatcher(nullptr);
}

// Telling the views of new rows costs them time in proportion to all their rows, so for a long
// list the rows appended since are told of at most every so often, the longer the list the more
// rarely (from every 100 ms up to ten million rows to every 5 s): a load of a hundred million lines
// would otherwise spend most of its time there.
void ListModel::appended() {
    const int count = m_store.count();
    if (count <= m_shownRows) return;
    if (count <= kRowsToldAtOnce || !m_sinceRowsShown.isValid() ||
        m_sinceRowsShown.elapsed() >= showRowsInterval()) {
        showAppendedRows();
        return;
    }
    if (!m_showRowsTimer.isActive()) m_showRowsTimer.start(int(showRowsInterval()));
}

qint64 ListModel::showRowsInterval() const {
    // Each telling costs the views time also in proportion to the rows it adds, so up to ten
    // million rows they hear of them often, in small portions.
    const int count = m_store.count();
    if (count <= 10'000'000) return 100;
    return std::min<qint64>(count / 20'000, 5000);
}

void ListModel::showAppendedRows() {
    m_showRowsTimer.stop();
    const int count = m_store.count();
    if (count <= m_shownRows) return;
    beginInsertRows({}, m_shownRows, count - 1);
    m_shownRows = count;
    endInsertRows();
    m_sinceRowsShown.start();
}

void ListModel::removing(int first, int last) {
    beginRemoveRows({}, first, last);
}

void ListModel::removed() {
    m_shownRows = m_store.count();
    endRemoveRows();
}

void ListModel::inserting(int first, int last) {
    beginInsertRows({}, first, last);
}

void ListModel::inserted() {
    m_shownRows = m_store.count();
    endInsertRows();
}

void ListModel::resetting() {
    beginResetModel();
}

void ListModel::wasReset() {
    m_shownRows = m_store.count();
    m_showRowsTimer.stop();
    endResetModel();
}

void ListModel::moved(int first, int last) {
    Q_EMIT dataChanged(index(first, 0), index(last, 0));
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

QString cutLengthText(qint64 length) {
    QLocale locale;
    locale.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    return u"\u2026 (%1 characters)"_s.arg(locale.toString(length));
}

void ListModel::showCount() {
    if (m_shownCount == m_store.count()) return;
    m_shownCount = m_store.count();
    if (columnTotal() > 0) Q_EMIT headerDataChanged(Qt::Horizontal, 0, 0);
}

void ListModel::setNote(const QString& note) {
    if (m_note == note) return;
    m_note = note;
    if (columnTotal() > 0) Q_EMIT headerDataChanged(Qt::Horizontal, 0, 0);
}

int ListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_shownRows;
}

int ListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : columnTotal();
}

namespace {

// The first `most` characters of `text`, never half a surrogate pair.
QString firstChars(const ItemText& text, qsizetype most) {
    qsizetype shown = most;
    if (QChar::isHighSurrogate(text.at(shown - 1))) --shown;
    const ItemText first =
        text.isWide() ? ItemText(text.utf16(), shown) : ItemText(text.latin1(), shown);
    return first.toString();
}

}  // namespace

bool ListModel::isCut(int row) const {
    return row >= 0 && row < m_shownRows && m_store.textView(row + 1).size() > kMostShownChars;
}

// Every item has its text as tool tip; the view shows it only for an item it cannot show whole.
QVariant ListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_shownRows || index.column() != 0) return {};
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
    const ItemText text = m_store.textView(index.row() + 1);
    if (role == Qt::ToolTipRole) {
        if (text.size() <= kMostToolTipChars) return text.toString();
        return firstChars(text, kMostToolTipChars) + cutLengthText(text.size());
    }
    if (text.size() <= kMostShownChars) return text.toString();
    return firstChars(text, kMostShownChars) + QChar(0x2026);
}

QVariant ListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < columnTotal()) {
        if (section > 0) return m_headers.at(section);
        QStringList notes;
        if (m_shownCount > 0) notes.append(itemCountText(m_shownCount));
        if (!m_note.isEmpty()) notes.append(m_note);
        if (notes.isEmpty()) return m_headers.at(section);
        return u"%1 (%2)"_s.arg(m_headers.at(section), notes.join(u"; "_s));
    }
    return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags ListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

}  // namespace list_store
