#include "controls/desktop_services.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QUrl>

#include "platform/files.h"

using namespace Qt::Literals::StringLiterals;
using platform::Answer;
using platform::Buttons;
using platform::FileDialogRequest;
using platform::Icon;
using platform::MessageRequest;
using platform::openDialogResult;

namespace controls {

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

QString SystemClipboard::text() const {
    return QGuiApplication::clipboard()->text(QClipboard::Clipboard);
}

void SystemClipboard::setText(const QString& text) {
    QGuiApplication::clipboard()->setText(text, QClipboard::Clipboard);
}

DesktopLauncher::DesktopLauncher() : m_start(platform::startShellCommand) {}

bool DesktopLauncher::openAddress(const QString& address) {
#ifdef Q_OS_WIN
    return m_start({u"explorer"_s, u"\""_s + address + u"\""_s, true});
#else
    Q_UNUSED(m_start);
    return QDesktopServices::openUrl(QUrl(address));
#endif
}

}  // namespace controls
