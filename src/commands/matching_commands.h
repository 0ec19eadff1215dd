#pragma once

#include <QStringList>
#include <optional>
#include <span>

#include "commands/command_context.h"
#include "list_engine/match_rules.h"

namespace commands {

// What the Compare By dialog is given: the rules in force, whose way of comparing it offers to
// change, and the entries whose keys it previews.
struct CompareByRequest {
    List::MatchRules rules;
    QStringList entries;
};

// The Compare By dialog, behind a seam: production shows it over the window, tests script it.
class CompareByDialogs {
public:
    virtual ~CompareByDialogs() = default;
    // The rules with the way of comparing chosen, or nothing after Cancel. Never rules that
    // cannot make keys: the dialog refuses them.
    virtual std::optional<List::MatchRules> ask(const CompareByRequest& request) = 0;
};

// A field separator with the name the settings keep it under and the Compare By dialog's caption
// for it.
struct FieldSeparatorName {
    List::FieldSeparator value;
    QString settingsName;
    QString caption;
};
// Every field separator, in the order the dialog offers them.
std::span<const FieldSeparatorName> fieldSeparatorNames();

// The entries whose keys the dialog previews: the selected ones, or else the first of the list;
// at most this many.
inline constexpr int kPreviewedEntries = 5;
QStringList previewedEntries(const controls::ListView& list);

// The refusal of a pattern that does not compile: Qt's own text and where it found the fault.
QString patternRefusal(const List::PatternCheck& check);

// Keeps the rules beyond case for the next start, each under its own key beside Check1, as the
// one step `line`.
void StoreMatching(platform::Steps& step, int line, platform::SettingsStore& settings,
                   const List::MatchRules& rules);
// Reads the kept rules beyond case into `rules`, each as one step under `line`: a stored value
// that is wrong is reported there, and that rule keeps the value it had.
void RestoreMatching(platform::Steps& step, int line, platform::SettingsStore& settings,
                     List::MatchRules& rules);

// Asks for the way of comparing with `list`'s entries as the preview; true when `rules` changed.
// Not while a long command runs: the dialog would hold it up, and it reads the list.
bool ChooseCompareBy(const Window& window, const QString& location, controls::ListView& list,
                     CompareByDialogs& dialogs, List::MatchRules& rules);

}  // namespace commands
