#pragma once

#include <QBuffer>
#include <QStringList>

#include "list_files/encoding.h"
#include "list_files/writer.h"
#include "list_store/list_store.h"

// The bytes the list file writer makes of the items, in the format the save command would choose
// for them: the code page when it holds every item, else UTF-8 with a byte-order mark.
inline QByteArray writeItems(const QStringList& items,
                             list_files::LineEnd lineEnd = list_files::LineEnd::CrLf,
                             unsigned codePage = list_files::kUtf8CodePage) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    list_store::ListStore list;
    for (const QString& item : items) list.append(item);
    list_files::Writer writer(buffer, lineEnd, list_files::formatFor(list, codePage), codePage);
    for (const QString& item : items) writer.writeItem(item);
    writer.flush();
    return buffer.data();
}
