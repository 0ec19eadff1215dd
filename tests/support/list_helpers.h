#pragma once

#include <QStringList>

#include "platform/item_list.h"

// Appends the texts to the list, one item each.
inline void fill(platform::ItemList& list, const QStringList& texts) {
    for (const QString& text : texts) list.append(text);
}

// The list's texts, in order.
inline QStringList textsOf(const platform::ItemList& list) {
    QStringList texts;
    for (int p = 1; p <= list.count(); ++p) texts.append(list.text(p));
    return texts;
}
