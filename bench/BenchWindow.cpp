// What the window benchmarks share; see BenchWindow.h.
#include "BenchWindow.h"

#include <QTest>
#include <algorithm>

#include "MainDlg.h"

double Median(std::vector<double> values)
{
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

int DevicePosition(const std::vector<std::string>& names, const char* name)
{
    const auto found = std::find(names.begin(), names.end(), name);
    return found == names.end() ? 0 : static_cast<int>(found - names.begin()) + 1;
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
        error = "the test-pattern cameras did not start";
        return nullptr;
    }
    dlg->Performance().SetCtrl1(64, ChangeSource::Dialog);
    dlg->Performance().SetCtrl2(64, ChangeSource::Dialog);
    return dlg;
}
