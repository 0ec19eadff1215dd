#pragma once

#include <QStringList>

#include "list_store/item_list.h"
#include "list_store/text_block.h"

// Appends the texts to the list, one item each, in one change as a file's load makes it.
// Appending them one by one would tell the views of each row on its own; with no event loop
// running, Windows' event dispatcher keeps a queued entry for each restarted layout timer, and
// each append would take longer than the one before.
inline void fill(list_store::ItemList& list, const QStringList& texts) {
    list_store::TextBlock block;
    for (const QString& text : texts) block.add(text);
    list.appendBlock(block);
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
