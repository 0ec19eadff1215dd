#pragma once

#include <QBuffer>
#include <QStringList>

#include "commands/list_file.h"

// The bytes the list file writer makes of the items.
inline QByteArray writeItems(const QStringList& items,
                             listfile::LineEnd lineEnd = listfile::LineEnd::CrLf) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    listfile::Writer writer(buffer, lineEnd);
    for (const QString& item : items) writer.writeItem(item);
    writer.flush();
    return buffer.data();
}
