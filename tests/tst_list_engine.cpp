#include <QRandomGenerator>
#include <QtTest>

#include "engine_doubles.h"
#include "list_engine/list.h"
#include "list_engine/text_index.h"
#include "list_store/list_store.h"

using list_store::ListStore;

namespace {

const QString kSubtract = u"in Pellorin2021/08/31.List.SubtractSecondListFromFirstList "_s;
const QString kWith = u"in Pellorin2021/08/31.List.RemoveItemsWith "_s;
const QString kWithout = u"in Pellorin2021/08/31.List.RemoveItemsWithout "_s;

void filter(bool removeContaining, const List::Environment& env, list_store::ItemList& list,
            const QString& text) {
    if (removeContaining) {
        List::RemoveItemsWith(env, list, text);
    } else {
        List::RemoveItemsWithout(env, list, text);
    }
}

// The progress bar's values while `run` works on a fresh window, after one that was there before:
// a run does not reset the bar first.
constexpr double kShownBefore = 42;
template <typename Run>
QList<double> progressWhile(Run run) {
    EngineHarness window;
    window.progress.values = {kShownBefore};
    run(window);
    return window.progress.values;
}

// Both cases and a few non-ASCII letters, spanning both stored forms (Latin-1 and UTF-16), with
// a capital beyond Latin-1 (U+0178) whose small letter is in it (U+00FF), and NUL.
const QString kAlphabet = u"aAbB \u00e4\u00c4\u212ak\u00ff\u0178\u0000"_s;

}  // namespace

class TestListEngine : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void subtractRemovesItemsEqualToSomeItemOfSecondList_data();
    void subtractRemovesItemsEqualToSomeItemOfSecondList();
    void subtractAgreesWithPairwiseComparison_data();
    void subtractAgreesWithPairwiseComparison();
    void longListsAgreeWithASetOfTheSecondList_data();
    void longListsAgreeWithASetOfTheSecondList();
    void subtractStepsProgressThroughFirstListThenZero_data();
    void subtractStepsProgressThroughFirstListThenZero();
    void subtractProcessesNoEventsWhenSecondListIsEmpty();
    void subtractFollowsCheckBoxChangedDuringRun_data();
    void subtractFollowsCheckBoxChangedDuringRun();
    void subtractSeesSecondListChangedDuringRun_data();
    void subtractSeesSecondListChangedDuringRun();
    void subtractRemovesMarkedItemsInOneBulkCall();
    void subtractComparesIgnoringCaseWhenCheckBoxUnreadable();
    void subtractMarksItemWhoseTextCannotBeRead_data();
    void subtractMarksItemWhoseTextCannotBeRead();
    void subtractReportsFailedRemovalAndStillResetsProgress();
    void subtractStopsWithoutRemovingWhenSecondListCannotBeIndexed();
    void subtractRemovesNothingWhenFirstListLostItemsDuringRun();
    void subtractSurvivesFirstListEmptiedDuringRun();
    void subtractRemovesValidPositionsAndReportsVanishedOnes();
    void subtractComparesNothingWhenSecondListCountUnreadable();
    void subtractSkipsEverythingWhenFirstListCountUnreadable();
    void subtractReportsRefusedClosingProgress();
    void subtractLeavesListsAloneWhenWindowCloses();

    void filterRemovesItemsByContainedText_data();
    void filterRemovesItemsByContainedText();
    void filterStepsProgressByQuartersThenZero_data();
    void filterStepsProgressByQuartersThenZero();
    void filterProcessesEventsPerItemAndOnceBeforeRemoval_data();
    void filterProcessesEventsPerItemAndOnceBeforeRemoval();
    void filterMarksItemWhoseTextCannotBeRead_data();
    void filterMarksItemWhoseTextCannotBeRead();
    void filterSurvivesListEmptiedDuringRun();
    void filterReportsFailedRemovalAndStillResetsProgress();
    void filterReportsRefusedClosingProgress();
    void filterLeavesListAloneWhenWindowCloses();

    void distinctValuesKeepsLastOccurrenceInOrder_data();
    void distinctValuesKeepsLastOccurrenceInOrder();
    void aRemovalFromAVeryLongListGoesInPieces();
    void bothStoredFormsOfATextAreOneKey_data();
    void bothStoredFormsOfATextAreOneKey();
    void lowerCasedAgreesWithQStringToLower_data();
    void lowerCasedAgreesWithQStringToLower();
};

// ---------------------------------------------------------------- subtraction

void TestListEngine::subtractRemovesItemsEqualToSomeItemOfSecondList_data() {
    addTwoListColumns();

    const QStringList fruit{u"apple"_s, u"Apple"_s, u"grape"_s};
    QTest::newRow("ignoring case takes apple and Apple")
        << fruit << QStringList{u"apple"_s} << 0 << QStringList{u"grape"_s};
    QTest::newRow("matching case takes apple only")
        << fruit << QStringList{u"apple"_s} << 1 << QStringList{u"Apple"_s, u"grape"_s};
    QTest::newRow("grayed box matches case")
        << fruit << QStringList{u"apple"_s} << 2 << QStringList{u"Apple"_s, u"grape"_s};
    QTest::newRow("capitals in the second list, ignoring case")
        << fruit << QStringList{u"APPLE"_s} << 0 << QStringList{u"grape"_s};
    QTest::newRow("every copy goes, repeats in both lists")
        << QStringList{u"x"_s, u"y"_s, u"x"_s, u"z"_s, u"x"_s} << QStringList{u"x"_s, u"x"_s} << 1
        << QStringList{u"y"_s, u"z"_s};
    QTest::newRow("leading blank never matches, matching case")
        << QStringList{u" apple"_s, u"apple"_s} << QStringList{u"apple"_s} << 1
        << QStringList{u" apple"_s};
    QTest::newRow("leading blank never matches, ignoring case")
        << QStringList{u" apple"_s, u"Apple"_s} << QStringList{u"APPLE"_s} << 0
        << QStringList{u" apple"_s};
    QTest::newRow("trailing blank counts")
        << QStringList{u"apple "_s} << QStringList{u"apple"_s} << 0 << QStringList{u"apple "_s};
    QTest::newRow("empty item stays without an empty item in the second list")
        << QStringList{u""_s, u"a"_s, u""_s} << QStringList{u"a"_s, u" "_s} << 0
        << QStringList{u""_s, u""_s};
    QTest::newRow("empty item goes with an empty item in the second list")
        << QStringList{u""_s, u"a"_s, u""_s} << QStringList{u"b"_s, u""_s} << 1
        << QStringList{u"a"_s};
    QTest::newRow("everything removed")
        << QStringList{u"a"_s, u"b"_s, u"a"_s} << QStringList{u"c"_s, u"a"_s, u"b"_s} << 1
        << QStringList{};
    QTest::newRow("survivors keep their order")
        << QStringList{u"d"_s, u"a"_s, u"c"_s, u"b"_s, u"a"_s} << QStringList{u"a"_s} << 1
        << QStringList{u"d"_s, u"c"_s, u"b"_s};
    QTest::newRow("empty first list") << QStringList{} << QStringList{u"a"_s} << 0 << QStringList{};
    QTest::newRow("empty second list")
        << QStringList{u"a"_s, u"b"_s} << QStringList{} << 0 << QStringList{u"a"_s, u"b"_s};
    QTest::newRow("letters beyond ASCII, ignoring case")
        << QStringList{u"\u00c4pfel"_s, u"\u00e4PFEL"_s, u"Apfel"_s} << QStringList{u"\u00e4pfel"_s}
        << 0 << QStringList{u"Apfel"_s};
    QTest::newRow("letters beyond ASCII, matching case")
        << QStringList{u"\u00c4pfel"_s, u"\u00e4pfel"_s} << QStringList{u"\u00e4pfel"_s} << 1
        << QStringList{u"\u00c4pfel"_s};
    // The Kelvin sign lower-cases to an ASCII k: both sides must go through the same mapping.
    QTest::newRow("Kelvin sign meets ASCII K, ignoring case")
        << QStringList{u"K1"_s, u"k1"_s, u"x"_s} << QStringList{u"\u212a1"_s} << 0
        << QStringList{u"x"_s};
    QTest::newRow("ASCII K meets Kelvin sign, ignoring case")
        << QStringList{u"\u212a1"_s, u"x"_s} << QStringList{u"K1"_s} << 0 << QStringList{u"x"_s};
    // Stored as Latin-1 on one side and UTF-16 on the other, lowered to the same text.
    QTest::newRow("y diaeresis meets its capital beyond Latin-1, ignoring case")
        << QStringList{u"\u00ff!"_s, u"\u0178!"_s, u"y!"_s} << QStringList{u"\u0178!"_s} << 0
        << QStringList{u"y!"_s};
    QTest::newRow("y diaeresis and its capital differ, matching case")
        << QStringList{u"\u00ff!"_s, u"\u0178!"_s} << QStringList{u"\u0178!"_s} << 1
        << QStringList{u"\u00ff!"_s};
    QTest::newRow("NUL, empty and odd lengths, matching case")
        << QStringList{u"a\u0000"_s, u"a"_s, u""_s, u"\u0000"_s, u"abc"_s}
        << QStringList{u"a\u0000"_s, u""_s, u"ab"_s} << 1
        << QStringList{u"a"_s, u"\u0000"_s, u"abc"_s};
    QTest::newRow("an escaped byte is not the Latin-1 character, matching case")
        << QStringList{QString(QChar(0xDC80)), u"\u0080"_s, QString(QChar(0xDCFF))}
        << QStringList{u"\u0080"_s} << 1
        << QStringList{QString(QChar(0xDC80)), QString(QChar(0xDCFF))};
    QTest::newRow("surrogate pairs and lone surrogates, ignoring case")
        << QStringList{u"\U0001F600"_s, QString(QChar(0xD83D)), u"\U00010400"_s}
        << QStringList{u"\U0001F600"_s, u"\U00010428"_s} << 0
        << QStringList{QString(QChar(0xD83D))};
}

void TestListEngine::subtractRemovesItemsEqualToSomeItemOfSecondList() {
    checkTwoListRow(List::SubtractSecondListFromFirstList);
}

void TestListEngine::subtractAgreesWithPairwiseComparison_data() {
    QTest::addColumn<int>("check1");
    QTest::addColumn<int>("secondCount");
    QTest::addColumn<bool>("secondInUtf16");
    QTest::newRow("ignoring case, small second list") << 0 << 40 << false;
    QTest::newRow("matching case, small second list") << 1 << 40 << false;
    // Large enough that the index grows and processes events while it is built.
    QTest::newRow("ignoring case, large second list") << 0 << 3000 << false;
    QTest::newRow("matching case, large second list") << 1 << 3000 << false;
    // A second list that gives every text in UTF-16, where the first keeps Latin-1.
    QTest::newRow("ignoring case, second list in UTF-16") << 0 << 40 << true;
    QTest::newRow("matching case, second list in UTF-16") << 1 << 3000 << true;
}

void TestListEngine::subtractAgreesWithPairwiseComparison() {
    QFETCH(int, check1);
    QFETCH(int, secondCount);
    QFETCH(bool, secondInUtf16);
    QRandomGenerator random(20210831u + quint32(secondCount) + quint32(check1));
    const QStringList first = randomTexts(random, 500, kAlphabet);
    const QStringList second = randomTexts(random, secondCount, kAlphabet);
    QStringList expected;
    for (const QString& text : first) {
        const bool found = std::any_of(second.begin(), second.end(), [&](const QString& other) {
            return check1 == 0 ? text.toLower() == other.toLower() : text == other;
        });
        if (!found) expected.append(text);
    }
    EngineHarness window;
    window.check1 = check1;
    ListStore firstList;
    ListStore secondModel;
    FaultyList secondInUtf16Forms;
    list_store::ItemList& secondList =
        secondInUtf16 ? static_cast<list_store::ItemList&>(secondInUtf16Forms) : secondModel;
    window.subtractFilled(firstList, first, secondList, second);

    QVERIFY(expected.size() < first.size());  // the data holds matches at all
    QCOMPARE(textsOf(firstList), expected);
    QCOMPARE(textsOf(secondList), second);
}

void TestListEngine::longListsAgreeWithASetOfTheSecondList_data() {
    QTest::addColumn<int>("check1");
    QTest::addColumn<bool>("keepShared");
    QTest::addColumn<List::MatchRules>("rules");
    const List::MatchRules none;
    QTest::newRow("subtract ignoring case") << 0 << false << none;
    QTest::newRow("subtract matching case") << 1 << false << none;
    QTest::newRow("keep shared ignoring case") << 0 << true << none;
    QTest::newRow("keep shared matching case") << 1 << true << none;
    QTest::newRow("subtract with every rule but case, ignoring case")
        << 0 << false << matchRulesOf(u"tsiua");
    QTest::newRow("keep shared, edge spaces and Unicode form") << 1 << true << matchRulesOf(u"tu");
    List::MatchRules pattern = matchRulesOf(u"a");
    pattern.compareBy = List::CompareBy::Pattern;
    pattern.pattern = u"\\.(\\w+)|^b"_s;  // some entries have no key, some an empty one
    QTest::newRow("subtract by pattern") << 1 << false << pattern;
    QTest::newRow("keep shared by pattern") << 0 << true << pattern;
}

// Long enough that a second thread helps build the index and looks items up from the far end,
// and with a pump that lets answered items go in runs.
void TestListEngine::longListsAgreeWithASetOfTheSecondList() {
    QFETCH(int, check1);
    QFETCH(bool, keepShared);
    QFETCH(List::MatchRules, rules);
    QRandomGenerator random(20261208u + quint32(check1));
    // With rules, blanks, marks and invisible characters give them work to do.
    const QString alphabet =
        rules.beyondCase() ? u"aAbcdefg\u00e9 \u00a0\t\u0301\ufeff"_s : kAlphabet;
    const auto longTexts = [&](int count) {
        QStringList texts = randomTexts(random, count, alphabet);
        for (QString& text : texts) text += randomTexts(random, 2, alphabet).join(u'.');
        return texts;
    };
    const QStringList first = longTexts(260'000);
    const QStringList second = longTexts(230'000);
    List::MatchRules keyRules = rules;
    keyRules.ignoreCase = check1 == 0;
    const List::KeyMaker maker(keyRules);
    QSet<QString> keys;
    QString key;
    for (const QString& text : second) {
        if (maker.keyOf(text, key)) keys.insert(key);
    }
    QStringList expected;
    for (const QString& text : first) {
        if ((maker.keyOf(text, key) && keys.contains(key)) == keepShared) expected.append(text);
    }
    QVERIFY(expected.size() > first.size() / 10 && expected.size() < first.size() * 9 / 10);

    EngineHarness window;
    window.check1 = check1;
    window.rules = rules;
    window.pump.byClock = true;
    ListStore firstList;
    ListStore secondList;
    fill(firstList, first);
    fill(secondList, second);
    if (keepShared) {
        List::KeepOnlyItemsAlsoInSecondList(window.env, firstList, secondList);
    } else {
        List::SubtractSecondListFromFirstList(window.env, firstList, secondList);
    }

    QCOMPARE(window.report.lines(), QList<int>());
    QCOMPARE(textsOf(firstList), expected);
    QCOMPARE(secondList.count(), second.size());
}

void TestListEngine::subtractStepsProgressThroughFirstListThenZero_data() {
    QTest::addColumn<QStringList>("first");
    QTest::addColumn<QStringList>("second");
    QTest::addColumn<QList<double>>("expected");
    const QStringList four{u"a"_s, u"b"_s, u"c"_s, u"d"_s};
    QTest::newRow("four items, empty second list")
        << four << QStringList{} << QList<double>{25, 50, 75, 100, 0};
    QTest::newRow("four items, two removed")
        << four << QStringList{u"b"_s, u"d"_s} << QList<double>{25, 50, 75, 100, 0};
    QTest::newRow("one item matched")
        << QStringList{u"a"_s} << QStringList{u"a"_s} << QList<double>{100, 0};
    QTest::newRow("empty first list") << QStringList{} << QStringList{u"a"_s} << QList<double>{0};
}

void TestListEngine::subtractStepsProgressThroughFirstListThenZero() {
    QFETCH(QStringList, first);
    QFETCH(QStringList, second);
    QFETCH(QList<double>, expected);
    ListStore firstList;
    ListStore secondList;
    const QList<double> shown = progressWhile([&](EngineHarness& window) {
        window.subtractFilled(firstList, first, secondList, second);
    });

    QCOMPARE(shown, QList<double>{kShownBefore} + expected);
}

void TestListEngine::subtractProcessesNoEventsWhenSecondListIsEmpty() {
    EngineHarness window;
    window.check1Unreadable = true;  // not even read when there is nothing to compare with
    ListStore first;
    ListStore second;
    fill(first, {u"a"_s, u"b"_s, u"c"_s});

    List::SubtractSecondListFromFirstList(window.env, first, second);

    QCOMPARE(window.pump.calls, 0);
    QVERIFY(window.report.shown.isEmpty());
    QCOMPARE(first.count(), 3);
}

void TestListEngine::subtractFollowsCheckBoxChangedDuringRun_data() {
    QTest::addColumn<int>("initial");
    QTest::addColumn<int>("changedTo");
    QTest::addColumn<int>("atPump");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("to ignoring case before the second item")
        << 1 << 0 << 2 << QStringList{u"grape"_s};
    QTest::newRow("to ignoring case before the third item")
        << 1 << 0 << 3 << QStringList{u"Apple"_s, u"grape"_s};
    QTest::newRow("to matching case before the second item")
        << 0 << 1 << 2 << QStringList{u"Apple"_s, u"APPLE"_s, u"grape"_s};
    QTest::newRow("to grayed before the third item")
        << 0 << 2 << 3 << QStringList{u"APPLE"_s, u"grape"_s};
}

void TestListEngine::subtractFollowsCheckBoxChangedDuringRun() {
    QFETCH(int, initial);
    QFETCH(int, changedTo);
    QFETCH(int, atPump);
    QFETCH(QStringList, expected);
    EngineHarness window;
    window.check1 = initial;
    window.pump.at(atPump, [&] { window.check1 = changedTo; });
    ListStore first;
    ListStore second;
    fill(first, {u"apple"_s, u"Apple"_s, u"APPLE"_s, u"grape"_s});
    fill(second, {u"apple"_s});

    List::SubtractSecondListFromFirstList(window.env, first, second);

    QCOMPARE(textsOf(first), expected);
}

void TestListEngine::subtractSeesSecondListChangedDuringRun_data() {
    QTest::addColumn<int>("secondCount");
    QTest::addColumn<int>("atPump");
    QTest::addColumn<bool>("removeNeedle");
    QTest::addColumn<int>("appended");
    QTest::addColumn<QStringList>("expected");
    const QStringList all{u"needle"_s, u"late"_s, u"other"_s};
    // With a short second list the pumps are the per-item ones; with a long one the third pump
    // falls inside the building of the index.
    QTest::newRow("short list, item appended")
        << 3 << 2 << false << 1 << QStringList{u"needle"_s, u"other"_s};
    QTest::newRow("short list, needle removed") << 3 << 1 << true << 0 << all;
    QTest::newRow("long list, item appended while indexing")
        << 1000 << 3 << false << 1 << QStringList{u"needle"_s, u"other"_s};
    QTest::newRow("long list, many appended while indexing")
        << 1000 << 3 << false << 5000 << QStringList{u"needle"_s, u"other"_s};
    QTest::newRow("long list, needle removed while indexing") << 1000 << 3 << true << 0 << all;
}

void TestListEngine::subtractSeesSecondListChangedDuringRun() {
    QFETCH(int, secondCount);
    QFETCH(int, atPump);
    QFETCH(bool, removeNeedle);
    QFETCH(int, appended);
    QFETCH(QStringList, expected);
    EngineHarness window;
    ListStore first;
    ListStore second;
    fill(first, {u"needle"_s, u"late"_s, u"other"_s});
    for (int k = 1; k <= secondCount; ++k) second.append(k == 2 ? u"needle"_s : u"s%1"_s.arg(k));
    window.pump.at(atPump, [&] {
        if (removeNeedle) second.removeAt(2);
        for (int k = 1; k <= appended; ++k)
            second.append(k == appended ? u"late"_s : u"t%1"_s.arg(k));
    });
    if (!removeNeedle) expected.removeOne(u"needle"_s);  // needle was there from the start

    List::SubtractSecondListFromFirstList(window.env, first, second);

    QCOMPARE(textsOf(first), expected);
    QVERIFY(window.report.shown.isEmpty());
}

void TestListEngine::subtractRemovesMarkedItemsInOneBulkCall() {
    EngineHarness window;
    FaultyList first({u"a"_s, u"b"_s, u"a"_s, u"c"_s, u"b"_s});
    ListStore second;
    fill(second, {u"a"_s, u"b"_s});

    List::SubtractSecondListFromFirstList(window.env, first, second);

    QCOMPARE(first.items, QStringList{u"c"_s});
    QCOMPARE(first.bulkRemovals, 1);
    QCOMPARE(first.singleRemovals, 0);
}

void TestListEngine::subtractComparesIgnoringCaseWhenCheckBoxUnreadable() {
    EngineHarness window;
    window.check1Unreadable = true;
    ListStore first;
    ListStore second;
    fill(first, {u"apple"_s, u"Apple"_s, u"grape"_s});
    fill(second, {u"apple"_s});

    List::SubtractSecondListFromFirstList(window.env, first, second);

    QCOMPARE(textsOf(first), QStringList{u"grape"_s});
    QCOMPARE(window.report.lines(), (QList<int>{110, 110, 110}));
    QCOMPARE(window.report.shown.first().description, u"Control unavailable"_s);
    QCOMPARE(window.report.shown.first().location, kSubtract);
}

void TestListEngine::subtractMarksItemWhoseTextCannotBeRead_data() {
    QTest::addColumn<int>("check1");
    QTest::addColumn<int>("line");
    QTest::newRow("ignoring case") << 0 << 112;
    QTest::newRow("matching case") << 1 << 118;
}

void TestListEngine::subtractMarksItemWhoseTextCannotBeRead() {
    QFETCH(int, check1);
    QFETCH(int, line);
    EngineHarness window;
    window.check1 = check1;
    FaultyList first({u"a"_s, u"b"_s, u"c"_s});
    first.unreadable = {2};
    ListStore second;
    fill(second, {u"c"_s});

    List::SubtractSecondListFromFirstList(window.env, first, second);

    QCOMPARE(first.items, QStringList{u"a"_s});
    // The items ahead are read while the look-ups are prepared (line 106); that read fails
    // once, then item 2 fails again when it is compared, and is marked.
    QCOMPARE(window.report.lines(), (QList<int>{106, line}));
    QCOMPARE(window.report.shown.at(0).description, u"Item unreadable"_s);
    QCOMPARE(window.report.shown.at(1).description, u"Item unreadable"_s);
    QCOMPARE(window.report.shown.at(1).location, kSubtract);
}

void TestListEngine::subtractReportsFailedRemovalAndStillResetsProgress() {
    EngineHarness window;
    FaultyList first({u"a"_s, u"b"_s});
    first.refuseRemoval = true;
    ListStore second;
    fill(second, {u"b"_s});

    List::SubtractSecondListFromFirstList(window.env, first, second);

    QCOMPARE(first.items, (QStringList{u"a"_s, u"b"_s}));
    QCOMPARE(window.report.lines(), QList<int>{132});
    QCOMPARE(window.report.shown.first().description, u"Removal refused"_s);
    QCOMPARE(window.progress.values, (QList<double>{50, 100, 0}));
}

// Every look-up would fail without an index, and a failed look-up marks its item: the run must
// stop rather than empty the first list.
void TestListEngine::subtractStopsWithoutRemovingWhenSecondListCannotBeIndexed() {
    EngineHarness window;
    ListStore first;
    fill(first, {u"a"_s, u"b"_s, u"c"_s});
    FaultyList second({u"x"_s, u"y"_s});
    second.unreadable = {2};

    List::SubtractSecondListFromFirstList(window.env, first, second);

    QCOMPARE(textsOf(first), (QStringList{u"a"_s, u"b"_s, u"c"_s}));
    QCOMPARE(window.report.lines(), QList<int>{118});
    QCOMPARE(window.report.shown.first().description, u"Item unreadable"_s);
    QCOMPARE(window.progress.values.last(), 0.0);
}

void TestListEngine::subtractRemovesNothingWhenFirstListLostItemsDuringRun() {
    EngineHarness window;
    ListStore first;
    ListStore second;
    fill(first, {u"a"_s, u"b"_s, u"c"_s, u"d"_s});
    fill(second, {u"b"_s, u"d"_s});
    // Another handler removes the last item while the first one is being compared.
    window.pump.at(1, [&] { first.removeAt(4); });

    List::SubtractSecondListFromFirstList(window.env, first, second);

    // Position 4 no longer exists when it is compared; the marks no longer fit the list, so
    // nothing is removed rather than the wrong items.
    QCOMPARE(textsOf(first), (QStringList{u"a"_s, u"b"_s, u"c"_s}));
    QCOMPARE(window.report.lines(), (QList<int>{118, 132}));
    QVERIFY(window.report.shown.first().description.contains(u"Index out of bounds"_s));
    QCOMPARE(window.progress.values.last(), 0.0);
}

void TestListEngine::subtractSurvivesFirstListEmptiedDuringRun() {
    EngineHarness window;
    ListStore first;
    ListStore second;
    fill(first, {u"a"_s, u"b"_s, u"c"_s});
    fill(second, {u"a"_s});
    window.pump.at(1, [&] { first.clear(); });

    List::SubtractSecondListFromFirstList(window.env, first, second);

    QCOMPARE(first.count(), 0);
    QCOMPARE(window.report.lines(), (QList<int>{118, 104, 118, 104, 118, 132}));
    QCOMPARE(window.report.shown.at(1).description, u"Division by zero"_s);
    QCOMPARE(window.report.shown.at(1).location, kSubtract);
    QCOMPARE(window.progress.values.size(), 2);  // 33.3 for the first item, then the closing 0
    QCOMPARE(window.progress.values.last(), 0.0);
}

void TestListEngine::subtractRemovesValidPositionsAndReportsVanishedOnes() {
    EngineHarness window;
    FaultyList first({u"a"_s, u"b"_s, u"c"_s});
    ListStore second;
    fill(second, {u"a"_s, u"c"_s});
    // The count shrinks without a removal the list admits to.
    window.pump.at(3, [&] { first.hiddenItems = 1; });

    List::SubtractSecondListFromFirstList(window.env, first, second);

    QCOMPARE(first.items, (QStringList{u"b"_s, u"c"_s}));
    QCOMPARE(window.report.lines(), QList<int>{132});
    QVERIFY(window.report.shown.first().description.contains(u"no longer exist"_s));
    QCOMPARE(window.progress.values, (QList<double>{1.0 / 3 * 100, 2.0 / 3 * 100, 100, 0}));
}

void TestListEngine::subtractComparesNothingWhenSecondListCountUnreadable() {
    EngineHarness window;
    ListStore first;
    FaultyList second({u"a"_s});
    second.failCount = true;
    fill(first, {u"a"_s, u"b"_s});

    List::SubtractSecondListFromFirstList(window.env, first, second);

    QCOMPARE(textsOf(first), (QStringList{u"a"_s, u"b"_s}));
    QCOMPARE(window.report.lines(), (QList<int>{106, 106}));
    QCOMPARE(window.pump.calls, 0);
}

void TestListEngine::subtractSkipsEverythingWhenFirstListCountUnreadable() {
    EngineHarness window;
    FaultyList first({u"a"_s});
    first.failCount = true;
    ListStore second;
    fill(second, {u"a"_s});

    List::SubtractSecondListFromFirstList(window.env, first, second);

    QCOMPARE(first.items, QStringList{u"a"_s});
    QCOMPARE(window.report.lines(), QList<int>{102});
    QCOMPARE(window.progress.values, QList<double>{0});
}

void TestListEngine::subtractReportsRefusedClosingProgress() {
    EngineHarness window;
    window.progress.refuseZero = true;
    ListStore first;
    ListStore second;
    fill(first, {u"a"_s, u"b"_s});
    fill(second, {u"a"_s});

    List::SubtractSecondListFromFirstList(window.env, first, second);

    QCOMPARE(textsOf(first), QStringList{u"b"_s});
    QCOMPARE(window.report.lines(), QList<int>{136});
    QCOMPARE(window.report.shown.first().description, u"Invalid property value"_s);
}

void TestListEngine::subtractLeavesListsAloneWhenWindowCloses() {
    EngineHarness window;
    ListStore first;
    ListStore second;
    fill(first, {u"a"_s, u"b"_s, u"c"_s});
    fill(second, {u"a"_s, u"b"_s, u"c"_s});
    window.pump.at(2, [&] { window.pump.isClosing = true; });

    List::SubtractSecondListFromFirstList(window.env, first, second);

    QCOMPARE(textsOf(first), (QStringList{u"a"_s, u"b"_s, u"c"_s}));
    QCOMPARE(window.pump.calls, 2);
    QCOMPARE(window.progress.values, (QList<double>{1.0 / 3 * 100, 2.0 / 3 * 100}));
    QVERIFY(window.report.shown.isEmpty());
}

// ---------------------------------------------------------------- filters

void TestListEngine::filterRemovesItemsByContainedText_data() {
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("removeContaining");
    QTest::addColumn<QStringList>("expected");

    const QStringList files{u"a.txt"_s, u"B.TXT"_s, u"c.doc"_s, u""_s};
    QTest::newRow("with: exact case, empty item kept")
        << files << u".txt"_s << true << QStringList{u"B.TXT"_s, u"c.doc"_s, u""_s};
    QTest::newRow("without: empty item removed")
        << files << u".txt"_s << false << QStringList{u"a.txt"_s};
    QTest::newRow("with: search text longer than the items")
        << QStringList{u"ab"_s, u"b"_s} << u"abc"_s << true << QStringList{u"ab"_s, u"b"_s};
    QTest::newRow("without: search text longer than the items")
        << QStringList{u"ab"_s, u"abc"_s} << u"abcd"_s << false << QStringList{};
    QTest::newRow("with: every duplicate goes")
        << QStringList{u"x1"_s, u"y"_s, u"x1"_s, u"x1"_s} << u"x"_s << true << QStringList{u"y"_s};
    QTest::newRow("with: one blank") << QStringList{u"a b"_s, u"ab"_s, u" "_s, u"c "_s} << u" "_s
                                     << true << QStringList{u"ab"_s};
    QTest::newRow("without: one blank") << QStringList{u"a b"_s, u"ab"_s, u" "_s, u"c "_s} << u" "_s
                                        << false << QStringList{u"a b"_s, u" "_s, u"c "_s};
    QTest::newRow("with: match at the very end and start")
        << QStringList{u"xxab"_s, u"abxx"_s, u"axb"_s, u"aab"_s} << u"ab"_s << true
        << QStringList{u"axb"_s};
    QTest::newRow("with: nothing marked keeps order")
        << QStringList{u"c"_s, u"a"_s, u"b"_s} << u"z"_s << true
        << QStringList{u"c"_s, u"a"_s, u"b"_s};
    QTest::newRow("with: everything marked")
        << QStringList{u"za"_s, u"zb"_s} << u"z"_s << true << QStringList{};
    QTest::newRow("without: letters beyond ASCII compared exactly")
        << QStringList{u"\u00c4rger"_s, u"\u00e4rger"_s} << u"\u00e4"_s << false
        << QStringList{u"\u00e4rger"_s};
    // The list keeps "caf\u00e9" and "\u00ff" as Latin-1 and the others as UTF-16; a text
    // is found in either form, and a unit beyond Latin-1 is never found in a Latin-1 item.
    const QStringList mixed{u"caf\u00e9"_s, u"\u20ac caf\u00e9"_s,  u"\u00ff"_s, u"\U0001F600x"_s,
                            u"a\u0000b"_s,  QString(QChar(0xDC80)), u"\u0080"_s};
    QTest::newRow("with: Latin-1 text in items of both forms")
        << mixed << u"\u00e9"_s << true
        << QStringList{u"\u00ff"_s, u"\U0001F600x"_s, u"a\u0000b"_s, QString(QChar(0xDC80)),
                       u"\u0080"_s};
    QTest::newRow("with: text beyond Latin-1")
        << mixed << u"\u20ac"_s << true
        << QStringList{u"caf\u00e9"_s,         u"\u00ff"_s, u"\U0001F600x"_s, u"a\u0000b"_s,
                       QString(QChar(0xDC80)), u"\u0080"_s};
    QTest::newRow("without: half of a surrogate pair")
        << mixed << QString(QChar(0xD83D)) << false << QStringList{u"\U0001F600x"_s};
    QTest::newRow("with: NUL") << mixed << u"\u0000"_s << true
                               << QStringList{
                                      u"caf\u00e9"_s,   u"\u20ac caf\u00e9"_s,  u"\u00ff"_s,
                                      u"\U0001F600x"_s, QString(QChar(0xDC80)), u"\u0080"_s};
    // An escaped byte (U+DC80) is not the character U+0080.
    QTest::newRow("without: U+0080 is not an escaped byte")
        << mixed << u"\u0080"_s << false << QStringList{u"\u0080"_s};
    QTest::newRow("with: empty list") << QStringList{} << u"a"_s << true << QStringList{};
    // Every text contains the empty text.
    QTest::newRow("with: empty search text")
        << QStringList{u"a"_s, u""_s} << QString() << true << QStringList{};
    QTest::newRow("without: empty search text")
        << QStringList{u"a"_s, u""_s} << QString() << false << QStringList{u"a"_s, u""_s};
}

void TestListEngine::filterRemovesItemsByContainedText() {
    QFETCH(QStringList, items);
    QFETCH(QString, text);
    QFETCH(bool, removeContaining);
    QFETCH(QStringList, expected);
    EngineHarness window;
    window.check1 = 0;  // plays no part in filters
    ListStore list;
    fill(list, items);

    filter(removeContaining, window.env, list, text);

    QCOMPARE(textsOf(list), expected);
    QVERIFY(window.report.shown.isEmpty());
    QCOMPARE(window.progress.values.last(), 0.0);
}

void TestListEngine::filterStepsProgressByQuartersThenZero_data() {
    QTest::addColumn<bool>("removeContaining");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<QList<double>>("expected");
    const QStringList four{u"a.txt"_s, u"B.TXT"_s, u"c.doc"_s, u""_s};
    const QList<double> quarters{25, 50, 75, 100, 0};
    QTest::newRow("with, some removed") << true << u".txt"_s << four << quarters;
    QTest::newRow("without, some removed") << false << u".txt"_s << four << quarters;
    QTest::newRow("with, none removed") << true << u"zz"_s << four << quarters;
    QTest::newRow("without, all removed") << false << u"zz"_s << four << quarters;
    QTest::newRow("empty list") << true << u"a"_s << QStringList{} << QList<double>{0};
}

void TestListEngine::filterStepsProgressByQuartersThenZero() {
    QFETCH(bool, removeContaining);
    QFETCH(QString, text);
    QFETCH(QStringList, items);
    QFETCH(QList<double>, expected);
    ListStore list;
    fill(list, items);

    const QList<double> shown = progressWhile(
        [&](EngineHarness& window) { filter(removeContaining, window.env, list, text); });

    QCOMPARE(shown, QList<double>{kShownBefore} + expected);
}

void TestListEngine::filterProcessesEventsPerItemAndOnceBeforeRemoval_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("pumps");
    QTest::addColumn<int>("bulkRemovals");
    QTest::newRow("items removed") << u"a"_s << 5 << 1;
    QTest::newRow("nothing removed") << u"z"_s << 4 << 0;
}

void TestListEngine::filterProcessesEventsPerItemAndOnceBeforeRemoval() {
    QFETCH(QString, text);
    QFETCH(int, pumps);
    QFETCH(int, bulkRemovals);
    EngineHarness window;
    FaultyList list({u"a"_s, u"b"_s, u"ab"_s, u"ba"_s});
    int countAtLastPump = -1;
    window.pump.at(5, [&] { countAtLastPump = list.count(); });

    List::RemoveItemsWith(window.env, list, text);

    QCOMPARE(window.pump.calls, pumps);
    QCOMPARE(list.bulkRemovals, bulkRemovals);
    QCOMPARE(list.singleRemovals, 0);
    if (pumps == 5) QCOMPARE(countAtLastPump, 4);  // the last pump comes before the removal
}

void TestListEngine::filterMarksItemWhoseTextCannotBeRead_data() {
    QTest::addColumn<bool>("removeContaining");
    QTest::addColumn<QString>("location");
    QTest::newRow("with") << true << kWith;
    QTest::newRow("without") << false << kWithout;
}

void TestListEngine::filterMarksItemWhoseTextCannotBeRead() {
    QFETCH(bool, removeContaining);
    QFETCH(QString, location);
    EngineHarness window;
    FaultyList list({u"keep"_s, u"x"_s, u"keep"_s});
    list.unreadable = {2};

    // The search text is chosen so that no readable item is marked.
    filter(removeContaining, window.env, list, removeContaining ? u"zz"_s : u"keep"_s);

    QCOMPARE(list.items, (QStringList{u"keep"_s, u"keep"_s}));
    QCOMPARE(window.report.lines(), QList<int>{108});
    QCOMPARE(window.report.shown.first().location, location);
    QCOMPARE(window.report.shown.first().description, u"Item unreadable"_s);
}

void TestListEngine::filterSurvivesListEmptiedDuringRun() {
    EngineHarness window;
    ListStore list;
    fill(list, {u"a"_s, u"b"_s, u"c"_s});
    window.pump.at(2, [&] { list.clear(); });

    List::RemoveItemsWithout(window.env, list, u"b"_s);

    QCOMPARE(list.count(), 0);
    QCOMPARE(window.report.lines(), (QList<int>{106, 108, 106, 108, 120}));
    QCOMPARE(window.report.shown.first().description, u"Division by zero"_s);
    QCOMPARE(window.report.shown.first().location, kWithout);
    QCOMPARE(window.progress.values, (QList<double>{1.0 / 3 * 100, 0}));
}

void TestListEngine::filterReportsFailedRemovalAndStillResetsProgress() {
    EngineHarness window;
    FaultyList list({u"a"_s, u"b"_s});
    list.refuseRemoval = true;

    List::RemoveItemsWith(window.env, list, u"a"_s);

    QCOMPARE(list.items, (QStringList{u"a"_s, u"b"_s}));
    QCOMPARE(window.report.lines(), QList<int>{120});
    QCOMPARE(window.report.shown.first().location, kWith);
    QCOMPARE(window.progress.values, (QList<double>{50, 100, 0}));
}

void TestListEngine::filterReportsRefusedClosingProgress() {
    EngineHarness window;
    window.progress.refuseZero = true;
    ListStore list;
    fill(list, {u"a"_s, u"b"_s});

    List::RemoveItemsWithout(window.env, list, u"a"_s);

    QCOMPARE(textsOf(list), QStringList{u"a"_s});
    QCOMPARE(window.report.lines(), QList<int>{124});
}

void TestListEngine::filterLeavesListAloneWhenWindowCloses() {
    EngineHarness window;
    ListStore list;
    fill(list, {u"a"_s, u"b"_s, u"c"_s});
    window.pump.at(3, [&] { window.pump.isClosing = true; });

    List::RemoveItemsWith(window.env, list, u"a"_s);

    QCOMPARE(textsOf(list), (QStringList{u"a"_s, u"b"_s, u"c"_s}));
    QCOMPARE(window.pump.calls, 3);
    QCOMPARE(window.progress.values, (QList<double>{1.0 / 3 * 100, 2.0 / 3 * 100}));
}

// ---------------------------------------------------------------- helpers

void TestListEngine::distinctValuesKeepsLastOccurrenceInOrder_data() {
    QTest::addColumn<std::vector<int>>("values");
    QTest::addColumn<std::vector<int>>("expected");
    QTest::newRow("unsorted with repeats")
        << std::vector<int>{3, 1, 3, 2, 1} << std::vector<int>{3, 2, 1};
    QTest::newRow("repeat far apart")
        << std::vector<int>{5, 9, 7, 9, 5, 8} << std::vector<int>{7, 9, 5, 8};
    QTest::newRow("rising with repeats")
        << std::vector<int>{1, 1, 2, 5, 5, 5} << std::vector<int>{1, 2, 5};
    QTest::newRow("all equal") << std::vector<int>{7, 7, 7} << std::vector<int>{7};
    QTest::newRow("falling") << std::vector<int>{5, 4, 3} << std::vector<int>{5, 4, 3};
    QTest::newRow("strictly rising") << std::vector<int>{1, 4, 6} << std::vector<int>{1, 4, 6};
    QTest::newRow("one value") << std::vector<int>{4} << std::vector<int>{4};
    QTest::newRow("empty") << std::vector<int>{} << std::vector<int>{};
}

void TestListEngine::distinctValuesKeepsLastOccurrenceInOrder() {
    QFETCH(std::vector<int>, values);
    QFETCH(std::vector<int>, expected);

    const std::vector<int> result = List::DistinctValues(values);
    std::vector<int> handedOver = values;
    const std::vector<int> fromHandedOver = List::DistinctValues(std::move(handedOver));

    QCOMPARE(result, expected);
    QCOMPARE(fromHandedOver, expected);
}

// A list of millions gives up its items in steps, with events handled between them. Whatever
// reads the list meanwhile finds the items of the steps done removed and all others in their
// places; at the end the result is that of one removal.
void TestListEngine::aRemovalFromAVeryLongListGoesInPieces() {
    constexpr int kItems = 2'000'017;  // 2,000,007 and 2,000,017 hold a 7
    ListStore list;
    list_store::TextBlock block;
    for (int k = 1; k <= kItems; ++k) block.add(QString::number(k));
    list.appendBlock(block);
    // The list read in full is the items up to some point without those holding a 7, then
    // every item from there on.
    const auto isPartlyRemoved = [&list] {
        int position = 1;
        bool pastTheSteps = false;
        for (int k = 1; k <= kItems; ++k) {
            const QString text = QString::number(k);
            if (position <= list.count() && list.textView(position) == list_store::ItemText(text)) {
                pastTheSteps = pastTheSteps || text.contains(u'7');
                ++position;
            } else if (pastTheSteps || !text.contains(u'7')) {
                return false;
            }
        }
        return position == list.count() + 1;
    };
    EngineHarness window;
    int readsMidway = 0;
    window.pump.everyPump = [&](int) {
        if (list.count() == kItems) return;  // not removing yet
        QVERIFY(isPartlyRemoved());
        ++readsMidway;
    };
    List::RemoveItemsWith(window.env, list, u"7"_s);

    QVERIFY(window.report.shown.isEmpty());
    QVERIFY(readsMidway >= 2);
    QVERIFY(isPartlyRemoved());
    int kept = 0;
    for (int k = 1; k <= kItems; ++k) kept += QString::number(k).contains(u'7') ? 0 : 1;
    QCOMPARE(list.count(), kept);
}

void TestListEngine::bothStoredFormsOfATextAreOneKey_data() {
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << QString();
    QTest::newRow("ASCII") << u"Hello, World"_s;
    QTest::newRow("long ASCII") << QString(300, u'Q');
    QTest::newRow("Latin-1") << u"\u00c4pfel \u00ff\u0000"_s;
}

// A text read in Latin-1 from the store and the same text in UTF-16 from elsewhere are equal,
// hash alike and lower-case alike; a different text is not equal.
void TestListEngine::bothStoredFormsOfATextAreOneKey() {
    QFETCH(QString, text);
    const QByteArray latin1 = text.toLatin1();
    const list_store::ItemText narrow(latin1.constData(), latin1.size());
    const list_store::ItemText wide(text);
    QVERIFY(!narrow.isWide() && wide.isWide());
    QVERIFY(narrow == wide);
    QCOMPARE(List::hashText(narrow), List::hashText(wide));
    QString first;
    QString second;
    const list_store::ItemText lowNarrow = List::lowerCased(narrow, first);
    const list_store::ItemText lowWide = List::lowerCased(wide, second);
    QVERIFY(lowNarrow == lowWide);
    QCOMPARE(lowNarrow.toString(), text.toLower());
    QCOMPARE(List::hashText(lowNarrow), List::hashText(lowWide));
    const QString other = text + u'\u0100';
    QVERIFY(!(narrow == list_store::ItemText(other)));
}

void TestListEngine::lowerCasedAgreesWithQStringToLower_data() {
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << QString();
    QTest::newRow("lower ASCII") << u"abc 123"_s;
    QTest::newRow("capitals") << u"ABC xYz @[`{"_s;  // the neighbours of A-Z and a-z stay
    QTest::newRow("non-ASCII after capitals") << u"ABC\u00c4\u00d6"_s;
    QTest::newRow("non-ASCII first") << u"\u00c4BC"_s;
    QTest::newRow("Kelvin sign") << u"\u212a"_s;
    QTest::newRow("Greek") << u"\u03a3\u0399\u03a3"_s;
    QTest::newRow("dotted capital I") << u"\u0130stanbul"_s;
}

void TestListEngine::lowerCasedAgreesWithQStringToLower() {
    QFETCH(QString, text);
    QString scratch = u"previous contents"_s;
    QCOMPARE(List::lowerCased(text, scratch).toString(), text.toLower());
}

QTEST_GUILESS_MAIN(TestListEngine)
#include "tst_list_engine.moc"
