// Full screen on and off, on the window's screen or another; see FullScreen.h.
#include "FullScreen.h"

#include <QMainWindow>
#include <QMenuBar>
#include <utility>

#include "FrameLoop.h"

CFullScreen::CFullScreen(QMainWindow& window, bool& fullScreen, CFrameLoop& frameLoop,
                         CGlView::Events outputEvents)
    : QObject(&window),
      m_window(window),
      m_bFullScreen(fullScreen),
      m_frameLoop(frameLoop),
      m_outputEvents(std::move(outputEvents)),
      m_screen([this](bool chosen) { OnScreensChanged(chosen); })
{
    // The compositor closing the output window (Alt+F4 there) ends full screen.
    m_outputEvents.closed = [this] { Leave(); };
    m_settle.setSingleShot(true);
    connect(&m_settle, &QTimer::timeout, this, [this] {
        m_bChanging = false;
        FollowWindowState();
    });
}

CFullScreen::~CFullScreen() { CloseOutput(); }

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
    m_bFullScreen = true;  // first: the window may report its new state at once
    // A chosen screen that is absent now: the window's own, and the choice kept.
    if (QScreen* screen = m_screen.Current()) {
        OpenOutput(screen);
    } else {
        CoverWithMain(true);
    }
    if (m_changed) m_changed();
}

void CFullScreen::Leave()
{
    m_bFullScreen = false;
    CloseOutput();
    CoverWithMain(false);
    if (m_changed) m_changed();
}

void CFullScreen::OnScreensChanged(bool chosen)
{
    if (!m_bFullScreen) return;
    QScreen* const screen = m_screen.Current();
    if (m_output && m_output->screen() == screen) return;
    // Unplugged: the output closes and the preview plays on in the main window.
    CloseOutput();
    if (screen) {
        CoverWithMain(false);
        OpenOutput(screen);
    } else if (chosen) {
        CoverWithMain(true);  // the window's own screen was chosen
    }
}

void CFullScreen::OpenOutput(QScreen* screen)
{
    m_output = std::make_unique<COutputWindow>(m_outputEvents);
    m_output->ShowOn(screen);
    m_frameLoop.SetOutput(m_output.get());
}

void CFullScreen::CloseOutput()
{
    if (!m_output) return;
    m_frameLoop.SetOutput(nullptr);
    m_output->hide();
    // Not deleted at once: this may run inside one of its events or a screen's removal.
    m_output.release()->deleteLater();
}

void CFullScreen::CoverWithMain(bool cover)
{
    if (cover == m_bMainCovers) return;
    // Maximised without caption and frame covers the screen on Windows; here that is a
    // full-screen window: no frame, no menu bar, panels covered.
    BeginChange();
    m_bMainCovers = cover;
    if (cover) {
        m_window.menuBar()->hide();
        m_window.showFullScreen();
    } else {
        m_window.showNormal();
        m_window.menuBar()->show();
    }
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
    // The title bar's maximise button toggles full screen (the output window's too, which
    // leaves the main window as it was); a restore from outside (the task bar, the window
    // manager) leaves a main window that covers its screen.
    const Qt::WindowStates state = m_window.windowState();
    if ((state & Qt::WindowMaximized) && !m_bMainCovers) {
        QMetaObject::invokeMethod(
            this,
            [this] {
                Toggle();
                if (m_bMainCovers) return;
                BeginChange();
                m_window.showNormal();
            },
            Qt::QueuedConnection);
    } else if (m_bFullScreen && m_bMainCovers && !(state & Qt::WindowFullScreen)) {
        QMetaObject::invokeMethod(this, &CFullScreen::Leave, Qt::QueuedConnection);
    }
}
