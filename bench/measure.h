#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QtGlobal>
#include <functional>

namespace bench {

constexpr int kRepetitions = 5;
constexpr quint64 kSeed = 20210831;

// A field of /proc/self/status in KiB ("VmHWM:" is the peak resident memory so far).
qint64 statusKiB(const QByteArray& key);

// Measures the longest stretch in which the event loop handled nothing: an event that posts
// itself again each time it is delivered marks every processing of events. With
// QUORVANE_BENCH_GAPS=<ms> set, every stretch longer than that is written to stderr with its
// start and end on the monotonic clock (seconds, as `perf record -k mono` stamps its samples),
// so that a profile of the same run shows what the window's thread did meanwhile.
class GapMonitor : public QObject {
public:
    GapMonitor();
    void start();
    void stop();
    qint64 longestMs() const { return (m_longestNs + 999'999) / 1'000'000; }

protected:
    bool event(QEvent* event) override;

private:
    void note();

    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longestNs = 0;
    qint64 m_traceNs = -1;  // no trace unless set
    bool m_running = false;
};

// One timed repetition, on input built fresh for it outside the clock.
struct Repetition {
    std::function<void()> run;
    std::function<void()> check;  // after the run, outside the clock
};

struct Figures {
    double medianMs = 0;
    qint64 maxGapMs = 0;
};

// Runs kRepetitions repetitions, each made by `next`, and times their runs.
Figures measure(const std::function<Repetition()>& next);

// Prints the case's one line: case=<name> items=<n> ms=<median> max_gap_ms=<n> rss_mib=<peak>,
// then ` <extra>` when given.
void printFigures(const QString& name, qsizetype items, const Figures& figures,
                  const QString& extra = {});

[[noreturn]] void fail(const char* what);

}  // namespace bench
