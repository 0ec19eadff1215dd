#pragma once

#include <QElapsedTimer>
#include <QListView>
#include <QTimer>
#include <vector>

#include "list_store/list_model.h"
#include "list_store/list_store.h"

class QAction;
class QHeaderView;
class QHelpEvent;

namespace controls {

// A list control: a report view with a column header over a list_store::ListModel. Rows have one
// fixed height and the view keeps nothing per row: every row's place is worked out from its number,
// so telling the view of millions of rows, or of none, costs the same. A QListView underneath,
// so that screen readers get the list and its items, but none of its own layout is used: that
// would keep a position for every row.
class ListView : public QListView {
    Q_OBJECT

public:
    explicit ListView(QWidget* parent = nullptr);

    // The list's items; the view shows them through its model.
    list_store::ListStore& items() { return m_store; }
    const list_store::ListStore& items() const { return m_store; }
    list_store::ListModel& listModel() { return m_model; }
    const list_store::ListModel& listModel() const { return m_model; }

    // The 1-based position of the selected item (the current one when several are selected);
    // 0 when none is selected.
    int selectedPosition() const;
    void selectPosition(int position);

    // The selected items as runs of positions, rising and apart; read from the selection's
    // ranges, so a selection of millions costs no more than one of a few.
    struct Run {
        int first;
        int last;
    };
    std::vector<Run> selectedRuns() const;
    // Every selected position, rising.
    std::vector<int> selectedPositions() const;

    // Puts the item count into the header and every appended row into the view now; changes
    // otherwise show within about 100 ms (rows of a long list appended meanwhile within a few
    // seconds at most).
    void showCountNow();
    // A note after the count in the header and in the accessible description ("1,234 items;
    // spaces ignored"); the empty text for none.
    void setNote(const QString& note);
    // Scrolls the item at `position` into view, appended however recently.
    void showPosition(int position);

    // The list's own gestures, shown in its context menu with the platform's standard keys.
    QAction* copyAction() const { return m_copy; }
    QAction* pasteAction() const { return m_paste; }
    QAction* selectAllAction() const { return m_selectAll; }
    QAction* deleteAction() const { return m_delete; }

    void addColumn(const QString& header);
    // Column numbers count from 1, widths are in twips; an unknown column throws platform::Failure.
    void setColumnWidthTwips(int column, int twips);
    // Columns count from 0 here, widths are in pixels.
    int columnWidth(int column) const;
    QHeaderView* header() const { return m_header; }

    // QAbstractItemView
    QRect visualRect(const QModelIndex& index) const override;
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;
    QModelIndex indexAt(const QPoint& point) const override;
    void doItemsLayout() override;
    void reset() override;
    void setRootIndex(const QModelIndex& index) override;
    // One range over every row; the list view would look at each row for being hidden.
    void selectAll() override;
    // Typing moves to the next entry that starts with what was typed (case ignored), as in any
    // list. A list of millions is searched a piece at a time, with events handled between, and
    // a new key or any change of the list ends the search.
    void keyboardSearch(const QString& search) override;

Q_SIGNALS:
    // keyCode is the Windows virtual-key code of the key (46 for Delete), 0 for keys without one.
    void keyDown(int keyCode, int shift);
    // The user's activation gesture: a double-click on the list.
    void activation();
    // The mouse moved over the list.
    void pointerMoved();
    void copyRequested();
    void pasteRequested();
    void deleteRequested();
    // Dropped onto the list: local files, in the order given, or else text. Raised once the
    // drop itself has ended, so that the source of the drag is not kept waiting.
    void filesDropped(const QStringList& paths);
    void textDropped(const QString& text);

protected:
    // Qt's event handlers. Where the list adds nothing, the handler passes the event straight to
    // QAbstractItemView, skipping QListView's, which would lay out every row.
    bool event(QEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void startDrag(Qt::DropActions supportedActions) override;

    // The geometry of fixed rows, in place of the list view's own layout.
    void scrollContentsBy(int dx, int dy) override;
    void dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                     const QList<int>& roles = {}) override;
    void rowsInserted(const QModelIndex& parent, int start, int end) override;
    void rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end) override;
    int horizontalOffset() const override;
    int verticalOffset() const override;
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    void setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command) override;
    QRegion visualRegionForSelection(const QItemSelection& selection) const override;
    QModelIndexList selectedIndexes() const override;
    void updateGeometries() override;
    bool isIndexHidden(const QModelIndex& index) const override;
    void selectionChanged(const QItemSelection& selected,
                          const QItemSelection& deselected) override;
    QSize viewportSizeHint() const override;

private:
    QAction* addGesture(const QString& text, QKeySequence::StandardKey key);
    void countChanged();
    // The count in the header, without telling the view of rows appended meanwhile.
    void followCount();
    void describe();

    // An item's tool tip shows only where the item cannot be read whole in its row.
    void showItemToolTip(QHelpEvent* event);
    bool showsWhole(const QModelIndex& index) const;

    int firstShownRow() const;
    // Rows that fit the viewport whole, at least 1.
    int rowsPerPage() const;
    // The row at viewport height `y`, which may lie outside the viewport or the list.
    qint64 rowAtY(int y) const;
    // The viewport height at which `row` starts, kept within the range of int.
    int yOfRow(qint64 row) const;

    // Looks from `row` on for up to `rows` rows; true when the search has ended.
    bool searchOn(quint64 search, int row, qint64 rows);

    list_store::ListStore m_store;
    list_store::ListModel m_model{m_store};
    QHeaderView* m_header;
    QString m_typed;
    QElapsedTimer m_sinceTyped;
    quint64 m_search = 0;  // the search under way; a new one makes any other stop
    quint64 m_searchChanges = 0;
    int m_rowHeight;
    bool m_placingHeader = false;
    QAction* m_copy;
    QAction* m_paste;
    QAction* m_selectAll;
    QAction* m_delete;
    QTimer m_countTimer;
    QElapsedTimer m_sinceCountShown;
};

int virtualKeyCode(int qtKey);

}  // namespace controls
