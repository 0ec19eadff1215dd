#include "measure.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

using namespace Qt::Literals::StringLiterals;

namespace bench {

qint64 statusKiB(const QByteArray& key) {
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

GapMonitor::GapMonitor() {
    bool isNumber = false;
    const int ms = qEnvironmentVariableIntValue("QUORVANE_BENCH_GAPS", &isNumber);
    if (isNumber && ms >= 0) m_traceNs = qint64(ms) * 1'000'000;
}

void GapMonitor::start() {
    m_running = true;
    m_longestNs = 0;
    m_clock.start();
    m_last = 0;
    QCoreApplication::postEvent(this, new QEvent(QEvent::User));
}

void GapMonitor::stop() {
    note();
    m_running = false;
    QCoreApplication::removePostedEvents(this);
}

bool GapMonitor::event(QEvent* event) {
    if (event->type() != QEvent::User) return QObject::event(event);
    if (m_running) {
        note();
        QCoreApplication::postEvent(this, new QEvent(QEvent::User));
    }
    return true;
}

void GapMonitor::note() {
    const qint64 now = m_clock.nsecsElapsed();
    const qint64 gap = now - m_last;
    m_longestNs = std::max(m_longestNs, gap);
    if (m_traceNs >= 0 && gap > m_traceNs) {
        const double end =
            std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
                .count();
        std::fprintf(stderr, "gap_ms=%.1f at_ms=%.1f mono=%.6f,%.6f\n", double(gap) / 1e6,
                     double(m_last) / 1e6, end - double(gap) / 1e9, end);
    }
    m_last = now;
}

Figures measure(const std::function<Repetition()>& next) {
    GapMonitor monitor;
    std::vector<double> times;
    qint64 maxGap = 0;
    for (int r = 0; r < kRepetitions; ++r) {
        Repetition repetition = next();
        QCoreApplication::processEvents();
        monitor.start();
        QElapsedTimer clock;
        clock.start();
        repetition.run();
        const qint64 ns = clock.nsecsElapsed();
        monitor.stop();
        times.push_back(double(ns) / 1e6);
        maxGap = std::max(maxGap, monitor.longestMs());
        repetition.check();
    }
    std::sort(times.begin(), times.end());
    return Figures{times[times.size() / 2], maxGap};
}

void printFigures(const QString& name, qsizetype items, const Figures& figures,
                  const QString& extra) {
    const qint64 peakMiB = (statusKiB("VmHWM:") + 512) / 1024;
    std::printf("case=%s items=%lld ms=%.1f max_gap_ms=%lld rss_mib=%lld%s%s\n", qPrintable(name),
                static_cast<long long>(items), figures.medianMs,
                static_cast<long long>(figures.maxGapMs), static_cast<long long>(peakMiB),
                extra.isEmpty() ? "" : " ", qPrintable(extra));
    std::fflush(stdout);
}

void fail(const char* what) {
    std::fprintf(stderr, "check failed: %s\n", what);
    std::exit(2);
}

}  // namespace bench
