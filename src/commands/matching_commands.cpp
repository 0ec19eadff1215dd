#include "commands/matching_commands.h"

#include <algorithm>
#include <limits>

#include "platform/failure.h"

using namespace Qt::Literals::StringLiterals;

namespace commands {

namespace {

const QString kSettingsApplication = u"Kelvarn"_s;
const QString kSettingsSection = u"Quorvane"_s;

// The switches beyond case, each with its key.
struct Switch {
    bool List::MatchRules::*rule;
    QString key;
};
const Switch kSwitches[] = {
    {&List::MatchRules::trim, u"IgnoreSurroundingSpaces"_s},
    {&List::MatchRules::spaces, u"SpacesAlike"_s},
    {&List::MatchRules::invisible, u"IgnoreInvisibleCharacters"_s},
    {&List::MatchRules::unicode, u"SameUnicodeForm"_s},
    {&List::MatchRules::accents, u"IgnoreAccents"_s},
};
const QString kCompareByKey = u"CompareBy"_s;
const QString kFieldKey = u"CompareField"_s;
const QString kSeparatorKey = u"FieldSeparator"_s;
const QString kSeparatorCharacterKey = u"SeparatorCharacter"_s;
const QString kPatternKey = u"KeyPattern"_s;

struct CompareByName {
    List::CompareBy value;
    QString settingsName;
};
const CompareByName kCompareByNames[] = {
    {List::CompareBy::WholeEntry, u"WholeEntry"_s},
    {List::CompareBy::Field, u"Field"_s},
    {List::CompareBy::Pattern, u"Pattern"_s},
};
const FieldSeparatorName kFieldSeparatorNames[] = {
    {List::FieldSeparator::Tab, u"Tab"_s, u"Tab"_s},
    {List::FieldSeparator::Comma, u"Comma"_s, u"Comma"_s},
    {List::FieldSeparator::Semicolon, u"Semicolon"_s, u"Semicolon"_s},
    {List::FieldSeparator::Bar, u"Bar"_s, u"Vertical bar"_s},
    {List::FieldSeparator::Space, u"Space"_s, u"White space"_s},
    {List::FieldSeparator::Character, u"Character"_s, u"Other character"_s},
};

template <typename Names, typename Value>
QString nameOf(const Names& names, Value value) {
    for (const auto& named : names) {
        if (named.value == value) return named.settingsName;
    }
    return {};
}

template <typename Names>
auto valueNamed(const Names& names, const QString& name) {
    for (const auto& named : names) {
        if (named.settingsName == name) return named.value;
    }
    throw platform::Failure(u"Invalid property value"_s);
}

// A whole number as the settings hold it, with the failures the match-case setting has.
qlonglong storedNumber(const QString& stored) {
    bool isNumber = false;
    const qlonglong value = stored.trimmed().toLongLong(&isNumber);
    if (!isNumber) throw platform::Failure(u"Type mismatch"_s);
    return value;
}

bool storedSwitch(const QString& stored) {
    const qlonglong value = storedNumber(stored);
    if (value != 0 && value != 1) throw platform::Failure(u"Invalid property value"_s);
    return value == 1;
}

}  // namespace

std::span<const FieldSeparatorName> fieldSeparatorNames() {
    return kFieldSeparatorNames;
}

QStringList previewedEntries(const controls::ListView& list) {
    const list_store::ListStore& items = list.items();
    QStringList entries;
    // By runs: a selection of millions costs no more than one of a few.
    for (const controls::ListView::Run& run : list.selectedRuns()) {
        for (int position = run.first; position <= std::min(run.last, items.count()); ++position) {
            if (entries.size() == kPreviewedEntries) return entries;
            entries.append(items.text(position));
        }
    }
    if (!entries.isEmpty()) return entries;
    for (int position = 1; position <= std::min(items.count(), kPreviewedEntries); ++position) {
        entries.append(items.text(position));
    }
    return entries;
}

QString patternRefusal(const List::PatternCheck& check) {
    return u"%1 at position %2"_s.arg(check.errorText).arg(check.offset);
}

void StoreMatching(platform::Steps& step, int line, platform::SettingsStore& settings,
                   const List::MatchRules& rules) {
    step(line, [&] {
        const auto write = [&](const QString& key, const QString& value) {
            settings.write(kSettingsApplication, kSettingsSection, key, value);
        };
        for (const Switch& rule : kSwitches) write(rule.key, rules.*rule.rule ? u"1"_s : u"0"_s);
        write(kCompareByKey, nameOf(kCompareByNames, rules.compareBy));
        write(kFieldKey, QString::number(rules.field));
        write(kSeparatorKey, nameOf(kFieldSeparatorNames, rules.separator));
        write(kSeparatorCharacterKey,
              rules.separatorCharacter.isNull() ? QString() : QString(rules.separatorCharacter));
        write(kPatternKey, rules.pattern);
    });
}

void RestoreMatching(platform::Steps& step, int line, platform::SettingsStore& settings,
                     List::MatchRules& rules) {
    const auto read = [&](const QString& key) {
        return settings.read(kSettingsApplication, kSettingsSection, key);
    };
    for (const Switch& rule : kSwitches) {
        step(line, [&] {
            if (const auto stored = read(rule.key)) rules.*rule.rule = storedSwitch(*stored);
        });
    }
    // The way of comparing is one rule: taken whole, or not at all.
    step(line, [&] {
        List::MatchRules chosen = rules;
        if (const auto stored = read(kCompareByKey)) {
            chosen.compareBy = valueNamed(kCompareByNames, *stored);
        }
        if (const auto stored = read(kFieldKey)) {
            const qlonglong field = storedNumber(*stored);
            if (field < 1 || field > std::numeric_limits<int>::max()) {
                throw platform::Failure(u"Invalid property value"_s);
            }
            chosen.field = int(field);
        }
        if (const auto stored = read(kSeparatorKey)) {
            chosen.separator = valueNamed(kFieldSeparatorNames, *stored);
        }
        if (const auto stored = read(kSeparatorCharacterKey)) {
            if (stored->size() > 1) throw platform::Failure(u"Invalid property value"_s);
            chosen.separatorCharacter = stored->isEmpty() ? QChar() : stored->front();
        }
        if (const auto stored = read(kPatternKey)) chosen.pattern = *stored;
        if (chosen.compareBy == List::CompareBy::Pattern) {
            const List::PatternCheck check = List::checkPattern(chosen.pattern);
            if (!check.valid) throw platform::Failure(patternRefusal(check));
        }
        if (!chosen.isValid()) throw platform::Failure(u"Invalid property value"_s);
        rules = chosen;
    });
}

bool ChooseCompareBy(const Window& window, const QString& location, controls::ListView& list,
                     CompareByDialogs& dialogs, List::MatchRules& rules) {
    if (window.guard.running()) return false;
    platform::Steps step = window.steps(location);
    std::optional<List::MatchRules> chosen;
    step(100, [&] { chosen = dialogs.ask({rules, previewedEntries(list)}); });
    // Rules that cannot make keys would match nothing at all; the dialog refuses them, and so
    // does this, so that they never reach the settings.
    if (!chosen || !chosen->isValid()) return false;
    List::MatchRules changed = rules;
    changed.compareBy = chosen->compareBy;
    changed.field = chosen->field;
    changed.separator = chosen->separator;
    changed.separatorCharacter = chosen->separatorCharacter;
    changed.pattern = chosen->pattern;
    if (changed == rules) return false;
    rules = changed;
    StoreMatching(step, 102, window.settings, rules);
    return true;
}

}  // namespace commands
