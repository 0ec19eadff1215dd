#pragma once

#include <QCursor>
#include <QPointer>
#include <QWidget>
#include <optional>

namespace controls {

// The window's mouse pointer: the standard pointer, the busy pointer or the custom image (the
// standard pointer while no image was loaded).
class WindowPointer {
public:
    enum class State { Default = 0, Busy = 11, Custom = 99 };
    using enum State;

    explicit WindowPointer(QWidget& window) : m_window(&window) {}

    State state() const { return m_state; }
    void setState(State state);

    // Loads a Windows cursor file as the custom image, hotspot from the file's header.
    // Throws platform::Failure when the file holds no loadable picture.
    void loadCustomImage(const QString& path);
    bool hasCustomImage() const { return m_custom.has_value(); }
    std::optional<QCursor> customImage() const { return m_custom; }

private:
    QPointer<QWidget> m_window;
    std::optional<QCursor> m_custom;
    State m_state = Default;
};

}  // namespace controls
