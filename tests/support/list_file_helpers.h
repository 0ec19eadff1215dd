#pragma once

#include <QBuffer>
#include <QStringList>

#include "commands/list_file.h"
#include "platform/list_model.h"

// The bytes the list file writer makes of the items, in the format the save command would choose
// for them: the code page when it holds every item, else UTF-8 with a byte-order mark.
inline QByteArray writeItems(const QStringList& items,
                             listfile::LineEnd lineEnd = listfile::LineEnd::CrLf,
                             unsigned codePage = listfile::kUtf8CodePage) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    platform::ListModel list;
    for (const QString& item : items) list.append(item);
    listfile::Writer writer(buffer, lineEnd, listfile::formatFor(list, codePage), codePage);
    for (const QString& item : items) writer.writeItem(item);
    writer.flush();
    return buffer.data();
}
