#pragma once

#include <QDialog>
#include <QPointer>

#include "commands/matching_commands.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTreeWidget;

namespace shell {

// Chooses what of an entry is compared: the whole entry, one field of it, or the first match of
// a pattern. The keys of a few entries show as the choice changes, made with every rule in
// force; OK stays disabled, with the reason beside it, while the choice cannot make keys.
class CompareByDialog : public QDialog {
    Q_OBJECT

public:
    explicit CompareByDialog(const commands::CompareByRequest& request, QWidget* parent = nullptr);

    // The request's rules with the way of comparing as chosen now.
    List::MatchRules rules() const;

    // The controls, for tests to use as a user would.
    QRadioButton* wholeEntryButton() const { return m_wholeEntry; }
    QRadioButton* fieldButton() const { return m_field; }
    QRadioButton* patternButton() const { return m_patternChoice; }
    QSpinBox* fieldNumberBox() const { return m_fieldNumber; }
    QComboBox* separatorBox() const { return m_separator; }
    QLineEdit* separatorCharacterEdit() const { return m_character; }
    QLineEdit* patternEdit() const { return m_pattern; }
    QPushButton* okButton() const { return m_ok; }
    // Why the choice is refused; empty when it is not.
    QString refusal() const;
    // The previewed entries' keys, as shown.
    QStringList previewedKeys() const;

    // Closes with OK only while OK is enabled.
    void accept() override;

private:
    void update();

    List::MatchRules m_rules;
    QStringList m_entries;
    QRadioButton* m_wholeEntry;
    QRadioButton* m_field;
    QRadioButton* m_patternChoice;
    QSpinBox* m_fieldNumber;
    QComboBox* m_separator;
    QLineEdit* m_character;
    QLineEdit* m_pattern;
    QLabel* m_refusal;
    QTreeWidget* m_preview;
    QPushButton* m_ok;
};

// The dialog shown modally over the window.
class QtCompareByDialogs : public commands::CompareByDialogs {
public:
    explicit QtCompareByDialogs(QWidget* parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget* parent) { m_parent = parent; }
    std::optional<List::MatchRules> ask(const commands::CompareByRequest& request) override;

private:
    QPointer<QWidget> m_parent;
};

// How the preview shows a key: as it is, "(empty)", or "(no key)" for an entry that has none.
QString shownKey(const List::KeyMaker& keys, const QString& entry);

}  // namespace shell
