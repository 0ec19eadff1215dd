#include "cli/list_io.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <memory>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

#include "list_files/reader.h"
#include "platform/failure.h"
#include "platform/files.h"
#include "platform/replace_file.h"

using namespace Qt::Literals::StringLiterals;

namespace cli {

QString inputName(const QString& path) {
    return path == kStandardStream ? u"standard input"_s : path;
}

void load(const QString& path, list_store::ListStore& list, Failures& failures) {
    platform::Steps step(failures, inputName(path));
    step(0, [&] {
        QFile file;
        bool opened = false;
        if (path == kStandardStream) {
            opened = file.open(stdin, QIODevice::ReadOnly, QFileDevice::DontCloseHandle);
        } else {
            // Opening a folder succeeds on some systems; reading it then fails obscurely.
            if (QFileInfo(path).isDir()) throw platform::Failure(systemReason(EISDIR));
            file.setFileName(path);
            opened = file.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
        }
        if (!opened) throw platform::Failure(file.errorString());
        list_files::appendAll(file, list);
    });
}

namespace {

// What the replacing would fail at, said as the system says it: the replacing would give its own
// words for a folder or a read-only file, and blame the file for a folder it cannot create a file
// in.
void refuseWhatCannotBeWritten(const QString& path) {
    const QFileInfo target(path);
    if (target.isDir()) throw platform::Failure(systemReason(EISDIR));
#ifdef Q_OS_UNIX
    if (target.exists()) {
        if (target.isFile() && ::access(QFile::encodeName(path).constData(), W_OK) != 0) {
            throw platform::Failure(systemReason(errno));
        }
        return;
    }
    const QString folder = target.absolutePath();
    if (QFileInfo(folder).isDir() &&
        ::access(QFile::encodeName(folder).constData(), W_OK | X_OK) != 0) {
        throw platform::Failure(u"cannot create a file in %1: %2"_s.arg(
            QDir::toNativeSeparators(folder), systemReason(errno)));
    }
#endif
}

}  // namespace

void save(const QString& path, const list_store::ListStore& list, list_files::LineEnd lineEnd,
          Failures& failures) {
    // As the window saves: in the code page when it holds every item, else UTF-8 with a mark.
    saveWith(path, lineEnd, list_files::formatFor(list), failures, [&](list_files::Writer& writer) {
        const int count = list.count();
        for (int i = 1; i <= count; ++i) writer.writeItem(list.textView(i));
        return true;
    });
}

void saveWith(const QString& path, list_files::LineEnd lineEnd, list_files::SaveFormat format,
              Failures& failures, const std::function<bool(list_files::Writer&)>& write) {
    platform::Steps step(failures, path.isEmpty() ? u"standard output"_s : path);
    step(0, [&] {
        QFile direct;
        std::unique_ptr<platform::FileReplacement> replacement;
        bool opened = false;
        const int descriptor = path.isEmpty() ? -1 : platform::openDescriptorNamedBy(path);
        if (path.isEmpty()) {
            opened = direct.open(stdout, QIODevice::WriteOnly, QFileDevice::DontCloseHandle);
        } else if (descriptor >= 0) {
            // Written through, as standard output is: the file behind it is not replaced.
            opened = direct.open(descriptor, QIODevice::WriteOnly | QIODevice::Unbuffered,
                                 QFileDevice::DontCloseHandle);
        } else {
            refuseWhatCannotBeWritten(path);
            const QFileInfo target(path);
            if (target.exists() && !target.isFile() && !target.isDir()) {
                direct.setFileName(path);
                opened = direct.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
            } else {
                replacement = std::make_unique<platform::FileReplacement>(path);
                if (!replacement->open()) throw platform::Failure(replacement->errorString());
                opened = true;
            }
        }
        if (!opened) throw platform::Failure(direct.errorString());
        QIODevice& device = replacement ? replacement->device() : direct;
        list_files::Writer writer(device, lineEnd, format);
        // Given up: what was there stays.
        if (!write(writer)) return;
        writer.flush();
        if (replacement && !replacement->commit()) {
            const QString& kept = replacement->keptCopy();
            throw platform::Failure(kept.isEmpty() ? replacement->errorString()
                                                   : u"%1; its new content is kept in %2"_s.arg(
                                                         replacement->errorString(), kept));
        }
    });
}

}  // namespace cli
