#pragma once

#include <QElapsedTimer>

namespace platform {

// Lets the window handle its pending events from inside long work.
class EventPump {
public:
    virtual ~EventPump() = default;
    // Called wherever the window may handle its pending events; the implementation decides how
    // often it really does, so callers may call it once per item.
    virtual void pump() = 0;
    // As pump(), for a caller that calls it only after a large piece of work (a chunk of a file)
    // rather than once per item: such calls are too few for their count to tell the time passed.
    virtual void pumpAfterChunk() { pump(); }
    // True when the implementation handles events once enough time has passed, whichever call
    // that falls on: long work may then handle a run of items with one pumpAfterChunk() instead
    // of a pump() for each, as nothing could have told those calls apart.
    virtual bool handlesByClock() const { return false; }
    // True once the window has been closed: long work stops at its next step.
    virtual bool closing() const = 0;
    // The window was closed: from now on closing() is true.
    virtual void requestClose() {}

    // The user cancelled the running long command: it stops at its next step and takes back
    // what it did. Unlike a close, this ends only that command.
    bool cancelled() const { return m_cancelled; }
    void requestCancel() { m_cancelled = true; }
    void clearCancel() { m_cancelled = false; }
    // Long work stops at its next step when either holds.
    bool stopping() const { return m_cancelled || closing(); }

private:
    bool m_cancelled = false;
};

// Processes pending events at most about every 10 ms and, as long as pump() is called often,
// at least every 30 ms of work; between those it only counts calls, so it costs next to nothing.
class ThrottledEventPump : public EventPump {
public:
    ThrottledEventPump();

    void pump() override;
    // Looks at the clock on every call.
    void pumpAfterChunk() override;
    bool handlesByClock() const override { return true; }
    bool closing() const override { return m_closing; }
    void requestClose() override { m_closing = true; }

private:
    void processNow();

    QElapsedTimer m_sinceProcessed;
    unsigned m_calls = 0;
    bool m_closing = false;
};

}  // namespace platform
