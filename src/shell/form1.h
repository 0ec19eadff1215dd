#pragma once

#include <QLabel>
#include <QPushButton>
#include <QWidget>
#include <memory>

#include "commands/busy_guard.h"
#include "commands/command_context.h"
#include "commands/history.h"
#include "commands/matching_commands.h"
#include "controls/check_box.h"
#include "controls/common_dialog.h"
#include "controls/list_view.h"
#include "controls/pointer.h"
#include "controls/progress_bar.h"
#include "controls/skin.h"
#include "list_engine/list.h"
#include "platform/event_pump.h"
#include "platform/services.h"
#include "shell/compare_window.h"
#include "shell/error_report.h"
#include "shell/main_module.h"
#include "shell/pointer_feedback.h"

// Everything the window reaches outside itself; tests pass scripted ones.
struct Form1Services {
    platform::MessageBoxes& messages;
    platform::InputBoxes& input;
    platform::FileDialogs& dialogs;
    platform::SettingsStore& settings;
    platform::Clipboard& clipboard;
    platform::Launcher& launcher;
    platform::Clock& clock;
    platform::RandomSource& random;
    platform::EventPump& pump;
    controls::SkinEngine& skin;
    commands::CompareByDialogs& compareBy;
    QString programFolder;
};

// The main window: two lists, the match-case box, the progress bar and seventeen commands. It
// places its controls and wires them to the command handlers; the work is the handlers'.
class Form1 : public QWidget, private Main::SkinnableWindow, private shell::CompareHost {
    Q_OBJECT

public:
    explicit Form1(const Form1Services& services, QWidget* parent = nullptr);
    ~Form1() override;

    // The load sequence: dresses the window and restores the match-case box.
    void Form_Load();
    // Loads the files named when the program started, List 1's and then List 2's, each list's as
    // one load by its load command. Once the first is cancelled or the window closed, the second
    // is not started.
    void OpenFiles(const QStringList& list1Files, const QStringList& list2Files);

    controls::WindowPointer& MousePointer() { return m_pointer; }
    const QString& applicationTitle() const { return m_applicationTitle; }

    // The controls by their numbers, for tests and the benchmark to click and to read:
    // PushButton<number> (nullptr for a number no button has) and ListView<number> (1 or 2).
    QPushButton* button(int number) const;
    controls::ListView* listView(int number) const;
    controls::CheckBox* checkBox() const { return Check1; }
    controls::ProgressBar* progressBar() const { return ProgressBar1; }
    commands::History& history() const { return *m_history; }
    // The window's Undo, Redo and Cancel (Esc) with the platform's standard keys.
    QAction* undoAction() const { return m_undo; }
    QAction* redoAction() const { return m_redo; }
    QAction* cancelAction() const { return m_cancel; }
    // The matching rules in force: those of the Matching menu, and the case as Check1 says.
    List::MatchRules matchRules() const override;
    // "Compare Lists…" (Ctrl+K), in both lists' context menus; the panel it opens, once opened.
    QAction* compareAction() const { return m_compare; }
    shell::CompareWindow* compareWindow() const { return m_compareWindow; }

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Main::SkinnableWindow
    const QString& programFolder() const override { return m_services.programFolder; }
    controls::SkinEngine& SkinFramework1() override { return m_services.skin; }
    QWidget& skinnedWindow() override { return *this; }
    QWidget& matchCaseBox() override { return *Check1; }
    void setBackgroundColour(const QColor& colour) override;

    // shell::CompareHost
    const commands::Window& commandWindow() const override { return *m_window; }
    std::vector<QAction*> ruleActions() const override;
    void turnOn(List::NearMissRule rule) override;
    void commandEnded() override { showCounts(); }
    void CompareLists_Click();

    QPushButton* addButton(const QString& caption, int left, int top, int width, int height);
    void placeControls();
    void wireHandlers();
    void addWindowActions();
    QString location(const char* procedure) const;
    QString location(const controls::ListView& list, const char* event) const;

    // Command handlers.
    void PushButton1_Click();
    void PushButton2_Click();
    void PushButton3_Click();
    void PushButton4_Click();
    void PushButton5_Click();
    void PushButton6_Click();
    void PushButton7_Click();
    void PushButton8_Click();
    void PushButton9_Click();
    void PushButton10_Click();
    void PushButton11_Click();
    void PushButton12_Click();
    void PushButton13_Click();
    void PushButton14_Click();
    void PushButton15_Click();
    void PushButton19_Click();
    void PushButton20_Click();
    void Check1_Click();

    // List view gestures.
    void ListView1_KeyDown(int keyCode, int shift);
    void ListView2_KeyDown(int keyCode, int shift);
    void ListView1_ItemActivated();
    void ListView2_ItemActivated();
    // Copy, paste, Delete of the selection, and drops, for either list.
    void ListView_Copy(controls::ListView& list);
    void ListView_Paste(controls::ListView& list);
    void ListView_Delete(controls::ListView& list);
    void ListView_FilesDropped(controls::ListView& list, const QStringList& paths);
    void ListView_TextDropped(controls::ListView& list, const QString& text);

    // Puts both lists' item counts into their headers; done at the end of every command.
    void showCounts();
    // Says that the window closes once the running save has finished.
    void showClosingNote();

    // The list tools in each list's context menu: keep only the items also in the other list,
    // remove repeated items, sort either way.
    void addListTools(controls::ListView& list, controls::ListView& other);

    // Each list's Matching menu: the rules as checkable entries, Compare By… and Reset Matching.
    struct MatchingMenu {
        QAction* ignoreCase = nullptr;
        std::vector<std::pair<bool List::MatchRules::*, QAction*>> switches;
        QAction* compareBy = nullptr;
        QAction* reset = nullptr;
    };
    void addMatchingMenu(controls::ListView& list, MatchingMenu& menu);
    // Shows the rules in force in both menus and in both lists' headers.
    void showMatching();
    void Matching_Toggle(bool List::MatchRules::*rule, bool on, const char* procedure);
    void IgnoreCase_Toggle(bool on);
    void CompareBy_Click(controls::ListView& list);
    void ResetMatching_Click();

    controls::ProgressBar* ProgressBar1 = nullptr;
    QPushButton* PushButton1 = nullptr;
    QPushButton* PushButton2 = nullptr;
    QPushButton* PushButton3 = nullptr;
    QPushButton* PushButton4 = nullptr;
    QPushButton* PushButton5 = nullptr;
    QPushButton* PushButton6 = nullptr;
    QPushButton* PushButton7 = nullptr;
    QPushButton* PushButton8 = nullptr;
    QPushButton* PushButton9 = nullptr;
    QPushButton* PushButton10 = nullptr;
    QPushButton* PushButton11 = nullptr;
    QPushButton* PushButton12 = nullptr;
    QPushButton* PushButton13 = nullptr;
    QPushButton* PushButton14 = nullptr;
    QPushButton* PushButton15 = nullptr;
    QPushButton* PushButton19 = nullptr;
    QPushButton* PushButton20 = nullptr;
    controls::CheckBox* Check1 = nullptr;
    controls::ListView* ListView1 = nullptr;
    controls::ListView* ListView2 = nullptr;
    controls::CommonDialog CommonDialog1;

    Form1Services m_services;
    shell::ApplicationErrorReport m_report;
    controls::WindowPointer m_pointer;
    shell::PointerFeedback m_feedback;
    commands::BusyGuard m_guard;
    QString m_applicationTitle;
    std::unique_ptr<List::Environment> m_engine;
    std::unique_ptr<commands::History> m_history;
    std::unique_ptr<commands::Window> m_window;
    QAction* m_undo = nullptr;
    QAction* m_redo = nullptr;
    QAction* m_cancel = nullptr;
    QAction* m_compare = nullptr;
    shell::CompareWindow* m_compareWindow = nullptr;
    QLabel* m_closingNote = nullptr;
    bool m_closeWhenDone = false;  // a close was put off until the running command ends
    // The rules beyond case; the case is Check1's.
    List::MatchRules m_matching;
    MatchingMenu m_matching1;
    MatchingMenu m_matching2;
};
