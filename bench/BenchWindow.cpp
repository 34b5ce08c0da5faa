// What the window benchmarks share; see BenchWindow.h.
#include "BenchWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <algorithm>

#include "MainDlg.h"

int DevicePosition(const std::vector<std::string>& names, const char* name)
{
    const auto found = std::find(names.begin(), names.end(), name);
    return found == names.end() ? 0 : static_cast<int>(found - names.begin()) + 1;
}

bool SizePicture(CMainDlg& dlg, int width, int height)
{
    QWidget* picture = dlg.centralWidget();
    const auto exact = [&] { return picture->width() == width && picture->height() == height; };
    if (exact()) return true;
    dlg.resize(dlg.width() + width - picture->width(), dlg.height() + height - picture->height());
    return QTest::qWaitFor(exact, 5000);
}

std::unique_ptr<CMainDlg> OpenBenchWindow(const std::string& settings, std::string& error)
{
    auto dlg = std::make_unique<CMainDlg>();
    dlg->m_settingsPath = settings;
    if (!dlg->Setup()) {
        error = "no OpenGL window";
        return nullptr;
    }
    dlg->move(0, 0);
    dlg->show();
    if (!QTest::qWaitForWindowExposed(dlg.get())) {
        error = "the window was not shown";
        return nullptr;
    }
    if (!QTest::qWaitFor([&] { return dlg->m_memA.Capture() && dlg->m_memB.Capture(); }, 30000)) {
        error = "the cameras did not start";
        return nullptr;
    }
    dlg->Performance().SetCtrl1(64, ChangeSource::Dialog);
    dlg->Performance().SetCtrl2(64, ChangeSource::Dialog);
    return dlg;
}

double TicksPerSecond(CMainDlg& dlg, int ms, std::vector<double>* work,
                      const std::function<void()>& eachTurn)
{
    QElapsedTimer clock;
    clock.start();
    int last = dlg.m_nFrameCount;
    long ticks = 0;
    qint64 firstNs = -1, lastNs = 0;
    while (clock.elapsed() < ms) {
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        if (eachTurn) eachTurn();
        const int now = dlg.m_nFrameCount;
        if (now == last) continue;
        const qint64 at = clock.nsecsElapsed();
        if (work) work->push_back(dlg.FrameLoop().LastTickMs());
        if (firstNs < 0) {
            firstNs = at;  // the ticks count from this one on
        } else {
            // The tick that restarts the counter counts as 0.
            ticks += now >= last ? now - last : now + 1;
            lastNs = at;
        }
        last = now;
    }
    return ticks > 0 ? ticks * 1e9 / static_cast<double>(lastNs - firstNs) : 0.0;
}

RunningFigures MeasureRunning(CMainDlg& dlg, int windows, int ms,
                              const std::function<void()>& eachTurn)
{
    std::vector<double> rates, work;
    QElapsedTimer wall;
    wall.start();
    const double cpuStart = CpuSeconds();
    const double machineStart = MachineCpuSeconds();
    for (int window = 0; window < windows; ++window)
        rates.push_back(TicksPerSecond(dlg, ms, &work, eachTurn));
    const double seconds = static_cast<double>(wall.nsecsElapsed()) / 1e9;
    const double cpu = CpuSeconds() - cpuStart;
    const double machine = MachineCpuSeconds() - machineStart;
    RunningFigures figures;
    figures.ticksPerSecond = Median(rates);
    figures.workMedian = Median(work);
    figures.workP99 = Percentile99(work);
    figures.cpuPercent = 100.0 * cpu / seconds;
    figures.otherCpuPercent = std::max(0.0, 100.0 * (machine - cpu) / seconds);
    return figures;
}
