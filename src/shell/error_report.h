#pragma once

#include <QString>

#include "platform/services.h"
#include "platform/steps.h"

namespace shell {

extern const QString kSupportAddress;

// The report's text: the description, the procedure and line, and the request for a screenshot.
QString ApplicationErrorText(const QString& description, const QString& location, int line);

// Shows the "Application Error" box and returns once the user has closed it.
void ShowApplicationError(platform::MessageBoxes& messages, const QString& description,
                          const QString& location, int line);

// The report that every numbered procedure of the program uses.
class ApplicationErrorReport : public platform::ErrorReport {
public:
    explicit ApplicationErrorReport(platform::MessageBoxes& messages) : m_messages(messages) {}
    void show(const QString& description, const QString& location, int line) override {
        ShowApplicationError(m_messages, description, location, line);
    }

private:
    platform::MessageBoxes& m_messages;
};

}  // namespace shell
