#pragma once

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

class DesktopLauncher : public Launcher {
public:
    bool openAddress(const QString& address) override;
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

// "Text Files (*.txt)|*.txt|All Files (*.*)|*.*|" as Qt's "Text Files (*.txt);;All Files (*.*)".
QString qtFilterFrom(const QString& filter);

// Text with CR LF or bare CR line breaks, as a widget shows it.
QString withLineBreaks(const QString& text);

}  // namespace platform
