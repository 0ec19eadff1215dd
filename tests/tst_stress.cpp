#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>
#include <QTimer>

#include "form_harness.h"
#include "window_test.h"

// Long commands on large lists while every other command, the Delete key, double-clicks, Undo,
// Redo and the check box are fired at many of their pumps: the lists must end exactly as the busy
// guard allows, and closing the window must stop each long command at once.

namespace {

constexpr int kItems = 20000;

QByteArray crLfLines(const QStringList& lines) {
    QByteArray bytes;
    for (const QString& line : lines) bytes += line.toUtf8() + "\r\n";
    return bytes;
}

// Everything a user could do to the window, one action per call, in turn.
constexpr int kButtons = 17;
constexpr int kGestures = 11;
class Barrage {
public:
    explicit Barrage(Form1& form) : m_form(form) {}

    void fireNext() {
        Form1& f = m_form;
        QPushButton* buttons[] = {
            f.button(1),  f.button(2),  f.button(3),  f.button(4),  f.button(5),  f.button(6),
            f.button(7),  f.button(8),  f.button(9),  f.button(10), f.button(11), f.button(12),
            f.button(13), f.button(14), f.button(15), f.button(19), f.button(20)};
        const int actions = int(std::size(buttons)) + kGestures;
        const int action = m_next++ % actions;
        if (action < int(std::size(buttons))) {
            buttons[action]->click();
        } else if (action == int(std::size(buttons))) {
            f.listView(1)->selectPosition(1);
            QTest::keyClick(f.listView(1), Qt::Key_Delete);
        } else if (action == int(std::size(buttons)) + 1) {
            f.listView(2)->selectPosition(1);
            QTest::keyClick(f.listView(2), Qt::Key_Delete);
        } else if (action == int(std::size(buttons)) + 2) {
            f.listView(1)->selectPosition(1);
            Q_EMIT f.listView(1)->activation();
        } else if (action == int(std::size(buttons)) + 3) {
            f.listView(2)->selectPosition(1);
            Q_EMIT f.listView(2)->activation();
        } else if (action == int(std::size(buttons)) + 4) {
            f.checkBox()->setValue(f.checkBox()->value() == platform::CheckValue::Unchecked
                                       ? platform::CheckValue::Checked
                                       : platform::CheckValue::Unchecked);
        } else if (action == int(std::size(buttons)) + 5) {
            f.listView(1)->pasteAction()->trigger();
        } else if (action == int(std::size(buttons)) + 6) {
            f.listView(2)->pasteAction()->trigger();
        } else if (action == int(std::size(buttons)) + 7) {
            f.undoAction()->trigger();  // refused while the long command runs
        } else if (action == int(std::size(buttons)) + 8) {
            f.redoAction()->trigger();
        } else if (action == int(std::size(buttons)) + 9) {
            f.listView(1)->selectAllAction()->trigger();
            f.listView(1)->copyAction()->trigger();
            f.listView(1)->deleteAction()->trigger();
        } else {
            f.listView(2)->selectAllAction()->trigger();
            f.listView(2)->deleteAction()->trigger();
        }
        ++fired;
    }
    int fired = 0;

private:
    Form1& m_form;
    int m_next = 0;
};

struct StressHarness : FormHarness {
    StressHarness() {
        load();
        form->show();
        barrage = std::make_unique<Barrage>(*form);
        pump.everyPump = [this](int call) {
            if (call % 7 == 0) barrage->fireNext();
        };
        clipboard.held = u"pasted\n"_s;
        // Whatever the fired commands ask is answered: texts, Yes, and files.
        for (int i = 0; i < 2000; ++i) {
            input.answers.push_back(u"typed"_s);
            messages.answers.push_back(platform::Answer::Yes);
            dialogs.answers.push_back(folder.path() + u"/other.txt"_s);
        }
    }
    std::unique_ptr<Barrage> barrage;
};

}  // namespace

class StressTest : public WindowTest {
    Q_OBJECT

private Q_SLOTS:
    void subtractionUnderFireRemovesExactlyTheShared() {
        StressHarness h;
        const QStringList list1 = numbered(u"entry "_s, kItems);
        const QStringList list2 = numbered(u"entry "_s, kItems, 3);
        fill(h.form->listView(1)->items(), list1);
        fill(h.form->listView(2)->items(), list2);
        h.form->button(19)->click();
        QVERIFY(h.barrage->fired > 100);
        QStringList expected;
        for (int i = 0; i < kItems; ++i) {
            if (i % 3 != 0) expected.append(u"entry %1"_s.arg(i));
        }
        QCOMPARE(textsOf(h.form->listView(1)->items()), expected);
        QCOMPARE(textsOf(h.form->listView(2)->items()), list2);
        QVERIFY(h.messages.errorReports().isEmpty());
        h.form->close();
    }

    void filterUnderFireThinsOnlyItsList() {
        StressHarness h;
        const QStringList list1 = numbered(u"entry "_s, kItems);
        fill(h.form->listView(1)->items(), list1);
        fill(h.form->listView(2)->items(), {u"other"_s});
        h.input.answers.push_front(u"7"_s);
        h.form->button(9)->click();
        QVERIFY(h.barrage->fired > 100);
        QStringList expected;
        for (const QString& text : list1) {
            if (!text.contains(u'7')) expected.append(text);
        }
        QCOMPARE(textsOf(h.form->listView(1)->items()), expected);
        // List 2 was open to the fired commands; it holds only what they add.
        const QStringList allowed{u"other"_s, u"typed"_s, u"grape"_s, u"apple"_s,
                                  u"3"_s,     u"2"_s,     u"1"_s,     u"pasted"_s};
        for (const QString& text : textsOf(h.form->listView(2)->items())) {
            QVERIFY2(allowed.contains(text), qPrintable(text));
        }
        QVERIFY(h.messages.errorReports().isEmpty());
        h.form->close();
    }

    void saveUnderFireWritesTheListAsItWas() {
        StressHarness h;
        const QStringList list1 = numbered(u"entry "_s, kItems);
        fill(h.form->listView(1)->items(), list1);
        const QString path = h.folder.path() + u"/saved.txt"_s;
        h.dialogs.answers.push_front(path);
        h.form->button(7)->click();
        QVERIFY(h.barrage->fired > 100);
        QFile saved(path);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), crLfLines(list1));
        QCOMPARE(textsOf(h.form->listView(1)->items()), list1);
        QVERIFY(h.messages.errorReports().isEmpty());
        h.form->close();
    }

    void loadUnderFireAppendsEveryLineInOrder() {
        StressHarness h;
        const QStringList lines = numbered(u"line "_s, kItems);
        const QString path = h.folder.path() + u"/input.txt"_s;
        {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(crLfLines(lines));
        }
        // Every file dialog answers the file being loaded: a save that slipped past the busy
        // guard would overwrite it, and a second load would add its lines twice.
        std::fill(h.dialogs.answers.begin(), h.dialogs.answers.end(), path);
        h.pump.everyPump = [&](int) {
            for (int k = 0; k < kButtons + kGestures; ++k) {
                h.barrage->fireNext();  // every action at every pump
            }
        };
        h.form->button(3)->click();
        QVERIFY(h.barrage->fired >= kButtons + kGestures);  // each action at least once meanwhile
        QCOMPARE(h.dialogs.opened.size(), 1);               // only the load's own dialog
        QVERIFY(h.dialogs.saved.isEmpty());                 // no save started while the load ran
        // The load holds its list: nothing the barrage adds lands among its lines.
        QCOMPARE(textsOf(h.form->listView(1)->items()), lines);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), crLfLines(lines));
        h.form->close();
    }

    // Closing stops a subtraction or a filter at once. A save the user asked for is finished
    // first, without "Done.", and then the window closes.
    void closingStopsEachLongCommandAtOnce_data() {
        QTest::addColumn<int>("command");  // the number of the command's button
        QTest::addColumn<bool>("finishes");
        QTest::newRow("subtract") << 19 << false;
        QTest::newRow("filter") << 9 << false;
        QTest::newRow("save") << 7 << true;
    }
    void closingStopsEachLongCommandAtOnce() {
        QFETCH(int, command);
        QFETCH(bool, finishes);
        FormHarness h;
        h.load();
        h.form->show();
        const QStringList list1 = numbered(u"entry "_s, kItems);
        fill(h.form->listView(1)->items(), list1);
        fill(h.form->listView(2)->items(), numbered(u"entry "_s, kItems, 2));
        const QString path = h.folder.path() + u"/old.txt"_s;
        {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("old");
        }
        h.input.answers = {u"1"_s};
        h.dialogs.answers = {path};
        h.messages.answers = {platform::Answer::Yes};
        h.pump.at(100, [&] { h.form->close(); });
        h.form->button(command)->click();
        if (finishes) {
            QVERIFY(h.pump.calls >= kItems);  // every item written after the close
        } else {
            QCOMPARE(h.pump.calls, 100);  // not one more step of work after the close
        }
        QVERIFY(!h.form->isVisible());
        QCOMPARE(textsOf(h.form->listView(1)->items()), list1);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), finishes ? crLfLines(list1) : QByteArray("old"));
        QCOMPARE(QDir(h.folder.path()).entryList(QDir::Files), QStringList{u"old.txt"_s});
        QVERIFY(!h.messages.texts().contains(u"Done."_s));
    }

    // The window's close during a long command ends the program's event loop promptly.
    void closingDuringALongCommandEndsTheProgram() {
        FormHarness h;
        h.load();
        h.form->show();
        QVERIFY(QTest::qWaitForWindowExposed(h.form.get()));
        fill(h.form->listView(1)->items(), numbered(u"entry "_s, kItems));
        fill(h.form->listView(2)->items(), numbered(u"entry "_s, kItems, 2));
        h.pump.at(50, [&] { h.form->close(); });
        QTimer start;
        start.setSingleShot(true);
        QObject::connect(&start, &QTimer::timeout, h.form->button(19), &QPushButton::click);
        QTimer giveUp;
        giveUp.setSingleShot(true);
        QObject::connect(&giveUp, &QTimer::timeout, [] { QCoreApplication::exit(1); });
        start.start(0);
        giveUp.start(5000);
        QElapsedTimer elapsed;
        elapsed.start();
        QCOMPARE(QCoreApplication::exec(), 0);
        QVERIFY(elapsed.elapsed() < 1000);
        QCOMPARE(h.pump.calls, 50);
    }

    void closingStopsALoad() {
        FormHarness h;
        h.load();
        h.form->show();
        const QString path = h.folder.path() + u"/big.txt"_s;
        {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            const QByteArray line(100, 'x');
            for (int i = 0; i < 40000; ++i)
                file.write(line + "\r\n");  // about 4 MB: several chunks
        }
        h.dialogs.answers = {path};
        h.pump.at(2, [&] { h.form->close(); });
        h.form->button(3)->click();
        QCOMPARE(h.pump.calls, 2);
        QVERIFY(h.form->listView(1)->items().count() < 40000);
    }
};

QTEST_MAIN(StressTest)
#include "tst_stress.moc"
