#pragma once

#include <QString>
#include <QStringList>

namespace platform {

// True when the file system can report a modification time for the path; false on any failure.
bool FileExists(const QString& path);

// The descriptor of this process that `path` names: /dev/stdout, /dev/stderr, /dev/fd/N,
// /proc/self/fd/N for an open N, or any path to the very file that standard output or standard
// error is. -1 for every other path, and where the system has no such names.
int openDescriptorNamedBy(const QString& path);

// The folder that holds the program file, without a trailing separator.
QString programFolder();

// The platform's path separator, as a string for plain concatenation.
QString pathSeparator();

// The open dialog's result for the chosen files, given as full paths in native form: one path;
// or, for several in one folder, the folder and the bare names separated by NUL characters,
// folder first. Files from several folders come back as an empty folder followed by their full
// paths, in the order chosen.
QString openDialogResult(const QStringList& files, QChar separator);
// The same for files named in either separator form, as the dialog and a drop give them.
QString openDialogResult(const QStringList& files);

}  // namespace platform
