#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>

#include "platform/qt_services.h"
#include "platform/services.h"

namespace controls {

class QtMessageBoxes : public platform::MessageBoxes {
public:
    explicit QtMessageBoxes(QWidget* parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget* parent) { m_parent = parent; }
    platform::Answer show(const platform::MessageRequest& request) override;

private:
    QPointer<QWidget> m_parent;
};

class QtInputBoxes : public platform::InputBoxes {
public:
    explicit QtInputBoxes(QWidget* parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget* parent) { m_parent = parent; }
    QString ask(const QString& caption, const QString& prompt) override;

private:
    QPointer<QWidget> m_parent;
};

class QtFileDialogs : public platform::FileDialogs {
public:
    explicit QtFileDialogs(QWidget* parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget* parent) { m_parent = parent; }
    QString showOpen(const platform::FileDialogRequest& request) override;
    QString showSave(const platform::FileDialogRequest& request) override;

private:
    QPointer<QWidget> m_parent;
};

class SystemClipboard : public platform::Clipboard {
public:
    QString text() const override;
    void setText(const QString& text) override;
};

// On Windows the address goes to `explorer`, which hands it to the user's browser; elsewhere to
// the desktop's URL handler.
class DesktopLauncher : public platform::Launcher {
public:
    using Start = std::function<bool(const platform::ShellCommand&)>;
    DesktopLauncher();
    // Starts shell commands through `start`, so a test can see what would be started.
    explicit DesktopLauncher(Start start) : m_start(std::move(start)) {}
    bool openAddress(const QString& address) override;

private:
    Start m_start;
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

}  // namespace controls
