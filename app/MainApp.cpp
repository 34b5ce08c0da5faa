// The application object; see MainApp.h.
#include "MainApp.h"

#include <QMessageBox>

#include "CaptureSetup.h"
#include "KeyRepeat.h"
#include "MainDlg.h"
#include "Resources.h"
#include "SettingsPath.h"
#include "SignalExit.h"

CMainApp::CMainApp(int& argc, char** argv) : m_app(argc, argv)
{
    QApplication::setApplicationName(kProgramName);
    QApplication::setWindowIcon(QIcon(kIconPath));
}

int CMainApp::InitInstance()
{
    InitCapture();
    EnableDetectableAutoRepeat();
    CMainDlg dlg;
    dlg.m_settingsPath = SettingsPathFor(ProgramPath());
    if (!dlg.Setup()) {
        QMessageBox box(QMessageBox::NoIcon, kProgramName, kOpenGlFailedText, QMessageBox::Ok);
        box.exec();
        return 1;  // nothing more runs, and the settings file is left as it was
    }
    CloseOnSignals(&dlg);
    dlg.show();
    m_app.exec();
    return 0;
}
