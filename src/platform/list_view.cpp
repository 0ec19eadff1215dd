#include "platform/list_view.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>

#include "platform/failure.h"

using namespace Qt::Literals::StringLiterals;

namespace platform {

ListView::ListView(QWidget* parent) : QTableView(parent) {
    setModel(&m_model);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
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
}

int ListView::selectedPosition() const {
    const QModelIndexList rows = selectionModel()->selectedRows();
    if (rows.isEmpty()) return 0;
    return rows.first().row() + 1;
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

}  // namespace platform
