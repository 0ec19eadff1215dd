#pragma once

#include <QAbstractTableModel>
#include <QStringList>

#include "platform/flat_array.h"
#include "platform/item_list.h"

namespace platform {

// Many texts stored back to back: one buffer of UTF-16 code units and one end offset per text.
class TextBlock {
public:
    qsizetype count() const { return m_ends.size(); }
    bool isEmpty() const { return m_ends.isEmpty(); }
    qsizetype charCount() const { return m_chars.size(); }
    QStringView text(qsizetype index) const {
        const qint64 begin = index == 0 ? 0 : m_ends[index - 1];
        return QStringView(m_chars.data() + begin, m_ends[index] - begin);
    }
    void add(QStringView text) {
        m_chars.append(text.utf16(), text.size());
        m_ends.append(m_chars.size());
    }
    // Builds the next text in pieces: appendToLast() adds code units, finishText() closes it.
    void appendToLast(QStringView piece) { m_chars.append(piece.utf16(), piece.size()); }
    void appendToLast(char16_t unit) { m_chars.append(unit); }
    void finishText() { m_ends.append(m_chars.size()); }
    qsizetype pendingLength() const {
        return m_chars.size() - (m_ends.isEmpty() ? 0 : m_ends.last());
    }
    // Keeps the storage, so that a block refilled again and again (a file read chunk by chunk)
    // allocates only once.
    void clear() {
        m_chars.resize(0);
        m_ends.resize(0);
    }
    void reserve(qsizetype texts, qsizetype chars) {
        m_ends.reserve(texts);
        m_chars.reserve(chars);
    }

private:
    friend class ListModel;
    FlatArray<char16_t> m_chars;
    FlatArray<qint64> m_ends;
};

// The items of a list control: a table model of one column over flat storage, so that a list
// of millions of entries costs little more than its text.
class ListModel : public QAbstractTableModel, public ItemList {
    Q_OBJECT

public:
    explicit ListModel(QObject* parent = nullptr);

    // ItemList
    int count() const override;
    QStringView textView(int position) const override;
    void append(QStringView text) override;
    void appendBlock(const TextBlock& block) override;
    void removeAt(int position) override;
    void removePositions(std::span<const int> risingPositions) override;
    void clear() override;
    quint64 removalGeneration() const override { return m_removals; }
    quint64 changeGeneration() const override { return m_changes; }

    // The report view's columns; the items show in the first.
    void addColumn(const QString& header);
    int columnTotal() const { return int(m_headers.size()); }
    QString columnHeader(int column) const;

    // QAbstractItemModel
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    void checkPosition(int position) const {
        if (position < 1 || position > m_ends.size()) [[unlikely]]
            throwNoPosition(position);
    }
    [[noreturn]] void throwNoPosition(int position) const;
    qint64 beginOf(qsizetype row) const { return row == 0 ? 0 : m_ends[row - 1]; }
    void removeInStorage(std::span<const int> risingPositions);

    FlatArray<char16_t> m_chars;
    FlatArray<qint64> m_ends;  // end offset of each item in m_chars
    QStringList m_headers;
    quint64 m_removals = 0;
    quint64 m_changes = 0;
};

}  // namespace platform
