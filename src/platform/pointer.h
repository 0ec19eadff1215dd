#pragma once

#include <QCursor>
#include <QPointer>
#include <QWidget>
#include <optional>

namespace platform {

// The window's mouse pointer: 0 the standard pointer, 11 the busy pointer, 99 the custom image
// (the standard pointer while no image was loaded).
class WindowPointer {
public:
    static constexpr int Default = 0;
    static constexpr int Busy = 11;
    static constexpr int Custom = 99;

    explicit WindowPointer(QWidget& window) : m_window(&window) {}

    int state() const { return m_state; }
    void setState(int code);

    // Loads a Windows cursor file as the custom image, hotspot from the file's header.
    // Throws Failure when the file holds no loadable picture.
    void loadCustomImage(const QString& path);
    bool hasCustomImage() const { return m_custom.has_value(); }
    std::optional<QCursor> customImage() const { return m_custom; }

private:
    QPointer<QWidget> m_window;
    std::optional<QCursor> m_custom;
    int m_state = Default;
};

}  // namespace platform
