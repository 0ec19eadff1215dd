#pragma once

#include <QElapsedTimer>
#include <QTableView>
#include <QTimer>
#include <vector>

#include "platform/list_model.h"

class QAction;

namespace platform {

// A list control: a one-column report view with a header over a ListModel. Rows have one fixed
// height and the view keeps nothing per row, so it shows millions of items cheaply.
class ListView : public QTableView {
    Q_OBJECT

public:
    explicit ListView(QWidget* parent = nullptr);

    ListModel& items() { return m_model; }
    const ListModel& items() const { return m_model; }

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

    // The list's own gestures, shown in its context menu with the platform's standard keys.
    QAction* copyAction() const { return m_copy; }
    QAction* pasteAction() const { return m_paste; }
    QAction* selectAllAction() const { return m_selectAll; }
    QAction* deleteAction() const { return m_delete; }

    void addColumn(const QString& header);
    // Column numbers count from 1, widths are in twips; an unknown column throws Failure.
    void setColumnWidthTwips(int column, int twips);

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
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    QAction* addGesture(const QString& text, QKeySequence::StandardKey key);
    void countChanged();
    // The count in the header, without telling the view of rows appended meanwhile.
    void followCount();

    ListModel m_model;
    QAction* m_copy;
    QAction* m_paste;
    QAction* m_selectAll;
    QAction* m_delete;
    QTimer m_countTimer;
    QElapsedTimer m_sinceCountShown;
};

int virtualKeyCode(int qtKey);

}  // namespace platform
