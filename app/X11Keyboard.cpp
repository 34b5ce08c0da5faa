// Detectable auto-repeat on the X server that Qt is connected to, if it is one.
#include <QGuiApplication>

#include "KeyRepeat.h"

// Xlib's macros (Bool, None, KeyPress...) clash with Qt's names: include it last.
#include <X11/XKBlib.h>

void EnableDetectableAutoRepeat()
{
    auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->display()) return;
    Bool supported = False;
    XkbSetDetectableAutoRepeat(x11->display(), True, &supported);
}
