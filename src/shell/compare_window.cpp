#include "shell/compare_window.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QLocale>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "commands/clipboard_commands.h"
#include "commands/compare_commands.h"
#include "commands/file_commands.h"
#include "list_store/list_model.h"

using namespace Qt::Literals::StringLiterals;

namespace shell {

namespace {

QString number(qint64 value) {
    QLocale locale;
    // Qt's C locale leaves out the separators; counts of millions need them.
    locale.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    return locale.toString(value);
}

QString entries(qint64 count) {
    return count == 1 ? u"1 entry"_s : number(count) + u" entries"_s;
}

QString keys(qint64 count, const QString& kind) {
    return number(count) + u' ' + kind + u' ' + (count == 1 ? u"key"_s : u"keys"_s);
}

QString capitalised(QString text) {
    if (!text.isEmpty()) text[0] = text[0].toUpper();
    return text;
}

// The progress of a comparison shows on the main window's bar and on the panel's own.
class BothBars : public platform::ProgressSink {
public:
    BothBars(platform::ProgressSink& window, QProgressBar& panel)
        : m_window(window), m_panel(panel) {}
    void setValue(double percent) override {
        m_window.setValue(percent);
        m_panel.setValue(int(percent));
    }

private:
    platform::ProgressSink& m_window;
    QProgressBar& m_panel;
};

// Paints an entry of a near miss with what differs marked: letters that differ in case (between
// ⟦ and ⟧, which are not drawn) on a yellow ground, the tokens for spaces and invisible
// characters (␣, ⟨U+…⟩) on a blue one. The text itself, marks and all, is what screen readers
// and tool tips get.
class MarkedTextDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem item = option;
        initStyleOption(&item, index);
        const QString text = item.text;
        item.text.clear();
        const QWidget* widget = option.widget;
        QStyle* style = widget ? widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &item, painter, widget);
        if (text.isEmpty()) return;
        const QRect area =
            style->subElementRect(QStyle::SE_ItemViewItemText, &item, widget).adjusted(2, 0, -2, 0);
        painter->save();
        painter->setClipRect(area);
        const QFontMetrics metrics(item.font);
        const bool selected = item.state & QStyle::State_Selected;
        painter->setPen(item.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
        int x = area.left();
        const int baseline =
            area.top() + (area.height() + metrics.ascent() - metrics.descent()) / 2;
        const auto draw = [&](const QString& piece, const QColor& ground) {
            const int width = metrics.horizontalAdvance(piece);
            if (ground.isValid()) {
                painter->fillRect(QRect(x, area.top() + 1, width, area.height() - 2), ground);
                painter->setPen(Qt::black);
            }
            painter->drawText(x, baseline, piece);
            if (ground.isValid()) {
                painter->setPen(
                    item.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
            }
            x += width;
        };
        const QColor caseGround(255, 221, 120);
        const QColor tokenGround(176, 212, 255);
        qsizetype i = 0;
        while (i < text.size() && x < area.right()) {
            const QChar c = text.at(i);
            if (c == QChar(0x27E6)) {  // ⟦: letters that differ in case, up to ⟧
                const qsizetype end = text.indexOf(QChar(0x27E7), i + 1);
                if (end > i) {
                    draw(text.mid(i + 1, end - i - 1), caseGround);
                    i = end + 1;
                    continue;
                }
            } else if (c == QChar(0x27E8)) {  // ⟨U+…⟩
                const qsizetype end = text.indexOf(QChar(0x27E9), i + 1);
                if (end > i) {
                    draw(text.mid(i, end - i + 1), tokenGround);
                    i = end + 1;
                    continue;
                }
            } else if (c == QChar(0x2423)) {  // ␣, a space at an edge
                draw(QString(c), tokenGround);
                ++i;
                continue;
            }
            // A run of ordinary text up to the next mark.
            qsizetype end = i + 1;
            while (end < text.size() && text.at(end) != QChar(0x27E6) &&
                   text.at(end) != QChar(0x27E8) && text.at(end) != QChar(0x2423)) {
                ++end;
            }
            draw(text.mid(i, end - i), QColor());
            i = end;
        }
        painter->restore();
    }
};

// Rows a region's list places per turn of the event loop: about a millisecond's work.
constexpr int kRowsPerBatch = 20'000;

constexpr const char16_t* kRegionTitles[] = {u"Only in List 1", u"In both", u"Only in List 2"};
constexpr const char16_t* kRegionNames[] = {u"OnlyInList1", u"InBoth", u"OnlyInList2"};

}  // namespace

void RegionModel::show(const list_store::ItemList& list, std::vector<int>&& positions) {
    beginResetModel();
    m_list = &list;
    m_positions = std::move(positions);
    endResetModel();
}

void RegionModel::clear() {
    beginResetModel();
    m_list = nullptr;
    m_positions = {};
    endResetModel();
}

int RegionModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || !m_list ? 0 : int(m_positions.size());
}

QVariant RegionModel::data(const QModelIndex& index, int role) const {
    if (!m_list || !index.isValid() || index.row() < 0 || index.row() >= rowCount()) return {};
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
    const list_store::ItemText text = m_list->textView(m_positions[size_t(index.row())]);
    // As the lists show it: a long entry is cut for its row, never half a surrogate pair.
    constexpr qsizetype most = list_store::ListModel::kMostShownChars;
    if (role == Qt::ToolTipRole || text.size() <= most) return text.toString();
    QString shown = text.toString().left(most);
    if (shown.back().isHighSurrogate()) shown.chop(1);
    return shown + QChar(0x2026);
}

CompareWindow::CompareWindow(CompareHost& host, QWidget* owner)
    : QWidget(owner, Qt::Tool), m_host(host) {
    setObjectName(u"CompareWindow"_s);
    setWindowTitle(u"Compare Lists"_s);
    setAccessibleName(u"Compare Lists"_s);
    for (auto& model : m_models) model = new RegionModel(this);

    auto* layout = new QVBoxLayout(this);

    // The rules in force, as the Matching menu has them.
    auto* rulesRow = new QHBoxLayout;
    auto* rulesLabel = new QLabel(u"Matching:"_s, this);
    rulesRow->addWidget(rulesLabel);
    const QString captions[] = {u"Ignore &Case"_s,       u"Ignore &Surrounding Spaces"_s,
                                u"Spaces A&like"_s,      u"Ignore &Invisible Characters"_s,
                                u"Same &Unicode Form"_s, u"Ignore Acce&nts"_s};
    const std::vector<QAction*> actions = m_host.ruleActions();
    for (size_t i = 0; i < actions.size() && i < std::size(captions); ++i) {
        auto* box = new QCheckBox(captions[i], this);
        QAction* action = actions[i];
        // The menu's entry does the work, so that the rule is stored and shown everywhere.
        connect(box, &QCheckBox::clicked, this, [box, action](bool on) {
            if (action->isChecked() != on) action->trigger();
            box->setChecked(action->isChecked());
        });
        rulesRow->addWidget(box);
        m_ruleBoxes.push_back(box);
    }
    rulesRow->addStretch();
    layout->addLayout(rulesRow);
    m_rulesText = new QLabel(this);
    m_rulesText->setObjectName(u"rulesText"_s);
    layout->addWidget(m_rulesText);

    m_lists = new QLabel(this);
    m_lists->setObjectName(u"lists"_s);
    m_lists->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    layout->addWidget(m_lists);

    auto* statusRow = new QHBoxLayout;
    m_status = new QLabel(this);
    m_status->setObjectName(u"status"_s);
    m_status->setWordWrap(true);
    statusRow->addWidget(m_status, 1);
    m_progress = new QProgressBar(this);
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
    m_progress->setTextVisible(false);
    m_progress->setAccessibleName(u"Progress"_s);
    m_progress->setFixedWidth(200);
    // Shown only while the lists are compared, in a place kept for it.
    QSizePolicy kept = m_progress->sizePolicy();
    kept.setRetainSizeWhenHidden(true);
    m_progress->setSizePolicy(kept);
    statusRow->addWidget(m_progress);
    m_recompute = new QPushButton(u"&Recompute"_s, this);
    connect(m_recompute, &QPushButton::clicked, this, &CompareWindow::compare);
    statusRow->addWidget(m_recompute);
    layout->addLayout(statusRow);

    auto* regions = new QHBoxLayout;
    for (const RegionIndex index : {OnlyFirst, Both, OnlySecond}) {
        regions->addWidget(makeRegion(index, QString::fromUtf16(kRegionTitles[index])), 1);
    }
    layout->addLayout(regions, 2);

    // Why entries did not match.
    auto* nearMisses = new QFrame(this);
    nearMisses->setFrameShape(QFrame::StyledPanel);
    auto* nearLayout = new QVBoxLayout(nearMisses);
    auto* nearTitle = new QLabel(u"&Why entries did not match"_s, nearMisses);
    nearTitle->setTextFormat(Qt::PlainText);
    QFont bold = nearTitle->font();
    bold.setBold(true);
    nearTitle->setFont(bold);
    nearLayout->addWidget(nearTitle);
    m_nearMissNote = new QLabel(nearMisses);
    m_nearMissNote->setWordWrap(true);
    nearLayout->addWidget(m_nearMissNote);
    m_rows = new QWidget(nearMisses);
    m_rowsGrid = new QGridLayout(m_rows);
    m_rowsGrid->setContentsMargins(0, 0, 0, 0);
    // The rows keep their height; the lists above and the pairs below give way.
    m_rows->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    nearLayout->addWidget(m_rows);
    m_pairs = new QTreeWidget(nearMisses);
    m_pairs->setColumnCount(2);
    m_pairs->setHeaderLabels({u"List 1"_s, u"List 2"_s});
    m_pairs->setUniformRowHeights(true);
    m_pairs->setRootIsDecorated(false);
    m_pairs->setItemDelegate(new MarkedTextDelegate(m_pairs));
    m_pairs->setAccessibleName(u"Near misses"_s);
    m_pairs->header()->setSectionResizeMode(QHeaderView::Stretch);
    nearTitle->setBuddy(m_pairs);
    m_pairs->setMinimumHeight(120);
    nearLayout->addWidget(m_pairs, 1);
    layout->addWidget(nearMisses, 3);

    // Esc stops a comparison under way; with none, it closes the panel as it would a dialog.
    m_cancel = new QAction(u"Cancel"_s, this);
    m_cancel->setShortcuts(QKeySequence::Cancel);
    m_cancel->setShortcutContext(Qt::WindowShortcut);
    connect(m_cancel, &QAction::triggered, this, [this] {
        if (m_state == State::Comparing) {
            m_host.commandWindow().guard.cancel();
        } else {
            close();
        }
    });
    addAction(m_cancel);

    // Any change of a list moves positions or counts: the figures go at once, before the change
    // is made, so that nothing shows entries that are no longer there.
    for (controls::ListView* list :
         {&m_host.commandWindow().ListView1, &m_host.commandWindow().ListView2}) {
        list_store::ListModel* model = &list->listModel();
        connect(model, &QAbstractItemModel::rowsAboutToBeRemoved, this,
                &CompareWindow::listChanging);
        connect(model, &QAbstractItemModel::modelAboutToBeReset, this,
                &CompareWindow::listChanging);
        connect(model, &QAbstractItemModel::layoutAboutToBeChanged, this,
                &CompareWindow::listChanging);
        connect(model, &QAbstractItemModel::rowsAboutToBeInserted, this,
                [this, model](const QModelIndex&, int first) {
                    // Rows told at the end were appended already; any others move positions.
                    if (first < model->rowCount()) listChanging();
                });
        connect(model, &QAbstractItemModel::rowsInserted, this, &CompareWindow::listChangedAfter);
        connect(model, &QAbstractItemModel::dataChanged, this, &CompareWindow::listChangedAfter);
    }

    m_queued.setSingleShot(true);
    m_queued.setInterval(0);
    connect(&m_queued, &QTimer::timeout, this, [this] {
        if (isVisible() && m_state != State::Comparing) compare();
    });

    resize(1180, 880);
    refresh();
    showState();
}

CompareWindow::~CompareWindow() = default;

QWidget* CompareWindow::makeRegion(RegionIndex index, const QString& title) {
    Region& region = m_regions[index];
    auto* frame = new QFrame(this);
    frame->setFrameShape(QFrame::StyledPanel);
    auto* layout = new QVBoxLayout(frame);
    // Alt+1, Alt+B, Alt+2 reach the regions' lists.
    const QString mnemonic = index == OnlyFirst ? u"Only in List &1"_s
                             : index == Both    ? u"In &both"_s
                                                : u"Only in List &2"_s;
    // Plain text, bold by its font: a label's mnemonic works only in plain text.
    region.title = new QLabel(mnemonic, frame);
    region.title->setTextFormat(Qt::PlainText);
    QFont bold = region.title->font();
    bold.setBold(true);
    region.title->setFont(bold);
    region.title->setAccessibleName(title);
    layout->addWidget(region.title);
    region.counts = new QLabel(frame);
    region.counts->setWordWrap(true);
    layout->addWidget(region.counts);
    if (index == Both) {
        auto* from = new QHBoxLayout;
        region.fromFirst = new QRadioButton(u"List 1's entries"_s, frame);
        region.fromSecond = new QRadioButton(u"List 2's entries"_s, frame);
        region.fromFirst->setChecked(true);
        from->addWidget(region.fromFirst);
        from->addWidget(region.fromSecond);
        from->addStretch();
        layout->addLayout(from);
        connect(region.fromFirst, &QRadioButton::toggled, this, [this] {
            m_regions[Both].view->setModel(&regionModel(Both));
            showState();
        });
    }
    region.view = new QListView(frame);
    region.view->setUniformItemSizes(true);
    // Placed a batch at a time between events; Qt's batch of 100 rows would take some 150,000
    // turns of the event loop (over a second) for regions of millions of entries.
    region.view->setLayoutMode(QListView::Batched);
    region.view->setBatchSize(kRowsPerBatch);
    region.view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    region.view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    region.view->setModel(&regionModel(index));
    region.view->setMinimumHeight(80);
    region.title->setBuddy(region.view);
    layout->addWidget(region.view, 1);
    // Ctrl+C in the list copies its selected entries, as in the main window's lists.
    auto* copySelected = new QAction(u"Copy"_s, region.view);
    copySelected->setShortcuts(QKeySequence::Copy);
    copySelected->setShortcutContext(Qt::WidgetShortcut);
    connect(copySelected, &QAction::triggered, this, [this, index] { copyRegion(index, true); });
    region.view->addAction(copySelected);

    auto* buttons = new QGridLayout;
    const auto button = [&](const QString& caption, int row, int column) {
        auto* made = new QPushButton(caption, frame);
        made->setAutoDefault(false);
        buttons->addWidget(made, row, column);
        return made;
    };
    region.copy = button(u"Copy"_s, 0, 0);
    region.save = button(u"Save\u2026"_s, 0, 1);
    connect(region.copy, &QPushButton::clicked, this, [this, index] { copyRegion(index, false); });
    connect(region.save, &QPushButton::clicked, this, [this, index] { saveRegion(index); });
    if (index == OnlyFirst) {
        region.remove1 = button(u"Remove from List 1"_s, 1, 0);
    } else if (index == OnlySecond) {
        region.remove2 = button(u"Remove from List 2"_s, 1, 0);
    } else {
        region.keep1 = button(u"Keep only these in List 1"_s, 1, 0);
        region.keep2 = button(u"Keep only these in List 2"_s, 1, 1);
        region.remove1 = button(u"Remove from List 1"_s, 2, 0);
        region.remove2 = button(u"Remove from List 2"_s, 2, 1);
    }
    if (region.remove1) {
        connect(region.remove1, &QPushButton::clicked, this,
                [this, index] { removeFrom(index, 1); });
    }
    if (region.remove2) {
        connect(region.remove2, &QPushButton::clicked, this,
                [this, index] { removeFrom(index, 2); });
    }
    if (region.keep1) connect(region.keep1, &QPushButton::clicked, this, [this] { keepOnlyIn(1); });
    if (region.keep2) connect(region.keep2, &QPushButton::clicked, this, [this] { keepOnlyIn(2); });
    layout->addLayout(buttons);
    return frame;
}

int CompareWindow::regionList(RegionIndex index) const {
    if (index == OnlyFirst) return 1;
    if (index == OnlySecond) return 2;
    return m_regions[Both].fromSecond && m_regions[Both].fromSecond->isChecked() ? 2 : 1;
}

RegionModel& CompareWindow::regionModel(RegionIndex index) {
    if (index == OnlyFirst) return *m_models[0];
    if (index == OnlySecond) return *m_models[3];
    return *m_models[regionList(Both) == 1 ? 1 : 2];
}

controls::ListView& CompareWindow::listView(int list) const {
    return list == 1 ? m_host.commandWindow().ListView1 : m_host.commandWindow().ListView2;
}

QString CompareWindow::location(const QString& procedure) const {
    return platform::procedureLocation(u"CompareWindow", procedure);
}

void CompareWindow::open() {
    if (!isVisible()) {
        if (const QWidget* owner = parentWidget()) placeBeside(*owner);
        show();
    }
    raise();
    activateWindow();
    compare();
}

// To the right of the owner where the screen has room, else to its left, else below or above
// it, else as far right as the screen allows.
void CompareWindow::placeBeside(const QWidget& owner) {
    const QScreen* screen = owner.screen();
    if (!screen) return;
    const QRect room = screen->availableGeometry();
    const QRect ownerFrame = owner.frameGeometry();
    QSize size = this->size().boundedTo(room.size() - QSize(16, 40));
    resize(size);
    constexpr int gap = 8;
    const QRect tries[] = {
        {QPoint(ownerFrame.right() + gap, ownerFrame.top()), size},
        {QPoint(ownerFrame.left() - gap - size.width(), ownerFrame.top()), size},
        {QPoint(ownerFrame.left(), ownerFrame.bottom() + gap), size},
        {QPoint(ownerFrame.left(), ownerFrame.top() - gap - size.height()), size},
    };
    for (const QRect& place : tries) {
        if (room.contains(place)) {
            move(place.topLeft());
            return;
        }
    }
    QRect place(QPoint(ownerFrame.left(), ownerFrame.bottom() + gap), size);
    place.moveBottom(std::min(place.bottom(), room.bottom() - 32));
    place.moveRight(std::min(place.right(), room.right()));
    place.moveLeft(std::max(place.left(), room.left()));
    place.moveTop(std::max(place.top(), room.top()));
    move(place.topLeft());
}

void CompareWindow::queueCompare() {
    // Later, once the handler that changed the rules has ended: a comparison is a long command.
    if (!m_queued.isActive()) m_queued.start();
}

void CompareWindow::compare() {
    if (m_state == State::Comparing) return;
    const commands::Window& window = m_host.commandWindow();
    clearFigures(State::Comparing);
    m_rules = m_host.matchRules();
    setCursor(Qt::BusyCursor);
    BothBars bars(window.engine.progress, *m_progress);
    commands::CompareOutcome outcome =
        commands::CompareBothLists(window, location(u"Compare"_s), m_rules, true, bars);
    unsetCursor();
    m_progress->setValue(0);
    switch (outcome.status) {
        case commands::CompareOutcome::Status::Done:
            m_state = State::Shown;
            showComparison(std::move(*outcome.comparison));
            break;
        case commands::CompareOutcome::Status::Busy:
            clearFigures(State::Busy);
            break;
        case commands::CompareOutcome::Status::Cancelled:
            clearFigures(State::Cancelled);
            break;
        case commands::CompareOutcome::Status::Failed:
            clearFigures(State::Failed);
            break;
    }
    // The case may change while the lists are compared (the box stays free): compare again.
    if (m_host.matchRules() != m_rules &&
        outcome.status == commands::CompareOutcome::Status::Done) {
        clearFigures(State::OutOfDate);
        queueCompare();
    }
}

void CompareWindow::showComparison(List::Comparison&& comparison) {
    const commands::Window& window = m_host.commandWindow();
    m_generations[0] = window.ListView1.items().changeGeneration();
    m_generations[1] = window.ListView2.items().changeGeneration();
    m_models[0]->show(window.ListView1.items(), std::move(comparison.onlyFirst));
    m_models[1]->show(window.ListView1.items(), std::move(comparison.bothFirst));
    m_models[2]->show(window.ListView2.items(), std::move(comparison.bothSecond));
    m_models[3]->show(window.ListView2.items(), std::move(comparison.onlySecond));
    m_comparison = std::move(comparison);
    m_state = State::Shown;
    if (m_comparison->nearMisses) showNearMisses(*m_comparison->nearMisses);
    showState();
}

void CompareWindow::clearFigures(State state) {
    for (RegionModel* model : m_models) model->clear();
    m_comparison.reset();
    m_pairs->clear();
    for (QPushButton* button : m_turnOn) button->setEnabled(false);
    while (QLayoutItem* item = m_rowsGrid->takeAt(0)) {
        if (QWidget* widget = item->widget()) {
            widget->hide();
            widget->deleteLater();
        }
        delete item;
    }
    m_turnOn.clear();
    m_state = state;
    showState();
}

void CompareWindow::showState() {
    const bool shown = m_state == State::Shown && m_comparison;
    const List::MatchRules rules = m_host.matchRules();
    const QString described = List::describeRules(rules);
    m_rulesText->setText(u"Compared %1%2"_s.arg(
        rules.ignoreCase ? u"with letter case ignored"_s : u"with letter case respected"_s,
        described.isEmpty() ? QString() : u"; "_s + described));
    switch (m_state) {
        case State::Empty:
            m_status->setText(u"The lists have not been compared yet."_s);
            break;
        case State::Comparing:
            m_status->setText(u"Comparing the lists\u2026 (Esc cancels)"_s);
            break;
        case State::Shown:
            m_status->setText(u"Up to date."_s);
            break;
        case State::OutOfDate:
            m_status->setText(
                u"A list has changed since the comparison: its figures are out of date. Press "
                u"Recompute to compare the lists again."_s);
            break;
        case State::Cancelled:
            m_status->setText(
                u"The comparison was cancelled. Press Recompute to compare the lists."_s);
            break;
        case State::Busy:
            m_status->setText(
                u"Another command is at work; the lists are compared once it has ended, or "
                u"press Recompute."_s);
            break;
        case State::Failed:
            m_status->setText(u"The lists could not be compared."_s);
            break;
    }
    m_recompute->setEnabled(m_state != State::Comparing);
    m_progress->setVisible(m_state == State::Comparing);
    if (shown) {
        const List::Comparison& c = *m_comparison;
        m_lists->setText(u"List 1: %1, %2 repeated.    List 2: %3, %4 repeated."_s.arg(
            list_store::itemCountText(c.firstItems), number(c.firstRepeats),
            list_store::itemCountText(c.secondItems), number(c.secondRepeats)));
    } else {
        m_lists->setText(u"List 1: \u2014    List 2: \u2014"_s);
    }
    for (const RegionIndex index : {OnlyFirst, Both, OnlySecond}) {
        Region& region = m_regions[index];
        const QString title = QString::fromUtf16(kRegionTitles[index]);
        QString counts;
        if (shown) {
            const List::Comparison& c = *m_comparison;
            if (index == OnlyFirst) {
                counts = entries(qint64(m_models[0]->positions().size())) + u", "_s +
                         keys(c.onlyFirstKeys, u"distinct"_s);
            } else if (index == OnlySecond) {
                counts = entries(qint64(m_models[3]->positions().size())) + u", "_s +
                         keys(c.onlySecondKeys, u"distinct"_s);
            } else {
                counts = u"List 1: %1, List 2: %2, %3"_s.arg(
                    entries(qint64(m_models[1]->positions().size())),
                    entries(qint64(m_models[2]->positions().size())),
                    keys(c.bothKeys, u"shared"_s));
            }
        } else {
            counts = m_state == State::Comparing ? u"Comparing\u2026"_s : u"Not compared"_s;
            if (m_state == State::OutOfDate) counts = u"Out of date"_s;
        }
        region.counts->setText(counts);
        region.view->setAccessibleName(title + u": "_s + counts);
        region.view->setAccessibleDescription(
            index == Both ? (regionList(Both) == 1 ? u"List 1's entries"_s : u"List 2's entries"_s)
                          : QString());
        const bool any = shown && !regionModel(index).positions().empty();
        region.copy->setEnabled(any);
        region.save->setEnabled(any);
        // Each enabled only where it would change the list.
        const bool onlyFirst = shown && !m_models[0]->positions().empty();
        const bool bothFirst = shown && !m_models[1]->positions().empty();
        const bool bothSecond = shown && !m_models[2]->positions().empty();
        const bool onlySecond = shown && !m_models[3]->positions().empty();
        if (index == OnlyFirst) region.remove1->setEnabled(onlyFirst);
        if (index == OnlySecond) region.remove2->setEnabled(onlySecond);
        if (index == Both) {
            region.remove1->setEnabled(bothFirst);
            region.remove2->setEnabled(bothSecond);
            region.keep1->setEnabled(onlyFirst);
            region.keep2->setEnabled(onlySecond);
        }
    }
    if (!shown) {
        m_nearMissNote->setText(m_state == State::OutOfDate ? u"Out of date."_s : QString());
    }
    // Read out as it changes: nothing else tells a screen reader that the figures went.
    if (isVisible()) {
        QAccessibleEvent changed(m_status, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&changed);
    }
}

void CompareWindow::showNearMisses(const List::NearMisses& misses) {
    const commands::Window& window = m_host.commandWindow();
    if (misses.rows.empty()) {
        m_nearMissNote->setText(u"Every rule that could make entries match is on."_s);
        return;
    }
    m_nearMissNote->setText(
        u"Entries only in one list that a rule now off would match with an entry of the other "
        u"list, rule by rule; the last row counts those that only all of them together match. "
        u"Nothing is changed until you turn a rule on."_s);
    int row = 0;
    const auto header = [&](const QString& text, int column) {
        auto* label = new QLabel(u"<i>"_s + text + u"</i>"_s, m_rows);
        m_rowsGrid->addWidget(label, row, column);
    };
    header(u"Rule now off"_s, 0);
    header(u"Entries of List 1"_s, 1);
    header(u"Entries of List 2"_s, 2);
    ++row;
    for (const List::NearMissRow& missRow : misses.rows) {
        const QString name = capitalised(List::nearMissRuleName(missRow.rule));
        m_rowsGrid->addWidget(new QLabel(name, m_rows), row, 0);
        m_rowsGrid->addWidget(new QLabel(number(missRow.first), m_rows), row, 1);
        m_rowsGrid->addWidget(new QLabel(number(missRow.second), m_rows), row, 2);
        const bool all = missRow.rule == List::NearMissRule::All;
        auto* turnOn = new QPushButton(all ? u"Turn All On"_s : u"Turn On"_s, m_rows);
        turnOn->setAutoDefault(false);
        turnOn->setAccessibleName(u"Turn on %1"_s.arg(List::nearMissRuleName(missRow.rule)));
        turnOn->setAccessibleDescription(u"Would match %1 of List 1 and %2 of List 2"_s.arg(
            entries(missRow.first), entries(missRow.second)));
        turnOn->setEnabled(missRow.first > 0 || missRow.second > 0);
        const List::NearMissRule rule = missRow.rule;
        connect(turnOn, &QPushButton::clicked, this, [this, rule] { m_host.turnOn(rule); });
        m_rowsGrid->addWidget(turnOn, row, 3);
        m_turnOn.push_back(turnOn);
        ++row;
    }
    m_rowsGrid->setColumnStretch(0, 1);
    // The rows' buttons come after the regions' and before the pairs, as they stand.
    QWidget* previous = m_regions[OnlySecond].remove2;
    for (QPushButton* button : m_turnOn) {
        setTabOrder(previous, button);
        previous = button;
    }
    setTabOrder(previous, m_pairs);

    // The pairs, each under the first row that matches it, in List 1's order.
    const list_store::ItemList& first = window.ListView1.items();
    const list_store::ItemList& second = window.ListView2.items();
    for (size_t r = 0; r < misses.rows.size(); ++r) {
        QTreeWidgetItem* group = nullptr;
        for (const List::NearMissPair& pair : misses.pairs) {
            if (pair.row != int(r)) continue;
            if (!group) {
                group = new QTreeWidgetItem(m_pairs);
                group->setFirstColumnSpanned(true);
                group->setFlags(Qt::ItemIsEnabled);
            }
            const List::VisiblePair shown = List::visiblePair(
                first.textView(pair.first).toString(), second.textView(pair.second).toString());
            auto* item = new QTreeWidgetItem(group);
            item->setText(0, u"%1: %2"_s.arg(number(pair.first), shown.first));
            item->setText(1, u"%1: %2"_s.arg(number(pair.second), shown.second));
            for (int column : {0, 1}) item->setToolTip(column, item->text(column));
        }
        if (group) {
            group->setText(
                0, u"%1 (%2)"_s.arg(capitalised(List::nearMissRuleName(misses.rows[r].rule)),
                                    group->childCount() == 1
                                        ? u"1 pair"_s
                                        : number(group->childCount()) + u" pairs"_s));
            group->setExpanded(true);
        }
    }
    if (misses.pairs.size() >= size_t(List::NearMisses::kMostPairs)) {
        auto* more = new QTreeWidgetItem(m_pairs);
        more->setFirstColumnSpanned(true);
        more->setFlags(Qt::ItemIsEnabled);
        more->setText(0, u"The first %1 pairs only."_s.arg(number(List::NearMisses::kMostPairs)));
    }
}

void CompareWindow::refresh() {
    const std::vector<QAction*> actions = m_host.ruleActions();
    for (size_t i = 0; i < m_ruleBoxes.size() && i < actions.size(); ++i) {
        m_ruleBoxes[i]->setChecked(actions[i]->isChecked());
        m_ruleBoxes[i]->setEnabled(actions[i]->isEnabled());
    }
    if (m_state == State::Comparing) return;
    listChangedAfter();
    // Figures under other rules than those in force are out of date at once.
    if (m_state == State::Shown && m_host.matchRules() != m_rules) clearFigures(State::OutOfDate);
    showState();
    if (!isVisible()) return;
    // A change of the rules compares again; so does the end of the command that kept the lists.
    const bool free = !m_host.commandWindow().guard.running();
    if (free && (m_state == State::Busy || m_host.matchRules() != m_rules)) queueCompare();
}

void CompareWindow::listChanging() {
    if (m_state == State::Shown) clearFigures(State::OutOfDate);
}

void CompareWindow::listChangedAfter() {
    if (m_state != State::Shown) return;
    const commands::Window& window = m_host.commandWindow();
    if (window.ListView1.items().changeGeneration() != m_generations[0] ||
        window.ListView2.items().changeGeneration() != m_generations[1]) {
        clearFigures(State::OutOfDate);
    }
}

void CompareWindow::copyRegion(RegionIndex index, bool selectionOnly) {
    if (m_state != State::Shown) return;
    const std::vector<int>& all = regionModel(index).positions();
    std::vector<int> chosen;
    if (selectionOnly) {
        const QModelIndexList rows = m_regions[index].view->selectionModel()->selectedRows();
        chosen.reserve(size_t(rows.size()));
        for (const QModelIndex& row : rows) chosen.push_back(all[size_t(row.row())]);
        std::sort(chosen.begin(), chosen.end());
        if (chosen.empty()) return;
    }
    const int list = regionList(index);
    commands::CopyPositions(m_host.commandWindow(),
                            location(QString::fromUtf16(kRegionNames[index]) + u"_Copy"_s),
                            listView(list), selectionOnly ? chosen : all);
    m_host.commandEnded();
}

void CompareWindow::saveRegion(RegionIndex index) {
    if (m_state != State::Shown) return;
    commands::SavePositions(m_host.commandWindow(),
                            location(QString::fromUtf16(kRegionNames[index]) + u"_Save"_s),
                            listView(regionList(index)), regionModel(index).positions());
    m_host.commandEnded();
}

namespace {
commands::Region commandRegion(CompareWindow::RegionIndex index) {
    return index == CompareWindow::OnlyFirst ? commands::Region::OnlyFirst
           : index == CompareWindow::Both    ? commands::Region::Both
                                             : commands::Region::OnlySecond;
}
}  // namespace

void CompareWindow::removeFrom(RegionIndex index, int list) {
    if (m_state != State::Shown) return;
    commands::RemoveRegion(
        m_host.commandWindow(),
        location(QString::fromUtf16(kRegionNames[index]) + u"_RemoveFromList%1"_s.arg(list)),
        commandRegion(index), list, m_rules);
    m_host.commandEnded();
}

void CompareWindow::keepOnlyIn(int list) {
    if (m_state != State::Shown) return;
    commands::KeepOnlyRegion(m_host.commandWindow(),
                             location(u"InBoth_KeepOnlyInList%1"_s.arg(list)),
                             commands::Region::Both, list, m_rules);
    m_host.commandEnded();
}

void CompareWindow::closeEvent(QCloseEvent* event) {
    // Closing stops a comparison under way; the figures go with the panel.
    if (m_state == State::Comparing) m_host.commandWindow().guard.cancel();
    QWidget::closeEvent(event);
}

}  // namespace shell
