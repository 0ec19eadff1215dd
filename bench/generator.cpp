#include "generator.h"

#include <algorithm>
#include <array>

using namespace Qt::Literals::StringLiterals;

namespace bench {

namespace {

constexpr qsizetype kShortest = 8;
constexpr qsizetype kLongest = 30;

const std::array<QStringView, 8> kExtensions{u".txt", u".TXT", u".doc", u".jpg",
                                             u".Log", u".mp3", u"",     u""};

const QStringView kBodyUnits = u"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-";

QString withCaseSwapped(QStringView text) {
    QString swapped = text.toString();
    for (QChar& unit : swapped) unit = unit.isUpper() ? unit.toLower() : unit.toUpper();
    return swapped;
}

// An entry as another program might have written it.
QString messedUp(QString entry, Random& random) {
    switch (random.below(6)) {
        case 0:
            return entry + u"  "_s;
        case 1:
            return u" "_s + entry;
        case 2:
            return entry + u'\t';
        case 3:
            return entry + QChar(0x00A0);
        case 4:
            return QChar(0x00A0) + entry;
        default:
            break;
    }
    if (!entry.contains(QChar(0x00E9))) entry.insert(1, QChar(0x00E9));
    return entry.normalized(QString::NormalizationForm_D);
}

// Two lists: the first of entries made by `fresh` from the generator's, the second of such
// entries and of copies that `copy` makes from entries of the first list. Nothing but the two
// lists is kept, so that the generator adds to the peak memory what generateListPair does.
template <typename Fresh, typename Copy>
ListPair pairOf(qsizetype count, quint64 seed, Fresh fresh, Copy copy) {
    ListPair pair;
    EntryGenerator generator(seed);
    Random random(seed ^ 0xAC1DF00Dull);
    pair.first.reserve(count, count * (kShortest + kLongest) / 2);
    for (qsizetype k = 0; k < count; ++k) pair.first.add(fresh(generator.next(), random));
    EntryGenerator others(seed ^ 0x5EC0D1157ull);
    pair.second.reserve(count, count * (kShortest + kLongest) / 2);
    for (qsizetype k = 0; k < count; ++k) {
        if (random.below(2) == 0) {
            pair.second.add(fresh(others.next(), random));
        } else {
            pair.second.add(
                copy(pair.first.text(qsizetype(random.below(quint64(count)))).toString(), random));
        }
    }
    return pair;
}

bool isEdgeBlank(QChar unit) {
    return unit == u' ' || unit == u'\t' || unit == QChar(0x00A0);
}

}  // namespace

ListPair generateMessyListPair(qsizetype count, quint64 seed) {
    const auto fresh = [](QString entry, Random& random) {
        if (random.below(30) == 0) entry.insert(1, QChar(0x00E9));
        return random.below(10) == 0 ? messedUp(entry, random) : entry;
    };
    // A copy starts from its original as the generator made it: without blanks at its ends,
    // composed.
    const auto copy = [](QString entry, Random& random) {
        while (!entry.isEmpty() && isEdgeBlank(entry.front())) entry.remove(0, 1);
        while (!entry.isEmpty() && isEdgeBlank(entry.back())) entry.chop(1);
        entry = entry.normalized(QString::NormalizationForm_C);
        if (random.below(8) == 0) entry = withCaseSwapped(entry);
        return random.below(10) == 0 ? messedUp(entry, random) : entry;
    };
    return pairOf(count, seed, fresh, copy);
}

ListPair generateFieldListPair(qsizetype count, quint64 seed) {
    const auto fields = [](QStringView second, Random& random) {
        const QStringView units = kBodyUnits;
        const auto unit = [&] { return units[qsizetype(random.below(quint64(units.size())))]; };
        QString entry;
        entry.append(unit()).append(unit()).append(u'\t').append(second);
        entry.append(u'\t').append(unit());
        return entry;
    };
    const auto fresh = [fields](const QString& entry, Random& random) {
        return fields(QStringView(entry).left(std::max<qsizetype>(4, entry.size() - 5)), random);
    };
    const auto copy = [fields](const QString& entry, Random& random) {
        return fields(QStringView(entry).mid(3).chopped(2), random);
    };
    return pairOf(count, seed, fresh, copy);
}

quint64 Random::next() {
    quint64 z = (m_state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

QString EntryGenerator::next() {
    const qsizetype length = kShortest + qsizetype(m_random.below(kLongest - kShortest + 1));
    const QStringView extension = kExtensions[m_random.below(kExtensions.size())];
    QString entry;
    entry.reserve(length);
    for (qsizetype k = 0; k < length - extension.size(); ++k) {
        entry.append(kBodyUnits[qsizetype(m_random.below(quint64(kBodyUnits.size())))]);
    }
    entry.append(extension);
    return entry;
}

list_store::TextBlock generateList(qsizetype count, quint64 seed) {
    EntryGenerator generator(seed);
    list_store::TextBlock block;
    block.reserve(count, count * (kShortest + kLongest) / 2);
    for (qsizetype k = 0; k < count; ++k) block.add(generator.next());
    return block;
}

ListPair generateListPair(qsizetype count, quint64 seed) {
    ListPair pair;
    pair.first = generateList(count, seed);
    EntryGenerator generator(seed ^ 0x5EC0D1157ull);
    Random& random = generator.random();
    pair.second.reserve(count, count * (kShortest + kLongest) / 2);
    for (qsizetype k = 0; k < count; ++k) {
        if (random.below(2) == 0) {
            pair.second.add(generator.next());
            continue;
        }
        const list_store::ItemText copy = pair.first.text(qsizetype(random.below(quint64(count))));
        if (random.below(8) == 0) {
            pair.second.add(withCaseSwapped(copy.toString()));
        } else {
            pair.second.add(copy);
        }
    }
    return pair;
}

ListPair generateNearMissPair(qsizetype count, quint64 seed) {
    ListPair pair;
    EntryGenerator generator(seed);
    Random& random = generator.random();
    pair.first.reserve(count, count * (kShortest + kLongest + 4) / 2);
    for (qsizetype k = 0; k < count; ++k) {
        QString entry = generator.next();
        // Some entries with a blank inside, some with an accent, so that copies can differ there.
        const quint64 kind = random.below(20);
        if (kind == 0) entry.insert(entry.size() / 2, u' ');
        if (kind == 1) entry.insert(entry.size() / 2, u'\u00e9');
        pair.first.add(entry);
    }
    EntryGenerator others(seed ^ 0x5EC0D1157ull);
    pair.second.reserve(count, count * (kShortest + kLongest + 4) / 2);
    for (qsizetype k = 0; k < count; ++k) {
        if (others.random().below(2) == 0) {
            pair.second.add(others.next());
            continue;
        }
        QString copy = pair.first.text(qsizetype(random.below(quint64(count)))).toString();
        // One copy in five differs only where the eye does not see it.
        if (random.below(5) == 0) {
            switch (random.below(4)) {
                case 0:
                    copy.append(u' ');
                    break;
                case 1:
                    if (copy.contains(u' ')) {
                        copy.replace(u' ', u'\u00a0');
                    } else {
                        copy.prepend(u'\u00a0');
                    }
                    break;
                case 2:
                    copy = withCaseSwapped(copy);
                    break;
                default:
                    if (copy.contains(u'\u00e9')) {
                        copy = copy.normalized(QString::NormalizationForm_D);
                    } else {
                        copy.prepend(u' ');
                    }
                    break;
            }
        }
        pair.second.add(copy);
    }
    return pair;
}

std::vector<int> scatteredPositions(int total, int count, quint64 seed) {
    // Floyd's sampling keeps it to `count` draws; a bitmap of `total` flags tracks membership.
    Random random(seed);
    std::vector<bool> chosen(size_t(total) + 1, false);
    for (int j = total - count + 1; j <= total; ++j) {
        const int candidate = 1 + int(random.below(quint64(j)));
        chosen[size_t(chosen[size_t(candidate)] ? j : candidate)] = true;
    }
    std::vector<int> positions;
    positions.reserve(size_t(count));
    for (int p = 1; p <= total; ++p) {
        if (chosen[size_t(p)]) positions.push_back(p);
    }
    return positions;
}

}  // namespace bench
