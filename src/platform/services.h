#pragma once

#include <QString>
#include <optional>

// Everything modal or outside the process, behind small interfaces: production code implements
// them over Qt, tests script the answers and record what was shown.
namespace platform {

enum class Buttons { Ok, YesNo };
enum class Icon { None, Warning };
enum class Answer { Ok, Yes, No };

struct MessageRequest {
    QString caption;
    QString text;  // line breaks as CR LF or bare CR
    Buttons buttons = Buttons::Ok;
    Icon icon = Icon::None;
    Answer defaultButton = Answer::Ok;
};

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    virtual Answer show(const MessageRequest& request) = 0;
};

class InputBoxes {
public:
    virtual ~InputBoxes() = default;
    // The text entered after OK, the empty text after Cancel.
    virtual QString ask(const QString& caption, const QString& prompt) = 0;
};

// What a file dialog is asked to show; the filter is in "Name|pattern|Name|pattern|" form.
struct FileDialogRequest {
    QString fileName;
    int flags = 0;
    QString title;
    QString filter;
};

class FileDialogs {
public:
    virtual ~FileDialogs() = default;
    // One full path; or, for several files, the folder and the names separated by NUL
    // characters (an empty folder and full paths when they lie in several folders); the empty
    // text after Cancel.
    virtual QString showOpen(const FileDialogRequest& request) = 0;
    // The path as typed (no extension added, no overwrite question); empty after Cancel.
    virtual QString showSave(const FileDialogRequest& request) = 0;
};

class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    virtual std::optional<QString> read(const QString& application, const QString& section,
                                        const QString& key) = 0;
    // Throws Failure when the value could not be stored.
    virtual void write(const QString& application, const QString& section, const QString& key,
                       const QString& value) = 0;
};

// The system clipboard's text.
class Clipboard {
public:
    virtual ~Clipboard() = default;
    // The empty text when the clipboard holds no text.
    virtual QString text() const = 0;
    virtual void setText(const QString& text) = 0;
};

class Launcher {
public:
    virtual ~Launcher() = default;
    // Opens a web address in the user's browser; false when nothing could be started.
    virtual bool openAddress(const QString& address) = 0;
};

class Clock {
public:
    virtual ~Clock() = default;
    virtual float secondsSinceMidnight() const = 0;
};

class RandomSource {
public:
    virtual ~RandomSource() = default;
    virtual void seed(float seed) = 0;
    // A number from [0, 1).
    virtual float next() = 0;
};

}  // namespace platform
