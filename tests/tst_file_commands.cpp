#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTest>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <optional>

#include "command_harness.h"
#include "commands/clipboard_commands.h"
#include "commands/file_commands.h"
#include "commands/item_commands.h"
#include "controls/desktop_services.h"
#include "fail_device.h"
#include "form_harness.h"
#include "list_files/encoding.h"
#include "list_files/file_failure.h"
#include "platform/qt_services.h"
#include "platform/replace_file.h"
#include "text_rows.h"
#include "window_test.h"

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#endif

using controls::WindowPointer;

namespace {

const QString kLocation = u"in test "_s;

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// True when the file now holds exactly `bytes`; callers verify it, so that a test whose input
// could not be written stops there instead of running on.
[[nodiscard]] bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

#ifdef Q_OS_UNIX
// Makes every write beyond `bytes` fail in this process, as a full disk would.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &m_old); }

private:
    rlimit m_old{};
};
#endif

#ifdef Q_OS_UNIX
// Runs the file operations of its lifetime as an unprivileged user, so that permissions hold
// even when the tests run as root. Folders it is to reach must be open to others.
class WithoutPrivileges {
public:
    WithoutPrivileges() : m_wasRoot(geteuid() == 0) {
        if (m_wasRoot) m_dropped = seteuid(kNobody) == 0;
    }
    ~WithoutPrivileges() {
        if (m_dropped && seteuid(0) != 0) qFatal("could not regain root");
    }
    Q_DISABLE_COPY(WithoutPrivileges)
    // False when the process is root and could not give its privileges up.
    [[nodiscard]] bool holds() const { return !m_wasRoot || m_dropped; }

private:
    static constexpr uid_t kNobody = 65534;
    bool m_wasRoot;
    bool m_dropped = false;
};

void openToOthers(const QString& path) {
    QVERIFY(::chmod(QFile::encodeName(path).constData(), 0777) == 0);
}

QString makeFifo(const QString& path) {
    return ::mkfifo(QFile::encodeName(path).constData(), 0666) == 0 ? path : QString();
}

// A bound local socket at `path`; the descriptor is closed by the caller.
int makeSocket(const QString& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(path);
    if (fd < 0 || size_t(name.size()) >= sizeof address.sun_path) return -1;
    std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

#endif

QString errorText(const ScriptedMessages& messages) {
    const auto reports = messages.errorReports();
    return reports.size() == 1 ? reports[0].text : u"%1 reports"_s.arg(reports.size());
}

// What a save writes for UTF-8 text that is either plain ASCII or holds characters no ANSI code
// page has: on Windows the latter is written as UTF-8 with a byte-order mark, so nothing is lost.
QByteArray savedText(const QByteArray& utf8) {
#ifdef Q_OS_WIN
    const bool ascii =
        std::all_of(utf8.begin(), utf8.end(), [](char c) { return static_cast<uchar>(c) < 0x80; });
    if (!ascii) return "\xEF\xBB\xBF"_ba + utf8;
#endif
    return utf8;
}

}  // namespace

class FileCommandsTest : public WindowTest {
    Q_OBJECT

private Q_SLOTS:
    void removeDoubleBackslashesKeepsANetworkPathsLeadingPair_data() {
        addTextRows(
            "path", "cleaned",
            {{"drive root join", u"C:\\\\name.txt"_s, u"C:\\name.txt"_s},
             {"network share", u"\\\\server\\share\\name"_s, u"\\\\server\\share\\name"_s},
             {"run of three", u"a\\\\\\b"_s, u"a\\\\b"_s},
             {"run of four", u"a\\\\\\\\b"_s, u"a\\\\b"_s},
             {"leading run of four", u"\\\\\\\\server\\\\x"_s, u"\\\\server\\x"_s},
             {"one leading backslash", u"\\dir\\\\x"_s, u"\\\\dir\\x"_s},
             {"only backslashes", u"\\\\\\"_s, u"\\\\"_s},
             {"empty", QString(), QString()},
             {"long-path prefix", u"\\\\?\\C:\\dir\\\\x.txt"_s, u"\\\\?\\C:\\dir\\x.txt"_s}});
    }
    void removeDoubleBackslashesKeepsANetworkPathsLeadingPair() {
        QFETCH(QString, path);
        QFETCH(QString, cleaned);
        QCOMPARE(platform::RemoveDoubleBackslashes(path), cleaned);
    }

    // With the slash no path is a network path: a leading run collapses like any other, so a
    // file in the root or a folder joined with its name comes back with single separators.
    void removeDoubleBackslashesWithTheSlashLeavesNoDoubledOne_data() {
        addTextRows("path", "cleaned",
                    {{"folder and name", u"/tmp/d/x"_s, u"/tmp/d/x"_s},
                     {"root join", u"//x.txt"_s, u"/x.txt"_s},
                     {"inner pair", u"/a//b"_s, u"/a/b"_s},
                     {"backslashes stay", u"/a\\\\b"_s, u"/a\\\\b"_s}});
    }
    void removeDoubleBackslashesWithTheSlashLeavesNoDoubledOne() {
        QFETCH(QString, path);
        QFETCH(QString, cleaned);
        QCOMPARE(platform::RemoveDoubleBackslashes(path, u'/'), cleaned);
    }

    void openDialogResultNamesEveryChosenFile_data() {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QChar>("separator");
        QTest::addColumn<QStringList>("parts");
        const QChar slash = u'/';
        const QChar back = u'\\';
        QTest::newRow("none") << QStringList() << slash << QStringList{QString()};
        QTest::newRow("one") << QStringList{u"/a/x.txt"_s} << slash << QStringList{u"/a/x.txt"_s};
        QTest::newRow("one folder") << QStringList{u"/a/x.txt"_s, u"/a/y"_s} << slash
                                    << QStringList{u"/a"_s, u"x.txt"_s, u"y"_s};
        QTest::newRow("root") << QStringList{u"/x"_s, u"/y"_s} << slash
                              << QStringList{u"/"_s, u"x"_s, u"y"_s};
        QTest::newRow("same name, two folders")
            << QStringList{u"/a/one.txt"_s, u"/a/sub/one.txt"_s} << slash
            << QStringList{QString(), u"/a/one.txt"_s, u"/a/sub/one.txt"_s};
        QTest::newRow("folder then subfolder, order kept")
            << QStringList{u"/a/sub/z.txt"_s, u"/a/one.txt"_s, u"/a/sub/y.txt"_s} << slash
            << QStringList{QString(), u"/a/sub/z.txt"_s, u"/a/one.txt"_s, u"/a/sub/y.txt"_s};
        QTest::newRow("drive folder") << QStringList{u"C:\\d\\x.txt"_s, u"C:\\d\\y.txt"_s} << back
                                      << QStringList{u"C:\\d"_s, u"x.txt"_s, u"y.txt"_s};
        QTest::newRow("drive root") << QStringList{u"C:\\x.txt"_s, u"C:\\y.txt"_s} << back
                                    << QStringList{u"C:\\"_s, u"x.txt"_s, u"y.txt"_s};
        QTest::newRow("share") << QStringList{u"\\\\srv\\share\\x"_s, u"\\\\srv\\share\\y"_s}
                               << back << QStringList{u"\\\\srv\\share"_s, u"x"_s, u"y"_s};
        QTest::newRow("two drives") << QStringList{u"C:\\x.txt"_s, u"D:\\x.txt"_s} << back
                                    << QStringList{QString(), u"C:\\x.txt"_s, u"D:\\x.txt"_s};
        QTest::newRow("share and drive")
            << QStringList{u"\\\\srv\\share\\x"_s, u"C:\\d\\x"_s} << back
            << QStringList{QString(), u"\\\\srv\\share\\x"_s, u"C:\\d\\x"_s};
    }
    void openDialogResultNamesEveryChosenFile() {
        QFETCH(QStringList, files);
        QFETCH(QChar, separator);
        QFETCH(QStringList, parts);
        QCOMPARE(platform::openDialogResult(files, separator).split(QChar(0)), parts);
    }

    void filesFromSeveralFoldersLoadEachChosenFileInOrder() {
        CommandHarness harness;
        const QString dir = harness.folder.path();
        QDir(dir).mkpath(u"sub"_s);
        QVERIFY(writeFile(dir + u"/one.txt"_s, "top\r\n"));
        QVERIFY(writeFile(dir + u"/sub/one.txt"_s, "sub\r\n"));
        QVERIFY(writeFile(dir + u"/sub/z.txt"_s, "z\r\n"));
        const QChar slash = u'/';
        harness.dialogs.answers = {
            platform::openDialogResult({dir + u"/one.txt"_s, dir + u"/sub/one.txt"_s}, slash),
            platform::openDialogResult({dir + u"/sub/z.txt"_s, dir + u"/one.txt"_s}, slash)};
        commands::LoadList(harness.window, kLocation, harness.ListView1);
        commands::LoadList(harness.window, kLocation, harness.ListView1);
        QCOMPARE(textsOf(harness.ListView1.items()),
                 (QStringList{u"top"_s, u"sub"_s, u"z"_s, u"top"_s}));
        QVERIFY(harness.messages.shown.isEmpty());
    }

    void allFilesMatchesNamesWithoutADot_data() {
        QTest::addColumn<bool>("starDotStarMatchesAll");
        QTest::addColumn<QString>("qtFilter");
        QTest::newRow("*.* misses dotless names")
            << false << u"Text Files (*.txt);;All Files (*)"_s;
        QTest::newRow("*.* matches every name") << true << u"Text Files (*.txt);;All Files (*.*)"_s;
    }
    void allFilesMatchesNamesWithoutADot() {
        QFETCH(bool, starDotStarMatchesAll);
        QFETCH(QString, qtFilter);
        QCOMPARE(controls::qtFilterFrom(commands::kListFileFilter, starDotStarMatchesAll),
                 qtFilter);
        QCOMPARE(controls::qtFilterFrom(u"Lists|*.lst;*.*|"_s, starDotStarMatchesAll),
                 starDotStarMatchesAll ? u"Lists (*.lst *.*)"_s : u"Lists (*.lst *)"_s);
    }

    void loadSetsTheDialogAndCancelChangesNothing() {
        CommandHarness harness;
        harness.CommonDialog1.FileName = u"left over"_s;
        commands::LoadList(harness.window, kLocation, harness.ListView1);
        QCOMPARE(harness.dialogs.opened.size(), 1);
        const platform::FileDialogRequest& shown = harness.dialogs.opened[0];
        QCOMPARE(shown.fileName, QString());
        QCOMPARE(shown.title, u"Load List(s) - Hold Ctrl to select multiple list files"_s);
        QCOMPARE(shown.filter, u"Text Files (*.txt)|*.txt|All Files (*.*)|*.*|"_s);
        QCOMPARE(harness.ListView1.items().count(), 0);
        QCOMPARE(harness.pointer.state(), WindowPointer::Default);
        QVERIFY(harness.messages.shown.isEmpty());
    }

    void severalFilesAccumulateInDialogOrder() {
        CommandHarness harness;
        const QString dir = harness.folder.path();
        QVERIFY(writeFile(dir + u"/b.txt"_s, "b1\r\nb2\r\n"));
        QVERIFY(writeFile(dir + u"/a.txt"_s, "a1\n\n a2 \t"));
        harness.ListView2.items().append(u"before"_s);
        harness.dialogs.answers = {dir + QChar(0) + u"b.txt"_s + QChar(0) + u"a.txt"_s,
                                   dir + u"/b.txt"_s};
        commands::LoadList(harness.window, kLocation, harness.ListView2);
        commands::LoadList(harness.window, kLocation, harness.ListView2);
        QCOMPARE(textsOf(harness.ListView2.items()),
                 (QStringList{u"before"_s, u"b1"_s, u"b2"_s, u"a1"_s, QString(), u" a2 \t"_s,
                              u"b1"_s, u"b2"_s}));
        QCOMPARE(harness.ListView1.items().count(), 0);
        QCOMPARE(harness.pointer.state(), WindowPointer::Default);
    }

    // A folder that ends in a separator, as a drive root such as C:\ does: the join doubles it.
    void severalFilesFromAFolderEndingInASeparatorLoad() {
        CommandHarness harness;
        const QString folder = QDir::toNativeSeparators(harness.folder.path()) + QDir::separator();
        QVERIFY(writeFile(folder + u"one.txt"_s, "1\r\n"));
        QVERIFY(writeFile(folder + u"two.txt"_s, "2"));
        harness.dialogs.answers = {folder + QChar(0) + u"one.txt"_s + QChar(0) + u"two.txt"_s};
        commands::LoadList(harness.window, kLocation, harness.ListView1);
        QCOMPARE(textsOf(harness.ListView1.items()), (QStringList{u"1"_s, u"2"_s}));
        QVERIFY(harness.messages.shown.isEmpty());
    }

    // Text in the Windows ANSI code page, through the paths a Windows user has: a drive letter
    // and backslashes. Elsewhere the same bytes are kept as they are, so the file comes back the
    // same there too.
    void aWindows1252FileLoadsAndSavesBackByteForByte() {
#ifdef Q_OS_WIN
        if (list_files::systemCodePage() != 1252) {
            QSKIP(qPrintable(
                u"the ANSI code page here is %1, not 1252"_s.arg(list_files::systemCodePage())));
        }
#endif
        FormHarness harness;
        Form1& form = harness.load();
        QByteArray bytes = "caf\xE9 \x80 na\xEFve\r\n"_ba;
        for (int byte = 0x80; byte <= 0xFF; ++byte) bytes.append(char(byte));
        bytes += "\r\n"_ba;
        const QString folder = QDir::toNativeSeparators(harness.folder.path());
        const QString in = folder + QDir::separator() + u"in.txt"_s;
        const QString out = folder + QDir::separator() + u"out.txt"_s;
#ifdef Q_OS_WIN
        QVERIFY2(in.at(1) == u':' && in.at(2) == u'\\', qPrintable(in));
#endif
        QVERIFY(writeFile(in, bytes));
        harness.dialogs.answers = {in, out};
        form.button(3)->click();
        QCOMPARE(form.listView(1)->items().count(), 2);
#ifdef Q_OS_WIN
        QCOMPARE(form.listView(1)->items().text(1), u"café € naïve"_s);
#endif
        form.button(7)->click();
        QCOMPARE(harness.messages.texts(), QStringList{u"Done."_s});
        QCOMPARE(readAll(out), bytes);
    }

    void aMissingFileAmongSeveralIsReportedOnceAndTheOthersLoad() {
        CommandHarness harness;
        const QString dir = harness.folder.path();
        QVERIFY(writeFile(dir + u"/one.txt"_s, "1\r\n"));
        QVERIFY(writeFile(dir + u"/three.txt"_s, "3\r\n"));
        harness.dialogs.answers = {dir + QChar(0) + u"one.txt"_s + QChar(0) + u"gone.txt"_s +
                                   QChar(0) + u"three.txt"_s};
        commands::LoadList(harness.window, kLocation, harness.ListView1);
        QCOMPARE(textsOf(harness.ListView1.items()), (QStringList{u"1"_s, u"3"_s}));
        QCOMPARE(harness.messages.texts(), QStringList{u"File not found"_s});
        QCOMPARE(harness.messages.shown[0].caption, u"Quorvane"_s);
        QCOMPARE(harness.messages.shown[0].icon, platform::Icon::None);
    }

    // Files named when the program started: each list's load is what its load button would make
    // of the same choice, one change each, and the headers count what arrived.
    void filesNamedAtStartLoadIntoTheirListsAsOneChangeEach() {
        FormHarness harness;
        Form1& form = harness.load();
        const QString dir = harness.folder.path();
        QVERIFY(writeFile(dir + u"/a.txt"_s, "a1\r\n\r\n a2 \r\n"));
        QVERIFY(writeFile(dir + u"/b.txt"_s, "b1\rb2"));
        QVERIFY(QDir(dir).mkdir(u"other"_s));
        QVERIFY(writeFile(dir + u"/other/c.txt"_s, "c1\n"));
        form.OpenFiles({dir + u"/a.txt"_s, dir + u"/other/c.txt"_s, dir + u"/b.txt"_s},
                       {dir + u"/b.txt"_s});
        QCOMPARE(textsOf(form.listView(1)->items()),
                 (QStringList{u"a1"_s, u""_s, u" a2 "_s, u"c1"_s, u"b1"_s, u"b2"_s}));
        QCOMPARE(textsOf(form.listView(2)->items()), (QStringList{u"b1"_s, u"b2"_s}));
        QVERIFY(harness.messages.shown.isEmpty());
        QVERIFY(harness.dialogs.opened.isEmpty());
        QCOMPARE(form.MousePointer().state(), WindowPointer::Default);
        QCOMPARE(form.progressBar()->exactValue(), 0.0);
        const auto header = [&](int list) {
            return form.listView(list)->model()->headerData(0, Qt::Horizontal).toString();
        };
        QCOMPARE(header(1), u"List 1 (6 items)"_s);
        QCOMPARE(header(2), u"List 2 (2 items)"_s);

        QCOMPARE(form.history().count(), 2);
        form.history().undo();
        QCOMPARE(form.listView(2)->items().count(), 0);
        QCOMPARE(form.listView(1)->items().count(), 6);
        form.history().undo();
        QCOMPARE(form.listView(1)->items().count(), 0);
    }

    // A missing file and a folder among a list's files are reported as that list's load command
    // reports them, and the other files load.
    void filesNamedAtStartReportAsTheirListsLoadCommand_data() {
        QTest::addColumn<int>("list");
        QTest::addColumn<QString>("procedure");
        QTest::newRow("List 1") << 1 << u"Form1.PushButton3_Click"_s;
        QTest::newRow("List 2") << 2 << u"Form1.PushButton14_Click"_s;
    }
    void filesNamedAtStartReportAsTheirListsLoadCommand() {
        QFETCH(int, list);
        QFETCH(QString, procedure);
        FormHarness harness;
        Form1& form = harness.load();
        const QString dir = harness.folder.path();
        QVERIFY(writeFile(dir + u"/good.txt"_s, "fine\n"));
        QVERIFY(QDir(dir).mkdir(u"sub"_s));
        const QStringList files{dir + u"/gone.txt"_s, dir + u"/sub"_s, dir + u"/good.txt"_s};
        form.OpenFiles(list == 1 ? files : QStringList(), list == 2 ? files : QStringList());
        QCOMPARE(textsOf(form.listView(list)->items()), QStringList{u"fine"_s});
        QCOMPARE(form.listView(3 - list)->items().count(), 0);
        const auto reports = harness.messages.errorReports();
        QCOMPARE(reports.size(), 1);
        QVERIFY2(reports[0].text.contains(QDir::toNativeSeparators(dir + u"/sub"_s) +
                                          u" is not a file"_s),
                 qPrintable(reports[0].text));
        QVERIFY2(reports[0].text.contains(procedure + u" at line 134"_s),
                 qPrintable(reports[0].text));
        QCOMPARE(harness.messages.texts().count(u"File not found"_s), 1);
        QCOMPARE(harness.messages.texts().first(), u"File not found"_s);
        QCOMPARE(form.history().count(), 1);
    }

    // A single file is loaded as a single chosen one: its failure is line 120's.
    void aSingleFileNamedAtStartReportsAsASingleChoice() {
        FormHarness harness;
        Form1& form = harness.load();
        const QString dir = harness.folder.path();
        form.OpenFiles({}, {dir});
        const auto reports = harness.messages.errorReports();
        QCOMPARE(reports.size(), 1);
        QVERIFY2(reports[0].text.contains(u"Form1.PushButton14_Click at line 120"_s),
                 qPrintable(reports[0].text));
    }

    void aFolderOrDeviceInsteadOfAFileIsReportedAndTheNextLoads_data() {
        QTest::addColumn<QString>("badPath");
        QTest::newRow("folder") << u"%1/sub"_s;
#ifdef Q_OS_UNIX
        QTest::newRow("device") << u"/dev/zero"_s;
#endif
    }
    void aFolderOrDeviceInsteadOfAFileIsReportedAndTheNextLoads() {
        QFETCH(QString, badPath);
        FormHarness harness;
        Form1& form = harness.load();
        const QString dir = harness.folder.path();
        QDir(dir).mkpath(u"sub"_s);
        QVERIFY(writeFile(dir + u"/good.txt"_s, "fine"));
        const QString bad = badPath.contains(u'%') ? badPath.arg(dir) : badPath;
        harness.dialogs.answers = {bad, dir + u"/good.txt"_s};
        form.button(3)->click();
        const auto reports = harness.messages.errorReports();
        QCOMPARE(reports.size(), 1);
        QVERIFY(reports[0].text.contains(u"Form1.PushButton3_Click at line 120"_s));
        form.button(3)->click();
        QCOMPARE(textsOf(form.listView(1)->items()), QStringList{u"fine"_s});
        QCOMPARE(form.MousePointer().state(), WindowPointer::Default);
    }

    // A file that becomes unreadable halfway: one report, the lines before it stay, and the
    // next file loads as usual. A large file is read a chunk ahead on another thread.
    void aReadFailingHalfwayIsReportedOnceAndKeepsTheLinesBefore_data() {
        QTest::addColumn<int>("megabytes");
        QTest::newRow("read here") << 3;
        QTest::newRow("read ahead") << 24;
    }
    void aReadFailingHalfwayIsReportedOnceAndKeepsTheLinesBefore() {
        QFETCH(int, megabytes);
        CommandHarness harness;
        const QByteArray line("0123456789abcdef\r\n");
        QByteArray content;
        while (content.size() < qsizetype(megabytes) * 1024 * 1024) content += line;
        FailDevice failing(qint64(megabytes) * 1024 * 1024 * 2 / 3 + 5, content);
        QVERIFY(failing.open(QIODevice::ReadOnly));
        const commands::Window& window = harness.window;
        platform::Steps step = window.steps(kLocation);
        // The failure must reach the step: a reader that swallowed it would end the step normally.
        QVERIFY(!step(134, [&] {
            commands::LoadListFromDevice(window, harness.ListView1.items(), failing);
        }));
        const int kept = harness.ListView1.items().count();
        QVERIFY(kept > 0 && kept < content.size() / line.size());
        QCOMPARE(harness.ListView1.items().text(kept), u"0123456789abcdef"_s);
        const auto reports = harness.messages.errorReports();
        QCOMPARE(reports.size(), 1);
        QVERIFY(reports[0].text.startsWith(FailDevice::readFailureText() + u"\r\n"_s));

        FailDevice good(-1, content + "next\r\n");
        QVERIFY(good.open(QIODevice::ReadOnly));
        QVERIFY(step(
            134, [&] { commands::LoadListFromDevice(window, harness.ListView1.items(), good); }));
        const list_store::ListStore& items = harness.ListView1.items();
        QCOMPARE(items.count(), kept + content.size() / line.size() + 1);
        QCOMPARE(items.text(kept + 1), u"0123456789abcdef"_s);
        QCOMPARE(items.text(items.count()), u"next"_s);
        QCOMPARE(harness.messages.errorReports().size(), 1);
    }

    // A file cut short or put in another's place while it is read is a read failure: the lines
    // read before stay, a torn last line does not. One that grows, or reports no size, reads on.
    void aFileThatChangesWhileItIsReadIsAReadFailure_data() {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("fails");
        QTest::newRow("cut short") << u"cut"_s << true;
        QTest::newRow("replaced") << u"replaced"_s << true;
        QTest::newRow("grown") << u"grown"_s << false;
        QTest::newRow("no size, as under /proc") << u"proc"_s << false;
    }
    void aFileThatChangesWhileItIsReadIsAReadFailure() {
        QFETCH(QString, change);
        QFETCH(bool, fails);
        CommandHarness harness;
        const QByteArray line("0123456789abcdef\r\n");
        QByteArray content;
        while (content.size() < qsizetype(3) * 1024 * 1024) content += line;
        const qsizetype lines = content.size() / line.size();
        QString path = harness.folder.path() + u"/changing.txt"_s;
        QVERIFY(writeFile(path, content));
        const qint64 cut = 1536 * 1024 + 7;  // in the second chunk, within a line
#ifdef Q_OS_WIN
        if (change == u"replaced") QSKIP("an open file cannot be replaced on Windows");
#endif
        if (change == u"proc") {
            path = u"/proc/self/status"_s;
            if (!QFileInfo::exists(path)) QSKIP("no /proc here");
        }
        // Before the second chunk is read.
        harness.pump.at(2, [&] {
            if (change == u"cut") {
                QVERIFY(QFile::resize(path, cut));
            } else if (change == u"replaced") {
                const QString other = harness.folder.path() + u"/other.txt"_s;
                QVERIFY(writeFile(other, "other\r\n"));
                QVERIFY(::rename(QFile::encodeName(other).constData(),
                                 QFile::encodeName(path).constData()) == 0);
            } else if (change == u"grown") {
                QFile file(path);
                QVERIFY(file.open(QIODevice::Append));
                file.write("added\r\n");
            }
        });
        const commands::Window& window = harness.window;
        platform::Steps step = window.steps(kLocation);
        step(120, [&] { commands::LoadListFromFile(window, harness.ListView1.items(), path); });
        const list_store::ListStore& items = harness.ListView1.items();
        if (!fails) {
            QVERIFY(harness.messages.errorReports().isEmpty());
            if (change == u"grown") {
                QCOMPARE(items.count(), lines + 1);
                QCOMPARE(items.text(items.count()), u"added"_s);
            }
            return;
        }
        QCOMPARE(errorText(harness.messages).section(u"\r\r"_s, 0, 0),
                 u"Path/File access error: %1 changed while it was being read\r\n"
                 "in test at line 120"_s.arg(QDir::toNativeSeparators(path)));
        QCOMPARE(items.count(), change == u"cut" ? int(cut / line.size()) : int(lines));
        QCOMPARE(items.text(items.count()), u"0123456789abcdef"_s);
    }

    void saveWritesEveryItemWithCrLfAndSaysDone() {
        CommandHarness harness;
        harness.ListView1.items().append(u"a"_s);
        harness.ListView1.items().append(u"b"_s);
        const QString path = harness.folder.path() + u"/out"_s;  // no extension is added
        harness.dialogs.answers = {path};
        commands::SaveList(harness.window, kLocation, harness.ListView1);
        QCOMPARE(harness.dialogs.saved.size(), 1);
        QCOMPARE(harness.dialogs.saved[0].title, u"Save"_s);
        QCOMPARE(harness.dialogs.saved[0].filter,
                 u"Text Files (*.txt)|*.txt|All Files (*.*)|*.*|"_s);
        QCOMPARE(readAll(path), QByteArray("a\r\nb\r\n"));
        QCOMPARE(harness.messages.texts(), QStringList{u"Done."_s});
        QCOMPARE(harness.messages.shown[0].caption, u"Quorvane"_s);
        QCOMPARE(harness.pointer.state(), WindowPointer::Default);
        QCOMPARE(QDir(harness.folder.path()).entryList(QDir::Files), (QStringList{u"out"_s}));
    }

    // The window's own pump lets items go in runs between its calls: the file and the bar's
    // steps must be those of writing them one by one. Short ASCII items take a quicker way in
    // than the others, so every kind is there, at every place in a run.
    void saveWritesTheSameInRunsAsItemByItem_data() {
        QTest::addColumn<bool>("byClock");
        QTest::newRow("item by item") << false;
        QTest::newRow("in runs") << true;
    }
    void saveWritesTheSameInRunsAsItemByItem() {
        QFETCH(bool, byClock);
        CommandHarness harness;
        harness.pump.byClock = byClock;
        const QStringList kinds{u"plain"_s,
                                u""_s,
                                u"caf\u00e9"_s,
                                u"\U0001F600 wide"_s,
                                QString(64, u'a'),
                                QString(65, u'b'),
                                QString(300, u'c') + u"\u00e9"_s};
        QByteArray utf8;
        const int count = 2 * 1024 + 77;
        for (int i = 0; i < count; ++i) {
            const QString text = kinds.at(i % kinds.size()) + QString::number(i % 7 == 0 ? i : 0);
            harness.ListView1.items().append(text);
            utf8 += text.toUtf8() + "\r\n";
        }
        const QString path = harness.folder.path() + u"/list.txt"_s;
        harness.dialogs.answers = {path};
        commands::SaveList(harness.window, kLocation, harness.ListView1);
        QCOMPARE(readAll(path), savedText(utf8));
        QCOMPARE(harness.messages.texts(), QStringList{u"Done."_s});
        const QList<double> steps{1024.0 / count * 100, 2048.0 / count * 100, 100, 0};
        QCOMPARE(harness.progress.values, steps);
    }

    void overwriteAsksFirst_data() {
        QTest::addColumn<platform::Answer>("answer");
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("yes") << platform::Answer::Yes << QByteArray();
        QTest::newRow("no") << platform::Answer::No << QByteArray("old content");
    }
    void overwriteAsksFirst() {
        QFETCH(platform::Answer, answer);
        QFETCH(QByteArray, content);
        CommandHarness harness;
        const QString path = harness.folder.path() + u"/list.txt"_s;
        QVERIFY(writeFile(path, "old content"));
        harness.dialogs.answers = {path};
        harness.messages.answers = {answer};
        commands::SaveList(harness.window, kLocation,
                           harness.ListView2);  // List 2 is empty: Yes gives zero bytes
        QCOMPARE(harness.messages.shown[0].text,
                 u"Are you sure you wish to overwrite "_s + path + u" ?"_s);
        QCOMPARE(harness.messages.shown[0].buttons, platform::Buttons::YesNo);
        QCOMPARE(harness.messages.shown[0].defaultButton, platform::Answer::Yes);
        QCOMPARE(readAll(path), content);
        QCOMPARE(harness.messages.texts().contains(u"Done."_s), answer == platform::Answer::Yes);
    }

    void itemsSurviveASaveAndLoadRoundTrip() {
        CommandHarness harness;
        const QStringList items{u"  lead"_s, u"trail\t "_s, QString(),
                                u"dup"_s,    u"dup"_s,      u"caf\u00e9 \U0001F600"_s,
                                QString()};
        fill(harness.ListView1.items(), items);
        const QString path = harness.folder.path() + u"/round.txt"_s;
        harness.dialogs.answers = {path, path};
        commands::SaveList(harness.window, kLocation, harness.ListView1);
        commands::LoadList(harness.window, kLocation, harness.ListView2);
        QCOMPARE(textsOf(harness.ListView2.items()), items);
    }

    // The report names the file and gives the system's own reason.
    void aSaveThatCannotOpenTheFileNamesItAndTheReason_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("readOnlyFolder");
        QTest::addColumn<bool>("readOnlyFile");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing folder")
            << u"missing/dir/x.txt"_s << false << false << u"No such file or directory"_s;
        QTest::newRow("read-only folder")
            << u"locked/x.txt"_s << true << false << u"Permission denied"_s;
        QTest::newRow("read-only file") << u"x.txt"_s << false << true << u"Permission denied"_s;
    }
    void aSaveThatCannotOpenTheFileNamesItAndTheReason() {
#ifndef Q_OS_UNIX
        QSKIP("needs POSIX pipes, sockets and users");
#else
        QFETCH(QString, name);
        QFETCH(bool, readOnlyFolder);
        QFETCH(bool, readOnlyFile);
        QFETCH(QString, reason);
        CommandHarness harness;
        harness.ListView1.items().append(u"a"_s);
        const QString dir = harness.folder.path();
        openToOthers(dir);
        const QString path = dir + u'/' + name;
        if (readOnlyFolder) {
            QVERIFY(QDir(dir).mkdir(u"locked"_s));
            QVERIFY(QFile::setPermissions(dir + u"/locked"_s, QFile::ReadOwner | QFile::ExeOwner |
                                                                  QFile::ReadOther |
                                                                  QFile::ExeOther));
        }
        if (readOnlyFile) {
            QVERIFY(writeFile(path, "old"));
            QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadOther));
        }
        harness.dialogs.answers = {path};
        harness.messages.answers = {platform::Answer::Yes};
        {
            WithoutPrivileges unprivileged;
            if (!unprivileged.holds()) QSKIP("running as root without the right to drop it");
            commands::SaveList(harness.window, kLocation, harness.ListView1);
        }
        if (readOnlyFile) QCOMPARE(readAll(path), QByteArray("old"));
        QCOMPARE(errorText(harness.messages).section(u"\r\r"_s, 0, 0),
                 u"Path/File access error: %1 could not be opened for writing: %2\r\n"
                 "in test at line 130"_s.arg(path, reason));
        QVERIFY(!harness.messages.texts().contains(u"Done."_s));
        QCOMPARE(harness.pointer.state(), WindowPointer::Default);
#endif
    }

    // In a shared folder (sticky bit) another user's file may be written but not replaced, nor
    // given back to that user: it is written over in place, from a copy that is then removed.
    void anotherUsersFileInASharedFolderIsWrittenInPlaceAndStaysTheirs() {
#ifndef Q_OS_UNIX
        QSKIP("needs POSIX pipes, sockets and users");
#else
        if (geteuid() != 0) QSKIP("needs a file of another user");
        CommandHarness harness;
        harness.ListView1.items().append(u"new"_s);
        const QString dir = harness.folder.path();
        QVERIFY(::chmod(QFile::encodeName(dir).constData(), 01777) == 0);
        const QString path = dir + u"/theirs.txt"_s;
        QVERIFY(writeFile(path, "old, and longer than the new"));
        openToOthers(path);
        harness.dialogs.answers = {path};
        harness.messages.answers = {platform::Answer::Yes};
        {
            WithoutPrivileges unprivileged;
            if (!unprivileged.holds()) QSKIP("running as root without the right to drop it");
            commands::SaveList(harness.window, kLocation, harness.ListView1);
        }
        QVERIFY(harness.messages.errorReports().isEmpty());
        QVERIFY(harness.messages.texts().contains(u"Done."_s));
        QCOMPARE(readAll(path), QByteArray("new\r\n"));
        struct stat saved {};
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &saved), 0);
        QCOMPARE(saved.st_uid, uid_t(0));
        QCOMPARE(saved.st_mode & 07777, mode_t(0777));
        QCOMPARE(QDir(dir).entryList(QDir::Files), QStringList{u"theirs.txt"_s});
#endif
    }

    // The saved file is the old one to the system: same owner, group and mode, the same content
    // under every name, and a link stays a link to it.
    void aSaveKeepsTheFilesOwnerModeAndOtherNames_data() {
        QTest::addColumn<uint>("owner");
        QTest::addColumn<uint>("group");
        QTest::addColumn<uint>("mode");
        QTest::addColumn<QString>("how");  // "", "second name", "link", "locked folder"
        QTest::newRow("read-only, saved by root") << 0u << 0u << 0444u << QString();
        QTest::newRow("another user's, 640") << 65534u << 65534u << 0640u << QString();
        QTest::newRow("with a second name") << 65534u << 65534u << 0640u << u"second name"_s;
        QTest::newRow("through a link") << 65534u << 65534u << 0640u << u"link"_s;
        QTest::newRow("in a folder that holds no copy")
            << 65534u << 65534u << 0644u << u"locked folder"_s;
    }
    void aSaveKeepsTheFilesOwnerModeAndOtherNames() {
#ifndef Q_OS_UNIX
        QSKIP("needs POSIX users and links");
#else
        QFETCH(uint, owner);
        QFETCH(uint, group);
        QFETCH(uint, mode);
        QFETCH(QString, how);
        if (geteuid() != 0) QSKIP("needs root to give files to other users");
        CommandHarness harness;
        harness.ListView1.items().append(u"new"_s);
        const QString dir = harness.folder.path() + u"/in"_s;
        QVERIFY(QDir(harness.folder.path()).mkdir(u"in"_s));
        openToOthers(harness.folder.path());
        const QString path = dir + u"/kept.txt"_s;
        QVERIFY(writeFile(path, "old, and longer than the new"));
        const QByteArray name = QFile::encodeName(path);
        QVERIFY(::chown(name.constData(), owner, group) == 0);
        QVERIFY(::chmod(name.constData(), mode) == 0);
        QString chosen = path;
        QStringList names{u"kept.txt"_s};
        if (how == u"second name") {
            QVERIFY(::link(name.constData(), QFile::encodeName(dir + u"/other.txt"_s)) == 0);
            names = QStringList{u"kept.txt"_s, u"other.txt"_s};
        } else if (how == u"link") {
            chosen = dir + u"/link.txt"_s;
            QVERIFY(QFile::link(path, chosen));
            names = QStringList{u"kept.txt"_s, u"link.txt"_s};
        }
        harness.dialogs.answers = {chosen};
        harness.messages.answers = {platform::Answer::Yes};
        if (how == u"locked folder") {
            // Its owner may write the file but make no other file beside it.
            QVERIFY(::chmod(QFile::encodeName(dir).constData(), 0555) == 0);
            WithoutPrivileges unprivileged;
            if (!unprivileged.holds()) QSKIP("running as root without the right to drop it");
            commands::SaveList(harness.window, kLocation, harness.ListView1);
        } else {
            commands::SaveList(harness.window, kLocation, harness.ListView1);
        }
        QVERIFY2(harness.messages.errorReports().isEmpty(),
                 qPrintable(errorText(harness.messages)));
        QVERIFY(harness.messages.texts().contains(u"Done."_s));
        for (const QString& each : names) QCOMPARE(readAll(dir + u'/' + each), "new\r\n"_ba);
        struct stat saved {};
        QCOMPARE(::stat(name.constData(), &saved), 0);
        QCOMPARE(uint(saved.st_uid), owner);
        QCOMPARE(uint(saved.st_gid), group);
        QCOMPARE(uint(saved.st_mode & 07777), mode);
        if (how == u"link") QVERIFY(QFileInfo(chosen).isSymLink());
        QCOMPARE(QDir(dir).entryList(QDir::Files | QDir::System), names);
        QVERIFY(QDir::temp().entryList({u"kept.txt.*"_s}, QDir::Files).isEmpty());
#endif
    }

    // Where writing over the old file fails part-way, the copy that holds the whole new content
    // stays, and the report names it.
    void aFailureWritingInPlaceKeepsTheNewContentAndNamesIt() {
#ifndef Q_OS_UNIX
        QSKIP("needs POSIX links");
#else
        // Fails once half the first block is written over the old file.
        class FailingInPlace : public platform::FileReplacement {
        public:
            using FileReplacement::FileReplacement;

        protected:
            bool writeOver(const char* bytes, qint64 count, qint64 offset) override {
                FileReplacement::writeOver(bytes, count / 2, offset);
                errno = ENOSPC;
                return false;
            }
        };
        QTemporaryDir folder;
        const QString path = folder.filePath(u"kept.txt"_s);
        QVERIFY(writeFile(path, QByteArray(1000, 'o')));
        // A second name makes the file be written in place.
        QVERIFY(::link(QFile::encodeName(path).constData(),
                       QFile::encodeName(folder.filePath(u"other.txt"_s)).constData()) == 0);
        const QByteArray content(300000, 'n');
        QString kept;
        {
            FailingInPlace file(path);
            QVERIFY(file.open());
            QCOMPARE(file.device().write(content), content.size());
            QVERIFY(!file.commit());
            QCOMPARE(file.errorString(), u"No space left on device"_s);
            kept = file.keptCopy();
            QCOMPARE(list_files::replaceFailure(path, file.errorString(), kept).description(),
                     u"Path/File access error: %1 could not be replaced: No space left on "
                     "device; its new content is kept in %2"_s.arg(path, kept));
        }
        QCOMPARE(QFileInfo(kept).absolutePath(), folder.path());
        QCOMPARE(readAll(kept), content);
        QCOMPARE(readAll(folder.filePath(u"other.txt"_s)).left(10), QByteArray(10, 'n'));
#endif
    }

    void anUnreadableFileAmongSeveralIsNamedWithTheReasonAndTheOthersLoad() {
#ifndef Q_OS_UNIX
        QSKIP("needs POSIX pipes, sockets and users");
#else
        CommandHarness harness;
        const QString dir = harness.folder.path();
        openToOthers(dir);
        for (const char* name : {"one", "two", "three"}) {
            const QString path = dir + u'/' + QLatin1StringView(name) + u".txt"_s;
            QVERIFY(writeFile(path, name));
            openToOthers(path);
        }
        QVERIFY(QFile::setPermissions(dir + u"/two.txt"_s, QFile::WriteOwner));
        harness.dialogs.answers = {dir + QChar(0) + u"one.txt"_s + QChar(0) + u"two.txt"_s +
                                   QChar(0) + u"three.txt"_s};
        {
            WithoutPrivileges unprivileged;
            if (!unprivileged.holds()) QSKIP("running as root without the right to drop it");
            commands::LoadList(harness.window, kLocation, harness.ListView1);
        }
        QCOMPARE(textsOf(harness.ListView1.items()), (QStringList{u"one"_s, u"three"_s}));
        const QString text = errorText(harness.messages);
        QVERIFY2(text.startsWith(u"Path/File access error: "_s), qPrintable(text));
        QVERIFY2(text.contains(dir + u"/two.txt could not be opened for reading: Permission denied"
                                     "\r\nin test at line 134"_s),
                 qPrintable(text));
#endif
    }

    // A file whose reading fails (memory the process has not mapped reads as an I/O error).
    void aFileThatFailsToReadIsNamedWithTheReason() {
#ifdef Q_OS_WIN
        QSKIP("/proc/self/mem reads as an I/O error only on Linux");
#endif
        const QString path = u"/proc/self/mem"_s;
        if (!QFileInfo::exists(path)) QSKIP("no /proc here");
        CommandHarness harness;
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const commands::Window& window = harness.window;
        platform::Steps step = window.steps(kLocation);
        step(120,
             [&] { commands::LoadListFromDevice(window, harness.ListView1.items(), file, path); });
        QCOMPARE(errorText(harness.messages).section(u"\r\r"_s, 0, 0),
                 u"Path/File access error: /proc/self/mem could not be read: Input/output error\r\n"
                 "in test at line 120"_s);
    }

    void aSaveThatFailsMidWriteKeepsTheOldFile() {
#ifndef Q_OS_UNIX
        QSKIP("needs a per-process file size limit; the writer's own failure tests cover this");
#else
        FormHarness harness;
        Form1& form = harness.load();
        const QString path = harness.folder.path() + u"/keep.txt"_s;
        const QByteArray old(5000, 'o');
        QVERIFY(writeFile(path, old));
        for (int i = 0; i < 200000; ++i) form.listView(1)->items().append(u"entry %1"_s.arg(i));
        harness.dialogs.answers = {path};
        harness.messages.answers = {platform::Answer::Yes};
        {
            FileSizeLimit limit(rlim_t(64) * 1024);
            form.button(7)->click();
        }
        // A disk that fills up takes part of a write without a word; the reason comes after.
        QCOMPARE(errorText(harness.messages).section(u"\r\r"_s, 0, 0),
                 u"Path/File access error: %1 could not be written: File too large\r\n"
                 "in Pellorin2021/08/31.Form1.PushButton7_Click at line 136"_s.arg(path));
        QVERIFY(!harness.messages.texts().contains(u"Done."_s));
        QCOMPARE(readAll(path), old);
        QCOMPARE(QDir(harness.folder.path()).entryList(QDir::Files), (QStringList{u"keep.txt"_s}));
#endif
    }

    // Saving onto a pipe, socket, device or folder is refused before anything is opened: a pipe
    // would hold the window until another program read it.
    void aSaveOntoWhatIsNotAFileIsRefusedAndWritesNothing_data() {
        addWordRows("kind", {"pipe", "socket", "device", "folder"});
    }
    void aSaveOntoWhatIsNotAFileIsRefusedAndWritesNothing() {
#ifndef Q_OS_UNIX
        QSKIP("needs POSIX pipes, sockets and users");
#else
        QFETCH(QString, kind);
        CommandHarness harness;
        for (int i = 0; i < 10; ++i) harness.ListView1.items().append(u"entry"_s);
        QString target = harness.folder.path() + u"/"_s + kind;
        int reader = -1;
        int socket = -1;
        if (kind == u"pipe") {
            QVERIFY(!makeFifo(target).isEmpty());
            // Held open, so that a save that wrongly opens the pipe fails this test, not hangs it.
            reader = ::open(QFile::encodeName(target).constData(), O_RDONLY | O_NONBLOCK);
            QVERIFY(reader >= 0);
        } else if (kind == u"socket") {
            socket = makeSocket(target);
            QVERIFY(socket >= 0);
        } else if (kind == u"device") {
            target = u"/dev/null"_s;
            if (!QFileInfo::exists(target)) QSKIP("no /dev/null here");
        } else {
            QVERIFY(QDir(harness.folder.path()).mkdir(kind));
        }
        harness.dialogs.answers = {target};
        harness.messages.answers = {platform::Answer::Yes};
        commands::SaveList(harness.window, kLocation, harness.ListView1);
        QCOMPARE(
            errorText(harness.messages),
            u"Path/File access error: %1 is not a file\r\n"
            "in test at line 130\r\r"
            "Please email screenshot of this message to support@kelvarn.example"_s.arg(target));
        QVERIFY(!harness.messages.texts().contains(u"Done."_s));
        QCOMPARE(harness.pointer.state(), WindowPointer::Default);
        if (reader >= 0) {
            char byte = 0;
            QCOMPARE(::read(reader, &byte, 1), ssize_t(0));  // nothing written, no writer left
            ::close(reader);
        }
        if (socket >= 0) ::close(socket);
        QVERIFY(QFileInfo::exists(target) && !QFileInfo(target).isFile());
        QCOMPARE(QDir(harness.folder.path()).entryList(QDir::Files), QStringList());
#endif
    }

    // Lone surrogates from UTF-16, typed, pasted or dropped text become U+FFFD and save as valid
    // UTF-8; the escapes for undecodable bytes of files without a mark still save back as those
    // bytes.
    void entriesFromEverySourceSaveAsTheyShould_data() {
        QTest::addColumn<QByteArray>("fileBytes");  // loaded when not empty
        QTest::addColumn<QString>("text");          // otherwise entered this way
        QTest::addColumn<QString>("source");        // "typed", "pasted" or "dropped"
        QTest::addColumn<QByteArray>("saved");
        const QByteArray replacement("\xEF\xBF\xBD");
        const QByteArray utf16(
            "\xFF\xFE"
            "a\0\x80\xDC"
            "b\0\r\0\n\0\x00\xD8\r\0\n\0"
            "\x3D\xD8\x00\xDE\r\0\n\0\x80",
            25);
        QTest::newRow("UTF-16LE file")
            << utf16 << QString() << QString()
            << savedText("a"_ba + replacement + "b\r\n"_ba + replacement +
                         "\r\n\xF0\x9F\x98\x80\r\n"_ba + replacement + "\r\n"_ba);
        // Back byte for byte everywhere: kept as they are here, read and written in the ANSI code
        // page on Windows.
        QTest::newRow("file without a mark") << "a\x80\xFF\r\n\xED\xA0\x80"_ba << QString()
                                             << QString() << "a\x80\xFF\r\n\xED\xA0\x80\r\n"_ba;
        QTest::newRow("typed") << QByteArray()
                               << u"a"_s + QChar(0xDC80) + u"b"_s + QChar(0xD800) +
                                      u"\U0001F600"_s + QChar(0xDE00)
                               << u"typed"_s
                               << savedText("a"_ba + replacement + "b"_ba + replacement +
                                            "\xF0\x9F\x98\x80"_ba + replacement + "\r\n"_ba);
        // A line end parts a pair: each half is lone in its own line.
        const QString lines = u"a"_s + QChar(0xDC80) + u"b"_s + QChar(0xD800) + u"\r\n"_s +
                              u"\U0001F600"_s + QChar(0xDE00) + u"\n"_s + QChar(0xDE00) + u"c"_s +
                              QChar(0xD83D);
        const QByteArray linesSaved =
            savedText("a"_ba + replacement + "b"_ba + replacement + "\r\n\xF0\x9F\x98\x80"_ba +
                      replacement + "\r\n"_ba + replacement + "c"_ba + replacement + "\r\n"_ba);
        QTest::newRow("pasted") << QByteArray() << lines << u"pasted"_s << linesSaved;
        QTest::newRow("dropped") << QByteArray() << lines << u"dropped"_s << linesSaved;
        const QString pairAcrossLines = u"x"_s + QChar(0xD83D) + u"\r\n"_s + QChar(0xDE00) + u"y"_s;
        QTest::newRow("pasted pair parted by a line end")
            << QByteArray() << pairAcrossLines << u"pasted"_s
            << savedText("x"_ba + replacement + "\r\n"_ba + replacement + "y\r\n"_ba);
    }
    void entriesFromEverySourceSaveAsTheyShould() {
        QFETCH(QByteArray, fileBytes);
        QFETCH(QString, text);
        QFETCH(QString, source);
        QFETCH(QByteArray, saved);
        CommandHarness harness;
        const QString in = harness.folder.filePath(u"in.txt"_s);
        const QString out = harness.folder.filePath(u"out.txt"_s);
        if (!fileBytes.isEmpty()) {
            QVERIFY(writeFile(in, fileBytes));
            harness.dialogs.answers = {in, out};
            commands::LoadList(harness.window, kLocation, harness.ListView1);
        } else if (source == u"typed") {
            harness.input.answers = {text};
            harness.dialogs.answers = {out};
            commands::AddOneItem(harness.window, kLocation, harness.ListView1);
        } else {
            harness.dialogs.answers = {out};
            if (source == u"pasted") {
                harness.clipboard.held = text;
                commands::Paste(harness.window, kLocation, harness.ListView1);
            } else {
                commands::DropText(harness.window, kLocation, harness.ListView1, text);
            }
        }
        commands::SaveList(harness.window, kLocation, harness.ListView1);
        QCOMPARE(readAll(out), saved);
    }

    // The view shows the start of a long item and "…"; loading, the item and saving keep it
    // whole.
    void aLongLineShowsShortenedAndStaysWhole_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("shown");
        constexpr qsizetype most = list_store::ListModel::kMostShownChars;
        const QString ellipsis(QChar(0x2026));
        const QString full(most, u'x');
        QTest::newRow("just short enough") << full << full;
        QTest::newRow("one over") << full + u'y' << full + ellipsis;
        QTest::newRow("a million characters")
            << QString(1'000'000, u'z') << QString(most, u'z') + ellipsis;
        const QString pairAcross = QString(most - 1, u'x') + u"\U0001F600tail"_s;
        QTest::newRow("pair across the cut") << pairAcross << pairAcross.left(most - 1) + ellipsis;
    }
    void aLongLineShowsShortenedAndStaysWhole() {
        QFETCH(QString, line);
        QFETCH(QString, shown);
        CommandHarness harness;
        harness.ListView1.addColumn(u"Items"_s);  // as the window gives each list
        const QString in = harness.folder.filePath(u"long.txt"_s);
        const QString out = harness.folder.filePath(u"saved.txt"_s);
        QVERIFY(writeFile(in, line.toUtf8() + "\r\nshort\r\n"));
        harness.dialogs.answers = {in, out};
        commands::LoadList(harness.window, kLocation, harness.ListView1);
        controls::ListView& view = harness.ListView1;
        QCOMPARE(view.items().count(), 2);
        QVERIFY(view.items().textView(1) == line);
        QCOMPARE(view.model()->data(view.model()->index(0, 0)).toString(), shown);
        QCOMPARE(view.model()->data(view.model()->index(1, 0)).toString(), u"short"_s);
        commands::SaveList(harness.window, kLocation, harness.ListView1);
        QCOMPARE(readAll(out), savedText(line.toUtf8() + "\r\nshort\r\n"));
    }

    // A close while a save writes lets the save finish, with a note that says so and no "Done.";
    // a failure is still reported, and Esc then cancels the save. Then the window closes.
    void closingDuringASaveFinishesItFirst_data() {
        QTest::addColumn<QString>("then");  // what happens after the close
        QTest::newRow("nothing") << QString();
        QTest::newRow("Esc") << u"Esc"_s;
        QTest::newRow("a full disk") << u"full"_s;
    }
    void closingDuringASaveFinishesItFirst() {
        QFETCH(QString, then);
#ifndef Q_OS_UNIX
        if (then == u"full") QSKIP("needs a per-process file size limit");
#endif
        FormHarness harness;
        Form1& form = harness.load();
        form.show();
        const QString path = harness.folder.path() + u"/keep.txt"_s;
        QVERIFY(writeFile(path, "old"));
        QStringList entries;
        for (int i = 0; i < 50000; ++i) entries.append(u"entry %1"_s.arg(i));
        fill(form.listView(2)->items(), entries);
        harness.dialogs.answers = {path};
        harness.messages.answers = {platform::Answer::Yes};
        harness.pump.at(2000, [&] { form.close(); });
        bool noteShown = false;
        harness.pump.at(2001, [&] {
            const auto* note = form.findChild<QLabel*>(u"closingNote"_s);
            noteShown = note && note->isVisible() && form.isVisible() &&
                        form.windowTitle() == u"Quorvane"_s &&
                        note->text() ==
                            u"Quorvane will close when the save is finished. Press Esc to cancel "
                            "the save."_s;
            if (then == u"Esc") form.cancelAction()->trigger();
        });
        {
#ifdef Q_OS_UNIX
            std::optional<FileSizeLimit> limit;
            if (then == u"full") limit.emplace(rlim_t(64) * 1024);
#endif
            form.button(8)->click();
        }
        QVERIFY(noteShown);
        QVERIFY(!harness.messages.texts().contains(u"Done."_s));
        QVERIFY(!form.isVisible());
        QVERIFY(harness.pump.closing());
        QCOMPARE(QDir(harness.folder.path()).entryList(QDir::Files), (QStringList{u"keep.txt"_s}));
        if (then.isEmpty()) {
            QVERIFY(harness.messages.errorReports().isEmpty());
            QCOMPARE(readAll(path), (entries.join(u"\r\n"_s) + u"\r\n"_s).toUtf8());
        } else {
            QCOMPARE(readAll(path), QByteArray("old"));
            const QString reported =
                then == u"full" ? u"could not be written: File too large"_s : u"0 reports"_s;
            QVERIFY2(errorText(harness.messages).contains(reported),
                     qPrintable(errorText(harness.messages)));
        }
    }
};

QTEST_MAIN(FileCommandsTest)
#include "tst_file_commands.moc"
