#include "commands/file_commands.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <span>

#include "list_files/file_failure.h"
#include "list_files/reader.h"
#include "list_files/writer.h"
#include "platform/aside.h"
#include "platform/failure.h"
#include "platform/files.h"
#include "platform/replace_file.h"

using namespace Qt::Literals::StringLiterals;

namespace commands {

// Read-only offered + several files + explorer style + long names. Qt's dialogs take no such
// flags: the open dialog always lets several files be chosen, and the save dialog never asks
// about overwriting by itself (see QtFileDialogs), whatever these say.
const int kFileDialogFlags = 0x280201;
const QString kListFileFilter = u"Text Files (*.txt)|*.txt|All Files (*.*)|*.*|"_s;

namespace {

constexpr int kSaveProgressItems = 1024;
// Items written between two chances for the window to handle events; divides the above.
constexpr int kSaveItemsPerRun = 256;

// Commits the file on a thread of its own while the window goes on handling its events: the
// commit waits for the disk to hold every byte, which for a file of hundreds of megabytes takes
// far longer than the window may stop answering.
bool commitAside(platform::FileReplacement& file, platform::EventPump& pump) {
    bool committed = false;
    platform::runAside([&] { committed = file.commit(); }, [&] { pump.pumpAfterChunk(); });
    return committed;
}

void showMessage(const Window& window, const QString& text) {
    window.messages.show({window.applicationTitle, text, platform::Buttons::Ok,
                          platform::Icon::None, platform::Answer::Ok});
}

}  // namespace

void LoadProgress::read(qint64 bytes) {
    if (m_total <= 0) return;
    m_sink.setValue(double(m_done + bytes) / double(m_total) * 100.0);
}

void LoadListFromFile(const Window& window, list_store::ItemList& list, const QString& path,
                      LoadProgress* progress) {
    if (!platform::FileExists(path)) {
        showMessage(window, u"File not found"_s);
        return;
    }
    if (!QFileInfo(path).isFile()) {
        throw platform::Failure(u"Path/File access error: %1 is not a file"_s.arg(path));
    }
    QFile file(path);
    errno = 0;
    if (!file.open(QIODevice::ReadOnly)) {
        throw list_files::deviceFailure(file, list_files::FileAction::OpenForReading, errno, path);
    }
    LoadListFromDevice(window, list, file, path, progress);
}

namespace {

// From this size on a file is read a chunk ahead on a thread of its own, while this one adds
// the lines read to the list and lets the window handle its events.
constexpr qint64 kLeastReadAhead = qint64(16) << 20;

// Reads a device chunk by chunk on a thread of its own, at most a few chunks ahead of the
// thread that takes them. The device is the reading thread's until the reader is destroyed.
class ReadAhead {
public:
    struct Chunk {
        list_store::TextBlock lines;
        qint64 position = 0;  // of the device, after the chunk
        bool more = true;
        std::exception_ptr failure;  // the read failed
    };

    ReadAhead(QIODevice& device, const QString& path) : m_reader(device), m_device(device) {
        m_reader.setReportedPath(path);
        m_thread.emplace([this](platform::Aside&) { work(); });
    }
    ~ReadAhead() {
        {
            const std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_changed.notify_all();
        m_thread.reset();
    }
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // The next chunk, once it is read; `pump` is called every few milliseconds meanwhile.
    // Nothing when the pump says to stop first.
    std::optional<Chunk> next(platform::EventPump& pump) {
        using namespace std::chrono_literals;
        std::unique_lock lock(m_mutex);
        while (m_read.empty()) {
            m_changed.wait_for(lock, 5ms);
            if (!m_read.empty()) break;
            lock.unlock();
            pump.pumpAfterChunk();
            if (pump.stopping()) return std::nullopt;
            lock.lock();
        }
        Chunk chunk = std::move(m_read.front());
        m_read.pop_front();
        lock.unlock();
        m_changed.notify_all();
        return chunk;
    }
    // Gives a chunk's storage back for another read.
    void recycle(list_store::TextBlock&& lines) {
        lines.clear();
        const std::lock_guard lock(m_mutex);
        m_spare = std::move(lines);
    }

private:
    static constexpr size_t kMostAhead = 3;

    void work() {
        for (;;) {
            Chunk chunk;
            {
                const std::lock_guard lock(m_mutex);
                chunk.lines = std::move(m_spare);
                m_spare = list_store::TextBlock();
            }
            try {
                chunk.more = m_reader.readChunk(chunk.lines);
            } catch (...) {
                chunk.failure = std::current_exception();
                chunk.more = false;
            }
            chunk.position = m_device.pos();
            const bool more = chunk.more;
            {
                std::unique_lock lock(m_mutex);
                m_changed.wait(lock, [&] { return m_stop || m_read.size() < kMostAhead; });
                if (m_stop) return;
                m_read.push_back(std::move(chunk));
            }
            m_changed.notify_all();
            if (!more) return;
        }
    }

    list_files::Reader m_reader;
    QIODevice& m_device;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Chunk> m_read;
    list_store::TextBlock m_spare;
    bool m_stop = false;
    std::optional<platform::Aside> m_thread;  // last: it starts once the rest is there
};

}  // namespace

void LoadListFromDevice(const Window& window, list_store::ItemList& list, QIODevice& device,
                        const QString& path, LoadProgress* progress) {
    // What was read counts as done also when reading fails part-way.
    struct Finish {
        LoadProgress* progress;
        QIODevice& device;
        ~Finish() {
            if (progress) progress->fileDone(device.pos());
        }
    } finish{progress, device};
    if (!device.isSequential() && device.size() >= kLeastReadAhead) {
        // Declared after `finish`, so that its thread is done with the device before that reads
        // the position.
        ReadAhead reader(device, path);
        for (;;) {
            window.pump.pumpAfterChunk();
            if (window.pump.stopping()) return;
            std::optional<ReadAhead::Chunk> chunk = reader.next(window.pump);
            if (!chunk) return;
            // As when reading here: the lines of a chunk whose read failed are not added.
            if (chunk->failure) std::rethrow_exception(chunk->failure);
            if (!chunk->lines.isEmpty()) list.takeBlock(chunk->lines);
            if (progress) progress->read(chunk->position);
            if (!chunk->more) return;
            reader.recycle(std::move(chunk->lines));
        }
    }
    list_files::Reader reader(device);
    reader.setReportedPath(path);
    list_store::TextBlock lines;
    bool more = true;
    while (more) {
        window.pump.pumpAfterChunk();
        if (window.pump.stopping()) return;
        more = reader.readChunk(lines);
        if (!lines.isEmpty()) list.takeBlock(lines);
        if (progress) progress->read(device.pos());
    }
}

namespace {

// What the load command does once its dialog has answered: `answer` is the dialog's file name.
void loadAnswer(const Window& window, platform::Steps& step, controls::ListView& list,
                const QString& answer) {
    QStringList parts;
    step(112, [&] { parts = answer.split(QChar(0)); });
    BusyPointer busy(window.pointer);
    step(114, [&] { busy.show(); });
    const QString separator = platform::pathSeparator();
    // Without a folder, files from several folders follow as full paths, used as they are.
    const bool fullPaths = parts.size() > 1 && parts.at(0).isEmpty();
    const auto pathOf = [&](qsizetype i) {
        if (fullPaths) return parts.at(i);
        return platform::RemoveDoubleBackslashes(parts.at(0) + separator + parts.at(i),
                                                 separator.front());
    };
    // The bar shows bytes read of every chosen file; one that cannot be sized counts as empty.
    qint64 totalBytes = 0;
    if (parts.size() == 1) {
        totalBytes = QFileInfo(parts.at(0)).size();
    } else {
        for (qsizetype i = 1; i < parts.size(); ++i) totalBytes += QFileInfo(pathOf(i)).size();
    }
    ProgressShown shown(window.engine.progress);
    LoadProgress progress(shown, totalBytes);

    if (step.when(116, [&] { return parts.size() == 1; })) {
        QString path;
        step(118, [&] { path = parts.value(0); });
        step(120, [&] { LoadListFromFile(window, list.items(), path, &progress); });
    } else {
        for (qsizetype i = 1; i < parts.size() && !step.stopped(); ++i) {
            QString path;
            step(130,
                 [&] { path = fullPaths ? parts.at(i) : parts.at(0) + separator + parts.at(i); });
            step(132, [&] {
                if (!fullPaths) path = platform::RemoveDoubleBackslashes(path, separator.front());
            });
            step(134, [&] { LoadListFromFile(window, list.items(), path, &progress); });
        }
    }
    shown.reset();
    step(138, [&] { window.pointer.setState(controls::WindowPointer::Default); });
}

}  // namespace

void LoadList(const Window& window, const QString& location, controls::ListView& list) {
    // The load holds its list, so that no other change lands among its lines and a cancel can
    // take back exactly what it appended.
    const auto hold = window.guard.begin({&list.items()});
    if (!hold) return;
    platform::Steps step = window.longSteps(location);
    controls::CommonDialog& dialog = window.CommonDialog1;
    step(100, [&] { dialog.FileName.clear(); });
    step(102, [&] { dialog.Flags = kFileDialogFlags; });
    step(104,
         [&] { dialog.DialogTitle = u"Load List(s) - Hold Ctrl to select multiple list files"_s; });
    step(106, [&] { dialog.Filter = kListFileFilter; });
    step(108, [&] { dialog.ShowOpen(); });
    if (step.when(110, [&] { return dialog.FileName.isEmpty(); })) return;
    History::Recording change(window.history, u"Load List"_s, {&list.items()});
    loadAnswer(window, step, list, dialog.FileName);
    takeBackIfCancelled(window, step, 120, change);
}

void LoadDroppedFiles(const Window& window, const QString& location, controls::ListView& list,
                      const QStringList& paths) {
    const auto hold = window.guard.begin({&list.items()});
    if (!hold) return;
    platform::Steps step = window.longSteps(location);
    // All the files of one drop are one change, taken back whole by a cancel. One answer in the
    // dialog's form for all of them, so a drop loads exactly what the same choice in the dialog
    // would.
    History::Recording change(window.history, u"Drop Files"_s, {&list.items()});
    loadAnswer(window, step, list, platform::openDialogResult(paths));
    takeBackIfCancelled(window, step, 120, change);
}

bool LoadFiles(const Window& window, const QString& location, controls::ListView& list,
               const QStringList& paths) {
    const auto hold = window.guard.begin({&list.items()});
    if (!hold) return false;
    platform::Steps step = window.longSteps(location);
    History::Recording change(window.history, u"Load List"_s, {&list.items()});
    loadAnswer(window, step, list, platform::openDialogResult(paths));
    return !takeBackIfCancelled(window, step, 120, change) && !window.pump.closing();
}

namespace {

// Saves the entries at `positions` (rising), or every entry when there are none.
void saveEntries(const Window& window, const QString& location, controls::ListView& list,
                 std::optional<std::span<const int>> positions) {
    const auto hold = window.guard.begin({&list.items()});
    if (!hold) return;
    platform::Steps step = window.longSteps(location);
    controls::CommonDialog& dialog = window.CommonDialog1;
    step(106, [&] { dialog.FileName.clear(); });
    step(108, [&] { dialog.Flags = kFileDialogFlags; });
    step(110, [&] { dialog.DialogTitle = u"Save"_s; });
    step(112, [&] { dialog.Filter = kListFileFilter; });
    step(114, [&] { dialog.ShowSave(); });
    QString path;
    step(116, [&] { path = dialog.FileName; });
    if (step.when(118, [&] { return path.isEmpty(); })) return;
    platform::Answer answer = platform::Answer::No;
    if (step.when(120, [&] { return platform::FileExists(path); })) {
        step(122, [&] {
            answer = window.messages.show(
                {window.applicationTitle, u"Are you sure you wish to overwrite "_s + path + u" ?"_s,
                 platform::Buttons::YesNo, platform::Icon::None, platform::Answer::Yes});
        });
    } else {
        step(124, [&] { answer = platform::Answer::Yes; });
    }
    if (step.when(126, [&] { return answer != platform::Answer::Yes; })) return;
    BusyPointer busy(window.pointer);
    step(128, [&] { busy.show(); });
    // From here on a close lets the save finish: the user asked for the file.
    window.guard.finishOnClose();

    // The old file is replaced only once every item is written: a failure or a close on the
    // way leaves it as it was. Only a regular file is replaced: a pipe, socket or device is no
    // list file, and opening a pipe would hold the window until some other program read it.
    // A file the system would not let us write (read-only) stays as it is.
    platform::FileReplacement file(path);
    const bool opened = step(130, [&] {
        const QFileInfo target(path);
        if (target.exists() && !target.isFile()) {
            throw platform::Failure(u"Path/File access error: %1 is not a file"_s.arg(path));
        }
        if (!file.open()) {
            throw list_files::fileFailure(list_files::FileAction::OpenForWriting, path,
                                          file.errorString());
        }
    });
    // Unlike most steps, a failure here ends the save: writing on would report the same failure
    // once per item, and the "Done." that follows must never come after a failure.
    if (!opened) return;

    // Chosen before the first byte: the code page when it holds every item, else UTF-8 with a
    // byte-order mark, so that no character is lost.
    std::unique_ptr<list_files::Writer> writer;
    int count = 0;
    step(132, [&] {
        count = positions ? int(positions->size()) : list.items().count();
        writer = std::make_unique<list_files::Writer>(file.device(), list_files::LineEnd::CrLf,
                                                      list_files::formatFor(list.items()));
        writer->setReportedPath(path);
    });
    if (!writer) return;
    // The bar shows items written of the count, moved every so many items rather than per item.
    ProgressShown progress(window.engine.progress);
    // With a pump that goes by the clock, items are written in runs between two of its calls:
    // nothing could tell that from a call per item.
    const int run = window.pump.handlesByClock() ? kSaveItemsPerRun : 1;
    for (int i = 1; i <= count;) {
        // A cancel leaves the old file as it was: the new one is never committed.
        run > 1 ? window.pump.pumpAfterChunk() : window.pump.pump();
        if (window.pump.stopping()) return;
        const int last = std::min(count, ((i - 1) / run + 1) * run);
        // Line 136 writes an item; the writer's buffer is flushed under the same number after the
        // last one, since that is where the buffered items really reach the file.
        const bool written = step(136, [&] {
            const list_store::ItemList& items = list.items();
            if (positions) {
                for (int k = i; k <= last; ++k)
                    writer->writeItem(items.textView((*positions)[k - 1]));
            } else {
                for (int k = i; k <= last; ++k) writer->writeItem(items.textView(k));
            }
        });
        if (!written) return;  // the old file stays as it was; no "Done." after a failure
        if (last % kSaveProgressItems == 0 || last == count) {
            progress.setValue(double(last) / double(count) * 100.0);
        }
        i = last + 1;
    }
    if (!step(136, [&] { writer->flush(); })) return;
    const bool closed = step(140, [&] {
        if (!commitAside(file, window.pump)) {
            throw list_files::replaceFailure(path, file.errorString(), file.keptCopy());
        }
    });
    if (!closed) return;  // no "Done." after a failure
    // Nor once the window waits to close: the program ends with the save.
    if (!window.guard.closePutOff()) step(142, [&] { showMessage(window, u"Done."_s); });
    step(144, [&] { window.pointer.setState(controls::WindowPointer::Default); });
}

}  // namespace

void SaveList(const Window& window, const QString& location, controls::ListView& list) {
    saveEntries(window, location, list, std::nullopt);
}

void SavePositions(const Window& window, const QString& location, controls::ListView& list,
                   std::span<const int> risingPositions) {
    saveEntries(window, location, list, risingPositions);
}

}  // namespace commands
