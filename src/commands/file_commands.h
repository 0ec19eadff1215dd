#pragma once

#include <QIODevice>
#include <span>

#include "commands/command_context.h"
#include "platform/paths.h"

namespace commands {

extern const int kFileDialogFlags;
extern const QString kListFileFilter;

// Appends every line of one or several chosen files to `list`.
void LoadList(const Window& window, const QString& location, controls::ListView& list);

// Appends every line of files dropped onto `list`, exactly as if they had been chosen together
// in the load dialog; `location` is the drop handler's, which its failures name.
void LoadDroppedFiles(const Window& window, const QString& location, controls::ListView& list,
                      const QStringList& paths);

// Appends every line of files named when the program started to `list`, as one load that chose
// them together in the dialog would: `location` is that list's load command's. False when the
// load was cancelled or the window closed, or another long command ran.
bool LoadFiles(const Window& window, const QString& location, controls::ListView& list,
               const QStringList& paths);

// How far a load has got, shown as bytes read of the bytes of every file chosen.
class LoadProgress {
public:
    LoadProgress(platform::ProgressSink& sink, qint64 totalBytes)
        : m_sink(sink), m_total(totalBytes) {}
    // Bytes of the current file read so far.
    void read(qint64 bytes);
    // The current file is done after `bytes`.
    void fileDone(qint64 bytes) { m_done += bytes; }

private:
    platform::ProgressSink& m_sink;
    qint64 m_total;
    qint64 m_done = 0;
};

// Appends every line of the file to `list`; "File not found" when there is none. Other failures
// go to the caller's step.
void LoadListFromFile(const Window& window, list_store::ItemList& list, const QString& path,
                      LoadProgress* progress = nullptr);

// Appends every line the device gives; a failure of the device goes to the caller's step, named
// by `path` when one is given, and the lines read before it stay.
void LoadListFromDevice(const Window& window, list_store::ItemList& list, QIODevice& device,
                        const QString& path = {}, LoadProgress* progress = nullptr);

// Writes every entry of `list` to a chosen file, one per line.
void SaveList(const Window& window, const QString& location, controls::ListView& list);
// The same for the entries of `list` at the given positions, rising, in their order: the same
// dialog, questions, format and reports.
void SavePositions(const Window& window, const QString& location, controls::ListView& list,
                   std::span<const int> risingPositions);

}  // namespace commands
