#pragma once

#include <QtGlobal>

namespace platform {

// The machine's physical memory in bytes; 0 when the system does not say.
qint64 physicalMemoryBytes();

}  // namespace platform
