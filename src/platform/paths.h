#pragma once

#include <QString>

namespace platform {

// Collapses the doubled separators that joining a folder and a name can leave, keeping the two
// that begin a network path: runs of two become one, of three two, of four two. Only the
// backslash begins a network path; with the slash a leading run is collapsed like any other.
QString RemoveDoubleBackslashes(const QString& path, QChar separator = u'\\');

}  // namespace platform
