#include "cli/arguments.h"

#include <QDir>
#include <QFileInfo>
#include <QList>
#include <algorithm>
#include <iterator>
#include <optional>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#include <shellapi.h>
#endif

using namespace Qt::Literals::StringLiterals;

// QCommandLineParser is not used: it cannot tell Qt's window options and the files for the
// window from a command's arguments, nor options that only some commands take, and its messages
// are worded in a style of their own.
namespace cli {

namespace {

constexpr unsigned bit(Option option) {
    return 1U << unsigned(option);
}

struct OptionSpec {
    Option option;
    QLatin1StringView shortName;  // empty when there is none
    QLatin1StringView longName;
    QLatin1StringView valueName;  // what follows it; empty when nothing does
};

constexpr OptionSpec kOptions[] = {
    {Option::IgnoreCase, "-i"_L1, "--ignore-case"_L1, {}},
    {Option::Reverse, "-r"_L1, "--reverse"_L1, {}},
    {Option::Crlf, {}, "--crlf"_L1, {}},
    {Option::Output, "-o"_L1, "--output"_L1, "a file name"_L1},
    {Option::Trim, {}, "--trim"_L1, {}},
    {Option::Spaces, {}, "--spaces"_L1, {}},
    {Option::Invisible, {}, "--invisible"_L1, {}},
    {Option::Unicode, {}, "--unicode"_L1, {}},
    {Option::Accents, {}, "--accents"_L1, {}},
    {Option::Field, {}, "--field"_L1, "a field number"_L1},
    {Option::Separator, {}, "--separator"_L1, "a separator"_L1},
    {Option::Key, {}, "--key"_L1, "a pattern"_L1},
    {Option::NearMisses, {}, "--near-misses"_L1, {}},
    {Option::Show, {}, "--show"_L1, "a region"_L1},
};

// The operand named TEXT is a text; every other one names a file ("-" for standard input).
constexpr QLatin1StringView kText = "TEXT"_L1;

struct CommandSpec {
    QLatin1StringView name;
    int operandCount;
    unsigned options;
    QLatin1StringView operands[2];
    QLatin1StringView takes;  // its operands, as a usage error names them
};

constexpr unsigned kEveryCommand = bit(Option::Crlf) | bit(Option::Output);
// The comparing commands' options: case and the other matching rules.
constexpr unsigned kMatching = bit(Option::IgnoreCase) | bit(Option::Trim) | bit(Option::Spaces) |
                               bit(Option::Invisible) | bit(Option::Unicode) |
                               bit(Option::Accents) | bit(Option::Field) | bit(Option::Separator) |
                               bit(Option::Key);

constexpr CommandSpec kCommands[] = {
    {"subtract"_L1,
     2,
     kEveryCommand | kMatching,
     {"FIRST"_L1, "SECOND"_L1},
     "two files, FIRST and SECOND"_L1},
    {"intersect"_L1,
     2,
     kEveryCommand | kMatching,
     {"FIRST"_L1, "SECOND"_L1},
     "two files, FIRST and SECOND"_L1},
    {"distinct"_L1, 1, kEveryCommand | kMatching, {"FILE"_L1, {}}, "one FILE"_L1},
    {"compare"_L1,
     2,
     kEveryCommand | kMatching | bit(Option::NearMisses) | bit(Option::Show),
     {"FIRST"_L1, "SECOND"_L1},
     "two files, FIRST and SECOND"_L1},
    {"sort"_L1, 1, kEveryCommand | bit(Option::Reverse), {"FILE"_L1, {}}, "one FILE"_L1},
    {"remove-containing"_L1, 2, kEveryCommand, {kText, "FILE"_L1}, "TEXT and FILE"_L1},
    {"remove-not-containing"_L1, 2, kEveryCommand, {kText, "FILE"_L1}, "TEXT and FILE"_L1},
};

// Qt's own options, which the window's application object takes (QGuiApplication, QApplication
// and the X11 platform), named without their dash; Qt accepts them with one dash or two.
struct QtOptionSpec {
    QLatin1StringView name;
    bool takesValue;
};

constexpr QtOptionSpec kQtOptions[] = {
    {"platform"_L1, true},
    {"platformpluginpath"_L1, true},
    {"platformtheme"_L1, true},
    {"plugin"_L1, true},
    {"qwindowgeometry"_L1, true},
    {"geometry"_L1, true},
    {"qwindowtitle"_L1, true},
    {"title"_L1, true},
    {"qwindowicon"_L1, true},
    {"icon"_L1, true},
    {"session"_L1, true},
    {"display"_L1, true},
    {"name"_L1, true},
    {"visual"_L1, true},
    {"style"_L1, true},
    {"stylesheet"_L1, true},
    {"reverse"_L1, false},
    {"widgetcount"_L1, false},
    {"testability"_L1, false},
    {"nograb"_L1, false},
    {"dograb"_L1, false},
};
// Those Qt takes with their value after "=" in the same argument.
constexpr QLatin1StringView kQtAssignedOptions[] = {"style="_L1, "stylesheet="_L1,
                                                    "qmljsdebugger="_L1};

const QString kSecond = u"--second"_s;
// The regions compare --show prints.
const QStringList kRegions{u"only-first"_s, u"both"_s, u"only-second"_s};

const OptionSpec* ownOption(const QString& argument) {
    for (const OptionSpec& known : kOptions) {
        if (argument == known.longName ||
            (!known.shortName.isEmpty() && argument == known.shortName))
            return &known;
        if (argument.startsWith(known.longName + u'=')) return &known;
    }
    return nullptr;
}

// Whether the argument is one of Qt's options: nothing when it is not; true when its value is
// the next argument.
std::optional<bool> qtOptionTakesNext(const QString& argument) {
    const QStringView name = QStringView(argument).mid(argument.startsWith(u"--"_s) ? 2 : 1);
    for (const QtOptionSpec& known : kQtOptions) {
        if (name == known.name) return known.takesValue;
    }
    for (const QLatin1StringView prefix : kQtAssignedOptions) {
        if (name.startsWith(prefix)) return false;
    }
    return std::nullopt;
}

const CommandSpec* command(const QString& word) {
    for (const CommandSpec& known : kCommands) {
        if (word == known.name) return &known;
    }
    return nullptr;
}

bool holdsSeparator(const QString& path) {
    return path.contains(u'/') || path.contains(QDir::separator());
}

Invocation usage(const QString& problem) {
    Invocation invocation;
    invocation.kind = Invocation::Kind::Usage;
    invocation.problem = problem;
    return invocation;
}

// "-i applies to subtract and intersect only", "--crlf applies to the commands only".
QString appliesTo(const QString& spelled, Option option) {
    QStringList names;
    for (const CommandSpec& known : kCommands) {
        if ((known.options & bit(option)) != 0) names.append(known.name);
    }
    if (names.size() == qsizetype(std::size(kCommands))) {
        return spelled + u" applies to the commands only"_s;
    }
    const QString last = names.takeLast();
    const QString all = names.isEmpty() ? last : names.join(u", "_s) + u" and "_s + last;
    return spelled + u" applies to "_s + all + u" only"_s;
}

struct NamedSeparator {
    QLatin1StringView name;
    QChar character;
    List::FieldSeparator separator;
};

constexpr NamedSeparator kSeparators[] = {
    {"tab"_L1, u'\t', List::FieldSeparator::Tab},
    {"comma"_L1, u',', List::FieldSeparator::Comma},
    {"semicolon"_L1, u';', List::FieldSeparator::Semicolon},
    {"bar"_L1, u'|', List::FieldSeparator::Bar},
    {"space"_L1, u' ', List::FieldSeparator::Space},
};

// The rules a command's options ask for, or what is wrong with them.
std::optional<QString> readRules(const Invocation& invocation, List::MatchRules& rules) {
    rules.ignoreCase = invocation.has(Option::IgnoreCase);
    rules.trim = invocation.has(Option::Trim);
    rules.spaces = invocation.has(Option::Spaces);
    rules.invisible = invocation.has(Option::Invisible);
    rules.unicode = invocation.has(Option::Unicode);
    rules.accents = invocation.has(Option::Accents);
    if (invocation.has(Option::Field) && invocation.has(Option::Key)) {
        return u"--field and --key cannot be given together"_s;
    }
    if (invocation.has(Option::Separator) && !invocation.has(Option::Field)) {
        return u"--separator needs --field"_s;
    }
    if (invocation.has(Option::Field)) {
        const QString number = invocation.value(Option::Field);
        bool digits = !number.isEmpty();
        for (const QChar c : number) digits = digits && c >= u'0' && c <= u'9';
        bool fits = false;
        const int field = digits ? number.toInt(&fits) : 0;
        if (!fits || field < 1) {
            return u"--field takes a whole number from 1, not '%1'"_s.arg(number);
        }
        rules.compareBy = List::CompareBy::Field;
        rules.field = field;
        if (invocation.has(Option::Separator)) {
            const QString given = invocation.value(Option::Separator);
            const auto named = std::find_if(
                std::begin(kSeparators), std::end(kSeparators), [&](const NamedSeparator& known) {
                    return given == known.name ||
                           (given.size() == 1 && given[0] == known.character);
                });
            if (named != std::end(kSeparators)) {
                rules.separator = named->separator;
            } else if (given.size() == 1) {
                rules.separator = List::FieldSeparator::Character;
                rules.separatorCharacter = given[0];
            } else {
                return u"--separator takes tab, comma, semicolon, bar, space or one character, "
                       u"not '%1'"_s.arg(given);
            }
        }
    }
    if (invocation.has(Option::Key)) {
        rules.compareBy = List::CompareBy::Pattern;
        rules.pattern = invocation.value(Option::Key);
        if (rules.pattern.isEmpty()) return u"--key must not be empty"_s;
        const List::PatternCheck check = List::checkPattern(rules.pattern);
        if (!check.valid) {
            return u"--key: %1 at offset %2 of the pattern"_s.arg(check.errorText)
                .arg(check.offset);
        }
    }
    return std::nullopt;
}

}  // namespace

QLatin1StringView optionName(Option option) {
    const auto found =
        std::find_if(std::begin(kOptions), std::end(kOptions),
                     [option](const OptionSpec& known) { return known.option == option; });
    return found->longName;
}

bool pathExists(const QString& path) {
    return QFileInfo::exists(path);
}

Invocation classify(const QStringList& arguments, const ExistsTest& exists) {
    struct Operand {
        QString text;
        bool afterDashes;
    };
    struct Given {
        Option option;
        QString spelled;
        QString value;
    };
    QList<Operand> operands;
    QList<Given> given;
    qsizetype secondFrom = -1;  // the first operand for List 2
    QStringList qtOptions;
    QString firstQtOption;
    bool help = false;
    bool version = false;
    bool dashes = false;

    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (dashes || argument == u"-"_s || !argument.startsWith(u'-')) {
            operands.append({argument, dashes});
        } else if (argument == u"--"_s) {
            dashes = true;
        } else if (argument == u"-h"_s || argument == u"--help"_s) {
            help = true;
        } else if (argument == u"-v"_s || argument == u"--version"_s) {
            version = true;
        } else if (argument == kSecond) {
            if (secondFrom >= 0) return usage(kSecond + u" can be given only once"_s);
            secondFrom = operands.size();
        } else if (const OptionSpec* known = ownOption(argument)) {
            const qsizetype equals = argument.indexOf(u'=');
            const QString spelled = equals < 0 ? argument : argument.left(equals);
            QString value;
            if (known->valueName.isEmpty()) {
                if (equals >= 0) return usage(spelled + u" takes no value"_s);
            } else if (equals >= 0) {
                value = argument.mid(equals + 1);
            } else if (i + 1 < arguments.size()) {
                value = arguments.at(++i);
            } else {
                return usage(spelled + u" needs "_s + known->valueName);
            }
            for (const Given& earlier : given) {
                if (earlier.option == known->option && !known->valueName.isEmpty()) {
                    return usage(spelled + u" can be given only once"_s);
                }
            }
            given.append({known->option, spelled, value});
        } else if (const std::optional<bool> takesNext = qtOptionTakesNext(argument)) {
            if (firstQtOption.isEmpty()) firstQtOption = argument.section(u'=', 0, 0);
            qtOptions.append(argument);
            if (*takesNext) {
                if (i + 1 == arguments.size()) return usage(argument + u" needs a value"_s);
                qtOptions.append(arguments.at(++i));
            }
        } else {
            return usage(u"unknown option '%1'"_s.arg(argument));
        }
    }
    if (help) {
        Invocation invocation;
        invocation.kind = Invocation::Kind::Help;
        return invocation;
    }
    if (version) {
        Invocation invocation;
        invocation.kind = Invocation::Kind::Version;
        return invocation;
    }

    const CommandSpec* found = nullptr;
    if (!operands.isEmpty() && !operands.first().afterDashes) {
        found = command(operands.first().text);
    }
    if (found) {
        if (secondFrom >= 0) return usage(kSecond + u" applies to the window only"_s);
        if (!firstQtOption.isEmpty())
            return usage(firstQtOption + u" applies to the window only"_s);
        Invocation invocation;
        invocation.kind = Invocation::Kind::Command;
        invocation.command = found->name;
        for (qsizetype k = 1; k < operands.size(); ++k) {
            invocation.operands.append(operands.at(k).text);
        }
        if (invocation.operands.size() != found->operandCount) {
            return usage(invocation.command + u" takes "_s + found->takes);
        }
        int standardInputs = 0;
        for (int k = 0; k < found->operandCount; ++k) {
            const QString& operand = invocation.operands.at(k);
            if (operand.isEmpty()) return usage(found->operands[k] + u" must not be empty"_s);
            if (found->operands[k] != kText && operand == u"-"_s) ++standardInputs;
        }
        if (standardInputs > 1) return usage(u"standard input (-) can be read only once"_s);
        for (const Given& option : given) {
            if ((found->options & bit(option.option)) == 0) {
                return usage(appliesTo(option.spelled, option.option));
            }
            invocation.options[option.option] = option.value;
        }
        if (invocation.has(Option::Output) && invocation.value(Option::Output).isEmpty()) {
            return usage(u"OUT must not be empty"_s);
        }
        if (const std::optional<QString> problem = readRules(invocation, invocation.rules)) {
            return usage(*problem);
        }
        if (invocation.has(Option::Show)) {
            const QString region = invocation.value(Option::Show);
            if (!kRegions.contains(region)) {
                return usage(
                    u"--show takes only-first, both or only-second, not '%1'"_s.arg(region));
            }
            if (invocation.has(Option::NearMisses)) {
                return usage(u"--show and --near-misses cannot be given together"_s);
            }
        }
        return invocation;
    }

    // The window, with or without files.
    if (operands.isEmpty()) {
        if (secondFrom >= 0) return usage(kSecond + u" takes one or more files"_s);
        if (!given.isEmpty()) return usage(u"no command given"_s);
        Invocation invocation;
        invocation.qtOptions = qtOptions;
        return invocation;
    }
    for (const Operand& operand : operands) {
        if (!operand.afterDashes && operand.text == u"-"_s) {
            return usage(u"standard input (-) can be read by a command only"_s);
        }
    }
    // A mistyped command must not be taken for a file that is not there.
    const Operand& first = operands.first();
    if (!first.afterDashes && !holdsSeparator(first.text) && !exists(first.text)) {
        return usage(u"unknown command '%1'"_s.arg(first.text));
    }
    if (!given.isEmpty()) return usage(appliesTo(given.first().spelled, given.first().option));
    if (secondFrom == operands.size()) return usage(kSecond + u" takes one or more files"_s);
    Invocation invocation;
    for (qsizetype k = 0; k < operands.size(); ++k) {
        if (operands.at(k).text.isEmpty()) return usage(u"FILE must not be empty"_s);
        (secondFrom >= 0 && k >= secondFrom ? invocation.list2 : invocation.list1)
            .append(operands.at(k).text);
    }
    invocation.qtOptions = qtOptions;
    return invocation;
}

QStringList programArguments(int argc, const char* const* argv) {
    QStringList arguments;
#ifdef Q_OS_WIN
    // argv holds the ANSI code page's approximation of each name; the system keeps them whole.
    Q_UNUSED(argc);
    Q_UNUSED(argv);
    int count = 0;
    if (LPWSTR* words = CommandLineToArgvW(GetCommandLineW(), &count)) {
        for (int i = 1; i < count; ++i) {
            arguments.append(QString::fromWCharArray(words[i]));
        }
        LocalFree(words);
    }
#else
    for (int i = 1; i < argc; ++i) arguments.append(QString::fromLocal8Bit(argv[i]));
#endif
    return arguments;
}

}  // namespace cli
