// Figures for the list engine on large lists. With no argument every case runs, each in a fresh
// child process so that its peak memory is its own; with a case name that case runs here.
//
//     quorvane-bench [case [items]]
//
// Each case prints: case=<name> items=<n> ms=<median of 5> max_gap_ms=<n> rss_mib=<peak>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QProcess>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include "generator.h"
#include "list_engine/list.h"
#include "platform/event_pump.h"
#include "platform/list_model.h"
#include "platform/steps.h"

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int kRepetitions = 5;
constexpr qsizetype kDefaultItems = 1'000'000;
constexpr quint64 kSeed = 20210831;

// Peak resident memory of this process so far (VmHWM), and the current (VmRSS), in KiB.
qint64 statusKiB(const QByteArray& key) {
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// Measures the longest stretch in which the event loop handled nothing: an event that posts
// itself again each time it is delivered marks every processing of events.
class GapMonitor : public QObject {
public:
    void start() {
        m_running = true;
        m_longestNs = 0;
        m_clock.start();
        m_last = 0;
        QCoreApplication::postEvent(this, new QEvent(QEvent::User));
    }
    void stop() {
        note();
        m_running = false;
        QCoreApplication::removePostedEvents(this);
    }
    qint64 longestMs() const { return (m_longestNs + 999'999) / 1'000'000; }

protected:
    bool event(QEvent* event) override {
        if (event->type() != QEvent::User) return QObject::event(event);
        if (m_running) {
            note();
            QCoreApplication::postEvent(this, new QEvent(QEvent::User));
        }
        return true;
    }

private:
    void note() {
        const qint64 now = m_clock.nsecsElapsed();
        m_longestNs = std::max(m_longestNs, now - m_last);
        m_last = now;
    }

    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longestNs = 0;
    bool m_running = false;
};

class CountingReport : public platform::ErrorReport {
public:
    void show(const QString& description, const QString& location, int line) override {
        ++count;
        std::fprintf(stderr, "unexpected failure: %s%s at line %d\n", qPrintable(description),
                     qPrintable(location), line);
    }
    int count = 0;
};

class LastValueProgress : public platform::ProgressSink {
public:
    void setValue(double percent) override { last = percent; }
    double last = 0;
};

// One timed repetition, on input built fresh for it outside the clock.
struct Repetition {
    std::function<void()> run;
    std::function<void()> check;  // after the run, outside the clock
};

struct Figures {
    double medianMs = 0;
    qint64 maxGapMs = 0;
    QString extra;
};

// The engine's surroundings as in the window: a throttled pump, a progress sink, a report.
struct Surroundings {
    CountingReport report;
    platform::ThrottledEventPump pump;
    LastValueProgress progress;
    int check1 = 1;
    List::Environment env{report, pump, progress, [this] { return check1; }};
};

void fail(const char* what) {
    std::fprintf(stderr, "check failed: %s\n", what);
    std::exit(2);
}

std::function<Repetition()> subtractCase(qsizetype items, int check1) {
    auto data = std::make_shared<bench::ListPair>(bench::generateListPair(items, kSeed));
    return [data, check1] {
        auto first = std::make_shared<platform::ListModel>();
        auto second = std::make_shared<platform::ListModel>();
        first->appendBlock(data->first);
        second->appendBlock(data->second);
        auto around = std::make_shared<Surroundings>();
        around->check1 = check1;
        return Repetition{
            [=] { List::SubtractSecondListFromFirstList(around->env, *first, *second); },
            [=] {
                if (around->report.count != 0) fail("no failure reported");
                if (first->count() >= data->first.count() || first->count() == 0) {
                    fail("some but not all items removed");
                }
                if (second->count() != data->second.count()) fail("second list unchanged");
            }};
    };
}

std::function<Repetition()> filterCase(qsizetype items, bool removeContaining) {
    auto data = std::make_shared<platform::TextBlock>(bench::generateList(items, kSeed));
    return [data, removeContaining] {
        auto list = std::make_shared<platform::ListModel>();
        list->appendBlock(*data);
        auto around = std::make_shared<Surroundings>();
        const QString text = u".txt"_s;
        return Repetition{[=] {
                              if (removeContaining) {
                                  List::RemoveItemsWith(around->env, *list, text);
                              } else {
                                  List::RemoveItemsWithout(around->env, *list, text);
                              }
                          },
                          [=] {
                              if (around->report.count != 0) fail("no failure reported");
                              if (list->count() >= data->count() || list->count() == 0) {
                                  fail("some but not all items removed");
                              }
                          }};
    };
}

std::function<Repetition()> removeBulkCase(qsizetype items) {
    auto data = std::make_shared<platform::TextBlock>(bench::generateList(items, kSeed));
    auto positions = std::make_shared<std::vector<int>>(
        bench::scatteredPositions(int(items), int(items / 2), kSeed));
    return [data, positions] {
        auto list = std::make_shared<platform::ListModel>();
        list->appendBlock(*data);
        return Repetition{[=] { list->removePositions(*positions); },
                          [=] {
                              if (list->count() != data->count() - qsizetype(positions->size())) {
                                  fail("every position removed");
                              }
                          }};
    };
}

// Peak memory growth of a list filled item by item, beyond its UTF-16 text, per item.
struct StoreFigure {
    qint64 textBytes = 0;
    qint64 peakBefore = 0;
    qint64 items = 0;
};

std::function<Repetition()> listStoreCase(qsizetype items, QString* extra) {
    auto figure = std::make_shared<StoreFigure>();
    figure->items = items;
    return [figure, items, extra] {
        auto list = std::make_shared<platform::ListModel>();
        figure->peakBefore = statusKiB("VmHWM:");
        return Repetition{
            [=] {
                bench::EntryGenerator generator(kSeed);
                qint64 textBytes = 0;
                for (qsizetype k = 0; k < items; ++k) {
                    const QString entry = generator.next();
                    textBytes += entry.size() * qint64(sizeof(char16_t));
                    list->append(entry);
                }
                figure->textBytes = textBytes;
            },
            [=] {
                const qint64 grown = (statusKiB("VmHWM:") - figure->peakBefore) * 1024;
                const double perItem = double(grown - figure->textBytes) / double(figure->items);
                // The first repetition raises the peak; later ones reuse freed
                // memory, so the largest figure is the honest one.
                const QString now = QString::number(std::max(perItem, 0.0), 'f', 1);
                if (extra->isEmpty() || extra->toDouble() < perItem) *extra = now;
            }};
    };
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
    return Figures{times[times.size() / 2], maxGap, {}};
}

int runCase(const QString& name, qsizetype items) {
    QString extra;
    std::function<Repetition()> factory;
    if (name == u"subtract_exact") {
        factory = subtractCase(items, 1);
    } else if (name == u"subtract_ignore_case") {
        factory = subtractCase(items, 0);
    } else if (name == u"filter_with") {
        factory = filterCase(items, true);
    } else if (name == u"filter_without") {
        factory = filterCase(items, false);
    } else if (name == u"remove_bulk") {
        factory = removeBulkCase(items);
    } else if (name == u"list_store") {
        factory = listStoreCase(items, &extra);
    } else {
        std::fprintf(stderr, "unknown case: %s\n", qPrintable(name));
        return 1;
    }
    const Figures figures = measure(factory);
    const qint64 peakMiB = (statusKiB("VmHWM:") + 512) / 1024;
    std::printf("case=%s items=%lld ms=%.1f max_gap_ms=%lld rss_mib=%lld%s\n", qPrintable(name),
                static_cast<long long>(items), figures.medianMs,
                static_cast<long long>(figures.maxGapMs), static_cast<long long>(peakMiB),
                extra.isEmpty() ? "" : qPrintable(u" bytes_per_item="_s + extra));
    std::fflush(stdout);
    return 0;
}

const QStringList kCases{u"subtract_exact"_s, u"subtract_ignore_case"_s, u"filter_with"_s,
                         u"filter_without"_s, u"remove_bulk"_s,          u"list_store"_s};

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    qsizetype items = kDefaultItems;
    if (arguments.size() >= 2) items = arguments.at(1).toLongLong();
    if (items < 2) {
        std::fprintf(stderr, "usage: quorvane-bench [case [items]]\n");
        return 1;
    }
    if (!arguments.isEmpty()) return runCase(arguments.first(), items);

    int result = 0;
    for (const QString& name : kCases) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(QCoreApplication::applicationFilePath(), {name, QString::number(items)});
        if (!child.waitForFinished(-1) || child.exitCode() != 0) result = 1;
    }
    return result;
}
