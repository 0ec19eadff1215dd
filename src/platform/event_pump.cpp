#include "platform/event_pump.h"

#include <QCoreApplication>

namespace platform {

namespace {
constexpr qint64 kInterval = 10;  // ms between processings
constexpr unsigned kCallsPerClockRead = 16;
}  // namespace

ThrottledEventPump::ThrottledEventPump() {
    m_sinceProcessed.start();
}

void ThrottledEventPump::pump() {
    if (++m_calls % kCallsPerClockRead != 0) return;
    if (m_sinceProcessed.elapsed() < kInterval) return;
    processNow();
}

void ThrottledEventPump::pumpAfterChunk() {
    if (m_sinceProcessed.elapsed() < kInterval) return;
    processNow();
}

void ThrottledEventPump::processNow() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    m_sinceProcessed.restart();
}

}  // namespace platform
