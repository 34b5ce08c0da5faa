// The application object; see MainApp.h.
#include "MainApp.h"

#include <QMessageBox>
#include <cstdio>

#include "BoundedMidiDriver.h"
#include "CaptureSetup.h"
#include "KeyRepeat.h"
#include "MainDlg.h"
#include "MidiIn.h"
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
    // The MIDI driver lives as long as the window that receives from it; a listing or open
    // that hangs in a back end keeps its share of the driver below on a thread of its own.
    CBoundedMidiDriver midiDriver(std::make_shared<CRtMidiDriver>());
    g_midiIn.SetDriver(&midiDriver);
    g_midiIn.SetReporter([&dlg](int message) { ReportMidiError(message, &dlg); });
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
    g_midiIn.SetReporter(nullptr);
    g_midiIn.SetDriver(nullptr);
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
