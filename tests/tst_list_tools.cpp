#include <QCollator>
#include <QRandomGenerator>
#include <QtTest>

#include "engine_doubles.h"
#include "list_engine/list.h"
#include "list_store/list_model.h"
#include "list_store/list_store.h"

using list_store::ListStore;
using SortOrder = List::SortOrder;

namespace {

const QString kKeep = u"in Pellorin2021/08/31.List.KeepOnlyItemsAlsoInSecondList "_s;
const QString kRepeats = u"in Pellorin2021/08/31.List.RemoveRepeatedItems "_s;
const QString kSort = u"in Pellorin2021/08/31.List.SortItems "_s;

// Both cases and letters beyond ASCII, so that texts equal but for case are common.
const QString kAlphabet = u"aAbB \u00e4\u00c4\u212ak"_s;

QStringList sorted(const QStringList& texts, SortOrder order) {
    EngineHarness engine;
    ListStore list;
    fill(list, texts);
    List::SortItems(engine.env, list, order);
    if (!engine.report.shown.isEmpty()) qWarning() << engine.report.shown.first().description;
    return textsOf(list);
}

QCollator expectedCollator() {
    QCollator collator(QLocale(QLocale::English, QLocale::UnitedStates));
    collator.setNumericMode(true);
    return collator;
}

}  // namespace

class ListToolsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void cleanupTestCase() { QLocale::setDefault(QLocale::c()); }

    // ------------------------------------------------------------ keep only shared items

    void keepRemovesItemsNotInSecondList_data() {
        addTwoListColumns();
        const QStringList fruit{u"apple"_s, u"Apple"_s, u"grape"_s, u"apple"_s};
        QTest::newRow("matching case keeps apple and its repeat")
            << fruit << QStringList{u"apple"_s} << 1 << QStringList{u"apple"_s, u"apple"_s};
        QTest::newRow("ignoring case keeps Apple too")
            << fruit << QStringList{u"APPLE"_s} << 0
            << QStringList{u"apple"_s, u"Apple"_s, u"apple"_s};
        QTest::newRow("grayed box matches case")
            << fruit << QStringList{u"Apple"_s} << 2 << QStringList{u"Apple"_s};
        QTest::newRow("empty second list empties the first")
            << fruit << QStringList{} << 1 << QStringList{};
        QTest::newRow("empty first list stays empty")
            << QStringList{} << QStringList{u"x"_s} << 1 << QStringList{};
        QTest::newRow("blanks count, empty items match empty items")
            << QStringList{u" a"_s, u"a"_s, u""_s, u"b"_s} << QStringList{u"a"_s, u""_s} << 0
            << QStringList{u"a"_s, u""_s};
    }
    void keepRemovesItemsNotInSecondList() { checkTwoListRow(List::KeepOnlyItemsAlsoInSecondList); }

    // What the subtraction keeps and what keeping only shared items keeps partition the list,
    // each in the list's order.
    void keepAndSubtractPartitionTheList_data() {
        QTest::addColumn<int>("check1");
        QTest::addColumn<int>("secondCount");
        QTest::newRow("matching case") << 1 << 40;
        QTest::newRow("ignoring case") << 0 << 40;
        QTest::newRow("matching case, long second list") << 1 << 400;
        QTest::newRow("ignoring case, one item in second list") << 0 << 1;
    }
    void keepAndSubtractPartitionTheList() {
        QFETCH(int, check1);
        QFETCH(int, secondCount);
        QRandomGenerator random(quint32(check1 * 1000 + secondCount));
        for (int round = 0; round < 20; ++round) {
            const QStringList original = randomTexts(random, 300, kAlphabet);
            const QStringList secondTexts = randomTexts(random, secondCount, kAlphabet);
            EngineHarness engine;
            engine.check1 = check1;
            ListStore subtracted;
            ListStore kept;
            ListStore second;
            fill(subtracted, original);
            fill(kept, original);
            fill(second, secondTexts);
            List::SubtractSecondListFromFirstList(engine.env, subtracted, second);
            List::KeepOnlyItemsAlsoInSecondList(engine.env, kept, second);
            QVERIFY(engine.report.shown.isEmpty());

            const QStringList a = textsOf(subtracted);
            const QStringList b = textsOf(kept);
            QCOMPARE(a.size() + b.size(), original.size());
            qsizetype inA = 0;
            qsizetype inB = 0;
            for (const QString& text : original) {
                bool found = false;
                for (const QString& other : secondTexts) {
                    found =
                        found || (check1 == 0 ? text.toLower() == other.toLower() : text == other);
                }
                // Each item lands in exactly one of the two results, at its turn.
                if (found) {
                    QVERIFY(inB < b.size());
                    QCOMPARE(b.at(inB++), text);
                } else {
                    QVERIFY(inA < a.size());
                    QCOMPARE(a.at(inA++), text);
                }
            }
        }
    }

    // Entries as spreadsheets, web pages and mail clients give them: with the rules on, whole
    // original entries go or stay, in their order, and the two commands still partition a list.
    void rulesMatchEverydayEntries_data() {
        QTest::addColumn<List::MatchRules>("rules");
        QTest::addColumn<int>("check1");
        QTest::addColumn<QStringList>("first");
        QTest::addColumn<QStringList>("second");
        QTest::addColumn<QStringList>("leftBySubtraction");
        const auto field = [](int number, List::FieldSeparator separator, QStringView letters) {
            List::MatchRules rules = matchRulesOf(letters);
            rules.compareBy = List::CompareBy::Field;
            rules.field = number;
            rules.separator = separator;
            return rules;
        };
        List::MatchRules mail = matchRulesOf(u"");
        mail.compareBy = List::CompareBy::Pattern;
        mail.pattern = u"[\\w.+-]+@[\\w.-]+"_s;

        QTest::newRow("spreadsheet trailing spaces, case ignored by the box")
            << matchRulesOf(u"t") << 0
            << QStringList{u"Apple  "_s, u"pear"_s, u"\u00a0PEAR\t"_s, u"plum"_s}
            << QStringList{u"apple"_s, u"Pear "_s} << QStringList{u"plum"_s};
        QTest::newRow("the box decides the case, not the rules")
            << matchRulesOf(u"tc") << 1 << QStringList{u"Apple"_s, u"apple "_s}
            << QStringList{u"apple"_s} << QStringList{u"Apple"_s};
        QTest::newRow("no-break and doubled spaces alike")
            << matchRulesOf(u"s") << 1
            << QStringList{u"New\u00a0York"_s, u"New  York"_s, u"NewYork"_s}
            << QStringList{u"New York"_s} << QStringList{u"NewYork"_s};
        QTest::newRow("byte-order mark and zero-width space inside lines")
            << matchRulesOf(u"i") << 1 << QStringList{u"\ufeffid-1"_s, u"id\u200b-2"_s, u"id-3"_s}
            << QStringList{u"id-1"_s, u"id-2\ufeff"_s} << QStringList{u"id-3"_s};
        QTest::newRow("decomposed file names")
            << matchRulesOf(u"u") << 1
            << QStringList{u"Cafe\u0301.txt"_s, u"Caf\u00e9.txt"_s, u"Cafe.txt"_s}
            << QStringList{u"Caf\u00e9.txt"_s} << QStringList{u"Cafe.txt"_s};
        QTest::newRow("accents, but not letters without a decomposition")
            << matchRulesOf(u"a") << 1
            << QStringList{u"M\u00fcller"_s, u"Mu\u0308ller"_s, u"Mueller"_s,
                           u"\u0141\u00f3d\u017a"_s}
            << QStringList{u"Muller"_s, u"Lodz"_s}
            << QStringList{u"Mueller"_s, u"\u0141\u00f3d\u017a"_s};
        QTest::newRow("CSV column with quotes")
            << field(2, List::FieldSeparator::Comma, u"t") << 1
            << QStringList{u"1,\"a,b\""_s, u"2,c"_s, u"3,\"say \"\"hi\"\"\""_s, u"4"_s}
            << QStringList{u"x,\"a,b\" "_s, u"y,say \"hi\""_s, u"z,"_s} << QStringList{u"2,c"_s};
        QTest::newRow("e-mail address wherever it stands; lines without one match nothing")
            << mail << 0
            << QStringList{u"Ann Lee <Ann@Kelvarn.example>"_s, u"no address"_s,
                           u"bo@kelvarn.example"_s}
            << QStringList{u"ann@kelvarn.example"_s, u"no address"_s}
            << QStringList{u"no address"_s, u"bo@kelvarn.example"_s};
    }
    void rulesMatchEverydayEntries() {
        QFETCH(List::MatchRules, rules);
        QFETCH(int, check1);
        QFETCH(QStringList, first);
        QFETCH(QStringList, second);
        QFETCH(QStringList, leftBySubtraction);
        EngineHarness engine;
        engine.rules = rules;
        engine.check1 = check1;
        ListStore subtracted;
        ListStore kept;
        ListStore secondList;
        fill(subtracted, first);
        fill(kept, first);
        fill(secondList, second);
        List::SubtractSecondListFromFirstList(engine.env, subtracted, secondList);
        List::KeepOnlyItemsAlsoInSecondList(engine.env, kept, secondList);
        QVERIFY(engine.report.shown.isEmpty());
        QCOMPARE(textsOf(subtracted), leftBySubtraction);
        QStringList rest = first;
        for (const QString& text : leftBySubtraction) rest.removeOne(text);
        QCOMPARE(textsOf(kept), rest);
        QCOMPARE(textsOf(secondList), second);
    }

    // Rules that cannot make keys are refused with one report; no list changes.
    void wrongRulesChangeNoList_data() {
        QTest::addColumn<List::MatchRules>("rules");
        List::MatchRules fieldZero;
        fieldZero.compareBy = List::CompareBy::Field;
        fieldZero.field = 0;
        List::MatchRules badPattern;
        badPattern.compareBy = List::CompareBy::Pattern;
        badPattern.pattern = u"(ab"_s;
        QTest::newRow("field 0") << fieldZero;
        QTest::newRow("pattern that does not compile") << badPattern;
    }
    void wrongRulesChangeNoList() {
        QFETCH(List::MatchRules, rules);
        EngineHarness engine;
        engine.rules = rules;
        const QStringList texts{u"ab"_s, u"ab"_s, u"c"_s};
        ListStore first;
        ListStore second;
        fill(first, texts);
        fill(second, texts);
        List::SubtractSecondListFromFirstList(engine.env, first, second);
        List::KeepOnlyItemsAlsoInSecondList(engine.env, first, second);
        List::RemoveRepeatedItems(engine.env, first);
        QCOMPARE(textsOf(first), texts);
        QCOMPARE(engine.report.lines(), (QList<int>{104, 104, 104}));
        QCOMPARE(engine.report.shown[2].location, kRepeats);
        QCOMPARE(engine.progress.values.last(), 0.0);
    }

    // Keys are made in pieces with events between them, so a cancel ends even a run whose
    // pattern is slow, before anything is removed.
    void cancelWhileKeysAreMadeRemovesNothing_data() {
        QTest::addColumn<bool>("repeats");
        QTest::newRow("subtraction") << false;
        QTest::newRow("repeated items") << true;
    }
    void cancelWhileKeysAreMadeRemovesNothing() {
        QFETCH(bool, repeats);
        EngineHarness engine;
        engine.pump.byClock = true;
        engine.rules.compareBy = List::CompareBy::Pattern;
        engine.rules.pattern = u"^(?:a|aa|aaa)*+(\\d)"_s;
        QStringList texts;
        for (int k = 0; k < 200'000; ++k) texts.append(u"aaaaaaaa%1"_s.arg(k % 7));
        ListStore first;
        ListStore second;
        fill(first, texts);
        fill(second, texts);
        engine.pump.at(3, [&] { engine.pump.requestCancel(); });
        if (repeats) {
            List::RemoveRepeatedItems(engine.env, first);
        } else {
            List::SubtractSecondListFromFirstList(engine.env, first, second);
        }
        QCOMPARE(engine.pump.calls, 3);
        QCOMPARE(first.count(), texts.size());
        QVERIFY(engine.report.shown.isEmpty());
    }

    void keepFollowsCheckBoxChangedDuringRun() {
        EngineHarness engine;
        ListStore first;
        ListStore second;
        fill(first, {u"A"_s, u"A"_s, u"A"_s});
        fill(second, {u"a"_s});
        // The box is read once per item, after events: unchecked from the second item on.
        engine.pump.at(2, [&] { engine.check1 = 0; });
        List::KeepOnlyItemsAlsoInSecondList(engine.env, first, second);
        QCOMPARE(textsOf(first), (QStringList{u"A"_s, u"A"_s}));
    }

    void keepStopsWithoutRemovingWhenSecondListCannotBeIndexed() {
        EngineHarness engine;
        ListStore first;
        fill(first, {u"x"_s, u"y"_s});
        FaultyList second({u"x"_s, u"z"_s});
        second.unreadable = {2};
        List::KeepOnlyItemsAlsoInSecondList(engine.env, first, second);
        QCOMPARE(textsOf(first), (QStringList{u"x"_s, u"y"_s}));
        QCOMPARE(engine.report.shown.size(), 1);
        QCOMPARE(engine.report.shown[0].location, kKeep);
        QCOMPARE(engine.report.shown[0].line, 118);
    }

    // ------------------------------------------------------------ remove repeated items

    void repeatsGoFirstOccurrencesStay_data() {
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("later copies go, order kept")
            << QStringList{u"b"_s, u"a"_s, u"b"_s, u"c"_s, u"a"_s, u"b"_s}
            << QStringList{u"b"_s, u"a"_s, u"c"_s};
        QTest::newRow("case counts")
            << QStringList{u"a"_s, u"A"_s, u"a"_s} << QStringList{u"a"_s, u"A"_s};
        QTest::newRow("blanks count") << QStringList{u"a"_s, u"a "_s, u" a"_s, u"a"_s}
                                      << QStringList{u"a"_s, u"a "_s, u" a"_s};
        QTest::newRow("empty items are repeats of each other")
            << QStringList{u""_s, u"x"_s, u""_s} << QStringList{u""_s, u"x"_s};
        QTest::newRow("nothing repeated, nothing changes")
            << QStringList{u"c"_s, u"b"_s, u"a"_s} << QStringList{u"c"_s, u"b"_s, u"a"_s};
        QTest::newRow("one text many times") << QStringList(700, u"z"_s) << QStringList{u"z"_s};
        QTest::newRow("empty list") << QStringList{} << QStringList{};
    }
    void repeatsGoFirstOccurrencesStay() {
        QFETCH(QStringList, texts);
        QFETCH(QStringList, expected);
        EngineHarness engine;
        ListStore list;
        fill(list, texts);
        List::RemoveRepeatedItems(engine.env, list);
        QCOMPARE(textsOf(list), expected);
        QVERIFY(engine.report.shown.isEmpty());
        QCOMPARE(engine.progress.values.last(), 0.0);
    }

    void repeatsFollowTheRules_data() {
        QTest::addColumn<List::MatchRules>("rules");
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QStringList>("expected");
        const QStringList names{u"Muller"_s, u"M\u00fcller "_s, u"muller"_s, u"Mu\u0308ller"_s};
        QTest::newRow("accents and edge spaces, case counts")
            << matchRulesOf(u"ta") << names << QStringList{u"Muller"_s, u"muller"_s};
        QTest::newRow("case too, as the command line asks")
            << matchRulesOf(u"tac") << names << QStringList{u"Muller"_s};
        List::MatchRules digit;
        digit.compareBy = List::CompareBy::Pattern;
        digit.pattern = u"\\d"_s;
        QTest::newRow("entries without a key all stay")
            << digit << QStringList{u"a1"_s, u"x"_s, u"b1"_s, u"x"_s, u"c2"_s}
            << QStringList{u"a1"_s, u"x"_s, u"x"_s, u"c2"_s};
    }
    void repeatsFollowTheRules() {
        QFETCH(List::MatchRules, rules);
        QFETCH(QStringList, texts);
        QFETCH(QStringList, expected);
        EngineHarness engine;
        engine.rules = rules;
        ListStore list;
        fill(list, texts);
        List::RemoveRepeatedItems(engine.env, list);
        QVERIFY(engine.report.shown.isEmpty());
        QCOMPARE(textsOf(list), expected);
    }

    void repeatsAgreeWithFirstOccurrenceRule() {
        QRandomGenerator random(15);
        for (int round = 0; round < 20; ++round) {
            const QStringList texts = randomTexts(random, 1000, kAlphabet);
            QStringList expected;
            QSet<QString> seen;
            for (const QString& text : texts) {
                if (!seen.contains(text)) expected.append(text);
                seen.insert(text);
            }
            EngineHarness engine;
            ListStore list;
            fill(list, texts);
            List::RemoveRepeatedItems(engine.env, list);
            QCOMPARE(textsOf(list), expected);
        }
    }

    void repeatsProcessEventsAndRemoveInOneStep() {
        EngineHarness engine;
        FaultyList list;
        for (int k = 0; k < 1000; ++k) list.items.append(QString::number(k % 10));
        List::RemoveRepeatedItems(engine.env, list);
        QCOMPARE(list.items.size(), 10);
        QCOMPARE(list.bulkRemovals, 1);
        QCOMPARE(list.singleRemovals, 0);
        // One chance per 256 items looked at, and one before the removal.
        QCOMPARE(engine.pump.calls, 5);
        QCOMPARE(engine.progress.values.first(), 25.6);
        QCOMPARE(engine.progress.values.last(), 0.0);
    }

    void repeatsStopWithoutRemovingWhenAnItemCannotBeRead() {
        EngineHarness engine;
        FaultyList list({u"a"_s, u"a"_s, u"b"_s, u"a"_s});
        list.unreadable = {3};
        List::RemoveRepeatedItems(engine.env, list);
        QCOMPARE(list.items, (QStringList{u"a"_s, u"a"_s, u"b"_s, u"a"_s}));
        QCOMPARE(engine.report.shown.size(), 1);
        QCOMPARE(engine.report.shown[0].location, kRepeats);
        QCOMPARE(engine.report.shown[0].line, 108);
        QCOMPARE(engine.progress.values.last(), 0.0);
    }

    // ------------------------------------------------------------ sort

    void sortPutsNamesInTheOrderPeopleExpect_data() {
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QStringList>("aToZ");
        QTest::newRow("numbers by value")
            << QStringList{u"file10"_s, u"file2"_s, u"file1"_s, u"file20"_s}
            << QStringList{u"file1"_s, u"file2"_s, u"file10"_s, u"file20"_s};
        QTest::newRow("numbers alone and inside names")
            << QStringList{u"100"_s, u"9"_s, u"a10b"_s, u"a9b"_s, u"20"_s}
            << QStringList{u"9"_s, u"20"_s, u"100"_s, u"a9b"_s, u"a10b"_s};
        QTest::newRow("case after the letter, small first")
            << QStringList{u"Zebra"_s, u"b"_s, u"B"_s, u"apple"_s, u"A"_s, u"a"_s}
            << QStringList{u"a"_s, u"A"_s, u"apple"_s, u"b"_s, u"B"_s, u"Zebra"_s};
        QTest::newRow("accents after the plain letter, before the next")
            << QStringList{u"\u00e9clair"_s, u"ezra"_s, u"Eclair"_s, u"eclair"_s,
                           u"\u00e9t\u00e9"_s}
            << QStringList{u"eclair"_s, u"Eclair"_s, u"\u00e9clair"_s, u"\u00e9t\u00e9"_s,
                           u"ezra"_s};
        QTest::newRow("mixed names")
            << QStringList{u"Report 10.pdf"_s, u"report 9.pdf"_s, u"R\u00e9sum\u00e9.doc"_s,
                           u"Report 9.pdf"_s, u"readme"_s}
            << QStringList{u"readme"_s, u"report 9.pdf"_s, u"Report 9.pdf"_s, u"Report 10.pdf"_s,
                           u"R\u00e9sum\u00e9.doc"_s};
        QTest::newRow("empty and blank items first") << QStringList{u"b"_s, u" "_s, u""_s, u"a"_s}
                                                     << QStringList{u""_s, u" "_s, u"a"_s, u"b"_s};
    }
    void sortPutsNamesInTheOrderPeopleExpect() {
        QFETCH(QStringList, texts);
        QFETCH(QStringList, aToZ);
        QCOMPARE(sorted(texts, SortOrder::AToZ), aToZ);
        QStringList zToA = aToZ;
        std::reverse(zToA.begin(), zToA.end());
        QCOMPARE(sorted(texts, SortOrder::ZToA), zToA);
    }

    // Texts that collate as equal (the same letters in composed and decomposed form) keep
    // their order in both directions.
    void sortIsStable_data() {
        QTest::addColumn<int>("order");
        QTest::newRow("A to Z") << int(SortOrder::AToZ);
        QTest::newRow("Z to A") << int(SortOrder::ZToA);
    }
    void sortIsStable() {
        QFETCH(int, order);
        const QString composed = u"caf\u00e9"_s;
        const QString decomposed = u"cafe\u0301"_s;
        QCOMPARE(expectedCollator().compare(composed, decomposed), 0);
        QStringList texts;
        for (int k = 0; k < 60; ++k) {
            texts.append(k % 3 == 0 ? composed : decomposed);
            texts.append(k % 2 ? u"zz"_s : u"aa"_s);
        }
        EngineHarness engine;
        FaultyList list(texts);
        // Ties must not depend on where the work was split: positions stand beside the keys.
        List::SortItems(engine.env, list, SortOrder(order));
        QStringList equalOnes;
        for (const QString& text : texts) {
            if (text.startsWith(u"caf")) equalOnes.append(text);
        }
        QStringList seen;
        for (const QString& text : list.items) {
            if (text.startsWith(u"caf")) seen.append(text);
        }
        QCOMPARE(seen, equalOnes);
        QCOMPARE(list.items.size(), texts.size());
    }

    // On many random names the order agrees with QCollator's, and ties keep their order; enough
    // names that the work is split between threads and merged.
    void sortAgreesWithQCollator() {
        QRandomGenerator random(2021);
        static const QString units = u"aAbBeE\u00e9\u00c9 -._019"_s;
        QStringList texts;
        for (int k = 0; k < 45000; ++k) {
            QString text;
            const int length = 1 + random.bounded(7);
            for (int c = 0; c < length; ++c) text.append(units.at(random.bounded(units.size())));
            texts.append(text + QString::number(k % 97));
        }
        const QCollator collator = expectedCollator();
        for (const SortOrder order : {SortOrder::AToZ, SortOrder::ZToA}) {
            EngineHarness engine;
            ListStore list;
            fill(list, texts);
            List::SortItems(engine.env, list, order);
            QVERIFY(engine.report.shown.isEmpty());
            const QStringList result = textsOf(list);
            QStringList expected = texts;
            std::stable_sort(expected.begin(), expected.end(),
                             [&](const QString& a, const QString& b) {
                                 const int c = collator.compare(a, b);
                                 return order == SortOrder::AToZ ? c < 0 : c > 0;
                             });
            QCOMPARE(result, expected);
        }
    }

    void sortFollowsTheSystemLocale_data() {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QStringList>("expected");
        const QStringList english{u"apple"_s, u"\u00f6l"_s, u"orange"_s, u"Zebra"_s};
        QTest::newRow("English") << QLocale(QLocale::English, QLocale::UnitedKingdom) << english;
        QTest::newRow("C collates as English") << QLocale::c() << english;
        QTest::newRow("Swedish puts \u00f6 after z")
            << QLocale(QLocale::Swedish, QLocale::Sweden)
            << QStringList{u"apple"_s, u"orange"_s, u"Zebra"_s, u"\u00f6l"_s};
    }
    void sortFollowsTheSystemLocale() {
        QFETCH(QLocale, locale);
        QFETCH(QStringList, expected);
        QLocale::setDefault(locale);
        QCOMPARE(sorted({u"Zebra"_s, u"orange"_s, u"\u00f6l"_s, u"apple"_s}, SortOrder::AToZ),
                 expected);
    }

    void sortReportsUnreadableItemAndKeepsOrder() {
        EngineHarness engine;
        FaultyList list({u"b"_s, u"a"_s, u"c"_s});
        list.unreadable = {2};
        List::SortItems(engine.env, list, SortOrder::AToZ);
        QCOMPARE(list.items, (QStringList{u"b"_s, u"a"_s, u"c"_s}));
        QCOMPARE(engine.report.shown.size(), 1);
        QCOMPARE(engine.report.shown[0].location, kSort);
        QCOMPARE(engine.report.shown[0].line, 104);
        QCOMPARE(engine.progress.values.last(), 0.0);
    }

    void sortReplacesTheItemsInOneStep() {
        EngineHarness engine;
        ListStore list;
        const list_store::ListModel shown(list);
        fill(list, {u"b"_s, u"c"_s, u"a"_s});
        QSignalSpy resets(&shown, &QAbstractItemModel::modelReset);
        QSignalSpy removals(&shown, &QAbstractItemModel::rowsRemoved);
        List::SortItems(engine.env, list, SortOrder::AToZ);
        QCOMPARE(textsOf(list), (QStringList{u"a"_s, u"b"_s, u"c"_s}));
        QCOMPARE(resets.size(), 1);
        QCOMPARE(removals.size(), 0);
        QVERIFY(engine.pump.calls >= 1);
        QCOMPARE(engine.progress.values.last(), 0.0);
    }

    // Closing the window, or cancelling, while the order is being worked out ends the sort
    // promptly, and the list keeps its order.
    void sortLeavesListAloneWhenStopped_data() {
        QTest::addColumn<bool>("close");
        QTest::newRow("window closed") << true;
        QTest::newRow("command cancelled") << false;
    }
    void sortLeavesListAloneWhenStopped() {
        QFETCH(bool, close);
        EngineHarness engine;
        ListStore list;
        QStringList texts;
        for (int k = 200'000; k > 0; --k) texts.append(u"name %1"_s.arg(k));
        fill(list, texts);
        engine.pump.at(2, [&] {
            if (close) {
                engine.pump.requestClose();
            } else {
                engine.pump.requestCancel();
            }
        });
        List::SortItems(engine.env, list, SortOrder::AToZ);
        QVERIFY(engine.pump.calls >= 2);
        QCOMPARE(list.text(1), u"name 200000"_s);
        QCOMPARE(list.count(), 200'000);
        QVERIFY(engine.report.shown.isEmpty());
    }
};

QTEST_GUILESS_MAIN(ListToolsTest)
#include "tst_list_tools.moc"
