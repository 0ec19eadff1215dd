#include "platform/list_view.h"

#include <QAction>
#include <QDir>
#include <QDropEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>
#include <algorithm>

#include "platform/failure.h"

using namespace Qt::Literals::StringLiterals;

namespace platform {

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

ListView::ListView(QWidget* parent) : QTableView(parent) {
    setModel(&m_model);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setTabKeyNavigation(false);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
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
    if (m_model.shownCount() == m_model.count() && !accessibleDescription().isEmpty()) return;
    m_model.showCount();
    setAccessibleDescription(itemCountText(m_model.count()));
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
    if (position < 1 || position > m_model.count()) {
        clearSelection();
        return;
    }
    selectRow(position - 1);
}

void ListView::addColumn(const QString& header) {
    m_model.addColumn(header);
}

void ListView::setColumnWidthTwips(int column, int twips) {
    if (column < 1 || column > m_model.columnTotal()) {
        throw Failure(u"Index out of bounds: the list has no column %1"_s.arg(column));
    }
    setColumnWidth(column - 1, qRound(twips / 15.0));
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
    // The list goes on with its own handling of the key.
    QTableView::keyPressEvent(event);
}

void ListView::mouseDoubleClickEvent(QMouseEvent* event) {
    QTableView::mouseDoubleClickEvent(event);
    Q_EMIT activation();
}

bool ListView::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::MouseMove) Q_EMIT pointerMoved();
    return QTableView::viewportEvent(event);
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
    if (!paths.isEmpty()) {
        QMetaObject::invokeMethod(
            this, [this, paths] { Q_EMIT filesDropped(paths); }, Qt::QueuedConnection);
        return;
    }
    const QString text = dropped->text();
    QMetaObject::invokeMethod(
        this, [this, text] { Q_EMIT textDropped(text); }, Qt::QueuedConnection);
}

}  // namespace platform
