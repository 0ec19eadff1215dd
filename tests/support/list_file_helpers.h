#pragma once

#include <QBuffer>
#include <QStringList>

#include "commands/list_file.h"

// The bytes the list file writer makes of the items.
inline QByteArray writeItems(const QStringList& items) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    listfile::Writer writer(buffer);
    for (const QString& item : items) writer.writeItem(item);
    writer.flush();
    return buffer.data();
}
