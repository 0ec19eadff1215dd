#pragma once

#include <QAbstractListModel>
#include <QTimer>
#include <QWidget>
#include <array>
#include <optional>
#include <vector>

#include "commands/command_context.h"
#include "list_engine/comparison.h"

class QAction;
class QCheckBox;
class QGridLayout;
class QLabel;
class QListView;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTreeWidget;

namespace shell {

// The entries of a list at some of its positions, in their order: a view over the positions and
// the list's own store, so that a region of millions of entries costs 4 bytes an entry.
class RegionModel : public QAbstractListModel {
    Q_OBJECT

public:
    explicit RegionModel(QObject* parent = nullptr) : QAbstractListModel(parent) {}

    // Shows the entries of `list` at the rising positions; `list` must outlive the showing.
    void show(const list_store::ItemList& list, std::vector<int>&& positions);
    // Shows nothing, and forgets the positions.
    void clear();
    const std::vector<int>& positions() const { return m_positions; }

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    const list_store::ItemList* m_list = nullptr;
    std::vector<int> m_positions;
};

// What the comparison panel needs of the main window.
class CompareHost {
public:
    virtual ~CompareHost() = default;
    virtual const commands::Window& commandWindow() const = 0;
    // The rules in force, as the lists' commands use them.
    virtual List::MatchRules matchRules() const = 0;
    // The Matching menu's checkable rules: Ignore Case first, then the others in its order.
    virtual std::vector<QAction*> ruleActions() const = 0;
    // Turns on the suggested rule (every rule that is off, for All).
    virtual void turnOn(List::NearMissRule rule) = 0;
    // A command from the panel has ended.
    virtual void commandEnded() = 0;
};

// The comparison panel: how List 1 and List 2 differ under the rules in force, as the three
// regions Only in List 1, In both and Only in List 2, and which entries a rule that is off would
// match. A tool window of its own beside the main window. It holds positions of both lists, so
// any change of either clears it at once, until the user compares again.
class CompareWindow : public QWidget {
    Q_OBJECT

public:
    CompareWindow(CompareHost& host, QWidget* owner);
    ~CompareWindow() override;

    // Shows the panel beside the owner and compares the lists.
    void open();
    // Compares the lists now, as a long command.
    void compare();
    // The rules or the running command changed: the boxes follow, a change of the rules
    // compares again, a change of the lists meanwhile makes the figures out of date.
    void refresh();

    enum class State { Empty, Comparing, Shown, OutOfDate, Cancelled, Busy, Failed };
    State state() const { return m_state; }

    enum RegionIndex { OnlyFirst, Both, OnlySecond };
    struct Region {
        QLabel* title = nullptr;
        QLabel* counts = nullptr;
        QListView* view = nullptr;
        QPushButton* copy = nullptr;
        QPushButton* save = nullptr;
        // Only in List 1: remove1; Only in List 2: remove2; In both: all four.
        QPushButton* remove1 = nullptr;
        QPushButton* remove2 = nullptr;
        QPushButton* keep1 = nullptr;
        QPushButton* keep2 = nullptr;
        // In both: which list's entries the view, Copy and Save take.
        QRadioButton* fromFirst = nullptr;
        QRadioButton* fromSecond = nullptr;
    };
    // The controls, for tests to use as a user would.
    const Region& region(RegionIndex index) const { return m_regions[index]; }
    QLabel* statusLabel() const { return m_status; }
    QLabel* listsLabel() const { return m_lists; }
    QPushButton* recomputeButton() const { return m_recompute; }
    QProgressBar* progressBar() const { return m_progress; }
    const std::vector<QCheckBox*>& ruleBoxes() const { return m_ruleBoxes; }
    // One "Turn On" button per near-miss row, in the rows' order.
    const std::vector<QPushButton*>& turnOnButtons() const { return m_turnOn; }
    QTreeWidget* pairsTree() const { return m_pairs; }
    // Esc: cancels a comparison under way, else closes the panel.
    QAction* cancelAction() const { return m_cancel; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* makeRegion(RegionIndex index, const QString& title);
    void placeBeside(const QWidget& owner);
    // The region's list (1 or 2) and the model now in its view.
    int regionList(RegionIndex index) const;
    RegionModel& regionModel(RegionIndex index);
    controls::ListView& listView(int list) const;
    QString location(const QString& procedure) const;

    void showComparison(List::Comparison&& comparison);
    // Drops every position held and says why.
    void clearFigures(State state);
    void showState();
    void showNearMisses(const List::NearMisses& misses);
    void listChanging();
    void listChangedAfter();
    void queueCompare();

    void copyRegion(RegionIndex index, bool selectionOnly);
    void saveRegion(RegionIndex index);
    // Removes the region's entries from `list`, or keeps only them.
    void removeFrom(RegionIndex index, int list);
    void keepOnlyIn(int list);

    CompareHost& m_host;
    State m_state = State::Empty;
    List::MatchRules m_rules;  // those of the last comparison begun
    quint64 m_generations[2] = {0, 0};
    QTimer m_queued;                               // compares once the handler that asked has ended
    std::optional<List::Comparison> m_comparison;  // the figures, without its region positions
    // Only in List 1, In both (List 1's), In both (List 2's), Only in List 2.
    std::array<RegionModel*, 4> m_models{};
    std::array<Region, 3> m_regions;

    QLabel* m_rulesText = nullptr;
    std::vector<QCheckBox*> m_ruleBoxes;
    QLabel* m_lists = nullptr;
    QLabel* m_status = nullptr;
    QProgressBar* m_progress = nullptr;
    QPushButton* m_recompute = nullptr;
    QLabel* m_nearMissNote = nullptr;
    QWidget* m_rows = nullptr;
    QGridLayout* m_rowsGrid = nullptr;
    std::vector<QPushButton*> m_turnOn;
    QTreeWidget* m_pairs = nullptr;
    QAction* m_cancel = nullptr;
};

}  // namespace shell
