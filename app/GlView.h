// The OpenGL surface that fills the main window: a QWindow of its own (drawn straight to,
// with no extra framebuffer, which keeps 30 frames a second at full HD on a software
// renderer). It hands its key, mouse and size events to the window it fills.
#ifndef KOVRA_APP_GLVIEW_H
#define KOVRA_APP_GLVIEW_H

#include <QWindow>
#include <functional>

class CGlView : public QWindow {
public:
    // Where its events go, set once by the window it fills.
    struct Events {
        std::function<void(const QKeyEvent&)> keyPress;
        std::function<void(const QKeyEvent&)> keyRelease;
        std::function<void()> leftButtonDown;
        std::function<void(int cx, int cy)> size;  // in device pixels
        std::function<void()> focusLost;
        std::function<void()> closed;  // the window manager closed it; may be empty
    };

    explicit CGlView(Events events);

    // The surface format the program asks for: compatibility profile, 8 bits per colour
    // and alpha, 24-bit depth, double-buffered.
    static QSurfaceFormat Format();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    const Events m_events;
};

#endif
