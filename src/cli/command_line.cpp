#include "cli/command_line.h"

#include <QCoreApplication>
#include <cstdio>
#include <optional>
#include <utility>

#ifdef Q_OS_WIN
#include <fcntl.h>
#include <io.h>
#endif

#include "cli/byte_lines.h"
#include "cli/list_io.h"
#include "cli/report.h"
#include "list_engine/comparison.h"
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
const QString kCompare = u"compare"_s;
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
  compare [MATCHING] [--near-misses] [--show REGION] [--crlf] [-o OUT] FIRST SECOND
      how the two lists differ, one figure a line: first_items, first_repeats (lines whose
      key an earlier line has), only_first, only_first_keys (distinct keys), both_first and
      both_second (each file's lines that have a match), both_keys, only_second,
      only_second_keys, second_items, second_repeats, as name=value
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
  -i, --ignore-case  subtract, intersect, distinct, compare: letter case does not matter
  MATCHING options, for subtract, intersect, distinct and compare, applied in this order:
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
      --near-misses  compare: also which lines only in one file a rule that is off would
                     match: for each such rule near_miss_RULE_first= and _second= (RULE:
                     trim, spaces, invisible, unicode, accents, ignore_case; all for those
                     that only all of them together match), near_miss_pairs=, then up to
                     1000 pairs in FIRST's order, each under the first rule that matches it,
                     as pair_RULE=LINE<tab>TEXT<tab>LINE<tab>TEXT, with edge spaces as
                     '␣', other white space and invisible characters as ⟨U+00A0⟩,
                     combining marks as ⟨U+0301⟩ and letters differing only in case
                     between '⟦' and '⟧'
      --show REGION  compare: print REGION's lines instead, as subtract and intersect write
                     them: only-first (what subtract FIRST SECOND writes), both (FIRST's lines
                     that have a match: what intersect FIRST SECOND writes) or only-second
                     (what subtract SECOND FIRST writes)
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
    bool nearMisses = false;
    QString show;  // compare: the region to print instead of the figures
};

Request requestFor(const Invocation& invocation) {
    Request request;
    request.command = invocation.command;
    request.arguments = invocation.operands;
    request.ignoreCase = invocation.has(Option::IgnoreCase);
    request.rules = invocation.rules;
    request.reverse = invocation.has(Option::Reverse);
    request.nearMisses = invocation.has(Option::NearMisses);
    request.show = invocation.value(Option::Show);
    request.lineEnd = invocation.has(Option::Crlf) ? list_files::LineEnd::CrLf : kPlatformLineEnd;
    if (invocation.value(Option::Output) != kStandardStream) {
        request.output = invocation.value(Option::Output);
    }
    return request;
}

// The names by which compare's report gives the suggested rules: the options that turn them on,
// without their dashes and with "_" inside ("ignore_case" for --ignore-case).
QString ruleWord(List::NearMissRule rule) {
    struct RuleOption {
        List::NearMissRule rule;
        Option option;
    };
    static constexpr RuleOption kRuleOptions[] = {
        {List::NearMissRule::Trim, Option::Trim},
        {List::NearMissRule::Spaces, Option::Spaces},
        {List::NearMissRule::Invisible, Option::Invisible},
        {List::NearMissRule::Unicode, Option::Unicode},
        {List::NearMissRule::Accents, Option::Accents},
        {List::NearMissRule::Case, Option::IgnoreCase},
    };
    for (const RuleOption& known : kRuleOptions) {
        if (known.rule == rule)
            return optionName(known.option).sliced(2).toString().replace(u'-', u'_');
    }
    return u"all"_s;
}

// The figures one a line, "name=value".
void writeFigures(const Figures& figures, list_store::ListStore& report) {
    const auto line = [&](const QString& name, qint64 value) {
        report.append(name + u'=' + QString::number(value));
    };
    line(u"first_items"_s, figures.firstItems);
    line(u"first_repeats"_s, figures.firstRepeats);
    line(u"only_first"_s, figures.onlyFirst);
    line(u"only_first_keys"_s, figures.onlyFirstKeys);
    line(u"both_first"_s, figures.bothFirst);
    line(u"both_second"_s, figures.bothSecond);
    line(u"both_keys"_s, figures.bothKeys);
    line(u"only_second"_s, figures.onlySecond);
    line(u"only_second_keys"_s, figures.onlySecondKeys);
    line(u"second_items"_s, figures.secondItems);
    line(u"second_repeats"_s, figures.secondRepeats);
}

// The figures, then the near misses when asked for: each row's two counts, the number of pairs,
// and each pair as "pair_<rule>=" followed by the List 1 position, its entry made visible, the
// List 2 position and its entry, separated by tabs.
void writeReport(const List::Comparison& result, const list_store::ItemList& first,
                 const list_store::ItemList& second, list_store::ListStore& report) {
    Figures figures;
    figures.firstItems = result.firstItems;
    figures.firstRepeats = result.firstRepeats;
    figures.onlyFirst = qint64(result.onlyFirst.size());
    figures.onlyFirstKeys = result.onlyFirstKeys;
    figures.bothFirst = qint64(result.bothFirst.size());
    figures.bothSecond = qint64(result.bothSecond.size());
    figures.bothKeys = result.bothKeys;
    figures.onlySecond = qint64(result.onlySecond.size());
    figures.onlySecondKeys = result.onlySecondKeys;
    figures.secondItems = result.secondItems;
    figures.secondRepeats = result.secondRepeats;
    writeFigures(figures, report);
    const auto line = [&](const QString& name, qint64 value) {
        report.append(name + u'=' + QString::number(value));
    };
    if (!result.nearMisses) return;
    const List::NearMisses& misses = *result.nearMisses;
    for (const List::NearMissRow& row : misses.rows) {
        line(u"near_miss_"_s + ruleWord(row.rule) + u"_first"_s, row.first);
        line(u"near_miss_"_s + ruleWord(row.rule) + u"_second"_s, row.second);
    }
    line(u"near_miss_pairs"_s, qint64(misses.pairs.size()));
    // Under each row, its pairs in List 1's order.
    for (size_t row = 0; row < misses.rows.size(); ++row) {
        for (const List::NearMissPair& pair : misses.pairs) {
            if (pair.row != int(row)) continue;
            const List::VisiblePair shown =
                List::visiblePair(first.text(pair.first), second.text(pair.second));
            // In one pass: an entry may hold "%1" itself.
            report.append(u"pair_%1=%2\t%3\t%4\t%5"_s.arg(
                ruleWord(misses.rows[row].rule), QString::number(pair.first), shown.first,
                QString::number(pair.second), shown.second));
        }
    }
}

// compare: the figures (and near misses), or with --show one region's lines as subtract and
// intersect write them.
int compareLists(const Request& request, list_store::ListStore& first,
                 list_store::ListStore& second) {
    Failures commandFailures(request.command);
    Failures fileFailures;
    NoEvents events;
    NoProgress progress;
    const List::ComparisonEnvironment environment{commandFailures, events, progress};
    const std::optional<List::Comparison> result =
        List::CompareLists(environment, first, second, request.rules, request.nearMisses);
    list_store::ListStore report;
    list_store::ListStore* written = &report;
    if (result) {
        platform::Steps step(commandFailures, QString());
        step(0, [&] {
            if (request.show.isEmpty()) {
                writeReport(*result, first, second, report);
            } else if (request.show == u"only-second") {
                second.removePositions(result->bothSecond);
                written = &second;
            } else {
                first.removePositions(request.show == u"both" ? result->onlyFirst
                                                              : result->bothFirst);
                written = &first;
            }
        });
    } else if (!commandFailures.any()) {
        commandFailures.show(u"the lists could not be compared"_s, QString(), 0);
    }
    if (commandFailures.any()) {
        commandFailures.print();
        return kFileFailed;
    }
    save(request.output, *written, request.lineEnd, fileFailures);
    if (fileFailures.any()) {
        fileFailures.print();
        return kFileFailed;
    }
    return kDone;
}

int perform(const Request& request) {
    const QStringList& args = request.arguments;
    const bool twoFiles = request.command == kSubtract || request.command == kIntersect ||
                          request.command == kCompare;
    const bool filter =
        request.command == kRemoveContaining || request.command == kRemoveNotContaining;
    const QStringList inputs = twoFiles ? args : QStringList{args.at(filter ? 1 : 0)};

    // Case and surrounding spaces make keys of the lines' own bytes; the other rules make keys
    // that are not, and near misses need those rules' keys.
    List::MatchRules bytesRules;
    bytesRules.ignoreCase = request.rules.ignoreCase;
    bytesRules.trim = request.rules.trim;
    if (twoFiles && request.rules == bytesRules && !request.nearMisses) {
        TwoFileRequest bytes;
        bytes.keepCommon = request.command == kIntersect;
        bytes.ignoreCase = request.ignoreCase;
        bytes.trim = request.rules.trim;
        bytes.first = args.at(0);
        bytes.second = args.at(1);
        bytes.lineEnd = request.lineEnd;
        bytes.output = request.output;
        std::optional<int> status;
        if (request.command != kCompare) {
            status = compareAsBytes(bytes);
        } else if (request.show.isEmpty()) {
            status = figuresAsBytes(bytes, [&](const Figures& figures) {
                list_store::ListStore report;
                writeFigures(figures, report);
                Failures failures;
                save(request.output, report, request.lineEnd, failures);
                if (!failures.any()) return kDone;
                failures.print();
                return kFileFailed;
            });
        } else {
            // Each region is what subtract or intersect writes.
            bytes.keepCommon = request.show == u"both";
            if (request.show == u"only-second") std::swap(bytes.first, bytes.second);
            status = compareAsBytes(bytes);
        }
        if (status) return *status;
    }

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

    if (request.command == kCompare) return compareLists(request, first, second);

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
