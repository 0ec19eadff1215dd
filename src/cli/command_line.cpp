#include "cli/command_line.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>
#include <string_view>

#ifdef Q_OS_WIN
#include <fcntl.h>
#include <io.h>
#endif

#include "cli/list_io.h"
#include "cli/report.h"
#include "list_engine/list.h"
#include "list_files/writer.h"
#include "list_store/list_store.h"
#include "platform/aside.h"
#include "platform/cpu.h"
#include "platform/steps.h"

using namespace Qt::Literals::StringLiterals;

namespace cli {

namespace {

const QString kSubtract = u"subtract"_s;
const QString kIntersect = u"intersect"_s;
const QString kDistinct = u"distinct"_s;
const QString kSort = u"sort"_s;
const QString kRemoveContaining = u"remove-containing"_s;
const QString kRemoveNotContaining = u"remove-not-containing"_s;

#ifdef Q_OS_WIN
constexpr list_files::LineEnd kPlatformLineEnd = list_files::LineEnd::CrLf;
#else
constexpr list_files::LineEnd kPlatformLineEnd = list_files::LineEnd::Lf;
#endif

const QString kHelp =
    uR"(Usage: quorvane COMMAND [OPTIONS] ARGUMENTS...
Without arguments Quorvane opens its window. With a command it works on list files (one entry
per line) and writes the resulting list to standard output:

  subtract [--ignore-case] [--crlf] [-o OUT] FIRST SECOND
      the lines of FIRST that do not occur in SECOND, in FIRST's order, repeats kept
  intersect [--ignore-case] [--crlf] [-o OUT] FIRST SECOND
      the lines of FIRST that also occur in SECOND, in FIRST's order, repeats kept
  distinct [--crlf] [-o OUT] FILE
      the lines of FILE, each only where it first occurs
  sort [--reverse] [--crlf] [-o OUT] FILE
      the lines of FILE sorted A to Z by the locale's collation, numbers by value (file2
      before file10); lines that collate alike keep their order
  remove-containing [--crlf] [-o OUT] TEXT FILE
      the lines of FILE that do not contain TEXT
  remove-not-containing [--crlf] [-o OUT] TEXT FILE
      the lines of FILE that contain TEXT

Lines are compared exactly, character for character; nothing is trimmed. TEXT is matched
case-sensitively. FIRST, SECOND or FILE may be - for standard input. Lines may end in CR LF, CR
or LF; a UTF-8 or UTF-16 byte-order mark is recognised; bytes that are not valid UTF-8 are
written back unchanged.

Options:
  -i, --ignore-case  subtract, intersect: letter case does not matter
  -r, --reverse      sort: Z to A
      --crlf         end every line with CR LF, exactly as the window saves a list
  -o, --output OUT   write to OUT instead; OUT is replaced only once it is complete
  -h, --help         show this help and exit
  -v, --version      show the version and exit

Exit status: 0 done, 1 a file could not be read or written, 2 wrong usage.
)"_s;

// No window: nothing to keep responsive, nothing to show progress in.
class NoEvents : public platform::EventPump {
public:
    void pump() override {}
    bool handlesByClock() const override { return true; }
    bool closing() const override { return false; }
};

class NoProgress : public platform::ProgressSink {
public:
    void setValue(double) override {}
};

struct Request {
    QString command;
    QStringList arguments;  // after the command
    bool ignoreCase = false;
    bool reverse = false;
    list_files::LineEnd lineEnd = kPlatformLineEnd;
    QString output;  // empty: standard output
};

int perform(const Request& request) {
    const QStringList& args = request.arguments;
    const bool twoFiles = request.command == kSubtract || request.command == kIntersect;
    const bool filter =
        request.command == kRemoveContaining || request.command == kRemoveNotContaining;
    const QStringList inputs = twoFiles ? args : QStringList{args.at(filter ? 1 : 0)};

    // The work ahead is mostly SSE code: without this, startup code could slow all of it down.
    platform::clearUpperVectorState();
    Failures fileFailures;
    Failures secondFailures;
    list_store::ListStore first;
    list_store::ListStore second;
    {
        // The two files are read at the same time; neither touches the other's list.
        std::optional<platform::Aside> reader;
        if (twoFiles) {
            reader.emplace([&](platform::Aside&) {
                platform::clearUpperVectorState();
                load(inputs.at(1), second, secondFailures);
            });
        }
        load(inputs.at(0), first, fileFailures);
        if (reader) reader->wait();
    }
    if (fileFailures.any() || secondFailures.any()) {
        fileFailures.print();
        secondFailures.print();
        return kFileFailed;
    }

    Failures commandFailures(request.command);
    NoEvents events;
    NoProgress progress;
    const platform::CheckValue matchCase =
        request.ignoreCase ? platform::CheckValue::Unchecked : platform::CheckValue::Checked;
    const List::Environment environment{commandFailures, events, progress,
                                        [matchCase] { return matchCase; }};
    if (request.command == kSubtract) {
        List::SubtractSecondListFromFirstList(environment, first, second);
    } else if (request.command == kIntersect) {
        List::KeepOnlyItemsAlsoInSecondList(environment, first, second);
    } else if (request.command == kDistinct) {
        List::RemoveRepeatedItems(environment, first);
    } else if (request.command == kSort) {
        List::SortItems(environment, first,
                        request.reverse ? List::SortOrder::ZToA : List::SortOrder::AToZ);
    } else if (request.command == kRemoveContaining) {
        List::RemoveItemsWith(environment, first, args.at(0));
    } else {
        List::RemoveItemsWithout(environment, first, args.at(0));
    }
    // A procedure that reported a failure carried on; its result cannot be trusted.
    if (commandFailures.any()) {
        commandFailures.print();
        return kFileFailed;
    }

    save(request.output, first, request.lineEnd, fileFailures);
    if (fileFailures.any()) {
        fileFailures.print();
        return kFileFailed;
    }
    return kDone;
}

}  // namespace

bool isCommandLine(int argc, const char* const* argv) {
    if (argc < 2) return false;
    if (argv[1][0] != '-') return true;
    static constexpr std::array<std::string_view, 11> kOwnOptions{
        "-h", "--help",    "-v",     "--version", "-i",      "--ignore-case",
        "-r", "--reverse", "--crlf", "-o",        "--output"};
    const std::string_view word(argv[1]);
    return std::find(kOwnOptions.begin(), kOwnOptions.end(), word) != kOwnOptions.end() ||
           word.starts_with("--output=");
}

int run(int argc, char* argv[]) {
#ifdef Q_OS_WIN
    // Lists are bytes: no translation of line ends on the way in or out.
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(u"quorvane"_s);
    QCoreApplication::setApplicationVersion(QStringLiteral(QUORVANE_VERSION));

    QCommandLineParser parser;
    const QCommandLineOption ignoreCase({u"i"_s, u"ignore-case"_s}, u"Ignore letter case."_s);
    const QCommandLineOption reverse({u"r"_s, u"reverse"_s}, u"Sort Z to A."_s);
    const QCommandLineOption crlf(u"crlf"_s, u"End every line with CR LF."_s);
    const QCommandLineOption output({u"o"_s, u"output"_s}, u"Write to OUT."_s, u"OUT"_s);
    const QCommandLineOption help({u"h"_s, u"help"_s}, u"Show the help."_s);
    const QCommandLineOption version({u"v"_s, u"version"_s}, u"Show the version."_s);
    parser.addOptions({ignoreCase, reverse, crlf, output, help, version});
    if (!parser.parse(QCoreApplication::arguments())) return usageError(parser.errorText());
    if (parser.isSet(help)) {
        print(stdout, kHelp);
        return kDone;
    }
    if (parser.isSet(version)) {
        print(stdout, u"quorvane "_s + QCoreApplication::applicationVersion() + u'\n');
        return kDone;
    }

    QStringList args = parser.positionalArguments();
    if (args.isEmpty()) return usageError(u"no command given"_s);
    Request request;
    request.command = args.takeFirst();
    request.arguments = args;
    request.ignoreCase = parser.isSet(ignoreCase);
    request.reverse = parser.isSet(reverse);
    request.lineEnd = parser.isSet(crlf) ? list_files::LineEnd::CrLf : kPlatformLineEnd;
    if (parser.isSet(output) && parser.value(output) != kStandardStream) {
        request.output = parser.value(output);
        if (request.output.isEmpty()) return usageError(u"the output file name is empty"_s);
    }

    const bool twoFiles = request.command == kSubtract || request.command == kIntersect;
    if (twoFiles) {
        if (args.size() != 2) {
            return usageError(request.command + u" takes two files, FIRST and SECOND"_s);
        }
        if (args.at(0) == kStandardStream && args.at(1) == kStandardStream) {
            return usageError(u"standard input (-) can be read only once"_s);
        }
    } else if (request.command == kRemoveContaining || request.command == kRemoveNotContaining) {
        if (args.size() != 2) return usageError(request.command + u" takes TEXT and FILE"_s);
        if (args.at(0).isEmpty()) return usageError(u"TEXT must not be empty"_s);
    } else if (request.command == kDistinct || request.command == kSort) {
        if (args.size() != 1) return usageError(request.command + u" takes one FILE"_s);
    } else {
        return usageError(u"unknown command '%1'"_s.arg(request.command));
    }
    if (request.ignoreCase && !twoFiles) {
        return usageError(u"--ignore-case applies to subtract and intersect only"_s);
    }
    if (request.reverse && request.command != kSort) {
        return usageError(u"--reverse applies to sort only"_s);
    }
    return perform(request);
}

}  // namespace cli
