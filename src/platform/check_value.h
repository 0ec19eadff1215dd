#pragma once

#include "platform/failure.h"

namespace platform {

// The value of a check box, numbered as it is stored in the settings.
enum class CheckValue { Unchecked = 0, Checked = 1, Grayed = 2 };

// The value a stored number stands for; throws Failure for a number the box does not take.
inline CheckValue checkValueFromNumber(int number) {
    if (number < 0 || number > 2) {
        throw Failure(QString::fromUtf16(u"Invalid property value"));
    }
    return CheckValue(number);
}

inline int numberOf(CheckValue value) {
    return int(value);
}

}  // namespace platform
