// The application object: finds the settings file, runs the main window and ends.
#ifndef KOVRA_APP_MAINAPP_H
#define KOVRA_APP_MAINAPP_H

#include <QApplication>

class CMainApp {
public:
    CMainApp(int& argc, char** argv);
    // Runs the main window until it closes; the program's exit code.
    int InitInstance();

private:
    QApplication m_app;
};

// No OpenGL context: its message in a box that waits for OK, or on standard error where no
// window can be shown (Qt's offscreen and minimal platforms).
void ReportOpenGlFailure();

// A failing MIDI device call: its message in a box with an OK button over the window.
void ReportMidiError(int message, QWidget* window);

#endif
