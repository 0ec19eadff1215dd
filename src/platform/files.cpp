#include "platform/files.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <algorithm>

namespace platform {

bool FileExists(const QString& path) {
    if (path.isEmpty() || path.contains(QChar(0))) return false;
    const QFileInfo info(path);
    return info.exists() && info.lastModified().isValid();
}

QString programFolder() {
    return QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
}

QString pathSeparator() {
    return QString(QDir::separator());
}

QString openDialogResult(const QStringList& files, QChar separator) {
    if (files.size() <= 1) return files.value(0);
    // The folder of a file in a root keeps its separator, as "C:\" or "/".
    const auto folderOf = [separator](const QString& file) {
        const qsizetype last = file.lastIndexOf(separator);
        QString folder = file.left(last);
        if (folder.isEmpty() || folder.endsWith(u':')) return file.left(last + 1);
        return folder;
    };
    const QString folder = folderOf(files.first());
    const bool oneFolder = std::all_of(files.begin(), files.end(), [&](const QString& file) {
        return file.lastIndexOf(separator) >= 0 && folderOf(file) == folder;
    });
    QStringList parts{oneFolder ? folder : QString()};
    for (const QString& file : files) {
        parts.append(oneFolder ? file.mid(file.lastIndexOf(separator) + 1) : file);
    }
    return parts.join(QChar(0));
}

QString openDialogResult(const QStringList& files) {
    QStringList native;
    native.reserve(files.size());
    for (const QString& file : files) native.append(QDir::toNativeSeparators(file));
    return openDialogResult(native, QDir::separator());
}

}  // namespace platform
