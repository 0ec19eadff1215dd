#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <map>

#include "list_engine/match_rules.h"

// What the arguments of `quorvane` ask for: a command, the window (with files for its lists), the
// help or version, or nothing sound. Decided before any application object exists, so that a
// command needs no display and a usage error opens no window.
namespace cli {

// The commands' options. Which command takes which is a line of the command table in
// arguments.cpp; a new option is one value here, one line of the option table there, and its
// name in the lines of the commands that take it.
enum class Option {
    IgnoreCase,
    Reverse,
    Crlf,
    Output,
    Trim,
    Spaces,
    Invisible,
    Unicode,
    Accents,
    Field,
    Separator,
    Key,
    NearMisses,
    Show
};

// An option's long name as it is typed, "--trim" for Option::Trim.
QLatin1StringView optionName(Option option);

struct Invocation {
    enum class Kind { Window, Command, Help, Version, Usage };
    Kind kind = Kind::Window;

    // Kind::Command: the command word, its operands in order, and its options with their values
    // (empty for an option without one).
    QString command;
    QStringList operands;
    std::map<Option, QString> options;
    bool has(Option option) const { return options.count(option) != 0; }
    QString value(Option option) const {
        const auto found = options.find(option);
        return found == options.end() ? QString() : found->second;
    }

    // Kind::Command: the matching rules its options ask for, checked already (a field number
    // from 1, a separator that is known or one character, a pattern that compiles).
    List::MatchRules rules;

    // Kind::Window: the files for List 1 and for List 2, as given, and Qt's own options (with
    // their values) for the window's application object, in the order given.
    QStringList list1;
    QStringList list2;
    QStringList qtOptions;

    // Kind::Usage: what is wrong, one line without the program's name.
    QString problem;
};

// Whether a path names something that exists; the file system's answer unless a test gives its
// own.
using ExistsTest = std::function<bool(const QString& path)>;
bool pathExists(const QString& path);

// The grammar: a first operand that is a command word runs that command (its options may come
// before or after it); otherwise a first operand that names something that exists, or holds a
// path separator, opens the window with the files, those after --second going to List 2. After
// "--" every argument is an operand, so `quorvane -- sort` opens a file named "sort". Qt's own
// window options go to the window only. `arguments` leaves out the program's name.
Invocation classify(const QStringList& arguments, const ExistsTest& exists = pathExists);

// The program's arguments after its name, in full Unicode also on Windows.
QStringList programArguments(int argc, const char* const* argv);

}  // namespace cli
