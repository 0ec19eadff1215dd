#pragma once

#include <QPushButton>
#include <QWidget>
#include <memory>

#include "commands/busy_guard.h"
#include "commands/command_context.h"
#include "list_engine/list.h"
#include "platform/check_box.h"
#include "platform/common_dialog.h"
#include "platform/event_pump.h"
#include "platform/list_view.h"
#include "platform/pointer.h"
#include "platform/progress_bar.h"
#include "platform/services.h"
#include "platform/skin.h"
#include "shell/error_report.h"
#include "shell/pointer_feedback.h"

// Everything the window reaches outside itself; tests pass scripted ones.
struct Form1Services {
    platform::MessageBoxes& messages;
    platform::InputBoxes& input;
    platform::FileDialogs& dialogs;
    platform::SettingsStore& settings;
    platform::Launcher& launcher;
    platform::Clock& clock;
    platform::RandomSource& random;
    platform::EventPump& pump;
    platform::SkinEngine& skin;
    QString programFolder;
};

// The main window: two lists, the match-case box, the progress bar and seventeen commands.
class Form1 : public QWidget {
    Q_OBJECT

public:
    explicit Form1(const Form1Services& services, QWidget* parent = nullptr);
    ~Form1() override;

    // The load sequence: dresses the window and restores the match-case box.
    void Form_Load();

    platform::ProgressBar* ProgressBar1;
    QPushButton* PushButton1;
    QPushButton* PushButton2;
    QPushButton* PushButton3;
    QPushButton* PushButton4;
    QPushButton* PushButton5;
    QPushButton* PushButton6;
    QPushButton* PushButton7;
    QPushButton* PushButton8;
    QPushButton* PushButton9;
    QPushButton* PushButton10;
    QPushButton* PushButton11;
    QPushButton* PushButton12;
    QPushButton* PushButton13;
    QPushButton* PushButton14;
    QPushButton* PushButton15;
    QPushButton* PushButton19;
    QPushButton* PushButton20;
    platform::CheckBox* Check1;
    platform::ListView* ListView1;
    platform::ListView* ListView2;
    platform::CommonDialog CommonDialog1;

    platform::SkinEngine& SkinFramework1() { return m_services.skin; }
    platform::WindowPointer& MousePointer() { return m_pointer; }
    const QString& applicationTitle() const { return m_applicationTitle; }
    const QString& programFolder() const { return m_services.programFolder; }
    const commands::BusyGuard& busyGuard() const { return m_guard; }
    // What the command handlers reach of this window.
    const commands::Window& commandWindow() const { return *m_window; }
    void setBackgroundColour(const QColor& colour);

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

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPushButton* addButton(const QString& caption, int left, int top, int width, int height);
    void placeControls();
    void wireHandlers();
    QString location(const char* procedure) const;

    Form1Services m_services;
    shell::ApplicationErrorReport m_report;
    platform::WindowPointer m_pointer;
    shell::PointerFeedback m_feedback;
    commands::BusyGuard m_guard;
    QString m_applicationTitle;
    std::unique_ptr<List::Environment> m_engine;
    std::unique_ptr<commands::Window> m_window;
};
