#include "shell/form1.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QAction>
#include <QCloseEvent>
#include <QIcon>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <functional>

#include "commands/clipboard_commands.h"
#include "commands/file_commands.h"
#include "commands/filter_commands.h"
#include "commands/help_command.h"
#include "commands/item_commands.h"
#include "commands/list_tool_commands.h"
#include "commands/list_view_events.h"
#include "commands/subtract_commands.h"
#include "platform/files.h"
#include "shell/main_module.h"

using namespace Qt::Literals::StringLiterals;

namespace {

// Layout positions are in twips; at 96 dots per inch a pixel is 15 twips, and Qt scales
// device-independent pixels for denser screens.
constexpr int px(int twips) {
    return twips / 15;
}
QRect twipsRect(int left, int top, int width, int height) {
    return {px(left), px(top), px(width), px(height)};
}

QFont arialBold(qreal points) {
    QFont font(u"Arial"_s);
    font.setPointSizeF(points);
    font.setBold(true);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    return font;
}

QIcon applicationIcon() {
    QIcon icon;
    for (int size : {32, 48, 128, 256}) icon.addFile(u":/icons/quorvane-%1.png"_s.arg(size));
    return icon;
}

// A plain widget reads to screen readers as a pane without a role of its own; the main window
// reads as a window, named by its caption.
QAccessibleInterface* windowAccessible(const QString& key, QObject* object) {
    if (key != u"Form1"_s || !object || !object->isWidgetType()) return nullptr;
    return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Window);
}

constexpr int kClientWidth = 15960;
constexpr int kClientHeight = 5550;
constexpr int kColumnWidth = 7000;

}  // namespace

Form1::Form1(const Form1Services& services, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      CommonDialog1(services.dialogs),
      m_services(services),
      m_report(services.messages),
      m_pointer(*this),
      m_feedback(m_pointer),
      m_guard(services.pump) {
    static const bool accessibleAsWindow = [] {
        QAccessible::installFactory(windowAccessible);
        return true;
    }();
    Q_UNUSED(accessibleAsWindow);
    setObjectName(u"Form1"_s);
    setWindowTitle(u"Form1"_s);
    QPixmap blank(32, 32);
    blank.fill(Qt::transparent);
    setWindowIcon(QIcon(blank));
    setFont(arialBold(9));
    setFixedSize(px(kClientWidth), px(kClientHeight));
    // Qualified: no override of a class derived from Form1 is meant while it is being built.
    Form1::setBackgroundColour(Qt::white);
    setMouseTracking(true);
    placeControls();

    m_engine = std::make_unique<List::Environment>(List::Environment{
        m_report, m_services.pump, *ProgressBar1, [this] { return Check1->value(); }});
    m_history =
        std::make_unique<commands::History>(m_guard, m_report, commands::defaultHistoryBound());
    m_window = std::make_unique<commands::Window>(
        commands::Window{*ListView1, *ListView2, CommonDialog1, m_pointer, m_services.messages,
                         m_services.input, m_services.settings, m_report, m_services.pump,
                         m_services.clipboard, *m_engine, m_guard, m_applicationTitle, *m_history});
    wireHandlers();
    addWindowActions();
    // A close put off until the running command ended is carried out as soon as it has.
    m_guard.onChange([this] {
        if (m_closeWhenDone && !m_guard.running()) {
            m_closeWhenDone = false;
            close();
        }
    });
}

Form1::~Form1() = default;

void Form1::setBackgroundColour(const QColor& colour) {
    QPalette windowPalette = palette();
    windowPalette.setColor(QPalette::Window, colour);
    setPalette(windowPalette);
    setAutoFillBackground(true);
}

QPushButton* Form1::addButton(const QString& caption, int left, int top, int width, int height) {
    auto* button = new QPushButton(caption, this);
    button->setGeometry(twipsRect(left, top, width, height));
    button->setFont(arialBold(11.25));
    button->setAutoDefault(false);
    button->setDefault(false);
    button->setMouseTracking(true);
    // Movement over a button is the button's; it must not reach the window background too.
    button->setAttribute(Qt::WA_NoMousePropagation);
    button->installEventFilter(this);
    return button;
}

void Form1::placeControls() {
    ProgressBar1 = new controls::ProgressBar(this);
    ProgressBar1->setGeometry(twipsRect(10680, 120, 5160, 405));
    // The bar has no pointer feedback: movement over it must not reach the window background.
    ProgressBar1->setAttribute(Qt::WA_NoMousePropagation);
    ProgressBar1->setMouseTracking(true);
    ProgressBar1->setAccessibleName(u"Progress"_s);

    PushButton4 = addButton(u"Help"_s, 120, 120, 5160, 405);
    PushButton3 = addButton(u"Load List From Text File"_s, 4080, 3510, 3840, 405);
    PushButton20 = addButton(u"Add One Item To List 1"_s, 120, 3510, 3840, 405);
    PushButton1 = addButton(u"Clear List"_s, 120, 4020, 3840, 405);
    PushButton5 = addButton(u"Load Sample/Example Items"_s, 4080, 4020, 3840, 405);
    PushButton14 = addButton(u"Load List From Text File"_s, 12000, 3510, 3840, 405);
    PushButton2 = addButton(u"Clear List"_s, 8040, 4020, 3840, 405);
    PushButton13 = addButton(u"Add One Item To List 2"_s, 8040, 3510, 3840, 405);
    PushButton6 = addButton(u"Load Sample/Example Items"_s, 12000, 4020, 3840, 405);
    PushButton12 = addButton(u"Subtract List 1 From List 2"_s, 8040, 5040, 3840, 405);
    PushButton19 = addButton(u"Subtract List 2 From List 1"_s, 120, 5040, 3840, 405);
    PushButton7 = addButton(u"Save List 1 To Text File"_s, 4080, 5040, 3840, 405);
    PushButton8 = addButton(u"Save List 2 To Text File"_s, 12000, 5040, 3840, 405);
    PushButton9 = addButton(u"Remove Filenames Containing X"_s, 120, 4530, 3840, 405);
    PushButton10 = addButton(u"Remove Filenames Not Cont. X"_s, 4080, 4530, 3840, 405);
    PushButton11 = addButton(u"Remove Filenames Containing X"_s, 8040, 4530, 3840, 405);
    PushButton15 = addButton(u"Remove Filenames Not Cont. X"_s, 12000, 4530, 3840, 405);

    Check1 = new controls::CheckBox(u"Match case when subtracting"_s, this);
    Check1->setGeometry(twipsRect(5400, 120, 5160, 400));
    Check1->setFont(arialBold(11.25));
    Check1->setValue(platform::CheckValue::Checked);  // as the default of the stored setting
    Check1->setAutoFillBackground(true);
    QPalette checkPalette = Check1->palette();
    checkPalette.setColor(QPalette::Window, checkPalette.color(QPalette::Button));
    Check1->setPalette(checkPalette);
    Check1->setMouseTracking(true);
    Check1->setAttribute(Qt::WA_NoMousePropagation);
    Check1->installEventFilter(this);

    ListView1 = new controls::ListView(this);
    ListView1->setGeometry(twipsRect(120, 630, 7800, 2775));
    ListView2 = new controls::ListView(this);
    ListView2->setGeometry(twipsRect(8040, 630, 7800, 2775));
    ListView1->setAccessibleName(u"List 1"_s);
    ListView2->setAccessibleName(u"List 2"_s);
    // The buttons that each list has one of carry the same caption twice: a screen reader
    // tells them apart by the list they act on.
    const std::pair<QPushButton*, QString> twins[] = {
        {PushButton3, u"List 1"_s}, {PushButton14, u"List 2"_s}, {PushButton1, u"List 1"_s},
        {PushButton2, u"List 2"_s}, {PushButton5, u"List 1"_s},  {PushButton6, u"List 2"_s},
        {PushButton9, u"List 1"_s}, {PushButton11, u"List 2"_s}, {PushButton10, u"List 1"_s},
        {PushButton15, u"List 2"_s}};
    for (const auto& [button, list] : twins) button->setAccessibleDescription(list);

    // Focus follows the layout's tab order.
    QWidget* order[] = {PushButton4,  PushButton3,  PushButton20, PushButton1, PushButton5,
                        PushButton14, PushButton2,  PushButton13, PushButton6, PushButton12,
                        PushButton19, PushButton7,  PushButton8,  PushButton9, PushButton10,
                        PushButton11, PushButton15, Check1,       ListView1,   ListView2};
    for (size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);
}

void Form1::wireHandlers() {
    const std::pair<QPushButton*, void (Form1::*)()> clicks[] = {
        {PushButton1, &Form1::PushButton1_Click},   {PushButton2, &Form1::PushButton2_Click},
        {PushButton3, &Form1::PushButton3_Click},   {PushButton4, &Form1::PushButton4_Click},
        {PushButton5, &Form1::PushButton5_Click},   {PushButton6, &Form1::PushButton6_Click},
        {PushButton7, &Form1::PushButton7_Click},   {PushButton8, &Form1::PushButton8_Click},
        {PushButton9, &Form1::PushButton9_Click},   {PushButton10, &Form1::PushButton10_Click},
        {PushButton11, &Form1::PushButton11_Click}, {PushButton12, &Form1::PushButton12_Click},
        {PushButton13, &Form1::PushButton13_Click}, {PushButton14, &Form1::PushButton14_Click},
        {PushButton15, &Form1::PushButton15_Click}, {PushButton19, &Form1::PushButton19_Click},
        {PushButton20, &Form1::PushButton20_Click},
    };
    for (const auto& [button, handler] : clicks)
        connect(button, &QPushButton::clicked, this, handler);
    connect(Check1, &controls::CheckBox::valueChanged, this, &Form1::Check1_Click);
    connect(ListView1, &controls::ListView::keyDown, this, &Form1::ListView1_KeyDown);
    connect(ListView2, &controls::ListView::keyDown, this, &Form1::ListView2_KeyDown);
    connect(ListView1, &controls::ListView::activation, this, &Form1::ListView1_ItemActivated);
    connect(ListView2, &controls::ListView::activation, this, &Form1::ListView2_ItemActivated);
    // Ctrl+K: free among the platform's standard keys, and near Ctrl+C and Ctrl+V.
    m_compare = new QAction(u"Compare Lists\u2026"_s, this);
    m_compare->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_K));
    m_compare->setShortcutContext(Qt::WindowShortcut);
    m_compare->setShortcutVisibleInContextMenu(true);
    connect(m_compare, &QAction::triggered, this, &Form1::CompareLists_Click);
    addAction(m_compare);
    addListTools(*ListView1, *ListView2);
    addListTools(*ListView2, *ListView1);
    addMatchingMenu(*ListView1, m_matching1);
    addMatchingMenu(*ListView2, m_matching2);
    connect(Check1, &controls::CheckBox::valueChanged, this, &Form1::showMatching);
    m_guard.onChange([this] { showMatching(); });
    connect(ListView1, &controls::ListView::pointerMoved, this,
            [this] { m_feedback.overBackground(); });
    connect(ListView2, &controls::ListView::pointerMoved, this,
            [this] { m_feedback.overBackground(); });
    for (controls::ListView* list : {ListView1, ListView2}) {
        connect(list, &controls::ListView::copyRequested, this,
                [this, list] { ListView_Copy(*list); });
        connect(list, &controls::ListView::pasteRequested, this,
                [this, list] { ListView_Paste(*list); });
        connect(list, &controls::ListView::deleteRequested, this,
                [this, list] { ListView_Delete(*list); });
        connect(list, &controls::ListView::filesDropped, this,
                [this, list](const QStringList& paths) { ListView_FilesDropped(*list, paths); });
        connect(list, &controls::ListView::textDropped, this,
                [this, list](const QString& text) { ListView_TextDropped(*list, text); });
    }

    // Connected after the handlers, so that it runs when each command has ended.
    for (const auto& [button, handler] : clicks) {
        connect(button, &QPushButton::clicked, this, &Form1::showCounts);
    }
    for (controls::ListView* list : {ListView1, ListView2}) {
        connect(list, &controls::ListView::keyDown, this, &Form1::showCounts);
        connect(list, &controls::ListView::activation, this, &Form1::showCounts);
        connect(list, &controls::ListView::pasteRequested, this, &Form1::showCounts);
        connect(list, &controls::ListView::deleteRequested, this, &Form1::showCounts);
        connect(list, &controls::ListView::filesDropped, this, &Form1::showCounts);
        connect(list, &controls::ListView::textDropped, this, &Form1::showCounts);
    }
}

void Form1::showCounts() {
    ListView1->showCountNow();
    ListView2->showCountNow();
}

// Undo and Redo act on the window's one history, whichever control has the focus; Esc cancels
// the running long command and does nothing when none runs.
void Form1::addWindowActions() {
    m_undo = m_history->createUndoAction(this);
    m_redo = m_history->createRedoAction(this);
    m_cancel = new QAction(u"Cancel"_s, this);
    m_cancel->setShortcuts(QKeySequence::Cancel);
    connect(m_cancel, &QAction::triggered, this, [this] { m_guard.cancel(); });
    for (QAction* action : {m_undo, m_redo, m_cancel}) {
        action->setShortcutContext(Qt::WindowShortcut);
        addAction(action);
    }
    // Each list's context menu offers them too, above its own gestures.
    for (controls::ListView* list : {ListView1, ListView2}) {
        m_undo->setShortcutVisibleInContextMenu(true);
        m_redo->setShortcutVisibleInContextMenu(true);
        auto* separator = new QAction(list);
        separator->setSeparator(true);
        list->insertActions(list->copyAction(), {m_undo, m_redo, separator});
    }
}

QPushButton* Form1::button(int number) const {
    const std::pair<int, QPushButton*> buttons[] = {
        {1, PushButton1},   {2, PushButton2},   {3, PushButton3},   {4, PushButton4},
        {5, PushButton5},   {6, PushButton6},   {7, PushButton7},   {8, PushButton8},
        {9, PushButton9},   {10, PushButton10}, {11, PushButton11}, {12, PushButton12},
        {13, PushButton13}, {14, PushButton14}, {15, PushButton15}, {19, PushButton19},
        {20, PushButton20},
    };
    for (const auto& [buttonNumber, found] : buttons) {
        if (buttonNumber == number) return found;
    }
    return nullptr;
}

controls::ListView* Form1::listView(int number) const {
    return number == 1 ? ListView1 : number == 2 ? ListView2 : nullptr;
}

QString Form1::location(const char* procedure) const {
    return platform::procedureLocation(u"Form1", QString::fromLatin1(procedure));
}

QString Form1::location(const controls::ListView& list, const char* event) const {
    const QString control = &list == ListView1 ? u"ListView1_"_s : u"ListView2_"_s;
    return u"in Pellorin2021/08/31.Form1."_s + control + QString::fromLatin1(event) + u' ';
}

void Form1::Form_Load() {
    platform::Steps step(m_report, location("Form_Load"), &m_services.pump);
    step(100, [&] { Main::ApplySkinFile(*this); });
    // Line 104 sets the caption, the icon and the application title in one statement: three steps
    // under one number, so that each failure is reported and the others still happen.
    step(104, [&] { setWindowTitle(Main::ProductName); });
    step(104, [&] { setWindowIcon(applicationIcon()); });
    step(104, [&] { Main::SetApplicationTitle(m_applicationTitle); });
    const QString cursorFile = programFolder() + platform::pathSeparator() + u"HAND-M.CUR"_s;
    if (step.when(106, [&] { return Main::FileExists(cursorFile); })) {
        step(108, [&] { m_pointer.loadCustomImage(cursorFile); });
    }
    step(110, [&] {
        Main::OpenHomePageAtRandom(m_services.clock, m_services.random, m_services.launcher);
    });
    step(128, [&] { Check1->setValue(commands::StoredMatchCase(m_services.settings)); });
    step(130, [&] { ListView1->addColumn(u"List 1"_s); });
    step(132, [&] { ListView1->setColumnWidthTwips(1, kColumnWidth); });
    step(134, [&] { ListView2->addColumn(u"List 2"_s); });
    step(136, [&] { ListView2->setColumnWidthTwips(1, kColumnWidth); });
    commands::RestoreMatching(step, 138, m_services.settings, m_matching);
    step(138, [&] { showMatching(); });
}

void Form1::OpenFiles(const QStringList& list1Files, const QStringList& list2Files) {
    const bool loaded =
        list1Files.isEmpty() ||
        commands::LoadFiles(*m_window, location("PushButton3_Click"), *ListView1, list1Files);
    if (loaded && !list2Files.isEmpty()) {
        commands::LoadFiles(*m_window, location("PushButton14_Click"), *ListView2, list2Files);
    }
    showCounts();
}

void Form1::Check1_Click() {
    commands::StoreMatchCase(*m_window, location("Check1_Click"), Check1->value());
}

void Form1::PushButton1_Click() {
    commands::ClearList1(*m_window, location("PushButton1_Click"));
}
void Form1::PushButton2_Click() {
    commands::ClearList2(*m_window, location("PushButton2_Click"));
}
void Form1::PushButton3_Click() {
    commands::LoadList(*m_window, location("PushButton3_Click"), *ListView1);
}
void Form1::PushButton14_Click() {
    commands::LoadList(*m_window, location("PushButton14_Click"), *ListView2);
}
void Form1::PushButton4_Click() {
    commands::Help(*m_window, location("PushButton4_Click"));
}
void Form1::PushButton5_Click() {
    commands::LoadSampleItems1(*m_window, location("PushButton5_Click"));
}
void Form1::PushButton6_Click() {
    commands::LoadSampleItems2(*m_window, location("PushButton6_Click"));
}
void Form1::PushButton7_Click() {
    commands::SaveList(*m_window, location("PushButton7_Click"), *ListView1);
}
void Form1::PushButton8_Click() {
    commands::SaveList(*m_window, location("PushButton8_Click"), *ListView2);
}
void Form1::PushButton9_Click() {
    commands::Filter(*m_window, location("PushButton9_Click"), commands::FilterKind::Containing,
                     *ListView1);
}
void Form1::PushButton10_Click() {
    commands::Filter(*m_window, location("PushButton10_Click"), commands::FilterKind::NotContaining,
                     *ListView1);
}
void Form1::PushButton11_Click() {
    commands::Filter(*m_window, location("PushButton11_Click"), commands::FilterKind::Containing,
                     *ListView2);
}
void Form1::PushButton15_Click() {
    commands::Filter(*m_window, location("PushButton15_Click"), commands::FilterKind::NotContaining,
                     *ListView2);
}
void Form1::PushButton12_Click() {
    commands::Subtract(*m_window, location("PushButton12_Click"), *ListView2, *ListView1,
                       matchRules());
}
void Form1::PushButton19_Click() {
    commands::Subtract(*m_window, location("PushButton19_Click"), *ListView1, *ListView2,
                       matchRules());
}
void Form1::PushButton20_Click() {
    commands::AddOneItem(*m_window, location("PushButton20_Click"), *ListView1);
}
void Form1::PushButton13_Click() {
    commands::AddOneItem(*m_window, location("PushButton13_Click"), *ListView2);
}

void Form1::ListView1_KeyDown(int keyCode, int shift) {
    commands::RemoveSelectedOnKey(*m_window, *ListView1, keyCode, shift);
}
void Form1::ListView2_KeyDown(int keyCode, int shift) {
    commands::RemoveSelectedOnKey(*m_window, *ListView2, keyCode, shift);
}
void Form1::ListView1_ItemActivated() {
    commands::RemoveSelected(*m_window, *ListView1);
}
void Form1::ListView2_ItemActivated() {
    commands::RemoveSelected(*m_window, *ListView2);
}

void Form1::ListView_Copy(controls::ListView& list) {
    commands::CopySelection(*m_window, location(list, "Copy"), list);
}
void Form1::ListView_Paste(controls::ListView& list) {
    commands::Paste(*m_window, location(list, "Paste"), list);
}
void Form1::ListView_Delete(controls::ListView& list) {
    commands::RemoveSelection(*m_window, list);
}
// Dropped files load as if chosen in the list's load dialog; their failures are the drop's.
void Form1::ListView_FilesDropped(controls::ListView& list, const QStringList& paths) {
    commands::LoadDroppedFiles(*m_window, location(list, "OLEDragDrop"), list, paths);
}
void Form1::ListView_TextDropped(controls::ListView& list, const QString& text) {
    commands::DropText(*m_window, location(list, "OLEDragDrop"), list, text);
}

void Form1::addListTools(controls::ListView& list, controls::ListView& other) {
    const auto add = [&](const QString& caption, std::function<void()> handler) {
        auto* action = new QAction(caption, &list);
        connect(action, &QAction::triggered, this, [this, handler = std::move(handler)] {
            handler();
            showCounts();
        });
        list.addAction(action);
    };
    auto* separator = new QAction(&list);
    separator->setSeparator(true);
    list.addAction(separator);
    const bool otherIsList1 = &other == ListView1;
    add(otherIsList1 ? u"Keep Only Items Also In List 1"_s : u"Keep Only Items Also In List 2"_s,
        [this, &list, &other,
         where = location(list,
                          otherIsList1 ? "KeepOnlyItemsAlsoInList1" : "KeepOnlyItemsAlsoInList2")] {
            commands::KeepOnlyItemsAlsoIn(*m_window, where, list, other, matchRules());
        });
    add(u"Remove Repeated Items"_s, [this, &list, where = location(list, "RemoveRepeatedItems")] {
        // Case counts here whatever Check1 says: the box speaks of subtracting.
        commands::RemoveRepeatedItems(*m_window, where, list, m_matching);
    });
    add(u"Sort A to Z"_s, [this, &list, where = location(list, "SortAToZ")] {
        commands::SortList(*m_window, where, list, List::SortOrder::AToZ);
    });
    add(u"Sort Z to A"_s, [this, &list, where = location(list, "SortZToA")] {
        commands::SortList(*m_window, where, list, List::SortOrder::ZToA);
    });
    auto* beforeCompare = new QAction(&list);
    beforeCompare->setSeparator(true);
    list.addAction(beforeCompare);
    list.addAction(m_compare);
}

void Form1::CompareLists_Click() {
    if (!m_compareWindow) m_compareWindow = new shell::CompareWindow(*this, this);
    m_compareWindow->open();
    showCounts();
}

std::vector<QAction*> Form1::ruleActions() const {
    std::vector<QAction*> actions{m_matching1.ignoreCase};
    for (const auto& [rule, action] : m_matching1.switches) actions.push_back(action);
    return actions;
}

// A rule the panel suggests, turned on as its Matching menu entry would (the case as the box).
void Form1::turnOn(List::NearMissRule rule) {
    if (m_guard.running()) return;
    const List::MatchRules now = matchRules();
    List::MatchRules beyondCase = List::withRule(now, rule);
    const bool ignoreCase = beyondCase.ignoreCase;
    beyondCase.ignoreCase = m_matching.ignoreCase;
    if (!(beyondCase == m_matching)) {
        m_matching = beyondCase;
        platform::Steps step(m_report, location("TurnOnRule_Click"), &m_services.pump);
        commands::StoreMatching(step, 100, m_services.settings, m_matching);
    }
    if (ignoreCase && !now.ignoreCase) Check1->setValue(platform::CheckValue::Unchecked);
    showMatching();
}

List::MatchRules Form1::matchRules() const {
    List::MatchRules rules = m_matching;
    rules.ignoreCase = Check1->value() == platform::CheckValue::Unchecked;
    return rules;
}

void Form1::addMatchingMenu(controls::ListView& list, MatchingMenu& menu) {
    auto* matching = new QMenu(u"Matching"_s, &list);
    const auto add = [&](const QString& caption) {
        auto* action = new QAction(caption, matching);
        matching->addAction(action);
        return action;
    };
    menu.ignoreCase = add(u"Ignore Case"_s);
    menu.ignoreCase->setCheckable(true);
    connect(menu.ignoreCase, &QAction::triggered, this, &Form1::IgnoreCase_Toggle);
    const struct {
        bool List::MatchRules::*rule;
        QString caption;
        const char* procedure;
    } switches[] = {
        {&List::MatchRules::trim, u"Ignore Surrounding Spaces"_s, "IgnoreSurroundingSpaces_Click"},
        {&List::MatchRules::spaces, u"Spaces Alike"_s, "SpacesAlike_Click"},
        {&List::MatchRules::invisible, u"Ignore Invisible Characters"_s,
         "IgnoreInvisibleCharacters_Click"},
        {&List::MatchRules::unicode, u"Same Unicode Form"_s, "SameUnicodeForm_Click"},
        {&List::MatchRules::accents, u"Ignore Accents"_s, "IgnoreAccents_Click"},
    };
    for (const auto& [rule, caption, procedure] : switches) {
        QAction* action = add(caption);
        action->setCheckable(true);
        connect(action, &QAction::triggered, this,
                [this, rule = rule, procedure = procedure](bool on) {
                    Matching_Toggle(rule, on, procedure);
                });
        menu.switches.emplace_back(rule, action);
    }
    matching->addSeparator();
    menu.compareBy = add(u"Compare By\u2026"_s);
    connect(menu.compareBy, &QAction::triggered, this, [this, &list] { CompareBy_Click(list); });
    matching->addSeparator();
    menu.reset = add(u"Reset Matching"_s);
    connect(menu.reset, &QAction::triggered, this, &Form1::ResetMatching_Click);

    auto* separator = new QAction(&list);
    separator->setSeparator(true);
    list.addAction(separator);
    list.addAction(matching->menuAction());
}

void Form1::showMatching() {
    // No rule changes under a running comparison; the case is Check1's, which stays free.
    const bool free = !m_guard.running();
    for (MatchingMenu* menu : {&m_matching1, &m_matching2}) {
        menu->ignoreCase->setChecked(Check1->value() == platform::CheckValue::Unchecked);
        for (const auto& [rule, action] : menu->switches) {
            action->setChecked(m_matching.*rule);
            action->setEnabled(free);
        }
        menu->compareBy->setEnabled(free);
        menu->reset->setEnabled(free);
    }
    // Ignoring accents compares in the one Unicode form: the entry shows it, and stays as the
    // user set it for when accents count again.
    for (MatchingMenu* menu : {&m_matching1, &m_matching2}) {
        for (const auto& [rule, action] : menu->switches) {
            if (rule != &List::MatchRules::unicode || !m_matching.accents) continue;
            action->setChecked(true);
            action->setEnabled(false);
        }
    }
    const QString note = m_matching.beyondCase() ? List::describeRules(m_matching) : QString();
    ListView1->setNote(note);
    ListView2->setNote(note);
    if (m_compareWindow) m_compareWindow->refresh();
}

void Form1::Matching_Toggle(bool List::MatchRules::*rule, bool on, const char* procedure) {
    m_matching.*rule = on;
    platform::Steps step(m_report, location(procedure), &m_services.pump);
    commands::StoreMatching(step, 100, m_services.settings, m_matching);
    showMatching();
}

// Ignoring case is the match-case box unchecked; the box stores it and the menus follow it.
void Form1::IgnoreCase_Toggle(bool on) {
    Check1->setValue(on ? platform::CheckValue::Unchecked : platform::CheckValue::Checked);
    showMatching();
}

void Form1::CompareBy_Click(controls::ListView& list) {
    // The preview shows the keys as compared, so the case too.
    List::MatchRules rules = matchRules();
    if (commands::ChooseCompareBy(*m_window, location(list, "CompareBy"), list,
                                  m_services.compareBy, rules)) {
        rules.ignoreCase = m_matching.ignoreCase;
        m_matching = rules;
    }
    showMatching();
}

void Form1::ResetMatching_Click() {
    m_matching = List::MatchRules{};
    platform::Steps step(m_report, location("ResetMatching_Click"), &m_services.pump);
    commands::StoreMatching(step, 100, m_services.settings, m_matching);
    showMatching();
}

void Form1::mouseMoveEvent(QMouseEvent* event) {
    m_feedback.overBackground();
    QWidget::mouseMoveEvent(event);
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseMove) m_feedback.overClickable();
    // Enter on a focused button presses it, as Space does; no button is the window's default.
    if (event->type() == QEvent::KeyPress) {
        auto* button = qobject_cast<QPushButton*>(watched);
        const auto* key = static_cast<QKeyEvent*>(event);
        if (button && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
            (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            if (!key->isAutoRepeat()) button->click();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

// Closing ends the program at once; long work notices at its next step and stops. A save lets
// its work finish first (Esc still cancels it), and says so, since the window stays meanwhile.
void Form1::closeEvent(QCloseEvent* event) {
    if (m_guard.putOffClose()) {
        m_closeWhenDone = true;
        showClosingNote();
        event->ignore();
        return;
    }
    m_services.pump.requestClose();
    if (m_compareWindow) m_compareWindow->close();
    event->accept();
}

void Form1::showClosingNote() {
    if (!m_closingNote) {
        m_closingNote = new QLabel(
            u"Quorvane will close when the save is finished. Press Esc to cancel the save."_s,
            this);
        m_closingNote->setObjectName(u"closingNote"_s);
        m_closingNote->setFrameShape(QFrame::Box);
        m_closingNote->setMargin(px(120));
        m_closingNote->setAutoFillBackground(true);
        m_closingNote->setFont(arialBold(11.25));
        m_closingNote->adjustSize();
        QRect area = m_closingNote->rect();
        area.moveCenter(rect().center());
        m_closingNote->move(area.topLeft());
    }
    m_closingNote->show();
    m_closingNote->raise();
    // Announced, as nothing else would tell a screen reader that the window stays for a while.
    QAccessibleEvent shown(m_closingNote, QAccessible::Alert);
    QAccessible::updateAccessibility(&shown);
}
