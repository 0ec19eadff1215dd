#pragma once

#include <QString>
#include <functional>

#include "cli/report.h"
#include "list_files/writer.h"
#include "list_store/list_store.h"

// The command line's list files: read from a file or standard input, written to a file or
// standard output.
namespace cli {

// "-": standard input, or standard output for -o.
inline const QString kStandardStream = QStringLiteral("-");

// How a failure names the input: its path, or "standard input".
QString inputName(const QString& path);

// Appends the lines of a list file, or of standard input, to `list`.
void load(const QString& path, list_store::ListStore& list, Failures& failures);

// Writes `list` to `path`, or to standard output when `path` is empty. A file is replaced only
// once every line is written, as the window's save does; a device is written directly.
void save(const QString& path, const list_store::ListStore& list, list_files::LineEnd lineEnd,
          Failures& failures);

// The same for lines that `write` hands to the writer; when it returns false (having reported
// why), nothing is replaced.
void saveWith(const QString& path, list_files::LineEnd lineEnd, list_files::SaveFormat format,
              Failures& failures, const std::function<bool(list_files::Writer&)>& write);

}  // namespace cli
