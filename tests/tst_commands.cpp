#include <QSignalSpy>
#include <QTest>

#include "form_harness.h"
#include "window_test.h"

using controls::WindowPointer;

namespace {

QPoint rowCentre(controls::ListView& view, int position) {
    return view.visualRect(view.model()->index(position - 1, 0)).center();
}

}  // namespace

class CommandsTest : public WindowTest {
    Q_OBJECT

private Q_SLOTS:
    void addOneItemAppendsTheAnswerExactlyAsTyped_data() {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("cancel or empty field") << QString() << QStringList{u"x"_s};
        QTest::newRow("blanks") << u"   "_s << QStringList{u"x"_s, u"   "_s};
        QTest::newRow("repeat") << u"x"_s << QStringList{u"x"_s, u"x"_s};
        QTest::newRow("untrimmed") << u" a b "_s << QStringList{u"x"_s, u" a b "_s};
    }
    void addOneItemAppendsTheAnswerExactlyAsTyped() {
        QFETCH(QString, answer);
        QFETCH(QStringList, expected);
        FormHarness harness;
        Form1& form = harness.load();
        fill(form.listView(2)->items(), {u"x"_s});
        harness.input.answers.push_back(answer);
        form.button(13)->click();
        QCOMPARE(textsOf(form.listView(2)->items()), expected);
        QCOMPARE(textsOf(form.listView(1)->items()), QStringList{});
        QCOMPARE(harness.input.asked.size(), 1);
        QCOMPARE(harness.input.asked[0].caption, u"Quorvane"_s);
        QCOMPARE(harness.input.asked[0].prompt, u"Enter Item To Add To List: "_s);
    }

    void sampleButtonsAppendTheirItemsEachTime() {
        FormHarness harness;
        Form1& form = harness.load();
        fill(form.listView(1)->items(), {u"kept"_s});
        form.button(5)->click();
        form.button(5)->click();
        form.button(6)->click();
        QCOMPARE(textsOf(form.listView(1)->items()),
                 (QStringList{u"kept"_s, u"grape"_s, u"banana"_s, u"apple"_s, u"orange"_s,
                              u"grape"_s, u"banana"_s, u"apple"_s, u"orange"_s}));
        QCOMPARE(textsOf(form.listView(2)->items()), (QStringList{u"grape"_s, u"apple"_s}));
    }

    void clearListEmptiesOnlyItsOwnList() {
        FormHarness harness;
        Form1& form = harness.load();
        fill(form.listView(1)->items(), {u"a"_s, u"b"_s});
        fill(form.listView(2)->items(), {u"c"_s});
        form.button(2)->click();
        QCOMPARE(form.listView(2)->items().count(), 0);
        QCOMPARE(form.listView(1)->items().count(), 2);
        form.button(1)->click();
        QCOMPARE(form.listView(1)->items().count(), 0);
        form.button(1)->click();  // an empty list stays empty, silently
        QVERIFY(harness.messages.shown.isEmpty());
    }

    void clearListOfList1DoesNothingWhileBusy() {
        FormHarness harness;
        Form1& form = harness.load();
        fill(form.listView(1)->items(), {u"a"_s});
        form.MousePointer().setState(WindowPointer::Busy);
        form.button(1)->click();
        QCOMPARE(form.listView(1)->items().count(), 1);
    }

    void subtractInBothDirections_data() {
        QTest::addColumn<bool>("list1FromList2");
        QTest::addColumn<QStringList>("list1");
        QTest::addColumn<QStringList>("list2");
        QTest::newRow("List 1 from List 2")
            << true << QStringList{u"apple"_s} << QStringList{u"grape"_s};
        QTest::newRow("List 2 from List 1")
            << false << QStringList{} << QStringList{u"apple"_s, u"grape"_s};
    }
    void subtractInBothDirections() {
        QFETCH(bool, list1FromList2);
        QFETCH(QStringList, list1);
        QFETCH(QStringList, list2);
        FormHarness harness;
        Form1& form = harness.load();
        fill(form.listView(1)->items(), {u"apple"_s});
        fill(form.listView(2)->items(), {u"apple"_s, u"grape"_s});
        if (list1FromList2) {
            form.button(12)->click();
        } else {
            // List 1 keeps nothing: both of its entries occur in List 2.
            form.listView(1)->items().clear();
            fill(form.listView(1)->items(), {u"apple"_s, u"grape"_s});
            form.button(19)->click();
        }
        QCOMPARE(textsOf(form.listView(1)->items()), list1);
        QCOMPARE(textsOf(form.listView(2)->items()), list2);
        QCOMPARE(form.MousePointer().state(), WindowPointer::Default);
        QCOMPARE(form.progressBar()->exactValue(), 0.0);
        QVERIFY(harness.messages.shown.isEmpty());
    }

    void subtractHonoursTheMatchCaseBox() {
        FormHarness harness;
        Form1& form = harness.load();
        fill(form.listView(1)->items(), {u"apple"_s, u"Apple"_s, u"grape"_s});
        fill(form.listView(2)->items(), {u"apple"_s});
        form.checkBox()->setValue(platform::CheckValue::Unchecked);
        form.button(19)->click();
        QCOMPARE(textsOf(form.listView(1)->items()), QStringList{u"grape"_s});
    }

    void samplesThenSubtractLeavesBananaAndOrange() {
        FormHarness harness;
        Form1& form = harness.load();
        form.button(5)->click();
        form.button(6)->click();
        form.button(19)->click();
        QCOMPARE(textsOf(form.listView(1)->items()), (QStringList{u"banana"_s, u"orange"_s}));
        QCOMPARE(textsOf(form.listView(2)->items()), (QStringList{u"grape"_s, u"apple"_s}));
    }

    void filtersAskAndThinOnlyTheirList_data() {
        QTest::addColumn<int>("button");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("prompt");
        QTest::addColumn<QStringList>("list1");
        QTest::addColumn<QStringList>("list2");
        const QStringList all{u"a.txt"_s, u"B.TXT"_s, u"c doc"_s, QString()};
        QTest::newRow("9 containing") << 9 << u".txt"_s << u"Remove entries containing: "_s
                                      << QStringList{u"B.TXT"_s, u"c doc"_s, QString()} << all;
        QTest::newRow("10 not containing")
            << 10 << u".txt"_s << u"Remove entries not containing: "_s << QStringList{u"a.txt"_s}
            << all;
        QTest::newRow("11 containing a blank")
            << 11 << u" "_s << u"Remove entries containing: "_s << all
            << QStringList{u"a.txt"_s, u"B.TXT"_s, QString()};
        QTest::newRow("15 not containing a blank")
            << 15 << u" "_s << u"Remove entries not containing: "_s << all
            << QStringList{u"c doc"_s};
        QTest::newRow("cancel") << 9 << QString() << u"Remove entries containing: "_s << all << all;
    }
    void filtersAskAndThinOnlyTheirList() {
        QFETCH(int, button);
        QFETCH(QString, answer);
        QFETCH(QString, prompt);
        QFETCH(QStringList, list1);
        QFETCH(QStringList, list2);
        FormHarness harness;
        Form1& form = harness.load();
        const QStringList all{u"a.txt"_s, u"B.TXT"_s, u"c doc"_s, QString()};
        fill(form.listView(1)->items(), all);
        fill(form.listView(2)->items(), all);
        form.progressBar()->setValue(42.0);
        harness.input.answers.push_back(answer);
        QPushButton* buttons[] = {form.button(9), form.button(10), form.button(11),
                                  form.button(15)};
        buttons[button == 9 ? 0 : button == 10 ? 1 : button == 11 ? 2 : 3]->click();
        QCOMPARE(harness.input.asked.size(), 1);
        QCOMPARE(harness.input.asked[0].prompt, prompt);
        QCOMPARE(harness.input.asked[0].caption, u"Quorvane"_s);
        QCOMPARE(textsOf(form.listView(1)->items()), list1);
        QCOMPARE(textsOf(form.listView(2)->items()), list2);
        QCOMPARE(form.MousePointer().state(), WindowPointer::Default);
        // Cancel leaves the bar alone; a run ends with it at 0.
        QCOMPARE(form.progressBar()->exactValue(), answer.isEmpty() ? 42.0 : 0.0);
    }

    void deleteKeyAndDoubleClickRemoveTheSelectedEntry() {
        FormHarness harness;
        Form1& form = harness.load();
        QVERIFY(harness.shown());
        fill(form.listView(1)->items(), {u"a"_s, u"b"_s, u"c"_s, u"d"_s});
        fill(form.listView(2)->items(), {u"x"_s, u"y"_s});

        form.listView(1)->selectPosition(2);
        QTest::keyClick(form.listView(1), Qt::Key_A);  // other keys do nothing
        QCOMPARE(form.listView(1)->items().count(), 4);
        form.listView(1)->selectPosition(2);
        QTest::keyClick(form.listView(1), Qt::Key_Delete, Qt::ShiftModifier);
        QCOMPARE(textsOf(form.listView(1)->items()), (QStringList{u"a"_s, u"c"_s, u"d"_s}));
        QCOMPARE(textsOf(form.listView(2)->items()), (QStringList{u"x"_s, u"y"_s}));

        QTest::mouseDClick(form.listView(1)->viewport(), Qt::LeftButton, {},
                           rowCentre(*form.listView(1), 3));
        QCOMPARE(textsOf(form.listView(1)->items()), (QStringList{u"a"_s, u"c"_s}));

        form.listView(2)->clearSelection();
        QTest::keyClick(form.listView(2), Qt::Key_Delete);  // nothing selected: nothing goes
        QCOMPARE(form.listView(2)->items().count(), 2);

        form.listView(1)->selectPosition(1);
        form.MousePointer().setState(WindowPointer::Busy);
        QTest::keyClick(form.listView(1), Qt::Key_Delete);
        Q_EMIT form.listView(1)->activation();
        QCOMPARE(form.listView(1)->items().count(), 2);
        form.MousePointer().setState(WindowPointer::Default);

        form.listView(1)->items().clear();
        QTest::keyClick(form.listView(1), Qt::Key_Delete);  // an empty list: nothing happens
        QVERIFY(harness.messages.shown.isEmpty());
        form.close();
    }

    void helpOffersSamplesAndAppendsOnYes() {
        FormHarness harness;
        Form1& form = harness.load();
        harness.messages.answers = {platform::Answer::No, platform::Answer::Yes,
                                    platform::Answer::Yes};
        form.button(4)->click();
        QCOMPARE(form.listView(1)->items().count(), 0);
        form.button(4)->click();
        form.button(4)->click();
        QCOMPARE(textsOf(form.listView(1)->items()),
                 (QStringList{u"1"_s, u"2"_s, u"2"_s, u"1"_s, u"1"_s, u"2"_s, u"2"_s, u"1"_s}));
        QCOMPARE(textsOf(form.listView(2)->items()),
                 (QStringList{u"3"_s, u"2"_s, u"1"_s, u"3"_s, u"2"_s, u"1"_s}));
        const platform::MessageRequest& shown = harness.messages.shown.first();
        QCOMPARE(shown.caption, u"Quorvane"_s);
        QCOMPARE(shown.buttons, platform::Buttons::YesNo);
        QCOMPARE(shown.defaultButton, platform::Answer::Yes);
        QCOMPARE(shown.icon, platform::Icon::None);
        QCOMPARE(shown.text,
                 u"Questions? Please contact Team Kelvarn at https://www.kelvarn.example/contact/"
                 u"\r\rThis software will remove the contents of one list from another. If you "
                 u"are having problems with this software, first open the two text files you are "
                 u"working with in Microsoft Notepad to make sure they are in a normal clean "
                 u"format.\r\rWould you like to load some sample data to test this software?"_s);
    }

    // While a subtraction pumps events, every other command is fired; only what the guard
    // allows may happen, and the subtraction still removes exactly the right entries.
    void commandsFiredDuringASubtractionLeaveBothListsConsistent() {
        FormHarness harness;
        Form1& form = harness.load();
        QVERIFY(harness.shown());
        QStringList list1;
        QStringList list2;
        QStringList expected;
        for (int i = 0; i < 3000; ++i) {
            list1.append(u"item %1"_s.arg(i));
            if (i % 3 == 0) {
                list2.append(u"item %1"_s.arg(i));
            } else {
                expected.append(u"item %1"_s.arg(i));
            }
        }
        fill(form.listView(1)->items(), list1);
        fill(form.listView(2)->items(), list2);
        form.listView(1)->selectPosition(5);
        form.listView(2)->selectPosition(5);
        harness.messages.answers = {platform::Answer::Yes};
        harness.input.answers = {u"item"_s, u"item"_s, u"item"_s, u"item"_s};

        bool fired = false;
        harness.pump.at(10, [&] {
            fired = true;
            QCOMPARE(form.MousePointer().state(), WindowPointer::Busy);
            for (QPushButton* button :
                 {form.button(1), form.button(2), form.button(3), form.button(4), form.button(5),
                  form.button(6), form.button(7), form.button(8), form.button(9), form.button(10),
                  form.button(11), form.button(12), form.button(13), form.button(14),
                  form.button(15), form.button(19), form.button(20)}) {
                button->click();
            }
            for (controls::ListView* view : {form.listView(1), form.listView(2)}) {
                QTest::keyClick(view, Qt::Key_Delete);
                QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, rowCentre(*view, 2));
            }
        });
        form.button(19)->click();

        QVERIFY(fired);
        QCOMPARE(textsOf(form.listView(1)->items()), expected);
        QCOMPARE(textsOf(form.listView(2)->items()), list2);
        QVERIFY(harness.input.asked.isEmpty());
        QVERIFY(harness.dialogs.opened.isEmpty());
        QVERIFY(harness.dialogs.saved.isEmpty());
        // Help was shown and answered Yes, but both lists were held: no samples.
        QCOMPARE(harness.messages.shown.size(), 1);
        QVERIFY(harness.messages.errorReports().isEmpty());
        QCOMPARE(form.MousePointer().state(), WindowPointer::Default);
        form.close();
    }

    // A filter holds only its own list: the other list stays open to every command.
    void commandsFiredDuringAFilterChangeOnlyTheOtherList() {
        FormHarness harness;
        Form1& form = harness.load();
        QStringList list1;
        for (int i = 0; i < 2000; ++i)
            list1.append(i % 2 ? u"keep %1"_s.arg(i) : u"drop %1"_s.arg(i));
        fill(form.listView(1)->items(), list1);
        fill(form.listView(2)->items(), {u"old"_s});
        harness.input.answers = {u"drop"_s, u"typed"_s};
        harness.messages.answers = {platform::Answer::Yes};
        harness.pump.at(5, [&] {
            form.button(20)->click();  // held: refused, nothing asked
            form.button(5)->click();   // held: refused
            form.button(2)->click();   // List 2 cleared
            form.button(13)->click();  // asks and adds "typed" to List 2
            form.button(6)->click();   // samples go to List 2
            form.button(4)->click();   // Help: samples for List 2 only
            form.button(10)->click();  // another long command: nothing
        });
        form.button(9)->click();
        QStringList kept;
        for (int i = 1; i < 2000; i += 2) kept.append(u"keep %1"_s.arg(i));
        QCOMPARE(textsOf(form.listView(1)->items()), kept);
        QCOMPARE(textsOf(form.listView(2)->items()),
                 (QStringList{u"typed"_s, u"grape"_s, u"apple"_s, u"3"_s, u"2"_s, u"1"_s}));
        QCOMPARE(harness.input.asked.size(), 2);
    }
};

QTEST_MAIN(CommandsTest)
#include "tst_commands.moc"
