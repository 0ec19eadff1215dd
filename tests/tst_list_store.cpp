#include <QAbstractItemModelTester>
#include <QFile>
#include <QSignalSpy>
#include <QtTest>
#include <algorithm>
#include <optional>
#include <vector>

#include "list_helpers.h"
#include "list_store/flat_array.h"
#include "list_store/list_model.h"
#include "list_store/list_store.h"
#include "platform/failure.h"

using namespace Qt::Literals::StringLiterals;
using list_store::ListModel;

// A store with the model a view shows it through, as the list control holds them.
struct ShownList : list_store::ListStore {
    ListModel shown{*this};
};

// The same, with a column, under Qt's model tester.
struct TestedList : ShownList {
    QAbstractItemModelTester tester{&shown, QAbstractItemModelTester::FailureReportingMode::QtTest};
    TestedList() { shown.addColumn(u"Items"_s); }
};

namespace {

// The texts as a view shows them, through the model's display role.
QStringList shownTexts(const ListModel& model) {
    QStringList texts;
    for (int row = 0; row < model.rowCount(); ++row) {
        texts.append(model.data(model.index(row, 0), Qt::DisplayRole).toString());
    }
    return texts;
}

// The items whole, as the list keeps them (the view may show them shortened).
QStringList itemsOf(const list_store::ItemList& model) {
    QStringList items;
    for (int position = 1; position <= model.count(); ++position) {
        items.append(model.text(position));
    }
    return items;
}

// "item 1" to "item <count>".
QStringList items(int count) {
    return numbered(u"item "_s, count, 1, 1);
}

}  // namespace

class TestListStore : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void largeArraysKeepTheirValuesAndStartOnAHugePage_data();
    void largeArraysKeepTheirValuesAndStartOnAHugePage();
    void keepsViewsConsistentThroughEveryChange_data();
    void keepsViewsConsistentThroughEveryChange();
    void announcesFewRunsOneByOneAndManyRunsAsOneReset_data();
    void announcesFewRunsOneByOneAndManyRunsAsOneReset();
    void refusesBadPositionsWithoutChangingAnything_data();
    void refusesBadPositionsWithoutChangingAnything();
    void generationsTellRemovalsFromAppends();
    void readsRangesOfTextsInBulk_data();
    void readsRangesOfTextsInBulk();
    void takingABlockGivesWhatCopyingItGives_data();
    void takingABlockGivesWhatCopyingItGives();
    void takenPositionsGoBackWhereTheyWere_data();
    void takenPositionsGoBackWhereTheyWere();
    void keepsEveryKindOfTextExactly_data();
    void keepsEveryKindOfTextExactly();
    void randomTakesAndInsertsMatchASimpleList();
    void lastItemsAndWholeListsMoveOutAndBack();
    void aRecorderIsToldEveryChangeInCompactForm();
    void aRecorderHearsOfABlockTakenWhole();
    void insertRefusesPositionsThatCannotHold();
    void aRearrangementIsToldAsWhereEachItemStood();
    void reorderRefusesOrdersThatDoNotFit_data();
    void reorderRefusesOrdersThatDoNotFit();
    void aLongListChangesInStepsThatReadConsistently();
};

void TestListStore::takingABlockGivesWhatCopyingItGives_data() {
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QStringList>("taken");
    QTest::newRow("into an empty list") << QStringList() << QStringList{u"a"_s, u""_s, u"bc"_s};
    QTest::newRow("after items") << QStringList{u"x"_s} << QStringList{u"a"_s, u"bc"_s};
    QTest::newRow("empty texts only") << QStringList() << QStringList{u""_s, u""_s};
    QTest::newRow("empty block") << QStringList{u"x"_s} << QStringList();
    const QString longText(5 << 20, u'w');
    QTest::newRow("long text into an empty list") << QStringList() << QStringList{longText, u"b"_s};
    QTest::newRow("long text after items") << QStringList{u"x"_s} << QStringList{longText};
}

void TestListStore::takingABlockGivesWhatCopyingItGives() {
    QFETCH(QStringList, before);
    QFETCH(QStringList, taken);
    TestedList model;
    for (const QString& text : before) model.append(text);
    const quint64 changes = model.changeGeneration();
    list_store::TextBlock block;
    for (const QString& text : taken) block.add(text);
    model.takeBlock(block);
    QVERIFY(block.isEmpty());
    QCOMPARE(block.byteCount(), 0);
    QCOMPARE(itemsOf(model), before + taken);
    QCOMPARE(model.changeGeneration() > changes, !taken.isEmpty());
    // Both go on working: the list grows, the block fills again.
    model.append(u"more"_s);
    block.add(u"again"_s);
    model.takeBlock(block);
    QCOMPARE(itemsOf(model), (before + taken + QStringList{u"more"_s, u"again"_s}));
}

void TestListStore::keepsViewsConsistentThroughEveryChange_data() {
    QTest::addColumn<std::vector<int>>("positions");
    QTest::newRow("one run at the start") << std::vector<int>{1, 2, 3};
    QTest::newRow("one run at the end") << std::vector<int>{18, 19, 20};
    QTest::newRow("few runs") << std::vector<int>{2, 3, 7, 12, 13, 14, 20};
    QTest::newRow("many runs") << std::vector<int>{1, 3, 5, 7, 9, 11, 13, 15, 17, 19};
    QTest::newRow("every item") << [] {
        std::vector<int> all;
        for (int p = 1; p <= 20; ++p) all.push_back(p);
        return all;
    }();
}

void TestListStore::keepsViewsConsistentThroughEveryChange() {
    QFETCH(std::vector<int>, positions);
    TestedList model;

    QStringList expected = items(20);
    for (qsizetype k = 0; k < 5; ++k) model.append(expected.at(k));
    list_store::TextBlock block;
    for (qsizetype k = 5; k < expected.size(); ++k) block.add(expected.at(k));
    model.appendBlock(block);
    QCOMPARE(shownTexts(model.shown), expected);

    model.removePositions(positions);
    for (auto it = positions.rbegin(); it != positions.rend(); ++it) expected.removeAt(*it - 1);
    QCOMPARE(shownTexts(model.shown), expected);

    if (model.count() > 0) {
        model.removeAt(1);
        expected.removeFirst();
        QCOMPARE(shownTexts(model.shown), expected);
    }
    model.append(u""_s);
    expected.append(u""_s);
    QCOMPARE(shownTexts(model.shown), expected);

    model.clear();
    QCOMPARE(model.shown.rowCount(), 0);
    model.append(u"again"_s);
    QCOMPARE(shownTexts(model.shown), QStringList{u"again"_s});
}

void TestListStore::announcesFewRunsOneByOneAndManyRunsAsOneReset_data() {
    QTest::addColumn<std::vector<int>>("positions");
    QTest::addColumn<int>("removalSignals");
    QTest::addColumn<int>("resets");
    QTest::newRow("one run") << std::vector<int>{4, 5, 6} << 1 << 0;
    QTest::newRow("three runs") << std::vector<int>{1, 5, 6, 30} << 3 << 0;
    QTest::newRow("many runs") << [] {
        std::vector<int> odd;
        for (int p = 1; p <= 39; p += 2) odd.push_back(p);
        return odd;
    }() << 0 << 1;
}

void TestListStore::announcesFewRunsOneByOneAndManyRunsAsOneReset() {
    QFETCH(std::vector<int>, positions);
    QFETCH(int, removalSignals);
    QFETCH(int, resets);
    ShownList model;
    model.shown.addColumn(u"Items"_s);
    for (const QString& text : items(40)) model.append(text);
    QSignalSpy removed(&model.shown, &QAbstractItemModel::rowsRemoved);
    QSignalSpy reset(&model.shown, &QAbstractItemModel::modelReset);

    model.removePositions(positions);

    QCOMPARE(removed.count(), removalSignals);
    QCOMPARE(reset.count(), resets);
    QCOMPARE(model.count(), 40 - int(positions.size()));
}

void TestListStore::refusesBadPositionsWithoutChangingAnything_data() {
    QTest::addColumn<std::vector<int>>("positions");
    QTest::newRow("zero") << std::vector<int>{0, 1};
    QTest::newRow("beyond the end") << std::vector<int>{2, 6};
    QTest::newRow("not rising") << std::vector<int>{3, 2};
    QTest::newRow("repeated") << std::vector<int>{2, 2};
}

void TestListStore::refusesBadPositionsWithoutChangingAnything() {
    QFETCH(std::vector<int>, positions);
    ShownList model;
    model.shown.addColumn(u"Items"_s);
    for (const QString& text : items(5)) model.append(text);
    // The analyzer takes every path through QVERIFY_THROWS_EXCEPTION for one that returns, so it
    // misses the comparison below.
    // NOLINTNEXTLINE(clang-analyzer-deadcode.DeadStores)
    const quint64 removals = model.removalGeneration();

    QVERIFY_THROWS_EXCEPTION(platform::Failure, model.removePositions(positions));

    QCOMPARE(shownTexts(model.shown), items(5));
    QCOMPARE(model.removalGeneration(), removals);
}

void TestListStore::generationsTellRemovalsFromAppends() {
    ShownList model;
    const quint64 removals = model.removalGeneration();
    const quint64 changes = model.changeGeneration();

    model.append(u"a"_s);
    model.append(u"b"_s);
    QCOMPARE(model.removalGeneration(), removals);
    QVERIFY(model.changeGeneration() > changes);

    const quint64 afterAppends = model.changeGeneration();
    const int first[] = {1};
    model.removePositions(first);
    QVERIFY(model.removalGeneration() > removals);
    QVERIFY(model.changeGeneration() > afterAppends);
}

void TestListStore::takenPositionsGoBackWhereTheyWere_data() {
    keepsViewsConsistentThroughEveryChange_data();
}

void TestListStore::takenPositionsGoBackWhereTheyWere() {
    QFETCH(std::vector<int>, positions);
    TestedList model;
    QStringList all = items(20);
    all[3] = QString();  // an empty item moves like any other
    for (const QString& text : all) model.append(text);

    list_store::TextBlock taken;
    model.takePositions(positions, taken);
    QStringList expected = all;
    QStringList takenTexts;
    for (auto it = positions.rbegin(); it != positions.rend(); ++it) {
        takenTexts.prepend(expected.takeAt(*it - 1));
    }
    QCOMPARE(shownTexts(model.shown), expected);
    QCOMPARE(taken.count(), qsizetype(positions.size()));
    for (qsizetype k = 0; k < taken.count(); ++k) QCOMPARE(taken.text(k), takenTexts.at(k));

    const quint64 removals = model.removalGeneration();
    model.insertAt(positions, taken);
    QCOMPARE(shownTexts(model.shown), all);
    // Items moved under positions taken before: the engine's look-ups must notice.
    QVERIFY(model.removalGeneration() > removals);
}

// Positions and texts drawn at random, checked against a QStringList doing the same one item at
// a time.
void TestListStore::keepsEveryKindOfTextExactly_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("wide");  // whether it needs UTF-16 in the store
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("ASCII, odd length") << u"abc"_s << false;
    QTest::newRow("Latin-1 beyond ASCII") << u"\u00e9t\u00e9 \u00ff\u0080"_s << false;
    QTest::newRow("NUL") << u"a\u0000b\u0000"_s << false;
    QTest::newRow("beyond Latin-1") << u"a\u20acb"_s << true;
    QTest::newRow("surrogate pair") << u"x\U0001F600"_s << true;
    QTest::newRow("lone surrogate") << (QString(QChar(0xD83D)) + u"x"_s) << true;
    QTest::newRow("escaped byte") << (u"a"_s + QString(QChar(0xDCFF))) << true;
    QTest::newRow("one unit beyond Latin-1 at the end") << u"aaaaaaaaa\u0100"_s << true;
}

// Each text is read back as it was, whichever way it went into the store and came out, and
// its stored form is Latin-1 exactly when every unit fits.
void TestListStore::keepsEveryKindOfTextExactly() {
    QFETCH(QString, text);
    QFETCH(bool, wide);
    TestedList model;
    // Odd neighbours put every text after padding once.
    model.append(u"x"_s);
    model.append(text);
    list_store::TextBlock block;
    block.add(u"yyy"_s);
    block.add(text);
    block.appendToLast(QStringView(text).first(text.size() / 2));
    block.appendToLast(QStringView(text).sliced(text.size() / 2));
    block.finishText();
    model.appendBlock(block);
    const QStringList expected{u"x"_s, text, u"yyy"_s, text, text};
    QCOMPARE(itemsOf(model), expected);
    QCOMPARE(model.textView(2).isWide(), wide);
    QCOMPARE(model.textView(5).isWide(), wide);
    QVERIFY(model.textView(2) == list_store::ItemText(text));
    QCOMPARE(model.textLength(1, 5), qint64(expected.join(QString()).size()));
    QString lines;
    model.appendLines(lines, 1, 5, u"\n");
    QCOMPARE(lines, expected.join(u'\n') + u'\n');
    QCOMPARE(model.shown.data(model.shown.index(1, 0), Qt::DisplayRole).toString(), text);

    // Out and back in: removals, insertions, the last items and the whole list.
    list_store::TextBlock taken;
    const int positions[] = {2, 4};
    model.takePositions(positions, taken);
    QCOMPARE(itemsOf(model), (QStringList{u"x"_s, u"yyy"_s, text}));
    model.insertAt(positions, taken);
    QCOMPARE(itemsOf(model), expected);
    list_store::TextBlock last;
    model.takeLast(2, &last);
    model.appendBlock(last);
    QCOMPARE(itemsOf(model), expected);
    list_store::TextBlock all;
    model.takeAll(all);
    model.restoreAll(all);
    QCOMPARE(itemsOf(model), expected);
    model.removeAt(1);
    QCOMPARE(itemsOf(model), expected.mid(1));
}

void TestListStore::randomTakesAndInsertsMatchASimpleList() {
    ShownList model;
    model.shown.addColumn(u"Items"_s);
    QStringList simple;
    quint32 seed = 12345;
    const auto random = [&seed](quint32 bound) {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) % bound;
    };
    for (int round = 0; round < 300; ++round) {
        if (simple.isEmpty() || random(3) == 0) {
            // Insert between 1 and 40 new texts at rising final positions.
            const int adding = 1 + int(random(40));
            const int total = int(simple.size()) + adding;
            std::vector<int> positions;
            for (int p = 1; p <= total && int(positions.size()) < adding; ++p) {
                const int left = adding - int(positions.size());
                if (total - p + 1 == left || random(2) == 0) positions.push_back(p);
            }
            list_store::TextBlock block;
            // Units of both stored forms, so that Latin-1 and UTF-16 texts of odd and even
            // lengths stand side by side and move together.
            static const char16_t kUnits[] = {u'a', u'q', 0x00E9, 0x0000, 0x20AC, 0xDC80};
            for (int k = 0; k < adding; ++k) {
                const QString text = QString(int(random(5)), QChar(kUnits[random(6)])) +
                                     QString::number(round * 100 + k);
                block.add(text);
                simple.insert(positions[size_t(k)] - 1, text);
            }
            model.insertAt(positions, block);
        } else {
            std::vector<int> positions;
            for (int p = 1; p <= simple.size(); ++p) {
                if (random(4) == 0) positions.push_back(p);
            }
            list_store::TextBlock taken;
            model.takePositions(positions, taken);
            QCOMPARE(taken.count(), qsizetype(positions.size()));
            for (size_t k = 0; k < positions.size(); ++k) {
                QCOMPARE(taken.text(qsizetype(k)), simple.at(positions[k] - 1));
            }
            for (auto it = positions.rbegin(); it != positions.rend(); ++it) {
                simple.removeAt(*it - 1);
            }
        }
        QCOMPARE(shownTexts(model.shown), simple);
    }
}

void TestListStore::lastItemsAndWholeListsMoveOutAndBack() {
    TestedList model;
    const QStringList all = items(10);
    for (const QString& text : all) model.append(text);

    list_store::TextBlock last;
    model.takeLast(4, &last);
    QCOMPARE(shownTexts(model.shown), all.first(6));
    QCOMPARE(last.count(), 4);
    QCOMPARE(last.text(0), all.at(6));
    model.appendBlock(last);
    QCOMPARE(shownTexts(model.shown), all);
    model.takeLast(3, nullptr);
    QCOMPARE(shownTexts(model.shown), all.first(7));
    QVERIFY_THROWS_EXCEPTION(platform::Failure, model.takeLast(8, nullptr));

    list_store::TextBlock whole;
    model.takeAll(whole);
    QCOMPARE(model.count(), 0);
    QCOMPARE(whole.count(), 7);
    QCOMPARE(whole.text(6), all.at(6));
    model.restoreAll(whole);
    QCOMPARE(shownTexts(model.shown), all.first(7));
    QVERIFY(whole.isEmpty());
    // Restoring into a list that holds items would mix two lists: refused.
    list_store::TextBlock other;
    other.add(u"x"_s);
    QVERIFY_THROWS_EXCEPTION(platform::Failure, model.restoreAll(other));
    QCOMPARE(shownTexts(model.shown), all.first(7));
}

namespace {
struct Told : list_store::ChangeRecorder {
    void appended(int count, qint64 units) override {
        said.append(u"appended %1 of %2"_s.arg(count).arg(units));
    }
    void removed(list_store::FlatArray<int>&& positions, list_store::TextBlock&& texts) override {
        QStringList parts;
        for (qsizetype k = 0; k < positions.size(); ++k) {
            parts.append(u"%1:%2"_s.arg(positions[k]).arg(texts.text(k).toString()));
        }
        said.append(u"removed "_s + parts.join(u' '));
    }
    void cleared(list_store::TextBlock&& texts) override {
        said.append(u"cleared %1"_s.arg(texts.count()));
    }
    void reordered(list_store::FlatArray<int>&& from) override {
        QStringList parts;
        for (qsizetype k = 0; k < from.size(); ++k) parts.append(QString::number(from[k]));
        said.append(u"reordered "_s + parts.join(u' '));
    }
    void lost() override { said.append(u"lost"_s); }
    QStringList said;
};
}  // namespace

void TestListStore::aRecorderIsToldEveryChangeInCompactForm() {
    ShownList model;
    Told told;
    model.setRecorder(&told);
    model.append(u"ab"_s);
    list_store::TextBlock block;
    block.add(u"cde"_s);
    block.add(u"f"_s);
    model.appendBlock(block);
    model.removeAt(2);
    const int positions[] = {1, 2};
    model.removePositions(positions);
    model.append(u"g"_s);
    model.clear();
    model.setRecorder(nullptr);
    model.append(u"not told"_s);
    // Appended sizes are what the store grew by, with the byte that keeps "f" at an even offset.
    QCOMPARE(told.said, (QStringList{u"appended 1 of 2"_s, u"appended 2 of 5"_s, u"removed 2:cde"_s,
                                     u"removed 1:ab 2:f"_s, u"appended 1 of 1"_s, u"cleared 1"_s}));
}

// An empty list takes a large block's storage as its own; the recorder hears of it all the same.
void TestListStore::aRecorderHearsOfABlockTakenWhole() {
    ShownList model;
    Told told;
    model.setRecorder(&told);
    list_store::TextBlock block;
    block.add(QString(5 << 20, u'x'));
    block.add(u"y"_s);
    model.takeBlock(block);
    QCOMPARE(model.count(), 2);
    QCOMPARE(told.said, QStringList{u"appended 2 of %1"_s.arg((5 << 20) + 1)});
}

void TestListStore::insertRefusesPositionsThatCannotHold() {
    ShownList model;
    model.shown.addColumn(u"Items"_s);
    for (const QString& text : items(3)) model.append(text);
    list_store::TextBlock two;
    two.add(u"x"_s);
    two.add(u"y"_s);
    const int beyond[] = {2, 6};  // a list of 5 afterwards has no position 6
    QVERIFY_THROWS_EXCEPTION(platform::Failure, model.insertAt(beyond, two));
    const int one[] = {1};
    QVERIFY_THROWS_EXCEPTION(platform::Failure, model.insertAt(one, two));
    QCOMPARE(shownTexts(model.shown), items(3));
    const int ends[] = {1, 5};
    model.insertAt(ends, two);
    QCOMPARE(shownTexts(model.shown),
             (QStringList{u"x"_s, u"item 1"_s, u"item 2"_s, u"item 3"_s, u"y"_s}));
}

// The sorted texts replace the list's in one reset; what the recorder hears takes it back.
void TestListStore::aRearrangementIsToldAsWhereEachItemStood() {
    ShownList model;
    model.shown.addColumn(u"Items"_s);
    fill(model, {u"c"_s, u"a"_s, QString(), u"b"_s});
    Told told;
    model.setRecorder(&told);
    QSignalSpy resets(&model.shown, &QAbstractItemModel::modelReset);
    list_store::TextBlock arranged;
    for (const QString& text : {QString(), u"a"_s, u"b"_s, u"c"_s}) arranged.add(text);
    list_store::FlatArray<int> from;
    for (const int position : {3, 2, 4, 1}) from.append(position);
    model.rearrange(arranged, std::move(from));
    QCOMPARE(shownTexts(model.shown), (QStringList{QString(), u"a"_s, u"b"_s, u"c"_s}));
    QVERIFY(arranged.isEmpty());
    QCOMPARE(resets.size(), 1);
    QCOMPARE(told.said, QStringList{u"reordered 3 2 4 1"_s});
    // Where each item went, read the other way round, puts them back.
    const int back[] = {4, 2, 1, 3};
    model.reorder(back);
    QCOMPARE(shownTexts(model.shown), (QStringList{u"c"_s, u"a"_s, QString(), u"b"_s}));
    QCOMPARE(told.said.size(), 1);  // taking a change back is not itself told
    // Or read as told: each item goes back to the position it came from, wide texts too.
    ShownList other;
    other.shown.addColumn(u"Items"_s);
    fill(other, {u"\u4e2d"_s, u"x"_s, QString(), u"\u00e9t\u00e9"_s});
    const int order[] = {3, 4, 1, 2};
    other.reorder(order);
    QCOMPARE(shownTexts(other.shown),
             (QStringList{QString(), u"\u00e9t\u00e9"_s, u"\u4e2d"_s, u"x"_s}));
    other.restoreOrder(order);
    QCOMPARE(shownTexts(other.shown),
             (QStringList{u"\u4e2d"_s, u"x"_s, QString(), u"\u00e9t\u00e9"_s}));
}

void TestListStore::reorderRefusesOrdersThatDoNotFit_data() {
    QTest::addColumn<QList<int>>("order");
    QTest::newRow("too few") << QList<int>{2, 1};
    QTest::newRow("too many") << QList<int>{2, 1, 3, 4};
    QTest::newRow("a position twice") << QList<int>{1, 1, 3};
    QTest::newRow("position 0") << QList<int>{0, 1, 2};
    QTest::newRow("beyond the end") << QList<int>{1, 2, 4};
}

// A wrong order would duplicate some items and lose others: refused, the list unchanged.
void TestListStore::reorderRefusesOrdersThatDoNotFit() {
    QFETCH(QList<int>, order);
    ShownList model;
    model.shown.addColumn(u"Items"_s);
    fill(model, {u"x"_s, u"yy"_s, u"z"_s});
    QVERIFY_THROWS_EXCEPTION(platform::Failure,
                             model.reorder(std::span<const int>(order.data(), order.size())));
    QCOMPARE(shownTexts(model.shown), (QStringList{u"x"_s, u"yy"_s, u"z"_s}));
    // A block of other texts, or of another size, cannot take the list's place either.
    list_store::TextBlock arranged;
    for (const QString& text : {u"yy"_s, u"xx"_s, u"z"_s}) arranged.add(text);
    list_store::FlatArray<int> from;
    for (const int position : {2, 1, 3}) from.append(position);
    QVERIFY_THROWS_EXCEPTION(platform::Failure, model.rearrange(arranged, std::move(from)));
    QCOMPARE(shownTexts(model.shown), (QStringList{u"x"_s, u"yy"_s, u"z"_s}));
}

void TestListStore::readsRangesOfTextsInBulk_data() {
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::newRow("all") << 1 << 4;
    QTest::newRow("one in the middle") << 2 << 2;
    QTest::newRow("the empty one") << 3 << 3;
    QTest::newRow("to the end") << 3 << 4;
    QTest::newRow("none") << 3 << 2;
}

// The bulk reads must agree with reading item by item, which the interface does by default.
void TestListStore::readsRangesOfTextsInBulk() {
    QFETCH(int, first);
    QFETCH(int, last);
    ShownList model;
    const QStringList texts{u"alpha"_s, u" b "_s, QString(), u"d\u00e9"_s};
    for (const QString& text : texts) model.append(text);
    const list_store::ItemList& items = model;
    QString bulk = u"kept|"_s;
    items.appendLines(bulk, first, last, u"\r\n");
    QString oneByOne = u"kept|"_s;
    qint64 length = 0;
    for (int position = first; position <= last; ++position) {
        oneByOne += texts[position - 1] + u"\r\n"_s;
        length += texts[position - 1].size();
    }
    QCOMPARE(bulk, oneByOne);
    QCOMPARE(items.textLength(first, last), length);
    QVERIFY_THROWS_EXCEPTION(platform::Failure, items.textLength(0, 2));
    QString untouched;
    QVERIFY_THROWS_EXCEPTION(platform::Failure, items.appendLines(untouched, 2, 5, u"\n"));
    QVERIFY(untouched.isEmpty());
}

// Taking out, putting back and reordering the items of a list of more than a million go in
// steps, each followed by a call that may read the list. Between steps every read finds the
// special items (those taken out or put back) missing below some point and present above it,
// every other item in its order, and the views told of exactly the rows there are.
void TestListStore::aLongListChangesInStepsThatReadConsistently() {
    constexpr int kItems = 1'300'000;
    const auto textOf = [](int k) {
        // Some items wider than Latin-1, so that both stored forms move past each other.
        return k % 7 == 0 ? QString::number(k) + u"\u0416"_s : QString::number(k);
    };
    std::vector<int> special;
    special.reserve(kItems / 3 + 100);
    for (int k = 2; k <= kItems; k += 3) special.push_back(k);
    for (int k = 700'001; k <= 700'100; ++k) {
        if (k % 3 != 2) special.push_back(k);  // a run of neighbours too
    }
    std::sort(special.begin(), special.end());
    std::vector<bool> isSpecial(size_t(kItems) + 1, false);
    for (int k : special) isSpecial[size_t(k)] = true;

    ShownList list;
    list_store::TextBlock all;
    for (int k = 1; k <= kItems; ++k) all.add(list_store::ItemText(textOf(k)));
    list.appendBlock(all);
    const auto readsConsistently = [&] {
        if (list.shown.rowCount() != list.count()) return false;
        int position = 1;
        bool pastThePoint = false;
        for (int k = 1; k <= kItems; ++k) {
            if (position <= list.count() &&
                list.textView(position) == list_store::ItemText(textOf(k))) {
                pastThePoint = pastThePoint || isSpecial[size_t(k)];
                ++position;
            } else if (pastThePoint || !isSpecial[size_t(k)]) {
                return false;
            }
        }
        return position == list.count() + 1;
    };
    int midway = 0;
    const auto between = [&] {
        QVERIFY(readsConsistently());
        ++midway;
    };

    list_store::TextBlock taken;
    list.takePositions(special, taken, between);
    QVERIFY(midway >= 2);
    QCOMPARE(list.count(), kItems - int(special.size()));
    QCOMPARE(taken.count(), qsizetype(special.size()));
    QVERIFY(readsConsistently());

    midway = 0;
    list.insertAt(special, taken, between);
    QVERIFY(midway >= 2);
    QCOMPARE(list.count(), kItems);
    for (int k = 1; k <= kItems; ++k) {
        if (list.textView(k) != list_store::ItemText(textOf(k))) {
            QFAIL(qPrintable(u"item %1 is not back in its place"_s.arg(k)));
        }
    }

    // A reorder is worked out aside while the list stays as it was.
    std::vector<int> reversed(static_cast<size_t>(kItems));
    for (int k = 0; k < kItems; ++k) reversed[size_t(k)] = kItems - k;
    list.reorder(reversed, [&] {
        QCOMPARE(list.count(), kItems);
        QCOMPARE(list.textView(kItems), list_store::ItemText(textOf(kItems)));
    });
    for (int k = 1; k <= kItems; ++k) {
        if (list.textView(k) != list_store::ItemText(textOf(kItems + 1 - k))) {
            QFAIL(qPrintable(u"item %1 is not reversed"_s.arg(k)));
        }
    }
    // Taking a reorder back is worked out aside too; each item goes back to where it stood.
    std::vector<int> rotated(static_cast<size_t>(kItems));
    for (int k = 0; k < kItems; ++k) rotated[size_t(k)] = (k + 1) % kItems + 1;
    list.reorder(rotated);
    list.restoreOrder(rotated, [&] {
        QCOMPARE(list.count(), kItems);
        QCOMPARE(list.textView(1), list_store::ItemText(textOf(kItems - 1)));
    });
    for (int k = 1; k <= kItems; ++k) {
        if (list.textView(k) != list_store::ItemText(textOf(kItems + 1 - k))) {
            QFAIL(qPrintable(u"item %1 is not back in its place"_s.arg(k)));
        }
    }
}

// A large array lives in a mapping of its own that starts on a huge-page boundary, so that it
// can be held in huge pages; growing moves its pages to a new such mapping, and shrinking keeps
// them where they are. Whatever happens, the values stay.
#ifdef Q_OS_LINUX
// Whether the system may give the mapping holding `address` huge pages ("THPeligible" in
// /proc/self/smaps); nothing when it does not say.
std::optional<bool> mayHaveHugePages(const void* address) {
    QFile maps(u"/proc/self/smaps"_s);
    if (!maps.open(QIODevice::ReadOnly)) return std::nullopt;
    const auto at = quintptr(address);
    bool inside = false;
    for (const QByteArray& line : maps.readAll().split('\n')) {
        const qsizetype dash = line.indexOf('-');
        const qsizetype space = line.indexOf(' ');
        if (dash > 0 && space > dash && line.at(0) != ' ') {
            bool ok = false;
            const quintptr begin = line.left(dash).toULongLong(&ok, 16);
            const quintptr end = line.mid(dash + 1, space - dash - 1).toULongLong(&ok, 16);
            if (ok) inside = begin <= at && at < end;
        } else if (inside && line.startsWith("THPeligible:")) {
            return line.mid(12).trimmed() == "1";
        }
    }
    return std::nullopt;
}

bool systemGivesHugePages() {
    QFile setting(u"/sys/kernel/mm/transparent_hugepage/enabled"_s);
    return setting.open(QIODevice::ReadOnly) && !setting.readAll().contains("[never]");
}
#endif

void TestListStore::largeArraysKeepTheirValuesAndStartOnAHugePage_data() {
    QTest::addColumn<bool>("hugePages");
    QTest::newRow("huge pages") << true;
    QTest::newRow("small pages") << false;
}

void TestListStore::largeArraysKeepTheirValuesAndStartOnAHugePage() {
    QFETCH(bool, hugePages);
    list_store::FlatArray<qint64> values;
    if (!hugePages) values.useSmallPages();
    const auto holdsCountingValues = [&] {
        for (qsizetype i = 0; i < values.size(); ++i) {
            if (values[i] != i * 7) return false;
        }
        return true;
    };
    for (qsizetype size :
         {qsizetype(1000), qsizetype(300'000), qsizetype(2'000'000), qsizetype(5'000'000)}) {
        const qsizetype before = values.size();
        values.resize(size);
        for (qsizetype i = before; i < size; ++i) values[i] = i * 7;
        QVERIFY(holdsCountingValues());
#ifdef Q_OS_LINUX
        if (values.allocatedBytes() >= list_store::large_block::kMappedBytes) {
            QCOMPARE(quintptr(values.data()) % list_store::large_block::kHugePageBytes, 0u);
            const std::optional<bool> eligible = mayHaveHugePages(values.data());
            QVERIFY(eligible.has_value());
            QCOMPARE(*eligible, hugePages && systemGivesHugePages());
        }
#endif
    }
    values.resize(100'000);
    values.squeeze();
    QVERIFY(values.allocatedBytes() < size_t(5'000'000) * sizeof(qint64));
    QVERIFY(holdsCountingValues());
    values.append(qint64(100'000) * 7);
    QVERIFY(holdsCountingValues());
}

QTEST_GUILESS_MAIN(TestListStore)
#include "tst_list_store.moc"
