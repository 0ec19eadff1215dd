#pragma once

#include <QString>
#include <QtTest>
#include <initializer_list>

// One row of a table that maps a text to the text it should become.
struct TextRow {
    const char* name;
    QString text;
    QString expected;
};

// A data-driven test's two text columns, named as the test fetches them, and its rows.
inline void addTextRows(const char* textColumn, const char* expectedColumn,
                        std::initializer_list<TextRow> rows) {
    QTest::addColumn<QString>(textColumn);
    QTest::addColumn<QString>(expectedColumn);
    for (const TextRow& row : rows) QTest::newRow(row.name) << row.text << row.expected;
}

// A data-driven test's one text column, each row named by its text.
inline void addWordRows(const char* column, std::initializer_list<const char*> words) {
    QTest::addColumn<QString>(column);
    for (const char* word : words) QTest::newRow(word) << QString::fromUtf8(word);
}
