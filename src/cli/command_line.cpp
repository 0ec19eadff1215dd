#include "cli/command_line.h"

#include <QCoreApplication>
#include <cstdio>
#include <optional>

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
    uR"(Usage: quorvane [FILE...] [--second FILE...]
       quorvane COMMAND [OPTIONS] ARGUMENTS...

Without a command Quorvane opens its window and loads the FILEs into List 1, and those after
--second into List 2, as each list's Load List From Text File would. The first FILE must exist
or contain a path separator (./name will do), so that a mistyped command is not taken for a
file; after -- every argument is a FILE: 'quorvane -- sort' opens a file named sort.

With a command it works on list files (one entry per line) and writes the resulting list to
standard output:

  subtract [MATCHING] [--crlf] [-o OUT] FIRST SECOND
      the lines of FIRST that do not occur in SECOND, in FIRST's order, repeats kept
  intersect [MATCHING] [--crlf] [-o OUT] FIRST SECOND
      the lines of FIRST that also occur in SECOND, in FIRST's order, repeats kept
  distinct [MATCHING] [--crlf] [-o OUT] FILE
      the lines of FILE, each only where it first occurs
  sort [--reverse] [--crlf] [-o OUT] FILE
      the lines of FILE sorted A to Z by the locale's collation, numbers by value (file2
      before file10); lines that collate alike keep their order
  remove-containing [--crlf] [-o OUT] TEXT FILE
      the lines of FILE that do not contain TEXT
  remove-not-containing [--crlf] [-o OUT] TEXT FILE
      the lines of FILE that contain TEXT

Lines are compared exactly, character for character; nothing is trimmed, unless MATCHING
options say what does not count. Lines are always written as they were read. TEXT is matched
case-sensitively. FIRST, SECOND or FILE may be - for standard input. Lines may end in CR LF, CR
or LF; a UTF-8 or UTF-16 byte-order mark is recognised; bytes that are not valid UTF-8 are
written back unchanged.

Options:
  -i, --ignore-case  subtract, intersect, distinct: letter case does not matter
  MATCHING options, for subtract, intersect and distinct, applied in this order:
      --field N      compare field N (from 1) of each line, split at --separator
      --separator S  tab (the default), comma, semicolon (both with CSV quotes: "a,b" is one
                     field, "" in it one quote), bar, space (runs of white space, as awk
                     splits) or any one character; a missing field is empty
      --key REGEX    compare the first match of REGEX (its first group, if it has one); a
                     line without a match matches nothing and is kept by distinct
      --invisible    format characters (zero-width space, BOM, soft hyphen, bidi marks) and
                     controls other than tab do not count
      --unicode      composed and decomposed forms match (NFC)
      --accents      marks do not count: Muller matches Müller (implies --unicode); letters
                     without a decomposition, such as Ł, ø, ß and đ, stay as they are
      --trim         white space at either end does not count, no-break spaces too
      --spaces       every run of white space counts as one space
  -r, --reverse      sort: Z to A
      --crlf         end every line with CR LF, exactly as the window saves a list
  -o, --output OUT   write to OUT instead; OUT is replaced only once it is complete
      --second       the window: the FILEs after it go to List 2
  -h, --help         show this help and exit
  -v, --version      show the version and exit

Exit status: 0 done, 1 a file could not be read or written, 2 wrong usage.
)"_s;

// Qt's own warnings (about an empty file name, a device it dislikes) would reach standard error
// before the one line that says what went wrong, in words of their own. A fatal one still ends
// the program, so it is said.
void dropQtMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtFatalMsg) print(stderr, u"quorvane: "_s + message + u'\n');
}

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
    List::MatchRules rules;
    bool reverse = false;
    list_files::LineEnd lineEnd = kPlatformLineEnd;
    QString output;  // empty: standard output
};

Request requestFor(const Invocation& invocation) {
    Request request;
    request.command = invocation.command;
    request.arguments = invocation.operands;
    request.ignoreCase = invocation.has(Option::IgnoreCase);
    request.rules = invocation.rules;
    request.reverse = invocation.has(Option::Reverse);
    request.lineEnd = invocation.has(Option::Crlf) ? list_files::LineEnd::CrLf : kPlatformLineEnd;
    if (invocation.value(Option::Output) != kStandardStream) {
        request.output = invocation.value(Option::Output);
    }
    return request;
}

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
    const List::MatchRules& rules = request.rules;
    const List::Environment environment{commandFailures, events, progress,
                                        [matchCase] { return matchCase; },
                                        [&rules] { return rules; }};
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

int run(const Invocation& invocation, int argc, char* argv[]) {
    qInstallMessageHandler(dropQtMessages);
    switch (invocation.kind) {
        case Invocation::Kind::Usage:
            return usageError(invocation.problem);
        case Invocation::Kind::Help:
            print(stdout, kHelp);
            return kDone;
        case Invocation::Kind::Version:
            print(stdout, u"quorvane "_s + QStringLiteral(QUORVANE_VERSION) + u'\n');
            return kDone;
        case Invocation::Kind::Window:
        case Invocation::Kind::Command:
            break;
    }
    Q_ASSERT(invocation.kind == Invocation::Kind::Command);
#ifdef Q_OS_WIN
    // Lists are bytes: no translation of line ends on the way in or out.
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    const QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(u"quorvane"_s);
    QCoreApplication::setApplicationVersion(QStringLiteral(QUORVANE_VERSION));
    return perform(requestFor(invocation));
}

}  // namespace cli
