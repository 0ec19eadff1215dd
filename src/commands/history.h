#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QUndoStack>
#include <functional>
#include <initializer_list>
#include <memory>
#include <vector>

class QAction;

namespace platform {
class ErrorReport;
}  // namespace platform
namespace list_store {
class ListStore;
}  // namespace list_store

namespace commands {

class BusyGuard;
class Change;

// The window's one history of changes to the lists, for undo and redo. A change keeps only what
// the lists do not hold: the items a removal took out, or the items an undone addition took back,
// in the list store's compact form, never a copy of a list. The history keeps at most
// kMostChanges changes and at most `memoryBound` bytes of items; the oldest changes go first,
// and a change larger than the whole bound empties the history and cannot be undone itself.
// Nothing is undone or redone while a long command runs.
class History : public QObject {
    Q_OBJECT

public:
    static constexpr int kMostChanges = 100;

    History(BusyGuard& guard, platform::ErrorReport& report, qint64 memoryBound);
    ~History() override;

    // Records what happens to the given lists while it lives and keeps it as one change; a list
    // that is being recorded already is left to the recording that has it.
    class Recording {
    public:
        Recording(History& history, const QString& text,
                  std::initializer_list<list_store::ListStore*> lists);
        ~Recording();
        Recording(const Recording&) = delete;
        Recording& operator=(const Recording&) = delete;

        // Takes back what was recorded so far; nothing is kept.
        void revert();

    private:
        History& m_history;
        std::unique_ptr<Change> m_change;
    };

    void undo();
    void redo();
    bool canUndo() const;
    bool canRedo() const;

    // The platform's standard Undo and Redo keys; each names the change it would act on and is
    // enabled only while it can.
    QAction* createUndoAction(QObject* parent);
    QAction* createRedoAction(QObject* parent);

    int count() const { return m_stack.count(); }
    int index() const { return m_stack.index(); }
    // Bytes of items the kept changes hold at most, in whichever direction they were last taken.
    qint64 bytesHeld() const { return m_held; }
    qint64 memoryBound() const { return m_memoryBound; }

private:
    class Command;
    const Command& commandAt(int index) const;

    void keep(std::unique_ptr<Change> change);
    void move(const std::function<void()>& step);
    void keepArrivedMeanwhile();
    void trimToBound();
    void emptyAfterFailure(const QString& procedure);
    void updateActions();

    BusyGuard& m_guard;
    platform::ErrorReport& m_report;
    qint64 m_memoryBound;
    qint64 m_held = 0;
    QUndoStack m_stack;
    std::vector<QPointer<QAction>> m_undoActions;
    std::vector<QPointer<QAction>> m_redoActions;
    QString m_failure;      // set by a change that could not be taken back or repeated
    bool m_moving = false;  // an undo or redo runs
    std::vector<std::unique_ptr<Change>> m_arrivedMeanwhile;
};

// A quarter of the machine's physical memory: what the history may hold at most.
qint64 defaultHistoryBound();

}  // namespace commands
