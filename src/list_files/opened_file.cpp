#include "list_files/opened_file.h"

#include <QFile>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace list_files {

OpenedFile::OpenedFile(const QIODevice& device) {
    const auto* file = qobject_cast<const QFileDevice*>(&device);
    if (!file || device.isSequential() || !device.isOpen()) return;
    m_file = file;
    m_handle = file->handle();
    m_size = file->size();
    m_name = file->fileName();
#ifdef Q_OS_UNIX
    struct stat opened {};
    m_identified = m_handle >= 0 && ::fstat(m_handle, &opened) == 0 && S_ISREG(opened.st_mode);
    if (m_identified) {
        m_device = quint64(opened.st_dev);
        m_inode = quint64(opened.st_ino);
    }
#endif
}

OpenedFile::OpenedFile(const OpenedFile& earlier, const QIODevice& device) : OpenedFile(earlier) {
    const auto* file = qobject_cast<const QFileDevice*>(&device);
    if (!m_file || !file) return;
    m_file = file;
    m_handle = file->handle();
}

bool OpenedFile::changed() const {
    if (m_size > 0 && endReached() < m_size) return true;
#ifdef Q_OS_UNIX
    // Only a file that another has taken the place of; one merely removed was read whole.
    struct stat named {};
    if (m_identified && !m_name.isEmpty() &&
        ::stat(QFile::encodeName(m_name).constData(), &named) == 0) {
        return quint64(named.st_dev) != m_device || quint64(named.st_ino) != m_inode;
    }
#endif
    return false;
}

qint64 OpenedFile::endReached() const {
#ifdef Q_OS_UNIX
    if (m_handle >= 0) return qint64(::lseek(m_handle, 0, SEEK_CUR));
#endif
    return m_file ? m_file->pos() : 0;
}

}  // namespace list_files
