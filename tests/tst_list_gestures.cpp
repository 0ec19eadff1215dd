#include <QAccessible>
#include <QAction>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <QToolTip>
#include <QUrl>

#include "commands/clipboard_commands.h"
#include "commands/file_commands.h"
#include "commands/list_view_events.h"
#include "form_harness.h"
#include "platform/files.h"

using controls::WindowPointer;

// The gestures every list offers beyond the command buttons: counts in the header, several
// selected items, the clipboard, drops, progress for loads and saves, and names for screen
// readers.

namespace {

QString header(const controls::ListView& view) {
    return view.model()->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// The window shown with `view` holding the texts, so that its rows have places on the screen.
bool shownHolding(FormHarness& harness, controls::ListView& view, const QStringList& texts) {
    fill(view.items(), texts);
    return harness.shown();
}

// The window shown and active, with the keyboard in `view`, so that its keys reach it.
void focusList(Form1& form, controls::ListView& view) {
    form.show();
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    view.setFocus();
    QTRY_VERIFY(view.hasFocus());
}

// Selects these positions as Ctrl+clicks would.
void selectPositions(controls::ListView& view, std::initializer_list<int> positions) {
    view.clearSelection();
    for (int position : positions) {
        view.selectionModel()->select(view.model()->index(position - 1, 0),
                                      QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
}

void drop(controls::ListView& view, QMimeData& data) {
    const QPoint at = view.viewport()->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, {});
    QCoreApplication::sendEvent(view.viewport(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent dropped(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, {});
    QCoreApplication::sendEvent(view.viewport(), &dropped);
    QVERIFY(dropped.isAccepted());
}

QStringList lettered(int count) {
    QStringList texts;
    for (int i = 0; i < count; ++i) texts.append(u"item %1"_s.arg(i + 1));
    return texts;
}

}  // namespace

class ListGesturesTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { QLocale::setDefault(QLocale::c()); }
    void cleanup() { QTRY_VERIFY(QApplication::topLevelWidgets().isEmpty()); }

    void headerGivesTheCountWithTheLocalesGrouping_data() {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("expected");
        const QLocale english(QLocale::English, QLocale::UnitedStates);
        QTest::newRow("empty") << english << 0 << u"List 2"_s;
        QTest::newRow("one") << english << 1 << u"List 2 (1 item)"_s;
        QTest::newRow("two") << english << 2 << u"List 2 (2 items)"_s;
        QTest::newRow("millions") << english << 1234567 << u"List 2 (1,234,567 items)"_s;
        QTest::newRow("German grouping") << QLocale(QLocale::German, QLocale::Germany) << 1234567
                                         << u"List 2 (1.234.567 items)"_s;
        QTest::newRow("C locale still grouped")
            << QLocale::c() << 1234 << u"List 2 (1,234 items)"_s;
    }
    void headerGivesTheCountWithTheLocalesGrouping() {
        QFETCH(QLocale, locale);
        QFETCH(int, count);
        QFETCH(QString, expected);
        QLocale::setDefault(locale);
        FormHarness harness;
        Form1& form = harness.load();
        QCOMPARE(header(*form.listView(2)), u"List 2"_s);
        list_store::TextBlock block;
        for (int i = 0; i < count; ++i) block.add(u"x");
        form.listView(2)->items().appendBlock(block);
        form.listView(2)->showCountNow();
        QCOMPARE(header(*form.listView(2)), expected);
        QCOMPARE(header(*form.listView(1)), u"List 1"_s);
    }

    void headerIsExactAtTheEndOfEveryCommand() {
        FormHarness harness;
        Form1& form = harness.load();
        focusList(form, *form.listView(1));
        const auto headers = [&] {
            return QStringList{header(*form.listView(1)), header(*form.listView(2))};
        };

        form.button(5)->click();  // samples
        QCOMPARE(headers(), (QStringList{u"List 1 (4 items)"_s, u"List 2"_s}));
        harness.input.answers = {u"typed"_s};
        form.button(13)->click();  // add one item
        QCOMPARE(headers(), (QStringList{u"List 1 (4 items)"_s, u"List 2 (1 item)"_s}));
        form.button(6)->click();
        form.button(19)->click();  // subtract: grape and apple go from List 1
        QCOMPARE(headers(), (QStringList{u"List 1 (2 items)"_s, u"List 2 (3 items)"_s}));
        harness.input.answers = {u"an"_s};
        form.button(9)->click();  // filter: banana and orange contain "an"
        QCOMPARE(headers(), (QStringList{u"List 1"_s, u"List 2 (3 items)"_s}));
        const QString path = harness.folder.filePath(u"three.txt"_s);
        writeFile(path, "a\r\nb\r\nc\r\n");
        harness.dialogs.answers = {path};
        form.button(3)->click();  // load
        QCOMPARE(headers(), (QStringList{u"List 1 (3 items)"_s, u"List 2 (3 items)"_s}));
        selectPositions(*form.listView(1), {1, 3});
        QTest::keyClick(form.listView(1), Qt::Key_Delete);
        QCOMPARE(headers(), (QStringList{u"List 1 (1 item)"_s, u"List 2 (3 items)"_s}));
        harness.clipboard.held = u"x\ny\n"_s;
        QTest::keySequence(form.listView(1), QKeySequence::Paste);
        QCOMPARE(headers(), (QStringList{u"List 1 (3 items)"_s, u"List 2 (3 items)"_s}));
        form.button(2)->click();  // clear: the caption alone, as at start-up
        QCOMPARE(headers(), (QStringList{u"List 1 (3 items)"_s, u"List 2"_s}));
        form.close();
    }

    // Between commands the header follows changes by itself, a little later.
    void headerCatchesUpWithChangesMadeDuringLongWork() {
        FormHarness harness;
        Form1& form = harness.load();
        fill(form.listView(1)->items(), {u"a"_s, u"b"_s});
        QTRY_COMPARE(header(*form.listView(1)), u"List 1 (2 items)"_s);
        const QString description =
            QAccessible::queryAccessibleInterface(form.listView(1))->text(QAccessible::Description);
        QCOMPARE(description, u"2 items"_s);
    }

    void accessibleNamesOfTheListsAndTheBar() {
        FormHarness harness;
        Form1& form = harness.load();
        const std::pair<QWidget*, QString> named[] = {{form.listView(1), u"List 1"_s},
                                                      {form.listView(2), u"List 2"_s},
                                                      {form.progressBar(), u"Progress"_s}};
        for (const auto& [widget, name] : named) {
            QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
            QVERIFY(accessible);
            QCOMPARE(accessible->text(QAccessible::Name), name);
        }
    }

    // Each button of a pair with one caption names its list; the window reads as a window with
    // its caption, the bar as the progress with its value.
    void screenReadersTellTheTwinButtonsAndTheWindowApart() {
        FormHarness harness;
        Form1& form = harness.load();
        const std::pair<int, QString> twins[] = {
            {3, u"List 1"_s},  {14, u"List 2"_s}, {1, u"List 1"_s}, {2, u"List 2"_s},
            {5, u"List 1"_s},  {6, u"List 2"_s},  {9, u"List 1"_s}, {11, u"List 2"_s},
            {10, u"List 1"_s}, {15, u"List 2"_s}};
        for (const auto& [number, list] : twins) {
            QAccessibleInterface* button =
                QAccessible::queryAccessibleInterface(form.button(number));
            QVERIFY(button);
            QCOMPARE(button->role(), QAccessible::Button);
            QCOMPARE(button->text(QAccessible::Name), form.button(number)->text());
            QCOMPARE(button->text(QAccessible::Description), list);
        }
        QAccessibleInterface* window = QAccessible::queryAccessibleInterface(&form);
        QVERIFY(window);
        QCOMPARE(window->role(), QAccessible::Window);
        QCOMPARE(window->text(QAccessible::Name), u"Quorvane"_s);
        QAccessibleInterface* bar = QAccessible::queryAccessibleInterface(form.progressBar());
        QVERIFY(bar && bar->valueInterface());
        form.progressBar()->setValue(40.0);
        QCOMPARE(bar->text(QAccessible::Name), u"Progress"_s);
        QCOMPARE(bar->valueInterface()->currentValue().toInt(), 40);
    }

    // An item the list cannot show whole, cut or wider than its column, shows it in its tool tip,
    // up to a bound; the others show none.
    void itemsNotShownWholeShowThemselvesInTheirToolTip_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("tip");
        const QString bound(list_store::ListModel::kMostToolTipChars, u'y');
        QTest::newRow("fits") << u"abc"_s << QString();
        QTest::newRow("wider than the column") << QString(300, u'W') << QString(300, u'W');
        QTest::newRow("cut") << QString(5000, u'x') << QString(5000, u'x');
        QTest::newRow("beyond the bound") << bound + QString(100'000 - bound.size(), u'z')
                                          << bound + u"\u2026 (100,000 characters)"_s;
    }
    void itemsNotShownWholeShowThemselvesInTheirToolTip() {
        QFETCH(QString, text);
        QFETCH(QString, tip);
        FormHarness harness;
        Form1& form = harness.load();
        controls::ListView& view = *form.listView(1);
        QVERIFY(shownHolding(harness, view, {text}));
        const QModelIndex item = view.model()->index(0, 0);
        const int width = view.columnWidth(0);
        const QPoint at = view.visualRect(item).center();
        QHelpEvent help(QEvent::ToolTip, at, view.viewport()->mapToGlobal(at));
        QCoreApplication::sendEvent(view.viewport(), &help);

        QCOMPARE(QToolTip::isVisible() ? QToolTip::text() : QString(), tip);
        QCOMPARE(view.columnWidth(0), width);
        QVERIFY(form.button(3)->toolTip().isEmpty() && view.toolTip().isEmpty());
        QToolTip::hideText();
        form.close();
    }

    // Enter and the keypad's Enter press a focused button, as Space does.
    void enterPressesTheFocusedButton_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::newRow("Enter") << int(Qt::Key_Return) << int(Qt::NoModifier);
        QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << int(Qt::KeypadModifier);
        QTest::newRow("Space") << int(Qt::Key_Space) << int(Qt::NoModifier);
    }
    void enterPressesTheFocusedButton() {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        FormHarness harness;
        Form1& form = harness.load();
        QPushButton* samples = form.button(5);  // samples for List 1
        QSignalSpy clicked(samples, &QPushButton::clicked);
        QTest::keyClick(samples, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(clicked.count(), 1);
        QVERIFY(form.listView(1)->items().count() > 0);
        QTest::keyClick(form.button(20), Qt::Key_Return, Qt::ShiftModifier);  // not a press
        QCOMPARE(harness.input.asked.size(), 0);
    }

    // Shift+F10 asks the focused list for its context menu at its current row, as the Menu key
    // does.
    void shiftF10OpensTheListsContextMenuAtItsCurrentRow() {
        FormHarness harness;
        Form1& form = harness.load();
        controls::ListView& view = *form.listView(2);
        QVERIFY(shownHolding(harness, view, numbered(u"item "_s, 50)));
        view.selectPosition(3);
        struct MenuAsked : QObject {
            std::vector<std::pair<QContextMenuEvent::Reason, QPoint>> asked;
            bool eventFilter(QObject* /*watched*/, QEvent* event) override {
                if (event->type() != QEvent::ContextMenu) return false;
                const auto* menu = static_cast<QContextMenuEvent*>(event);
                asked.emplace_back(menu->reason(), menu->pos());
                return true;  // the menu itself would wait for the user
            }
        } menus;
        view.installEventFilter(&menus);
        QTest::keyClick(&view, Qt::Key_F10, Qt::ShiftModifier);
        QTest::keyClick(&view, Qt::Key_F10);
        view.removeEventFilter(&menus);

        QCOMPARE(menus.asked.size(), size_t(1));
        QCOMPARE(menus.asked[0].first, QContextMenuEvent::Keyboard);
        const QRect row = view.visualRect(view.model()->index(2, 0));
        QCOMPARE(view.viewport()->mapFrom(&view, menus.asked[0].second), row.center());
        form.close();
    }

    // The focused list shows that it has the keyboard, around it and on its current row,
    // whether that row is selected or not; the list without the focus shows neither.
    void theFocusedListAndItsCurrentRowAreMarked() {
        FormHarness harness;
        Form1& form = harness.load();
        controls::ListView& view = *form.listView(1);
        fill(view.items(), numbered(u"item "_s, 5));
        view.selectPosition(2);
        focusList(form, *form.listView(2));
        const QRect row = view.visualRect(view.model()->index(1, 0))
                              .translated(view.viewport()->mapTo(&view, QPoint()));
        const QPoint frame(0, view.height() / 2);
        const QImage before = view.grab().toImage();
        focusList(form, view);
        const QImage selected = view.grab().toImage();
        QVERIFY2(selected.pixel(frame) != before.pixel(frame), "the frame shows the focus");
        QVERIFY2(selected.copy(row) != before.copy(row), "the selected current row shows it");

        view.selectionModel()->clearSelection();
        QCOMPARE(view.currentIndex().row(), 1);
        const QImage unselected = view.grab().toImage();
        focusList(form, *form.listView(2));
        const QImage after = view.grab().toImage();
        QVERIFY2(unselected.copy(row) != after.copy(row), "the current row shows it unselected");
        QCOMPARE(after.pixel(frame), before.pixel(frame));
        form.close();
    }

    // An item added to a long list is scrolled into view.
    void anAddedItemIsScrolledIntoView() {
        FormHarness harness;
        Form1& form = harness.load();
        controls::ListView& view = *form.listView(1);
        QVERIFY(shownHolding(harness, view, numbered(u"item "_s, 2000)));
        harness.input.answers = {u"added"_s};
        form.button(20)->click();  // Add One Item To List 1
        QCOMPARE(view.items().text(2001), u"added"_s);
        const QRect row = view.visualRect(view.model()->index(2000, 0));
        QVERIFY(view.viewport()->rect().contains(row));
        form.close();
    }

    // Rows are placed from their numbers alone, so a list of millions scrolls, answers clicks
    // and keys, and selects by dragging as a short one does.
    void rowsAreFoundByPlaceKeyAndDragInALongList() {
        controls::ListView view;
        view.addColumn(u"List"_s);
        view.setColumnWidthTwips(1, 3000);
        list_store::TextBlock texts;
        constexpr int kItems = 3'000'000;
        for (int k = 1; k <= kItems; ++k) texts.add(list_store::ItemText(QString::number(k)));
        view.items().appendBlock(texts);
        view.showCountNow();
        view.resize(300, 200);
        view.show();
        view.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&view));
        view.setFocus();
        QTRY_VERIFY(view.hasFocus());
        const auto row = [&](int r) { return view.model()->index(r, 0); };
        const auto shown = [&](int r) {
            return view.viewport()->rect().contains(view.visualRect(row(r)));
        };
        const auto place = [&](int r) { return view.visualRect(row(r)).center(); };

        QTest::keyClick(&view, Qt::Key_End);
        QCOMPARE(view.selectedPositions(), std::vector<int>{kItems});
        QVERIFY(shown(kItems - 1));
        QCOMPARE(view.indexAt(place(kItems - 1)), row(kItems - 1));
        QVERIFY(!view.indexAt(place(kItems - 1) + QPoint(0, view.viewport()->height())).isValid());
        QTest::keyClick(&view, Qt::Key_PageUp);
        const int paged = view.currentIndex().row();
        QVERIFY(paged < kItems - 2);
        QVERIFY(shown(paged));
        QTest::keyClick(&view, Qt::Key_Up);
        QCOMPARE(view.selectedPosition(), paged);
        QVERIFY(shown(paged - 1));

        view.scrollTo(row(1'500'000), QAbstractItemView::PositionAtTop);
        QCOMPARE(view.indexAt(QPoint(5, 1)), row(1'500'000));
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, place(1'500'001));
        QCOMPARE(view.selectedPositions(), std::vector<int>{1'500'002});
        // A drag from the third shown row up to the first selects the three.
        QMouseEvent press(QEvent::MouseButtonPress, place(1'500'002), view.mapToGlobal(place(0)),
                          Qt::LeftButton, Qt::LeftButton, {});
        QCoreApplication::sendEvent(view.viewport(), &press);
        QMouseEvent move(QEvent::MouseMove, place(1'500'000), view.mapToGlobal(place(0)),
                         Qt::NoButton, Qt::LeftButton, {});
        QCoreApplication::sendEvent(view.viewport(), &move);
        QMouseEvent release(QEvent::MouseButtonRelease, place(1'500'000),
                            view.mapToGlobal(place(0)), Qt::LeftButton, Qt::NoButton, {});
        QCoreApplication::sendEvent(view.viewport(), &release);
        QCOMPARE(view.selectedPositions(), (std::vector<int>{1'500'001, 1'500'002, 1'500'003}));

        QTest::keyClick(&view, Qt::Key_Home);
        QCOMPARE(view.selectedPositions(), std::vector<int>{1});
        QVERIFY(shown(0));
        QTest::keyClick(&view, Qt::Key_PageDown, Qt::ShiftModifier);
        const std::vector<int> extended = view.selectedPositions();
        QVERIFY(extended.size() > 2);
        QCOMPARE(extended.front(), 1);
        QVERIFY(shown(extended.back() - 1));

        // Typing finds the next entry that starts with the letters typed, here near the end,
        // searched a piece at a time.
        QTest::keyClicks(&view, u"2999998"_s);
        QTRY_COMPARE(view.selectedPositions(), std::vector<int>{2'999'998});
        QVERIFY(shown(2'999'997));
        QTest::keyClick(&view, Qt::Key_Home);
        QTest::qWait(QApplication::keyboardInputInterval() + 50);
        QTest::keyClicks(&view, u"3"_s);
        QTRY_COMPARE(view.selectedPositions(), std::vector<int>{3});
    }

    void contextMenuOffersTheGesturesWithStandardKeys() {
        FormHarness harness;
        Form1& form = harness.load();
        for (controls::ListView* view : {form.listView(1), form.listView(2)}) {
            QCOMPARE(view->contextMenuPolicy(), Qt::ActionsContextMenu);
            QList<QAction*> actions = view->actions();
            QCOMPARE(actions.size(), 16);
            // Compare Lists… after the list tools, then the Matching menu last, each set apart.
            QVERIFY(actions[12]->isSeparator());
            QCOMPARE(actions[13], form.compareAction());
            QVERIFY(actions[13]->isShortcutVisibleInContextMenu());
            QVERIFY(actions[14]->isSeparator());
            QCOMPARE(actions[15]->text(), u"Matching"_s);
            QVERIFY(actions[15]->menu());
            // The window's Undo and Redo come first, set apart from the list's own gestures.
            QCOMPARE(actions[0], form.undoAction());
            QCOMPARE(actions[1], form.redoAction());
            QVERIFY(actions[2]->isSeparator());
            QCOMPARE(actions[0]->shortcuts(), QKeySequence::keyBindings(QKeySequence::Undo));
            QCOMPARE(actions[1]->shortcuts(), QKeySequence::keyBindings(QKeySequence::Redo));
            QVERIFY(actions[0]->isShortcutVisibleInContextMenu());
            actions = actions.mid(3);
            // The list's own gestures next; the list tools follow after a separator.
            QVERIFY(actions[4]->isSeparator());
            const std::pair<QString, QKeySequence::StandardKey> expected[] = {
                {u"&Copy"_s, QKeySequence::Copy},
                {u"&Paste"_s, QKeySequence::Paste},
                {u"Select &All"_s, QKeySequence::SelectAll},
                {u"&Delete"_s, QKeySequence::Delete}};
            for (int i = 0; i < 4; ++i) {
                QCOMPARE(actions[i]->text(), expected[i].first);
                QCOMPARE(actions[i]->shortcuts(), QKeySequence::keyBindings(expected[i].second));
                QVERIFY(actions[i]->isShortcutVisibleInContextMenu());
            }
        }
    }

    void deleteRemovesEverySelectedItemInOneRemoval() {
        FormHarness harness;
        Form1& form = harness.load();
        focusList(form, *form.listView(1));
        const QStringList items = lettered(30);
        fill(form.listView(1)->items(), items);
        fill(form.listView(2)->items(), {u"other"_s});
        // Ctrl+click and Shift+click build the selection as a user would.
        const auto rowPoint = [&](int position) {
            return form.listView(1)
                ->visualRect(form.listView(1)->model()->index(position - 1, 0))
                .center();
        };
        QTest::mouseClick(form.listView(1)->viewport(), Qt::LeftButton, {}, rowPoint(2));
        QTest::mouseClick(form.listView(1)->viewport(), Qt::LeftButton, Qt::ControlModifier,
                          rowPoint(4));
        QTest::mouseClick(form.listView(1)->viewport(), Qt::LeftButton, Qt::ShiftModifier,
                          rowPoint(6));
        QTest::mouseClick(form.listView(1)->viewport(), Qt::LeftButton, Qt::ControlModifier,
                          rowPoint(5));  // toggled off again
        QCOMPARE(form.listView(1)->selectedPositions(), (std::vector<int>{2, 4, 6}));
        selectPositions(*form.listView(1), {2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24});
        QSignalSpy resets(&form.listView(1)->listModel(), &QAbstractItemModel::modelAboutToBeReset);
        QSignalSpy removals(&form.listView(1)->listModel(),
                            &QAbstractItemModel::rowsAboutToBeRemoved);
        QTest::keyClick(form.listView(1), Qt::Key_Delete);
        QCOMPARE(resets.size() + removals.size(), 1);
        QStringList expected;
        for (int i = 0; i < 30; ++i) {
            if (i % 2 == 0 || i >= 24) expected.append(items[i]);
        }
        QCOMPARE(textsOf(form.listView(1)->items()), expected);
        QCOMPARE(textsOf(form.listView(2)->items()), QStringList{u"other"_s});
        form.close();
    }

    void deleteOfASelectionIsRefusedWhileBusyOrHeld() {
        FormHarness harness;
        Form1& form = harness.load();
        focusList(form, *form.listView(1));
        fill(form.listView(1)->items(), lettered(2000));
        fill(form.listView(2)->items(), {u"a"_s, u"b"_s});
        selectPositions(*form.listView(2), {1, 2});
        form.MousePointer().setState(WindowPointer::Busy);
        QTest::keyClick(form.listView(2), Qt::Key_Delete);
        form.listView(2)->deleteAction()->trigger();  // the context menu's Delete
        QCOMPARE(form.listView(2)->items().count(), 2);
        form.MousePointer().setState(WindowPointer::Default);

        // A filter holds List 1: Delete there does nothing, even with the pointer cleared.
        harness.input.answers = {u"item 1"_s};
        harness.pump.at(5, [&] {
            selectPositions(*form.listView(1), {1, 2, 3});
            form.MousePointer().setState(WindowPointer::Default);
            form.listView(1)->deleteAction()->trigger();
            Q_EMIT form.listView(1)->keyDown(commands::kDeleteKey, 0);
        });
        form.button(10)->click();  // remove entries not containing "item 1"
        QCOMPARE(form.listView(1)->items().count(), 1111);  // 1, 10-19, 100-199, 1000-1999
        form.close();
    }

    void copyPutsTheSelectedItemsOnePerLine() {
        FormHarness harness;
        Form1& form = harness.load();
        focusList(form, *form.listView(1));
        fill(form.listView(1)->items(), {u"a"_s, u" b "_s, QString(), u"d"_s});
        const QString end = commands::kClipboardLineEnd.toString();
        harness.clipboard.held = u"untouched"_s;
        form.listView(1)->clearSelection();
        QTest::keySequence(form.listView(1), QKeySequence::Copy);
        QCOMPARE(harness.clipboard.held, u"untouched"_s);  // nothing selected: nothing copied

        selectPositions(*form.listView(1), {4, 2});
        QTest::keySequence(form.listView(1), QKeySequence::Copy);
        QCOMPARE(harness.clipboard.held, u" b "_s + end + u"d"_s + end);

        QTest::keySequence(form.listView(1), QKeySequence::SelectAll);
        QTest::keySequence(form.listView(1), QKeySequence::Copy);
        QCOMPARE(harness.clipboard.held, u"a"_s + end + u" b "_s + end + end + u"d"_s + end);
        // Pasted back, the copy gives the very same items, the empty one included.
        form.listView(1)->items().clear();
        QTest::keySequence(form.listView(1), QKeySequence::Paste);
        QCOMPARE(textsOf(form.listView(1)->items()),
                 (QStringList{u"a"_s, u" b "_s, QString(), u"d"_s}));
        form.close();
    }

    void pasteAppendsLinesAsAListFileGivesThem_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("added");
        QTest::newRow("CR LF") << u"a\r\nb\r\n"_s << QStringList{u"a"_s, u"b"_s};
        QTest::newRow("no final line end") << u"a\r\nb"_s << QStringList{u"a"_s, u"b"_s};
        QTest::newRow("CR") << u"a\rb\r"_s << QStringList{u"a"_s, u"b"_s};
        QTest::newRow("LF") << u"a\nb\n"_s << QStringList{u"a"_s, u"b"_s};
        QTest::newRow("empty line kept")
            << u"a\r\n\r\nb"_s << QStringList{u"a"_s, QString(), u"b"_s};
        QTest::newRow("LF CR is two ends") << u"a\n\rb"_s << QStringList{u"a"_s, QString(), u"b"_s};
        QTest::newRow("one line end") << u"\r\n"_s << QStringList{QString()};
        QTest::newRow("blanks kept") << u" x \t\n"_s << QStringList{u" x \t"_s};
        QTest::newRow("empty clipboard") << QString() << QStringList{};
        QTest::newRow("lone surrogates replaced, pairs kept")
            << u"a"_s + QChar(0xD800) + u"\n"_s + QChar(0xDC00) + u"\U0001F600"_s
            << QStringList{u"a\uFFFD"_s, u"\uFFFD\U0001F600"_s};
        // The text is checked in pieces of 2^19 units; pairs and lone surrogates at their edges.
        const QString piece(qsizetype(1) << 19, u'a');
        const QString beforeEnd = piece.first(piece.size() - 1);
        QTest::newRow("pair across a piece's end")
            << beforeEnd + u"\U0001F600b"_s << QStringList{beforeEnd + u"\U0001F600b"_s};
        QTest::newRow("lone high surrogate ending a piece")
            << beforeEnd + QChar(0xD800) + u"b"_s << QStringList{beforeEnd + u"\uFFFDb"_s};
        QTest::newRow("lone low surrogate starting a piece")
            << piece + QChar(0xDC00) + u"b"_s << QStringList{piece + u"\uFFFDb"_s};
        QTest::newRow("lone surrogate in a later piece only")
            << piece + piece + u"\n"_s + QChar(0xDC00) + piece
            << QStringList{piece + piece, u"\uFFFD"_s + piece};
    }
    void pasteAppendsLinesAsAListFileGivesThem() {
        QFETCH(QString, text);
        QFETCH(QStringList, added);
        FormHarness harness;
        Form1& form = harness.load();
        focusList(form, *form.listView(2));
        fill(form.listView(2)->items(), {u"old"_s});
        harness.clipboard.held = text;
        QList<WindowPointer::State> pointers;
        harness.pump.everyPump = [&](int) { pointers.append(form.MousePointer().state()); };
        QTest::keySequence(form.listView(2), QKeySequence::Paste);
        QCOMPARE(textsOf(form.listView(2)->items()), QStringList{u"old"_s} + added);
        QCOMPARE(form.listView(1)->items().count(), 0);
        QVERIFY(!pointers.isEmpty());
        QVERIFY(!pointers.contains(WindowPointer::Default));  // busy while it appends
        QCOMPARE(form.MousePointer().state(), WindowPointer::Default);
        QVERIFY(harness.messages.shown.isEmpty());
        form.close();
    }

    // A paste is a long command: while another runs, a paste does nothing, on either list.
    void pasteIsRefusedWhileALongCommandRuns() {
        FormHarness harness;
        Form1& form = harness.load();
        fill(form.listView(1)->items(), lettered(2000));
        harness.clipboard.held = u"pasted\n"_s;
        harness.input.answers = {u"item 1"_s};
        int tried = 0;
        harness.pump.at(5, [&] {
            form.listView(1)->pasteAction()->trigger();
            form.listView(2)->pasteAction()->trigger();
            Q_EMIT form.listView(1)->textDropped(u"dropped"_s);  // as a drop raises it
            ++tried;
        });
        form.button(9)->click();  // remove entries containing "item 1"
        QCOMPARE(tried, 1);
        QVERIFY(!textsOf(form.listView(1)->items()).contains(u"pasted"_s));
        QVERIFY(!textsOf(form.listView(1)->items()).contains(u"dropped"_s));
        QCOMPARE(form.listView(2)->items().count(), 0);
        // Once it has ended, both work.
        form.listView(2)->pasteAction()->trigger();
        QCOMPARE(textsOf(form.listView(2)->items()), QStringList{u"pasted"_s});
    }

    // While a paste pumps, no other command changes its list; the other list stays open.
    void pasteHoldsItsList() {
        FormHarness harness;
        Form1& form = harness.load();
        QStringList lines = lettered(200000);
        harness.clipboard.held = lines.join(u'\n');
        harness.input.answers = {u"typed"_s, u"typed"_s};
        harness.pump.at(2, [&] {
            form.button(20)->click();  // add to List 1: refused
            form.button(5)->click();   // samples for List 1: refused
            form.button(13)->click();  // add to List 2: done
            form.button(3)->click();   // another load: refused, no dialog
        });
        form.listView(1)->pasteAction()->trigger();
        QVERIFY(harness.pump.calls >= 2);
        QCOMPARE(textsOf(form.listView(1)->items()), lines);
        QCOMPARE(textsOf(form.listView(2)->items()), QStringList{u"typed"_s});
        QVERIFY(harness.dialogs.opened.isEmpty());
    }

    void droppedFilesLoadAsIfChosenTogether() {
        FormHarness harness;
        Form1& form = harness.load();
        QVERIFY(harness.shown());
        const QString first = harness.folder.filePath(u"first.txt"_s);
        const QString second = harness.folder.filePath(u"second.txt"_s);
        writeFile(first, "1\r\n2\r\n");
        writeFile(second, "3\n4");
        fill(form.listView(2)->items(), {u"kept"_s});
        QList<WindowPointer::State> pointers;
        harness.pump.everyPump = [&](int) { pointers.append(form.MousePointer().state()); };
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(second), QUrl::fromLocalFile(first)});
        data.setText(u"not used when files come"_s);
        drop(*form.listView(2), data);
        QTRY_COMPARE(form.listView(2)->items().count(), 5);
        QCOMPARE(textsOf(form.listView(2)->items()),
                 (QStringList{u"kept"_s, u"3"_s, u"4"_s, u"1"_s, u"2"_s}));
        QCOMPARE(form.listView(1)->items().count(), 0);
        QVERIFY(!pointers.isEmpty());
        QVERIFY(!pointers.contains(WindowPointer::Default));
        QCOMPARE(form.MousePointer().state(), WindowPointer::Default);
        QVERIFY(harness.dialogs.opened.isEmpty());
        QCOMPARE(header(*form.listView(2)), u"List 2 (5 items)"_s);

        // A file gone by the time it loads gets the dialog's report; the other still loads.
        QVERIFY(QFile::remove(first));
        QMimeData again;
        again.setUrls({QUrl::fromLocalFile(first), QUrl::fromLocalFile(second)});
        drop(*form.listView(1), again);
        QTRY_COMPARE(form.listView(1)->items().count(), 2);
        QCOMPARE(harness.messages.texts(), QStringList{u"File not found"_s});
        QCOMPARE(textsOf(form.listView(1)->items()), (QStringList{u"3"_s, u"4"_s}));
        form.close();
    }

    // A missing file and a folder dropped together: the fixed "File not found" for the one, and
    // for the other a report that names the drop and a path as clean as the one dropped.
    void droppedFilesReportAsTheDropWithCleanPaths_data() {
        QTest::addColumn<int>("list");
        QTest::newRow("List 1") << 1;
        QTest::newRow("List 2") << 2;
    }
    void droppedFilesReportAsTheDropWithCleanPaths() {
        QFETCH(int, list);
        FormHarness harness;
        Form1& form = harness.load();
        QVERIFY(harness.shown());
        const QString missing = harness.folder.filePath(u"missing.txt"_s);
        const QString folder = harness.folder.filePath(u"outdir"_s);
        QVERIFY(QDir(harness.folder.path()).mkpath(u"outdir"_s));
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(missing), QUrl::fromLocalFile(folder)});
        drop(*form.listView(list), data);
        QTRY_COMPARE(harness.messages.shown.size(), 2);
        QCOMPARE(harness.messages.shown[0].text, u"File not found"_s);
        const QString report = harness.messages.shown[1].text;
        QVERIFY2(report.contains(QDir::toNativeSeparators(folder) + u" is not a file"_s),
                 qPrintable(report));
        QVERIFY2(!report.contains(u"//"_s), qPrintable(report));
        QVERIFY2(report.contains(u"Form1.ListView%1_OLEDragDrop at line 134"_s.arg(list)),
                 qPrintable(report));
        QVERIFY(!report.contains(u"PushButton"_s));
        QCOMPARE(form.listView(list)->items().count(), 0);
        form.close();
    }

    void droppedTextAppendsItsLines() {
        FormHarness harness;
        Form1& form = harness.load();
        QVERIFY(harness.shown());
        QMimeData data;
        data.setText(u"one\r\ntwo\r\n"_s);
        drop(*form.listView(1), data);
        QTRY_COMPARE(textsOf(form.listView(1)->items()), (QStringList{u"one"_s, u"two"_s}));
        QCOMPARE(form.listView(2)->items().count(), 0);

        QMimeData nothingToTake;
        nothingToTake.setData(u"application/octet-stream"_s, "\x01\x02");
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &nothingToTake, Qt::LeftButton, {});
        QCoreApplication::sendEvent(form.listView(1)->viewport(), &enter);
        QVERIFY(!enter.isAccepted());
        form.close();
    }

    // A drop gives the load one answer in the dialog's form: folder and names when every file
    // shares a folder, else an empty folder and the full paths in the order dropped.
    void droppedFilesGiveOneDialogAnswer_data() {
        QTest::addColumn<QStringList>("paths");
        QTest::addColumn<QStringList>("parts");
        QTest::newRow("one file") << QStringList{u"/d/a.txt"_s} << QStringList{u"/d/a.txt"_s};
        QTest::newRow("one folder") << QStringList{u"/d/b.txt"_s, u"/d/a.txt"_s}
                                    << QStringList{u"/d"_s, u"b.txt"_s, u"a.txt"_s};
        QTest::newRow("two folders")
            << QStringList{u"/d/a.txt"_s, u"/e/b.txt"_s, u"/e/c.txt"_s}
            << QStringList{QString(), u"/d/a.txt"_s, u"/e/b.txt"_s, u"/e/c.txt"_s};
        QTest::newRow("back to the first folder")
            << QStringList{u"/d/a.txt"_s, u"/e/a.txt"_s, u"/d/b.txt"_s}
            << QStringList{QString(), u"/d/a.txt"_s, u"/e/a.txt"_s, u"/d/b.txt"_s};
    }
    void droppedFilesGiveOneDialogAnswer() {
        QFETCH(QStringList, paths);
        QFETCH(QStringList, parts);
#ifdef Q_OS_WIN
        QSKIP("paths here are written the Unix way");
#endif
        QCOMPARE(platform::openDialogResult(paths).split(QChar(0)), parts);
    }

    void droppedFilesFromSeveralFoldersLoadExactlyThoseInOrder() {
        FormHarness harness;
        Form1& form = harness.load();
        QVERIFY(harness.shown());
        QVERIFY(QDir(harness.folder.path()).mkpath(u"sub"_s));
        const QString top = harness.folder.filePath(u"one.txt"_s);
        const QString sub = harness.folder.filePath(u"sub/one.txt"_s);
        const QString other = harness.folder.filePath(u"sub/two.txt"_s);
        writeFile(top, "top\r\n");
        writeFile(sub, "sub 1\nsub 2");
        writeFile(other, "two\r\n");
        QList<double> bar;
        harness.pump.everyPump = [&](int) { bar.append(form.progressBar()->exactValue()); };
        QMimeData data;
        data.setUrls(
            {QUrl::fromLocalFile(sub), QUrl::fromLocalFile(top), QUrl::fromLocalFile(other)});
        drop(*form.listView(1), data);
        QTRY_COMPARE(form.listView(1)->items().count(), 4);
        QCOMPARE(textsOf(form.listView(1)->items()),
                 (QStringList{u"sub 1"_s, u"sub 2"_s, u"top"_s, u"two"_s}));
        QVERIFY(harness.messages.shown.isEmpty());
        QVERIFY(harness.dialogs.opened.isEmpty());
        QVERIFY(bar.contains(11 / 21.0 * 100));  // the first file's bytes of all three
        QCOMPARE(form.progressBar()->exactValue(), 0.0);
        QCOMPARE(header(*form.listView(1)), u"List 1 (4 items)"_s);

        // A file gone by the time it loads gets the dialog's report; the others still load.
        QVERIFY(QFile::remove(top));
        QMimeData again;
        again.setUrls(
            {QUrl::fromLocalFile(other), QUrl::fromLocalFile(top), QUrl::fromLocalFile(sub)});
        drop(*form.listView(2), again);
        QTRY_COMPARE(form.listView(2)->items().count(), 3);
        QCOMPARE(harness.messages.texts(), QStringList{u"File not found"_s});
        QCOMPARE(textsOf(form.listView(2)->items()),
                 (QStringList{u"two"_s, u"sub 1"_s, u"sub 2"_s}));
        QCOMPARE(form.MousePointer().state(), WindowPointer::Default);
        form.close();
    }

    void loadShowsBytesReadOfEveryChosenFile() {
        FormHarness harness;
        Form1& form = harness.load();
        writeFile(harness.folder.filePath(u"a.txt"_s), QByteArray(100, 'a') + "\r\n");  // 102 bytes
        writeFile(harness.folder.filePath(u"b.txt"_s), QByteArray(304, 'b') + "\r\n");  // 306 bytes
        harness.dialogs.answers = {harness.folder.path() + QChar(0) + u"a.txt"_s + QChar(0) +
                                   u"b.txt"_s};
        QList<double> seen;
        harness.pump.everyPump = [&](int) { seen.append(form.progressBar()->exactValue()); };
        form.button(3)->click();
        QCOMPARE(form.listView(1)->items().count(), 2);
        QVERIFY(seen.contains(25.0));  // the first file's bytes of all
        for (qsizetype i = 1; i < seen.size(); ++i) QVERIFY(seen[i] >= seen[i - 1]);
        QVERIFY(seen.last() <= 100.0);
        QCOMPARE(form.progressBar()->exactValue(), 0.0);
    }

    void saveShowsItemsWrittenOfTheCount() {
        FormHarness harness;
        Form1& form = harness.load();
        fill(form.listView(2)->items(), lettered(3000));
        harness.dialogs.answers = {harness.folder.filePath(u"out.txt"_s)};
        QList<double> seen;
        harness.pump.everyPump = [&](int) {
            if (seen.isEmpty() || seen.last() != form.progressBar()->exactValue()) {
                seen.append(form.progressBar()->exactValue());
            }
        };
        double atDone = -1;
        harness.messages.onShow = [&](const platform::MessageRequest&) {
            atDone = form.progressBar()->exactValue();
        };
        form.button(8)->click();
        QCOMPARE(harness.messages.texts(), QStringList{u"Done."_s});
        // Events may be handled while the written file is committed, the bar full by then.
        if (!seen.isEmpty() && seen.last() == 100.0) seen.removeLast();
        QCOMPARE(seen, (QList<double>{0.0, 1024 / 3000.0 * 100, 2048 / 3000.0 * 100}));
        QCOMPARE(atDone, 100.0);
        QCOMPARE(form.progressBar()->exactValue(), 0.0);
    }
};

QTEST_MAIN(ListGesturesTest)
#include "tst_list_gestures.moc"
