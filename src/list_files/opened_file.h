#pragma once

#include <QFileDevice>
#include <QIODevice>
#include <QString>

namespace list_files {

// What a regular file was when reading began: at its end, a file that is shorter than it was, or
// whose name now stands for another file, has changed under the reader, and what was read is no
// list the file ever held (a line torn off, or the start of one file and the end of another).
// A file that grows is read to its end; a pipe, and a file that reports no size (as those under
// /proc do), cannot be told and are read as they come.
class OpenedFile {
public:
    // Notes what `device` is now, as it is opened for reading.
    explicit OpenedFile(const QIODevice& device);
    // What `earlier` noted, for another descriptor of the same file read to its end.
    OpenedFile(const OpenedFile& earlier, const QIODevice& device);

    // Whether the file has changed, now that it has been read to its end.
    bool changed() const;

private:
    // Where reading stopped, counted from the file's start also when the descriptor was handed
    // over part-way through (standard input).
    qint64 endReached() const;

    const QFileDevice* m_file = nullptr;
    int m_handle = -1;
    qint64 m_size = 0;
    QString m_name;
    bool m_identified = false;
    quint64 m_device = 0;
    quint64 m_inode = 0;
};

}  // namespace list_files
