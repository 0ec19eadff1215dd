#pragma once

#include "controls/pointer.h"

namespace shell {

// The pointer follows what lies under it: the hand over what can be clicked, the standard
// pointer elsewhere, and the busy pointer is never replaced.
class PointerFeedback {
public:
    explicit PointerFeedback(controls::WindowPointer& pointer) : m_pointer(pointer) {}

    void overClickable() { setUnlessBusy(controls::WindowPointer::Custom); }
    void overBackground() { setUnlessBusy(controls::WindowPointer::Default); }

private:
    void setUnlessBusy(controls::WindowPointer::State state) {
        if (m_pointer.state() != controls::WindowPointer::Busy) m_pointer.setState(state);
    }

    controls::WindowPointer& m_pointer;
};

}  // namespace shell
