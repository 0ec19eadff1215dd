#pragma once

#include <QChar>
#include <QString>

namespace list_store {

// Replaces every surrogate that is not part of a pair with U+FFFD, as Unicode decoders do. A
// high surrogate in the last unit counts as unpaired.
inline void replaceLoneSurrogates(char16_t* units, qsizetype size) {
    for (qsizetype i = 0; i < size; ++i) {
        if (!QChar::isSurrogate(units[i])) continue;
        if (QChar::isHighSurrogate(units[i]) && i + 1 < size &&
            QChar::isLowSurrogate(units[i + 1])) {
            ++i;
            continue;
        }
        units[i] = QChar::ReplacementCharacter;
    }
}

// Text from outside the files (typed, pasted, dropped) as a list keeps it: a lone surrogate
// would otherwise be saved as the raw byte that the same unit stands for when read from a file.
inline QString withLoneSurrogatesReplaced(QString text) {
    const auto* begin = reinterpret_cast<const char16_t*>(text.constData());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (QChar::isSurrogate(begin[i])) {
            replaceLoneSurrogates(reinterpret_cast<char16_t*>(text.data()), text.size());
            break;
        }
    }
    return text;
}

}  // namespace list_store
