#pragma once

#include <QString>
#include <QStringView>
#include <functional>
#include <span>
#include <utility>

#include "list_store/flat_array.h"
#include "list_store/item_text.h"

namespace list_store {

class TextBlock;

// The items of one list: texts addressed by 1-based position. An operation on a position that
// does not exist throws platform::Failure with a one-line description.
class ItemList {
public:
    virtual ~ItemList() = default;

    virtual int count() const = 0;
    // Valid until the list next changes.
    virtual ItemText textView(int position) const = 0;
    QString text(int position) const { return textView(position).toString(); }
    // The views of out.size() texts from position `first` on, all of which exist: one call for
    // a batch, where a pass over millions of entries would pay a call for each.
    virtual void textViews(int first, std::span<ItemText> out) const;

    // UTF-16 code units of the texts from position `first` to `last`, both included; valid
    // positions are the caller's to ensure.
    virtual qint64 textLength(int first, int last) const;
    // Appends the texts from `first` to `last` to `out`, each followed by `lineEnd`.
    virtual void appendLines(QString& out, int first, int last, QStringView lineEnd) const;

    virtual void append(ItemText text) = 0;
    virtual void appendBlock(const TextBlock& block) = 0;
    // As appendBlock(), but may take the block's storage instead of copying it, so that a line
    // of hundreds of megabytes is not held twice; the block is left empty.
    virtual void takeBlock(TextBlock& block);
    virtual void removeAt(int position) = 0;
    // Removes the given positions, strictly rising, in one pass.
    virtual void removePositions(std::span<const int> risingPositions) = 0;
    // The same, for a list held by a long command: a long list may give up its items in steps,
    // with `between` called after each. Between steps the list reads as the items of the steps
    // done gone and the others still there; nothing but reading may come between.
    virtual void removePositionsInSteps(std::span<const int> risingPositions,
                                        const std::function<void()>& between) {
        Q_UNUSED(between);
        removePositions(risingPositions);
    }
    virtual void clear() = 0;
    // Puts the items in another order as one change, for a list rearranged elsewhere (sorted):
    // `arranged` holds the same items in the new order, and the k-th of them (from 0) stood at
    // position `from[k]` before. `arranged` is left empty; `from` is taken, so that the change
    // can be taken back.
    virtual void rearrange(TextBlock& arranged, FlatArray<int>&& from) = 0;
    // The same for a list held by a long command: a long list may check the new order while
    // calling `between` now and then.
    virtual void rearrangeInSteps(TextBlock& arranged, FlatArray<int>&& from,
                                  const std::function<void()>& between) {
        Q_UNUSED(between);
        rearrange(arranged, std::move(from));
    }

    // Rises whenever items are removed, so that positions taken before can be told stale.
    virtual quint64 removalGeneration() const = 0;
    // Rises on every change.
    virtual quint64 changeGeneration() const = 0;
};

inline void ItemList::textViews(int first, std::span<ItemText> out) const {
    for (size_t k = 0; k < out.size(); ++k) out[k] = textView(first + int(k));
}

inline qint64 ItemList::textLength(int first, int last) const {
    qint64 length = 0;
    for (int position = first; position <= last; ++position) length += textView(position).size();
    return length;
}

inline void ItemList::appendLines(QString& out, int first, int last, QStringView lineEnd) const {
    for (int position = first; position <= last; ++position) {
        out.append(textView(position).toString());
        out.append(lineEnd);
    }
}

}  // namespace list_store
