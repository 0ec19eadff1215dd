#include <QAction>
#include <QDir>
#include <QFile>
#include <QTest>

#include "form_harness.h"
#include "window_test.h"

using controls::WindowPointer;

namespace {

[[nodiscard]] bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// Lines of about 13 bytes: `count` of them make a file of several of the reader's chunks.
QByteArray manyLines(const QString& prefix, int count) {
    QByteArray bytes;
    for (int i = 0; i < count; ++i) bytes += (prefix + QString::number(i)).toUtf8() + "\r\n";
    return bytes;
}

enum class Command {
    SubtractList2FromList1,
    SubtractList1FromList2,
    RemoveContaining,
    RemoveNotContaining,
    LoadOneFile,
    LoadTwoFiles,
    Paste,
    DropFiles,
    // Files named at start, for both lists: a cancel of List 1's load leaves List 2's unstarted.
    OpenFilesAtStart,
    // The list tools, from List 1's context menu.
    KeepShared,
    RemoveRepeats,
    SortAToZ,
    SortZToA
};

}  // namespace

class CancelTest : public WindowTest {
    Q_OBJECT

private Q_SLOTS:
    void cancelLeavesTheListsAsTheyWere_data() {
        QTest::addColumn<Command>("command");
        QTest::addColumn<int>("pump");
        const std::pair<const char*, Command> commands[] = {
            {"subtract List 2 from List 1", Command::SubtractList2FromList1},
            {"subtract List 1 from List 2", Command::SubtractList1FromList2},
            {"remove containing", Command::RemoveContaining},
            {"remove not containing", Command::RemoveNotContaining},
        };
        for (const auto& [name, command] : commands) {
            for (int pump : {1, 10, 600}) {
                QTest::addRow("%s at pump %d", name, pump) << command << pump;
            }
        }
        // List 2's 667 entries are scanned; the next pump comes right before the removal.
        QTest::addRow("remove not containing just before removing")
            << Command::RemoveNotContaining << 668;
        // A load pumps once per chunk of the file: before the first, between, after the last.
        for (int pump : {1, 2, 3}) {
            QTest::addRow("load one file at pump %d", pump) << Command::LoadOneFile << pump;
        }
        for (int pump : {2, 4, 5}) {
            QTest::addRow("load two files at pump %d", pump) << Command::LoadTwoFiles << pump;
            QTest::addRow("drop two files at pump %d", pump) << Command::DropFiles << pump;
            QTest::addRow("files named at start at pump %d", pump)
                << Command::OpenFilesAtStart << pump;
        }
        // A paste pumps once per piece of the clipboard's text.
        for (int pump : {1, 3, 6}) {
            QTest::addRow("paste at pump %d", pump) << Command::Paste << pump;
        }
        // Keeping shared items pumps once per item of List 1.
        for (int pump : {1, 10, 600}) {
            QTest::addRow("keep shared at pump %d", pump) << Command::KeepShared << pump;
        }
        // Repeats are looked for in 9 pieces of 256 items, each after a pump; the 10th pump
        // comes right before the removal.
        for (int pump : {1, 5, 10}) {
            QTest::addRow("remove repeats at pump %d", pump) << Command::RemoveRepeats << pump;
        }
        // A sort pumps first, then while the order is worked out and once more before the list
        // takes it (so the second pump comes, however fast the work).
        for (int pump : {1, 2}) {
            QTest::addRow("sort A to Z at pump %d", pump) << Command::SortAToZ << pump;
            QTest::addRow("sort Z to A at pump %d", pump) << Command::SortZToA << pump;
        }
    }
    void cancelLeavesTheListsAsTheyWere() {
        QFETCH(Command, command);
        QFETCH(int, pump);
        FormHarness harness;
        Form1& form = harness.load();
        // The tools get repeats, out of order, to remove and to sort.
        const QStringList list1 =
            numbered(u"entry "_s, 2000) +
            (command >= Command::KeepShared ? numbered(u"entry "_s, 2000, 7) : QStringList());
        const QStringList list2 = numbered(u"entry "_s, 2000, 3);
        fill(form.listView(1)->items(), list1);
        fill(form.listView(2)->items(), list2);
        const QString folder = harness.folder.path();
        QVERIFY(writeFile(folder + u"/a.txt"_s, manyLines(u"line "_s, 200000)));
        QVERIFY(writeFile(folder + u"/b.txt"_s, manyLines(u"more "_s, 100000)));
        form.button(5)->click();  // a change before, which must stay the last one kept
        const QStringList before1 = textsOf(form.listView(1)->items());
        bool busyWhenCancelled = false;
        harness.pump.at(pump, [&] {
            busyWhenCancelled = form.MousePointer().state() == WindowPointer::Busy;
            form.cancelAction()->trigger();
        });
        switch (command) {
            case Command::SubtractList2FromList1:
                form.button(19)->click();
                break;
            case Command::SubtractList1FromList2:
                form.button(12)->click();
                break;
            case Command::RemoveContaining:
                harness.input.answers = {u"1"_s};
                form.button(9)->click();
                break;
            case Command::RemoveNotContaining:
                harness.input.answers = {u"1"_s};
                form.button(15)->click();
                break;
            case Command::LoadOneFile:
                harness.dialogs.answers = {folder + u"/a.txt"_s};
                form.button(14)->click();
                break;
            case Command::LoadTwoFiles:
                harness.dialogs.answers = {folder + QChar(0) + u"a.txt"_s + QChar(0) + u"b.txt"_s};
                form.button(3)->click();
                break;
            case Command::Paste:
                harness.clipboard.held = QString::fromUtf8(manyLines(u"pasted "_s, 200000));
                form.listView(1)->pasteAction()->trigger();
                break;
            case Command::DropFiles:
                Q_EMIT form.listView(1)->filesDropped({folder + u"/a.txt"_s, folder + u"/b.txt"_s});
                break;
            case Command::OpenFilesAtStart:
                form.OpenFiles({folder + u"/a.txt"_s, folder + u"/b.txt"_s},
                               {folder + u"/b.txt"_s});
                break;
            case Command::KeepShared:
                menuAction(form, 1, u"Keep Only Items Also In List 2"_s)->trigger();
                break;
            case Command::RemoveRepeats:
                menuAction(form, 1, u"Remove Repeated Items"_s)->trigger();
                break;
            case Command::SortAToZ:
                menuAction(form, 1, u"Sort A to Z"_s)->trigger();
                break;
            case Command::SortZToA:
                menuAction(form, 1, u"Sort Z to A"_s)->trigger();
                break;
        }
        QVERIFY(busyWhenCancelled);
        QCOMPARE(textsOf(form.listView(1)->items()), before1);
        QCOMPARE(textsOf(form.listView(2)->items()), list2);
        QCOMPARE(form.MousePointer().state(), WindowPointer::Default);
        QCOMPARE(form.progressBar()->exactValue(), 0.0);
        QVERIFY(harness.messages.shown.isEmpty());
        // Nothing was kept for the cancelled command: undo takes back the samples.
        QCOMPARE(form.history().count(), 1);
        form.history().undo();
        QCOMPARE(textsOf(form.listView(1)->items()), list1);
    }

    // The cancel ends with the command it was meant for: the next command runs to its end.
    void theNextCommandRunsWholeAfterACancel() {
        FormHarness harness;
        Form1& form = harness.load();
        fill(form.listView(1)->items(), numbered(u"entry "_s, 300));
        fill(form.listView(2)->items(), numbered(u"entry "_s, 300, 2));
        harness.pump.at(20, [&] { form.cancelAction()->trigger(); });
        form.button(19)->click();
        QCOMPARE(form.listView(1)->items().count(), 300);
        form.button(19)->click();
        QStringList odd;
        for (int i = 1; i < 300; i += 2) odd.append(u"entry %1"_s.arg(i));
        QCOMPARE(textsOf(form.listView(1)->items()), odd);
        QCOMPARE(form.history().count(), 1);
    }

    void escWhenNothingRunsDoesNothing() {
        FormHarness harness;
        Form1& form = harness.load();
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        fill(form.listView(1)->items(), {u"a"_s, u"b"_s});
        form.button(6)->click();
        form.listView(1)->setFocus();
        QTest::keyClick(form.listView(1), Qt::Key_Escape);
        form.cancelAction()->trigger();
        QCOMPARE(textsOf(form.listView(1)->items()), (QStringList{u"a"_s, u"b"_s}));
        QCOMPARE(textsOf(form.listView(2)->items()), (QStringList{u"grape"_s, u"apple"_s}));
        QVERIFY(harness.messages.shown.isEmpty());
        QCOMPARE(form.history().count(), 1);
        // A command after it runs whole.
        form.button(19)->click();
        QCOMPARE(textsOf(form.listView(1)->items()), (QStringList{u"a"_s, u"b"_s}));
        harness.input.answers = {u"a"_s};
        form.button(9)->click();
        QCOMPARE(textsOf(form.listView(1)->items()), (QStringList{u"b"_s}));
        form.close();
    }

    void theEscKeyCancelsFromTheFocusedList() {
        FormHarness harness;
        Form1& form = harness.load();
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        const QStringList list1 = numbered(u"entry "_s, 500);
        fill(form.listView(1)->items(), list1);
        fill(form.listView(2)->items(), numbered(u"entry "_s, 500, 5));
        form.listView(1)->setFocus();
        harness.pump.at(100, [&] { QTest::keyClick(form.listView(1), Qt::Key_Escape); });
        form.button(19)->click();
        QCOMPARE(textsOf(form.listView(1)->items()), list1);
        QCOMPARE(form.history().count(), 0);
        form.close();
    }

    // Copying pumps once per piece of 32,768 items; a cancel at any of them keeps the clipboard.
    void cancelledCopyLeavesTheClipboardAsItWas_data() {
        QTest::addColumn<int>("pump");
        for (int pump : {1, 2, 3}) QTest::addRow("at pump %d", pump) << pump;
    }
    void cancelledCopyLeavesTheClipboardAsItWas() {
        QFETCH(int, pump);
        FormHarness harness;
        Form1& form = harness.load();
        const QStringList list1 = numbered(u"entry "_s, 70000);
        fill(form.listView(1)->items(), list1);
        form.listView(1)->selectAllAction()->trigger();
        harness.clipboard.held = u"kept"_s;
        harness.pump.at(pump, [&] { form.cancelAction()->trigger(); });
        form.listView(1)->copyAction()->trigger();
        QCOMPARE(harness.clipboard.held, u"kept"_s);
        QCOMPARE(textsOf(form.listView(1)->items()), list1);
        QCOMPARE(form.MousePointer().state(), WindowPointer::Default);
        QVERIFY(harness.messages.shown.isEmpty());
        // Not cancelled, the same copy takes every item.
        form.listView(1)->copyAction()->trigger();
        QCOMPARE(harness.clipboard.held.count(u'\n'), 70000);
    }

    // A command started by the user in the same moment as the cancel is not cancelled with it.
    void aShortCommandBesideTheCancelledOneStillRuns() {
        FormHarness harness;
        Form1& form = harness.load();
        const QStringList list1 = numbered(u"entry "_s, 500);
        fill(form.listView(1)->items(), list1);
        harness.input.answers = {u"3"_s, u"typed"_s};
        harness.pump.at(30, [&] {
            form.cancelAction()->trigger();
            form.button(13)->click();  // Add One Item To List 2
        });
        form.button(9)->click();
        QCOMPARE(textsOf(form.listView(1)->items()), list1);
        QCOMPARE(textsOf(form.listView(2)->items()), QStringList{u"typed"_s});
        QCOMPARE(form.history().count(), 1);
    }

    void cancelledSaveKeepsTheOldFileAndLeavesNoTemporaryFile_data() {
        QTest::addColumn<int>("pump");
        QTest::newRow("first item") << 1;
        QTest::newRow("midway") << 20000;
        QTest::newRow("last item") << 50000;
    }
    void cancelledSaveKeepsTheOldFileAndLeavesNoTemporaryFile() {
        QFETCH(int, pump);
        FormHarness harness;
        Form1& form = harness.load();
        const QString path = harness.folder.path() + u"/keep.txt"_s;
        QVERIFY(writeFile(path, "old"));
        fill(form.listView(2)->items(), numbered(u"entry "_s, 50000));
        harness.dialogs.answers = {path};
        harness.messages.answers = {platform::Answer::Yes};
        harness.pump.at(pump, [&] { form.cancelAction()->trigger(); });
        form.button(8)->click();
        QCOMPARE(readAll(path), QByteArray("old"));
        QCOMPARE(QDir(harness.folder.path()).entryList(QDir::Files), (QStringList{u"keep.txt"_s}));
        QVERIFY(!harness.messages.texts().contains(u"Done."_s));
        QVERIFY(harness.messages.errorReports().isEmpty());
        QCOMPARE(form.MousePointer().state(), WindowPointer::Default);
        QCOMPARE(form.progressBar()->exactValue(), 0.0);
        QCOMPARE(form.listView(2)->items().count(), 50000);
    }

    // Once the file is replaced the save is complete; Esc on "Done." only closes the box.
    void cancelOnDoneLeavesTheSavedFile() {
        FormHarness harness;
        Form1& form = harness.load();
        const QString path = harness.folder.path() + u"/new.txt"_s;
        fill(form.listView(1)->items(), {u"a"_s, u"b"_s});
        harness.dialogs.answers = {path};
        harness.messages.onShow = [&](const platform::MessageRequest& request) {
            if (request.text == u"Done."_s) form.cancelAction()->trigger();
        };
        form.button(7)->click();
        QCOMPARE(readAll(path), QByteArray("a\r\nb\r\n"));
        QCOMPARE(form.MousePointer().state(), WindowPointer::Default);
    }
};

QTEST_MAIN(CancelTest)
#include "tst_cancel.moc"
