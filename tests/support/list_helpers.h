#pragma once

#include <QStringList>

#include "list_store/item_list.h"

// Appends the texts to the list, one item each.
inline void fill(list_store::ItemList& list, const QStringList& texts) {
    for (const QString& text : texts) list.append(text);
}

// The list's texts, in order.
inline QStringList textsOf(const list_store::ItemList& list) {
    QStringList texts;
    for (int p = 1; p <= list.count(); ++p) texts.append(list.text(p));
    return texts;
}

// prefix + 0, prefix + step, ... below `count`; or, from `first`, the numbers from there on.
inline QStringList numbered(const QString& prefix, int count, int step = 1, int first = 0) {
    QStringList result;
    for (int i = first; i < first + count; i += step) result.append(prefix + QString::number(i));
    return result;
}
