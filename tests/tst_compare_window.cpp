#include <QAbstractItemModelTester>
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QListView>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QSet>
#include <QTest>
#include <QTreeWidget>

#include "commands/clipboard_commands.h"
#include "form_harness.h"
#include "list_engine/match_rules.h"
#include "text_rows.h"

namespace {

using Panel = shell::CompareWindow;

// Entries that differ where the eye cannot tell, with repeats and empty entries among them.
const QStringList kPieces = {
    u"apple"_s,
    u"Apple"_s,
    u"APPLE "_s,
    u"apple\u00A0"_s,
    u" apple"_s,
    u"caf\u00E9"_s,
    u"cafe\u0301"_s,
    u"Cafe"_s,
    QString(),
    u"x y"_s,
    u"x  y"_s,
    u"x\u00A0y"_s,
    u"id\u200B-1"_s,
    u"id-1"_s,
    u"M\u00FCller"_s,
    u"Mu\u0308ller"_s,
    u"muller"_s,
    u"\t"_s,
    u"\u00C5ngstr\u00F6m"_s,
};

QStringList randomList(QRandomGenerator& random, int count) {
    QStringList list;
    for (int i = 0; i < count; ++i) {
        // Now and then a number, so that some entries are only in one list for no rule.
        list.append(random.bounded(4) == 0 ? QString::number(random.bounded(30))
                                           : kPieces.at(random.bounded(int(kPieces.size()))));
    }
    return list;
}

QStringList shownTexts(const QAbstractItemModel* model) {
    QStringList texts;
    for (int row = 0; row < model->rowCount(); ++row) {
        texts.append(model->data(model->index(row, 0), Qt::DisplayRole).toString());
    }
    return texts;
}

// What a comparison must give, worked out the plain way: keys in sets.
struct Expected {
    QStringList onlyFirst, bothFirst, bothSecond, onlySecond;
    qsizetype onlyFirstKeys = 0, bothKeys = 0, onlySecondKeys = 0;
    qsizetype firstRepeats = 0, secondRepeats = 0;
};

Expected expectedOf(const QStringList& first, const QStringList& second,
                    const List::MatchRules& rules) {
    const List::KeyMaker maker(rules);
    const auto keyOf = [&](const QString& text) {
        QString key;
        maker.keyOf(text, key);
        return key;
    };
    QSet<QString> keys[2];
    for (const QString& text : first) keys[0].insert(keyOf(text));
    for (const QString& text : second) keys[1].insert(keyOf(text));
    Expected expected;
    QSet<QString> onlyKeys[2];
    for (const QString& text : first) {
        const QString key = keyOf(text);
        (keys[1].contains(key) ? expected.bothFirst : expected.onlyFirst).append(text);
        if (!keys[1].contains(key)) onlyKeys[0].insert(key);
    }
    for (const QString& text : second) {
        const QString key = keyOf(text);
        (keys[0].contains(key) ? expected.bothSecond : expected.onlySecond).append(text);
        if (!keys[0].contains(key)) onlyKeys[1].insert(key);
    }
    expected.onlyFirstKeys = onlyKeys[0].size();
    expected.onlySecondKeys = onlyKeys[1].size();
    expected.bothKeys = (keys[0] & keys[1]).size();
    expected.firstRepeats = first.size() - keys[0].size();
    expected.secondRepeats = second.size() - keys[1].size();
    return expected;
}

Panel& openPanel(Form1& form) {
    form.compareAction()->trigger();
    return *form.compareWindow();
}

QAbstractItemModel* regionModel(Panel& panel, Panel::RegionIndex index, int list = 1) {
    if (index == Panel::Both) {
        (list == 1 ? panel.region(index).fromFirst : panel.region(index).fromSecond)->click();
    }
    return panel.region(index).view->model();
}

QString accessibleName(QWidget* widget) {
    return QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name);
}

}  // namespace

class CompareWindowTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void cleanupTestCase() { QLocale::setDefault(QLocale::c()); }
    void cleanup() { QTRY_VERIFY(QApplication::topLevelWidgets().isEmpty()); }

    // The regions, their counts and the lists' figures are those of a plain set computation,
    // under the rules chosen in the panel itself; each choice compares again.
    void regionsAreThoseOfAPlainSetComputation_data() {
        QTest::addColumn<QList<int>>("boxes");  // the panel's rule boxes clicked, in order
        QTest::addColumn<quint32>("seed");
        QTest::newRow("exact") << QList<int>{} << 1u;
        QTest::newRow("ignore case") << QList<int>{0} << 2u;
        QTest::newRow("edge spaces, spaces alike") << QList<int>{1, 2} << 3u;
        QTest::newRow("invisible, accents, case") << QList<int>{3, 5, 0} << 4u;
        QTest::newRow("Unicode form") << QList<int>{4} << 5u;
    }
    void regionsAreThoseOfAPlainSetComputation() {
        QFETCH(QList<int>, boxes);
        QFETCH(quint32, seed);
        QRandomGenerator random(seed);
        const QStringList first = randomList(random, 80);
        const QStringList second = randomList(random, 60);
        FormHarness harness;
        Form1& form = harness.load();
        fill(form.listView(1)->items(), first);
        fill(form.listView(2)->items(), second);
        Panel& panel = openPanel(form);
        QCOMPARE(panel.state(), Panel::State::Shown);
        QCOMPARE(panel.ruleBoxes().size(), size_t(6));
        for (const int box : boxes) {
            panel.ruleBoxes()[size_t(box)]->click();
            QVERIFY(panel.state() != Panel::State::Shown);  // never figures of other rules
            QTRY_COMPARE(panel.state(), Panel::State::Shown);
        }
        const List::MatchRules rules = form.matchRules();
        QCOMPARE(rules.ignoreCase, boxes.contains(0));
        QCOMPARE(rules.trim, boxes.contains(1));
        QCOMPARE(rules.accents, boxes.contains(5));
        QVERIFY(harness.messages.errorReports().isEmpty());

        const Expected expected = expectedOf(first, second, rules);
        QCOMPARE(shownTexts(regionModel(panel, Panel::OnlyFirst)), expected.onlyFirst);
        QCOMPARE(shownTexts(regionModel(panel, Panel::Both, 1)), expected.bothFirst);
        QCOMPARE(shownTexts(regionModel(panel, Panel::Both, 2)), expected.bothSecond);
        QCOMPARE(shownTexts(regionModel(panel, Panel::OnlySecond)), expected.onlySecond);
        const auto entries = [](qsizetype n) {
            return n == 1 ? u"1 entry"_s : u"%1 entries"_s.arg(n);
        };
        const auto keys = [](qsizetype n, const QString& kind) {
            return u"%1 %2 %3"_s.arg(n).arg(kind, n == 1 ? u"key"_s : u"keys"_s);
        };
        const QString onlyFirst = entries(expected.onlyFirst.size()) + u", "_s +
                                  keys(expected.onlyFirstKeys, u"distinct"_s);
        QCOMPARE(panel.region(Panel::OnlyFirst).counts->text(), onlyFirst);
        QCOMPARE(panel.region(Panel::Both).counts->text(),
                 u"List 1: %1, List 2: %2, %3"_s.arg(entries(expected.bothFirst.size()),
                                                     entries(expected.bothSecond.size()),
                                                     keys(expected.bothKeys, u"shared"_s)));
        QCOMPARE(panel.region(Panel::OnlySecond).counts->text(),
                 entries(expected.onlySecond.size()) + u", "_s +
                     keys(expected.onlySecondKeys, u"distinct"_s));
        QCOMPARE(panel.listsLabel()->text(),
                 u"List 1: 80 items, %1 repeated.    List 2: 60 items, %2 repeated."_s
                     .arg(expected.firstRepeats)
                     .arg(expected.secondRepeats));
        // Screen readers hear each region with its counts.
        QCOMPARE(accessibleName(panel.region(Panel::OnlyFirst).view),
                 u"Only in List 1: "_s + onlyFirst);
        // Comparing changed nothing.
        QCOMPARE(textsOf(form.listView(1)->items()), first);
        QCOMPARE(textsOf(form.listView(2)->items()), second);
        QCOMPARE(form.history().count(), 0);
    }

    // The region's model follows the rules of item models, and shows the list's own texts.
    void regionModelIsASoundItemModel() {
        list_store::ListStore store;
        fill(store, {u"a"_s, u"b"_s, u"c"_s, u"d"_s});
        shell::RegionModel model;
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.show(store, {2, 4});
        QCOMPARE(shownTexts(&model), (QStringList{u"b"_s, u"d"_s}));
        model.clear();
        QCOMPARE(model.rowCount(), 0);
    }

    // Any change of a list clears the figures and regions at once, before it is made, and the
    // panel says so; Recompute compares the lists as they are now.
    void aChangeOfAListMakesTheFiguresOutOfDate_data() {
        addWordRows("change", {"append", "remove", "clear", "undo"});
    }
    void aChangeOfAListMakesTheFiguresOutOfDate() {
        QFETCH(QString, change);
        FormHarness harness;
        Form1& form = harness.load();
        fill(form.listView(1)->items(), {u"a"_s, u"b"_s, u"c"_s});
        fill(form.listView(2)->items(), {u"b"_s, u"x"_s});
        if (change == u"undo") form.button(5)->click();  // sample items: one undoable change
        Panel& panel = openPanel(form);
        QCOMPARE(panel.state(), Panel::State::Shown);
        bool clearedBefore = false;
        // The regions are gone by the time the list's own model hears of a removal.
        connect(
            &form.listView(1)->listModel(), &QAbstractItemModel::rowsAboutToBeRemoved, &panel,
            [&] { clearedBefore = panel.region(Panel::OnlyFirst).view->model()->rowCount() == 0; });
        connect(
            &form.listView(1)->listModel(), &QAbstractItemModel::modelAboutToBeReset, &panel,
            [&] { clearedBefore = panel.region(Panel::OnlyFirst).view->model()->rowCount() == 0; });
        if (change == u"append") form.listView(2)->items().append(u"a"_s);
        if (change == u"remove") form.listView(1)->items().removeAt(1);
        if (change == u"clear") form.button(1)->click();
        if (change == u"undo") form.history().undo();
        QCOMPARE(panel.state(), Panel::State::OutOfDate);
        if (change != u"append") QVERIFY(clearedBefore);
        QVERIFY(panel.statusLabel()->text().contains(u"out of date"_s));
        for (const Panel::RegionIndex index : {Panel::OnlyFirst, Panel::Both, Panel::OnlySecond}) {
            QCOMPARE(panel.region(index).view->model()->rowCount(), 0);
            QVERIFY(!panel.region(index).copy->isEnabled());
            QCOMPARE(panel.region(index).counts->text(), u"Out of date"_s);
        }
        QVERIFY(!panel.region(Panel::OnlyFirst).remove1->isEnabled());
        QVERIFY(!panel.listsLabel()->text().contains(u"items"_s));
        QVERIFY(panel.recomputeButton()->isEnabled());

        panel.recomputeButton()->click();
        QCOMPARE(panel.state(), Panel::State::Shown);
        const Expected expected =
            expectedOf(textsOf(form.listView(1)->items()), textsOf(form.listView(2)->items()), {});
        QCOMPARE(shownTexts(regionModel(panel, Panel::OnlyFirst)), expected.onlyFirst);
        QCOMPARE(shownTexts(regionModel(panel, Panel::OnlySecond)), expected.onlySecond);
    }

    // Esc at any of the comparison's chances to handle events: nothing is shown, nothing
    // changed, the pointer and both progress bars are back at rest. The panel's Esc and the
    // main window's do the same.
    void cancelShowsNothingAndChangesNothing_data() {
        // A pump by its number, or (0) the first once a fifth of the progress bar is full, when
        // the near misses are under way: how many pumps come before them depends on the machine.
        QTest::addColumn<int>("atPump");
        QTest::addColumn<bool>("fromPanel");
        QTest::newRow("first pump, panel's Esc") << 1 << true;
        QTest::newRow("second pump, window's Esc") << 2 << false;
        QTest::newRow("near misses under way, panel's Esc") << 0 << true;
    }
    void cancelShowsNothingAndChangesNothing() {
        QFETCH(int, atPump);
        QFETCH(bool, fromPanel);
        FormHarness harness;
        Form1& form = harness.load();
        // Long enough, and with capitals for the case keys to make, that the window gets
        // several chances in each part of the work.
        const QStringList first = numbered(u"Entry "_s, 600'000);
        const QStringList second = numbered(u"Entry "_s, 600'000, 2);
        fill(form.listView(1)->items(), first);
        fill(form.listView(2)->items(), second);
        harness.pump.calls = 0;
        bool cancelled = false;
        const auto cancel = [&] {
            cancelled = true;
            (fromPanel ? form.compareWindow()->cancelAction() : form.cancelAction())->trigger();
        };
        if (atPump > 0) {
            harness.pump.at(atPump, cancel);
        } else {
            harness.pump.everyPump = [&](int) {
                if (!cancelled && form.progressBar()->value() >= 20) cancel();
            };
        }
        Panel& panel = openPanel(form);
        if (!cancelled) QSKIP("the comparison ended before the pump chosen");
        QCOMPARE(panel.state(), Panel::State::Cancelled);
        QVERIFY(panel.isVisible());  // Esc while comparing cancels; it does not close
        for (const Panel::RegionIndex index : {Panel::OnlyFirst, Panel::Both, Panel::OnlySecond}) {
            QCOMPARE(panel.region(index).view->model()->rowCount(), 0);
        }
        QCOMPARE(panel.pairsTree()->topLevelItemCount(), 0);
        QCOMPARE(form.listView(1)->items().count(), first.size());
        QCOMPARE(form.listView(2)->items().count(), second.size());
        QCOMPARE(form.history().count(), 0);
        QCOMPARE(form.MousePointer().state(), controls::WindowPointer::Default);
        QCOMPARE(form.progressBar()->value(), 0);
        QCOMPARE(panel.progressBar()->value(), 0);
        QVERIFY(harness.messages.errorReports().isEmpty());
        // Esc again, with nothing running, closes the panel.
        panel.cancelAction()->trigger();
        QVERIFY(!panel.isVisible());
    }

    // Each region's commands change exactly that region's entries, as one undoable change.
    void removeAndKeepChangeExactlyTheRegion_data() {
        QTest::addColumn<int>("region");
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("list");
        QTest::addColumn<QStringList>("expected");
        const QStringList onlyFirst{u"b"_s, u"d "_s};
        const QStringList bothFirst{u"a"_s, u"A"_s, u"c"_s, u"a"_s};
        const QStringList bothSecond{u"c"_s, u"a"_s};
        const QStringList onlySecond{u"e"_s, u"f"_s};
        QTest::newRow("only in 1, remove")
            << int(Panel::OnlyFirst) << u"remove1"_s << 1 << bothFirst;
        QTest::newRow("only in 2, remove")
            << int(Panel::OnlySecond) << u"remove2"_s << 2 << bothSecond;
        QTest::newRow("both, keep in 1") << int(Panel::Both) << u"keep1"_s << 1 << bothFirst;
        QTest::newRow("both, keep in 2") << int(Panel::Both) << u"keep2"_s << 2 << bothSecond;
        QTest::newRow("both, remove from 1") << int(Panel::Both) << u"remove1"_s << 1 << onlyFirst;
        QTest::newRow("both, remove from 2") << int(Panel::Both) << u"remove2"_s << 2 << onlySecond;
    }
    void removeAndKeepChangeExactlyTheRegion() {
        QFETCH(int, region);
        QFETCH(QString, button);
        QFETCH(int, list);
        QFETCH(QStringList, expected);
        FormHarness harness;
        Form1& form = harness.load();
        const QStringList first{u"a"_s, u"b"_s, u"A"_s, u"c"_s, u"d "_s, u"a"_s};
        const QStringList second{u"e"_s, u"c"_s, u"f"_s, u"a"_s};
        fill(form.listView(1)->items(), first);
        fill(form.listView(2)->items(), second);
        Panel& panel = openPanel(form);
        panel.ruleBoxes()[0]->click();  // Ignore Case: "A" matches "a"
        QTRY_COMPARE(panel.state(), Panel::State::Shown);
        const Panel::Region& shown = panel.region(Panel::RegionIndex(region));
        QPushButton* pressed = button == u"remove1"   ? shown.remove1
                               : button == u"remove2" ? shown.remove2
                               : button == u"keep1"   ? shown.keep1
                                                      : shown.keep2;
        QVERIFY(pressed->isEnabled());
        pressed->click();
        QCOMPARE(textsOf(form.listView(list)->items()), expected);
        QCOMPARE(textsOf(form.listView(3 - list)->items()), list == 1 ? second : first);
        QCOMPARE(form.history().count(), 1);
        QCOMPARE(panel.state(), Panel::State::OutOfDate);
        form.history().undo();
        QCOMPARE(textsOf(form.listView(1)->items()), first);
        QCOMPARE(textsOf(form.listView(2)->items()), second);
    }

    // Copy puts the region's entries on the clipboard as Ctrl+C does, and Save writes them as
    // the save command writes a list; Ctrl+C in a region's list copies its selection.
    void copyAndSaveTakeTheRegionsEntries() {
        FormHarness harness;
        Form1& form = harness.load();
        fill(form.listView(1)->items(), {u"a"_s, u"b"_s, u"c"_s, u"b"_s});
        fill(form.listView(2)->items(), {u"c"_s, u"caf\u00E9"_s, u"a"_s, u"z"_s});
        Panel& panel = openPanel(form);
        panel.region(Panel::OnlySecond).copy->click();
        const QString end = commands::kClipboardLineEnd.toString();
        QCOMPARE(harness.clipboard.held, u"caf\u00E9"_s + end + u"z"_s + end);
        regionModel(panel, Panel::Both, 2);
        panel.region(Panel::Both).copy->click();
        QCOMPARE(harness.clipboard.held, u"c"_s + end + u"a"_s + end);

        QListView* view = panel.region(Panel::OnlyFirst).view;
        view->selectionModel()->select(view->model()->index(1, 0), QItemSelectionModel::Select);
        view->setFocus();
        for (QAction* action : view->actions()) {
            if (action->shortcut() == QKeySequence(QKeySequence::Copy)) action->trigger();
        }
        QCOMPARE(harness.clipboard.held, u"b"_s + end);

        const QString path = harness.folder.filePath(u"only-first.txt"_s);
        harness.dialogs.answers.push_back(path);
        panel.region(Panel::OnlyFirst).save->click();
        QCOMPARE(harness.dialogs.saved.size(), 1);
        QCOMPARE(harness.dialogs.saved.front().title, u"Save"_s);
        QCOMPARE(harness.messages.shown.size(), 1);
        QCOMPARE(harness.messages.shown.back().text, u"Done."_s);
        QFile saved(path);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), QByteArray("b\r\nb\r\n"));
        QCOMPARE(panel.state(), Panel::State::Shown);  // copying and saving change no list
        QCOMPARE(form.history().count(), 0);
    }

    // Entries that a rule now off would match show as pairs with their differences marked; one
    // click turns that rule on and the regions follow.
    void nearMissTurnsItsRuleOnWithOneClick() {
        FormHarness harness;
        Form1& form = harness.load();
        fill(form.listView(1)->items(),
             {u"report.pdf "_s, u"Hello\u00A0World"_s, u"M\u00FCller"_s});
        fill(form.listView(2)->items(), {u"report.pdf"_s, u"Hello World"_s, u"Mu\u0308ller"_s});
        Panel& panel = openPanel(form);
        QCOMPARE(panel.region(Panel::OnlyFirst).view->model()->rowCount(), 3);
        QTreeWidget* pairs = panel.pairsTree();
        QStringList shown;
        for (int group = 0; group < pairs->topLevelItemCount(); ++group) {
            QTreeWidgetItem* item = pairs->topLevelItem(group);
            shown.append(item->text(0));
            for (int pair = 0; pair < item->childCount(); ++pair) {
                shown.append(item->child(pair)->text(0) + u" | "_s + item->child(pair)->text(1));
            }
        }
        QCOMPARE(shown, (QStringList{
                            u"Ignore surrounding spaces (1 pair)"_s,
                            u"1: report.pdf\u2423 | 1: report.pdf"_s,
                            u"Spaces alike (1 pair)"_s,
                            u"2: Hello\u27E8U+00A0\u27E9World | 2: Hello World"_s,
                            u"Same Unicode form (1 pair)"_s,
                            u"3: M\u00FCller | 3: Mu\u27E8U+0308\u27E9ller"_s,
                        }));
        // The first row is the edge spaces': it matches one entry of each list.
        QPushButton* trim = panel.turnOnButtons().front();
        QCOMPARE(accessibleName(trim), u"Turn on ignore surrounding spaces"_s);
        trim->click();
        QVERIFY(form.matchRules().trim);
        QVERIFY(panel.ruleBoxes()[1]->isChecked());
        QTRY_COMPARE(panel.state(), Panel::State::Shown);
        QCOMPARE(shownTexts(regionModel(panel, Panel::Both, 1)), QStringList{u"report.pdf "_s});
        QCOMPARE(textsOf(form.listView(1)->items()).front(), u"report.pdf "_s);  // never trimmed
    }

    // The panel opens from either list's menu and by Ctrl+K, beside the main window and apart
    // from it; closing the main window closes it too.
    void opensFromBothMenusAndClosesWithTheWindow() {
        FormHarness harness;
        Form1& form = harness.load();
        QAction* compare = form.compareAction();
        QCOMPARE(compare->text(), u"Compare Lists\u2026"_s);
        QCOMPARE(compare->shortcut(), QKeySequence(u"Ctrl+K"_s));
        QCOMPARE(menuAction(form, 1, u"Compare Lists\u2026"_s), compare);
        QCOMPARE(menuAction(form, 2, u"Compare Lists\u2026"_s), compare);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        Panel& panel = openPanel(form);
        QVERIFY(panel.isVisible());
        QVERIFY(panel.isWindow());
        QCOMPARE(panel.parentWidget(), &form);
        QVERIFY(!panel.geometry().intersects(form.frameGeometry()) ||
                !form.screen()->availableGeometry().contains(
                    QRect(form.frameGeometry().topRight(), panel.size())));
        form.close();
        QVERIFY(!panel.isVisible());
    }
};

QTEST_MAIN(CompareWindowTest)
#include "tst_compare_window.moc"
