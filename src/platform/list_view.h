#pragma once

#include <QTableView>

#include "platform/list_model.h"

namespace platform {

// A list control: a one-column report view with a header over a ListModel. Rows have one fixed
// height and the view keeps nothing per row, so it shows millions of items cheaply.
class ListView : public QTableView {
    Q_OBJECT

public:
    explicit ListView(QWidget* parent = nullptr);

    ListModel& items() { return m_model; }
    const ListModel& items() const { return m_model; }

    // The 1-based position of the selected item; 0 when none is selected.
    int selectedPosition() const;
    void selectPosition(int position);

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

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    ListModel m_model;
};

int virtualKeyCode(int qtKey);

}  // namespace platform
