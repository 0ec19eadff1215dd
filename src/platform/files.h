#pragma once

#include <QString>

namespace platform {

// True when the file system can report a modification time for the path; false on any failure.
bool FileExists(const QString& path);

// The folder that holds the program file, without a trailing separator.
QString programFolder();

// The platform's path separator, as a string for plain concatenation.
QString pathSeparator();

}  // namespace platform
