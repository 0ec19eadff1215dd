#pragma once

#include <QFile>
#include <QString>
#include <QtGlobal>

namespace platform {

// Puts new content in the place of a file, so that at every moment either the old content or
// the complete new one can be found, and the file stays what it was to the system: its owner,
// group and mode, its other names (hard links), and the file a symbolic link points to.
//
// The content goes to a temporary file beside the old one, readable by this user alone, and is
// synced to the disk before anything else happens. Then, where the temporary file can be given
// the old file's owner, group and mode, it is renamed over the old file. Where it cannot (the
// file is another user's, or of a group this user is not in), where the file has other names,
// or where its folder holds no temporary file of ours (the copy is then made in the system's
// temporary folder), the old file is written over in place from the synced copy, which is
// removed afterwards, or kept and named when writing over the old file fails. On Windows the
// replace keeps the old file's attributes and security descriptor.
//
// A file this process may not write is refused, as opening it for writing would be.
class FileReplacement {
public:
    explicit FileReplacement(const QString& path);
    // Removes the temporary file, unless a failed commit kept it.
    virtual ~FileReplacement();
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    // Makes ready for the new content; false with errorString() set when the file may not be
    // written or nowhere can hold the copy.
    bool open();
    // Where the new content goes, once open.
    QIODevice& device() { return m_copy; }
    // Puts the new content in the file's place; false with errorString() set. The old file then
    // stands as it was, unless keptCopy() names the file that holds the new content.
    bool commit();

    // The system's words for the last failure.
    const QString& errorString() const { return m_error; }
    // After a failed commit: the temporary file left holding the whole new content, as the old
    // file may be half written over; empty otherwise.
    const QString& keptCopy() const { return m_kept; }

protected:
    // Writes `count` bytes of the new content at `offset` of the old file, when it is written
    // over in place; false with errno set on failure.
    virtual bool writeOver(const char* bytes, qint64 count, qint64 offset);

private:
    bool openCopy(const QString& folder, bool exists);
    bool fail(int error);
    bool failCommit(int error, bool keep);
    bool syncCopy();
    bool takesOwnerAndMode();
    bool renameOver();
    bool writeInPlace();

    QString m_path;  // the file whose content is replaced: a symbolic link's target
    QFile m_copy;    // the temporary file that takes the new content
    bool m_exists = false;
    bool m_inPlace = false;  // decided at open when the copy is made elsewhere
    bool m_committed = false;
    QString m_error;
    QString m_kept;
#ifdef Q_OS_UNIX
    int m_old = -1;  // the old file, opened for writing from the start
    unsigned m_owner = 0;
    unsigned m_group = 0;
    unsigned m_mode = 0;
    quint64 m_links = 1;
#else
    QFile m_old;  // the old file, opened when it is written over in place
#endif
};

}  // namespace platform
