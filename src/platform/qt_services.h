#pragma once

#include <QString>
#include <random>

#include "platform/services.h"

namespace platform {

// The platform's per-user store (the registry on Windows, a file under ~/.config elsewhere).
class QtSettingsStore : public SettingsStore {
public:
    std::optional<QString> read(const QString& application, const QString& section,
                                const QString& key) override;
    void write(const QString& application, const QString& section, const QString& key,
               const QString& value) override;
};

// A program started through the shell: its name, its command line after the name, and whether
// its window starts minimized (and active).
struct ShellCommand {
    QString program;
    QString arguments;
    bool minimized = false;
};

// Starts the command without waiting for it; false when it could not be started.
bool startShellCommand(const ShellCommand& command);

class SystemClock : public Clock {
public:
    float secondsSinceMidnight() const override;
};

class SeededRandom : public RandomSource {
public:
    void seed(float seed) override;
    float next() override;

private:
    std::minstd_rand m_engine;
};

}  // namespace platform
