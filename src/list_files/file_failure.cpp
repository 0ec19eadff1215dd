#include "list_files/file_failure.h"

#include <QDir>
#include <QFileDevice>

using namespace Qt::Literals::StringLiterals;

namespace list_files {

QString failureReason(const QIODevice& device, int systemError) {
    const auto* file = qobject_cast<const QFileDevice*>(&device);
    const bool kept =
        file ? file->error() != QFileDevice::NoError : !device.errorString().isEmpty();
    // A device that failed without saying why leaves QIODevice's "Unknown error".
    if (kept && device.errorString() != u"Unknown error") return device.errorString();
    if (systemError != 0) return qt_error_string(systemError);
    return u"The device gave no reason"_s;
}

platform::Failure fileFailure(FileAction action, const QString& path, const QString& reason) {
    // By FileAction, in its order.
    static const char16_t* const kFailed[] = {
        u"could not be opened for reading", u"could not be read",
        u"could not be opened for writing", u"could not be written",
        u"could not be replaced",
    };
    const QString failed = QString::fromUtf16(kFailed[int(action)]);
    return platform::Failure(
        u"Path/File access error: %1 %2: %3"_s.arg(QDir::toNativeSeparators(path), failed, reason));
}

platform::Failure deviceFailure(const QIODevice& device, FileAction action, int systemError,
                                const QString& path) {
    const QString reason = failureReason(device, systemError);
    if (path.isEmpty()) return platform::Failure(reason);
    return fileFailure(action, path, reason);
}

platform::Failure replaceFailure(const QString& path, const QString& reason,
                                 const QString& keptCopy) {
    if (keptCopy.isEmpty()) return fileFailure(FileAction::Replace, path, reason);
    return fileFailure(FileAction::Replace, path,
                       u"%1; its new content is kept in %2"_s.arg(reason, keptCopy));
}

platform::Failure changedFailure(const QString& path) {
    if (path.isEmpty()) return platform::Failure(u"changed while it was being read"_s);
    return platform::Failure(u"Path/File access error: %1 changed while it was being read"_s.arg(
        QDir::toNativeSeparators(path)));
}

}  // namespace list_files
