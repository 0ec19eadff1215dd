#pragma once

#include "platform/pointer.h"

namespace shell {

// The pointer follows what lies under it: the hand over what can be clicked, the standard
// pointer elsewhere, and the busy pointer is never replaced.
class PointerFeedback {
public:
    explicit PointerFeedback(platform::WindowPointer& pointer) : m_pointer(pointer) {}

    void overClickable() { setUnlessBusy(platform::WindowPointer::Custom); }
    void overBackground() { setUnlessBusy(platform::WindowPointer::Default); }

private:
    void setUnlessBusy(platform::WindowPointer::State state) {
        if (m_pointer.state() != platform::WindowPointer::Busy) m_pointer.setState(state);
    }

    platform::WindowPointer& m_pointer;
};

}  // namespace shell
