#include "list_engine/match_rules.h"

#include <QChar>
#include <QStringList>

#include "list_engine/ascii_words.h"
#include "list_engine/text_index.h"
#include "list_engine/white_space.h"

using namespace Qt::Literals::StringLiterals;

namespace List {

namespace {

using list_store::ItemText;

#ifdef Q_CC_MINGW
// With MinGW's threads, the destructors of thread_local objects run when a thread ends, after
// their storage has been given up. Qt keeps each thread's stack for compiled regular expressions
// in such an object, so the threads that make keys by a pattern crashed as they ended. Without
// the compiled form that object is never made. Set before main, ahead of any expression.
[[maybe_unused]] const bool kExpressionsInterpreted = [] {
    if (!qEnvironmentVariableIsSet("QT_ENABLE_REGEXP_JIT")) qputenv("QT_ENABLE_REGEXP_JIT", "0");
    return true;
}();
#endif

// The two strings the steps write into in turn: the caller's, and a second one of the call's
// own when one step reads what another wrote. Not a thread_local string: with MinGW's threads
// its destructor, run as a thread ends, crashed on a freed string header, as above.
struct Scratch {
    QString& first;
    QString*& second;
    QString& spare;

    QString& secondString() {
        if (!second) second = &spare;
        return *second;
    }
};

bool views(ItemText text, const QString& string) {
    const auto* at = static_cast<const char*>(text.data());
    const auto* from = reinterpret_cast<const char*>(string.constData());
    return !text.isEmpty() && at >= from && at < from + (string.capacity() + 1) * 2;
}

bool isInvisible(char32_t c) {
    if (c < 0x80) return (c < 0x20 && c != u'\t') || c == 0x7F;
    if (c <= 0x9F) return true;
    if (c < 0x100) return c == 0xAD;  // the soft hyphen is Latin-1's one format character
    const QChar::Category category = QChar::category(c);
    return category == QChar::Other_Format || category == QChar::Other_Control;
}

bool isMark(char32_t c) {
    const QChar::Category category = QChar::category(c);
    return category == QChar::Mark_NonSpacing || category == QChar::Mark_SpacingCombining ||
           category == QChar::Mark_Enclosing;
}

ItemText slice(ItemText text, qsizetype from, qsizetype to) {
    return text.isWide() ? ItemText(text.utf16() + from, to - from)
                         : ItemText(text.latin1() + from, to - from);
}

ItemText viewOf(const QString& text) {
    return ItemText(QStringView(text));
}

// The code point at `i` and the units it takes; an unpaired surrogate stands for itself.
char32_t codePointAt(ItemText text, qsizetype i, int& units) {
    const char16_t unit = text.at(i);
    units = 1;
    if (QChar::isHighSurrogate(unit) && i + 1 < text.size() &&
        QChar::isLowSurrogate(text.at(i + 1))) {
        units = 2;
        return QChar::surrogateToUcs4(unit, text.at(i + 1));
    }
    return unit;
}

// The bitwise or of all units: below 0x80 means ASCII only, below N means every unit is.
char16_t unitsOred(ItemText text) {
    return text.visit([](const auto* units, qsizetype size) {
        unsigned bits = 0;
        for (qsizetype i = 0; i < size; ++i) bits |= units[i];
        return char16_t(bits);
    });
}

// The scratch string that `text` does not view, for the next step to write into.
QString& spareFor(ItemText text, Scratch& scratch) {
    return views(text, scratch.first) ? scratch.secondString() : scratch.first;
}

void appendUnits(QString& out, ItemText text, qsizetype from, qsizetype to) {
    if (text.isWide()) {
        out.append(reinterpret_cast<const QChar*>(text.utf16() + from), to - from);
    } else {
        out.append(QLatin1StringView(text.latin1() + from, to - from));
    }
}

ItemText withoutInvisibles(ItemText text, Scratch& scratch) {
    qsizetype i = 0;
    int units = 1;
    for (; i < text.size(); i += units) {
        if (isInvisible(codePointAt(text, i, units))) break;
    }
    if (i == text.size()) return text;
    QString& out = spareFor(text, scratch);
    out.resize(0);
    appendUnits(out, text, 0, i);
    for (; i < text.size(); i += units) {
        const qsizetype from = i;
        if (!isInvisible(codePointAt(text, i, units))) appendUnits(out, text, from, from + units);
    }
    return viewOf(out);
}

ItemText composed(ItemText text, Scratch& scratch) {
    // Nothing below U+0300 composes with anything.
    if (unitsOred(text) < 0x300) return text;
    QString& out = spareFor(text, scratch);
    out = text.toString().normalized(QString::NormalizationForm_C);
    return viewOf(out);
}

// U+00C0 to U+00FF without their marks, as NFD, dropping the marks and NFC give them; the
// letters that have no decomposition (AE, eth, O with stroke, thorn, sharp s) stand for themselves.
constexpr char16_t kLatin1WithoutMarks[] =
    u"AAAAAA\u00c6CEEEEIIII\u00d0NOOOOO\u00d7\u00d8UUUUY\u00de\u00df"
    u"aaaaaa\u00e6ceeeeiiii\u00f0nooooo\u00f7\u00f8uuuuy\u00fey";

ItemText withoutAccents(ItemText text, Scratch& scratch) {
    // Nothing below U+00C0 has a canonical decomposition or is a mark.
    const char16_t ored = unitsOred(text);
    if (ored < 0xC0) return text;
    if (ored < 0x100) {
        // Latin-1 alone, the usual case: by table, without the Unicode tables.
        QString& out = spareFor(text, scratch);
        out.resize(text.size());
        char16_t* units = reinterpret_cast<char16_t*>(out.data());
        for (qsizetype i = 0; i < text.size(); ++i) {
            const char16_t unit = text.at(i);
            units[i] = unit < 0xC0 ? unit : kLatin1WithoutMarks[unit - 0xC0];
        }
        return viewOf(out);
    }
    const QString decomposed = text.toString().normalized(QString::NormalizationForm_D);
    const ItemText units(decomposed);
    QString& out = spareFor(text, scratch);
    out.resize(0);
    out.reserve(decomposed.size());
    int size = 1;
    for (qsizetype i = 0; i < units.size(); i += size) {
        const qsizetype from = i;
        if (!isMark(codePointAt(units, i, size))) appendUnits(out, units, from, from + size);
    }
    out = out.normalized(QString::NormalizationForm_C);
    return viewOf(out);
}

// Every byte from U+0020 to U+007E.
bool isPrintableAscii(const uchar* bytes, qsizetype size) {
    if (size < 8) {
        for (qsizetype i = 0; i < size; ++i) {
            if (bytes[i] < 0x20 || bytes[i] >= 0x7F) return false;
        }
        return true;
    }
    for (qsizetype i = 0; i + 8 <= size; i += 8) {
        if (!ascii::isPrintable(ascii::wordAt(bytes + i))) return false;
    }
    // The last eight bytes, overlapping some already seen.
    return ascii::isPrintable(ascii::wordAt(bytes + size - 8));
}

// Latin-1 bytes without U+0020 at either end.
ItemText withoutEdgeSpaces(ItemText text) {
    const char* bytes = text.latin1();
    qsizetype from = 0;
    qsizetype to = text.size();
    while (from < to && bytes[from] == ' ') ++from;
    while (to > from && bytes[to - 1] == ' ') --to;
    return ItemText(bytes + from, to - from);
}

bool hasDoubleSpace(ItemText text) {
    const char* bytes = text.latin1();
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (bytes[i] == ' ' && bytes[i + 1] == ' ') return true;
    }
    return false;
}

ItemText trimmed(ItemText text) {
    qsizetype from = 0;
    qsizetype to = text.size();
    while (from < to && isWhiteSpace(text.at(from))) ++from;
    while (to > from && isWhiteSpace(text.at(to - 1))) --to;
    return from == 0 && to == text.size() ? text : slice(text, from, to);
}

ItemText spacesAlike(ItemText text, Scratch& scratch) {
    qsizetype i = 0;
    for (; i < text.size(); ++i) {
        const char16_t unit = text.at(i);
        if (!isWhiteSpace(unit)) continue;
        if (unit != u' ' || (i + 1 < text.size() && isWhiteSpace(text.at(i + 1)))) break;
    }
    if (i == text.size()) return text;
    QString& out = spareFor(text, scratch);
    out.resize(0);
    out.reserve(text.size());
    appendUnits(out, text, 0, i);
    bool inRun = false;
    for (; i < text.size(); ++i) {
        const char16_t unit = text.at(i);
        if (isWhiteSpace(unit)) {
            if (!inRun) out.append(u' ');
            inRun = true;
        } else {
            out.append(QChar(unit));
            inRun = false;
        }
    }
    return viewOf(out);
}

// Field `field` (from 1) of a text split at every `separator`; missing fields are empty.
ItemText plainField(ItemText text, char16_t separator, int field) {
    qsizetype from = 0;
    for (int n = 1; n < field; ++n) {
        while (from < text.size() && text.at(from) != separator) ++from;
        if (from == text.size()) return slice(text, from, from);
        ++from;
    }
    qsizetype to = from;
    while (to < text.size() && text.at(to) != separator) ++to;
    return slice(text, from, to);
}

ItemText spaceField(ItemText text, int field) {
    qsizetype from = 0;
    for (int n = 1;; ++n) {
        while (from < text.size() && isWhiteSpace(text.at(from))) ++from;
        qsizetype to = from;
        while (to < text.size() && !isWhiteSpace(text.at(to))) ++to;
        if (n == field || to == text.size()) return n == field ? slice(text, from, to) : ItemText();
        from = to;
    }
}

// A field as CSV files write it: one that starts with a double quote runs to the closing quote,
// may hold the separator, and has each doubled quote inside it for one quote. What follows the
// closing quote, up to the separator, is taken as it stands.
ItemText quotedField(ItemText text, char16_t separator, int field, QString& scratch) {
    qsizetype i = 0;
    for (int n = 1;; ++n) {
        const bool wanted = n == field;
        QString* out = nullptr;
        if (i < text.size() && text.at(i) == u'"') {
            if (wanted) {
                out = &scratch;
                out->resize(0);
            }
            ++i;
            while (i < text.size()) {
                const char16_t unit = text.at(i);
                if (unit == u'"') {
                    if (i + 1 < text.size() && text.at(i + 1) == u'"') {
                        if (out) out->append(u'"');
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                if (out) out->append(QChar(unit));
                ++i;
            }
        }
        const qsizetype rest = i;
        while (i < text.size() && text.at(i) != separator) ++i;
        if (wanted) {
            if (!out) return slice(text, rest, i);
            appendUnits(*out, text, rest, i);
            return viewOf(*out);
        }
        if (i == text.size()) return ItemText();
        ++i;
    }
}

QString separatorName(const MatchRules& rules) {
    switch (rules.separator) {
        case FieldSeparator::Tab:
            return u"tab"_s;
        case FieldSeparator::Comma:
            return u"comma"_s;
        case FieldSeparator::Semicolon:
            return u"semicolon"_s;
        case FieldSeparator::Bar:
            return u"bar"_s;
        case FieldSeparator::Space:
            return u"spaces"_s;
        case FieldSeparator::Character:
            break;
    }
    return u"'"_s + rules.separatorCharacter + u"'"_s;
}

}  // namespace

bool MatchRules::beyondCase() const {
    return trim || spaces || invisible || unicode || accents || compareBy != CompareBy::WholeEntry;
}

bool MatchRules::isValid() const {
    switch (compareBy) {
        case CompareBy::WholeEntry:
            return true;
        case CompareBy::Field:
            return field >= 1 &&
                   (separator != FieldSeparator::Character || !separatorCharacter.isNull());
        case CompareBy::Pattern:
            return checkPattern(pattern).valid;
    }
    return false;
}

PatternCheck checkPattern(const QString& pattern) {
    PatternCheck check;
    if (pattern.isEmpty()) {
        // It would match every entry with the same empty key.
        check.valid = false;
        check.errorText = u"empty pattern"_s;
        check.offset = 0;
        return check;
    }
    const QRegularExpression expression(pattern);
    if (!expression.isValid()) {
        check.valid = false;
        check.errorText = expression.errorString();
        check.offset = expression.patternErrorOffset();
    }
    return check;
}

QString describeRules(const MatchRules& rules) {
    QStringList parts;
    if (rules.compareBy == CompareBy::Field) {
        parts << u"field %1 by %2"_s.arg(rules.field).arg(separatorName(rules));
    } else if (rules.compareBy == CompareBy::Pattern) {
        parts << u"key by pattern"_s;
    }
    QStringList ignored;
    if (rules.invisible) ignored << u"invisibles"_s;
    if (rules.accents) {
        ignored << u"accents"_s;
    } else if (rules.unicode) {
        ignored << u"Unicode form"_s;
    }
    if (rules.trim) ignored << u"edge spaces"_s;
    if (!ignored.isEmpty()) parts << ignored.join(u", "_s) + u" ignored"_s;
    if (rules.spaces) parts << u"spaces alike"_s;
    return parts.join(u", "_s);
}

KeyMaker::KeyMaker(const MatchRules& rules)
    : m_rules(rules), m_plain(!rules.beyondCase()), m_valid(rules.isValid()) {
    if (m_rules.compareBy == CompareBy::Pattern && m_valid) {
        m_pattern = QRegularExpression(m_rules.pattern);
        m_pattern.optimize();
    }
    switch (m_rules.separator) {
        case FieldSeparator::Tab:
            m_separator = u'\t';
            break;
        case FieldSeparator::Comma:
            m_separator = u',';
            m_quoted = true;
            break;
        case FieldSeparator::Semicolon:
            m_separator = u';';
            m_quoted = true;
            break;
        case FieldSeparator::Bar:
            m_separator = u'|';
            break;
        case FieldSeparator::Space:
            m_separator = u' ';
            break;
        case FieldSeparator::Character:
            m_separator = m_rules.separatorCharacter.unicode();
            break;
    }
}

bool KeyMaker::extract(ItemText entry, QString& scratch, ItemText& key) const {
    switch (m_rules.compareBy) {
        case CompareBy::WholeEntry:
            key = entry;
            return true;
        case CompareBy::Field:
            if (m_rules.separator == FieldSeparator::Space) {
                key = spaceField(entry, m_rules.field);
            } else if (m_quoted) {
                key = quotedField(entry, m_separator, m_rules.field, scratch);
            } else {
                key = plainField(entry, m_separator, m_rules.field);
            }
            return true;
        case CompareBy::Pattern:
            break;
    }
    QStringView subject;
    if (entry.isWide()) {
        subject = QStringView(entry.utf16(), entry.size());
    } else {
        scratch = QLatin1StringView(entry.latin1(), entry.size());
        subject = scratch;
    }
    const QRegularExpressionMatch match = m_pattern.match(subject);
    if (!match.hasMatch()) return false;
    const int group = m_pattern.captureCount() > 0 ? 1 : 0;
    const qsizetype from = match.capturedStart(group);
    if (from < 0) return false;
    // Offsets are the same in both forms, so the key views the entry itself.
    key = slice(entry, from, match.capturedEnd(group));
    return true;
}

bool KeyMaker::keyBeforeCase(ItemText entry, QString& scratch, QString*& other, QString& spare,
                             ItemText& key) const {
    if (!m_valid) return false;
    ItemText part;
    if (!extract(entry, scratch, part)) return false;
    keyBeforeCaseOfPart(part, scratch, other, spare, key);
    return true;
}

void KeyMaker::keyBeforeCaseOfPart(ItemText text, QString& scratch, QString*& other, QString& spare,
                                   ItemText& key) const {
    Scratch both{scratch, other, spare};
    if (m_rules.invisible) text = withoutInvisibles(text, both);
    if (m_rules.accents) {
        text = withoutAccents(text, both);
    } else if (m_rules.unicode) {
        text = composed(text, both);
    }
    if (m_rules.trim) text = trimmed(text);
    if (m_rules.spaces) text = spacesAlike(text, both);
    key = text;
}

void KeyMaker::keyOfPart(ItemText part, QString& scratch, ItemText& key) const {
    QString* other = nullptr;
    QString spare;
    ItemText text;
    keyBeforeCaseOfPart(part, scratch, other, spare, text);
    Scratch both{scratch, other, spare};
    if (m_rules.ignoreCase) text = lowerCased(text, spareFor(text, both));
    // The key is to stay in the caller's string: swapping moves the buffer, not the units.
    if (other && views(text, *other)) other->swap(scratch);
    key = text;
}

bool KeyMaker::keyOf(ItemText entry, QString& scratch, ItemText& key) const {
    if (!m_valid) return false;
    ItemText part;
    if (!extract(entry, scratch, part)) return false;
    keyOfPart(part, scratch, key);
    return true;
}

bool KeyMaker::keyOf(ItemText entry, QString& scratch, KeyView& key) const {
    if (!m_valid) return false;
    ItemText part;
    if (!extract(entry, scratch, part)) return false;
    // Printable ASCII, the usual entry: no invisible characters, nothing to compose or to strip
    // of accents, and no white space but U+0020, so only the ends and doubled spaces can differ.
    if (!part.isWide() && isPrintableAscii(part.bytes(), part.size())) {
        const ItemText text = m_rules.trim ? withoutEdgeSpaces(part) : part;
        if (!m_rules.spaces || !hasDoubleSpace(text)) {
            key = {text, m_rules.ignoreCase};
            return true;
        }
    }
    key.foldsCase = false;
    keyOfPart(part, scratch, key.text);
    return true;
}

bool KeyMaker::hasKey(ItemText entry, ItemText key, QString& scratch) const {
    QString* other = nullptr;
    QString spare;
    ItemText text;
    if (!keyBeforeCase(entry, scratch, other, spare, text)) return false;
    if (!m_rules.ignoreCase) return text == key;
    Scratch both{scratch, other, spare};
    // Compared as it is lowered, without writing the lowered text where it can be helped.
    return equalsWhenLowered(text, key, spareFor(text, both));
}

bool KeyMaker::keyOf(QStringView entry, QString& key) const {
    QString scratch;
    ItemText text;
    if (!keyOf(ItemText(entry), scratch, text)) return false;
    key = text.toString();
    return true;
}

}  // namespace List
