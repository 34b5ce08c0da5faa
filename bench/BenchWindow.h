// What the window benchmarks share: the median of their samples, a device's place in the list,
// and the main window opened on a settings file with both cameras playing.
#ifndef KOVRA_BENCH_BENCHWINDOW_H
#define KOVRA_BENCH_BENCHWINDOW_H

#include <memory>
#include <string>
#include <vector>

class CMainDlg;

double Median(std::vector<double> values);

// The 1-based position of `name` among `names`, 0 when it is not there.
int DevicePosition(const std::vector<std::string>& names, const char* name);

// The main window on the settings file at `settings`, shown at the screen's corner, once both
// cameras deliver, with Ctrl 1 = Ctrl 2 = 64; null with `error` set otherwise.
std::unique_ptr<CMainDlg> OpenBenchWindow(const std::string& settings, std::string& error);

#endif
