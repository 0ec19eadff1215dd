#pragma once

#include <QString>
#include <QtGlobal>
#include <vector>

#include "list_store/list_store.h"

namespace bench {

// A small, fast pseudo-random source (splitmix64): the same seed gives the same data on every
// machine, so figures from different runs compare.
class Random {
public:
    explicit Random(quint64 seed) : m_state(seed) {}
    quint64 next();
    // A value in [0, bound).
    quint64 below(quint64 bound) { return next() % bound; }

private:
    quint64 m_state;
};

// Entries shaped like file names: 8 to 30 characters, letters of both cases and digits, most
// with an extension such as ".txt" or ".TXT".
class EntryGenerator {
public:
    explicit EntryGenerator(quint64 seed) : m_random(seed) {}
    QString next();
    Random& random() { return m_random; }

private:
    Random m_random;
};

struct ListPair {
    list_store::TextBlock first;
    list_store::TextBlock second;
};

// Two lists of `count` entries each. About half of the second list's entries are copies of
// entries of the first (one copy in eight with its case changed), the rest occur only there.
ListPair generateListPair(qsizetype count, quint64 seed);

// As generateListPair, for the matching rules: about one entry in thirty holds an "é", and
// about one in ten of each list (copies included) is messed up as entries from other programs
// are: spaces, a tab or a no-break space at an end, or its accents decomposed. Copies also have
// their case changed, one in eight. Decomposed entries are kept in UTF-16, the rest in Latin-1.
ListPair generateMessyListPair(qsizetype count, quint64 seed);

// As generateListPair, each entry made three tab-separated fields of about the same total length:
// a copy in the second list shares only the second field with its original.
ListPair generateFieldListPair(qsizetype count, quint64 seed);

// Two lists as generateListPair() makes them, but where about a tenth of the second list's
// entries are copies that differ only by an edge space, a no-break space, case or a decomposed
// accent; one entry in twenty of the first list holds a blank inside, one in twenty an "é".
ListPair generateNearMissPair(qsizetype count, quint64 seed);

// One list of `count` entries.
list_store::TextBlock generateList(qsizetype count, quint64 seed);

// `count` distinct positions out of 1 to `total`, scattered, in rising order.
std::vector<int> scatteredPositions(int total, int count, quint64 seed);

}  // namespace bench
