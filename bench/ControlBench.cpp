// What the MIDI and OSC benchmarks share; see ControlBench.h.
#include "ControlBench.h"

#include <QEventLoop>
#include <QSocketNotifier>
#include <QTest>
#include <QTimer>
#include <algorithm>

#include "MainDlg.h"

void RunEventLoopFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

double Percentile(std::vector<double> values, double p)
{
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(p * (values.size() - 1) + 0.5)];
}

std::unique_ptr<CMainDlg> OpenControlWindow(const std::string& settings, MidiDriver* driver,
                                            std::string& error)
{
    auto dlg = std::make_unique<CMainDlg>();
    if (driver) dlg->Midi().SetDriver(driver);
    dlg->m_settingsPath = settings;
    if (!dlg->Setup()) return (error = "no OpenGL window"), nullptr;
    dlg->show();
    if (!QTest::qWaitForWindowExposed(dlg.get())) return (error = "window not shown"), nullptr;
    dlg->Performance().SetEffect(10, ChangeSource::Dialog);
    QTest::qWait(300);
    return dlg;
}

ControlProbe::ControlProbe(CMainDlg& dlg, Clock now, Count handled)
    : m_dlg(dlg), m_now(now), m_count(std::move(handled))
{
}

bool ControlProbe::eventFilter(QObject* watched, QEvent* event)
{
    if (qobject_cast<QSocketNotifier*>(watched) && event->type() == QEvent::SockAct) {
        const uint64_t before = m_count();
        const uint64_t start = m_now();
        watched->event(event);
        const uint64_t end = m_now();
        const uint64_t count = m_count() - before;
        if (count > 0 && handled.size() < handled.capacity())
            handled.push_back({start, end, count, m_dlg.Performance().Ctrl1()});
        handledCount += static_cast<long>(count);
        return true;
    }
    auto* timer = qobject_cast<QTimer*>(watched);
    if (timer && event->type() == QEvent::Timer && timer->timerType() == Qt::PreciseTimer &&
        timer->isSingleShot() && timer->interval() <= m_dlg.m_nInterval) {
        const Tick tick{m_now(), 0, m_dlg.Performance().Ctrl1()};
        watched->event(event);  // the tick: pictures, draw, present
        if (ticks.size() < ticks.capacity()) ticks.push_back({tick.start, m_now(), tick.ctrl1});
        return true;
    }
    return false;
}

std::vector<ControlSample> MatchToTicks(const std::vector<uint64_t>& sent,
                                        const ControlProbe& probe)
{
    const auto ms = [](uint64_t from, uint64_t to) {
        return (static_cast<double>(to) - static_cast<double>(from)) / 1000.0;
    };
    std::vector<ControlSample> samples;
    std::size_t wake = 0, tick = 0;
    for (std::size_t i = 0; i < sent.size(); ++i) {
        if (sent[i] == 0) continue;
        while (wake < probe.handled.size() && probe.handled[wake].end < sent[i]) ++wake;
        if (wake == probe.handled.size()) break;
        const ControlProbe::Handling& handled = probe.handled[wake];
        if (handled.ctrl1 != TimedCtrl1(i) || handled.batch != 1) continue;
        while (tick < probe.ticks.size() && probe.ticks[tick].start < handled.end) ++tick;
        if (tick == probe.ticks.size()) break;
        const ControlProbe::Tick& drawn = probe.ticks[tick];
        if (drawn.ctrl1 != TimedCtrl1(i)) continue;  // a later one drew it
        samples.push_back({i, ms(sent[i], drawn.end), ms(sent[i], handled.end),
                           ms(handled.end, drawn.start), ms(drawn.start, drawn.end),
                           static_cast<double>(handled.end - handled.start)});
    }
    return samples;
}

void ReportSamples(benchmark::State& state, const std::string& prefix,
                   const std::vector<ControlSample>& samples,
                   const std::function<bool(const ControlSample&)>& take)
{
    std::vector<double> total, handOff, wait, work, handling;
    for (const ControlSample& s : samples) {
        if (!take(s)) continue;
        total.push_back(s.total);
        handOff.push_back(s.handOff);
        wait.push_back(s.wait);
        work.push_back(s.work);
        handling.push_back(s.handlingUs);
    }
    state.counters[prefix + "messages"] = static_cast<double>(total.size());
    state.counters[prefix + "handoff_ms_median"] = Percentile(handOff, 0.5);
    state.counters[prefix + "handoff_ms_p99"] = Percentile(handOff, 0.99);
    state.counters[prefix + "handle_us_median"] = Percentile(handling, 0.5);
    state.counters[prefix + "handle_us_p99"] = Percentile(handling, 0.99);
    state.counters[prefix + "total_ms_median"] = Percentile(total, 0.5);
    state.counters[prefix + "total_ms_p99"] = Percentile(total, 0.99);
    state.counters[prefix + "tick_wait_ms_median"] = Percentile(wait, 0.5);
    state.counters[prefix + "tick_work_ms_median"] = Percentile(work, 0.5);
}
