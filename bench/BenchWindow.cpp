// What the window benchmarks share; see BenchWindow.h.
#include "BenchWindow.h"

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
