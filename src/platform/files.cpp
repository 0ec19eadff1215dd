#include "platform/files.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

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

}  // namespace platform
