#include <QSet>
#include <QTest>

#include "cli/arguments.h"
#include "list_engine/match_rules.h"

using namespace Qt::Literals::StringLiterals;

namespace {

// An invocation in one line: "window [a.txt] [b.txt] qt [-platform offscreen]", "command sort
// [a.txt] --reverse -o=out.txt", "usage: unknown command 'x'", "help", "version".
QString describe(const cli::Invocation& invocation) {
    const auto list = [](const QStringList& items) { return u'[' + items.join(u' ') + u']'; };
    switch (invocation.kind) {
        case cli::Invocation::Kind::Window: {
            QString text = u"window "_s + list(invocation.list1) + u' ' + list(invocation.list2);
            if (!invocation.qtOptions.isEmpty()) text += u" qt "_s + list(invocation.qtOptions);
            return text;
        }
        case cli::Invocation::Kind::Command: {
            QString text = u"command "_s + invocation.command + u' ' + list(invocation.operands);
            const std::pair<cli::Option, const char16_t*> names[] = {
                {cli::Option::IgnoreCase, u"--ignore-case"},
                {cli::Option::Reverse, u"--reverse"},
                {cli::Option::Crlf, u"--crlf"},
                {cli::Option::Output, u"-o="},
            };
            for (const auto& [option, name] : names) {
                if (invocation.has(option)) text += u' ' + QString::fromUtf16(name);
            }
            if (invocation.has(cli::Option::Output)) text += invocation.value(cli::Option::Output);
            if (invocation.rules.beyondCase()) {
                text += u" rules ["_s + List::describeRules(invocation.rules) + u']';
            }
            if (invocation.rules.compareBy == List::CompareBy::Pattern) {
                text += u" key ["_s + invocation.rules.pattern + u']';
            }
            return text;
        }
        case cli::Invocation::Kind::Help:
            return u"help"_s;
        case cli::Invocation::Kind::Version:
            return u"version"_s;
        case cli::Invocation::Kind::Usage:
            return u"usage: "_s + invocation.problem;
    }
    return {};
}

}  // namespace

class ArgumentsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void argumentsAskForACommandTheWindowOrAreAUsageError_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, const QStringList& arguments, const QString& result) {
            QTest::newRow(name) << arguments << result;
        };
        // The window and its files.
        row("nothing", {}, u"window [] []"_s);
        row("an existing file", {u"a.txt"_s}, u"window [a.txt] []"_s);
        row("several files, then List 2's",
            {u"a.txt"_s, u"b.txt"_s, u"--second"_s, u"c.txt"_s, u"d.txt"_s},
            u"window [a.txt b.txt] [c.txt d.txt]"_s);
        row("List 2 only", {u"--second"_s, u"b.txt"_s}, u"window [] [b.txt]"_s);
        row("later files are the window's to report", {u"a.txt"_s, u"gone.txt"_s, u"sort"_s},
            u"window [a.txt gone.txt sort] []"_s);
        row("a path that is not there", {u"folder/gone.txt"_s}, u"window [folder/gone.txt] []"_s);
        row("an absolute path", {u"/srv/lists/big.txt"_s}, u"window [/srv/lists/big.txt] []"_s);
        row("a file without a dot", {u"notes"_s}, u"window [notes] []"_s);
#ifdef Q_OS_WIN
        // Explorer's "Open with" gives each chosen file as a full path of its own.
        row("Explorer's several files", {u"C:\\Users\\u\\a b.txt"_s, u"D:\\c.csv"_s},
            u"window [C:\\Users\\u\\a b.txt D:\\c.csv] []"_s);
#endif
        row("file manager's several files", {u"/home/u/a b.txt"_s, u"/home/u/c.csv"_s},
            u"window [/home/u/a b.txt /home/u/c.csv] []"_s);

        // "--": everything after it is a file.
        row("a file named like a command", {u"--"_s, u"sort"_s}, u"window [sort] []"_s);
        row("a file named like a Qt option", {u"--"_s, u"-reverse"_s}, u"window [-reverse] []"_s);
        row("--second after -- is a file", {u"--"_s, u"a.txt"_s, u"--second"_s, u"x"_s},
            u"window [a.txt --second x] []"_s);
        row("-- after --second", {u"a.txt"_s, u"--second"_s, u"--"_s, u"sort"_s},
            u"window [a.txt] [sort]"_s);
        row("a file named -", {u"a.txt"_s, u"--"_s, u"-"_s}, u"window [a.txt -] []"_s);
        row("a file named --help", {u"--"_s, u"--help"_s}, u"window [--help] []"_s);
        row("nothing after --", {u"--"_s}, u"window [] []"_s);

        // Qt's own options reach the window, with their values; nothing else does.
        row("-platform", {u"-platform"_s, u"offscreen"_s, u"a.txt"_s},
            u"window [a.txt] [] qt [-platform offscreen]"_s);
        row("--platform", {u"--platform"_s, u"xcb"_s}, u"window [] [] qt [--platform xcb]"_s);
        row("-session", {u"-session"_s, u"1a2b"_s}, u"window [] [] qt [-session 1a2b]"_s);
        row("-reverse is Qt's", {u"a.txt"_s, u"-reverse"_s}, u"window [a.txt] [] qt [-reverse]"_s);
        row("the rest of Qt's",
            {u"-style=fusion"_s,
             u"-style"_s,
             u"fusion"_s,
             u"-stylesheet"_s,
             u"s.qss"_s,
             u"-widgetcount"_s,
             u"-qwindowgeometry"_s,
             u"100x100+0+0"_s,
             u"-display"_s,
             u":1"_s,
             u"-geometry"_s,
             u"1x1"_s,
             u"-qwindowtitle"_s,
             u"T"_s,
             u"-name"_s,
             u"n"_s,
             u"-platformtheme"_s,
             u"gtk3"_s,
             u"-plugin"_s,
             u"p"_s,
             u"-qwindowicon"_s,
             u"i"_s},
            u"window [] [] qt [-style=fusion -style fusion -stylesheet s.qss -widgetcount "
            "-qwindowgeometry 100x100+0+0 -display :1 -geometry 1x1 -qwindowtitle T -name n "
            "-platformtheme gtk3 -plugin p -qwindowicon i]"_s);
        row("a Qt option's value that looks like a command", {u"-name"_s, u"sort"_s},
            u"window [] [] qt [-name sort]"_s);

        // Commands.
        row("a command", {u"subtract"_s, u"a"_s, u"b"_s}, u"command subtract [a b]"_s);
        row("a command word wins over a file of that name", {u"sort"_s, u"a.txt"_s},
            u"command sort [a.txt]"_s);
        row("options before the command", {u"-r"_s, u"sort"_s, u"a"_s},
            u"command sort [a] --reverse"_s);
        row("options anywhere",
            {u"subtract"_s, u"a"_s, u"--crlf"_s, u"b"_s, u"--ignore-case"_s, u"-o"_s, u"x"_s},
            u"command subtract [a b] --ignore-case --crlf -o=x"_s);
        row("--output=", {u"--output=x"_s, u"distinct"_s, u"a"_s}, u"command distinct [a] -o=x"_s);
        row("-o -", {u"-o"_s, u"-"_s, u"sort"_s, u"a"_s}, u"command sort [a] -o=-"_s);
        row("-o's value that looks like an option", {u"sort"_s, u"-o"_s, u"-x"_s, u"a"_s},
            u"command sort [a] -o=-x"_s);
        row("a TEXT after --", {u"remove-containing"_s, u"--"_s, u"-x"_s, u"a"_s},
            u"command remove-containing [-x a]"_s);
        row("TEXT - and standard input", {u"remove-containing"_s, u"-"_s, u"-"_s},
            u"command remove-containing [- -]"_s);
        row("help wins", {u"subtract"_s, u"--help"_s}, u"help"_s);
        row("help with files", {u"a.txt"_s, u"-h"_s}, u"help"_s);
        row("version", {u"-v"_s}, u"version"_s);
        row("--version", {u"--version"_s}, u"version"_s);

        // Usage errors.
        row("a mistyped command", {u"substract"_s, u"a"_s, u"b"_s},
            u"usage: unknown command 'substract'"_s);
        row("a file that is not there", {u"gone.txt"_s}, u"usage: unknown command 'gone.txt'"_s);
        row("List 2's missing first file", {u"--second"_s, u"gone.txt"_s},
            u"usage: unknown command 'gone.txt'"_s);
        row("an empty first argument", {QString()}, u"usage: unknown command ''"_s);
        row("an empty file for the window", {u"a.txt"_s, QString()},
            u"usage: FILE must not be empty"_s);
        row("an unknown option", {u"--bogus"_s}, u"usage: unknown option '--bogus'"_s);
        row("an unknown option with files", {u"a.txt"_s, u"--bogus"_s},
            u"usage: unknown option '--bogus'"_s);
        row("an unknown option with a command", {u"sort"_s, u"--fast"_s, u"a"_s},
            u"usage: unknown option '--fast'"_s);
        row("compact short options are no options", {u"sort"_s, u"-ri"_s, u"a"_s},
            u"usage: unknown option '-ri'"_s);
        row("-o twice", {u"sort"_s, u"-o"_s, u"x"_s, u"-o"_s, u"y"_s, u"a"_s},
            u"usage: -o can be given only once"_s);
        row("--output twice", {u"sort"_s, u"--output=x"_s, u"--output"_s, u"y"_s, u"a"_s},
            u"usage: --output can be given only once"_s);
        row("--second twice", {u"a.txt"_s, u"--second"_s, u"b"_s, u"--second"_s, u"c"_s},
            u"usage: --second can be given only once"_s);
        row("--second without files", {u"a.txt"_s, u"--second"_s},
            u"usage: --second takes one or more files"_s);
        row("--second alone", {u"--second"_s}, u"usage: --second takes one or more files"_s);
        row("-o without a value", {u"sort"_s, u"a"_s, u"-o"_s}, u"usage: -o needs a file name"_s);
        row("a Qt option without a value", {u"-platform"_s}, u"usage: -platform needs a value"_s);
        row("a value for a switch", {u"sort"_s, u"--crlf=yes"_s, u"a"_s},
            u"usage: --crlf takes no value"_s);
        row("a Qt option with a command", {u"sort"_s, u"-platform"_s, u"x"_s, u"a"_s},
            u"usage: -platform applies to the window only"_s);
        row("Qt's -reverse with a command", {u"sort"_s, u"-reverse"_s, u"a"_s},
            u"usage: -reverse applies to the window only"_s);
        row("--second with a command", {u"subtract"_s, u"a"_s, u"--second"_s, u"b"_s},
            u"usage: --second applies to the window only"_s);
        row("a command's option for the window", {u"a.txt"_s, u"--crlf"_s},
            u"usage: --crlf applies to the commands only"_s);
        row("-i for the window", {u"a.txt"_s, u"-i"_s},
            u"usage: -i applies to subtract, intersect, distinct and compare only"_s);
        row("options without a command", {u"--crlf"_s, u"-o"_s, u"x"_s},
            u"usage: no command given"_s);
        row("-i on sort", {u"sort"_s, u"-i"_s, u"a"_s},
            u"usage: -i applies to subtract, intersect, distinct and compare only"_s);
        row("--reverse on subtract", {u"subtract"_s, u"--reverse"_s, u"a"_s, u"b"_s},
            u"usage: --reverse applies to sort only"_s);
        row("standard input for the window", {u"-"_s},
            u"usage: standard input (-) can be read by a command only"_s);
        row("standard input among the window's files", {u"a.txt"_s, u"-"_s},
            u"usage: standard input (-) can be read by a command only"_s);
        row("standard input twice", {u"subtract"_s, u"-"_s, u"-"_s},
            u"usage: standard input (-) can be read only once"_s);
        row("one file for subtract", {u"subtract"_s, u"a"_s},
            u"usage: subtract takes two files, FIRST and SECOND"_s);
        row("two files for sort", {u"sort"_s, u"a"_s, u"b"_s}, u"usage: sort takes one FILE"_s);
        row("no FILE for a filter", {u"remove-not-containing"_s, u"x"_s},
            u"usage: remove-not-containing takes TEXT and FILE"_s);
        row("-- moves a command's word away", {u"--"_s, u"subtract"_s, u"a"_s},
            u"window [subtract a] []"_s);
        row("empty FILE", {u"distinct"_s, QString()}, u"usage: FILE must not be empty"_s);

        // Matching rules.
        row("every rule for subtract",
            {u"subtract"_s, u"--trim"_s, u"--spaces"_s, u"--invisible"_s, u"--unicode"_s,
             u"--accents"_s, u"-i"_s, u"a"_s, u"b"_s},
            u"command subtract [a b] --ignore-case rules [invisibles, accents, edge spaces "
            u"ignored, spaces alike]"_s);
        row("a field by a named separator",
            {u"intersect"_s, u"--field"_s, u"2"_s, u"--separator=semicolon"_s, u"a"_s, u"b"_s},
            u"command intersect [a b] rules [field 2 by semicolon]"_s);
        row("a separator character that has a name",
            {u"distinct"_s, u"--field=3"_s, u"--separator"_s, u","_s, u"a"_s},
            u"command distinct [a] rules [field 3 by comma]"_s);
        row("any other character", {u"distinct"_s, u"--field=1"_s, u"--separator=:"_s, u"a"_s},
            u"command distinct [a] rules [field 1 by ':']"_s);
        row("a pattern that starts with a dash", {u"distinct"_s, u"--key"_s, u"-(\\d+)"_s, u"a"_s},
            u"command distinct [a] rules [key by pattern] key [-(\\d+)]"_s);
        row("field 0", {u"subtract"_s, u"--field"_s, u"0"_s, u"a"_s, u"b"_s},
            u"usage: --field takes a whole number from 1, not '0'"_s);
        row("a field that is no number", {u"subtract"_s, u"--field=+2"_s, u"a"_s, u"b"_s},
            u"usage: --field takes a whole number from 1, not '+2'"_s);
        row("a field beyond any list", {u"subtract"_s, u"--field=99999999999"_s, u"a"_s, u"b"_s},
            u"usage: --field takes a whole number from 1, not '99999999999'"_s);
        row("--field without its number", {u"subtract"_s, u"a"_s, u"b"_s, u"--field"_s},
            u"usage: --field needs a field number"_s);
        row("a separator without a field", {u"subtract"_s, u"--separator=tab"_s, u"a"_s, u"b"_s},
            u"usage: --separator needs --field"_s);
        row("an unknown separator",
            {u"subtract"_s, u"--field=2"_s, u"--separator=colon"_s, u"a"_s, u"b"_s},
            u"usage: --separator takes tab, comma, semicolon, bar, space or one character, "
            u"not 'colon'"_s);
        row("field and key", {u"subtract"_s, u"--field=2"_s, u"--key=x"_s, u"a"_s, u"b"_s},
            u"usage: --field and --key cannot be given together"_s);
        row("a pattern that does not compile",
            {u"subtract"_s, u"--key"_s, u"a(b"_s, u"a"_s, u"b"_s},
            u"usage: --key: missing closing parenthesis at offset 3 of the pattern"_s);
        row("an empty pattern", {u"subtract"_s, u"--key="_s, u"a"_s, u"b"_s},
            u"usage: --key must not be empty"_s);
        row("a rule for sort", {u"sort"_s, u"--trim"_s, u"a"_s},
            u"usage: --trim applies to subtract, intersect, distinct and compare only"_s);
        row("empty FIRST", {u"subtract"_s, QString(), u"b"_s}, u"usage: FIRST must not be empty"_s);
        row("empty SECOND", {u"intersect"_s, u"a"_s, QString()},
            u"usage: SECOND must not be empty"_s);
        row("empty TEXT", {u"remove-containing"_s, QString(), u"a"_s},
            u"usage: TEXT must not be empty"_s);
        row("empty OUT", {u"sort"_s, u"--output="_s, u"a"_s}, u"usage: OUT must not be empty"_s);
    }
    void argumentsAskForACommandTheWindowOrAreAUsageError() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, expected);
        const QSet<QString> existing{u"a.txt"_s, u"b.txt"_s, u"sort"_s, u"notes"_s};
        const cli::Invocation invocation =
            cli::classify(arguments, [&](const QString& path) { return existing.contains(path); });
        QCOMPARE(describe(invocation), expected);
    }
};

QTEST_GUILESS_MAIN(ArgumentsTest)
#include "tst_arguments.moc"
