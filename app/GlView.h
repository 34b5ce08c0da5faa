// The OpenGL surface that fills the main window: a QWindow of its own (drawn straight to,
// with no extra framebuffer, which keeps 30 frames a second at full HD on a software
// renderer). It hands its key, mouse and size events to the main window.
#ifndef KOVRA_APP_GLVIEW_H
#define KOVRA_APP_GLVIEW_H

#include <QWindow>

class CMainDlg;

class CGlView : public QWindow {
public:
    explicit CGlView(CMainDlg& owner);

    // The surface format the program asks for: compatibility profile, 8 bits per colour
    // and alpha, 24-bit depth, double-buffered.
    static QSurfaceFormat Format();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    CMainDlg& m_owner;
};

#endif
