#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>
#include <vector>

#include "platform/failure.h"
#include "platform/list_model.h"

using namespace Qt::Literals::StringLiterals;
using platform::ListModel;

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
QStringList itemsOf(const ListModel& model) {
    QStringList items;
    for (int position = 1; position <= model.count(); ++position) {
        items.append(model.text(position));
    }
    return items;
}

QStringList numbered(int count) {
    QStringList texts;
    for (int k = 1; k <= count; ++k) texts.append(u"item %1"_s.arg(k));
    return texts;
}

}  // namespace

class TestListModel : public QObject {
    Q_OBJECT

private Q_SLOTS:
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
};

void TestListModel::takingABlockGivesWhatCopyingItGives_data() {
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

void TestListModel::takingABlockGivesWhatCopyingItGives() {
    QFETCH(QStringList, before);
    QFETCH(QStringList, taken);
    ListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.addColumn(u"Items"_s);
    for (const QString& text : before) model.append(text);
    const quint64 changes = model.changeGeneration();
    platform::TextBlock block;
    for (const QString& text : taken) block.add(text);
    model.takeBlock(block);
    QVERIFY(block.isEmpty());
    QCOMPARE(block.charCount(), 0);
    QCOMPARE(itemsOf(model), before + taken);
    QCOMPARE(model.changeGeneration() > changes, !taken.isEmpty());
    // Both go on working: the list grows, the block fills again.
    model.append(u"more"_s);
    block.add(u"again"_s);
    model.takeBlock(block);
    QCOMPARE(itemsOf(model), (before + taken + QStringList{u"more"_s, u"again"_s}));
}

void TestListModel::keepsViewsConsistentThroughEveryChange_data() {
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

void TestListModel::keepsViewsConsistentThroughEveryChange() {
    QFETCH(std::vector<int>, positions);
    ListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.addColumn(u"Items"_s);

    QStringList expected = numbered(20);
    for (qsizetype k = 0; k < 5; ++k) model.append(expected.at(k));
    platform::TextBlock block;
    for (qsizetype k = 5; k < expected.size(); ++k) block.add(expected.at(k));
    model.appendBlock(block);
    QCOMPARE(shownTexts(model), expected);

    model.removePositions(positions);
    for (auto it = positions.rbegin(); it != positions.rend(); ++it) expected.removeAt(*it - 1);
    QCOMPARE(shownTexts(model), expected);

    if (model.count() > 0) {
        model.removeAt(1);
        expected.removeFirst();
        QCOMPARE(shownTexts(model), expected);
    }
    model.append(u""_s);
    expected.append(u""_s);
    QCOMPARE(shownTexts(model), expected);

    model.clear();
    QCOMPARE(model.rowCount(), 0);
    model.append(u"again"_s);
    QCOMPARE(shownTexts(model), QStringList{u"again"_s});
}

void TestListModel::announcesFewRunsOneByOneAndManyRunsAsOneReset_data() {
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

void TestListModel::announcesFewRunsOneByOneAndManyRunsAsOneReset() {
    QFETCH(std::vector<int>, positions);
    QFETCH(int, removalSignals);
    QFETCH(int, resets);
    ListModel model;
    model.addColumn(u"Items"_s);
    for (const QString& text : numbered(40)) model.append(text);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);

    model.removePositions(positions);

    QCOMPARE(removed.count(), removalSignals);
    QCOMPARE(reset.count(), resets);
    QCOMPARE(model.count(), 40 - int(positions.size()));
}

void TestListModel::refusesBadPositionsWithoutChangingAnything_data() {
    QTest::addColumn<std::vector<int>>("positions");
    QTest::newRow("zero") << std::vector<int>{0, 1};
    QTest::newRow("beyond the end") << std::vector<int>{2, 6};
    QTest::newRow("not rising") << std::vector<int>{3, 2};
    QTest::newRow("repeated") << std::vector<int>{2, 2};
}

void TestListModel::refusesBadPositionsWithoutChangingAnything() {
    QFETCH(std::vector<int>, positions);
    ListModel model;
    model.addColumn(u"Items"_s);
    for (const QString& text : numbered(5)) model.append(text);
    const quint64 removals = model.removalGeneration();

    QVERIFY_THROWS_EXCEPTION(platform::Failure, model.removePositions(positions));

    QCOMPARE(shownTexts(model), numbered(5));
    QCOMPARE(model.removalGeneration(), removals);
}

void TestListModel::generationsTellRemovalsFromAppends() {
    ListModel model;
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

QTEST_GUILESS_MAIN(TestListModel)
#include "tst_list_model.moc"

void TestListModel::readsRangesOfTextsInBulk_data() {
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::newRow("all") << 1 << 4;
    QTest::newRow("one in the middle") << 2 << 2;
    QTest::newRow("the empty one") << 3 << 3;
    QTest::newRow("to the end") << 3 << 4;
    QTest::newRow("none") << 3 << 2;
}

// The bulk reads must agree with reading item by item, which the interface does by default.
void TestListModel::readsRangesOfTextsInBulk() {
    QFETCH(int, first);
    QFETCH(int, last);
    ListModel model;
    const QStringList texts{u"alpha"_s, u" b "_s, QString(), u"d\u00e9"_s};
    for (const QString& text : texts) model.append(text);
    const platform::ItemList& items = model;
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
