// The main window's full-screen switching, and the window manager's state that it follows:
// the title bar's maximise button enters full screen, a restore from outside leaves it.
#ifndef KOVRA_APP_FULLSCREEN_H
#define KOVRA_APP_FULLSCREEN_H

#include <QObject>
#include <QTimer>

class QMainWindow;

class CFullScreen : public QObject {
public:
    // `fullScreen` is the window's own flag, kept true while it covers the screen.
    CFullScreen(QMainWindow& window, bool& fullScreen);

    void Toggle();
    void Enter();
    void Leave();
    // The window's state changed (Qt's WindowStateChange): follows what the user did outside.
    void OnWindowStateChange();

private:
    void BeginChange();
    void FollowWindowState();

    QMainWindow& m_window;
    bool& m_bFullScreen;
    bool m_bChanging = false;  // our own switch is under way
    QTimer m_settle;           // ends that wait
};

#endif
