// What the window benchmarks share: a device's place in the list, the main window opened on a
// settings file with both cameras playing, and its picture area sized.
#ifndef KOVRA_BENCH_BENCHWINDOW_H
#define KOVRA_BENCH_BENCHWINDOW_H

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "BenchStats.h"

class CMainDlg;

// The 1-based position of `name` among `names`, 0 when it is not there.
int DevicePosition(const std::vector<std::string>& names, const char* name);

// The main window on the settings file at `settings`, shown at the screen's corner, once both
// cameras deliver (devices, clips or stills), with Ctrl 1 = Ctrl 2 = 64; null with `error` set
// otherwise.
std::unique_ptr<CMainDlg> OpenBenchWindow(const std::string& settings, std::string& error);

// Makes the main window's picture area exactly width x height; false when the screen is too
// small for it.
bool SizePicture(CMainDlg& dlg, int width, int height);

// Turns the event loop for `ms`, counting the frame loop's ticks (its counter restarts every
// 5 s); the rate is taken between the first and the last tick seen. Each tick's own work goes
// to `work` where given; `eachTurn` runs after every turn of the event loop.
double TicksPerSecond(CMainDlg& dlg, int ms, std::vector<double>* work = nullptr,
                      const std::function<void()>& eachTurn = {});

// The running frame loop over `windows` windows of `ms`.
struct RunningFigures {
    double ticksPerSecond = 0;           // the median of the windows' rates
    double workMedian = 0, workP99 = 0;  // ms, of every tick seen
    double cpuPercent = 0;               // the process's, of one core
    double otherCpuPercent = 0;          // the rest of the machine's, of one core
};
RunningFigures MeasureRunning(CMainDlg& dlg, int windows, int ms,
                              const std::function<void()>& eachTurn = {});

#endif
