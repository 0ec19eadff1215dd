#pragma once

#include <functional>

#include <QPointer>
#include <QWidget>
#include <random>

#include "platform/services.h"

namespace platform {

class QtMessageBoxes : public MessageBoxes {
public:
    explicit QtMessageBoxes(QWidget* parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget* parent) { m_parent = parent; }
    Answer show(const MessageRequest& request) override;

private:
    QPointer<QWidget> m_parent;
};

class QtInputBoxes : public InputBoxes {
public:
    explicit QtInputBoxes(QWidget* parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget* parent) { m_parent = parent; }
    QString ask(const QString& caption, const QString& prompt) override;

private:
    QPointer<QWidget> m_parent;
};

class QtFileDialogs : public FileDialogs {
public:
    explicit QtFileDialogs(QWidget* parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget* parent) { m_parent = parent; }
    QString showOpen(const FileDialogRequest& request) override;
    QString showSave(const FileDialogRequest& request) override;

private:
    QPointer<QWidget> m_parent;
};

// The platform's per-user store (the registry on Windows, a file under ~/.config elsewhere).
class QtSettingsStore : public SettingsStore {
public:
    std::optional<QString> read(const QString& application, const QString& section,
                                const QString& key) override;
    void write(const QString& application, const QString& section, const QString& key,
               const QString& value) override;
};

class SystemClipboard : public Clipboard {
public:
    QString text() const override;
    void setText(const QString& text) override;
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

// On Windows the address goes to `explorer`, which hands it to the user's browser; elsewhere to
// the desktop's URL handler.
class DesktopLauncher : public Launcher {
public:
    using Start = std::function<bool(const ShellCommand&)>;
    DesktopLauncher();
    // Starts shell commands through `start`, so a test can see what would be started.
    explicit DesktopLauncher(Start start) : m_start(std::move(start)) {}
    bool openAddress(const QString& address) override;

private:
    Start m_start;
};

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

// Whether the pattern `*.*` matches names without a dot, as it does on Windows only.
#ifdef Q_OS_WIN
inline constexpr bool kStarDotStarMatchesAll = true;
#else
inline constexpr bool kStarDotStarMatchesAll = false;
#endif

// "Text Files (*.txt)|*.txt|All Files (*.*)|*.*|" as Qt's "Text Files (*.txt);;All Files (*.*)".
// Where `*.*` would not match every name it becomes `*`, so "All Files" lists every file.
QString qtFilterFrom(const QString& filter, bool starDotStarMatchesAll = kStarDotStarMatchesAll);

// Text with CR LF or bare CR line breaks, as a widget shows it.
QString withLineBreaks(const QString& text);

}  // namespace platform
