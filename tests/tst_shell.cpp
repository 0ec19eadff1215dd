#include <QFile>
#include <QHeaderView>
#include <QSignalSpy>
#include <QTest>

#include "controls/desktop_services.h"
#include "controls/list_view.h"
#include "form_harness.h"
#include "platform/qt_services.h"
#include "shell/error_report.h"
#include "shell/main_module.h"
#include "text_rows.h"
#include "window_test.h"

using controls::WindowPointer;

class ShellTest : public WindowTest {
    Q_OBJECT

private Q_SLOTS:
    void errorReportShowsDescriptionLocationLineAndAddress() {
        ScriptedMessages messages;
        shell::ShowApplicationError(
            messages, u"Division by zero"_s,
            u"in Pellorin2021/08/31.List.SubtractSecondListFromFirstList "_s, 104);
        QCOMPARE(messages.shown.size(), 1);
        const platform::MessageRequest& shown = messages.shown.first();
        QCOMPARE(shown.caption, u"Application Error"_s);
        QCOMPARE(shown.text,
                 u"Division by zero\r\nin Pellorin2021/08/31.List.SubtractSecondListFromFirstList "
                 u"at line 104\r\rPlease email screenshot of this message to "
                 u"support@kelvarn.example"_s);
        QCOMPARE(shown.icon, platform::Icon::Warning);
        QCOMPARE(shown.buttons, platform::Buttons::Ok);
    }

    void errorReportWithEmptyDescriptionStartsWithTheLineBreak() {
        QVERIFY(shell::ApplicationErrorText({}, u"in X.Y.Z "_s, 7)
                    .startsWith(u"\r\nin X.Y.Z at line 7"_s));
    }

    void failingStepIsReportedAndTheNextStepRuns() {
        ScriptedMessages messages;
        shell::ApplicationErrorReport report(messages);
        platform::Steps step(report, u"in P.M.Proc "_s);
        QStringList ran;
        step(100, [&] {
            ran << u"100"_s;
            throw platform::Failure(u"first"_s);
        });
        step(102, [&] { ran << u"102"_s; });
        step(104, [&] { throw std::runtime_error("second"); });
        step(106, [&] { ran << u"106"_s; });
        QCOMPARE(ran, (QStringList{u"100"_s, u"102"_s, u"106"_s}));
        const auto reports = messages.errorReports();
        QCOMPARE(reports.size(), 2);
        QVERIFY(reports[0].text.startsWith(u"first\r\nin P.M.Proc at line 100"_s));
        QVERIFY(reports[1].text.startsWith(u"second\r\nin P.M.Proc at line 104"_s));
    }

    void failingConditionRunsTheBlockItGuards() {
        ScriptedMessages messages;
        shell::ApplicationErrorReport report(messages);
        platform::Steps step(report, u"in P.M.Proc "_s);
        bool guardedRan = false;
        if (step.when(110, []() -> bool { throw platform::Failure(u"broken"_s); })) {
            guardedRan = true;
        }
        QVERIFY(guardedRan);
        QCOMPARE(messages.errorReports().size(), 1);
        QVERIFY(!step.when(112, [] { return false; }));
    }

    void failureWhileReportingDoesNotEscape() {
        ScriptedMessages messages;
        messages.onShow = [](const platform::MessageRequest&) { throw std::bad_alloc(); };
        shell::ApplicationErrorReport report(messages);
        platform::Steps step(report, u"in P.M.Proc "_s);
        bool nextRan = false;
        step(100, [] { throw platform::Failure(u"x"_s); });
        step(102, [&] { nextRan = true; });
        QVERIFY(nextRan);
    }

    void stepsAreSkippedOnceTheWindowCloses() {
        ScriptedMessages messages;
        shell::ApplicationErrorReport report(messages);
        ScriptedPump pump;
        platform::Steps step(report, u"in P.M.Proc "_s, &pump);
        int ran = 0;
        step(100, [&] {
            ++ran;
            pump.requestClose();
        });
        step(102, [&] { ++ran; });
        QCOMPARE(ran, 1);
    }

    void applicationTitleDropsTheLastWord_data() {
        addTextRows(
            "product", "title",
            {{"one word", u"Quorvane"_s, u"Quorvane"_s},
             {"three words", u"Alpha Beta Gamma"_s, u"Alpha Beta"_s},
             {"short name still cut", u"Ab Cd"_s, u"Ab"_s},
             {"long name cut to 40", u"Aaaaaaaaaa Bbbbbbbbbb Cccccccccc Dddddddddd Eeeeeeeeee"_s,
              u"Aaaaaaaaaa Bbbbbbbbbb Cccccccccc"_s},
             {"exactly 40 after one cut", u"Aaaaaaaaaaaaaaaaaaa Bbbbbbbbbbbbbbbbbbbb Z"_s,
              u"Aaaaaaaaaaaaaaaaaaa Bbbbbbbbbbbbbbbbbbbb"_s},
             {"cut fails on a long first word keeps the name",
              u"Aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa Beta"_s,
              u"Aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa Beta"_s}});
    }
    void applicationTitleDropsTheLastWord() {
        QFETCH(QString, product);
        QFETCH(QString, title);
        QCOMPARE(Main::ApplicationTitleFor(product), title);
    }

    void startUpDressesTheWindow() {
        FormHarness harness;
        Form1& form = harness.load();
        QCOMPARE(form.windowTitle(), u"Quorvane"_s);
        QCOMPARE(form.applicationTitle(), u"Quorvane"_s);
        QVERIFY(!form.windowIcon().isNull());
        QCOMPARE(form.windowIcon().availableSizes().size(), 4);
        QVERIFY(harness.messages.shown.isEmpty());
        QVERIFY(form.styleSheet().isEmpty());  // no skin file: no skin
        QCOMPARE(harness.skin.Options(), 4);
        QCOMPARE(form.palette().color(QPalette::Window), QColor(Qt::white));
        QVERIFY(!form.MousePointer().hasCustomImage());
        QCOMPARE(form.listView(1)->listModel().columnHeader(0), u"List 1"_s);
        QCOMPARE(form.listView(2)->listModel().columnHeader(0), u"List 2"_s);
        QCOMPARE(form.listView(1)->listModel().columnTotal(), 1);
        QCOMPARE(form.listView(1)->columnWidth(0), 467);
        QCOMPARE(form.listView(1)->items().count(), 0);
        QCOMPARE(form.checkBox()->value(), platform::CheckValue::Checked);
    }

    void skinFileDressesTheWindow() {
        FormHarness harness;
        QDir(harness.folder.path()).mkpath(u"x"_s);
        QFile skin(harness.folder.path() + u"/x/o.cjs"_s);
        QVERIFY(skin.open(QIODevice::WriteOnly));
        skin.write("QPushButton { color: navy; }");
        skin.close();
        Form1& form = harness.load();
        QCOMPARE(form.styleSheet(), u"QPushButton { color: navy; }"_s);
        QCOMPARE(harness.skin.Options(), 5);  // option 1 added, the others kept
        const QColor buttonFace = QApplication::palette().color(QPalette::Button);
        QCOMPARE(form.palette().color(QPalette::Window), buttonFace);
        QCOMPARE(form.checkBox()->palette().color(QPalette::Window), buttonFace);
        QVERIFY(harness.messages.shown.isEmpty());
    }

    void styleSheetSkinAppliesTheSheet() {
        QTemporaryDir folder;
        const QString path = folder.filePath(u"o.cjs"_s);
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("QWidget { color: navy; }");
        file.close();
        controls::StyleSheetSkin skin;
        QWidget window;
        skin.LoadSkin(path, {});
        skin.ApplyWindow(window);
        QCOMPARE(window.styleSheet(), u"QWidget { color: navy; }"_s);
    }

    void cursorFileBecomesTheCustomPointer() {
        FormHarness harness;
        QImage image(32, 32, QImage::Format_ARGB32);
        image.fill(Qt::red);
        const QString path = harness.folder.path() + u"/HAND-M.CUR"_s;
        QVERIFY(image.save(path, "cur"));
        QVERIFY(setCursorHotspot(path, 5, 9));
        Form1& form = harness.load();
        QVERIFY(harness.messages.shown.isEmpty());
        QVERIFY(form.MousePointer().hasCustomImage());
        QCOMPARE(form.MousePointer().customImage()->hotSpot(), QPoint(5, 9));
    }

    void corruptCursorFileIsReportedAtLine108() {
        FormHarness harness;
        QFile file(harness.folder.path() + u"/HAND-M.CUR"_s);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("not a cursor at all");
        file.close();
        Form1& form = harness.load();
        const auto reports = harness.messages.errorReports();
        QCOMPARE(reports.size(), 1);
        QVERIFY(reports[0].text.contains(u"in Pellorin2021/08/31.Form1.Form_Load at line 108"_s));
        QVERIFY(!form.MousePointer().hasCustomImage());
        QCOMPARE(form.listView(2)->listModel().columnHeader(0), u"List 2"_s);  // start-up went on
    }

    void storedMatchCaseIsRestored_data() {
        QTest::addColumn<std::optional<QString>>("stored");
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("reportedLine");
        QTest::addColumn<QString>("description");
        QTest::newRow("missing key") << std::optional<QString>() << 1 << 0 << QString();
        QTest::newRow("0") << std::optional<QString>(u"0"_s) << 0 << 0 << QString();
        QTest::newRow("1") << std::optional<QString>(u"1"_s) << 1 << 0 << QString();
        QTest::newRow("2 grayed") << std::optional<QString>(u"2"_s) << 2 << 0 << QString();
        QTest::newRow("abc") << std::optional<QString>(u"abc"_s) << 1 << 128 << u"Type mismatch"_s;
        QTest::newRow("70000") << std::optional<QString>(u"70000"_s) << 1 << 128 << u"Overflow"_s;
        QTest::newRow("3") << std::optional<QString>(u"3"_s) << 1 << 128
                           << u"Invalid property value"_s;
    }
    void storedMatchCaseIsRestored() {
        QFETCH(std::optional<QString>, stored);
        QFETCH(int, value);
        QFETCH(int, reportedLine);
        QFETCH(QString, description);
        FormHarness harness;
        Form1& form = harness.make();
        form.checkBox()->setValue(platform::CheckValue::Checked);
        harness.settings.values.clear();
        harness.settings.writes.clear();
        if (stored) harness.settings.values.insert(u"Kelvarn/Quorvane/Check1"_s, *stored);
        form.Form_Load();
        QCOMPARE(platform::numberOf(form.checkBox()->value()), value);
        const auto reports = harness.messages.errorReports();
        if (reportedLine == 0) {
            QVERIFY(reports.isEmpty());
        } else {
            QCOMPARE(reports.size(), 1);
            QVERIFY(reports[0].text.startsWith(description + u"\r\n"_s));
            QVERIFY(reports[0].text.contains(u"Form_Load at line %1"_s.arg(reportedLine)));
        }
        // A restored value that differs from the box's state is stored again by the click handler.
        QCOMPARE(harness.settings.writes,
                 value != 1 ? QStringList{QString::number(value)} : QStringList{});
    }

    void changingTheBoxStoresItsValue() {
        FormHarness harness;
        Form1& form = harness.load();
        QTest::mouseClick(form.checkBox(), Qt::LeftButton);
        QTest::mouseClick(form.checkBox(), Qt::LeftButton);
        QCOMPARE(harness.settings.writes, (QStringList{u"0"_s, u"1"_s}));
        QCOMPARE(harness.settings.values.value(u"Kelvarn/Quorvane/Check1"_s), u"1"_s);
    }

    void failedSettingWriteIsReportedAndTheBoxKeepsItsValue() {
        FormHarness harness;
        Form1& form = harness.load();
        harness.settings.refuseWrites = true;
        form.checkBox()->setValue(platform::CheckValue::Unchecked);
        QCOMPARE(form.checkBox()->value(), platform::CheckValue::Unchecked);
        const auto reports = harness.messages.errorReports();
        QCOMPARE(reports.size(), 1);
        QVERIFY(reports[0].text.contains(u"Form1.Check1_Click at line 100"_s));
    }

    void homePageOpensOnlyWhenSevenIsDrawn_data() {
        QTest::addColumn<float>("drawn");
        QTest::addColumn<bool>("opens");
        QTest::newRow("6") << 0.0599f << false;
        QTest::newRow("7 low") << 0.06f << true;
        QTest::newRow("7 high") << 0.0699f << true;
        QTest::newRow("8") << 0.07f << false;
        QTest::newRow("1") << 0.0f << false;
        QTest::newRow("100") << 0.9999f << false;
    }
    void homePageOpensOnlyWhenSevenIsDrawn() {
        QFETCH(float, drawn);
        QFETCH(bool, opens);
        FormHarness harness;
        harness.random.drawn = drawn;
        harness.clock.seconds = 3600.25f;
        harness.load();
        QCOMPARE(harness.random.seeds, QList<float>{3600.25f});
        QCOMPARE(harness.launcher.opened,
                 opens ? QStringList{u"https://www.kelvarn.example/"_s} : QStringList{});
    }

    void browserThatDoesNotStartIsReportedAtLine110() {
        FormHarness harness;
        harness.random.drawn = 0.065f;
        harness.launcher.succeed = false;
        Form1& form = harness.load();
        const auto reports = harness.messages.errorReports();
        QCOMPARE(reports.size(), 1);
        QVERIFY(reports[0].text.contains(u"Form_Load at line 110"_s));
        QCOMPARE(form.listView(1)->listModel().columnTotal(), 1);
    }

    void homePageOpensThroughExplorerMinimized() {
#ifndef Q_OS_WIN
        QSKIP("explorer hands addresses to the browser on Windows only");
#else
        QList<platform::ShellCommand> started;
        controls::DesktopLauncher launcher([&](const platform::ShellCommand& command) {
            started.append(command);
            return true;
        });
        QVERIFY(launcher.openAddress(u"https://www.kelvarn.example/"_s));
        QCOMPARE(started.size(), 1);
        QCOMPARE(started[0].program, u"explorer"_s);
        QCOMPARE(started[0].arguments, u"\"https://www.kelvarn.example/\""_s);
        QVERIFY(started[0].minimized);
        controls::DesktopLauncher failing([](const platform::ShellCommand&) { return false; });
        QVERIFY(!failing.openAddress(u"https://www.kelvarn.example/"_s));
#endif
    }

    void shellCommandsStartOrReportThatTheyCouldNot_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<bool>("started");
#ifdef Q_OS_WIN
        QTest::newRow("command interpreter") << u"cmd"_s << u"/c exit 0"_s << true;
#else
        QTest::newRow("true") << u"true"_s << u"ignored words"_s << true;
#endif
        QTest::newRow("no such program") << u"quorvane-no-such-program"_s << QString() << false;
    }
    void shellCommandsStartOrReportThatTheyCouldNot() {
        QFETCH(QString, program);
        QFETCH(QString, arguments);
        QFETCH(bool, started);
        QCOMPARE(platform::startShellCommand({program, arguments, true}), started);
    }

    void windowHasTheLayoutSizesAndTabOrder() {
        FormHarness harness;
        Form1& form = harness.load();
        QCOMPARE(form.size(), QSize(1064, 370));
        QCOMPARE(form.minimumSize(), form.maximumSize());
        QVERIFY(!(form.windowFlags() & Qt::WindowMaximizeButtonHint));
        // Inside the window, none over another; the top row, then the two lists side by side,
        // then four rows of four buttons under them, the left two columns under List 1.
        const QRect client = form.rect();
        QList<QWidget*> controls = {form.progressBar(), form.checkBox(), form.listView(1),
                                    form.listView(2)};
        for (int number : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 19, 20}) {
            controls.append(form.button(number));
        }
        for (qsizetype i = 0; i < controls.size(); ++i) {
            QVERIFY(client.contains(controls[i]->geometry()));
            for (qsizetype j = i + 1; j < controls.size(); ++j) {
                QVERIFY(!controls[i]->geometry().intersects(controls[j]->geometry()));
            }
        }
        const auto at = [](QWidget* widget) { return widget->geometry(); };
        QCOMPARE(at(form.button(4)).top(), at(form.checkBox()).top());
        QCOMPARE(at(form.checkBox()).top(), at(form.progressBar()).top());
        QVERIFY(at(form.button(4)).right() < at(form.checkBox()).left());
        QVERIFY(at(form.checkBox()).right() < at(form.progressBar()).left());
        QCOMPARE(at(form.listView(1)).size(), at(form.listView(2)).size());
        QCOMPARE(at(form.listView(1)).top(), at(form.listView(2)).top());
        QVERIFY(at(form.listView(1)).right() < at(form.listView(2)).left());
        QVERIFY(at(form.progressBar()).bottom() < at(form.listView(1)).top());
        const int rows[4][4] = {{20, 3, 13, 14}, {1, 5, 2, 6}, {9, 10, 11, 15}, {19, 7, 12, 8}};
        for (int row = 0; row < 4; ++row) {
            for (int column = 0; column < 4; ++column) {
                const QRect button = at(form.button(rows[row][column]));
                QCOMPARE(button.size(), at(form.button(20)).size());
                QCOMPARE(button.top(), at(form.button(rows[row][0])).top());
                QCOMPARE(button.left(), at(form.button(rows[0][column])).left());
                if (row > 0)
                    QVERIFY(button.top() > at(form.button(rows[row - 1][column])).bottom());
                if (column > 0) {
                    QVERIFY(button.left() > at(form.button(rows[row][column - 1])).right());
                }
                QVERIFY(button.top() > at(form.listView(1)).bottom());
                const QRect under = at(form.listView(column < 2 ? 1 : 2));
                QVERIFY(button.left() >= under.left() && button.right() <= under.right());
            }
        }
        QCOMPARE(form.button(12)->text(), u"Subtract List 1 From List 2"_s);
        QCOMPARE(form.button(3)->font().family(), u"Arial"_s);
        QCOMPARE(form.button(3)->font().pointSizeF(), 11.25);
        QVERIFY(form.button(3)->font().bold());
        QCOMPARE(form.font().pointSizeF(), 9.0);

        QList<QWidget*> expected = {
            form.button(4),  form.button(3),  form.button(20), form.button(1),   form.button(5),
            form.button(14), form.button(2),  form.button(13), form.button(6),   form.button(12),
            form.button(19), form.button(7),  form.button(8),  form.button(9),   form.button(10),
            form.button(11), form.button(15), form.checkBox(), form.listView(1), form.listView(2)};
        for (int i = 0; i + 1 < expected.size(); ++i) {
            QWidget* next = expected[i]->nextInFocusChain();
            while (next && next->focusPolicy() == Qt::NoFocus) next = next->nextInFocusChain();
            QCOMPARE(next, expected[i + 1]);
        }
    }

    void pointerFollowsWhatLiesUnderIt() {
        FormHarness harness;
        Form1& form = harness.load();
        QVERIFY(harness.shown());
        WindowPointer& pointer = form.MousePointer();
        QCOMPARE(pointer.state(), WindowPointer::Default);
        QTest::mouseMove(form.button(7), QPoint(10, 10));
        QTRY_COMPARE(pointer.state(), WindowPointer::Custom);
        QTest::mouseMove(form.checkBox(), QPoint(10, 10));
        QTRY_COMPARE(pointer.state(), WindowPointer::Custom);
        QTest::mouseMove(form.progressBar(), QPoint(10, 10));  // nothing over the bar
        QTest::qWait(20);
        QCOMPARE(pointer.state(), WindowPointer::Custom);
        QTest::mouseMove(&form, QPoint(2, 200));  // the background
        QTRY_COMPARE(pointer.state(), WindowPointer::Default);
        QTest::mouseMove(form.button(4), QPoint(10, 10));
        QTRY_COMPARE(pointer.state(), WindowPointer::Custom);
        QTest::mouseMove(form.listView(1)->viewport(), QPoint(30, 30));
        QTRY_COMPARE(pointer.state(), WindowPointer::Default);

        pointer.setState(WindowPointer::Busy);
        QTest::mouseMove(form.button(9), QPoint(10, 10));
        QTest::mouseMove(&form, QPoint(2, 200));
        QTest::mouseMove(form.listView(2)->viewport(), QPoint(30, 30));
        QTest::qWait(20);
        QCOMPARE(pointer.state(), WindowPointer::Busy);
        QCOMPARE(form.cursor().shape(), Qt::WaitCursor);
        form.close();
    }

    void progressBarKeepsTheExactValueAndShowsItRounded() {
        controls::ProgressBar bar;
        bar.setValue(100.0 / 3.0);
        QCOMPARE(bar.exactValue(), 100.0 / 3.0);
        QCOMPARE(bar.value(), 33);
        bar.setValue(250.0);
        QCOMPARE(bar.value(), 100);
        bar.setValue(0);
        QCOMPARE(bar.value(), 0);
    }

    void closingTheWindowAsksLongWorkToStop() {
        FormHarness harness;
        Form1& form = harness.load();
        form.show();
        QVERIFY(!harness.pump.closing());
        form.close();
        QVERIFY(harness.pump.closing());
    }

private:
    // True when the file could be turned into a cursor with that hotspot; the caller verifies it,
    // so that the test stops here rather than load a file that is not what it expects.
    [[nodiscard]] static bool setCursorHotspot(const QString& path, quint16 x, quint16 y) {
        QFile file(path);
        if (!file.open(QIODevice::ReadWrite)) return false;
        QByteArray bytes = file.readAll();
        if (bytes.size() <= 22) return false;
        bytes[2] = 2;  // Qt writes icons; the same directory with type 2 is a cursor
        bytes[10] = char(x & 0xff);
        bytes[11] = char(x >> 8);
        bytes[12] = char(y & 0xff);
        bytes[13] = char(y >> 8);
        return file.seek(0) && file.write(bytes) == bytes.size();
    }
};

QTEST_MAIN(ShellTest)
#include "tst_shell.moc"
