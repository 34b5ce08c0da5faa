// Full screen on and off, and the window manager's state it follows; see FullScreen.h.
#include "FullScreen.h"

#include <QMainWindow>
#include <QMenuBar>

CFullScreen::CFullScreen(QMainWindow& window, bool& fullScreen)
    : QObject(&window), m_window(window), m_bFullScreen(fullScreen)
{
    m_settle.setSingleShot(true);
    connect(&m_settle, &QTimer::timeout, this, [this] {
        m_bChanging = false;
        FollowWindowState();
    });
}

void CFullScreen::Toggle()
{
    if (m_bFullScreen) {
        Leave();
    } else {
        Enter();
    }
}

void CFullScreen::Enter()
{
    // Maximised without caption and frame covers the screen on Windows; here that is a
    // full-screen window: no frame, no menu bar, panels covered.
    BeginChange();
    m_bFullScreen = true;  // first: the window may report its new state at once
    m_window.menuBar()->hide();
    m_window.showFullScreen();
}

void CFullScreen::Leave()
{
    BeginChange();
    m_bFullScreen = false;
    m_window.showNormal();
    m_window.menuBar()->show();
}

void CFullScreen::BeginChange()
{
    // The window manager passes through states of its own on the way (openbox reports no
    // state at all between maximised and full screen, and Qt reports the requested state
    // before the window manager has acted). None of them is taken for the user's doing:
    // the state is looked at again once the switch has settled.
    m_bChanging = true;
    m_settle.start(500);
}

void CFullScreen::OnWindowStateChange()
{
    if (!m_bChanging) FollowWindowState();
}

void CFullScreen::FollowWindowState()
{
    // The title bar's maximise button enters full screen; a restore from outside (the
    // task bar, the window manager) leaves it.
    const Qt::WindowStates state = m_window.windowState();
    if (!m_bFullScreen && (state & Qt::WindowMaximized)) {
        QMetaObject::invokeMethod(this, &CFullScreen::Enter, Qt::QueuedConnection);
    } else if (m_bFullScreen && !(state & Qt::WindowFullScreen)) {
        QMetaObject::invokeMethod(this, &CFullScreen::Leave, Qt::QueuedConnection);
    }
}
