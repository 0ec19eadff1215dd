#include "controls/list_view.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QDropEvent>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMetaMethod>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QToolTip>
#include <QUrl>
#include <algorithm>
#include <climits>
#include <cstdlib>

#include "platform/failure.h"

using namespace Qt::Literals::StringLiterals;

namespace controls {

namespace {

// The header's count follows long work at most this often.
constexpr int kCountIntervalMs = 100;

QStringList localFiles(const QMimeData* data) {
    QStringList paths;
    if (!data || !data->hasUrls()) return paths;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile()) paths.append(QDir::toNativeSeparators(url.toLocalFile()));
    }
    return paths;
}

bool canTake(const QMimeData* data) {
    return data && (!localFiles(data).isEmpty() || data->hasText());
}

}  // namespace

ListView::ListView(QWidget* parent)
    : QListView(parent),
      m_header(new QHeaderView(Qt::Horizontal, this)),
      m_rowHeight(fontMetrics().height() + 4) {
    setModel(&m_model);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setUniformItemSizes(true);
    setWordWrap(false);
    setTabKeyNavigation(false);
    m_header->setModel(&m_model);
    m_header->setSectionResizeMode(QHeaderView::Interactive);
    m_header->setHighlightSections(false);
    m_header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_header->setFocusPolicy(Qt::NoFocus);
    connect(m_header, &QHeaderView::sectionResized, this, [this] {
        updateGeometries();
        viewport()->update();
    });
    connect(m_header, &QHeaderView::sectionCountChanged, this, [this] { updateGeometries(); });
    viewport()->setMouseTracking(true);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);

    m_copy = addGesture(tr("&Copy"), QKeySequence::Copy);
    m_paste = addGesture(tr("&Paste"), QKeySequence::Paste);
    m_selectAll = addGesture(tr("Select &All"), QKeySequence::SelectAll);
    m_delete = addGesture(tr("&Delete"), QKeySequence::Delete);
    connect(m_copy, &QAction::triggered, this, &ListView::copyRequested);
    connect(m_paste, &QAction::triggered, this, &ListView::pasteRequested);
    connect(m_selectAll, &QAction::triggered, this, &QAbstractItemView::selectAll);
    connect(m_delete, &QAction::triggered, this, &ListView::deleteRequested);
    setContextMenuPolicy(Qt::ActionsContextMenu);

    m_countTimer.setSingleShot(true);
    connect(&m_countTimer, &QTimer::timeout, this, &ListView::followCount);
    connect(&m_model, &QAbstractItemModel::rowsInserted, this, &ListView::countChanged);
    connect(&m_model, &QAbstractItemModel::rowsRemoved, this, &ListView::countChanged);
    connect(&m_model, &QAbstractItemModel::modelReset, this, &ListView::countChanged);
    m_sinceCountShown.start();
}

QAction* ListView::addGesture(const QString& text, QKeySequence::StandardKey key) {
    auto* action = new QAction(text, this);
    action->setShortcuts(key);
    action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    action->setShortcutVisibleInContextMenu(true);
    addAction(action);
    return action;
}

// Called once per change of the model, which long work makes in blocks, never per item.
void ListView::countChanged() {
    if (m_countTimer.isActive()) return;
    const qint64 since = m_sinceCountShown.elapsed();
    m_countTimer.start(int(std::max<qint64>(0, kCountIntervalMs - since)));
}

void ListView::showCountNow() {
    m_model.showAppendedRows();
    followCount();
}

void ListView::followCount() {
    m_countTimer.stop();
    m_sinceCountShown.restart();
    if (m_model.shownCount() == m_store.count() && !accessibleDescription().isEmpty()) return;
    m_model.showCount();
    describe();
}

void ListView::setNote(const QString& note) {
    m_model.setNote(note);
    describe();
}

void ListView::describe() {
    const QString count = list_store::itemCountText(m_model.shownCount());
    setAccessibleDescription(m_model.note().isEmpty() ? count : count + u"; "_s + m_model.note());
}

std::vector<ListView::Run> ListView::selectedRuns() const {
    std::vector<Run> runs;
    const QItemSelection selection = selectionModel()->selection();
    runs.reserve(size_t(selection.size()));
    for (const QItemSelectionRange& range : selection) {
        if (range.isValid()) runs.push_back({range.top() + 1, range.bottom() + 1});
    }
    // Ranges may overlap or touch (Ctrl+click, Shift+click); merge them.
    std::sort(runs.begin(), runs.end(), [](Run a, Run b) { return a.first < b.first; });
    std::vector<Run> merged;
    for (const Run& run : runs) {
        if (!merged.empty() && run.first <= merged.back().last + 1) {
            merged.back().last = std::max(merged.back().last, run.last);
        } else {
            merged.push_back(run);
        }
    }
    return merged;
}

std::vector<int> ListView::selectedPositions() const {
    std::vector<int> positions;
    const std::vector<Run> runs = selectedRuns();
    size_t total = 0;
    for (const Run& run : runs) total += size_t(run.last - run.first + 1);
    positions.reserve(total);
    for (const Run& run : runs) {
        for (int position = run.first; position <= run.last; ++position) {
            positions.push_back(position);
        }
    }
    return positions;
}

int ListView::selectedPosition() const {
    const QModelIndex current = currentIndex();
    if (current.isValid() && selectionModel()->isRowSelected(current.row(), {})) {
        return current.row() + 1;
    }
    const std::vector<Run> runs = selectedRuns();
    return runs.empty() ? 0 : runs.front().first;
}

void ListView::selectPosition(int position) {
    if (position < 1 || position > m_store.count()) {
        clearSelection();
        return;
    }
    const QModelIndex index = m_model.index(position - 1, 0);
    selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void ListView::addColumn(const QString& header) {
    m_model.addColumn(header);
}

int ListView::columnWidth(int column) const {
    return m_header->sectionSize(column);
}

void ListView::setColumnWidthTwips(int column, int twips) {
    if (column < 1 || column > m_model.columnTotal()) {
        throw platform::Failure(u"Index out of bounds: the list has no column %1"_s.arg(column));
    }
    m_header->resizeSection(column - 1, qRound(twips / 15.0));
}

int virtualKeyCode(int qtKey) {
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) return qtKey;  // same codes as VK_A..VK_Z
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) return qtKey;
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24) return 0x70 + (qtKey - Qt::Key_F1);
    switch (qtKey) {
        case Qt::Key_Backspace:
            return 0x08;
        case Qt::Key_Tab:
            return 0x09;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return 0x0D;
        case Qt::Key_Shift:
            return 0x10;
        case Qt::Key_Control:
            return 0x11;
        case Qt::Key_Alt:
            return 0x12;
        case Qt::Key_Escape:
            return 0x1B;
        case Qt::Key_Space:
            return 0x20;
        case Qt::Key_PageUp:
            return 0x21;
        case Qt::Key_PageDown:
            return 0x22;
        case Qt::Key_End:
            return 0x23;
        case Qt::Key_Home:
            return 0x24;
        case Qt::Key_Left:
            return 0x25;
        case Qt::Key_Up:
            return 0x26;
        case Qt::Key_Right:
            return 0x27;
        case Qt::Key_Down:
            return 0x28;
        case Qt::Key_Insert:
            return 0x2D;
        case Qt::Key_Delete:
            return 0x2E;
        default:
            return 0;
    }
}

void ListView::keyPressEvent(QKeyEvent* event) {
    int shift = 0;
    if (event->modifiers() & Qt::ShiftModifier) shift |= 1;
    if (event->modifiers() & Qt::ControlModifier) shift |= 2;
    if (event->modifiers() & Qt::AltModifier) shift |= 4;
    Q_EMIT keyDown(virtualKeyCode(event->key()), shift);
    // Shift+F10 opens the context menu as the Menu key does: at the current row, or in the
    // middle of the list without one.
    if (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier) {
        const QRect row = visualRect(currentIndex());
        const QPoint at =
            viewport()->mapTo(this, row.isValid() && viewport()->rect().intersects(row)
                                        ? row.center()
                                        : viewport()->rect().center());
        QContextMenuEvent menu(QContextMenuEvent::Keyboard, at, mapToGlobal(at),
                               event->modifiers());
        QCoreApplication::sendEvent(this, &menu);
        event->accept();
        return;
    }
    // The list goes on with its own handling of the key.
    QListView::keyPressEvent(event);
}

void ListView::showPosition(int position) {
    m_model.showAppendedRows();
    // The scroll range must reach the new rows first.
    executeDelayedItemsLayout();
    scrollTo(m_model.index(position - 1, 0));
}

void ListView::mouseDoubleClickEvent(QMouseEvent* event) {
    QListView::mouseDoubleClickEvent(event);
    Q_EMIT activation();
}

bool ListView::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::MouseMove) Q_EMIT pointerMoved();
    if (event->type() == QEvent::ToolTip) {
        showItemToolTip(static_cast<QHelpEvent*>(event));
        return true;
    }
    return QListView::viewportEvent(event);
}

void ListView::showItemToolTip(QHelpEvent* event) {
    const QModelIndex index = indexAt(event->pos());
    if (index.isValid() && !showsWhole(index)) {
        QToolTip::showText(event->globalPos(), m_model.data(index, Qt::ToolTipRole).toString(),
                           viewport(), visualRect(index));
        return;
    }
    QToolTip::hideText();
    event->ignore();
}

// Cut at the most characters shown, or wider than its column, which keeps its width.
bool ListView::showsWhole(const QModelIndex& index) const {
    if (m_model.isCut(index.row())) return false;
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = visualRect(index);
    return itemDelegateForIndex(index)->sizeHint(option, index).width() <= option.rect.width();
}

void ListView::dragEnterEvent(QDragEnterEvent* event) {
    if (!canTake(event->mimeData())) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void ListView::dragMoveEvent(QDragMoveEvent* event) {
    if (!canTake(event->mimeData())) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void ListView::dropEvent(QDropEvent* event) {
    const QMimeData* dropped = event->mimeData();
    if (!canTake(dropped)) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    // The data belongs to the drag, which ends with this event: take what is needed now.
    const QStringList paths = localFiles(dropped);
    // Queued, so that the drag's own event loop has ended before a load or a message box starts.
    if (!paths.isEmpty()) {
        QMetaMethod::fromSignal(&ListView::filesDropped)
            .invoke(this, Qt::QueuedConnection, Q_ARG(QStringList, paths));
        return;
    }
    QMetaMethod::fromSignal(&ListView::textDropped)
        .invoke(this, Qt::QueuedConnection, Q_ARG(QString, dropped->text()));
}

int ListView::firstShownRow() const {
    return verticalScrollBar()->value();
}

int ListView::rowsPerPage() const {
    return std::max(1, viewport()->height() / m_rowHeight);
}

qint64 ListView::rowAtY(int y) const {
    // Rounded down, also above the viewport.
    const qint64 rows = y >= 0 ? y / m_rowHeight : -((qint64(-y) + m_rowHeight - 1) / m_rowHeight);
    return firstShownRow() + rows;
}

int ListView::yOfRow(qint64 row) const {
    // Rows far outside the viewport stay far outside it, without overflowing.
    const qint64 y = (row - firstShownRow()) * m_rowHeight;
    return int(std::clamp<qint64>(y, INT_MIN / 4, INT_MAX / 4));
}

QRect ListView::visualRect(const QModelIndex& index) const {
    if (!index.isValid() || index.model() != &m_model || index.parent().isValid()) return {};
    return QRect(m_header->sectionViewportPosition(index.column()), yOfRow(index.row()),
                 m_header->sectionSize(index.column()), m_rowHeight);
}

void ListView::scrollTo(const QModelIndex& index, ScrollHint hint) {
    if (!index.isValid() || index.model() != &m_model) return;
    const int row = index.row();
    const int first = firstShownRow();
    const int page = rowsPerPage();
    int top = first;
    switch (hint) {
        case EnsureVisible:
            if (row < first) {
                top = row;
            } else if (row >= first + page) {
                top = row - page + 1;
            }
            break;
        case PositionAtTop:
            top = row;
            break;
        case PositionAtBottom:
            top = row - page + 1;
            break;
        case PositionAtCenter:
            top = row - page / 2;
            break;
    }
    verticalScrollBar()->setValue(top);
    // Columns wider than the viewport: bring the item's start into view.
    const int left = m_header->sectionPosition(index.column());
    const int right = left + m_header->sectionSize(index.column());
    QScrollBar* across = horizontalScrollBar();
    if (left < across->value()) {
        across->setValue(left);
    } else if (right > across->value() + viewport()->width()) {
        across->setValue(std::min(left, right - viewport()->width()));
    }
}

QModelIndex ListView::indexAt(const QPoint& point) const {
    if (point.y() < 0) return {};
    const qint64 row = rowAtY(point.y());
    const int column = m_header->logicalIndexAt(point.x());
    if (row >= m_model.rowCount() || column < 0) return {};
    return m_model.index(int(row), column);
}

namespace {
// Rows compared before the window handles its events again.
constexpr qint64 kRowsSearchedAtOnce = 50'000;
}  // namespace

void ListView::keyboardSearch(const QString& search) {
    const int rows = m_model.rowCount();
    if (rows == 0 || m_model.columnCount() == 0) return;
    const QModelIndex current = currentIndex();
    const bool continues = !search.isEmpty() && m_sinceTyped.isValid() &&
                           m_sinceTyped.elapsed() <= QApplication::keyboardInputInterval();
    m_sinceTyped.start();
    m_typed = continues ? m_typed + search : search;
    if (m_typed.isEmpty()) return;
    // A new search, or the same key again ("aaa" steps through the entries starting with a),
    // starts after the current entry; more letters of one word look at the current one first.
    const bool sameKey = m_typed.count(m_typed.back()) == m_typed.size();
    int start = current.isValid() ? current.row() : 0;
    if (current.isValid() && (!continues || sameKey)) start = start + 1 < rows ? start + 1 : 0;
    if (sameKey) m_typed = m_typed.first(1);
    const quint64 id = ++m_search;
    m_searchChanges = m_store.changeGeneration();
    searchOn(id, start, rows);
}

bool ListView::searchOn(quint64 search, int row, qint64 rows) {
    if (search != m_search || m_store.changeGeneration() != m_searchChanges) return true;
    const int count = m_model.rowCount();
    if (count == 0) return true;
    const qint64 now = std::min(rows, kRowsSearchedAtOnce);
    for (qint64 k = 0; k < now; ++k) {
        const int at = int((row + k) % count);
        const list_store::ItemText text = m_store.textView(at + 1);
        if (text.size() < m_typed.size()) continue;
        const list_store::ItemText start =
            text.isWide() ? list_store::ItemText(text.utf16(), m_typed.size())
                          : list_store::ItemText(text.latin1(), m_typed.size());
        if (start.toString().compare(m_typed, Qt::CaseInsensitive) == 0) {
            setCurrentIndex(m_model.index(at, 0));
            return true;
        }
    }
    if (rows <= now) return true;
    const int next = int((row + now) % count);
    QTimer::singleShot(0, this,
                       [this, search, next, rest = rows - now] { searchOn(search, next, rest); });
    return false;
}

// The list view's own versions of these lay out or look at every row; the item view's do not.
// NOLINTBEGIN(bugprone-parent-virtual-call)
void ListView::doItemsLayout() {
    QAbstractItemView::doItemsLayout();
}

void ListView::reset() {
    QAbstractItemView::reset();
    scheduleDelayedItemsLayout();
}

void ListView::setRootIndex(const QModelIndex& index) {
    QAbstractItemView::setRootIndex(index);
}

void ListView::selectAll() {
    const SelectionMode mode = selectionMode();
    if (mode == NoSelection || mode == SingleSelection) return;
    const int rows = m_model.rowCount();
    const int columns = m_model.columnCount();
    if (rows == 0 || columns == 0) return;
    selectionModel()->select(
        QItemSelection(m_model.index(0, 0), m_model.index(rows - 1, columns - 1)),
        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

bool ListView::event(QEvent* event) {
    const bool handled = QAbstractItemView::event(event);
    // The style draws the same frame whether or not the list has the focus: the focused list
    // shows it in the highlight colour over that frame.
    if (event->type() == QEvent::Paint && hasFocus()) {
        QPainter painter(this);
        painter.setPen(QPen(palette().color(QPalette::Highlight), 1));
        painter.setBrush(Qt::NoBrush);
        const int width = std::max(1, frameWidth());
        for (int k = 0; k < width; ++k) painter.drawRect(rect().adjusted(k, k, -1 - k, -1 - k));
    }
    return handled;
}

void ListView::focusInEvent(QFocusEvent* event) {
    QListView::focusInEvent(event);
    update();
    viewport()->update();
}

void ListView::focusOutEvent(QFocusEvent* event) {
    QListView::focusOutEvent(event);
    update();
    viewport()->update();
}

void ListView::scrollContentsBy(int dx, int dy) {
    if (dx != 0) m_header->setOffset(horizontalOffset());
    if (dy != 0 && std::abs(dy) < rowsPerPage()) {
        viewport()->scroll(dx, dy * m_rowHeight);
        return;
    }
    viewport()->update();
}

void ListView::dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                           const QList<int>& roles) {
    QAbstractItemView::dataChanged(topLeft, bottomRight, roles);
}

void ListView::rowsInserted(const QModelIndex& parent, int start, int end) {
    QAbstractItemView::rowsInserted(parent, start, end);
    scheduleDelayedItemsLayout();
}

void ListView::rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end) {
    QAbstractItemView::rowsAboutToBeRemoved(parent, start, end);
    scheduleDelayedItemsLayout();
}

void ListView::mouseMoveEvent(QMouseEvent* event) {
    QAbstractItemView::mouseMoveEvent(event);
}

void ListView::mouseReleaseEvent(QMouseEvent* event) {
    QAbstractItemView::mouseReleaseEvent(event);
}

void ListView::wheelEvent(QWheelEvent* event) {
    QAbstractItemView::wheelEvent(event);
}

void ListView::timerEvent(QTimerEvent* event) {
    QAbstractItemView::timerEvent(event);
}

void ListView::resizeEvent(QResizeEvent* event) {
    QAbstractItemView::resizeEvent(event);
}

void ListView::dragLeaveEvent(QDragLeaveEvent* event) {
    QAbstractItemView::dragLeaveEvent(event);
}

void ListView::startDrag(Qt::DropActions supportedActions) {
    QAbstractItemView::startDrag(supportedActions);
}

void ListView::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    QStyleOptionViewItem base;
    initViewItemOption(&base);
    const int rows = m_model.rowCount();
    const int columns = m_model.columnCount();
    const QModelIndex current = currentIndex();
    const QRect area = event->rect();
    const qint64 first = std::max<qint64>(0, rowAtY(area.top()));
    const qint64 last = std::min<qint64>(rows - 1, rowAtY(area.bottom()));
    for (qint64 row = first; row <= last; ++row) {
        for (int column = 0; column < columns; ++column) {
            if (m_header->isSectionHidden(column)) continue;
            const QModelIndex index = m_model.index(int(row), column);
            QStyleOptionViewItem option = base;
            option.rect = visualRect(index);
            if (!area.intersects(option.rect)) continue;
            if (selectionModel()->isSelected(index)) option.state |= QStyle::State_Selected;
            if (!(m_model.flags(index) & Qt::ItemIsEnabled)) option.state &= ~QStyle::State_Enabled;
            itemDelegateForIndex(index)->paint(&painter, option, index);
        }
    }
    // The style's own focus mark on an item is a shade of the selection colour, which cannot be
    // seen on a selected row: the current row of the focused list gets a dotted frame across
    // the whole row instead, in the colour of the row's text.
    if (hasFocus() && current.isValid() && current.row() >= first && current.row() <= last) {
        QRect row;
        for (int column = 0; column < columns; ++column) {
            if (!m_header->isSectionHidden(column))
                row |= visualRect(m_model.index(current.row(), column));
        }
        if (!row.isEmpty()) {
            const bool selected = selectionModel()->isRowSelected(current.row(), {});
            QPen pen(base.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
            pen.setStyle(Qt::DotLine);
            painter.setPen(pen);
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(row.adjusted(0, 0, -1, -1));
        }
    }
}

int ListView::horizontalOffset() const {
    return horizontalScrollBar()->value();
}

int ListView::verticalOffset() const {
    return int(std::min<qint64>(qint64(firstShownRow()) * m_rowHeight, INT_MAX / 4));
}

QModelIndex ListView::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers) {
    const int rows = m_model.rowCount();
    const int columns = m_model.columnCount();
    if (rows == 0 || columns == 0) return {};
    const QModelIndex current = currentIndex();
    if (!current.isValid()) return m_model.index(0, 0);
    qint64 row = current.row();
    int column = current.column();
    switch (cursorAction) {
        case MoveUp:
        case MovePrevious:
            --row;
            break;
        case MoveDown:
        case MoveNext:
            ++row;
            break;
        case MovePageUp:
            row -= rowsPerPage();
            break;
        case MovePageDown:
            row += rowsPerPage();
            break;
        case MoveHome:
            row = 0;
            break;
        case MoveEnd:
            row = rows - 1;
            break;
        case MoveLeft:
            column = std::max(0, column - 1);
            break;
        case MoveRight:
            column = std::min(columns - 1, column + 1);
            break;
    }
    return m_model.index(int(std::clamp<qint64>(row, 0, rows - 1)), column);
}

void ListView::setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command) {
    const QRect area = rect.normalized();
    const int rows = m_model.rowCount();
    const int columns = m_model.columnCount();
    const qint64 top = std::max<qint64>(0, rowAtY(area.top()));
    const qint64 bottom = std::min<qint64>(rows - 1, rowAtY(area.bottom()));
    if (columns == 0 || top > bottom) {
        selectionModel()->select(QItemSelection(), command);
        return;
    }
    selectionModel()->select(
        QItemSelection(m_model.index(int(top), 0), m_model.index(int(bottom), columns - 1)),
        command);
}

QRegion ListView::visualRegionForSelection(const QItemSelection& selection) const {
    QRegion region;
    const qint64 first = firstShownRow();
    const qint64 last = first + rowsPerPage();
    for (const QItemSelectionRange& range : selection) {
        if (!range.isValid()) continue;
        const qint64 top = std::max<qint64>(range.top(), first);
        const qint64 bottom = std::min<qint64>(range.bottom(), last);
        if (top > bottom) continue;
        const int left = m_header->sectionViewportPosition(range.left());
        const int right =
            m_header->sectionViewportPosition(range.right()) + m_header->sectionSize(range.right());
        region += QRect(left, yOfRow(top), right - left, int(bottom - top + 1) * m_rowHeight);
    }
    return region;
}

QModelIndexList ListView::selectedIndexes() const {
    return QAbstractItemView::selectedIndexes();
}

void ListView::updateGeometries() {
    // Placing the header changes the viewport's margins, which lays the view out again.
    if (m_placingHeader) return;
    m_placingHeader = true;
    const int headerHeight = m_header->isHidden() ? 0 : m_header->sizeHint().height();
    setViewportMargins(0, headerHeight, 0, 0);
    const QRect area = viewport()->geometry();
    m_header->setGeometry(area.left(), area.top() - headerHeight, area.width(), headerHeight);
    m_placingHeader = false;

    const int page = rowsPerPage();
    QScrollBar* down = verticalScrollBar();
    down->setSingleStep(1);
    down->setPageStep(page);
    down->setRange(0, std::max(0, m_model.rowCount() - page));
    QScrollBar* across = horizontalScrollBar();
    across->setSingleStep(std::max(1, m_rowHeight));
    across->setPageStep(area.width());
    across->setRange(0, std::max(0, m_header->length() - area.width()));
    m_header->setOffset(across->value());
    QAbstractItemView::updateGeometries();
}

bool ListView::isIndexHidden(const QModelIndex&) const {
    return false;
}

// Screen readers hear of the first item added to or taken from the selection, as the list
// view tells them, without listing every selected item: a selection may hold millions.
void ListView::selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) {
#if QT_CONFIG(accessibility)
    if (QAccessible::isActive()) {
        const auto tell = [this](const QItemSelection& ranges, QAccessible::Event kind) {
            if (ranges.isEmpty() || !ranges.first().isValid()) return;
            QAccessibleEvent event(this, kind);
            event.setChild(ranges.first().top());
            QAccessible::updateAccessibility(&event);
        };
        tell(selected, QAccessible::SelectionAdd);
        tell(deselected, QAccessible::SelectionRemove);
    }
#endif
    QAbstractItemView::selectionChanged(selected, deselected);
}

QSize ListView::viewportSizeHint() const {
    return QAbstractItemView::viewportSizeHint();
}
// NOLINTEND(bugprone-parent-virtual-call)

}  // namespace controls
