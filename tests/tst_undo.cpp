#include <QAction>
#include <QCollator>
#include <QFile>
#include <QTest>
#include <functional>
#include <utility>

#include "command_harness.h"
#include "commands/filter_commands.h"
#include "commands/item_commands.h"
#include "commands/list_tool_commands.h"
#include "commands/list_view_events.h"
#include "commands/subtract_commands.h"
#include "form_harness.h"
#include "window_test.h"

using commands::History;

namespace {

struct Lists {
    QStringList first;
    QStringList second;
    bool operator==(const Lists& other) const = default;
};

Lists listsOf(const Form1& form) {
    return {textsOf(form.listView(1)->items()), textsOf(form.listView(2)->items())};
}

char* toString(const Lists& lists) {
    return QTest::toString(
        u"List 1: [%1] List 2: [%2]"_s.arg(lists.first.join(u", "_s), lists.second.join(u", "_s)));
}

// A history of its own over two plain list stores, for the bounds.
struct SmallHistory {
    ScriptedPump pump;
    RecordingReport report;
    commands::BusyGuard guard{pump};
    list_store::ListStore list;
    History history;
    explicit SmallHistory(qint64 bound) : history(guard, report, bound) {}

    // Removes the first item, which holds `units` code units, as one change.
    void removeFirst() {
        History::Recording change(history, u"Remove"_s, {&list});
        list.removeAt(1);
    }
};

}  // namespace

class UndoTest : public WindowTest {
    Q_OBJECT

private Q_SLOTS:
    void eachKindOfChangeIsUndoneAndRedoneExactly_data() {
        QTest::addColumn<int>("kind");
        const char* names[] = {"add one item",
                               "sample items of List 1",
                               "sample items of List 2",
                               "Help's sample items",
                               "clear List 1",
                               "clear List 2",
                               "Delete key",
                               "double-click",
                               "subtract List 2 from List 1",
                               "subtract List 1 from List 2",
                               "remove containing",
                               "remove not containing",
                               "load two files",
                               "paste",
                               "drop text",
                               "drop files",
                               "delete a selection",
                               "keep only items also in List 2",
                               "keep only items also in List 1",
                               "remove repeated items",
                               "sort A to Z",
                               "sort Z to A"};
        for (int kind = 0; kind < int(std::size(names)); ++kind) {
            QTest::newRow(names[kind]) << kind;
        }
    }
    void eachKindOfChangeIsUndoneAndRedoneExactly() {
        QFETCH(int, kind);
        FormHarness harness;
        Form1& form = harness.load();
        fill(form.listView(1)->items(),
             {u"apple"_s, u"a.txt"_s, u"kiwi"_s, u""_s, u"apple"_s, u"Grape"_s, u"fig"_s});
        fill(form.listView(2)->items(), {u"grape"_s, u"apple"_s, u"b.txt"_s, u"fig"_s});
        const QString fileA = harness.folder.path() + u"/a.txt"_s;
        const QString fileB = harness.folder.path() + u"/b.txt"_s;
        QFile a(fileA);
        QFile b(fileB);
        QVERIFY(a.open(QIODevice::WriteOnly) && a.write("x\r\ny\r\n") == 6);
        QVERIFY(b.open(QIODevice::WriteOnly) && b.write("z") == 1);
        a.close();
        b.close();
        const std::function<void()> changes[] = {
            [&] {
                harness.input.answers = {u"typed"_s};
                form.button(20)->click();
            },
            [&] { form.button(5)->click(); },
            [&] { form.button(6)->click(); },
            [&] {
                harness.messages.answers = {platform::Answer::Yes};
                form.button(4)->click();
            },
            [&] { form.button(1)->click(); },
            [&] { form.button(2)->click(); },
            [&] {
                form.listView(1)->selectPosition(4);
                QTest::keyClick(form.listView(1), Qt::Key_Delete);
            },
            [&] {
                form.listView(2)->selectPosition(2);
                Q_EMIT form.listView(2)->activation();
            },
            [&] { form.button(19)->click(); },
            [&] { form.button(12)->click(); },
            [&] {
                harness.input.answers = {u".txt"_s};
                form.button(9)->click();
            },
            [&] {
                harness.input.answers = {u"i"_s};
                form.button(15)->click();
            },
            [&] {
                harness.dialogs.answers = {harness.folder.path() + QChar(0) + u"a.txt"_s +
                                           QChar(0) + u"b.txt"_s};
                form.button(3)->click();
            },
            [&] {
                harness.clipboard.held = u"p\nq"_s;
                form.listView(2)->pasteAction()->trigger();
            },
            [&] { Q_EMIT form.listView(1)->textDropped(u"d1\r\nd2"_s); },
            [&] {
                Q_EMIT form.listView(2)->filesDropped({fileB, fileA});
            },
            [&] {
                form.listView(1)->selectAll();
                form.listView(1)->deleteAction()->trigger();
            },
            [&] { menuAction(form, 1, u"Keep Only Items Also In List 2"_s)->trigger(); },
            [&] { menuAction(form, 2, u"Keep Only Items Also In List 1"_s)->trigger(); },
            [&] { menuAction(form, 1, u"Remove Repeated Items"_s)->trigger(); },
            [&] { menuAction(form, 1, u"Sort A to Z"_s)->trigger(); },
            [&] { menuAction(form, 2, u"Sort Z to A"_s)->trigger(); },
        };
        const Lists before = listsOf(form);
        changes[kind]();
        const Lists after = listsOf(form);
        QVERIFY(after != before);
        QCOMPARE(form.history().count(), 1);

        form.history().undo();
        QCOMPARE(listsOf(form), before);
        form.history().redo();
        QCOMPARE(listsOf(form), after);
        form.history().undo();
        QCOMPARE(listsOf(form), before);
        QVERIFY(harness.messages.errorReports().isEmpty());
    }

    void subtractionUndoneRestoresItemsAtTheirPositionsAndTheViewFollows() {
        FormHarness harness;
        Form1& form = harness.load();
        QStringList list1;
        QStringList list2;
        for (int i = 0; i < 3000; ++i) list1.append(u"item %1"_s.arg(i));
        for (int i = 0; i < 3000; i += 7) list2.append(u"item %1"_s.arg(i));
        fill(form.listView(1)->items(), list1);
        fill(form.listView(2)->items(), list2);
        form.button(19)->click();
        QCOMPARE(form.listView(1)->items().count(), 3000 - int(list2.size()));
        form.history().undo();
        QCOMPARE(textsOf(form.listView(1)->items()), list1);
        // The view shows what the store holds.
        QCOMPARE(form.listView(1)->model()->rowCount(), 3000);
        QCOMPARE(form.listView(1)->model()->index(7, 0).data().toString(), u"item 7"_s);
    }

    void savingIsNoChange() {
        FormHarness harness;
        Form1& form = harness.load();
        form.button(5)->click();
        harness.dialogs.answers = {harness.folder.path() + u"/saved.txt"_s};
        form.button(7)->click();
        QVERIFY(harness.messages.texts().contains(u"Done."_s));
        QCOMPARE(form.history().count(), 1);
        form.history().undo();  // the samples, not the save
        QCOMPARE(form.listView(1)->items().count(), 0);
    }

    void standardKeysUndoAndRedoWhereverTheFocusIs_data() {
        QTest::addColumn<int>("focus");
        QTest::newRow("List 1") << 1;
        QTest::newRow("List 2") << 2;
        QTest::newRow("a button") << 0;
    }
    void standardKeysUndoAndRedoWhereverTheFocusIs() {
        QFETCH(int, focus);
        FormHarness harness;
        Form1& form = harness.load();
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        QWidget* target = focus == 0 ? static_cast<QWidget*>(form.button(13))
                                     : static_cast<QWidget*>(form.listView(focus));
        target->setFocus();
        form.button(5)->click();
        form.button(6)->click();
        const Lists both = listsOf(form);
        const QKeySequence undo = QKeySequence::keyBindings(QKeySequence::Undo).value(0);
        const QKeySequence redo = QKeySequence::keyBindings(QKeySequence::Redo).value(0);
        QVERIFY(!undo.isEmpty() && !redo.isEmpty());
        QTest::keySequence(target, undo);
        QCOMPARE(listsOf(form), (Lists{both.first, {}}));
        QTest::keySequence(target, undo);
        QCOMPARE(listsOf(form), Lists{});
        QTest::keySequence(target, redo);
        QTest::keySequence(target, redo);
        QCOMPARE(listsOf(form), both);
        form.close();
    }

    void undoAndRedoAreRefusedWhileALongCommandRuns() {
        FormHarness harness;
        Form1& form = harness.load();
        form.button(5)->click();  // something to undo
        form.history().undo();
        form.history().redo();  // ... and something to redo, once undone
        form.button(6)->click();
        form.history().undo();
        QStringList list2;
        for (int i = 0; i < 500; ++i) list2.append(u"entry %1"_s.arg(i));
        fill(form.listView(2)->items(), list2);
        harness.input.answers = {u"7"_s};
        bool undoEnabled = true;
        bool redoEnabled = true;
        harness.pump.at(50, [&] {
            undoEnabled = form.undoAction()->isEnabled();
            redoEnabled = form.redoAction()->isEnabled();
            form.undoAction()->trigger();
            form.redoAction()->trigger();
            form.history().undo();
            form.history().redo();
            // A short command on the other list is kept all the same.
            form.button(5)->click();
        });
        form.button(11)->click();
        QVERIFY(!undoEnabled);
        QVERIFY(!redoEnabled);
        QCOMPARE(form.listView(1)->items().count(), 8);
        QVERIFY(form.listView(2)->items().count() < 500);
        QCOMPARE(form.history().count(), 3);
        QVERIFY(form.undoAction()->isEnabled());
        // Newest first: the filter, then the samples added during it, then the first samples.
        form.undoAction()->trigger();
        QCOMPARE(textsOf(form.listView(2)->items()), list2);
        form.undoAction()->trigger();
        QCOMPARE(form.listView(1)->items().count(), 4);
        form.undoAction()->trigger();
        QCOMPARE(form.listView(1)->items().count(), 0);
        QVERIFY(!form.undoAction()->isEnabled());
    }

    // On a list of more than a million items an undo handles events between its steps; it holds
    // its list meanwhile, as a long command does, so nothing else changes it or is undone.
    void anUndoOnALongListHoldsItsListWhileItWorks() {
        FormHarness harness;
        Form1& form = harness.load();
        list_store::ListStore& items = form.listView(1)->items();
        constexpr int kItems = 1'200'000;
        list_store::TextBlock all;
        for (int k = 1; k <= kItems; ++k) all.add(list_store::ItemText(QString::number(k)));
        items.appendBlock(all);
        std::vector<int> everyOther;
        everyOther.reserve(kItems / 2);
        for (int k = 1; k <= kItems; k += 2) everyOther.push_back(k);
        {
            commands::History::Recording change(form.history(), u"Remove Items"_s, {&items});
            items.removePositions(everyOther);
        }
        int pumps = 0;
        bool undoEnabled = true;
        harness.pump.everyPump = [&](int) {
            if (++pumps > 1) return;
            undoEnabled = form.undoAction()->isEnabled();
            form.undoAction()->trigger();
            form.history().undo();
            form.listView(1)->selectPosition(1);
            form.listView(1)->deleteAction()->trigger();
            form.button(5)->click();  // samples for List 1: refused
            form.button(6)->click();  // samples for List 2: kept
        };
        form.undoAction()->trigger();
        harness.pump.everyPump = nullptr;

        QVERIFY(pumps > 1);
        QVERIFY(!undoEnabled);
        QCOMPARE(items.count(), kItems);
        for (int k = 1; k <= kItems; ++k) {
            if (items.textView(k) != list_store::ItemText(QString::number(k))) {
                QFAIL(qPrintable(u"item %1 is not back in its place"_s.arg(k)));
            }
        }
        QVERIFY(form.listView(2)->items().count() > 0);
        // The samples came after the undo: they are the one change left to undo.
        QCOMPARE(form.history().count(), 1);
        QVERIFY(!form.redoAction()->isEnabled());
        form.undoAction()->trigger();
        QCOMPARE(form.listView(2)->items().count(), 0);
        QCOMPARE(items.count(), kItems);
    }

    // A load of more than a million items after those a list held is undone and redone in
    // steps: events are handled between them, and the list is held meanwhile.
    void aLargeLoadIsUndoneAndRedoneInStepsHoldingItsList() {
        FormHarness harness;
        Form1& form = harness.load();
        list_store::ListStore& items = form.listView(1)->items();
        fill(items, {u"first"_s, u"second"_s});
        constexpr int kLoaded = 1'200'000;
        {
            list_store::TextBlock loaded;
            for (int k = 1; k <= kLoaded; ++k) loaded.add(list_store::ItemText(QString::number(k)));
            commands::History::Recording change(form.history(), u"Load"_s, {&items});
            items.appendBlock(loaded);
        }
        int pumps = 0;
        bool enabled = true;
        harness.pump.everyPump = [&](int) {
            ++pumps;
            enabled = enabled && form.undoAction()->isEnabled() && form.redoAction()->isEnabled();
            form.listView(1)->selectPosition(1);
            form.listView(1)->deleteAction()->trigger();  // refused
            form.button(5)->click();                      // samples for List 1: refused
        };
        form.undoAction()->trigger();
        const int undoPumps = std::exchange(pumps, 0);
        QCOMPARE(textsOf(items), QStringList({u"first"_s, u"second"_s}));
        form.redoAction()->trigger();
        harness.pump.everyPump = nullptr;

        QVERIFY2(undoPumps > 1, "the undo handled events between its steps");
        QVERIFY2(pumps > 1, "the redo handled events between its steps");
        QVERIFY(!enabled);
        QCOMPARE(items.count(), kLoaded + 2);
        QCOMPARE(items.text(1), u"first"_s);
        QCOMPARE(items.text(2), u"second"_s);
        for (int k = 1; k <= kLoaded; ++k) {
            if (items.textView(k + 2) != list_store::ItemText(QString::number(k))) {
                QFAIL(qPrintable(u"item %1 is not back in its place"_s.arg(k)));
            }
        }
        QCOMPARE(form.history().count(), 1);
        QVERIFY(!form.redoAction()->isEnabled());
    }

    void historyKeepsTheNewestChangesByCount() {
        CommandHarness harness;
        for (int i = 0; i < History::kMostChanges + 20; ++i) {
            harness.input.answers = {u"item %1"_s.arg(i)};
            commands::AddOneItem(harness.window, u"in test "_s, harness.ListView1);
        }
        QCOMPARE(harness.history.count(), History::kMostChanges);
        while (harness.history.canUndo()) harness.history.undo();
        QCOMPARE(harness.ListView1.items().count(), 20);
        QCOMPARE(harness.ListView1.items().text(20), u"item 19"_s);
    }

    void historyDropsTheOldestChangesBeyondItsMemory() {
        // Each removal keeps 50 code units (stored as 50 Latin-1 bytes) and its end and position
        // (12 bytes).
        SmallHistory small(200);
        for (int i = 0; i < 6; ++i) small.list.append(QString(50, QChar(u'a' + i)));
        for (int i = 0; i < 6; ++i) small.removeFirst();
        QVERIFY(small.history.bytesHeld() <= 200);
        QVERIFY(small.history.count() >= 2 && small.history.count() < 6);
        const int kept = small.history.count();
        while (small.history.canUndo()) small.history.undo();
        // The newest changes came back, the oldest did not.
        QCOMPARE(small.list.count(), kept);
        QCOMPARE(small.list.text(kept), QString(50, u'f'));
        QCOMPARE(small.list.text(1), QString(50, QChar(u'a' + 6 - kept)));
    }

    void aChangeLargerThanTheBoundEmptiesTheHistory() {
        SmallHistory small(400);
        small.list.append(u"short"_s);
        small.list.append(QString(1000, u'x'));
        small.removeFirst();
        QCOMPARE(small.history.count(), 1);
        small.removeFirst();  // 1,000 bytes: more than the whole bound
        QCOMPARE(small.history.count(), 0);
        QVERIFY(!small.history.canUndo());
        QCOMPARE(small.list.count(), 0);
        QCOMPARE(small.history.bytesHeld(), 0);
    }

    void aChangeThatNoLongerFitsItsListEmptiesTheHistoryAndIsReported() {
        SmallHistory small(1 << 20);
        fill(small.list, {u"a"_s, u"b"_s, u"c"_s});
        {
            History::Recording change(small.history, u"Remove"_s, {&small.list});
            small.list.removeAt(3);
        }
        small.list.setRecorder(nullptr);
        small.list.clear();  // behind the history's back: position 3 cannot be restored
        small.history.undo();
        QCOMPARE(small.history.count(), 0);
        QCOMPARE(small.report.shown.size(), 1);
        QCOMPARE(small.report.shown[0].location, u"in Pellorin2021/08/31.Form1.Undo "_s);
        QCOMPARE(small.list.count(), 0);
    }

    // Random commands on both lists, the list tools among them, each also applied to plain
    // string lists: undone one by one back to the start and redone to the end, the lists must
    // pass through every state again.
    void randomChangesUndoneToTheStartAndRedoneToTheEnd() {
        CommandHarness harness;
        harness.ListView1.addColumn(u"List 1"_s);  // rows can be selected only with a column
        harness.ListView2.addColumn(u"List 2"_s);
        const QString here = u"in test "_s;
        quint32 seed = 2024;
        const auto random = [&seed](quint32 bound) {
            seed = seed * 1664525u + 1013904223u;
            return (seed >> 8) % bound;
        };
        std::vector<Lists> states{Lists{}};
        const auto current = [&] {
            return Lists{textsOf(harness.ListView1.items()), textsOf(harness.ListView2.items())};
        };
        // The order a sort gives where the system locale is C.
        QCollator collator(QLocale(QLocale::English, QLocale::UnitedStates));
        collator.setNumericMode(true);
        const int changes = History::kMostChanges - 10;
        int made = 0;
        while (made < changes) {
            Lists expected = states.back();
            controls::ListView& view = random(2) == 0 ? harness.ListView1 : harness.ListView2;
            QStringList& mine = &view == &harness.ListView1 ? expected.first : expected.second;
            QStringList& other = &view == &harness.ListView1 ? expected.second : expected.first;
            switch (random(10)) {
                case 0: {
                    const QString text = u"t%1"_s.arg(random(30));
                    harness.input.answers = {text};
                    commands::AddOneItem(harness.window, here, view);
                    mine.append(text);
                    break;
                }
                case 1:
                    if (&view == &harness.ListView1) {
                        commands::LoadSampleItems1(harness.window, here);
                        mine += QStringList{u"grape"_s, u"banana"_s, u"apple"_s, u"orange"_s};
                    } else {
                        commands::LoadSampleItems2(harness.window, here);
                        mine += QStringList{u"grape"_s, u"apple"_s};
                    }
                    break;
                case 2:
                    if (mine.isEmpty() || random(3) != 0) continue;  // clears now and then
                    if (&view == &harness.ListView1) {
                        commands::ClearList1(harness.window, here);
                    } else {
                        commands::ClearList2(harness.window, here);
                    }
                    mine.clear();
                    break;
                case 3: {
                    if (mine.isEmpty()) continue;
                    const int position = 1 + int(random(quint32(mine.size())));
                    view.selectPosition(position);
                    commands::RemoveSelected(harness.window, view);
                    mine.removeAt(position - 1);
                    break;
                }
                case 4: {
                    controls::ListView& second =
                        &view == &harness.ListView1 ? harness.ListView2 : harness.ListView1;
                    const bool removes =
                        std::any_of(mine.begin(), mine.end(),
                                    [&](const QString& t) { return other.contains(t); });
                    if (!removes) continue;
                    commands::Subtract(harness.window, here, view, second);
                    mine.removeIf([&](const QString& t) { return other.contains(t); });
                    break;
                }
                case 7: {
                    controls::ListView& second =
                        &view == &harness.ListView1 ? harness.ListView2 : harness.ListView1;
                    const auto notShared = [&](const QString& t) { return !other.contains(t); };
                    if (!std::any_of(mine.begin(), mine.end(), notShared)) continue;
                    commands::KeepOnlyItemsAlsoIn(harness.window, here, view, second);
                    mine.removeIf(notShared);
                    break;
                }
                case 8: {
                    QStringList distinct;
                    for (const QString& t : mine) {
                        if (!distinct.contains(t)) distinct.append(t);
                    }
                    if (distinct == mine) continue;
                    commands::RemoveRepeatedItems(harness.window, here, view);
                    mine = distinct;
                    break;
                }
                case 9: {
                    const bool down = random(2) == 0;
                    QStringList ordered = mine;
                    std::stable_sort(ordered.begin(), ordered.end(),
                                     [&](const QString& x, const QString& y) {
                                         const int c = collator.compare(x, y);
                                         return down ? c > 0 : c < 0;
                                     });
                    if (ordered == mine) continue;
                    commands::SortList(harness.window, here, view,
                                       down ? List::SortOrder::ZToA : List::SortOrder::AToZ);
                    mine = ordered;
                    break;
                }
                default: {
                    const QString text = u"%1"_s.arg(random(10));
                    if (!std::any_of(mine.begin(), mine.end(),
                                     [&](const QString& t) { return t.contains(text); })) {
                        continue;
                    }
                    harness.input.answers = {text};
                    commands::Filter(harness.window, here, commands::FilterKind::Containing, view);
                    mine.removeIf([&](const QString& t) { return t.contains(text); });
                    break;
                }
            }
            ++made;
            QCOMPARE(current(), expected);
            states.push_back(expected);
        }
        QCOMPARE(harness.history.count(), changes);
        for (int k = changes - 1; k >= 0; --k) {
            harness.history.undo();
            QCOMPARE(current(), states[size_t(k)]);
        }
        QVERIFY(!harness.history.canUndo());
        for (int k = 1; k <= changes; ++k) {
            harness.history.redo();
            QCOMPARE(current(), states[size_t(k)]);
        }
        QVERIFY(!harness.history.canRedo());
        QVERIFY(harness.messages.errorReports().isEmpty());
    }
};

QTEST_MAIN(UndoTest)
#include "tst_undo.moc"
