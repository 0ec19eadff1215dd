#include "platform/steps.h"

#include <new>
#include <stdexcept>

#include "platform/failure.h"

using namespace Qt::Literals::StringLiterals;

namespace platform {

QString describeCurrentException() {
    try {
        throw;
    } catch (const Failure& failure) {
        return failure.description();
    } catch (const std::bad_alloc&) {
        return u"Out of memory"_s;
    } catch (const std::exception& e) {
        return QString::fromLocal8Bit(e.what());
    } catch (...) {
        return u"Unexpected failure"_s;
    }
}

QString procedureLocation(QStringView module, QStringView procedure) {
    return u"in Pellorin2021/08/31.%1.%2 "_s.arg(module, procedure);
}

void Steps::report(int line, const QString& description) {
    // A failure while reporting cannot be reported again; the procedure carries on regardless.
    try {
        m_report.show(description, m_location, line);
    } catch (...) {
    }
}

}  // namespace platform
