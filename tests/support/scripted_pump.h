#pragma once

#include <functional>
#include <map>

#include "platform/event_pump.h"

// Counts the chances long work gives the window to handle events, and runs a chosen handler at a
// chosen one, as if the user had acted while events were processed.
class ScriptedPump : public platform::EventPump {
public:
    void pump() override {
        ++calls;
        const auto handler = handlers.find(calls);
        if (handler != handlers.end()) handler->second();
        if (everyPump) everyPump(calls);
    }
    // As the window's own pump, which work may call once per run of items.
    bool handlesByClock() const override { return byClock; }
    bool closing() const override { return isClosing; }
    void requestClose() override { isClosing = true; }
    void at(int call, std::function<void()> handler) { handlers[call] = std::move(handler); }

    int calls = 0;
    bool isClosing = false;
    bool byClock = false;
    std::map<int, std::function<void()>> handlers;
    std::function<void(int)> everyPump;
};
