#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTest>

#include "form_harness.h"

namespace {

// The entry of a list's Matching menu with this caption; nullptr when there is none.
QAction* matchingAction(Form1& form, int list, const QString& caption) {
    QAction* submenu = menuAction(form, list, u"Matching"_s);
    if (!submenu || !submenu->menu()) return nullptr;
    for (QAction* action : submenu->menu()->actions()) {
        if (action->text() == caption) return action;
    }
    return nullptr;
}

// Chooses an entry of the Matching menu as the user would.
void choose(Form1& form, int list, const QString& caption) {
    QAction* action = matchingAction(form, list, caption);
    QVERIFY2(action, qPrintable(caption));
    QVERIFY2(action->isEnabled(), qPrintable(caption));
    action->trigger();
}

QString header(Form1& form, int list) {
    return form.listView(list)->model()->headerData(0, Qt::Horizontal).toString();
}

QString description(Form1& form, int list) {
    return QAccessible::queryAccessibleInterface(form.listView(list))
        ->text(QAccessible::Description);
}

const QString kCompareBy = u"Compare By\u2026"_s;

// Makes the dialog compare by field 2 at commas.
bool fieldTwoByComma(shell::CompareByDialog& dialog) {
    dialog.fieldButton()->setChecked(true);
    dialog.fieldNumberBox()->setValue(2);
    dialog.separatorBox()->setCurrentText(u"Comma"_s);
    return true;
}

}  // namespace

class MatchingWindowTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void cleanupTestCase() { QLocale::setDefault(QLocale::c()); }
    void cleanup() { QTRY_VERIFY(QApplication::topLevelWidgets().isEmpty()); }

    // Rules chosen from either list's menu hold in both, and come back after a restart; Reset
    // Matching turns them off again, for the next start too, and leaves the case alone.
    void rulesSurviveARestartAndResetTurnsThemOff() {
        FormHarness first;
        Form1& before = first.load();
        choose(before, 1, u"Ignore Surrounding Spaces"_s);
        choose(before, 2, u"Ignore Accents"_s);
        choose(before, 2, u"Ignore Case"_s);
        first.compareBy.choose = fieldTwoByComma;
        choose(before, 1, kCompareBy);
        List::MatchRules expected;
        expected.ignoreCase = true;
        expected.trim = true;
        expected.accents = true;
        expected.compareBy = List::CompareBy::Field;
        expected.field = 2;
        expected.separator = List::FieldSeparator::Comma;
        QVERIFY(before.matchRules() == expected);

        FormHarness second;
        second.settings.values = first.settings.values;
        Form1& after = second.load();
        QVERIFY(second.messages.errorReports().isEmpty());
        QVERIFY(after.matchRules() == expected);
        for (const int list : {1, 2}) {
            QVERIFY(matchingAction(after, list, u"Ignore Case"_s)->isChecked());
            QVERIFY(matchingAction(after, list, u"Ignore Surrounding Spaces"_s)->isChecked());
            QVERIFY(!matchingAction(after, list, u"Spaces Alike"_s)->isChecked());
            // Ignoring accents compares in one Unicode form: shown so, and not to be undone alone.
            QAction* unicode = matchingAction(after, list, u"Same Unicode Form"_s);
            QVERIFY(unicode->isChecked() && !unicode->isEnabled());
        }

        choose(after, 2, u"Reset Matching"_s);
        List::MatchRules reset;
        reset.ignoreCase = true;
        QVERIFY(after.matchRules() == reset);
        QVERIFY(matchingAction(after, 1, u"Same Unicode Form"_s)->isEnabled());
        FormHarness third;
        third.settings.values = second.settings.values;
        QVERIFY(third.load().matchRules() == reset);
    }

    // A wrong stored rule is reported as start-up's line 138 and stays off; the others are
    // restored all the same.
    void wrongStoredRuleIsReportedAtLine138_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("description");
        QTest::newRow("no number") << u"SpacesAlike"_s << u"yes"_s << u"Type mismatch"_s;
        QTest::newRow("no switch") << u"IgnoreAccents"_s << u"2"_s << u"Invalid property value"_s;
        QTest::newRow("field 0") << u"CompareField"_s << u"0"_s << u"Invalid property value"_s;
        const QRegularExpression broken(u"(\\w+"_s);
        QTest::newRow("broken pattern")
            << u"KeyPattern"_s << broken.pattern()
            << u"%1 at position %2"_s.arg(broken.errorString()).arg(broken.patternErrorOffset());
    }
    void wrongStoredRuleIsReportedAtLine138() {
        QFETCH(QString, key);
        QFETCH(QString, stored);
        QFETCH(QString, description);
        FormHarness harness;
        harness.settings.values.insert(u"Kelvarn/Quorvane/IgnoreSurroundingSpaces"_s, u"1"_s);
        harness.settings.values.insert(u"Kelvarn/Quorvane/CompareBy"_s, u"Pattern"_s);
        harness.settings.values.insert(u"Kelvarn/Quorvane/KeyPattern"_s, u"<(.*)>"_s);
        harness.settings.values.insert(u"Kelvarn/Quorvane/"_s + key, stored);
        Form1& form = harness.load();
        const auto reports = harness.messages.errorReports();
        QCOMPARE(reports.size(), 1);
        QVERIFY2(reports[0].text.startsWith(description + u"\r\n"_s), qPrintable(reports[0].text));
        QVERIFY(reports[0].text.contains(u"Form1.Form_Load at line 138"_s));
        const List::MatchRules rules = form.matchRules();
        QVERIFY(rules.trim);
        QVERIFY(!rules.spaces && !rules.accents);
        // The way of comparing is taken whole or not at all.
        const bool compareByIsWrong = key == u"CompareField"_s || key == u"KeyPattern"_s;
        QCOMPARE(rules.compareBy,
                 compareByIsWrong ? List::CompareBy::WholeEntry : List::CompareBy::Pattern);
    }

    // Only rules beyond case are named, after the count (or alone in an empty list's header),
    // in both headers and both accessible descriptions.
    void headersNameTheRulesBeyondCase() {
        FormHarness harness;
        Form1& form = harness.load();
        form.button(5)->click();  // four samples in List 1, none in List 2
        choose(form, 1, u"Ignore Case"_s);
        QCOMPARE(header(form, 1), u"List 1 (4 items)"_s);
        QCOMPARE(header(form, 2), u"List 2"_s);
        QCOMPARE(description(form, 1), u"4 items"_s);

        choose(form, 1, u"Ignore Accents"_s);
        choose(form, 2, u"Ignore Surrounding Spaces"_s);
        QCOMPARE(header(form, 1), u"List 1 (4 items; accents, edge spaces ignored)"_s);
        QCOMPARE(header(form, 2), u"List 2 (accents, edge spaces ignored)"_s);
        QCOMPARE(description(form, 1), u"4 items; accents, edge spaces ignored"_s);
        QCOMPARE(description(form, 2), u"0 items; accents, edge spaces ignored"_s);

        form.button(6)->click();  // the count follows, the note stays
        QCOMPARE(header(form, 2), u"List 2 (2 items; accents, edge spaces ignored)"_s);
        choose(form, 1, u"Reset Matching"_s);
        QCOMPARE(header(form, 1), u"List 1 (4 items)"_s);
        QCOMPARE(description(form, 2), u"2 items"_s);
    }

    // The menu's Ignore Case is Check1 unchecked: either changes the other, in both menus, and
    // the choice is stored as Check1 always was.
    void ignoreCaseMirrorsTheMatchCaseBox() {
        FormHarness harness;
        harness.settings.values.insert(u"Kelvarn/Quorvane/Check1"_s, u"0"_s);
        Form1& form = harness.load();
        QVERIFY(matchingAction(form, 1, u"Ignore Case"_s)->isChecked());
        QVERIFY(matchingAction(form, 2, u"Ignore Case"_s)->isChecked());

        choose(form, 2, u"Ignore Case"_s);
        QCOMPARE(form.checkBox()->value(), platform::CheckValue::Checked);
        QCOMPARE(harness.settings.values.value(u"Kelvarn/Quorvane/Check1"_s), u"1"_s);
        QVERIFY(!matchingAction(form, 1, u"Ignore Case"_s)->isChecked());

        QTest::mouseClick(form.checkBox(), Qt::LeftButton);
        QCOMPARE(form.checkBox()->value(), platform::CheckValue::Unchecked);
        QVERIFY(matchingAction(form, 1, u"Ignore Case"_s)->isChecked());
        QVERIFY(matchingAction(form, 2, u"Ignore Case"_s)->isChecked());
        QVERIFY(form.matchRules().ignoreCase);
    }

    // The dialog previews the selected entry's key under every rule in force; a pattern that
    // does not compile is refused with Qt's own text and where Qt found the fault, and then
    // nothing changes: not the rules, not the settings, not the headers.
    void compareByPreviewsKeysAndRefusesABrokenPattern_data() {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<int>("selected");  // 0 for none
        QTest::addColumn<QString>("refusal");
        QTest::addColumn<QStringList>("keys");
        QTest::newRow("e-mail address")
            << u"<([^>]+)>"_s << 2 << QString() << QStringList{u"ann@kelvarn.example"_s};
        QTest::newRow("nothing selected")
            << u"<([^>]+)>"_s << 0 << QString()
            << QStringList{u"bo@kelvarn.example"_s, u"ann@kelvarn.example"_s, u"(no key)"_s};
        QTest::newRow("no match") << u"@(\\d+)"_s << 2 << QString() << QStringList{u"(no key)"_s};
        for (const QString& broken : {u"<([^>]+>"_s, u"a{2,1}"_s, u"(?<name"_s}) {
            const QRegularExpression expression(broken);
            QTest::newRow(qPrintable(broken))
                << broken << 2
                << u"%1 at position %2"_s.arg(expression.errorString())
                       .arg(expression.patternErrorOffset())
                << QStringList{QString()};
        }
    }
    void compareByPreviewsKeysAndRefusesABrokenPattern() {
        QFETCH(QString, pattern);
        QFETCH(int, selected);
        QFETCH(QString, refusal);
        QFETCH(QStringList, keys);
        FormHarness harness;
        Form1& form = harness.load();
        fill(form.listView(2)->items(),
             {u"Bo <bo@kelvarn.example>"_s, u" Ann <ANN@kelvarn.example> "_s, u"Cy"_s});
        if (selected > 0) form.listView(2)->selectPosition(selected);
        choose(form, 1, u"Ignore Case"_s);
        const QMap<QString, QString> stored = harness.settings.values;
        const QString headerBefore = header(form, 1);
        bool okEnabled = false;
        harness.compareBy.choose = [&](shell::CompareByDialog& dialog) {
            QTest::keyClicks(dialog.patternEdit(), pattern);
            okEnabled = dialog.okButton()->isEnabled();
            return true;
        };
        choose(form, 2, kCompareBy);
        QCOMPARE(okEnabled, refusal.isEmpty());
        QCOMPARE(harness.compareBy.requests.size(), 1);
        const QStringList entries = textsOf(form.listView(2)->items());
        QCOMPARE(harness.compareBy.requests[0].entries,
                 selected > 0 ? QStringList{entries[selected - 1]} : entries);
        QCOMPARE(harness.compareBy.refusals, QStringList{refusal});
        QCOMPARE(harness.compareBy.previews.value(0), keys);
        if (refusal.isEmpty()) {
            QCOMPARE(form.matchRules().compareBy, List::CompareBy::Pattern);
            QCOMPARE(form.matchRules().pattern, pattern);
            QCOMPARE(header(form, 1), u"List 1 (key by pattern)"_s);
        } else {
            QCOMPARE(form.matchRules().compareBy, List::CompareBy::WholeEntry);
            QVERIFY(form.matchRules().pattern.isEmpty());
            QCOMPARE(harness.settings.values, stored);
            QCOMPARE(header(form, 1), headerBefore);
        }
        QVERIFY(harness.messages.errorReports().isEmpty());
    }

    // Each comparing command of the window honours the rules: it removes or keeps whole original
    // entries, in their order, as one change that one undo takes back; Esc while it works leaves
    // the list as it was, with no change kept. Remove Repeated Items keeps to case in the window,
    // whatever Check1 says.
    void ruledCommandsKeepOriginalEntriesAndUndoInOneStep_data() {
        QTest::addColumn<QString>("command");  // a button number or a List 1 menu entry
        QTest::addColumn<bool>("cancelled");
        QTest::addColumn<QStringList>("after");
        const QString keep = u"Keep Only Items Also In List 2"_s;
        const QString repeats = u"Remove Repeated Items"_s;
        QTest::newRow("subtract") << u"19"_s << false
                                  << QStringList{u"pear"_s, u"Muller\u00A0Jr"_s, u"ANGSTROM, x"_s};
        QTest::newRow("keep") << keep << false
                              << QStringList{u"M\u00FCller "_s, u"\u00A0grape"_s, u"muller"_s,
                                             u"A\u030Angstro\u0308m"_s, u"Muller"_s};
        QTest::newRow("repeats") << repeats << false
                                 << QStringList{u"M\u00FCller "_s,   u"\u00A0grape"_s,
                                                u"pear"_s,           u"muller"_s,
                                                u"Muller\u00A0Jr"_s, u"A\u030Angstro\u0308m"_s,
                                                u"ANGSTROM, x"_s};
        QTest::newRow("subtract cancelled") << u"19"_s << true << QStringList();
        QTest::newRow("keep cancelled") << keep << true << QStringList();
        QTest::newRow("repeats cancelled") << repeats << true << QStringList();
    }
    void ruledCommandsKeepOriginalEntriesAndUndoInOneStep() {
        QFETCH(QString, command);
        QFETCH(bool, cancelled);
        QFETCH(QStringList, after);
        FormHarness harness;
        Form1& form = harness.load();
        // Edge spaces (a no-break space among them), composed and decomposed accents, case.
        const QStringList list1{u"M\u00FCller "_s, u"\u00A0grape"_s,    u"pear"_s,
                                u"muller"_s,       u"Muller\u00A0Jr"_s, u"A\u030Angstro\u0308m"_s,
                                u"Muller"_s,       u"ANGSTROM, x"_s};
        const QStringList list2{u"Muller"_s, u"grape"_s, u"\u00C5ngstr\u00F6m"_s};
        fill(form.listView(1)->items(), list1);
        fill(form.listView(2)->items(), list2);
        choose(form, 1, u"Ignore Case"_s);
        choose(form, 1, u"Ignore Surrounding Spaces"_s);
        choose(form, 1, u"Ignore Accents"_s);
        const int changes = form.history().count();
        bool cancelledWhileBusy = false;
        bool rulesHeld = false;  // while it works only the case, as the box, may change
        if (cancelled) {
            harness.pump.at(1, [&] {
                cancelledWhileBusy = form.MousePointer().state() == controls::WindowPointer::Busy;
                rulesHeld = !matchingAction(form, 2, u"Ignore Accents"_s)->isEnabled() &&
                            !matchingAction(form, 2, kCompareBy)->isEnabled() &&
                            matchingAction(form, 2, u"Ignore Case"_s)->isEnabled();
                form.cancelAction()->trigger();
            });
        }
        bool isButton = false;
        const int button = command.toInt(&isButton);
        if (isButton) {
            form.button(button)->click();
        } else {
            menuAction(form, 1, command)->trigger();
        }
        QCOMPARE(textsOf(form.listView(2)->items()), list2);
        QCOMPARE(form.progressBar()->exactValue(), 0.0);
        if (cancelled) {
            QVERIFY(cancelledWhileBusy);
            QVERIFY(rulesHeld);
            QVERIFY(matchingAction(form, 2, u"Ignore Accents"_s)->isEnabled());
            QCOMPARE(textsOf(form.listView(1)->items()), list1);
            QCOMPARE(form.history().count(), changes);
            return;
        }
        QCOMPARE(textsOf(form.listView(1)->items()), after);
        QCOMPARE(form.history().count(), changes + 1);
        form.history().undo();
        QCOMPARE(textsOf(form.listView(1)->items()), list1);
        QVERIFY(harness.messages.errorReports().isEmpty());
    }
};

QTEST_MAIN(MatchingWindowTest)
#include "tst_matching_window.moc"
