#pragma once

#include <QString>
#include <exception>

namespace platform {

// A failure of an operation, with the one-line description the user is shown. Operations that
// run inside numbered steps throw it to end their step, and some throw it on purpose to show a
// report with the description the user knows; the step runner is the one place that catches it.
class Failure : public std::exception {
public:
    explicit Failure(QString description) : m_description(std::move(description)) {}
    const QString& description() const { return m_description; }
    const char* what() const noexcept override { return "Quorvane step failure"; }

private:
    QString m_description;
};

}  // namespace platform
