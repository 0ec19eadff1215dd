#include <QRandomGenerator>
#include <QSet>
#include <QtTest>
#include <optional>

#include "engine_doubles.h"
#include "list_engine/comparison.h"
#include "list_store/list_store.h"
#include "text_rows.h"

using List::Comparison;
using List::MatchRules;
using List::NearMissRule;

namespace {

struct Harness {
    RecordingReport report;
    ScriptedPump pump;
    RecordingProgress progress;
    List::ComparisonEnvironment env{report, pump, progress};

    std::optional<Comparison> compare(const list_store::ItemList& first,
                                      const list_store::ItemList& second, const MatchRules& rules,
                                      bool nearMisses = false) const {
        return List::CompareLists(env, first, second, rules, nearMisses);
    }
};

// What a plain set computation says of two lists under the rules.
struct Expected {
    int repeats[2] = {0, 0};
    std::vector<int> only[2];
    std::vector<int> both[2];
    qint64 onlyKeys[2] = {0, 0};
    qint64 bothKeys = 0;
};

Expected expectedOf(const QStringList& first, const QStringList& second, const MatchRules& rules) {
    const List::KeyMaker maker(rules);
    const QStringList* lists[2] = {&first, &second};
    QList<std::optional<QString>> keys[2];
    QSet<QString> sets[2];
    Expected expected;
    for (int l = 0; l < 2; ++l) {
        for (const QString& entry : *lists[l]) {
            QString key;
            if (!maker.keyOf(entry, key)) {
                keys[l].append(std::nullopt);
                continue;
            }
            keys[l].append(key);
            if (sets[l].contains(key)) ++expected.repeats[l];
            sets[l].insert(key);
        }
    }
    for (int l = 0; l < 2; ++l) {
        for (int k = 0; k < keys[l].size(); ++k) {
            const bool matched = keys[l][k] && sets[1 - l].contains(*keys[l][k]);
            (matched ? expected.both[l] : expected.only[l]).push_back(k + 1);
        }
        for (const QString& key : sets[l]) {
            if (!sets[1 - l].contains(key)) ++expected.onlyKeys[l];
        }
    }
    for (const QString& key : sets[0]) expected.bothKeys += sets[1].contains(key) ? 1 : 0;
    return expected;
}

// Each row's counts by brute force: the entries only in one list whose key under the row's
// rules some entry of the other list has under them too.
QStringList expectedRowsOf(const QStringList& first, const QStringList& second,
                           const MatchRules& rules, const std::vector<List::NearMissRow>& rows) {
    const Expected base = expectedOf(first, second, rules);
    const QStringList* lists[2] = {&first, &second};
    QStringList lines;
    QSet<int> matchedBySingle[2];
    for (const List::NearMissRow& row : rows) {
        const List::KeyMaker maker(List::withRule(rules, row.rule));
        QSet<QString> keys[2];
        for (int l = 0; l < 2; ++l) {
            for (const QString& entry : *lists[l]) {
                QString key;
                if (maker.keyOf(entry, key)) keys[l].insert(key);
            }
        }
        int counts[2] = {0, 0};
        for (int l = 0; l < 2; ++l) {
            for (const int position : base.only[l]) {
                QString key;
                if (!maker.keyOf(lists[l]->at(position - 1), key) || !keys[1 - l].contains(key)) {
                    continue;
                }
                if (row.rule != NearMissRule::All) {
                    matchedBySingle[l].insert(position);
                    ++counts[l];
                } else if (!matchedBySingle[l].contains(position)) {
                    ++counts[l];
                }
            }
        }
        lines << u"%1 %2 %3"_s.arg(int(row.rule)).arg(counts[0]).arg(counts[1]);
    }
    return lines;
}

MatchRules fieldRules(QStringView letters, int field) {
    MatchRules rules = matchRulesOf(letters);
    rules.compareBy = List::CompareBy::Field;
    rules.field = field;
    rules.separator = List::FieldSeparator::Comma;
    return rules;
}

MatchRules patternRules(QStringView letters, const QString& pattern) {
    MatchRules rules = matchRulesOf(letters);
    rules.compareBy = List::CompareBy::Pattern;
    rules.pattern = pattern;
    return rules;
}

// Texts of the kinds the lists meet: empty ones, case pairs, edge and no-break spaces, a
// zero-width space, composed and decomposed accents, a letter beyond Latin-1, a surrogate pair,
// commas for the fields.
const QString kAlphabet = u"aAb \u00a0\u200b\u00e9e\u0301,\u20ac\U0001F600"_s;

// Printable ASCII texts of eight units or more, which take the word-at-a-time paths: spaces at
// the edges, inside and in runs, capitals, commas for the fields.
QStringList longAsciiTexts(QRandomGenerator& random, int count) {
    const QString alphabet = u"aA ,"_s;
    const QStringList parts[3] = {randomTexts(random, count, alphabet),
                                  randomTexts(random, count, alphabet),
                                  randomTexts(random, count, alphabet)};
    QStringList texts;
    for (int k = 0; k < count; ++k) {
        texts << parts[0][k] + u"Name"_s + parts[1][k] + u"list"_s + parts[2][k];
    }
    return texts;
}

}  // namespace

class TestComparison : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void regionsAreThoseOfASetComputation_data();
    void regionsAreThoseOfASetComputation();
    void nearMissesNameTheRuleThatWouldMatch_data();
    void nearMissesNameTheRuleThatWouldMatch();
    void nearMissPairsAreTheFirstThousandInListOrder();
    void differencesAreMadeVisible_data();
    void differencesAreMadeVisible();
    void cancelShowsNothing_data();
    void cancelShowsNothing();
};

void TestComparison::regionsAreThoseOfASetComputation_data() {
    QTest::addColumn<MatchRules>("rules");
    QTest::addColumn<int>("firstCount");
    QTest::addColumn<int>("secondCount");
    QTest::addColumn<bool>("secondInUtf16");
    QTest::addColumn<bool>("longAscii");

    QTest::newRow("exact") << matchRulesOf(u"") << 400 << 300 << false << false;
    QTest::newRow("exact, second list in UTF-16")
        << matchRulesOf(u"") << 400 << 300 << true << false;
    QTest::newRow("case") << matchRulesOf(u"c") << 300 << 400 << true << false;
    QTest::newRow("trim") << matchRulesOf(u"t") << 300 << 300 << false << false;
    QTest::newRow("spaces, case") << matchRulesOf(u"sc") << 300 << 300 << true << false;
    QTest::newRow("invisible, Unicode") << matchRulesOf(u"iu") << 300 << 300 << false << false;
    QTest::newRow("accents") << matchRulesOf(u"a") << 300 << 300 << true << false;
    QTest::newRow("every rule") << matchRulesOf(u"tsiuac") << 500 << 200 << false << false;
    QTest::newRow("field 2 by comma, trim") << fieldRules(u"t", 2) << 300 << 300 << true << false;
    QTest::newRow("pattern, some entries without key")
        << patternRules(u"c", u"a(b+)|\u00e9"_s) << 300 << 300 << false << false;
    QTest::newRow("empty first list") << matchRulesOf(u"") << 0 << 50 << false << false;
    QTest::newRow("both empty") << matchRulesOf(u"t") << 0 << 0 << true << false;
    // Enough entries for every piece and batch boundary of the work.
    QTest::newRow("long lists, case") << matchRulesOf(u"c") << 20000 << 15000 << false << false;
    // The two threads share the entries of both lists taken together: here List 1's repeats
    // fall on both sides of the middle, and List 2 wholly on the second thread's side.
    QTest::newRow("one list far longer, exact")
        << matchRulesOf(u"") << 9000 << 40 << false << false;
    QTest::newRow("one list far longer, case") << matchRulesOf(u"c") << 40 << 9000 << true << false;
    QTest::newRow("long ASCII texts, exact") << matchRulesOf(u"") << 600 << 600 << false << true;
    QTest::newRow("long ASCII texts, case") << matchRulesOf(u"c") << 600 << 600 << false << true;
    QTest::newRow("long ASCII texts, field 2 by comma")
        << fieldRules(u"", 2) << 600 << 600 << false << true;
}

void TestComparison::regionsAreThoseOfASetComputation() {
    QFETCH(MatchRules, rules);
    QFETCH(int, firstCount);
    QFETCH(int, secondCount);
    QFETCH(bool, secondInUtf16);
    QFETCH(bool, longAscii);
    QRandomGenerator random(20261209u + quint32(firstCount));
    // Short texts from a small alphabet: repeats, and texts alike but for a rule, are common.
    const QStringList firstTexts =
        longAscii ? longAsciiTexts(random, firstCount) : randomTexts(random, firstCount, kAlphabet);
    const QStringList secondTexts = longAscii ? longAsciiTexts(random, secondCount)
                                              : randomTexts(random, secondCount, kAlphabet);
    list_store::ListStore first;
    fill(first, firstTexts);
    list_store::ListStore secondStore;
    FaultyList secondWide(secondTexts);
    if (!secondInUtf16) fill(secondStore, secondTexts);
    const list_store::ItemList& second =
        secondInUtf16 ? static_cast<const list_store::ItemList&>(secondWide) : secondStore;

    Harness harness;
    const std::optional<Comparison> result = harness.compare(first, second, rules);
    QVERIFY(result);
    QVERIFY(harness.report.shown.isEmpty());
    const Expected expected = expectedOf(firstTexts, secondTexts, rules);
    QCOMPARE(result->firstItems, firstCount);
    QCOMPARE(result->secondItems, secondCount);
    QCOMPARE(result->firstRepeats, expected.repeats[0]);
    QCOMPARE(result->secondRepeats, expected.repeats[1]);
    QCOMPARE(result->onlyFirst, expected.only[0]);
    QCOMPARE(result->bothFirst, expected.both[0]);
    QCOMPARE(result->bothSecond, expected.both[1]);
    QCOMPARE(result->onlySecond, expected.only[1]);
    QCOMPARE(result->onlyFirstKeys, expected.onlyKeys[0]);
    QCOMPARE(result->bothKeys, expected.bothKeys);
    QCOMPARE(result->onlySecondKeys, expected.onlyKeys[1]);
    QVERIFY(!result->nearMisses);

    // The same with near misses: the same regions, and each row as a brute force finds it.
    const std::optional<Comparison> withMisses = harness.compare(first, second, rules, true);
    QVERIFY(withMisses && withMisses->nearMisses);
    QCOMPARE(withMisses->onlyFirst, expected.only[0]);
    QCOMPARE(withMisses->onlySecond, expected.only[1]);
    const std::vector<List::NearMissRow>& rows = withMisses->nearMisses->rows;
    QStringList found;
    for (const List::NearMissRow& row : rows) {
        found << u"%1 %2 %3"_s.arg(int(row.rule)).arg(row.first).arg(row.second);
    }
    QCOMPARE(found, expectedRowsOf(firstTexts, secondTexts, rules, rows));
    // Every pair matches under its row's rules and not under those in force.
    for (const List::NearMissPair& pair : withMisses->nearMisses->pairs) {
        QString keys[2];
        QVERIFY(List::KeyMaker(List::withRule(rules, rows[size_t(pair.row)].rule))
                    .keyOf(firstTexts.at(pair.first - 1), keys[0]));
        QVERIFY(List::KeyMaker(List::withRule(rules, rows[size_t(pair.row)].rule))
                    .keyOf(secondTexts.at(pair.second - 1), keys[1]));
        QCOMPARE(keys[0], keys[1]);
    }
    QVERIFY(withMisses->nearMisses->pairs.size() <= size_t(List::NearMisses::kMostPairs));

    // Nothing is changed by a comparison.
    QCOMPARE(textsOf(first), firstTexts);
    QCOMPARE(secondWide.changes, quint64(0));
}

// Each pair is found from both lists; the thousand kept are the first distinct ones.
void TestComparison::nearMissPairsAreTheFirstThousandInListOrder() {
    QStringList firstTexts;
    QStringList secondTexts;
    for (int k = 0; k < 3000; ++k) {
        firstTexts << u"entry %1 "_s.arg(k);
        secondTexts.prepend(u"entry %1"_s.arg(k));
    }
    list_store::ListStore first;
    list_store::ListStore second;
    fill(first, firstTexts);
    fill(second, secondTexts);
    const std::optional<Comparison> result =
        Harness().compare(first, second, matchRulesOf(u""), true);
    QVERIFY(result && result->nearMisses);
    const std::vector<List::NearMissPair>& pairs = result->nearMisses->pairs;
    QCOMPARE(pairs.size(), size_t(List::NearMisses::kMostPairs));
    for (size_t k = 0; k < pairs.size(); ++k) {
        QCOMPARE(pairs[k].first, int(k) + 1);
        QCOMPARE(pairs[k].second, 3000 - int(k));
    }
}

void TestComparison::nearMissesNameTheRuleThatWouldMatch_data() {
    QTest::addColumn<MatchRules>("rules");
    QTest::addColumn<QStringList>("expectedRows");   // "rule first second"
    QTest::addColumn<QStringList>("expectedPairs");  // "row: first | second", made visible

    QTest::newRow("every rule off")
        << matchRulesOf(u"") << QStringList{u"ignore surrounding spaces 1 1"_s,
                                            u"spaces alike 1 2"_s,
                                            u"ignore invisible characters 1 1"_s,
                                            u"same Unicode form 1 1"_s,
                                            u"ignore accents 2 2"_s,
                                            u"ignore case 1 1"_s,
                                            u"all these rules together 1 1"_s}
        << QStringList{u"0: report.pdf␣ | report.pdf"_s,
                       u"1: Hello⟨U+00A0⟩World | Hello World"_s,
                       u"1: Hello⟨U+00A0⟩World | Hello⟨U+00A0⟩⟨U+00A0⟩World"_s,
                       u"2: Zero⟨U+200B⟩Width | ZeroWidth"_s,
                       u"3: Müller | Mu⟨U+0308⟩ller"_s,
                       u"4: café | cafe"_s,
                       u"5: ⟦A⟧⟦B⟧⟦C⟧ | ⟦a⟧⟦b⟧⟦c⟧"_s,
                       u"6: ⟦T⟧ail␣ | ⟦t⟧ail"_s};
    // With the edge spaces and the case ignored already, those entries match, and only the
    // rules still off are offered.
    QTest::newRow("trim and case on")
        << matchRulesOf(u"tc")
        << QStringList{u"spaces alike 1 2"_s, u"ignore invisible characters 1 1"_s,
                       u"same Unicode form 1 1"_s, u"ignore accents 2 2"_s,
                       u"all these rules together 0 0"_s}
        << QStringList{u"0: Hello⟨U+00A0⟩World | Hello World"_s,
                       u"0: Hello⟨U+00A0⟩World | Hello⟨U+00A0⟩⟨U+00A0⟩World"_s,
                       u"1: Zero⟨U+200B⟩Width | ZeroWidth"_s, u"2: Müller | Mu⟨U+0308⟩ller"_s,
                       u"3: café | cafe"_s};
}

void TestComparison::nearMissesNameTheRuleThatWouldMatch() {
    QFETCH(MatchRules, rules);
    QFETCH(QStringList, expectedRows);
    QFETCH(QStringList, expectedPairs);
    // Entries as other programs write them: a trailing space from a spreadsheet, a no-break
    // space from a web page, a zero-width space, NFC against NFD (macOS file names), an accent,
    // capitals, and one entry that takes two rules at once.
    const QStringList firstTexts{u"same"_s,
                                 u"report.pdf "_s,
                                 u"Hello\u00a0World"_s,
                                 u"Zero\u200bWidth"_s,
                                 u"M\u00fcller"_s,
                                 u"caf\u00e9"_s,
                                 u"ABC"_s,
                                 u"Tail "_s,
                                 u"unmatched"_s};
    const QStringList secondTexts{
        u"Tail"_s.toLower(), u"ABC"_s.toLower(),         u"cafe"_s,       u"Mu\u0308ller"_s,
        u"ZeroWidth"_s,      u"Hello World"_s,           u"report.pdf"_s, u"same"_s,
        u"other"_s,          u"Hello\u00a0\u00a0World"_s};
    list_store::ListStore first;
    list_store::ListStore second;
    fill(first, firstTexts);
    fill(second, secondTexts);

    Harness harness;
    const std::optional<Comparison> result = harness.compare(first, second, rules, true);
    QVERIFY(result);
    QVERIFY(result->nearMisses);
    QStringList rows;
    for (const List::NearMissRow& row : result->nearMisses->rows) {
        rows << u"%1 %2 %3"_s.arg(List::nearMissRuleName(row.rule)).arg(row.first).arg(row.second);
    }
    QCOMPARE(rows, expectedRows);
    QStringList pairs;
    for (const List::NearMissPair& pair : result->nearMisses->pairs) {
        const List::VisiblePair shown =
            List::visiblePair(first.text(pair.first), second.text(pair.second));
        pairs << u"%1: %2 | %3"_s.arg(pair.row).arg(shown.first, shown.second);
    }
    QCOMPARE(pairs, expectedPairs);
}

void TestComparison::differencesAreMadeVisible_data() {
    addTextRows("text", "visible",
                {{"plain", u"a b"_s, u"a b"_s},
                 {"edge spaces", u"  a b "_s, u"␣␣a b␣"_s},
                 {"tab, NBSP, narrow NBSP", u"\ta\u00a0b\u202f"_s, u"⟨U+0009⟩a⟨U+00A0⟩b⟨U+202F⟩"_s},
                 {"BOM, soft hyphen", u"\ufeffa\u00adb"_s, u"⟨U+FEFF⟩a⟨U+00AD⟩b"_s},
                 {"decomposed, composed", u"e\u0301\u00e9"_s, u"e⟨U+0301⟩\u00e9"_s},
                 {"beyond the BMP", u"\U0001F600\U000E0001"_s, u"\U0001F600⟨U+E0001⟩"_s}});
}

void TestComparison::differencesAreMadeVisible() {
    QFETCH(QString, text);
    QFETCH(QString, visible);
    QCOMPARE(List::visibleText(text), visible);
}

void TestComparison::cancelShowsNothing_data() {
    QTest::addColumn<int>("atPump");
    QTest::addColumn<bool>("nearMisses");
    QTest::newRow("before it starts") << 0 << false;
    QTest::newRow("first pump") << 1 << false;
    QTest::newRow("third pump, near misses") << 3 << true;
}

void TestComparison::cancelShowsNothing() {
    QFETCH(int, atPump);
    QFETCH(bool, nearMisses);
    list_store::ListStore first;
    list_store::ListStore second;
    // Long enough that the work outlasts a few of the pump's chances, even when the machine
    // stalls all threads for tens of milliseconds (as this one now and then does): at
    // 400,000 entries the whole exact comparison now and then passed in such a stall.
    fill(first, numbered(u"Item "_s, 1000000));
    fill(second, numbered(u"item "_s, 1000000, 3));
    Harness harness;
    if (atPump == 0) harness.pump.requestCancel();
    harness.pump.at(atPump, [&] { harness.pump.requestCancel(); });
    const std::optional<Comparison> result =
        harness.compare(first, second, matchRulesOf(u""), nearMisses);
    QVERIFY(harness.pump.calls >= atPump);
    QVERIFY(!result);
    QVERIFY(harness.report.shown.isEmpty());
    QCOMPARE(first.count(), 1000000);
}

QTEST_GUILESS_MAIN(TestComparison)
#include "tst_comparison.moc"
