#include "window_cases.h"

#include <QAction>
#include <QClipboard>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QListView>
#include <QMouseEvent>
#include <QProcess>
#include <QSaveFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <memory>

#include "commands/clipboard_commands.h"
#include "controls/desktop_services.h"
#include "form_harness.h"
#include "generator.h"
#include "list_files/reader.h"
#include "list_files/writer.h"
#include "measure.h"
#include "platform/event_pump.h"
#include "platform/qt_services.h"
#include "shell/compare_window.h"

using namespace Qt::Literals::StringLiterals;

namespace bench {

namespace {

// The main window as the program shows it, headless, with the production event pump: every
// question is answered Yes, the file dialogs return the paths queued, nothing leaves the process.
struct BenchWindow {
    platform::ThrottledEventPump pump;  // first, so that it outlives the window
    controls::SystemClipboard clipboard;
    FormHarness harness;

    BenchWindow() {
        harness.messages.unscriptedAnswer = platform::Answer::Yes;
        harness.eventPump = &pump;
        harness.windowClipboard = &clipboard;
        harness.load();
        harness.form->show();
        settle();
    }
    Form1& form() const { return *harness.form; }
    std::deque<QString>& dialogAnswers() { return harness.dialogs.answers; }

    static void settle() {
        for (int k = 0; k < 3; ++k) QCoreApplication::processEvents();
    }

    // Only "Done." (once per save) and the overwrite question may have been shown.
    void checkMessages(int expectedDone) const {
        int done = 0;
        bool unexpected = false;
        for (const platform::MessageRequest& shown : harness.messages.shown) {
            if (shown.text == u"Done."_s) {
                ++done;
            } else if (shown.buttons != platform::Buttons::YesNo ||
                       !shown.text.startsWith(u"Are you sure you wish to overwrite "_s)) {
                std::fprintf(stderr, "unexpected message: %s: %s\n", qPrintable(shown.caption),
                             qPrintable(shown.text));
                unexpected = true;
            }
        }
        if (unexpected) fail("no message but Done. and the overwrite question");
        if (done != expectedDone) fail("Done. shown once per save");
    }
};

void writeList(const list_store::TextBlock& block, const QString& path) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) fail("output file opens");
    list_files::Writer writer(file);
    for (qsizetype k = 0; k < block.count(); ++k) writer.writeItem(block.text(k));
    writer.flush();
    if (!file.commit()) fail("output file written");
}

// Appends every line of the file to the list, as loading does but without the window.
void fillFromFile(list_store::ItemList& list, const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) fail("input file opens");
    list_files::appendAll(file, list);
}

// Whether the file holds exactly the list's items from position `after` + 1 on, one per line;
// read in chunks, so that the check itself adds little memory.
bool fileHoldsList(const QString& path, const list_store::ItemList& list, int after = 0) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    list_files::Reader reader(file);
    list_store::TextBlock lines;
    int position = after;
    bool more = true;
    while (more) {
        more = reader.readChunk(lines);
        for (qsizetype k = 0; k < lines.count(); ++k) {
            if (++position > list.count() || lines.text(k) != list.textView(position)) {
                return false;
            }
        }
        lines.clear();
    }
    return position == list.count();
}

bool sameBytes(const QString& firstPath, const QString& secondPath) {
    QFile first(firstPath);
    QFile second(secondPath);
    if (!first.open(QIODevice::ReadOnly) || !second.open(QIODevice::ReadOnly)) return false;
    if (first.size() != second.size()) return false;
    while (!first.atEnd()) {
        if (first.read(1 << 20) != second.read(1 << 20)) return false;
    }
    return true;
}

// The generator runs in a process of its own, so that its data never counts in this
// process's peak memory.
void generateFiles(qsizetype items, const QString& first, const QString& second) {
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {u"generate"_s, QString::number(items), first, second});
    if (!child.waitForFinished(-1) || child.exitStatus() != QProcess::NormalExit ||
        child.exitCode() != 0) {
        fail("the generator wrote its files");
    }
}

// One line of `bytes` letters without a terminator, written a megabyte at a time so that
// writing it adds nothing to this process's peak memory.
void writeLongLine(qint64 bytes, const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) fail("long line file opens");
    QByteArray piece(1 << 20, Qt::Uninitialized);
    for (qsizetype k = 0; k < piece.size(); ++k) piece[k] = char('a' + k % 26);
    for (qint64 left = bytes; left > 0; left -= piece.size()) {
        const qint64 take = std::min<qint64>(left, piece.size());
        if (file.write(piece.constData(), take) != take) fail("long line file written");
    }
}

// A press and release of the left button in the middle of the list's first row.
void clickFirstRow(controls::ListView& view) {
    const QPointF at = view.visualRect(view.model()->index(0, 0)).center();
    const QPointF global = view.viewport()->mapToGlobal(at);
    QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(view.viewport(), &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QCoreApplication::sendEvent(view.viewport(), &release);
}

}  // namespace

int runLongLineCase(qint64 bytes) {
    QTemporaryDir folder;
    const QString input = folder.filePath(u"long-line.txt"_s);
    writeLongLine(bytes, input);
    const Figures figures = measure([&] {
        auto window = std::make_shared<BenchWindow>();
        window->dialogAnswers() = {input};
        return Repetition{
            [=] {
                Form1& form = window->form();
                controls::ListView& view = *form.listView(1);
                form.button(3)->click();
                BenchWindow::settle();
                view.viewport()->repaint();
                clickFirstRow(view);
                BenchWindow::settle();
                view.viewport()->repaint();
                BenchWindow::settle();
            },
            [=] {
                window->checkMessages(0);
                const controls::ListView& view = *window->form().listView(1);
                if (view.items().count() != 1 || view.items().textView(1).size() != bytes) {
                    fail("the line loaded whole");
                }
                if (view.selectedPosition() != 1) fail("the clicked item selected");
            }};
    });
    printFigures(u"long_line"_s, 1, figures, u"line_bytes=%1"_s.arg(bytes));
    return 0;
}

namespace {

// The big file's path while it exists, so that a failing check, which exits at once, still
// removes it.
QString g_bigFile;

void removeBigFile() {
    if (!g_bigFile.isEmpty()) QFile::remove(g_bigFile);
    g_bigFile.clear();
}

// Streams the generator's entries to the file, so that writing it adds little to the peak.
void writeGeneratedEntries(qsizetype items, const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) fail("big file opens");
    list_files::Writer writer(file);
    EntryGenerator generator(kSeed);
    for (qsizetype k = 0; k < items; ++k) writer.writeItem(generator.next());
    writer.flush();
    if (!file.flush()) fail("big file written");
}

}  // namespace

int runLoadBigCase(qsizetype items) {
    g_bigFile =
        QDir(QDir::tempPath())
            .filePath(u"quorvane-load-big-%1.txt"_s.arg(QCoreApplication::applicationPid()));
    std::atexit(removeBigFile);
    writeGeneratedEntries(items, g_bigFile);
    const qint64 fileBytes = QFileInfo(g_bigFile).size();
    qint64 ms = 0;
    qint64 gapMs = 0;
    {
        BenchWindow window;
        window.dialogAnswers() = {g_bigFile};
        QCoreApplication::processEvents();
        GapMonitor monitor;
        monitor.start();
        QElapsedTimer clock;
        clock.start();
        window.form().button(3)->click();
        ms = clock.elapsed();
        BenchWindow::settle();
        monitor.stop();
        gapMs = monitor.longestMs();
        window.checkMessages(0);
        if (window.form().listView(1)->items().count() != items) fail("every line loaded");
    }
    removeBigFile();
    const double peak = double(statusKiB("VmHWM:")) * 1024.0;
    const double allowed = 1.25 * double(fileBytes) + 12.0 * double(items);
    const Figures figures{double(ms), gapMs};
    printFigures(
        u"load_big"_s, items, figures,
        u"file_bytes=%1 mb_per_s=%2 peak_vs_allowed=%3"_s.arg(fileBytes)
            .arg(double(fileBytes) / 1e6 / (double(std::max<qint64>(ms, 1)) / 1000.0), 0, 'f', 0)
            .arg(peak / allowed, 0, 'f', 2));
    return 0;
}

int writeListPairFiles(qsizetype items, const QString& first, const QString& second) {
    const ListPair pair = generateListPair(items, kSeed);
    writeList(pair.first, first);
    writeList(pair.second, second);
    return 0;
}

int runLoadCase(qsizetype items) {
    QTemporaryDir folder;
    const QString input = folder.filePath(u"list-1.txt"_s);
    generateFiles(items, input, folder.filePath(u"list-2.txt"_s));
    const Figures figures = measure([&] {
        auto window = std::make_shared<BenchWindow>();
        window->dialogAnswers() = {input};
        return Repetition{[=] {
                              window->form().button(3)->click();
                              BenchWindow::settle();
                          },
                          [=] {
                              window->checkMessages(0);
                              if (window->form().listView(1)->items().count() != items) {
                                  fail("every line loaded");
                              }
                          }};
    });
    printFigures(u"load"_s, items, figures);
    return 0;
}

int runSaveCase(qsizetype items) {
    QTemporaryDir folder;
    const QString input = folder.filePath(u"list-1.txt"_s);
    const QString output = folder.filePath(u"saved.txt"_s);
    generateFiles(items, input, folder.filePath(u"list-2.txt"_s));
    const Figures figures = measure([&] {
        auto window = std::make_shared<BenchWindow>();
        fillFromFile(window->form().listView(2)->items(), input);
        window->dialogAnswers() = {output};
        return Repetition{[=] {
                              window->form().button(8)->click();
                              BenchWindow::settle();
                          },
                          [=] {
                              window->checkMessages(1);
                              if (window->form().listView(2)->items().count() != items) {
                                  fail("the list unchanged");
                              }
                              // The generated entries are plain ASCII: saved back, they are
                              // the very bytes they were loaded from.
                              if (!sameBytes(input, output)) fail("saved file as loaded");
                          }};
    });
    printFigures(u"save"_s, items, figures);
    return 0;
}

namespace {

// The generator's entries as the clipboard holds copied lines: each followed by the line end.
QString clipboardText(const list_store::TextBlock& block) {
    QString text;
    text.reserve(block.byteCount() + block.count() * commands::kClipboardLineEnd.size());
    for (qsizetype k = 0; k < block.count(); ++k) {
        text += block.text(k).toString();
        text += commands::kClipboardLineEnd;
    }
    return text;
}

}  // namespace

int runPasteCase(qsizetype items) {
    const auto block = std::make_shared<list_store::TextBlock>(generateList(items, kSeed));
    const QString text = clipboardText(*block);
    const Figures figures = measure([&] {
        auto window = std::make_shared<BenchWindow>();
        QGuiApplication::clipboard()->setText(text);
        return Repetition{[=] {
                              // What Ctrl+V triggers in a list with the keyboard.
                              window->form().listView(1)->pasteAction()->trigger();
                              BenchWindow::settle();
                          },
                          [=] {
                              window->checkMessages(0);
                              const list_store::ListStore& list =
                                  window->form().listView(1)->items();
                              if (list.count() != block->count()) fail("every line pasted");
                              for (int position = 1; position <= list.count(); ++position) {
                                  if (list.textView(position) != block->text(position - 1)) {
                                      fail("every line pasted as it was");
                                  }
                              }
                          }};
    });
    printFigures(u"paste"_s, items, figures);
    return 0;
}

int runCopyAllCase(qsizetype items) {
    const auto block = std::make_shared<list_store::TextBlock>(generateList(items, kSeed));
    const auto expected = std::make_shared<QString>(clipboardText(*block));
    const Figures figures = measure([&] {
        auto window = std::make_shared<BenchWindow>();
        window->form().listView(1)->items().appendBlock(*block);
        QGuiApplication::clipboard()->clear();
        return Repetition{[=] {
                              // What Ctrl+A and Ctrl+C trigger in a list with the keyboard.
                              controls::ListView& list = *window->form().listView(1);
                              list.selectAllAction()->trigger();
                              list.copyAction()->trigger();
                              BenchWindow::settle();
                          },
                          [=] {
                              window->checkMessages(0);
                              if (QGuiApplication::clipboard()->text() != *expected) {
                                  fail("every entry copied, one per line");
                              }
                          }};
    });
    printFigures(u"copy_all"_s, items, figures);
    return 0;
}

namespace {

// Loads a generated file of `items` lines into List 1, empty or holding the sample items, and,
// for a redo, undoes the load, outside the clock; the timed run is the window's Undo or Redo of
// that load.
int runLoadHistoryCase(qsizetype items, bool redo, bool afterSamples) {
    QTemporaryDir folder;
    const QString input = folder.filePath(u"list-1.txt"_s);
    generateFiles(items, input, folder.filePath(u"list-2.txt"_s));
    int before = 0;
    const Figures figures = measure([&] {
        auto window = std::make_shared<BenchWindow>();
        Form1& form = window->form();
        if (afterSamples) form.button(5)->click();
        const int held = form.listView(1)->items().count();
        before = held;
        window->dialogAnswers() = {input};
        form.button(3)->click();
        BenchWindow::settle();
        if (form.listView(1)->items().count() != held + items) fail("every line loaded");
        if (redo) {
            form.undoAction()->trigger();
            BenchWindow::settle();
            if (form.listView(1)->items().count() != held) fail("the load undone");
        }
        return Repetition{
            [=] {
                QAction* action = redo ? window->form().redoAction() : window->form().undoAction();
                if (!action->isEnabled()) fail("the load can be undone or redone");
                action->trigger();
                BenchWindow::settle();
            },
            [=] {
                window->checkMessages(0);
                const list_store::ListStore& list = window->form().listView(1)->items();
                if (!redo && list.count() != held) fail("every line taken back");
                if (redo && !fileHoldsList(input, list, held)) {
                    fail("every line back as it was loaded");
                }
            }};
    });
    printFigures(redo ? u"redo_load"_s : u"undo_load"_s, items, figures,
                 u"items_before=%1"_s.arg(before));
    return 0;
}

}  // namespace

int runUndoLoadCase(qsizetype items, bool afterSamples) {
    return runLoadHistoryCase(items, false, afterSamples);
}

int runRedoLoadCase(qsizetype items, bool afterSamples) {
    return runLoadHistoryCase(items, true, afterSamples);
}

int runEndToEndCase(qsizetype items, const JobFiles& given) {
    QTemporaryDir folder;
    JobFiles files = given;
    if (files.first.isEmpty() || files.second.isEmpty()) {
        files.first = folder.filePath(u"list-1.txt"_s);
        files.second = folder.filePath(u"list-2.txt"_s);
        generateFiles(items, files.first, files.second);
    }
    if (files.output.isEmpty()) files.output = folder.filePath(u"saved.txt"_s);

    int loaded = 0;
    int kept = 0;
    const Figures figures = measure([&] {
        auto window = std::make_shared<BenchWindow>();
        window->dialogAnswers() = {files.first, files.second, files.output};
        return Repetition{[=] {
                              Form1& form = window->form();
                              form.button(3)->click();
                              BenchWindow::settle();
                              form.button(14)->click();
                              BenchWindow::settle();
                              form.button(12)->click();
                              BenchWindow::settle();
                              form.button(8)->click();
                              BenchWindow::settle();
                          },
                          [=, &loaded, &kept] {
                              window->checkMessages(1);
                              const list_store::ListStore& second =
                                  window->form().listView(2)->items();
                              if (!fileHoldsList(files.output, second)) {
                                  fail("saved file holds List 2");
                              }
                              loaded = window->form().listView(1)->items().count();
                              kept = second.count();
                          }};
    });
    printFigures(u"end_to_end"_s, loaded, figures, u"kept=%1"_s.arg(kept));
    return 0;
}

namespace {

// The region lists of the panel, Only in List 1, In both and Only in List 2.
std::vector<QListView*> regionViews(const shell::CompareWindow& panel) {
    std::vector<QListView*> views;
    for (const auto index : {shell::CompareWindow::OnlyFirst, shell::CompareWindow::Both,
                             shell::CompareWindow::OnlySecond}) {
        views.push_back(panel.region(index).view);
    }
    return views;
}

// Whether the view has given its last row a place, so that it can be scrolled to.
bool placesEveryRow(const QListView& view) {
    const int rows = view.model()->rowCount();
    return rows == 0 || view.visualRect(view.model()->index(rows - 1, 0)).isValid();
}

}  // namespace

int runComparePanelCase(qsizetype items) {
    QTemporaryDir folder;
    const QString first = folder.filePath(u"list-1.txt"_s);
    const QString second = folder.filePath(u"list-2.txt"_s);
    generateFiles(items, first, second);

    std::vector<double> shownMs;
    qint64 listsKiB = 0;
    QString sizes;
    const Figures figures = measure([&] {
        auto window = std::make_shared<BenchWindow>();
        fillFromFile(window->form().listView(1)->items(), first);
        fillFromFile(window->form().listView(2)->items(), second);
        window->form().listView(1)->showCountNow();
        window->form().listView(2)->showCountNow();
        BenchWindow::settle();
        if (listsKiB == 0) listsKiB = statusKiB("VmRSS:");
        return Repetition{
            [=, &shownMs] {
                QElapsedTimer clock;
                clock.start();
                // What Ctrl+K triggers: the panel opens and compares the lists as a long command.
                window->form().compareAction()->trigger();
                BenchWindow::settle();
                shownMs.push_back(double(clock.nsecsElapsed()) / 1e6);
                const shell::CompareWindow* panel = window->form().compareWindow();
                if (!panel || panel->state() != shell::CompareWindow::State::Shown) {
                    fail("the regions shown");
                }
                // A region's list is usable to its end once the view has placed every row.
                for (QListView* view : regionViews(*panel)) {
                    QElapsedTimer waited;
                    waited.start();
                    while (!placesEveryRow(*view)) {
                        if (waited.elapsed() > 600'000) fail("the region's rows placed");
                        QCoreApplication::processEvents();
                    }
                    view->scrollToBottom();
                    view->viewport()->repaint();
                    view->scrollToTop();
                    view->viewport()->repaint();
                }
                BenchWindow::settle();
            },
            [=, &sizes] {
                window->checkMessages(0);
                const shell::CompareWindow& panel = *window->form().compareWindow();
                const std::vector<QListView*> views = regionViews(panel);
                const list_store::ListStore* lists[] = {&window->form().listView(1)->items(),
                                                        &window->form().listView(1)->items(),
                                                        &window->form().listView(2)->items()};
                for (size_t k = 0; k < views.size(); ++k) {
                    const QAbstractItemModel& model = *views[k]->model();
                    const int rows = model.rowCount();
                    if (rows == 0) fail("every region holds entries");
                    const auto* region = qobject_cast<const shell::RegionModel*>(&model);
                    if (!region) fail("a region's list shows its region");
                    const std::vector<int>& positions = region->positions();
                    const QString last = model.index(rows - 1, 0).data().toString();
                    if (last != lists[k]->textView(positions.back()).toString()) {
                        fail("a region's last row shows its entry");
                    }
                }
                const auto rows = [&](size_t k) { return views[k]->model()->rowCount(); };
                if (rows(0) + rows(1) != window->form().listView(1)->items().count()) {
                    fail("List 1 split into two regions");
                }
                sizes =
                    u"only_first=%1 both_first=%2 only_second=%3"_s.arg(rows(0)).arg(rows(1)).arg(
                        rows(2));
            }};
    });
    std::sort(shownMs.begin(), shownMs.end());
    printFigures(u"compare_panel"_s, items, figures,
                 u"%1 shown_ms=%2 lists_mib=%3"_s.arg(sizes)
                     .arg(shownMs[shownMs.size() / 2], 0, 'f', 1)
                     .arg((listsKiB + 512) / 1024));
    return 0;
}

}  // namespace bench
