// The ticks of a running window as the event loop turns: how many came and the longest gap
// between two, so that a benchmark can say how late the worst tick was.
#ifndef KOVRA_BENCH_TICKGAPS_H
#define KOVRA_BENCH_TICKGAPS_H

#include <QApplication>
#include <QElapsedTimer>
#include <algorithm>

#include "MainDlg.h"

class CTickGaps {
public:
    explicit CTickGaps(const CMainDlg& dlg) : m_dlg(dlg), m_lastCount(dlg.m_nFrameCount)
    {
        m_clock.start();
        m_last = m_clock.nsecsElapsed();
    }

    // Turns the event loop once (waiting at most `waitMs` for an event) and notes a tick
    // that came meanwhile.
    void Poll(int waitMs)
    {
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, waitMs);
        if (m_dlg.m_nFrameCount == m_lastCount) return;
        const qint64 now = m_clock.nsecsElapsed();
        m_lastCount = m_dlg.m_nFrameCount;
        m_worstGapMs = std::max(m_worstGapMs, (now - m_last) / 1e6);
        m_last = now;
        ++m_ticks;
    }

    double WorstGapMs() const { return m_worstGapMs; }
    long Ticks() const { return m_ticks; }
    qint64 ElapsedMs() const { return m_clock.elapsed(); }
    // The worst gap beyond one interval, in intervals.
    double WorstIntervalsLate() const
    {
        return std::max(0.0, m_worstGapMs / m_dlg.m_nInterval - 1.0);
    }

private:
    const CMainDlg& m_dlg;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    int m_lastCount = 0;
    double m_worstGapMs = 0;
    long m_ticks = 0;
};

#endif
