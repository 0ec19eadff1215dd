#pragma once

#include <QList>
#include <QRandomGenerator>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTest>
#include <span>
#include <vector>

#include "list_engine/list.h"
#include "list_engine/match_rules.h"
#include "list_helpers.h"
#include "list_store/item_list.h"
#include "list_store/list_store.h"
#include "list_store/text_block.h"
#include "platform/event_pump.h"
#include "platform/failure.h"
#include "platform/progress.h"
#include "platform/steps.h"
#include "scripted_pump.h"

using namespace Qt::Literals::StringLiterals;

// Doubles for the seams that the List engine reaches besides its lists.

struct ShownReport {
    QString description;
    QString location;
    int line = 0;
};

class RecordingReport : public platform::ErrorReport {
public:
    void show(const QString& description, const QString& location, int line) override {
        shown.append({description, location, line});
    }
    QList<int> lines() const {
        QList<int> result;
        for (const ShownReport& report : shown) result.append(report.line);
        return result;
    }
    QList<ShownReport> shown;
};

class RecordingProgress : public platform::ProgressSink {
public:
    void setValue(double percent) override {
        if (refuseZero && percent == 0) throw platform::Failure(u"Invalid property value"_s);
        values.append(percent);
    }
    QList<double> values;
    bool refuseZero = false;
};

// A list that fails on demand and records how it was changed.
class FaultyList : public list_store::ItemList {
public:
    explicit FaultyList(QStringList texts = {}) : items(std::move(texts)) {}

    int count() const override {
        if (failCount) throw platform::Failure(u"Count unavailable"_s);
        return int(items.size()) - hiddenItems;
    }
    // Always in UTF-16, even where the list store keeps Latin-1: the engine must not mind.
    list_store::ItemText textView(int position) const override {
        if (unreadable.contains(position)) throw platform::Failure(u"Item unreadable"_s);
        check(position);
        return items.at(position - 1);
    }
    void append(list_store::ItemText text) override {
        items.append(text.toString());
        ++changes;
    }
    void appendBlock(const list_store::TextBlock& block) override {
        for (qsizetype k = 0; k < block.count(); ++k) items.append(block.text(k).toString());
        ++changes;
    }
    void removeAt(int position) override {
        check(position);
        ++singleRemovals;
        items.removeAt(position - 1);
        ++removals;
        ++changes;
    }
    void removePositions(std::span<const int> risingPositions) override {
        ++bulkRemovals;
        if (refuseRemoval) throw platform::Failure(u"Removal refused"_s);
        for (auto it = risingPositions.rbegin(); it != risingPositions.rend(); ++it) check(*it);
        for (auto it = risingPositions.rbegin(); it != risingPositions.rend(); ++it) {
            items.removeAt(*it - 1);
        }
        ++removals;
        ++changes;
    }
    void clear() override {
        items.clear();
        ++removals;
        ++changes;
    }
    void rearrange(list_store::TextBlock& arranged, list_store::FlatArray<int>&& from) override {
        QStringList replacement;
        for (qsizetype k = 0; k < arranged.count(); ++k) {
            replacement.append(arranged.text(k).toString());
        }
        items = std::move(replacement);
        lastOrder.assign(from.data(), from.data() + from.size());
        arranged = list_store::TextBlock();
        ++removals;
        ++changes;
    }
    quint64 removalGeneration() const override { return removals; }
    quint64 changeGeneration() const override { return changes; }

    QStringList items;
    QSet<int> unreadable;  // positions whose text cannot be read
    bool failCount = false;
    bool refuseRemoval = false;
    int hiddenItems = 0;  // the count claims this many items fewer than there are
    int singleRemovals = 0;
    int bulkRemovals = 0;
    quint64 removals = 0;
    quint64 changes = 0;
    std::vector<int> lastOrder;  // as the last rearrange() gave it

private:
    void check(int position) const {
        if (position < 1 || position > items.size()) {
            throw platform::Failure(u"Index out of bounds"_s);
        }
    }
};

// What the procedures reach of the window, all recorded or scripted.
struct EngineHarness {
    RecordingReport report;
    ScriptedPump pump;
    RecordingProgress progress;
    int check1 = 1;
    bool check1Unreadable = false;
    List::MatchRules rules;
    List::Environment env{report, pump, progress,
                          [this] {
                              if (check1Unreadable) {
                                  throw platform::Failure(u"Control unavailable"_s);
                              }
                              return platform::CheckValue(check1);
                          },
                          [this] { return rules; }};

    // Fills the two lists with the texts and subtracts the second from the first.
    void subtractFilled(list_store::ItemList& first, const QStringList& firstTexts,
                        list_store::ItemList& second, const QStringList& secondTexts) const {
        fill(first, firstTexts);
        fill(second, secondTexts);
        List::SubtractSecondListFromFirstList(env, first, second);
    }
};

Q_DECLARE_METATYPE(List::MatchRules)

// A procedure on two lists, as Subtract and Keep Only Shared Items are.
using TwoListProcedure = void (*)(const List::Environment&, list_store::ItemList&,
                                  list_store::ItemList&);

// The columns of a two-list row: both lists, Check1, and what List 1 keeps.
inline void addTwoListColumns() {
    QTest::addColumn<QStringList>("first");
    QTest::addColumn<QStringList>("second");
    QTest::addColumn<int>("check1");
    QTest::addColumn<QStringList>("expected");
}

// Runs `procedure` on the current row's lists: List 1 keeps what the row expects, List 2 is
// left as it was, nothing is reported and the progress bar ends at zero.
inline void checkTwoListRow(TwoListProcedure procedure) {
    QFETCH(QStringList, first);
    QFETCH(QStringList, second);
    QFETCH(int, check1);
    QFETCH(QStringList, expected);
    EngineHarness window;
    window.check1 = check1;
    list_store::ListStore firstList;
    list_store::ListStore secondList;
    fill(firstList, first);
    fill(secondList, second);
    procedure(window.env, firstList, secondList);

    QCOMPARE(textsOf(firstList), expected);
    QCOMPARE(textsOf(secondList), second);
    QVERIFY(window.report.shown.isEmpty());
    QCOMPARE(window.progress.values.last(), 0.0);
}

// Rules from a few letters: c case, t trim, s spaces, i invisible, u Unicode form, a accents.
inline List::MatchRules matchRulesOf(QStringView letters) {
    List::MatchRules rules;
    rules.ignoreCase = letters.contains(u'c');
    rules.trim = letters.contains(u't');
    rules.spaces = letters.contains(u's');
    rules.invisible = letters.contains(u'i');
    rules.unicode = letters.contains(u'u');
    rules.accents = letters.contains(u'a');
    return rules;
}

// `count` texts of up to three characters drawn from `alphabet`: with a small alphabet, equal
// texts (and texts equal but for case) are common.
inline QStringList randomTexts(QRandomGenerator& random, int count, const QString& alphabet) {
    QStringList texts;
    for (int k = 0; k < count; ++k) {
        QString text;
        const int length = random.bounded(4);
        for (int c = 0; c < length; ++c) text.append(alphabet.at(random.bounded(alphabet.size())));
        texts.append(text);
    }
    return texts;
}
