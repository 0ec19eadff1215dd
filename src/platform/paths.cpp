#include "platform/paths.h"

namespace platform {

namespace {

// One pass from the left over non-overlapping pairs.
QString collapsePairs(QStringView text, QChar separator) {
    QString result;
    result.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        result.append(text[i]);
        if (text[i] == separator && i + 1 < text.size() && text[i + 1] == separator) ++i;
    }
    return result;
}

}  // namespace

QString RemoveDoubleBackslashes(const QString& path, QChar separator) {
    if (path.isEmpty() || path.front() != separator || separator != u'\\') {
        return collapsePairs(path, separator);
    }
    qsizetype rest = 1;
    while (rest < path.size() && path[rest] == separator) ++rest;
    return QString(2, separator) + collapsePairs(QStringView(path).mid(rest), separator);
}

}  // namespace platform
