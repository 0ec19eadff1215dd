#include <QtTest>
#include <optional>

#include "engine_doubles.h"
#include "list_engine/match_rules.h"
#include "list_engine/text_index.h"
#include "list_store/item_text.h"

using namespace Qt::Literals::StringLiterals;
using List::CompareBy;
using List::FieldSeparator;
using List::MatchRules;

namespace {

MatchRules fieldRules(QStringView letters, int field, FieldSeparator separator,
                      QChar character = {}) {
    MatchRules rules = matchRulesOf(letters);
    rules.compareBy = CompareBy::Field;
    rules.field = field;
    rules.separator = separator;
    rules.separatorCharacter = character;
    return rules;
}

MatchRules patternRules(QStringView letters, const QString& pattern) {
    MatchRules rules = matchRulesOf(letters);
    rules.compareBy = CompareBy::Pattern;
    rules.pattern = pattern;
    return rules;
}

const QString kNoKey = QString();  // a null expected key: the entry has none

}  // namespace

class TestMatchRules : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void keyFollowsTheRules_data();
    void keyFollowsTheRules();
    void caseAloneLowerCasesAsTheSubtractionDoes();
    void plainOnlyWithoutRulesBeyondCase();
    void accentsOfLatin1AsTheUnicodeTablesGiveThem();
    void keyViewsHashAndCompareAsTheKeys();
    void wrongPatternOrFieldMakesNoKeys_data();
    void wrongPatternOrFieldMakesNoKeys();
    void describesTheRulesBriefly_data();
    void describesTheRulesBriefly();
};

void TestMatchRules::keyFollowsTheRules_data() {
    QTest::addColumn<MatchRules>("rules");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("key");

    struct KeyCase {
        const char* name;
        MatchRules rules;
        QString entry;
        QString key;
    };
    const QString mail = u"[\\w.+-]+@[\\w-]+(?:\\.[\\w-]+)+"_s;
    const KeyCase cases[] = {
        {"all off keeps every unit", matchRulesOf(u""), u" Apple\u00a0\ufeff"_s,
         u" Apple\u00a0\ufeff"_s},
        {"case", matchRulesOf(u"c"), u"\u00c5NGSTR\u00d6M"_s, u"\u00e5ngstr\u00f6m"_s},
        {"trim Excel trailing spaces", matchRulesOf(u"t"), u"Apple   "_s, u"Apple"_s},
        {"trim NBSP, figure, narrow and ideographic spaces, tab", matchRulesOf(u"t"),
         u"\u00a0\u2007\tApple pie\u202f\u3000"_s, u"Apple pie"_s},
        {"trim keeps inner runs and zero-width space", matchRulesOf(u"t"), u"\u200b a  b "_s,
         u"\u200b a  b"_s},
        {"spaces alike", matchRulesOf(u"s"), u"a \u00a0\tb  c d"_s, u"a b c d"_s},
        {"spaces alike keeps one edge space", matchRulesOf(u"s"), u"  a\t"_s, u" a "_s},
        {"trim and spaces", matchRulesOf(u"ts"), u" New\u00a0 York "_s, u"New York"_s},
        {"invisible BOM inside a line", matchRulesOf(u"i"), u"\ufeffab\ufeffc"_s, u"abc"_s},
        {"invisible joiners, soft hyphen, bidi marks, controls, tag", matchRulesOf(u"i"),
         u"a\u200b\u200d\u00ad\u200e\u202ab\u0001\u007f\u0085\U000E0041c"_s, u"abc"_s},
        {"invisible keeps tab", matchRulesOf(u"i"), u"a\tb"_s, u"a\tb"_s},
        {"invisible before trim", matchRulesOf(u"it"), u" \ufeffapple \u200b"_s, u"apple"_s},
        {"Unicode form composes NFD file name", matchRulesOf(u"u"), u"Cafe\u0301.txt"_s,
         u"Caf\u00e9.txt"_s},
        {"Unicode form keeps composed", matchRulesOf(u"u"), u"Caf\u00e9"_s, u"Caf\u00e9"_s},
        {"Unicode form keeps accents", matchRulesOf(u"u"), u"M\u00fcller"_s, u"M\u00fcller"_s},
        {"accents composed", matchRulesOf(u"a"), u"M\u00fcller"_s, u"Muller"_s},
        {"accents decomposed", matchRulesOf(u"a"), u"Mu\u0308ller"_s, u"Muller"_s},
        {"accents Angstrom", matchRulesOf(u"a"), u"\u00c5ngstr\u00f6m"_s, u"Angstrom"_s},
        {"accents Hangul recomposed", matchRulesOf(u"a"), u"\u1100\u1161"_s, u"\uac00"_s},
        {"letters without decomposition stay", matchRulesOf(u"ac"),
         u"\u0141\u00f8\u00df\u0111\u00d8"_s, u"\u0142\u00f8\u00df\u0111\u00f8"_s},
        {"accents and case", matchRulesOf(u"ac"), u"\u00c5NGSTRO\u0308M"_s, u"angstrom"_s},
        {"every rule", matchRulesOf(u"ctsiua"), u"\ufeff  Jos\u00e9\u00a0\u00a0Mu\u0308LLER "_s,
         u"jose muller"_s},
        {"surrogate pair kept", matchRulesOf(u"itsa"), u" \U0001F600 "_s, u"\U0001F600"_s},

        {"tab field 2", fieldRules(u"", 2, FieldSeparator::Tab), u"7\tann@kelvarn.example\tAnn"_s,
         u"ann@kelvarn.example"_s},
        {"tab missing field is empty", fieldRules(u"", 4, FieldSeparator::Tab), u"a\tb"_s, u""_s},
        {"tab field 1 of a line without tab", fieldRules(u"", 1, FieldSeparator::Tab), u"whole"_s,
         u"whole"_s},
        {"field then trim, accents, case", fieldRules(u"tac", 2, FieldSeparator::Tab),
         u"x\t M\u00fcller \ty"_s, u"muller"_s},
        {"comma quoted field holds the separator", fieldRules(u"", 1, FieldSeparator::Comma),
         u"\"Smith, John\",john@kelvarn.example"_s, u"Smith, John"_s},
        {"comma after a quoted field", fieldRules(u"", 2, FieldSeparator::Comma),
         u"\"Smith, John\",john@kelvarn.example"_s, u"john@kelvarn.example"_s},
        {"comma doubled quote is one quote", fieldRules(u"", 2, FieldSeparator::Comma),
         u"a,\"say \"\"hi\"\"\",c"_s, u"say \"hi\""_s},
        {"comma empty field", fieldRules(u"", 2, FieldSeparator::Comma), u"a,,c"_s, u""_s},
        {"comma quote inside an unquoted field stays", fieldRules(u"", 1, FieldSeparator::Comma),
         u"a\"b,c"_s, u"a\"b"_s},
        {"semicolon quoted", fieldRules(u"", 2, FieldSeparator::Semicolon), u"a;\"b;c\";d"_s,
         u"b;c"_s},
        {"bar ignores quotes", fieldRules(u"", 2, FieldSeparator::Bar), u"\"a|b\"|c"_s, u"b\""_s},
        {"space fields split as awk does", fieldRules(u"", 1, FieldSeparator::Space),
         u" \t one  two\u00a0three"_s, u"one"_s},
        {"space field 3", fieldRules(u"", 3, FieldSeparator::Space), u" \t one  two\u00a0three"_s,
         u"three"_s},
        {"space missing field", fieldRules(u"", 4, FieldSeparator::Space), u"one two three  "_s,
         u""_s},
        {"character separator", fieldRules(u"", 2, FieldSeparator::Character, u':'), u"root:x:0"_s,
         u"x"_s},

        {"e-mail pattern", patternRules(u"c", mail), u"Ann Lee <Ann.Lee@Kelvarn.example>, 2024"_s,
         u"ann.lee@kelvarn.example"_s},
        {"e-mail pattern without a match", patternRules(u"c", mail), u"Ann Lee, no address"_s,
         kNoKey},
        {"pattern takes its first group", patternRules(u"", u"id=(\\d+)"_s),
         u"name=x id=0042 id=7"_s, u"0042"_s},
        {"pattern group that took no part", patternRules(u"", u"(\\d+)|none"_s), u"none here"_s,
         kNoKey},
        {"pattern group that matched empty is the empty key", patternRules(u"", u"x(\\d*)y"_s),
         u"axyb"_s, u""_s},
        {"pattern on a wide entry, then rules", patternRules(u"ta", u":(.*)$"_s),
         u"\u4e00: Mu\u0308ller "_s, u"Muller"_s},
    };
    for (const KeyCase& row : cases) QTest::newRow(row.name) << row.rules << row.entry << row.key;
}

void TestMatchRules::keyFollowsTheRules() {
    QFETCH(MatchRules, rules);
    QFETCH(QString, entry);
    QFETCH(QString, key);

    const List::KeyMaker maker(rules);
    QVERIFY(maker.isValid());
    QString made = u"left over"_s;
    const bool hasKey = maker.keyOf(QStringView(entry), made);
    QCOMPARE(hasKey, !key.isNull());
    if (hasKey) QCOMPARE(made, key);
    QString compareScratch;
    QCOMPARE(maker.hasKey(list_store::ItemText(entry), list_store::ItemText(key), compareScratch),
             hasKey);
    const QString other = key + u"x"_s;
    QVERIFY(
        !maker.hasKey(list_store::ItemText(entry), list_store::ItemText(other), compareScratch));

    // The lists keep an entry of units below 256 as Latin-1 bytes: the same key either way,
    // and the scratch strings are reused across entries without leaking into the next key.
    const auto* units = reinterpret_cast<const char16_t*>(entry.constData());
    QString scratch = u"stale scratch text"_s;
    for (int round = 0; round < 2; ++round) {
        list_store::ItemText viewed;
        QCOMPARE(maker.keyOf(list_store::ItemText(entry), scratch, viewed), hasKey);
        if (hasKey) QCOMPARE(viewed.toString(), key);
        if (list_store::fitsLatin1(units, entry.size())) {
            const QByteArray latin1 = entry.toLatin1();
            QCOMPARE(maker.keyOf(list_store::ItemText(latin1.constData(), latin1.size()), scratch,
                                 viewed),
                     hasKey);
            if (hasKey) QCOMPARE(viewed.toString(), key);
        }
    }
}

void TestMatchRules::caseAloneLowerCasesAsTheSubtractionDoes() {
    const List::KeyMaker maker(matchRulesOf(u"c"));
    for (const QString& entry : {u"Apple"_s, u"\u0130stanbul"_s, u"\u212a\u0178 \u00c4"_s,
                                 u"\u03a3\u039f\u03a3"_s, u""_s, u" x "_s}) {
        QString key;
        QVERIFY(maker.keyOf(QStringView(entry), key));
        QCOMPARE(key, entry.toLower());
    }
    // ASCII in Latin-1 bytes goes eight at a time: every unit, at every place in a word.
    QString ascii;
    for (char16_t unit = 0; unit < 0x80; ++unit) ascii.append(QChar(unit));
    for (qsizetype from = 0; from < 9; ++from) {
        const QByteArray bytes = ascii.mid(from).toLatin1();
        QString scratch;
        list_store::ItemText key;
        QVERIFY(maker.keyOf(list_store::ItemText(bytes.constData(), bytes.size()), scratch, key));
        QCOMPARE(key.toString(), ascii.mid(from).toLower());
    }
    // Latin-1 is lowered by a table of its own, in both stored forms.
    for (char16_t unit = 0x80; unit < 0x100; ++unit) {
        const QString entry = u"aB"_s + QChar(unit) + u"C"_s;
        const QByteArray latin1 = entry.toLatin1();
        QString scratch;
        list_store::ItemText key;
        QVERIFY(maker.keyOf(list_store::ItemText(latin1.constData(), latin1.size()), scratch, key));
        QCOMPARE(key.toString(), entry.toLower());
        QVERIFY(maker.keyOf(list_store::ItemText(entry), scratch, key));
        QCOMPARE(key.toString(), entry.toLower());
    }
}

// Latin-1 entries take a table of their own; it must agree with decomposition, marks dropped,
// and composition, letter by letter.
void TestMatchRules::accentsOfLatin1AsTheUnicodeTablesGiveThem() {
    const List::KeyMaker maker(matchRulesOf(u"a"));
    for (char16_t unit = 0xA0; unit < 0x100; ++unit) {
        const QString entry = u"x"_s + QChar(unit) + u"y"_s;
        QString expected;
        for (const QChar c : entry.normalized(QString::NormalizationForm_D)) {
            if (!c.isMark()) expected.append(c);
        }
        QString key;
        QVERIFY(maker.keyOf(QStringView(entry), key));
        QCOMPARE(key, expected.normalized(QString::NormalizationForm_C));
    }
}

// Look-ups take the key of a printable ASCII entry as a view of it, its case folded as it is
// hashed and compared: on random entries, near that path's edges and beyond them, that must
// give what the keys themselves give.
void TestMatchRules::keyViewsHashAndCompareAsTheKeys() {
    // Groups of entries that differ in case, edge and doubled spaces, and in a third of them in
    // something beyond printable ASCII, so that keys both differ and agree.
    const QStringView beyond = u"\t\u007f\u00a0\u00e9\u00c9\u0301\u200b\u212a,\"";
    QRandomGenerator random(25);
    QStringList entries;
    for (int group = 0; group < 60; ++group) {
        QString base;
        const int size = int(random.bounded(20));
        for (int k = 0; k < size; ++k) base.append(QChar(u'a' + random.bounded(3)));
        if (size > 2) base[size / 2] = u' ';
        for (int variant = 0; variant < 5; ++variant) {
            QString entry = base;
            for (QChar& unit : entry) {
                if (random.bounded(2)) unit = unit.toUpper();
            }
            if (random.bounded(2)) entry.prepend(u' ');
            if (random.bounded(2)) entry.append(u"  "_s);
            if (size > 2 && random.bounded(4) == 0) entry.insert(size / 2, u' ');
            if (group % 3 == 0 && random.bounded(2)) {
                entry.insert(random.bounded(int(entry.size()) + 1),
                             beyond[random.bounded(int(beyond.size()))]);
            }
            entries << entry;
        }
    }
    for (const QString& letters : {u"c"_s, u"t"_s, u"tc"_s, u"ac"_s, u"sc"_s, u"tsiuac"_s}) {
        for (const MatchRules& rules :
             {matchRulesOf(letters), fieldRules(letters, 2, FieldSeparator::Comma)}) {
            const List::KeyMaker maker(rules);
            std::vector<QString> keys;
            std::vector<QByteArray> stored;  // as the lists keep them, Latin-1 where they can
            for (const QString& entry : entries) {
                QString key;
                QVERIFY(maker.keyOf(QStringView(entry), key));
                keys.push_back(key);
                const auto* wide = reinterpret_cast<const char16_t*>(entry.constData());
                stored.push_back(list_store::fitsLatin1(wide, entry.size()) ? entry.toLatin1()
                                                                            : QByteArray());
            }
            const auto viewOf = [&](size_t n, QString& scratch) {
                List::KeyView view;
                const list_store::ItemText entry =
                    stored[n].isNull()
                        ? list_store::ItemText(entries[qsizetype(n)])
                        : list_store::ItemText(stored[n].constData(), stored[n].size());
                [&] { QVERIFY(maker.keyOf(entry, scratch, view)); }();
                return view;
            };
            QString scratch;
            QString otherScratch;
            for (size_t a = 0; a < keys.size(); ++a) {
                const List::KeyView view = viewOf(a, scratch);
                QCOMPARE(List::hashKey(view), List::hashText(list_store::ItemText(keys[a])));
                QVERIFY(List::sameKey(view, {list_store::ItemText(keys[a])}));
                for (size_t b = a - a % 5; b < a - a % 5 + 5; ++b) {
                    const List::KeyView other = viewOf(b, otherScratch);
                    QCOMPARE(List::sameKey(view, other), keys[a] == keys[b]);
                    QCOMPARE(List::sameKey(view, {list_store::ItemText(keys[b])}),
                             keys[a] == keys[b]);
                }
            }
        }
    }
}

void TestMatchRules::plainOnlyWithoutRulesBeyondCase() {
    QVERIFY(List::KeyMaker(matchRulesOf(u"")).isPlain());
    QVERIFY(List::KeyMaker(matchRulesOf(u"c")).isPlain());
    for (const QString& letters : {u"t"_s, u"s"_s, u"i"_s, u"u"_s, u"a"_s}) {
        QVERIFY2(!List::KeyMaker(matchRulesOf(letters)).isPlain(), qPrintable(letters));
        QVERIFY(matchRulesOf(letters).beyondCase());
    }
    QVERIFY(!List::KeyMaker(fieldRules(u"", 1, FieldSeparator::Tab)).isPlain());
    QVERIFY(!List::KeyMaker(patternRules(u"", u"."_s)).isPlain());
}

void TestMatchRules::wrongPatternOrFieldMakesNoKeys_data() {
    QTest::addColumn<MatchRules>("rules");
    QTest::addColumn<QString>("error");
    QTest::addColumn<int>("offset");

    QTest::newRow("unclosed group")
        << patternRules(u"", u"ab(c"_s) << u"missing closing parenthesis"_s << 4;
    QTest::newRow("nothing to repeat")
        << patternRules(u"", u"x|*"_s) << u"quantifier does not follow a repeatable item"_s << 2;
    QTest::newRow("empty pattern") << patternRules(u"", u""_s) << u"empty pattern"_s << 0;
    QTest::newRow("field 0") << fieldRules(u"", 0, FieldSeparator::Tab) << QString() << -1;
    QTest::newRow("no separator character")
        << fieldRules(u"", 1, FieldSeparator::Character) << QString() << -1;
}

void TestMatchRules::wrongPatternOrFieldMakesNoKeys() {
    QFETCH(MatchRules, rules);
    QFETCH(QString, error);
    QFETCH(int, offset);

    if (!error.isNull()) {
        const List::PatternCheck check = List::checkPattern(rules.pattern);
        QVERIFY(!check.valid);
        QCOMPARE(check.errorText, error);
        QCOMPARE(check.offset, offset);
    }
    QVERIFY(!rules.isValid());
    const List::KeyMaker maker(rules);
    QVERIFY(!maker.isValid());
    QString key;
    QVERIFY(!maker.keyOf(u"ab(c\tx", key));
}

void TestMatchRules::describesTheRulesBriefly_data() {
    QTest::addColumn<MatchRules>("rules");
    QTest::addColumn<QString>("text");

    QTest::newRow("none") << matchRulesOf(u"") << u""_s;
    QTest::newRow("case alone is not told") << matchRulesOf(u"c") << u""_s;
    QTest::newRow("trim and accents") << matchRulesOf(u"ta") << u"accents, edge spaces ignored"_s;
    QTest::newRow("Unicode form") << matchRulesOf(u"iu") << u"invisibles, Unicode form ignored"_s;
    QTest::newRow("spaces alike") << matchRulesOf(u"s") << u"spaces alike"_s;
    QTest::newRow("field") << fieldRules(u"s", 2, FieldSeparator::Tab)
                           << u"field 2 by tab, spaces alike"_s;
    QTest::newRow("character") << fieldRules(u"", 3, FieldSeparator::Character, u':')
                               << u"field 3 by ':'"_s;
    QTest::newRow("pattern") << patternRules(u"t", u"."_s)
                             << u"key by pattern, edge spaces ignored"_s;
}

void TestMatchRules::describesTheRulesBriefly() {
    QFETCH(MatchRules, rules);
    QFETCH(QString, text);
    QCOMPARE(List::describeRules(rules), text);
}

QTEST_APPLESS_MAIN(TestMatchRules)
#include "tst_match_rules.moc"
