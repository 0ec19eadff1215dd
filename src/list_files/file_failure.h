#pragma once

#include <QIODevice>
#include <QString>

#include "platform/failure.h"

namespace list_files {

// What went wrong with a file, as the error report names it.
enum class FileAction { OpenForReading, Read, OpenForWriting, Write, Replace };

// The device's own reason for its last failure, in the system's words ("No space left on
// device"). `systemError` is errno as it stood right after the failing call; it stands in when
// the device kept no reason of its own.
QString failureReason(const QIODevice& device, int systemError);

// "Path/File access error: <path> could not be read: <reason>", the path in native form.
platform::Failure fileFailure(FileAction action, const QString& path, const QString& reason);

// A failure of `device`: named by `path` when one is given, else the device's reason alone.
platform::Failure deviceFailure(const QIODevice& device, FileAction action, int systemError,
                                const QString& path);

// A file that could not be replaced: as fileFailure(), and where its new content is kept when
// the old file may be half written over: "…: <reason>; its new content is kept in <copy>".
platform::Failure replaceFailure(const QString& path, const QString& reason,
                                 const QString& keptCopy);

// A file that changed while it was read: "Path/File access error: <path> changed while it was
// being read", or without a path the reason alone.
platform::Failure changedFailure(const QString& path);

}  // namespace list_files
