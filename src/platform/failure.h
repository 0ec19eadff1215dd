#pragma once

#include <QString>
#include <exception>

namespace platform {

// A failure of an operation inside a numbered step. The step runner is the one place that catches
// it; everything else returns values.
class Failure : public std::exception {
public:
    explicit Failure(QString description) : m_description(std::move(description)) {}
    const QString& description() const { return m_description; }
    const char* what() const noexcept override { return "Quorvane step failure"; }

private:
    QString m_description;
};

}  // namespace platform
