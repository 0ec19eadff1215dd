#pragma once

#include <QString>
#include <cstdio>

#include "platform/steps.h"

// What the command line tells its user: one line each on standard error.
namespace cli {

enum Status { kDone = 0, kFileFailed = 1, kUsage = 2 };

// Writes the text in the system's encoding and flushes it.
void print(FILE* stream, const QString& text);

// Prints the usage problem and where to read more, in one line; returns kUsage.
int usageError(const QString& problem);

// The system's words for an errno value.
QString systemReason(int error);

// Failures, one line each. A file's failure names the file (the step's location); a failure
// inside the list procedures (in practice only a lack of memory) names the command instead,
// since their procedure names and line numbers mean nothing outside the window.
class Failures : public platform::ErrorReport {
public:
    explicit Failures(QString subject = {}) : m_subject(std::move(subject)) {}
    void show(const QString& description, const QString& location, int) override;
    bool any() const { return !m_lines.isEmpty(); }
    void print() const;

private:
    QString m_subject;
    QString m_lines;
};

}  // namespace cli
