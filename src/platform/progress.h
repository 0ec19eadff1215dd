#pragma once

namespace platform {

// Where the list procedures show how far they have got, as a percentage.
class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    virtual void setValue(double percent) = 0;
};

}  // namespace platform
