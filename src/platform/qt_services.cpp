#include "platform/qt_services.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QProcess>
#include <QSettings>
#include <QTime>
#include <QUrl>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#endif
#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/failure.h"
#include "platform/files.h"

using namespace Qt::Literals::StringLiterals;

namespace platform {

QString withLineBreaks(const QString& text) {
    QString result = text;
    result.replace(u"\r\n"_s, u"\n"_s);
    result.replace(u'\r', u'\n');
    return result;
}

QString qtFilterFrom(const QString& filter, bool starDotStarMatchesAll) {
    const QStringList parts = filter.split(u'|');
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        if (parts.at(i).isEmpty()) continue;
        QString name = parts.at(i);
        QStringList patterns = parts.at(i + 1).split(u';', Qt::SkipEmptyParts);
        bool translated = false;
        for (QString& pattern : patterns) {
            if (!starDotStarMatchesAll && pattern.trimmed() == u"*.*") {
                pattern = u"*"_s;
                translated = true;
            }
        }
        const QString list = patterns.join(u' ');
        // Qt reads the patterns from the parentheses: add them when the name lacks them, and
        // show the translated ones where they were changed.
        const qsizetype open = name.lastIndexOf(u'(');
        if (open < 0) {
            name += u" ("_s + list + u')';
        } else if (translated) {
            name = name.left(open) + u'(' + list + u')';
        }
        entries.append(name);
    }
    return entries.join(u";;"_s);
}

Answer QtMessageBoxes::show(const MessageRequest& request) {
    QMessageBox box(request.icon == Icon::Warning ? QMessageBox::Warning : QMessageBox::NoIcon,
                    request.caption, withLineBreaks(request.text), QMessageBox::NoButton, m_parent);
    box.setTextFormat(Qt::PlainText);
    if (request.buttons == Buttons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(request.defaultButton == Answer::No ? QMessageBox::No
                                                                 : QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    const int result = box.exec();
    if (request.buttons == Buttons::Ok) return Answer::Ok;
    return result == QMessageBox::Yes ? Answer::Yes : Answer::No;
}

QString QtInputBoxes::ask(const QString& caption, const QString& prompt) {
    bool ok = false;
    const QString text =
        QInputDialog::getText(m_parent, caption, prompt, QLineEdit::Normal, QString(), &ok);
    return ok ? text : QString();
}

QString QtFileDialogs::showOpen(const FileDialogRequest& request) {
    const QStringList files = QFileDialog::getOpenFileNames(
        m_parent, request.title, request.fileName, qtFilterFrom(request.filter));
    return openDialogResult(files);
}

QString QtFileDialogs::showSave(const FileDialogRequest& request) {
    QFileDialog dialog(m_parent, request.title, request.fileName, qtFilterFrom(request.filter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // The command asks about overwriting itself, and the name is used exactly as typed.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setDefaultSuffix(QString());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return QDir::toNativeSeparators(dialog.selectedFiles().first());
}

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

QString SystemClipboard::text() const {
    return QGuiApplication::clipboard()->text(QClipboard::Clipboard);
}

void SystemClipboard::setText(const QString& text) {
    QGuiApplication::clipboard()->setText(text, QClipboard::Clipboard);
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

DesktopLauncher::DesktopLauncher() : m_start(startShellCommand) {}

bool DesktopLauncher::openAddress(const QString& address) {
#ifdef Q_OS_WIN
    return m_start({u"explorer"_s, u"\""_s + address + u"\""_s, true});
#else
    Q_UNUSED(m_start);
    return QDesktopServices::openUrl(QUrl(address));
#endif
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
