// Full screen on and off. With the window's own screen chosen for the output, the main window
// covers its screen, and the window manager's state is followed: the title bar's maximise
// button enters full screen, a restore from outside leaves it. With another screen chosen,
// full screen is the output window on that screen, and the main window stays as it is and
// shows the preview; a screen that goes away takes the output window with it, and brings it
// back when it comes again.
#ifndef KOVRA_APP_FULLSCREEN_H
#define KOVRA_APP_FULLSCREEN_H

#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>

#include "GlView.h"
#include "OutputScreen.h"
#include "OutputWindow.h"

class CFrameLoop;
class QMainWindow;

class CFullScreen : public QObject {
public:
    // `fullScreen` is the window's own flag, kept true while the show is full screen (also
    // while its screen is away). `outputEvents` go where the main picture's events go.
    CFullScreen(QMainWindow& window, bool& fullScreen, CFrameLoop& frameLoop,
                CGlView::Events outputEvents);
    ~CFullScreen() override;

    // Told after full screen went on or off (feedback to the controllers).
    void SetChanged(std::function<void()> changed) { m_changed = std::move(changed); }
    void Toggle();
    void Enter();
    void Leave();
    // The window's state changed (Qt's WindowStateChange): follows what the user did outside.
    void OnWindowStateChange();
    COutputScreen& Screen() { return m_screen; }
    // At the close: the output window goes at once.
    void CloseOutput();

private:
    void BeginChange();
    void FollowWindowState();
    // The choice or the screens changed while the show is full screen.
    void OnScreensChanged(bool chosen);
    void CoverWithMain(bool cover);
    void OpenOutput(QScreen* screen);

    QMainWindow& m_window;
    bool& m_bFullScreen;
    CFrameLoop& m_frameLoop;
    CGlView::Events m_outputEvents;
    COutputScreen m_screen;
    std::unique_ptr<COutputWindow> m_output;
    bool m_bMainCovers = false;  // full screen is the main window itself
    bool m_bChanging = false;    // our own switch is under way
    QTimer m_settle;             // ends that wait
    std::function<void()> m_changed;
};

#endif
