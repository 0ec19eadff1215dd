#include "cli/report.h"

#include <cstring>

using namespace Qt::Literals::StringLiterals;

namespace cli {

void print(FILE* stream, const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

int usageError(const QString& problem) {
    print(stderr, u"quorvane: "_s + problem + u"; see 'quorvane --help'\n"_s);
    return kUsage;
}

QString systemReason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

void Failures::show(const QString& description, const QString& location, int) {
    const QString& subject = m_subject.isEmpty() ? location : m_subject;
    m_lines += u"quorvane: "_s + subject + u": "_s + description + u'\n';
}

void Failures::print() const {
    cli::print(stderr, m_lines);
}

}  // namespace cli
