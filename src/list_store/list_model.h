#pragma once

#include <QAbstractTableModel>
#include <QElapsedTimer>
#include <QStringList>
#include <QTimer>

#include "list_store/list_store.h"

namespace list_store {

// "1 item", "1,234,567 items": the count with the locale's digit grouping.
QString itemCountText(int count);
// "… (123,456 characters)": what follows an item cut short in its tool tip.
QString cutLengthText(qint64 length);

// A list store as a table model of one column, for the list control's view: what the view shows
// of each item, the column headers, and which of the store's rows the view knows of.
class ListModel : public QAbstractTableModel, private StoreWatcher {
    Q_OBJECT

public:
    explicit ListModel(ListStore& store, QObject* parent = nullptr);
    ~ListModel() override;

    ListStore& store() const { return m_store; }

    // The view shows at most this many characters of an item, then "…", so that painting or
    // measuring a row costs the same however long the item is. The item itself stays whole.
    static constexpr qsizetype kMostShownChars = 4096;
    // An item's tool tip holds it whole up to this many characters; a longer one is cut there
    // and followed by "… (123,456 characters)", its whole length.
    static constexpr qsizetype kMostToolTipChars = 65536;
    // True when the view shows the item at `row` (from 0) cut, ending in "…".
    bool isCut(int row) const;

    // The report view's columns; the items show in the first.
    void addColumn(const QString& header);
    int columnTotal() const { return int(m_headers.size()); }
    QString columnHeader(int column) const;
    // The first column's header also gives the item count, as of the last call of showCount():
    // "List 1", "List 1 (1 item)", "List 1 (1,234 items)". Counting when asked, rather than on
    // every change, keeps the header from costing anything per item.
    void showCount();
    int shownCount() const { return m_shownCount; }
    // A note that follows the count in the first column's header, "List 1 (1,234 items; spaces
    // ignored)", or stands alone there while the list is empty; none when empty.
    void setNote(const QString& note);
    const QString& note() const { return m_note; }
    // Tells the views of the rows appended since they last heard; rowCount() counts only the
    // rows they know of, the store every item.
    void showAppendedRows();

    // QAbstractItemModel
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    // StoreWatcher
    void appended() override;
    void beforeChange() override { showAppendedRows(); }
    void removing(int first, int last) override;
    void removed() override;
    void inserting(int first, int last) override;
    void inserted() override;
    void resetting() override;
    void wasReset() override;
    void moved(int first, int last) override;

    qint64 showRowsInterval() const;

    ListStore& m_store;
    int m_shownRows = 0;  // the rows the views know of: the first of the items
    QTimer m_showRowsTimer;
    QElapsedTimer m_sinceRowsShown;
    QStringList m_headers;
    int m_shownCount = 0;
    QString m_note;
};

}  // namespace list_store
