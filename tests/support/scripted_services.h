#pragma once

#include <QList>
#include <QMap>
#include <QStringList>
#include <QWidget>
#include <deque>
#include <functional>
#include <optional>

#include "controls/skin.h"
#include "platform/failure.h"
#include "platform/services.h"

using namespace Qt::Literals::StringLiterals;

// Scripted seams of the window for tests: each answers from a queue and records what was shown.

class ScriptedMessages : public platform::MessageBoxes {
public:
    platform::Answer show(const platform::MessageRequest& request) override {
        shown.append(request);
        if (onShow) onShow(request);
        if (answers.empty())
            return request.buttons == platform::Buttons::Ok ? platform::Answer::Ok
                                                            : unscriptedAnswer;
        const platform::Answer answer = answers.front();
        answers.pop_front();
        return answer;
    }
    QStringList texts() const {
        QStringList result;
        for (const auto& request : shown) result.append(request.text);
        return result;
    }
    QList<platform::MessageRequest> errorReports() const {
        QList<platform::MessageRequest> result;
        for (const auto& request : shown) {
            if (request.caption == u"Application Error"_s) result.append(request);
        }
        return result;
    }
    QList<platform::MessageRequest> shown;
    std::deque<platform::Answer> answers;
    std::function<void(const platform::MessageRequest&)> onShow;
    // The answer to a question once the queue is empty.
    platform::Answer unscriptedAnswer = platform::Answer::No;
};

class ScriptedInput : public platform::InputBoxes {
public:
    struct Asked {
        QString caption;
        QString prompt;
    };
    QString ask(const QString& caption, const QString& prompt) override {
        asked.append({caption, prompt});
        if (answers.empty()) return {};
        QString answer = answers.front();
        answers.pop_front();
        return answer;
    }
    QList<Asked> asked;
    std::deque<QString> answers;
};

class ScriptedDialogs : public platform::FileDialogs {
public:
    QString showOpen(const platform::FileDialogRequest& request) override {
        opened.append(request);
        return next();
    }
    QString showSave(const platform::FileDialogRequest& request) override {
        saved.append(request);
        return next();
    }
    QList<platform::FileDialogRequest> opened;
    QList<platform::FileDialogRequest> saved;
    std::deque<QString> answers;

private:
    QString next() {
        if (answers.empty()) return {};
        QString answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

class MemorySettings : public platform::SettingsStore {
public:
    std::optional<QString> read(const QString& application, const QString& section,
                                const QString& key) override {
        const auto found = values.find(application + u'/' + section + u'/' + key);
        if (found == values.end()) return std::nullopt;
        return *found;
    }
    void write(const QString& application, const QString& section, const QString& key,
               const QString& value) override {
        if (refuseWrites) throw platform::Failure(u"Permission denied"_s);
        writes.append(value);
        values.insert(application + u'/' + section + u'/' + key, value);
    }
    QMap<QString, QString> values;
    QStringList writes;
    bool refuseWrites = false;
};

class MemoryClipboard : public platform::Clipboard {
public:
    QString text() const override { return held; }
    void setText(const QString& text) override {
        held = text;
        ++sets;
    }
    QString held;
    int sets = 0;
};

class RecordingLauncher : public platform::Launcher {
public:
    bool openAddress(const QString& address) override {
        opened.append(address);
        return succeed;
    }
    QStringList opened;
    bool succeed = true;
};

class FixedClock : public platform::Clock {
public:
    float secondsSinceMidnight() const override { return seconds; }
    float seconds = 43200.5f;
};

class ScriptedRandom : public platform::RandomSource {
public:
    void seed(float value) override { seeds.append(value); }
    float next() override { return drawn; }
    QList<float> seeds;
    float drawn = 0.5f;
};

// The program's own skin engine, with option 4 set before start-up, so that a test can see that
// start-up adds option 1 and keeps the others.
class TestSkin : public controls::StyleSheetSkin {
public:
    TestSkin() { SetOptions(4); }
};
