#include "shell/error_report.h"

using namespace Qt::Literals::StringLiterals;

namespace shell {

const QString kSupportAddress = u"support@kelvarn.example"_s;

QString ApplicationErrorText(const QString& description, const QString& location, int line) {
    return description + u"\r\n"_s + location + u"at line "_s + QString::number(line) + u"\r\r"_s +
           u"Please email screenshot of this message to "_s + kSupportAddress;
}

void ShowApplicationError(platform::MessageBoxes& messages, const QString& description,
                          const QString& location, int line) {
    platform::MessageRequest request;
    request.caption = u"Application Error"_s;
    request.text = ApplicationErrorText(description, location, line);
    request.buttons = platform::Buttons::Ok;
    request.icon = platform::Icon::Warning;
    request.defaultButton = platform::Answer::Ok;
    messages.show(request);
}

}  // namespace shell
