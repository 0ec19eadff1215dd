#include "platform/qt_services.h"

#include <QProcess>
#include <QSettings>
#include <QTime>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#endif
#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/failure.h"

using namespace Qt::Literals::StringLiterals;

namespace platform {

std::optional<QString> QtSettingsStore::read(const QString& application, const QString& section,
                                             const QString& key) {
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, application, section);
    const QVariant value = settings.value(key);
    if (!value.isValid()) return std::nullopt;
    return value.toString();
}

void QtSettingsStore::write(const QString& application, const QString& section, const QString& key,
                            const QString& value) {
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, application, section);
    settings.setValue(key, value);
    settings.sync();
    if (settings.status() != QSettings::NoError) {
        throw Failure(u"The setting %1 could not be stored"_s.arg(key));
    }
}

bool startShellCommand(const ShellCommand& command) {
    QProcess process;
    process.setProgram(command.program);
#ifdef Q_OS_WIN
    // The command line goes to the program exactly as written, quotes included.
    process.setNativeArguments(command.arguments);
    if (command.minimized) {
        process.setCreateProcessArgumentsModifier([](QProcess::CreateProcessArguments* arguments) {
            arguments->startupInfo->dwFlags |= STARTF_USESHOWWINDOW;
            arguments->startupInfo->wShowWindow = SW_SHOWMINIMIZED;
        });
    }
#else
    process.setArguments(QProcess::splitCommand(command.arguments));
#endif
    return process.startDetached();
}

float SystemClock::secondsSinceMidnight() const {
    return float(QTime::currentTime().msecsSinceStartOfDay()) / 1000.0f;
}

void SeededRandom::seed(float seed) {
    quint32 bits = 0;
    std::memcpy(&bits, &seed, sizeof bits);
    m_engine.seed(bits == 0 ? 1 : bits);
}

float SeededRandom::next() {
    const auto span = double(std::minstd_rand::max() - std::minstd_rand::min()) + 1.0;
    const float drawn = float(double(m_engine() - std::minstd_rand::min()) / span);
    return std::min(drawn, std::nextafter(1.0f, 0.0f));  // rounding to float must not reach 1
}

}  // namespace platform
