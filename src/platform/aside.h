#pragma once

#include <functional>

namespace platform {

// Runs `work` on a thread of its own and calls `between` on this one every few milliseconds
// until the work is done, so that the window can handle its events meanwhile; then rethrows
// what the work threw. The work must not touch anything `between` may change.
void runAside(const std::function<void()>& work, const std::function<void()>& between);

}  // namespace platform
