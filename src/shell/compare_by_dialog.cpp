#include "shell/compare_by_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <limits>

using namespace Qt::Literals::StringLiterals;

namespace shell {

namespace {

// An entry of a million characters would make the dialog as wide as it is long.
constexpr qsizetype kMostShownChars = 200;

QString shortened(const QString& text) {
    return text.size() <= kMostShownChars ? text : text.left(kMostShownChars) + u'\u2026';
}

}  // namespace

QString shownKey(const List::KeyMaker& keys, const QString& entry) {
    QString key;
    if (!keys.keyOf(entry, key)) return u"(no key)"_s;
    return key.isEmpty() ? u"(empty)"_s : shortened(key);
}

CompareByDialog::CompareByDialog(const commands::CompareByRequest& request, QWidget* parent)
    : QDialog(parent),
      m_rules(request.rules),
      m_entries(request.entries),
      m_wholeEntry(new QRadioButton(u"&Whole entry"_s, this)),
      m_field(new QRadioButton(u"&Field"_s, this)),
      m_patternChoice(new QRadioButton(u"First match of a &pattern"_s, this)),
      m_fieldNumber(new QSpinBox(this)),
      m_separator(new QComboBox(this)),
      m_character(new QLineEdit(this)),
      m_pattern(new QLineEdit(this)),
      m_refusal(new QLabel(this)),
      m_preview(new QTreeWidget(this)),
      m_ok(nullptr) {
    setWindowTitle(u"Compare By"_s);

    m_fieldNumber->setRange(1, std::numeric_limits<int>::max());
    m_fieldNumber->setAccessibleName(u"Field number"_s);
    for (const commands::FieldSeparatorName& separator : commands::fieldSeparatorNames()) {
        m_separator->addItem(separator.caption, QVariant::fromValue(int(separator.value)));
    }
    m_separator->setAccessibleName(u"Separator"_s);
    m_character->setMaxLength(1);
    m_character->setAccessibleName(u"Separator character"_s);
    m_character->setMaximumWidth(m_character->fontMetrics().horizontalAdvance(u"MMM"_s) + 12);
    m_pattern->setAccessibleName(u"Pattern"_s);
    m_pattern->setMinimumWidth(m_pattern->fontMetrics().horizontalAdvance(u'M') * 28);
    m_refusal->setTextFormat(Qt::PlainText);
    m_refusal->setWordWrap(true);

    auto* choices = new QGridLayout;
    choices->addWidget(m_wholeEntry, 0, 0, 1, 5);
    choices->addWidget(m_field, 1, 0);
    choices->addWidget(m_fieldNumber, 1, 1);
    auto* separatedBy = new QLabel(u"separated &by"_s, this);
    separatedBy->setBuddy(m_separator);
    choices->addWidget(separatedBy, 1, 2);
    choices->addWidget(m_separator, 1, 3);
    choices->addWidget(m_character, 1, 4);
    choices->addWidget(m_patternChoice, 2, 0, 1, 5);
    choices->addWidget(m_pattern, 3, 0, 1, 5);
    auto* patternNote = new QLabel(
        u"Its first group is the key when it has one, else the whole match; an entry "
        u"without a match has no key and matches nothing."_s,
        this);
    patternNote->setWordWrap(true);
    choices->addWidget(patternNote, 4, 0, 1, 5);
    choices->setColumnStretch(4, 1);

    m_preview->setColumnCount(2);
    m_preview->setHeaderLabels({u"Entry"_s, u"Key"_s});
    m_preview->setRootIsDecorated(false);
    m_preview->setSelectionMode(QAbstractItemView::NoSelection);
    m_preview->setFocusPolicy(Qt::NoFocus);
    m_preview->header()->setSectionResizeMode(QHeaderView::Stretch);
    m_preview->setAccessibleName(u"Keys"_s);
    for (const QString& entry : m_entries) {
        auto* row = new QTreeWidgetItem(m_preview, {shortened(entry), QString()});
        row->setFlags(Qt::ItemIsEnabled);
    }
    const int rows = std::max<qsizetype>(1, m_entries.size());
    m_preview->setFixedHeight(m_preview->header()->sizeHint().height() +
                              rows * (m_preview->fontMetrics().height() + 6) + 4);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(choices);
    layout->addWidget(m_refusal);
    layout->addWidget(new QLabel(m_entries.isEmpty() ? u"The list is empty."_s : u"Keys:"_s, this));
    layout->addWidget(m_preview);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // Start from the rules in force.
    m_fieldNumber->setValue(m_rules.field);
    for (int k = 0; k < m_separator->count(); ++k) {
        if (m_separator->itemData(k).toInt() == int(m_rules.separator)) {
            m_separator->setCurrentIndex(k);
        }
    }
    if (!m_rules.separatorCharacter.isNull()) m_character->setText(m_rules.separatorCharacter);
    m_pattern->setText(m_rules.pattern);
    switch (m_rules.compareBy) {
        case List::CompareBy::WholeEntry:
            m_wholeEntry->setChecked(true);
            break;
        case List::CompareBy::Field:
            m_field->setChecked(true);
            break;
        case List::CompareBy::Pattern:
            m_patternChoice->setChecked(true);
            break;
    }

    // Changing a choice's details chooses it.
    const auto chooseField = [this] { m_field->setChecked(true); };
    connect(m_fieldNumber, &QSpinBox::valueChanged, this, chooseField);
    connect(m_separator, &QComboBox::activated, this, chooseField);
    connect(m_character, &QLineEdit::textEdited, this, chooseField);
    connect(m_pattern, &QLineEdit::textEdited, this, [this] { m_patternChoice->setChecked(true); });
    for (QRadioButton* choice : {m_wholeEntry, m_field, m_patternChoice}) {
        connect(choice, &QRadioButton::toggled, this, &CompareByDialog::update);
    }
    connect(m_fieldNumber, &QSpinBox::valueChanged, this, &CompareByDialog::update);
    connect(m_separator, &QComboBox::currentIndexChanged, this, &CompareByDialog::update);
    connect(m_character, &QLineEdit::textChanged, this, &CompareByDialog::update);
    connect(m_pattern, &QLineEdit::textChanged, this, &CompareByDialog::update);
    update();
}

List::MatchRules CompareByDialog::rules() const {
    List::MatchRules rules = m_rules;
    rules.compareBy = m_field->isChecked()           ? List::CompareBy::Field
                      : m_patternChoice->isChecked() ? List::CompareBy::Pattern
                                                     : List::CompareBy::WholeEntry;
    rules.field = m_fieldNumber->value();
    rules.separator = List::FieldSeparator(m_separator->currentData().toInt());
    const QString character = m_character->text();
    rules.separatorCharacter = character.isEmpty() ? QChar() : character.front();
    rules.pattern = m_pattern->text();
    return rules;
}

QString CompareByDialog::refusal() const {
    return m_refusal->text();
}

QStringList CompareByDialog::previewedKeys() const {
    QStringList keys;
    for (int k = 0; k < m_preview->topLevelItemCount(); ++k) {
        keys.append(m_preview->topLevelItem(k)->text(1));
    }
    return keys;
}

void CompareByDialog::accept() {
    if (m_ok->isEnabled()) QDialog::accept();
}

void CompareByDialog::update() {
    const List::MatchRules rules = this->rules();
    const bool other = rules.separator == List::FieldSeparator::Character;
    m_character->setEnabled(other);
    QString refusal;
    if (rules.compareBy == List::CompareBy::Field && other &&
        (rules.separatorCharacter.isNull() || rules.separatorCharacter.isSurrogate())) {
        refusal = u"Type the character that separates the fields."_s;
    } else if (rules.compareBy == List::CompareBy::Pattern) {
        const List::PatternCheck check = List::checkPattern(rules.pattern);
        if (rules.pattern.isEmpty()) {
            refusal = u"Type a pattern."_s;
        } else if (!check.valid) {
            refusal = commands::patternRefusal(check);
        }
    }
    m_refusal->setText(refusal);
    m_refusal->setVisible(!refusal.isEmpty());
    m_ok->setEnabled(refusal.isEmpty());

    const std::optional<List::KeyMaker> keys =
        refusal.isEmpty() ? std::optional<List::KeyMaker>(std::in_place, rules) : std::nullopt;
    for (int k = 0; k < m_preview->topLevelItemCount(); ++k) {
        m_preview->topLevelItem(k)->setText(1, keys ? shownKey(*keys, m_entries.at(k)) : QString());
    }
}

std::optional<List::MatchRules> QtCompareByDialogs::ask(const commands::CompareByRequest& request) {
    CompareByDialog dialog(request, m_parent);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.rules();
}

}  // namespace shell
