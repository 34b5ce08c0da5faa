// What the window benchmarks share: a device's place in the list, the main window opened on a
// settings file with both cameras playing, and its picture area sized.
#ifndef KOVRA_BENCH_BENCHWINDOW_H
#define KOVRA_BENCH_BENCHWINDOW_H

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

#endif
