// Feeds arbitrary paths to RemoveDoubleBackslashes and checks what it promises:
// - every character that is not a separator stays, in order;
// - a path that begins with a separator comes back beginning with exactly two;
// - a run of k separators elsewhere comes back as k - k/2 (two become one, three two, four two).
// Any mismatch aborts, so libFuzzer keeps the input.

#include <QString>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "platform/paths.h"

namespace {

void fail(const char* what) {
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

QString withoutSeparators(QString text) {
    return text.remove(u'\\');
}

QString expected(const QString& path) {
    QString result;
    qsizetype i = 0;
    if (path.startsWith(u'\\')) {
        while (i < path.size() && path[i] == u'\\') ++i;
        result = QStringLiteral("\\\\");
    }
    while (i < path.size()) {
        if (path[i] != u'\\') {
            result.append(path[i++]);
            continue;
        }
        qsizetype run = 0;
        while (i < path.size() && path[i] == u'\\') {
            ++run;
            ++i;
        }
        result.append(QString(run - run / 2, u'\\'));
    }
    return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Map bytes onto a small alphabet so separators are common.
    QString path;
    for (size_t i = 0; i < size; ++i) {
        const uint8_t byte = data[i];
        path.append(byte % 3 == 0 ? QChar(u'\\') : QChar(char16_t(u'a' + byte % 26)));
    }
    const QString cleaned = platform::RemoveDoubleBackslashes(path);
    if (withoutSeparators(cleaned) != withoutSeparators(path)) fail("other characters changed");
    if (path.startsWith(u'\\') && (!cleaned.startsWith(QStringLiteral("\\\\")) ||
                                   cleaned.startsWith(QStringLiteral("\\\\\\")))) {
        fail("a leading run must become exactly two separators");
    }
    if (cleaned != expected(path)) fail("runs of separators not halved");
    return 0;
}
