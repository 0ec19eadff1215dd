#pragma once

#include <QChar>
#include <QRegularExpression>
#include <QString>
#include <QStringView>
#include <QtGlobal>

#include "list_store/item_text.h"

namespace List {

// What of an entry a comparison looks at.
enum class CompareBy { WholeEntry, Field, Pattern };

// Where an entry splits into fields. Tab, Bar and Character split at every occurrence of the one
// character; Comma and Semicolon too, except inside a field in double quotes, as CSV files write
// them; Space at every run of white space, where a leading run starts no field (as awk splits).
enum class FieldSeparator { Tab, Comma, Semicolon, Bar, Space, Character };

// The matching rules: which differences between two entries do not count. All off, entries match
// when they are the same code units. The entries themselves never change; only their keys do.
struct MatchRules {
    bool ignoreCase = false;  // lower-cased as the case-insensitive subtraction does
    bool trim = false;        // white space at either end does not count
    bool spaces = false;      // each run of white space counts as one U+0020
    bool invisible = false;   // format characters (Cf) and controls (Cc) but tab do not count
    bool unicode = false;     // compared in NFC
    bool accents = false;     // marks dropped after canonical decomposition; implies unicode
    CompareBy compareBy = CompareBy::WholeEntry;
    int field = 1;  // from 1, with CompareBy::Field
    FieldSeparator separator = FieldSeparator::Tab;
    QChar separatorCharacter;  // with FieldSeparator::Character
    QString pattern;           // with CompareBy::Pattern

    // Whether any rule besides the case is on.
    bool beyondCase() const;
    // Whether the rules can make keys: a field number from 1, a separator character when one is
    // asked for, a pattern that compiles.
    bool isValid() const;

    bool operator==(const MatchRules&) const = default;
};

// Why a pattern cannot serve as a key: Qt's own error text and the offset (in UTF-16 code units,
// from 0) where it was found. `valid` is true, with an empty message, for a pattern that compiles.
struct PatternCheck {
    bool valid = true;
    QString errorText;
    qsizetype offset = -1;
};
PatternCheck checkPattern(const QString& pattern);

// A short text that names the rules beyond case that are on, for the lists' headers; empty when
// none is on. Its pieces, in this order, joined by ", ":
//   "field N by tab" / "by comma" / "by semicolon" / "by bar" / "by spaces" / "by 'c'", or
//   "key by pattern";
//   the ignored differences, the last followed by " ignored": "invisibles", "accents" (or, for
//   the Unicode form alone, "Unicode form"), "edge spaces";
//   "spaces alike".
// For example "accents, edge spaces ignored" or "field 2 by tab, spaces alike".
QString describeRules(const MatchRules& rules);

// A key as look-ups hash and compare it: `text` itself, or, when `foldsCase`, `text` with its
// capitals lowered, which is then Latin-1 bytes of ASCII only and is not written out anywhere.
// hashKey() and sameKey() (text_index.h) treat both forms of one key alike.
struct KeyView {
    list_store::ItemText text;
    bool foldsCase = false;
};

// Makes the key of an entry under the rules, in this order: the key part of the entry (field or
// pattern), invisible characters, NFC, accents, surrounding spaces, spaces alike, case. Entries
// match when their keys are equal code unit for code unit. Safe to use from several threads at
// once on separate scratch strings.
class KeyMaker {
public:
    explicit KeyMaker(const MatchRules& rules);

    // No rule beyond case is on: the key is the entry, or its lower-cased text, and callers keep
    // their exact and lower-case paths.
    bool isPlain() const { return m_plain; }
    // Whether the rules can make keys at all (MatchRules::isValid()).
    bool isValid() const { return m_valid; }
    const MatchRules& rules() const { return m_rules; }

    // False when the entry has no key (no match of the pattern, or its group took no part in it):
    // it then matches nothing, not even another entry without a key.
    bool keyOf(QStringView entry, QString& key) const;

    // The same for an item as the lists store it, without allocating once `scratch` has grown:
    // the key views `entry` itself when no rule changes its code units, else `scratch`, and
    // stays valid until `scratch` is next used.
    bool keyOf(list_store::ItemText entry, QString& scratch, list_store::ItemText& key) const;
    // The same as a key view, for look-ups: an entry of printable ASCII that no rule but the case
    // and the surrounding spaces changes keeps its key a view of the entry, its case folded as it
    // is hashed and compared.
    bool keyOf(list_store::ItemText entry, QString& scratch, KeyView& key) const;
    // Whether the entry has a key and it is `key`, which must not view `scratch`; cheaper than
    // making the key and comparing.
    bool hasKey(list_store::ItemText entry, list_store::ItemText key, QString& scratch) const;

private:
    bool extract(list_store::ItemText entry, QString& scratch, list_store::ItemText& key) const;
    // The key but for the case; `other` is the second string the steps took, if any (`spare`).
    bool keyBeforeCase(list_store::ItemText entry, QString& scratch, QString*& other,
                       QString& spare, list_store::ItemText& key) const;
    // The same from the key part of the entry (extract() made `text`, perhaps in `scratch`).
    void keyBeforeCaseOfPart(list_store::ItemText text, QString& scratch, QString*& other,
                             QString& spare, list_store::ItemText& key) const;
    // The whole key from the key part, as keyOf() makes it.
    void keyOfPart(list_store::ItemText part, QString& scratch, list_store::ItemText& key) const;

    MatchRules m_rules;
    QRegularExpression m_pattern;
    bool m_plain = true;
    bool m_valid = true;
    bool m_quoted = false;  // CSV quotes count for the separator
    char16_t m_separator = u'\t';
};

}  // namespace List
