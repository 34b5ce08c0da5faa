// The main window's OpenGL surface; see GlView.h.
#include "GlView.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QResizeEvent>
#include <utility>

CGlView::CGlView(Events events) : m_events(std::move(events))
{
    setSurfaceType(QSurface::OpenGLSurface);
    setFormat(Format());
}

QSurfaceFormat CGlView::Format()
{
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setRedBufferSize(8);
    format.setGreenBufferSize(8);
    format.setBlueBufferSize(8);
    format.setAlphaBufferSize(8);
    format.setDepthBufferSize(24);
    format.setSwapBehavior(QSurfaceFormat::DoubleBuffer);
    // The frame loop paces itself; waiting for the display's refresh would halve its rate.
    format.setSwapInterval(0);
    return format;
}

void CGlView::keyPressEvent(QKeyEvent* event) { m_events.keyPress(*event); }

void CGlView::keyReleaseEvent(QKeyEvent* event) { m_events.keyRelease(*event); }

void CGlView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) m_events.leftButtonDown();
    QWindow::mousePressEvent(event);
}

void CGlView::resizeEvent(QResizeEvent* event)
{
    QWindow::resizeEvent(event);
    const qreal ratio = devicePixelRatio();
    m_events.size(static_cast<int>(event->size().width() * ratio),
                  static_cast<int>(event->size().height() * ratio));
}

void CGlView::focusOutEvent(QFocusEvent* event)
{
    m_events.focusLost();
    QWindow::focusOutEvent(event);
}

void CGlView::closeEvent(QCloseEvent* event)
{
    if (!m_events.closed) {
        QWindow::closeEvent(event);
        return;
    }
    // The owner decides (and may delete the window, so not from inside its own event).
    event->ignore();
    QMetaObject::invokeMethod(
        this, [this] { m_events.closed(); }, Qt::QueuedConnection);
}
