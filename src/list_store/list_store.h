#pragma once

#include <QtGlobal>
#include <functional>
#include <span>

#include "list_store/flat_array.h"
#include "list_store/item_list.h"
#include "list_store/text_block.h"

namespace list_store {

// Told of every change to a ListStore while attached to it, in the store's own compact form, so
// that the change can be taken back later. Removed texts are handed over, not copied again.
class ChangeRecorder {
public:
    virtual ~ChangeRecorder() = default;
    // `count` items taking `bytes` bytes of the store in all were appended.
    virtual void appended(int count, qint64 bytes) = 0;
    // The items at these positions (rising, counted as before the removal) were removed; `texts`
    // holds them in order.
    virtual void removed(FlatArray<int>&& risingPositions, TextBlock&& texts) = 0;
    // Every item was removed; `texts` holds them.
    virtual void cleared(TextBlock&& texts) = 0;
    // The items were put in another order: the item now at position k + 1 stood at `from[k]`.
    virtual void reordered(FlatArray<int>&& from) = 0;
    // Items were removed that could not be kept (no memory for them).
    virtual void lost() = 0;
    // Called between pieces of a long copy of items about to be removed, while the list is
    // still unchanged, so that the window can handle its events meanwhile.
    virtual void copying() {}
};

// Told of every change to a ListStore, in rows counted from 0, so that a view can follow it: a
// removal or insertion is told before and after it happens. Appended rows are told once they
// are there, and the watcher may make them known to its views later; before any other change,
// beforeChange() gives it the chance to do so, while the rows are still as the appends left them.
class StoreWatcher {
public:
    virtual ~StoreWatcher() = default;
    virtual void appended() = 0;
    virtual void beforeChange() = 0;
    virtual void removing(int first, int last) = 0;
    virtual void removed() = 0;
    virtual void inserting(int first, int last) = 0;
    virtual void inserted() = 0;
    // Any change at all, for changes too large or too scattered to tell row by row.
    virtual void resetting() = 0;
    virtual void wasReset() = 0;
    // Rows moved to these rows, keeping their number of rows.
    virtual void moved(int first, int last) = 0;
};

// The items of a list, stored compactly (see TextBlock), and every edit of them. Nothing is
// kept per item beyond the text and its end offset, so a list of millions of entries costs
// little more than its text.
class ListStore : public ItemList {
public:
    ListStore() = default;
    ListStore(const ListStore&) = delete;
    ListStore& operator=(const ListStore&) = delete;

    // ItemList
    int count() const override;
    ItemText textView(int position) const override;
    void textViews(int first, std::span<ItemText> out) const override;
    qint64 textLength(int first, int last) const override;
    void appendLines(QString& out, int first, int last, QStringView lineEnd) const override;
    void append(ItemText text) override;
    void appendBlock(const TextBlock& block) override;
    void takeBlock(TextBlock& block) override;
    void removeAt(int position) override;
    void removePositions(std::span<const int> risingPositions) override;
    // Beyond kMostRowsRemovedAtOnce items the kept ones slide down over the removed ones
    // kRowsPerRemovalStep rows at a time, lowest first, so that nothing is moved twice; between
    // steps the store has a gap between the items done and those still to come, which reads
    // skip.
    static constexpr qsizetype kMostRowsRemovedAtOnce = 1'000'000;
    static constexpr qsizetype kRowsPerRemovalStep = 250'000;
    // A long copy into or out of the list goes in pieces of at most this many rows and bytes,
    // with `between` called after each; the event pump looks at its clock there.
    static constexpr qsizetype kRowsPerPiece = 32'768;
    static constexpr qint64 kBytesPerPiece = qint64(1) << 20;
    // A new order for more items than this is worked out on a thread of its own.
    static constexpr qsizetype kMostRowsArrangedAtOnce = 100'000;
    void removePositionsInSteps(std::span<const int> risingPositions,
                                const std::function<void()>& between) override;
    void clear() override;
    void rearrange(TextBlock& arranged, FlatArray<int>&& from) override;
    void rearrangeInSteps(TextBlock& arranged, FlatArray<int>&& from,
                          const std::function<void()>& between) override;
    quint64 removalGeneration() const override { return m_removals; }
    quint64 changeGeneration() const override { return m_changes; }

    // While set, every change above is told to `recorder`; nullptr detaches it.
    void setRecorder(ChangeRecorder* recorder) { m_recorder = recorder; }
    ChangeRecorder* recorder() const { return m_recorder; }
    // While set, every change of any kind is told to `watcher`; nullptr detaches it.
    void setWatcher(StoreWatcher* watcher) { m_watcher = watcher; }

    // Bulk changes that take back or repeat recorded ones, each in one pass over the storage;
    // none is told to a recorder. Each throws Failure or std::bad_alloc before changing anything.
    //
    // Those given `between` go in steps on a long list, calling it after each (see
    // removePositionsInSteps()); nothing but reading may come between.
    //
    // Removes the items at the rising positions; their texts replace the content of `removed`.
    void takePositions(std::span<const int> risingPositions, TextBlock& removed,
                       const std::function<void()>& between = {});
    // Inserts the texts of `texts` so that afterwards they stand, in order, at the rising
    // positions given (one per text).
    void insertAt(std::span<const int> risingPositions, const TextBlock& texts,
                  const std::function<void()>& between = {});
    // Removes the last `count` items; their texts replace the content of `removed` unless it is
    // nullptr. The whole list gives up its storage as it is, without copying; a long tail is
    // copied out aside, and dropped texts are given back aside.
    void takeLast(int count, TextBlock* removed, const std::function<void()>& between = {});
    // Appends the texts of `texts`, which ends empty: an empty list takes its storage without
    // copying, a long block goes in pieces of at most kRowsPerPiece rows and kBytesPerPiece
    // bytes, so that a piece takes about a millisecond however long the texts are.
    void appendTaken(TextBlock& texts, const std::function<void()>& between = {});
    // Moves every item into `all`, replacing its content, without copying.
    void takeAll(TextBlock& all);
    // Gives an empty list the items of `all` without copying; `all` ends empty.
    void restoreAll(TextBlock& all);
    // Puts the items in another order in one pass: the item at position k + 1 afterwards is
    // the one at `from[k]` before; `from` names every position once.
    void reorder(std::span<const int> from, const std::function<void()>& between = {});
    // Takes back reorder(from): the item at position k + 1 goes back to position `from[k]`.
    void restoreOrder(std::span<const int> from, const std::function<void()>& between = {});

private:
    void checkPosition(int position) const {
        if (position < 1 || position > count()) [[unlikely]]
            throwNoPosition(position);
    }
    [[noreturn]] void throwNoPosition(int position) const;
    qint64 beginOf(qsizetype row) const { return stored::beginOf(m_store.m_ends.data(), row); }
    qint64 endOf(qsizetype row) const { return stored::offsetOf(m_store.m_ends[row]); }
    // Drops any padding after the last item.
    void trimBytes();
    // After items were appended: one more change, told to the watcher and the recorder.
    void appendedItems(int items, qint64 bytes);
    // The end (exclusive) of the piece of `block` that starts at row `first`: at most
    // kRowsPerPiece rows and, beyond its first row, kBytesPerPiece bytes.
    static qsizetype pieceEnd(const TextBlock& block, qsizetype first);
    // Appends the texts `first` to `end` (exclusive) of `block`, telling nobody.
    void appendRange(const TextBlock& block, qsizetype first, qsizetype end);
    // Lets the watcher catch up with appended rows before another change.
    void beforeChange() const {
        if (m_watcher) m_watcher->beforeChange();
    }
    // A change of every row at once, told to the watcher as a reset around `change`.
    template <typename Change>
    void changeAll(Change&& change);
    // Throws unless the positions rise strictly within 1 to `last`; a long check tells
    // `between` after each piece.
    void checkRising(std::span<const int> risingPositions, int last,
                     const std::function<void()>& between = {}) const;
    void checkArrangement(std::span<const int> from, qsizetype texts, qint64 units) const;
    void removeRuns(std::span<const int> risingPositions);
    void removeInStorage(std::span<const int> risingPositions);
    // Where a removal has got to: rows below writeRow are done, rows from readRow on not yet
    // looked at; `next` is the first removed position not yet passed.
    struct Compaction {
        qsizetype writeRow = 0;
        qint64 writeByte = 0;
        qsizetype readRow = 0;
        size_t next = 0;
    };
    Compaction startCompaction(std::span<const int> risingPositions) const;
    // Slides the kept rows below `end` down to the write position.
    void compact(std::span<const int> risingPositions, Compaction& at, qsizetype end);
    // The removal is over: the store ends at the write position.
    void finishCompaction(const Compaction& at);
    // The store's row for list row `row`, beyond the gap of a removal under way.
    qsizetype storedRow(qsizetype row) const { return row < m_gapAt ? row : row + m_gapRows; }
    void copyOut(std::span<const int> risingPositions, TextBlock& texts,
                 const std::function<void()>& between = {}) const;
    void removeInSteps(std::span<const int> risingPositions, const std::function<void()>& between);
    // Checks an insertion and makes room for it; throws before changing anything.
    void prepareInsertion(std::span<const int> risingPositions, const TextBlock& texts);
    // Inserts the texts `firstText` on at the positions, from the top down; see insertAt().
    // kInSteps is whether `between` is called: the one-pass kind has no step bookkeeping in its
    // loop over the runs.
    template <bool kInSteps>
    void insertFromTop(std::span<const int> risingPositions, const TextBlock& texts,
                       qsizetype firstText, bool tell, const std::function<void()>& between);
    // Replaces the storage with what `copy` builds from it, aside for a long list.
    void replaceInOnePass(const std::function<void(FlatArray<char>&, FlatArray<qint64>&)>& copy,
                          const std::function<void()>& between);
    void arrangedCopy(std::span<const int> from, FlatArray<char>& bytes,
                      FlatArray<qint64>& ends) const;
    void restoredCopy(std::span<const int> from, FlatArray<char>& bytes,
                      FlatArray<qint64>& ends) const;
    // Positions handled between two calls of a long copy's `between`.
    static constexpr size_t kPositionsPerPiece = size_t(1) << 15;
    // Keeps the texts at the positions for the recorder; false (and the recorder told) when
    // there is no memory for them.
    bool keepForRecorder(std::span<const int> risingPositions, FlatArray<int>& positions,
                         TextBlock& texts) const;

    TextBlock m_store;  // never with a text being built
    // During a removal in steps, m_gapRows stored rows from m_gapAt on belong to no item.
    qsizetype m_gapAt = 0;
    qsizetype m_gapRows = 0;
    quint64 m_removals = 0;
    quint64 m_changes = 0;
    ChangeRecorder* m_recorder = nullptr;
    StoreWatcher* m_watcher = nullptr;
};

}  // namespace list_store
