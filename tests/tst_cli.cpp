#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

#include "form_harness.h"

using namespace Qt::Literals::StringLiterals;

namespace {

struct Run {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

// Runs the real program, feeding `input` to its standard input.
Run quorvane(const QStringList& arguments, const QByteArray& input = {},
             const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(QUORVANE_EXECUTABLE), arguments);
    Run run;
    if (!process.waitForStarted()) return run;
    process.write(input);
    process.closeWriteChannel();
    // A guard against a program that hangs; sanitizers slow it down several times.
    const int slowdown = std::max(1, qEnvironmentVariableIntValue("QUORVANE_TEST_SLOWDOWN"));
    if (!process.waitForFinished(20000 * slowdown) ||
        process.exitStatus() != QProcess::NormalExit) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.status = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

// Standard input, as an operand.
const QString kDash = QStringLiteral("-");

// Ends the one line of every usage error.
const QByteArray kUsageHint = "; see 'quorvane --help'\n";

}  // namespace

class CommandLineTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_folder.isValid()); }

    void helpAndVersionPrintToStandardOutput_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("startsWith");
        QTest::newRow("--help") << QStringList{u"--help"_s} << QByteArray("Usage: quorvane ");
        QTest::newRow("-h") << QStringList{u"-h"_s} << QByteArray("Usage: quorvane ");
        QTest::newRow("help after a command")
            << QStringList{u"subtract"_s, u"--help"_s} << QByteArray("Usage: quorvane ");
        QTest::newRow("--version")
            << QStringList{u"--version"_s} << QByteArray("quorvane " QUORVANE_VERSION "\n");
        QTest::newRow("-v") << QStringList{u"-v"_s}
                            << QByteArray("quorvane " QUORVANE_VERSION "\n");
    }
    void helpAndVersionPrintToStandardOutput() {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, startsWith);
        const Run run = quorvane(arguments);
        QCOMPARE(run.status, 0);
        QVERIFY2(run.out.startsWith(startsWith), run.out.constData());
        QCOMPARE(run.err, QByteArray());
    }

    void helpNamesEveryCommandAndOption() {
        const Run run = quorvane({u"--help"_s});
        for (const char* word : {"subtract",
                                 "intersect",
                                 "distinct",
                                 "sort",
                                 "remove-containing",
                                 "remove-not-containing",
                                 "--ignore-case",
                                 "--reverse",
                                 "--crlf",
                                 "-o OUT",
                                 "--second",
                                 "--version",
                                 "Exit status",
                                 "--trim",
                                 "--spaces",
                                 "--invisible",
                                 "--unicode",
                                 "--accents",
                                 "--field N",
                                 "--separator S",
                                 "--key REGEX"}) {
            QVERIFY2(run.out.contains(word), word);
        }
    }

    void subtractLeavesTheLinesOfFirstNotInSecond_data() {
        QTest::addColumn<QByteArray>("first");
        QTest::addColumn<QByteArray>("second");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("order and repeats kept")
            << QByteArray("b\na\nb\nc\nb\n") << QByteArray("a\nx\n") << QStringList{}
            << QByteArray("b\nb\nc\nb\n");
        QTest::newRow("every copy goes") << QByteArray("d\nd\nk\nd\n") << QByteArray("d\nd\n")
                                         << QStringList{} << QByteArray("k\n");
        QTest::newRow("case matters")
            << QByteArray("apple\nApple\ngrape\n") << QByteArray("apple\n") << QStringList{}
            << QByteArray("Apple\ngrape\n");
        QTest::newRow("--ignore-case")
            << QByteArray("apple\nApple\ngrape\n") << QByteArray("APPLE\n")
            << QStringList{u"--ignore-case"_s} << QByteArray("grape\n");
        QTest::newRow("-i, non-ASCII")
            << QByteArray("\xC3\x89t\xC3\xA9\nx\n") << QByteArray("\xC3\xA9T\xC3\x89\n")
            << QStringList{u"-i"_s} << QByteArray("x\n");
        QTest::newRow("blanks count") << QByteArray(" a\na \na\n\ta\n") << QByteArray("a\n")
                                      << QStringList{} << QByteArray(" a\na \n\ta\n");
        QTest::newRow("empty line only by an empty line")
            << QByteArray("a\n\nb\n\n") << QByteArray("x\r\n\r\n") << QStringList{}
            << QByteArray("a\nb\n");
        QTest::newRow("CR LF, CR and LF all end lines")
            << QByteArray("a\r\nb\rc\nd") << QByteArray("b\r\n") << QStringList{}
            << QByteArray("a\nc\nd\n");
        QTest::newRow("byte-order marks") << QByteArray("\xEF\xBB\xBFkeep\ndrop\n")
                                          << QByteArray(
                                                 "\xFF\xFE"
                                                 "d\0r\0o\0p\0\r\0\n\0",
                                                 14)
                                          << QStringList{} << QByteArray("keep\n");
        QTest::newRow("invalid UTF-8 written back unchanged")
            << QByteArray("caf\xE9\n\xFF\xFE\xFD\nok\n") << QByteArray("ok\n") << QStringList{}
            << QByteArray("caf\xE9\n\xFF\xFE\xFD\n");
        QTest::newRow("--crlf") << QByteArray("a\nb\rc\r\n") << QByteArray("")
                                << QStringList{u"--crlf"_s} << QByteArray("a\r\nb\r\nc\r\n");
        QTest::newRow("empty first")
            << QByteArray() << QByteArray("a\n") << QStringList{} << QByteArray();
        QTest::newRow("everything removed")
            << QByteArray("a\na\n") << QByteArray("a") << QStringList{} << QByteArray();
    }
    void subtractLeavesTheLinesOfFirstNotInSecond() {
        QFETCH(QByteArray, first);
        QFETCH(QByteArray, second);
        QFETCH(QStringList, options);
        QFETCH(QByteArray, expected);
        const QString firstPath = path(u"first.txt"_s, first);
        const QString secondPath = path(u"second.txt"_s, second);
        // Two files are compared as bytes; standard input goes through the list store.
        for (const QString& from : {firstPath, kDash}) {
            const Run run =
                quorvane(QStringList{u"subtract"_s} + options + QStringList{from, secondPath},
                         from == kDash ? first : QByteArray());
            QCOMPARE(run.err, QByteArray());
            QCOMPARE(run.status, 0);
            QCOMPARE(run.out, expected);
        }
    }

    // Files of several megabytes are read in parts on two threads: each part's lines, and those
    // split between parts, give what the list store gives.
    void largeFilesComparedAsBytesGiveWhatTheListStoreGives() {
        const QList<QByteArray> pieces{"a",           "A",        "k",
                                       "K",           " ",        "\t",
                                       "\xC3\xA9",    "\xC3\x89", "\xE2\x84\xAA",
                                       "\xC4\xB0",    "\xFF",     "\xE2\x82",
                                       "word",        "x",        "\xC2\xA0",
                                       "\xE3\x80\x80"};
        const QList<QByteArray> ends{"\n", "\r\n", "\r"};
        QRandomGenerator random(20261209);
        // Lines of the first `kinds` pieces; the first five are ASCII.
        const auto text = [&](int kinds) {
            QByteArray bytes;
            while (bytes.size() < 9'000'000) {
                for (int k = random.bounded(4); k > 0; --k) {
                    const QByteArray& piece = pieces.at(random.bounded(kinds));
                    bytes += piece;
                }
                bytes += ends.at(random.bounded(3));
            }
            return bytes;
        };
        const QByteArray first = text(16);
        const QString firstPath = path(u"first.txt"_s, first);
        const QString secondPath = path(u"second.txt"_s, text(5));
        // compare ignores case on the bytes only where both files are ASCII; without spaces, some
        // lines are only in the second file.
        const QByteArray asciiFirst = text(4);
        const QString asciiFirstPath = path(u"ascii-first.txt"_s, asciiFirst);
        // compare's --show only-first and both are subtract's and intersect's own path; only-second
        // is subtract with the files swapped, and has lines to show only beside the ASCII first
        // file.
        const QStringList swapped{u"--show"_s, u"only-second"_s};
        const QList<std::pair<QStringList, bool>> commands{
            {{u"subtract"_s}, false},
            {{u"intersect"_s}, false},
            {{u"subtract"_s, u"-i"_s}, false},
            {{u"intersect"_s, u"-i"_s}, false},
            {{u"subtract"_s, u"--trim"_s}, false},
            {{u"intersect"_s, u"--trim"_s, u"-i"_s}, false},
            {{u"compare"_s, u"--trim"_s, u"-i"_s}, true},
            {{u"compare"_s}, false},
            {QStringList{u"compare"_s} + swapped, true},
            {{u"compare"_s, u"-i"_s}, true},
            {QStringList{u"compare"_s, u"-i"_s} + swapped, true}};
        for (const auto& [command, ascii] : commands) {
            const QByteArray& input = ascii ? asciiFirst : first;
            const QString& inputPath = ascii ? asciiFirstPath : firstPath;
            const Run bytes = quorvane(command + QStringList{inputPath, secondPath});
            const Run store = quorvane(command + QStringList{kDash, secondPath}, input);
            QCOMPARE(bytes.status, 0);
            QCOMPARE(store.status, 0);
            QVERIFY2(!bytes.out.isEmpty(), qPrintable(command.join(u' ')));
            QVERIFY2(bytes.out == store.out, qPrintable(command.join(u' ')));
        }
    }

    // The second file is read on a thread of its own; a list of more than a million lines
    // paces its (here absent) views with a timer, which must belong to the thread using it.
    void aLongSecondListIsReadWithoutComplaint() {
        const QString firstPath = path(u"first.txt"_s, "x\ny\n");
        const QString secondPath = path(u"second.txt"_s, QByteArray("x\n").repeated(1'500'000));
        const Run run = quorvane({u"subtract"_s, firstPath, secondPath});
        QCOMPARE(run.err, QByteArray());
        QCOMPARE(run.status, 0);
        QCOMPARE(run.out, QByteArray("y\n"));
    }

    void filtersLeaveWhatTheButtonsLeave_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("containing") << u"remove-containing"_s << u".txt"_s << QStringList{}
                                    << QByteArray("B.TXT\nc.doc\n\n");
        QTest::newRow("not containing") << u"remove-not-containing"_s << u".txt"_s << QStringList{}
                                        << QByteArray("a.txt\nd e.txt\n");
        QTest::newRow("a blank") << u"remove-containing"_s << u" "_s << QStringList{}
                                 << QByteArray("a.txt\nB.TXT\nc.doc\n\n");
        QTest::newRow("longer than every line")
            << u"remove-not-containing"_s << u"a.txt and more"_s << QStringList{} << QByteArray();
        QTest::newRow("--crlf") << u"remove-not-containing"_s << u"."_s << QStringList{u"--crlf"_s}
                                << QByteArray("a.txt\r\nB.TXT\r\nc.doc\r\nd e.txt\r\n");
        QTest::newRow("text after --") << u"remove-containing"_s << u"-x"_s << QStringList{u"--"_s}
                                       << QByteArray("a.txt\nB.TXT\nc.doc\n\nd e.txt\n");
    }
    void filtersLeaveWhatTheButtonsLeave() {
        QFETCH(QString, command);
        QFETCH(QString, text);
        QFETCH(QStringList, options);
        QFETCH(QByteArray, expected);
        const QString file = path(u"list.txt"_s, "a.txt\nB.TXT\nc.doc\n\nd e.txt\n");
        const Run run = quorvane(QStringList{command} + options + QStringList{text, file});
        QCOMPARE(run.err, QByteArray());
        QCOMPARE(run.status, 0);
        QCOMPARE(run.out, expected);
    }

    void listToolsLeaveWhatTheMenuCommandsLeave_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("first");
        QTest::addColumn<QByteArray>("second");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray fruit("apple\nApple\ngrape\napple\nkiwi\n");
        QTest::newRow("intersect keeps order and repeats")
            << QStringList{u"intersect"_s} << fruit << QByteArray("kiwi\napple\n")
            << QByteArray("apple\napple\nkiwi\n");
        QTest::newRow("intersect --ignore-case")
            << QStringList{u"intersect"_s, u"--ignore-case"_s} << fruit << QByteArray("APPLE\n")
            << QByteArray("apple\nApple\napple\n");
        QTest::newRow("intersect with an empty SECOND")
            << QStringList{u"intersect"_s} << fruit << QByteArray() << QByteArray();
        QTest::newRow("distinct keeps first occurrences, case counts")
            << QStringList{u"distinct"_s} << QByteArray("b\na\r\nb\nA\na\n\n\n") << QByteArray()
            << QByteArray("b\na\nA\n\n");
        QTest::newRow("sort: numbers by value, case and accents after the letter")
            << QStringList{u"sort"_s}
            << QByteArray(
                   "file10\nZebra\nfile2\n\xC3\xA9"
                   "clair\nEclair\neclair\nFile1\n")
            << QByteArray()
            << QByteArray(
                   "eclair\nEclair\n\xC3\xA9"
                   "clair\nFile1\nfile2\nfile10\nZebra\n");
        // The matching rules compare keys; the lines written are the lines read.
        QTest::newRow("subtract --trim -i: spreadsheet padding, no-break space")
            << QStringList{u"subtract"_s, u"--trim"_s, u"-i"_s}
            << QByteArray("Apple  \n\xC2\xA0pear\nplum\n") << QByteArray("apple\nPEAR\t\n")
            << QByteArray("plum\n");
        QTest::newRow("intersect --accents --unicode --invisible keeps the lines as they were")
            << QStringList{u"intersect"_s, u"--accents"_s, u"--unicode"_s, u"--invisible"_s}
            << QByteArray("Mu\xCC\x88ller\n\xEF\xBB\xBFMuller\nMueller\n")
            << QByteArray("M\xC3\xBCller\n") << QByteArray("Mu\xCC\x88ller\n\xEF\xBB\xBFMuller\n");
        QTest::newRow("subtract by a CSV column")
            << QStringList{u"subtract"_s, u"--field"_s, u"2"_s, u"--separator=comma"_s}
            << QByteArray("\"Lee, Ann\",ann@kelvarn.example\nBo,bo@kelvarn.example\n")
            << QByteArray("x,ann@kelvarn.example\n") << QByteArray("Bo,bo@kelvarn.example\n");
        QTest::newRow("subtract by pattern: lines without a match stay")
            << QStringList{u"subtract"_s, u"--key"_s, u"<(.+)>"_s}
            << QByteArray("Ann <a@kelvarn.example>\nno address\nBo <b@kelvarn.example>\n")
            << QByteArray("a@kelvarn.example <a@kelvarn.example>\nno address\n")
            << QByteArray("no address\nBo <b@kelvarn.example>\n");
        QTest::newRow("distinct -i --spaces keeps each first line")
            << QStringList{u"distinct"_s, u"-i"_s, u"--spaces"_s}
            << QByteArray("New  York\nnew york\nNew\tYork\nOslo\n") << QByteArray()
            << QByteArray("New  York\nOslo\n");
        // compare's figures: FIRST's repeats and matches, SECOND's, the keys of each region.
        QTest::newRow("compare -i")
            << QStringList{u"compare"_s, u"-i"_s} << fruit << QByteArray("kiwi\nAPPLE\nfig\n")
            << QByteArray(
                   "first_items=5\nfirst_repeats=2\nonly_first=1\nonly_first_keys=1\n"
                   "both_first=4\nboth_second=2\nboth_keys=2\nonly_second=1\n"
                   "only_second_keys=1\nsecond_items=3\nsecond_repeats=0\n");
        QTest::newRow("compare --show both writes what intersect writes")
            << QStringList{u"compare"_s, u"--show"_s, u"both"_s, u"--trim"_s}
            << QByteArray("a \nb\n a\nc\n") << QByteArray("a\nc\n") << QByteArray("a \n a\nc\n");
        QTest::newRow("compare --show only-second --crlf")
            << QStringList{u"compare"_s, u"--show=only-second"_s, u"--crlf"_s}
            << QByteArray("a\nb\n") << QByteArray("b\nd\nd\n") << QByteArray("d\r\nd\r\n");
        // A trailing space, a no-break space and a decomposed accent, each shown as it is.
        QTest::newRow("compare --near-misses --accents")
            << QStringList{u"compare"_s, u"--near-misses"_s, u"--accents"_s}
            << QByteArray(
                   "a \nb\xC2\xA0"
                   "c\nM\xC3\xBCller\nx\n")
            << QByteArray("a\nb c\nMu\xCC\x88ller\nX\n")
            << QByteArray(
                   "first_items=4\nfirst_repeats=0\nonly_first=3\nonly_first_keys=3\n"
                   "both_first=1\nboth_second=1\nboth_keys=1\nonly_second=3\n"
                   "only_second_keys=3\nsecond_items=4\nsecond_repeats=0\n"
                   "near_miss_trim_first=1\nnear_miss_trim_second=1\n"
                   "near_miss_spaces_first=1\nnear_miss_spaces_second=1\n"
                   "near_miss_invisible_first=0\nnear_miss_invisible_second=0\n"
                   "near_miss_ignore_case_first=1\nnear_miss_ignore_case_second=1\n"
                   "near_miss_all_first=0\nnear_miss_all_second=0\nnear_miss_pairs=3\n"
                   "pair_trim=1\ta\xE2\x90\xA3\t1\ta\n"
                   "pair_spaces=2\tb\xE2\x9F\xA8U+00A0\xE2\x9F\xA9"
                   "c\t2\tb c\n"
                   "pair_ignore_case=4\t\xE2\x9F\xA6"
                   "x\xE2\x9F\xA7\t4\t\xE2\x9F\xA6"
                   "X\xE2\x9F\xA7\n");
        QTest::newRow("sort --reverse, --crlf")
            << QStringList{u"sort"_s, u"--reverse"_s, u"--crlf"_s} << QByteArray("b\nc\na\n")
            << QByteArray() << QByteArray("c\r\nb\r\na\r\n");
    }
    void listToolsLeaveWhatTheMenuCommandsLeave() {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, first);
        QFETCH(QByteArray, second);
        QFETCH(QByteArray, expected);
        QStringList files{path(u"first.txt"_s, first)};
        if (arguments.first() == u"intersect" || arguments.first() == u"subtract" ||
            arguments.first() == u"compare") {
            files.append(path(u"second.txt"_s, second));
        }
        // The C locale collates as English.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"LC_ALL"_s, u"C.UTF-8"_s);
        const Run run = quorvane(arguments + files, {}, environment);
        QCOMPARE(run.err, QByteArray());
        QCOMPARE(run.status, 0);
        QCOMPARE(run.out, expected);
    }

    void sortFollowsTheLocale() {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(u"LC_ALL"_s);
        environment.insert(u"LANG"_s, u"sv_SE.UTF-8"_s);
        const Run run = quorvane({u"sort"_s, u"-"_s}, "\xC3\xB6l\nzebra\norange\n", environment);
        QCOMPARE(run.status, 0);
        QCOMPARE(run.out, QByteArray("orange\nzebra\n\xC3\xB6l\n"));
    }

    void aDashReadsStandardInput_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("expected");
        const QString other = path(u"other.txt"_s, "b\n");
        QTest::newRow("FIRST") << QStringList{u"subtract"_s, u"-"_s, other} << QByteArray("a\nc\n");
        QTest::newRow("SECOND") << QStringList{u"subtract"_s, other, u"-"_s} << QByteArray();
        QTest::newRow("FILE") << QStringList{u"remove-containing"_s, u"c"_s, u"-"_s}
                              << QByteArray("a\nb\n");
        QTest::newRow("distinct") << QStringList{u"distinct"_s, u"-"_s} << QByteArray("a\nb\nc\n");
    }
    void aDashReadsStandardInput() {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, expected);
        const Run run = quorvane(arguments, "a\r\nb\r\nc\r\n");
        QCOMPARE(run.err, QByteArray());
        QCOMPARE(run.status, 0);
        QCOMPARE(run.out, expected);
    }

    void outputFileGetsWhatStandardOutputWouldAndReplacesTheOld() {
        const QString first = path(u"first.txt"_s, "x\ny\r\nz\xE9\n");
        const QString second = path(u"second.txt"_s, "y\n");
        const Run toStdout = quorvane({u"subtract"_s, first, second});
        const QString out = path(u"out.txt"_s, "an old file, longer than the new one\n");
        const Run toFile = quorvane({u"subtract"_s, u"-o"_s, out, first, second});
        QCOMPARE(toFile.status, 0);
        QCOMPARE(toFile.out, QByteArray());
        QCOMPARE(readAll(out), toStdout.out);
        QCOMPARE(readAll(out), QByteArray("x\nz\xE9\n"));
        QCOMPARE(QDir(m_folder.path()).entryList({u"out.txt*"_s}, QDir::Files),
                 QStringList{u"out.txt"_s});  // no temporary file left behind

        const Run dashOut = quorvane({u"subtract"_s, u"--output=-"_s, first, second});
        QCOMPARE(dashOut.out, toStdout.out);
    }

    void theOutputMayReplaceAnInput() {
        const QString list = path(u"list.txt"_s, "keep\ndrop\nkeep too\n");
        const Run run = quorvane({u"remove-containing"_s, u"-o"_s, list, u"drop"_s, list});
        QCOMPARE(run.status, 0);
        QCOMPARE(readAll(list), QByteArray("keep\nkeep too\n"));
    }

    void aFileThatFailsIsNamedWithTheSystemsReason_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("message");
        const QString missing = m_folder.filePath(u"missing.txt"_s);
        const QString present = path(u"present.txt"_s, "a\n");
        const QString noFolder = m_folder.filePath(u"no/such/folder/out.txt"_s);
        QTest::newRow("missing FIRST")
            << QStringList{u"subtract"_s, missing, present}
            << QByteArray("quorvane: " + missing.toUtf8() + ": No such file or directory\n");
        QTest::newRow("both missing, one line each")
            << QStringList{u"subtract"_s, missing, missing + u'2'}
            << QByteArray("quorvane: " + missing.toUtf8() + ": No such file or directory\n" +
                          "quorvane: " + missing.toUtf8() + "2: No such file or directory\n");
        QTest::newRow("folder as FILE")
            << QStringList{u"remove-containing"_s, u"a"_s, m_folder.path()}
            << QByteArray("quorvane: " + m_folder.path().toUtf8() + ": Is a directory\n");
        QTest::newRow("output in a missing folder")
            << QStringList{u"subtract"_s, u"-o"_s, noFolder, present, present}
            << QByteArray("quorvane: " + noFolder.toUtf8() + ": No such file or directory\n");
        QTest::newRow("a folder as OUT")
            << QStringList{u"subtract"_s, u"-o"_s, m_folder.path(), present, present}
            << QByteArray("quorvane: " + m_folder.path().toUtf8() + ": Is a directory\n");
        QTest::newRow("folder as FIRST")
            << QStringList{u"subtract"_s, m_folder.path(), present}
            << QByteArray("quorvane: " + m_folder.path().toUtf8() + ": Is a directory\n");
        QTest::newRow("missing file for sort")
            << QStringList{u"sort"_s, missing}
            << QByteArray("quorvane: " + missing.toUtf8() + ": No such file or directory\n");
        QTest::newRow("full device after reading")
            << QStringList{u"subtract"_s, u"-o"_s, u"/dev/full"_s, present, u"/dev/null"_s}
            << QByteArray("quorvane: /dev/full: No space left on device\n");
    }
    void aFileThatFailsIsNamedWithTheSystemsReason() {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, message);
        const Run run = quorvane(arguments);
        QCOMPARE(run.err, message);
        QCOMPARE(run.status, 1);
        QCOMPARE(run.out, QByteArray());
    }

    void anOutputThatCannotBeCompletedKeepsTheOldFile() {
        const QString out = path(u"kept.txt"_s, "old\n");
        const QString big = path(u"big.txt"_s, QByteArray(qsizetype(64) * 1024, 'x').append('\n'));
        // The child may write no file beyond 4 KiB, as on a full disk.
        QProcess process;
        process.setChildProcessModifier([] {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{4096, 4096};
            setrlimit(RLIMIT_FSIZE, &limit);
        });
        process.start(QStringLiteral(QUORVANE_EXECUTABLE),
                      {u"subtract"_s, u"-o"_s, out, big, u"/dev/null"_s});
        QVERIFY(process.waitForFinished(20000));
        QCOMPARE(process.readAllStandardError(),
                 QByteArray("quorvane: " + out.toUtf8() + ": File too large\n"));
        QCOMPARE(process.exitCode(), 1);
        QCOMPARE(readAll(out), QByteArray("old\n"));
        QCOMPARE(QDir(m_folder.path()).entryList({u"kept.txt*"_s}, QDir::Files),
                 QStringList{u"kept.txt"_s});
    }

    // The output is the old file to the system: its owner, group and mode stay, and every name
    // of it gets the new content.
    void anOutputKeepsTheFilesOwnerModeAndOtherNames_data() {
        QTest::addColumn<bool>("secondName");
        QTest::newRow("another user's, 640") << false;
        QTest::newRow("with a second name") << true;
    }
    void anOutputKeepsTheFilesOwnerModeAndOtherNames() {
        QFETCH(bool, secondName);
        if (geteuid() != 0) QSKIP("needs root to give files to other users");
        QTemporaryDir folder;
        const QString out = folder.filePath(u"own.txt"_s);
        const QString other = folder.filePath(u"other.txt"_s);
        writeFile(out, "old, and longer than the new\n");
        const QByteArray name = QFile::encodeName(out);
        QVERIFY(::chown(name.constData(), 65534, 65534) == 0 &&
                ::chmod(name.constData(), 0640) == 0);
        if (secondName) QVERIFY(::link(name.constData(), QFile::encodeName(other)) == 0);
        const Run run = quorvane({u"sort"_s, u"-"_s, u"-o"_s, out}, "b\na\n");
        QCOMPARE(run.err, QByteArray());
        QCOMPARE(run.status, 0);
        QCOMPARE(readAll(out), QByteArray("a\nb\n"));
        if (secondName) QCOMPARE(readAll(other), QByteArray("a\nb\n"));
        struct stat saved {};
        QCOMPARE(::stat(name.constData(), &saved), 0);
        QCOMPARE(saved.st_uid, uid_t(65534));
        QCOMPARE(saved.st_gid, gid_t(65534));
        QCOMPARE(saved.st_mode & 07777, mode_t(0640));
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files).size(), secondName ? 2 : 1);
    }

    // What stands in the way is named in the system's words: the folder a new file cannot be made
    // in, the file that may not be written. Run as an unprivileged user, so that permissions
    // hold when the tests run as root.
    void anOutputThatCannotBeWrittenSaysWhatStandsInTheWay_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("reason");  // %1: the read-only folder
        QTest::newRow("a new file in a read-only folder")
            << u"locked/new.txt"_s << u"cannot create a file in %1: Permission denied"_s;
        QTest::newRow("a read-only file") << u"open/read-only.txt"_s << u"Permission denied"_s;
    }
    void anOutputThatCannotBeWrittenSaysWhatStandsInTheWay() {
        QFETCH(QString, name);
        QFETCH(QString, reason);
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const QString locked = folder.filePath(u"locked"_s);
        const QString open = folder.filePath(u"open"_s);
        QVERIFY(QDir(folder.path()).mkdir(u"locked"_s) && QDir(folder.path()).mkdir(u"open"_s));
        const QString readOnly = open + u"/read-only.txt"_s;
        writeFile(readOnly, "old\n");
        const auto mode = [](const QString& path, mode_t bits) {
            return ::chmod(QFile::encodeName(path).constData(), bits) == 0;
        };
        QVERIFY(mode(folder.path(), 0755) && mode(open, 0777) && mode(readOnly, 0444) &&
                mode(locked, 0555));
        const QString target = folder.filePath(name);

        QProcess process;
        process.setChildProcessModifier([] {
            if (geteuid() == 0 && setuid(65534) != 0) _exit(99);
        });
        process.start(QStringLiteral(QUORVANE_EXECUTABLE), {u"sort"_s, u"-"_s, u"-o"_s, target});
        process.write("b\na\n");
        process.closeWriteChannel();
        QVERIFY(process.waitForFinished(20000));
        const QByteArray err = process.readAllStandardError();
        QVERIFY(mode(locked, 0755));
        QCOMPARE(err, "quorvane: " + target.toUtf8() + ": " + reason.arg(locked).toUtf8() + '\n');
        QCOMPARE(process.exitCode(), 1);
        QCOMPARE(readAll(readOnly), QByteArray("old\n"));
        QVERIFY(!QFile::exists(locked + u"/new.txt"_s));
    }

    // An output that names a descriptor the program already has open is written through it, as
    // standard output is: the file behind it keeps what came before and what comes after.
    void anOutputNamingAnOpenDescriptorIsWrittenThroughIt_data() {
        QTest::addColumn<QString>("script");  // $0 the program, $1 the input, $2 the capture
        QTest::newRow("/dev/stdout")
            << u"( \"$0\" sort \"$1\" -o /dev/stdout; echo after ) >>\"$2\""_s;
        QTest::newRow("/dev/fd/1") << u"( \"$0\" sort \"$1\" -o /dev/fd/1; echo after ) >>\"$2\""_s;
        QTest::newRow("/proc/self/fd/1")
            << u"( \"$0\" sort \"$1\" -o /proc/self/fd/1; echo after ) >>\"$2\""_s;
        QTest::newRow("the same file by its name")
            << u"( \"$0\" sort \"$1\" -o \"$2\"; echo after ) >>\"$2\""_s;
        QTest::newRow("/dev/stderr")
            << u"( \"$0\" sort \"$1\" -o /dev/stderr; echo after >&2 ) 2>>\"$2\""_s;
        QTest::newRow("/dev/fd/3")
            << u"( \"$0\" sort \"$1\" -o /dev/fd/3; echo after >&3 ) 3>>\"$2\""_s;
    }
    void anOutputNamingAnOpenDescriptorIsWrittenThroughIt() {
        QFETCH(QString, script);
        const QString input = path(u"unsorted.txt"_s, "b\na\n");
        const QString capture = path(u"capture.txt"_s, "before\n");
        struct stat before {};
        QCOMPARE(::stat(QFile::encodeName(capture).constData(), &before), 0);
        QProcess process;
        process.start(u"/bin/sh"_s,
                      {u"-c"_s, script, QStringLiteral(QUORVANE_EXECUTABLE), input, capture});
        QVERIFY(process.waitForFinished(20000));
        QCOMPARE(process.exitCode(), 0);
        QCOMPARE(readAll(capture), QByteArray("before\na\nb\nafter\n"));
        struct stat after {};
        QCOMPARE(::stat(QFile::encodeName(capture).constData(), &after), 0);
        QCOMPARE(after.st_ino, before.st_ino);
    }

    void aFullStandardOutputIsAFailure() {
        // The shell's redirection is the one way to hand the program a full standard output.
        const QString present = path(u"present.txt"_s, "a\n");
        QProcess process;
        process.start(u"/bin/sh"_s, {u"-c"_s, u"\"$0\" subtract \"$1\" /dev/null >/dev/full"_s,
                                     QStringLiteral(QUORVANE_EXECUTABLE), present});
        QVERIFY(process.waitForFinished(20000));
        QCOMPARE(process.readAllStandardError(),
                 QByteArray("quorvane: standard output: No space left on device\n"));
        QCOMPARE(process.exitCode(), 1);
    }

    void usageErrorsGiveOneLineAndAHint_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("problem");
        const QString a = path(u"a.txt"_s, "a\n");
        QTest::newRow("no command") << QStringList{u"--crlf"_s} << QByteArray("no command given");
        QTest::newRow("unknown command")
            << QStringList{u"subtrakt"_s, a, a} << QByteArray("unknown command 'subtrakt'");
        QTest::newRow("one file") << QStringList{u"subtract"_s, a}
                                  << QByteArray("subtract takes two files, FIRST and SECOND");
        QTest::newRow("three files") << QStringList{u"subtract"_s, a, a, a}
                                     << QByteArray("subtract takes two files, FIRST and SECOND");
        QTest::newRow("filter without FILE")
            << QStringList{u"remove-not-containing"_s, u"x"_s}
            << QByteArray("remove-not-containing takes TEXT and FILE");
        QTest::newRow("empty TEXT") << QStringList{u"remove-containing"_s, QString(), a}
                                    << QByteArray("TEXT must not be empty");
        QTest::newRow("-i on a filter")
            << QStringList{u"remove-containing"_s, u"-i"_s, u"x"_s, a}
            << QByteArray("-i applies to subtract, intersect, distinct and compare only");
        QTest::newRow("--ignore-case on sort")
            << QStringList{u"sort"_s, u"--ignore-case"_s, a}
            << QByteArray(
                   "--ignore-case applies to subtract, intersect, distinct and compare only");
        QTest::newRow("an unknown region")
            << QStringList{u"compare"_s, u"--show"_s, u"only_first"_s, a, a}
            << QByteArray("--show takes only-first, both or only-second, not 'only_first'");
        QTest::newRow("--show with --near-misses")
            << QStringList{u"compare"_s, u"--near-misses"_s, u"--show=both"_s, a, a}
            << QByteArray("--show and --near-misses cannot be given together");
        QTest::newRow("--near-misses on subtract")
            << QStringList{u"subtract"_s, u"--near-misses"_s, a, a}
            << QByteArray("--near-misses applies to compare only");
        QTest::newRow("field 0") << QStringList{u"subtract"_s, u"--field=0"_s, a, a}
                                 << QByteArray("--field takes a whole number from 1, not '0'");
        QTest::newRow("a separator without a field")
            << QStringList{u"distinct"_s, u"--separator"_s, u"tab"_s, a}
            << QByteArray("--separator needs --field");
        QTest::newRow("a pattern that does not compile")
            << QStringList{u"intersect"_s, u"--key"_s, u"[a-"_s, a, a}
            << QByteArray(
                   "--key: missing terminating ] for character class at offset 3 of the "
                   "pattern");
        QTest::newRow("-r on subtract")
            << QStringList{u"subtract"_s, u"-r"_s, a, a} << QByteArray("-r applies to sort only");
        QTest::newRow("intersect with one file")
            << QStringList{u"intersect"_s, a}
            << QByteArray("intersect takes two files, FIRST and SECOND");
        QTest::newRow("distinct with two files")
            << QStringList{u"distinct"_s, a, a} << QByteArray("distinct takes one FILE");
        QTest::newRow("sort without a file")
            << QStringList{u"sort"_s} << QByteArray("sort takes one FILE");
        QTest::newRow("standard input twice")
            << QStringList{u"subtract"_s, u"-"_s, u"-"_s}
            << QByteArray("standard input (-) can be read only once");
        QTest::newRow("unknown option") << QStringList{u"subtract"_s, u"--fast"_s, a, a}
                                        << QByteArray("unknown option '--fast'");
        QTest::newRow("unknown option alone")
            << QStringList{u"--bogus"_s} << QByteArray("unknown option '--bogus'");
        QTest::newRow("-o without a value")
            << QStringList{u"subtract"_s, a, a, u"-o"_s} << QByteArray("-o needs a file name");
        QTest::newRow("-o twice") << QStringList{u"sort"_s, u"-o"_s, a, u"-o"_s, a, a}
                                  << QByteArray("-o can be given only once");
        QTest::newRow("empty output name") << QStringList{u"subtract"_s, u"--output="_s, a, a}
                                           << QByteArray("OUT must not be empty");
        // Once Qt's own warning came first: "QFSFileEngine::open: No file name specified".
        QTest::newRow("empty FILE")
            << QStringList{u"distinct"_s, QString()} << QByteArray("FILE must not be empty");
        QTest::newRow("empty SECOND")
            << QStringList{u"subtract"_s, a, QString()} << QByteArray("SECOND must not be empty");
        QTest::newRow("empty OUT")
            << QStringList{u"sort"_s, u"-o"_s, QString(), a} << QByteArray("OUT must not be empty");
        QTest::newRow("a mistyped command, no file of that name")
            << QStringList{u"substract"_s, a, a} << QByteArray("unknown command 'substract'");
        QTest::newRow("a Qt option with a command")
            << QStringList{u"sort"_s, u"-platform"_s, u"offscreen"_s, a}
            << QByteArray("-platform applies to the window only");
        QTest::newRow("--second with a command")
            << QStringList{u"subtract"_s, a, u"--second"_s, a}
            << QByteArray("--second applies to the window only");
        QTest::newRow("a command's option for the window")
            << QStringList{a, u"--crlf"_s} << QByteArray("--crlf applies to the commands only");
        QTest::newRow("standard input for the window")
            << QStringList{a, u"-"_s}
            << QByteArray("standard input (-) can be read by a command only");
    }
    void usageErrorsGiveOneLineAndAHint() {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, problem);
        const Run run = quorvane(arguments);
        QCOMPARE(run.err, "quorvane: " + problem + kUsageHint);
        QCOMPARE(run.status, 2);
        QCOMPARE(run.out, QByteArray());
    }

    void runsWithoutAnyDisplay() {
        QProcessEnvironment bare = QProcessEnvironment::systemEnvironment();
        for (const QString& name :
             {u"QT_QPA_PLATFORM"_s, u"DISPLAY"_s, u"WAYLAND_DISPLAY"_s, u"XDG_SESSION_TYPE"_s}) {
            bare.remove(name);
        }
        const QString first = path(u"first.txt"_s, "a\nb\n");
        const Run run = quorvane({u"subtract"_s, first, u"-"_s}, "a\n", bare);
        QCOMPARE(run.err, QByteArray());
        QCOMPARE(run.status, 0);
        QCOMPARE(run.out, QByteArray("b\n"));
    }

    // Whether a display is there or not, a usage error is one: exit 2, no window opened.
    // Without one, what would open the window says so in one line.
    void theWindowWithoutADisplaySaysSoAndAUsageErrorStaysOne_data() {
        QTest::addColumn<bool>("display");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("message");
        const QString a = path(u"a.txt"_s, "a\n");
        const QByteArray noSession(
            "quorvane: no graphical session to open the window in (neither DISPLAY nor "
            "WAYLAND_DISPLAY is set); for the command line see 'quorvane --help'\n");
        const QByteArray bogus("quorvane: unknown option '--bogus'" + kUsageHint);
        QTest::newRow("no display, no arguments") << false << QStringList{} << 1 << noSession;
        QTest::newRow("no display, a file") << false << QStringList{a} << 1 << noSession;
        QTest::newRow("no display, --bogus") << false << QStringList{u"--bogus"_s} << 2 << bogus;
        QTest::newRow("no display, a file and --bogus")
            << false << QStringList{a, u"--bogus"_s} << 2 << bogus;
        QTest::newRow("display, --bogus") << true << QStringList{u"--bogus"_s} << 2 << bogus;
        QTest::newRow("display, a file and --bogus")
            << true << QStringList{a, u"--bogus"_s} << 2 << bogus;
        QTest::newRow("display, a file that is not there")
            << true << QStringList{u"gone.txt"_s} << 2
            << QByteArray("quorvane: unknown command 'gone.txt'" + kUsageHint);
    }
    void theWindowWithoutADisplaySaysSoAndAUsageErrorStaysOne() {
        QFETCH(bool, display);
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QByteArray, message);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const QString& name : {u"QT_QPA_PLATFORM"_s, u"DISPLAY"_s, u"WAYLAND_DISPLAY"_s}) {
            environment.remove(name);
        }
        if (display) environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        const Run run = quorvane(arguments, {}, environment);
        QCOMPARE(run.err, message);
        QCOMPARE(run.status, status);
        QCOMPARE(run.out, QByteArray());
    }

    // Qt's own options reach the window's application object: an unknown platform makes Qt
    // itself give up, naming it.
    void qtsOwnOptionsReachTheWindow() {
        QProcess process;
        process.start(QStringLiteral(QUORVANE_EXECUTABLE),
                      {path(u"a.txt"_s, "a\n"), u"-platform"_s, u"no-such-platform"_s});
        QVERIFY(process.waitForFinished(20000));
        QVERIFY(process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0);
        QVERIFY2(process.readAllStandardError().contains("no-such-platform"),
                 "Qt did not get -platform");
    }

    // The same lists through the window (load both, "Subtract List 2 From List 1", save List 1)
    // and through the command line with --crlf give the same bytes.
    void crlfOutputEqualsTheWindowsSavedList_data() {
        QTest::addColumn<bool>("matchCase");
        QTest::newRow("match case") << true;
        QTest::newRow("ignore case") << false;
    }
    void crlfOutputEqualsTheWindowsSavedList() {
        QFETCH(bool, matchCase);
        const QString first = path(u"first.txt"_s,
                                   "\xEF\xBB\xBF  lead\r\ntrail\t\r\n\r\ndup\rDUP\ndup\n"
                                   "caf\xC3\xA9 \xF0\x9F\x98\x80\nbad \xE9\xFF\nCAF\xC3\x89 "
                                   "\xF0\x9F\x98\x80\nlast without end");
        const QString second = path(u"second.txt"_s, "Dup\r\ncaf\xC3\xA9 \xF0\x9F\x98\x80\r\n");
        const QString saved = m_folder.filePath(matchCase ? u"exact.txt"_s : u"any-case.txt"_s);
        {
            FormHarness harness;
            Form1& form = harness.load();
            form.checkBox()->setValue(matchCase ? platform::CheckValue::Checked
                                                : platform::CheckValue::Unchecked);
            harness.dialogs.answers = {first, second, saved};
            form.button(3)->click();   // Load List From Text File, List 1
            form.button(14)->click();  // the same, List 2
            form.button(19)->click();  // Subtract List 2 From List 1
            form.button(7)->click();   // Save List 1 To Text File
            QCOMPARE(harness.messages.texts(), QStringList{u"Done."_s});
        }
        QStringList arguments{u"subtract"_s, u"--crlf"_s, first, second};
        if (!matchCase) arguments.insert(1, u"--ignore-case"_s);
        const Run run = quorvane(arguments);
        QCOMPARE(run.status, 0);
        QCOMPARE(run.out, readAll(saved));
        QVERIFY(run.out.contains("bad \xE9\xFF\r\n"));
    }

private:
    QString path(const QString& name, const QByteArray& content) {
        QString result = m_folder.filePath(name);
        writeFile(result, content);
        return result;
    }

    QTemporaryDir m_folder;
};

QTEST_MAIN(CommandLineTest)
#include "tst_cli.moc"
