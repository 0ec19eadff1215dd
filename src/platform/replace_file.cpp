#include "platform/replace_file.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif
#ifdef Q_OS_WIN
#include <io.h>
#include <windows.h>
#endif

using namespace Qt::Literals::StringLiterals;

namespace platform {

namespace {

// The piece of the copy written over the old file at a time.
constexpr qint64 kBlock = qint64(1) << 20;
// Names tried for the copy before giving up, should others of ours lie there already.
constexpr int kNameTries = 100;

#ifdef Q_OS_UNIX
// The content and what is needed to read it back (its size), not the file's times.
int syncData(int descriptor) {
#if defined(_POSIX_SYNCHRONIZED_IO) && _POSIX_SYNCHRONIZED_IO > 0
    return ::fdatasync(descriptor);
#else
    return ::fsync(descriptor);
#endif
}
#endif

// A link's target, followed to the end, so that the link stays and its file gets the content.
// A link that points nowhere makes the file where it points.
QString replacedPath(const QString& path) {
    const QFileInfo info(path);
    if (!info.isSymLink()) return path;
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? info.symLinkTarget() : canonical;
}

#ifdef Q_OS_WIN
int lastError() {
    return int(GetLastError());
}
#endif

}  // namespace

FileReplacement::FileReplacement(const QString& path) : m_path(replacedPath(path)) {}

FileReplacement::~FileReplacement() {
    const bool made = m_copy.isOpen() || !m_copy.fileName().isEmpty();
    m_copy.close();
    if (made && !m_committed && m_kept.isEmpty()) QFile::remove(m_copy.fileName());
#ifdef Q_OS_UNIX
    if (m_old >= 0) ::close(m_old);
#endif
}

bool FileReplacement::fail(int error) {
    m_error = qt_error_string(error);
    return false;
}

bool FileReplacement::open() {
    const QFileInfo target(m_path);
    m_exists = target.exists();
#ifdef Q_OS_UNIX
    if (m_exists) {
        // Held from here on: what is written in place goes to the very file that was checked.
        // Not blocking, so that a pipe put here meanwhile cannot hold the program.
        m_old = ::open(QFile::encodeName(m_path).constData(),
                       O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (m_old < 0) return fail(errno);
        struct stat old {};
        if (::fstat(m_old, &old) != 0) return fail(errno);
        if (!S_ISREG(old.st_mode)) return fail(EINVAL);
        m_owner = old.st_uid;
        m_group = old.st_gid;
        m_mode = old.st_mode & 07777;
        m_links = quint64(old.st_nlink);
    }
#else
    if (m_exists) {
        // Opening to append changes nothing, and fails as writing would.
        QFile probe(m_path);
        if (!probe.open(QIODevice::WriteOnly | QIODevice::Append)) {
            m_error = probe.errorString();
            return false;
        }
    }
#endif
    if (openCopy(target.absolutePath(), m_exists)) return true;
    // A file that may be written in a folder that holds no file of ours: the copy goes where the
    // system keeps temporary files, and the file is written over in place.
    if (!m_exists) return false;
    const QString reason = m_error;
    if (!openCopy(QDir::tempPath(), m_exists)) {
        m_error = reason;
        return false;
    }
    m_inPlace = true;
    return true;
}

bool FileReplacement::openCopy(const QString& folder, bool exists) {
    // Only this user may read the copy until it takes the old file's owner and mode; a new file
    // gets what any new file would.
    const QFileDevice::Permissions permissions =
        exists ? QFileDevice::ReadOwner | QFileDevice::WriteOwner
               : QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                     QFileDevice::WriteGroup | QFileDevice::ReadOther | QFileDevice::WriteOther;
    const QString name = QFileInfo(m_path).fileName();
    for (int tries = 0; tries < kNameTries; ++tries) {
        const QString candidate =
            folder + u'/' + name +
            u".new-%1"_s.arg(QRandomGenerator::global()->generate() % 0x1000000, 6, 16,
                             QChar(u'0'));
        m_copy.setFileName(candidate);
        if (m_copy.open(QIODevice::ReadWrite | QIODevice::NewOnly | QIODevice::Unbuffered,
                        permissions)) {
            return true;
        }
        m_error = m_copy.errorString();
        m_copy.setFileName(QString());
        // Another name is tried only when this one is taken.
        if (!QFileInfo(candidate).exists()) return false;
    }
    return fail(EEXIST);
}

bool FileReplacement::failCommit(int error, bool keep) {
    m_error = qt_error_string(error);
    if (keep) m_kept = QDir::toNativeSeparators(m_copy.fileName());
    return false;
}

bool FileReplacement::syncCopy() {
    if (!m_copy.flush()) return false;
#ifdef Q_OS_UNIX
    return syncData(m_copy.handle()) == 0;
#elif defined(Q_OS_WIN)
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(m_copy.handle()));
    return FlushFileBuffers(handle) != 0;
#else
    return true;
#endif
}

bool FileReplacement::commit() {
    errno = 0;
    if (!syncCopy()) return failCommit(errno != 0 ? errno : EIO, false);
#ifdef Q_OS_UNIX
    // A file removed meanwhile has nothing left to keep: written over, its content would be lost
    // with it. The copy takes its place, and is kept should even that fail.
    struct stat old {};
    if (m_exists && ::fstat(m_old, &old) == 0 && old.st_nlink == 0) {
        if (renameOver()) return true;
        m_kept = QDir::toNativeSeparators(m_copy.fileName());
        return false;
    }
#endif
    if (m_exists && (m_inPlace || !takesOwnerAndMode())) return writeInPlace();
    return renameOver();
}

bool FileReplacement::takesOwnerAndMode() {
#ifdef Q_OS_UNIX
    // A file with other names would keep the old content under them.
    if (m_links > 1) return false;
    const int copy = m_copy.handle();
    struct stat now {};
    if (::fstat(copy, &now) != 0) return false;
    if (now.st_uid != m_owner || now.st_gid != m_group) {
        // Only root gives a file away, and only a member gives it a group; some file systems
        // say yes and do nothing, hence the second look.
        if (::fchown(copy, m_owner, m_group) != 0 || ::fstat(copy, &now) != 0 ||
            now.st_uid != m_owner || now.st_gid != m_group) {
            return false;
        }
    }
    // After the owner: giving a file away clears its set-user and set-group bits.
    return ::fchmod(copy, m_mode) == 0;
#else
    // ReplaceFileW gives the new file the old one's attributes and security descriptor.
    return true;
#endif
}

bool FileReplacement::renameOver() {
    m_copy.close();
#ifdef Q_OS_UNIX
    if (::rename(QFile::encodeName(m_copy.fileName()).constData(),
                 QFile::encodeName(m_path).constData()) != 0) {
        return failCommit(errno, false);
    }
    // The old file's last reference: closing it frees its content, which for a file of a
    // gigabyte takes the system a third of a second. Here, in the commit, which callers may run
    // aside, rather than wherever this object is destroyed.
    if (m_old >= 0) {
        ::close(m_old);
        m_old = -1;
    }
#elif defined(Q_OS_WIN)
    const std::wstring copy = QDir::toNativeSeparators(m_copy.fileName()).toStdWString();
    const std::wstring target = QDir::toNativeSeparators(m_path).toStdWString();
    bool replaced = false;
    if (m_exists) {
        replaced = ReplaceFileW(target.c_str(), copy.c_str(), nullptr,
                                REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) != 0;
        const int error = lastError();
        // The old file may be gone already, the copy still under its own name: it is then all
        // there is of the file, moved into its place or else kept.
        if (!replaced && (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT ||
                          error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2)) {
            replaced = MoveFileExW(copy.c_str(), target.c_str(),
                                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
            if (!replaced) {
                m_error = qt_error_string(error);
                m_kept = QDir::toNativeSeparators(m_copy.fileName());
                return false;
            }
        }
        SetLastError(DWORD(error));
    } else {
        replaced = MoveFileExW(copy.c_str(), target.c_str(),
                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    }
    if (!replaced) {
        m_error = qt_error_string(lastError());
        return false;
    }
#else
    if (!QFile::rename(m_copy.fileName(), m_path)) {
        m_error = u"could not rename"_s;
        return false;
    }
#endif
    m_committed = true;
    return true;
}

bool FileReplacement::writeInPlace() {
    // From the first byte written over the old file until the last is on the disk, the copy is
    // all there is of the new content: it is kept should anything fail.
#ifdef Q_OS_WIN
    m_old.setFileName(m_path);
    if (!m_old.open(QIODevice::ReadWrite | QIODevice::ExistingOnly)) {
        m_error = m_old.errorString();
        return false;
    }
#endif
    const qint64 size = m_copy.size();
    if (!m_copy.seek(0)) return failCommit(EIO, false);
    std::vector<char> block(size_t(std::min(size, kBlock)));
    for (qint64 offset = 0; offset < size;) {
        const qint64 got = m_copy.read(block.data(), std::min(size - offset, kBlock));
        if (got <= 0) return failCommit(EIO, offset > 0);
        errno = 0;
        if (!writeOver(block.data(), got, offset)) return failCommit(errno ? errno : EIO, true);
        offset += got;
    }
    errno = 0;
#ifdef Q_OS_UNIX
    const bool finished = ::ftruncate(m_old, off_t(size)) == 0 && syncData(m_old) == 0;
#elif defined(Q_OS_WIN)
    const bool finished =
        m_old.resize(size) && m_old.flush() &&
        FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(m_old.handle()))) != 0;
    m_old.close();
#else
    const bool finished = m_old.resize(size) && m_old.flush();
#endif
    if (!finished) return failCommit(errno != 0 ? errno : EIO, true);
    m_committed = true;
    m_copy.close();
    QFile::remove(m_copy.fileName());
    return true;
}

bool FileReplacement::writeOver(const char* bytes, qint64 count, qint64 offset) {
#ifdef Q_OS_UNIX
    while (count > 0) {
        const ssize_t written = ::pwrite(m_old, bytes, size_t(count), off_t(offset));
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes += written;
        count -= written;
        offset += written;
    }
    return true;
#else
    return m_old.seek(offset) && m_old.write(bytes, count) == count;
#endif
}

}  // namespace platform
