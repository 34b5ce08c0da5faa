// The application object; see MainApp.h.
#include "MainApp.h"

#include <QMessageBox>
#include <cstdio>

#include "BoundedMidiDriver.h"
#include "CaptureSetup.h"
#include "KeyRepeat.h"
#include "MainDlg.h"
#include "Resources.h"
#include "RtMidiDriver.h"
#include "SettingsPath.h"
#include "SignalExit.h"

CMainApp::CMainApp(int& argc, char** argv) : m_app(argc, argv)
{
    QApplication::setApplicationName(kProgramName);
    // Desktops and Wayland compositors find the installed desktop entry and icon by this name.
    QGuiApplication::setDesktopFileName("org.kovra.Kovra");
    QApplication::setWindowIcon(QIcon(kIconPath));
}

int CMainApp::InitInstance()
{
    InitCapture();
    EnableDetectableAutoRepeat();
    CMainDlg dlg;
    // The MIDI driver lives while the window does, on the window's worker; a call that
    // hangs in a back end keeps its share of the driver below on that back end's lane.
    CBoundedMidiDriver midiDriver(dlg.Worker(), std::make_shared<CRtMidiDriver>());
    dlg.Midi().SetDriver(&midiDriver);
    dlg.Midi().SetReporter([&dlg](int message) { ReportMidiError(message, &dlg); });
    dlg.m_settingsPath = SettingsPath();
    const bool ready = dlg.Setup();
    if (!ready) {
        ReportOpenGlFailure();
    } else {
        CloseOnSignals(&dlg);
        // Losing the display ends the program inside Qt with exit(1): the settings are
        // written then, unless the window has closed (and written them) already.
        FinishOnExit([&dlg] {
            if (!dlg.Destroyed()) dlg.ExchangeSettings(false);
        });
        dlg.show();
        m_app.exec();
        FinishOnExit(nullptr);
    }
    dlg.Midi().SetReporter(nullptr);
    dlg.Midi().SetDriver(nullptr);
    // Without OpenGL nothing more runs, and the settings file is left as it was.
    return ready ? 0 : 1;
}

void ReportOpenGlFailure()
{
    // Where no window can be shown, a box would wait for ever for a click that cannot come.
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal")) {
        std::fprintf(stderr, "%s\n", kOpenGlFailedText);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, kProgramName, kOpenGlFailedText, QMessageBox::Ok);
    box.exec();
}

void ReportMidiError(int message, QWidget* window)
{
    QMessageBox box(QMessageBox::Warning, kProgramName, LoadResString(message), QMessageBox::Ok,
                    window);
    box.exec();
}
