#include "platform/files.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace platform {

bool FileExists(const QString& path) {
    if (path.isEmpty() || path.contains(QChar(0))) return false;
    const QFileInfo info(path);
    return info.exists() && info.lastModified().isValid();
}

int openDescriptorNamedBy(const QString& path) {
#ifdef Q_OS_UNIX
    const auto isOpen = [](int fd) { return fd >= 0 && ::fcntl(fd, F_GETFD) != -1; };
    if (path == u"/dev/stdout") return isOpen(STDOUT_FILENO) ? STDOUT_FILENO : -1;
    if (path == u"/dev/stderr") return isOpen(STDERR_FILENO) ? STDERR_FILENO : -1;
    for (const QStringView prefix : {u"/dev/fd/", u"/proc/self/fd/"}) {
        if (!path.startsWith(prefix)) continue;
        bool number = false;
        const int fd = path.mid(prefix.size()).toInt(&number);
        if (number && isOpen(fd)) return fd;
    }
    // Another name for the file that output already goes to: replacing it would cut off what
    // was written there before and what the shell writes after.
    struct stat named {};
    if (::stat(QFile::encodeName(path).constData(), &named) != 0) return -1;
    for (const int fd : {STDOUT_FILENO, STDERR_FILENO}) {
        struct stat open {};
        if (::fstat(fd, &open) == 0 && open.st_dev == named.st_dev && open.st_ino == named.st_ino) {
            return fd;
        }
    }
#else
    Q_UNUSED(path);
#endif
    return -1;
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
