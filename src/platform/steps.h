#pragma once

#include <QString>
#include <utility>

#include "platform/event_pump.h"

namespace platform {

// Shows one failure of a numbered step to the user.
class ErrorReport {
public:
    virtual ~ErrorReport() = default;
    virtual void show(const QString& description, const QString& location, int line) = 0;
};

// The location a failure report names: "in Pellorin2021/08/31.<module>.<procedure> ".
QString procedureLocation(QStringView module, QStringView procedure);

// Runs the numbered steps of a procedure. A failure anywhere inside a step ends that step, is
// reported with the step's line, and the procedure goes on with its next step; nothing escapes to
// the caller. A failing condition counts as held, so the block it guards runs. Once the window
// is closing, remaining steps are skipped so that the program can end promptly; the steps of a
// long command are skipped as well once the command is cancelled. A short command that runs
// while a long one is being cancelled still runs to its end.
//
// The line numbers are the procedure's own, so that a report points at the same line as ever.
// Where one line does several things, several steps carry its number; where a procedure must not
// go on after a failure (it would act on what the failed step did not produce), it tests the
// step's result and returns, and says why.
//
//     Steps step(report, procedureLocation(u"Form1", u"PushButton1_Click"));
//     step(100, [&] { ListView1.clear(); });
class Steps {
public:
    enum class Work { Short, Long };

    Steps(ErrorReport& report, QString location, const EventPump* pump = nullptr,
          Work work = Work::Short)
        : m_report(report), m_location(std::move(location)), m_pump(pump), m_work(work) {}

    // True when the step ran to its end.
    template <typename Body>
    bool operator()(int line, Body&& body) {
        if (stopped()) return false;
        return runGuarded(line, [&] { std::forward<Body>(body)(); });
    }

    // A condition step: its value, or true when evaluating it failed.
    template <typename Condition>
    bool when(int line, Condition&& condition) {
        if (stopped()) return false;
        bool result = true;
        runGuarded(line, [&] { result = std::forward<Condition>(condition)(); });
        return result;
    }

    // Reports a failure at a line without running a step (for work split over several passes).
    void report(int line, const QString& description);

    // Asked before every step, so it stays inline.
    bool stopped() const {
        return m_pump && (m_work == Work::Long ? m_pump->stopping() : m_pump->closing());
    }
    const QString& location() const { return m_location; }

private:
    template <typename Body>
    bool runGuarded(int line, Body&& body);

    ErrorReport& m_report;
    QString m_location;
    const EventPump* m_pump;
    Work m_work;
};

QString describeCurrentException();

template <typename Body>
bool Steps::runGuarded(int line, Body&& body) {
    QString description;
    try {
        body();
        return true;
    } catch (...) {
        description = describeCurrentException();
    }
    report(line, description);
    return false;
}

}  // namespace platform
