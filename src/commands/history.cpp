#include "commands/history.h"

#include <QAction>
#include <QKeySequence>
#include <QUndoCommand>
#include <algorithm>
#include <span>
#include <vector>

#include "commands/busy_guard.h"
#include "list_store/list_store.h"
#include "platform/event_pump.h"
#include "platform/memory.h"
#include "platform/steps.h"

using namespace Qt::Literals::StringLiterals;

namespace commands {

namespace {

// One thing that happened to a list. `texts` holds the items the list does not hold now: those
// a removal took out while it is done, those an addition put in while it is undone.
struct Edit {
    enum class Kind { Appended, Removed, Cleared, Reordered };

    Kind kind = Kind::Appended;
    int count = 0;           // Appended: how many items
    qint64 storedBytes = 0;  // Appended: what they take in the list's store
    // Removed: rising, as they were before the removal. Reordered: where each item stood
    // before, 4 bytes an item, rather than the texts in their old order.
    list_store::FlatArray<int> positions;
    list_store::TextBlock texts;

    // What the edit holds in the direction that holds its items.
    qint64 bytes() const {
        if (kind == Kind::Appended) {
            return storedBytes + qint64(count) * qint64(sizeof(qint64));
        }
        return qint64(texts.allocatedBytes()) + qint64(positions.allocatedBytes());
    }
};

// What one command did to one list, in order.
class ListLog : public list_store::ChangeRecorder {
public:
    ListLog(list_store::ListStore& list, platform::EventPump& pump) : m_list(list), m_pump(pump) {}

    void appended(int count, qint64 bytes) override {
        if (!m_edits.empty() && m_edits.back().kind == Edit::Kind::Appended) {
            m_edits.back().count += count;
            m_edits.back().storedBytes += bytes;
            return;
        }
        Edit edit;
        edit.count = count;
        edit.storedBytes = bytes;
        m_edits.push_back(std::move(edit));
    }
    void removed(list_store::FlatArray<int>&& risingPositions,
                 list_store::TextBlock&& texts) override {
        Edit edit;
        edit.kind = Edit::Kind::Removed;
        edit.positions = std::move(risingPositions);
        edit.texts = std::move(texts);
        m_edits.push_back(std::move(edit));
    }
    void cleared(list_store::TextBlock&& texts) override {
        if (texts.isEmpty()) return;  // an empty list cleared: nothing changed
        Edit edit;
        edit.kind = Edit::Kind::Cleared;
        edit.texts = std::move(texts);
        m_edits.push_back(std::move(edit));
    }
    void reordered(list_store::FlatArray<int>&& from) override {
        Edit edit;
        edit.kind = Edit::Kind::Reordered;
        edit.positions = std::move(from);
        m_edits.push_back(std::move(edit));
    }
    void lost() override { m_lost = true; }
    // The list is held by the command that changes it, and stays unchanged until the copy ends.
    void copying() override { m_pump.pumpAfterChunk(); }

    list_store::ListStore& list() const { return m_list; }
    bool isEmpty() const { return m_edits.empty(); }
    bool isLost() const { return m_lost; }
    qint64 bytes() const {
        qint64 total = 0;
        for (const Edit& edit : m_edits) total += edit.bytes();
        return total;
    }

    // Last edit first, each in one bulk operation on the list, which handles events between
    // its steps when the list is long. Without `forRedo` the items an addition took back are
    // dropped rather than kept.
    void undo(bool forRedo) {
        const auto between = [this] { m_pump.pumpAfterChunk(); };
        for (auto edit = m_edits.rbegin(); edit != m_edits.rend(); ++edit) {
            switch (edit->kind) {
                case Edit::Kind::Appended:
                    m_list.takeLast(edit->count, forRedo ? &edit->texts : nullptr, between);
                    break;
                case Edit::Kind::Removed:
                    m_list.insertAt(std::span<const int>(edit->positions.data(),
                                                         size_t(edit->positions.size())),
                                    edit->texts, between);
                    edit->texts = list_store::TextBlock();
                    break;
                case Edit::Kind::Cleared:
                    m_list.restoreAll(edit->texts);
                    break;
                case Edit::Kind::Reordered:
                    m_list.restoreOrder(std::span<const int>(edit->positions.data(),
                                                             size_t(edit->positions.size())),
                                        between);
                    break;
            }
        }
    }
    void redo() {
        const auto between = [this] { m_pump.pumpAfterChunk(); };
        for (Edit& edit : m_edits) {
            switch (edit.kind) {
                case Edit::Kind::Appended:
                    m_list.appendTaken(edit.texts, between);
                    break;
                case Edit::Kind::Removed:
                    m_list.takePositions(
                        std::span<const int>(edit.positions.data(), size_t(edit.positions.size())),
                        edit.texts, between);
                    break;
                case Edit::Kind::Cleared:
                    m_list.takeAll(edit.texts);
                    break;
                case Edit::Kind::Reordered:
                    m_list.reorder(
                        std::span<const int>(edit.positions.data(), size_t(edit.positions.size())),
                        between);
                    break;
            }
        }
    }

private:
    list_store::ListStore& m_list;
    platform::EventPump& m_pump;
    std::vector<Edit> m_edits;
    bool m_lost = false;
};

}  // namespace

// What one command did to the lists, list by list. The lists a command records are its own
// while it runs, so edits of different lists never depend on one another's order.
class Change {
public:
    Change(QString text, std::initializer_list<list_store::ListStore*> lists,
           platform::EventPump& pump)
        : m_text(std::move(text)) {
        for (list_store::ListStore* list : lists) {
            if (list->recorder()) continue;
            m_logs.push_back(std::make_unique<ListLog>(*list, pump));
            list->setRecorder(m_logs.back().get());
        }
    }
    ~Change() { stopRecording(); }
    Change(const Change&) = delete;
    Change& operator=(const Change&) = delete;

    void stopRecording() {
        for (const auto& log : m_logs) {
            if (log->list().recorder() == log.get()) log->list().setRecorder(nullptr);
        }
    }

    const QString& text() const { return m_text; }
    bool isEmpty() const {
        return std::all_of(m_logs.begin(), m_logs.end(),
                           [](const auto& log) { return log->isEmpty(); });
    }
    bool isLost() const {
        return std::any_of(m_logs.begin(), m_logs.end(),
                           [](const auto& log) { return log->isLost(); });
    }
    qint64 bytes() const {
        qint64 total = 0;
        for (const auto& log : m_logs) total += log->bytes();
        return total;
    }
    void undo(bool forRedo) {
        for (auto log = m_logs.rbegin(); log != m_logs.rend(); ++log) (*log)->undo(forRedo);
    }
    std::vector<const list_store::ItemList*> lists() const {
        std::vector<const list_store::ItemList*> lists;
        lists.reserve(m_logs.size());
        for (const auto& log : m_logs) lists.push_back(&log->list());
        return lists;
    }
    void redo() {
        for (const auto& log : m_logs) log->redo();
    }

private:
    QString m_text;
    std::vector<std::unique_ptr<ListLog>> m_logs;
};

// A kept change on the stack. It is pushed once the change has happened, so its first redo()
// has nothing to do.
class History::Command : public QUndoCommand {
public:
    Command(History& history, std::unique_ptr<Change> change)
        : QUndoCommand(change->text()),
          m_history(history),
          m_change(std::move(change)),
          m_bytes(m_change->bytes()) {
        m_history.m_held += m_bytes;
    }
    ~Command() override {
        if (m_change) m_history.m_held -= m_bytes;
    }
    Command(const Command&) = delete;
    Command& operator=(const Command&) = delete;

    const Change& change() const { return *m_change; }
    std::unique_ptr<Change> take() {
        m_history.m_held -= m_bytes;
        return std::move(m_change);
    }

    void undo() override {
        guarded([this] { m_change->undo(true); });
    }
    void redo() override {
        if (m_happened) {
            m_happened = false;
            return;
        }
        guarded([this] { m_change->redo(); });
    }

private:
    // A failure (no memory, or a list that no longer fits the change) leaves the history behind
    // the lists: History empties it once the stack has finished.
    template <typename Body>
    void guarded(Body&& body) {
        try {
            body();
        } catch (...) {
            m_history.m_failure = platform::describeCurrentException();
        }
    }

    History& m_history;
    std::unique_ptr<Change> m_change;
    qint64 m_bytes;
    bool m_happened = true;
};

History::History(BusyGuard& guard, platform::ErrorReport& report, qint64 memoryBound)
    : m_guard(guard), m_report(report), m_memoryBound(memoryBound) {
    m_stack.setUndoLimit(kMostChanges);
    connect(&m_stack, &QUndoStack::indexChanged, this, &History::updateActions);
    connect(&m_stack, &QUndoStack::canUndoChanged, this, &History::updateActions);
    connect(&m_stack, &QUndoStack::canRedoChanged, this, &History::updateActions);
    m_guard.onChange([this] { updateActions(); });
}

History::~History() {
    // The stack signals while it empties; nothing here is to hear it any more.
    disconnect(&m_stack, nullptr, this, nullptr);
    m_stack.clear();
}

History::Recording::Recording(History& history, const QString& text,
                              std::initializer_list<list_store::ListStore*> lists)
    : m_history(history), m_change(std::make_unique<Change>(text, lists, history.m_guard.pump())) {}

History::Recording::~Recording() {
    if (!m_change) return;
    m_change->stopRecording();
    m_history.keep(std::move(m_change));
}

void History::Recording::revert() {
    if (!m_change) return;
    m_change->stopRecording();
    const std::unique_ptr<Change> change = std::move(m_change);
    change->undo(false);
}

void History::keep(std::unique_ptr<Change> change) {
    if (change->isEmpty()) return;
    // A change made while an undo or redo handles events (a short command on another list)
    // follows it: it goes onto the stack once the stack has finished moving.
    if (m_moving) {
        m_arrivedMeanwhile.push_back(std::move(change));
        return;
    }
    // A change that could not be kept, or is larger than the whole bound, cannot be undone; the
    // changes before it could then no longer be undone in order either.
    if (change->isLost() || change->bytes() > m_memoryBound) {
        m_stack.clear();
        return;
    }
    m_stack.push(new Command(*this, std::move(change)));
    trimToBound();
}

void History::trimToBound() {
    if (m_held <= m_memoryBound) return;
    // QUndoStack drops its oldest commands by count only: to drop them by size, the stack is
    // rebuilt from the newer changes. This runs right after a push, when every change is done.
    std::vector<std::unique_ptr<Change>> changes;
    for (int i = 0; i < m_stack.count(); ++i) {
        // The stack hands its commands out as const only.
        auto* command = const_cast<Command*>(&commandAt(i));
        changes.push_back(command->take());
    }
    m_stack.clear();
    qint64 total = 0;
    for (const auto& change : changes) total += change->bytes();
    size_t first = 0;
    while (total > m_memoryBound) total -= changes[first++]->bytes();
    for (size_t i = first; i < changes.size(); ++i) {
        m_stack.push(new Command(*this, std::move(changes[i])));
    }
}

bool History::canUndo() const {
    return m_stack.canUndo() && !m_guard.running();
}

bool History::canRedo() const {
    return m_stack.canRedo() && !m_guard.running();
}

void History::undo() {
    if (!canUndo()) return;
    // An undo on a long list handles events while it works: it holds its lists meanwhile, as a
    // long command does, and nothing else is undone or redone until it ends.
    const auto hold = m_guard.begin(commandAt(m_stack.index() - 1).change().lists());
    if (!hold) return;
    m_failure.clear();
    move([this] { m_stack.undo(); });
    if (!m_failure.isEmpty()) emptyAfterFailure(u"Undo"_s);
    keepArrivedMeanwhile();
}

void History::redo() {
    if (!canRedo()) return;
    const auto hold = m_guard.begin(commandAt(m_stack.index()).change().lists());
    if (!hold) return;
    m_failure.clear();
    move([this] { m_stack.redo(); });
    if (!m_failure.isEmpty()) emptyAfterFailure(u"Redo"_s);
    keepArrivedMeanwhile();
}

void History::move(const std::function<void()>& step) {
    m_moving = true;
    try {
        step();
    } catch (...) {
        m_moving = false;
        throw;
    }
    m_moving = false;
}

void History::keepArrivedMeanwhile() {
    std::vector<std::unique_ptr<Change>> arrived;
    arrived.swap(m_arrivedMeanwhile);
    for (auto& change : arrived) keep(std::move(change));
}

const History::Command& History::commandAt(int index) const {
    // Every command on the stack is one of ours.
    return *static_cast<const Command*>(m_stack.command(index));
}

void History::emptyAfterFailure(const QString& procedure) {
    m_stack.clear();
    const QString description = m_failure +
                                u" (the lists keep what they hold now; nothing "_s
                                u"before it can be undone)"_s;
    m_failure.clear();
    platform::Steps step(m_report, platform::procedureLocation(u"Form1", procedure));
    step.report(100, description);
}

QAction* History::createUndoAction(QObject* parent) {
    QAction* action = m_stack.createUndoAction(parent);
    // Through undo(), so that a running command refuses it, and enabled only when it can act.
    disconnect(action, &QAction::triggered, &m_stack, &QUndoStack::undo);
    disconnect(&m_stack, &QUndoStack::canUndoChanged, action, &QAction::setEnabled);
    connect(action, &QAction::triggered, this, &History::undo);
    action->setShortcuts(QKeySequence::Undo);
    m_undoActions.emplace_back(action);
    updateActions();
    return action;
}

QAction* History::createRedoAction(QObject* parent) {
    QAction* action = m_stack.createRedoAction(parent);
    disconnect(action, &QAction::triggered, &m_stack, &QUndoStack::redo);
    disconnect(&m_stack, &QUndoStack::canRedoChanged, action, &QAction::setEnabled);
    connect(action, &QAction::triggered, this, &History::redo);
    action->setShortcuts(QKeySequence::Redo);
    m_redoActions.emplace_back(action);
    updateActions();
    return action;
}

void History::updateActions() {
    for (const QPointer<QAction>& action : m_undoActions) {
        if (action) action->setEnabled(canUndo());
    }
    for (const QPointer<QAction>& action : m_redoActions) {
        if (action) action->setEnabled(canRedo());
    }
}

qint64 defaultHistoryBound() {
    const qint64 physical = platform::physicalMemoryBytes();
    // Without an answer from the system, a bound that suits a small machine.
    return physical > 0 ? physical / 4 : qint64(1) << 30;
}

}  // namespace commands
