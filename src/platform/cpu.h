#pragma once

namespace platform {

// Code that ran before in this thread (a library's) may have left the upper halves of the
// vector registers in use. Until they are cleared, the processor makes every SSE instruction
// that follows pay for a change of state: reading a file of millions of lines took three times
// as long. Clears them, where the processor has them.
void clearUpperVectorState();

}  // namespace platform
