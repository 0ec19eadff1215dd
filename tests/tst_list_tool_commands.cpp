#include <QAction>
#include <QApplication>
#include <QTest>

#include "command_harness.h"
#include "commands/list_tool_commands.h"
#include "commands/subtract_commands.h"
#include "form_harness.h"

using controls::WindowPointer;
using SortOrder = List::SortOrder;

namespace {

enum class Tool { KeepShared, RemoveRepeats, SortAToZ, SortZToA };

const QString kLocation = u"in Pellorin2021/08/31.Form1.ListView1_Menu "_s;

// Runs a tool on List 1; keeping shared items compares with List 2.
void runOnList1(CommandHarness& harness, Tool tool) {
    commands::Window& window = harness.window;
    switch (tool) {
        case Tool::KeepShared:
            commands::KeepOnlyItemsAlsoIn(window, kLocation, harness.ListView1, harness.ListView2);
            break;
        case Tool::RemoveRepeats:
            commands::RemoveRepeatedItems(window, kLocation, harness.ListView1);
            break;
        case Tool::SortAToZ:
            commands::SortList(window, kLocation, harness.ListView1, SortOrder::AToZ);
            break;
        case Tool::SortZToA:
            commands::SortList(window, kLocation, harness.ListView1, SortOrder::ZToA);
            break;
    }
}

// A "tool" column with a row for each tool, named as the rows of the other tests name it.
void addToolRows(std::initializer_list<Tool> tools) {
    QTest::addColumn<Tool>("tool");
    for (const Tool tool : tools) {
        const char* name = tool == Tool::KeepShared      ? "keep shared"
                           : tool == Tool::RemoveRepeats ? "remove repeats"
                           : tool == Tool::SortAToZ      ? "sort A to Z"
                                                         : "sort Z to A";
        QTest::newRow(name) << tool;
    }
}

QStringList menuCaptions(Form1& form, int list) {
    QStringList captions;
    for (QAction* action : form.listView(list)->actions()) {
        if (!action->isSeparator()) captions.append(action->text());
    }
    return captions;
}

}  // namespace

class ListToolCommandsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void cleanupTestCase() { QLocale::setDefault(QLocale::c()); }
    void cleanup() { QTRY_VERIFY(QApplication::topLevelWidgets().isEmpty()); }

    void eachToolShowsBusyPointerWhileItWorks_data() {
        QTest::addColumn<Tool>("tool");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("keep shared") << Tool::KeepShared << QStringList{u"b"_s, u"B"_s, u"b"_s};
        QTest::newRow("remove repeats")
            << Tool::RemoveRepeats << QStringList{u"b"_s, u"a10"_s, u"B"_s, u"a9"_s};
        QTest::newRow("sort A to Z")
            << Tool::SortAToZ << QStringList{u"a9"_s, u"a10"_s, u"a10"_s, u"b"_s, u"b"_s, u"B"_s};
        QTest::newRow("sort Z to A")
            << Tool::SortZToA << QStringList{u"B"_s, u"b"_s, u"b"_s, u"a10"_s, u"a10"_s, u"a9"_s};
    }
    void eachToolShowsBusyPointerWhileItWorks() {
        QFETCH(Tool, tool);
        QFETCH(QStringList, expected);
        CommandHarness harness;
        harness.matchCase = platform::CheckValue::Unchecked;  // keep shared ignores case
        fill(harness.ListView1.items(), {u"b"_s, u"a10"_s, u"B"_s, u"a9"_s, u"b"_s, u"a10"_s});
        fill(harness.ListView2.items(), {u"B"_s});
        QList<WindowPointer::State> seen;
        harness.pump.everyPump = [&](int) { seen.append(harness.pointer.state()); };
        runOnList1(harness, tool);
        QCOMPARE(textsOf(harness.ListView1.items()), expected);
        QCOMPARE(textsOf(harness.ListView2.items()), QStringList{u"B"_s});
        QVERIFY(!seen.isEmpty());
        QVERIFY(!seen.contains(WindowPointer::Default));
        QCOMPARE(harness.pointer.state(), WindowPointer::Default);
        QVERIFY(!harness.guard.running());
        QVERIFY(harness.messages.errorReports().isEmpty());
    }

    // Each tool is one change in the history: undo puts back every removed item where it stood
    // (or the old order), redo does it again, and the Undo entry names the tool.
    void eachToolIsOneChangeUndoneAndRedoneExactly_data() {
        QTest::addColumn<Tool>("tool");
        QTest::addColumn<QString>("name");
        QTest::newRow("keep shared") << Tool::KeepShared << u"Keep Only Items Also In List 2"_s;
        QTest::newRow("remove repeats") << Tool::RemoveRepeats << u"Remove Repeated Items"_s;
        QTest::newRow("sort A to Z") << Tool::SortAToZ << u"Sort A to Z"_s;
        QTest::newRow("sort Z to A") << Tool::SortZToA << u"Sort Z to A"_s;
    }
    void eachToolIsOneChangeUndoneAndRedoneExactly() {
        QFETCH(Tool, tool);
        QFETCH(QString, name);
        CommandHarness harness;
        QStringList list1;
        QStringList list2;
        // Scattered repeats, names with numbers, and texts equal but for case.
        for (int k = 0; k < 30'000; ++k) {
            list1.append((k % 5 == 0 ? u"Name %1"_s : u"name %1"_s).arg((k * 7919) % 9001));
        }
        for (int k = 0; k < 9001; k += 3) list2.append(u"name %1"_s.arg(k));
        fill(harness.ListView1.items(), list1);
        fill(harness.ListView2.items(), list2);
        runOnList1(harness, tool);
        const QStringList after = textsOf(harness.ListView1.items());
        QVERIFY(after != list1);
        QCOMPARE(harness.history.count(), 1);
        QAction* undo = harness.history.createUndoAction(&harness.owner);
        QVERIFY2(undo->text().contains(name), qPrintable(undo->text()));
        if (tool == Tool::SortAToZ || tool == Tool::SortZToA) {
            // A sort keeps where each item stood, not the texts: 4 bytes an item (a large
            // block is rounded up to whole pages).
            QVERIFY2(harness.history.bytesHeld() <= 30'000 * 4 + (64 << 10),
                     qPrintable(QString::number(harness.history.bytesHeld())));
        }
        for (int round = 0; round < 2; ++round) {
            harness.history.undo();
            QCOMPARE(textsOf(harness.ListView1.items()), list1);
            harness.history.redo();
            QCOMPARE(textsOf(harness.ListView1.items()), after);
        }
        QCOMPARE(textsOf(harness.ListView2.items()), list2);
        QVERIFY(harness.messages.errorReports().isEmpty());
    }

    // A sort that changes nothing, or a tool that removes nothing, is no change to undo.
    void toolsThatChangeNothingAddNoChange_data() {
        addToolRows({Tool::KeepShared, Tool::RemoveRepeats, Tool::SortAToZ});
    }
    void toolsThatChangeNothingAddNoChange() {
        QFETCH(Tool, tool);
        CommandHarness harness;
        const QStringList list{u"a2"_s, u"a10"_s, u"B"_s, u"c"_s};
        fill(harness.ListView1.items(), list);
        fill(harness.ListView2.items(), {u"c"_s, u"B"_s, u"a10"_s, u"a2"_s});
        runOnList1(harness, tool);
        QCOMPARE(textsOf(harness.ListView1.items()), list);
        QCOMPARE(harness.history.count(), 0);
        QVERIFY(harness.messages.errorReports().isEmpty());
    }

    // While another long command runs, each tool does nothing at all.
    void eachToolIsRefusedWhileBusy_data() {
        addToolRows({Tool::KeepShared, Tool::RemoveRepeats, Tool::SortAToZ, Tool::SortZToA});
    }
    void eachToolIsRefusedWhileBusy() {
        QFETCH(Tool, tool);
        CommandHarness harness;
        const QStringList list1{u"b"_s, u"a"_s, u"b"_s, u"c"_s};
        fill(harness.ListView1.items(), list1);
        fill(harness.ListView2.items(), {u"b"_s});
        // A subtraction of List 1 from List 2 reads both; the tool is tried while it runs.
        bool tried = false;
        harness.pump.at(1, [&] {
            tried = true;
            runOnList1(harness, tool);
            QCOMPARE(textsOf(harness.ListView1.items()), list1);
            QCOMPARE(harness.pointer.state(), WindowPointer::Busy);
        });
        commands::Subtract(harness.window, kLocation, harness.ListView2, harness.ListView1);
        QVERIFY(tried);
        QCOMPARE(textsOf(harness.ListView1.items()), list1);
        QCOMPARE(textsOf(harness.ListView2.items()), QStringList{});
        QCOMPARE(harness.pointer.state(), WindowPointer::Default);
    }

    // While a sort works out the order off the window's thread, commands that would change
    // the sorted list are refused, and the other list stays open.
    void commandsDuringASortLeaveTheSortedListAlone() {
        CommandHarness harness;
        QStringList texts;
        for (int k = 60'000; k > 0; --k) texts.append(u"name %1"_s.arg(k % 20'000));
        fill(harness.ListView1.items(), texts);
        fill(harness.ListView2.items(), {u"name 1"_s, u"z"_s, u"z"_s});
        bool tried = false;
        harness.pump.at(1, [&] {
            tried = true;
            commands::RemoveRepeatedItems(harness.window, kLocation, harness.ListView1);
            commands::Subtract(harness.window, kLocation, harness.ListView1, harness.ListView2);
            commands::RemoveRepeatedItems(harness.window, kLocation, harness.ListView2);
            QCOMPARE(harness.ListView1.items().count(), 60'000);
        });
        commands::SortList(harness.window, kLocation, harness.ListView1, SortOrder::AToZ);
        QVERIFY(tried);
        const list_store::ListStore& sorted = harness.ListView1.items();
        QCOMPARE(sorted.count(), 60'000);
        QCOMPARE(sorted.text(1), u"name 0"_s);
        QCOMPARE(sorted.text(4), u"name 1"_s);
        QCOMPARE(sorted.text(60'000), u"name 19999"_s);
        // Long commands are one at a time: the second list's repeats were not removed either.
        QCOMPARE(textsOf(harness.ListView2.items()), (QStringList{u"name 1"_s, u"z"_s, u"z"_s}));
        QVERIFY(harness.messages.errorReports().isEmpty());
    }

    void contextMenusOfBothListsOfferTheTools() {
        FormHarness harness;
        Form1& form = harness.load();
        for (const int list : {1, 2}) {
            QCOMPARE(form.listView(list)->contextMenuPolicy(), Qt::ActionsContextMenu);
            const QStringList captions = menuCaptions(form, list);
            for (const QString& caption :
                 {u"Keep Only Items Also In List %1"_s.arg(3 - list), u"Remove Repeated Items"_s,
                  u"Sort A to Z"_s, u"Sort Z to A"_s}) {
                QVERIFY2(captions.contains(caption), qPrintable(caption));
            }
        }
    }

    // As a new user would: samples in both lists, keep in List 1 only what List 2 has, then
    // thin and sort a list with repeats, each from the list's own menu.
    void toolsWorkThroughTheContextMenu() {
        FormHarness harness;
        Form1& form = harness.load();
        form.button(5)->click();  // grape, banana, apple, orange
        form.button(6)->click();  // grape, apple
        // Each: the samples button clicked first (0 for none), the list, the menu entry, and
        // what the list holds after it.
        const struct {
            int samples;
            int list;
            QString entry;
            QStringList after;
        } steps[] = {
            {0, 1, u"Keep Only Items Also In List 2"_s, {u"grape"_s, u"apple"_s}},
            {5, 1, u"Remove Repeated Items"_s, {u"grape"_s, u"apple"_s, u"banana"_s, u"orange"_s}},
            {0, 1, u"Sort A to Z"_s, {u"apple"_s, u"banana"_s, u"grape"_s, u"orange"_s}},
            {0, 2, u"Sort Z to A"_s, {u"grape"_s, u"apple"_s}},
            {6,
             2,
             u"Keep Only Items Also In List 1"_s,
             {u"grape"_s, u"apple"_s, u"grape"_s, u"apple"_s}},
        };
        for (const auto& step : steps) {
            if (step.samples != 0) form.button(step.samples)->click();
            menuAction(form, step.list, step.entry)->trigger();
            QCOMPARE(textsOf(form.listView(step.list)->items()), step.after);
        }
        QCOMPARE(form.MousePointer().state(), WindowPointer::Default);
        QVERIFY(harness.messages.shown.isEmpty());
    }

    // A menu entry chosen while a subtraction pumps events does nothing.
    void menuToolsAreRefusedDuringASubtraction() {
        FormHarness harness;
        Form1& form = harness.load();
        QStringList list1;
        for (int i = 0; i < 2000; ++i) list1.append(u"item %1"_s.arg(i % 700));
        fill(form.listView(1)->items(), list1);
        fill(form.listView(2)->items(), {u"item 3"_s, u"item 3"_s});
        bool fired = false;
        harness.pump.at(5, [&] {
            fired = true;
            for (const int list : {1, 2}) {
                for (const QString& caption :
                     {u"Keep Only Items Also In List %1"_s.arg(3 - list),
                      u"Remove Repeated Items"_s, u"Sort A to Z"_s, u"Sort Z to A"_s}) {
                    menuAction(form, list, caption)->trigger();
                }
            }
        });
        form.button(19)->click();  // Subtract List 2 From List 1
        QVERIFY(fired);
        list1.removeAll(u"item 3"_s);
        QCOMPARE(textsOf(form.listView(1)->items()), list1);
        QCOMPARE(textsOf(form.listView(2)->items()), (QStringList{u"item 3"_s, u"item 3"_s}));
    }
};

QTEST_MAIN(ListToolCommandsTest)
#include "tst_list_tool_commands.moc"
