// The keyboard map's key codes; see KeyMap.h.
#include "KeyMap.h"

#include <QKeyEvent>
#include <Qt>

#include "UsLayout.h"

int VirtualKeyFromQt(int qtKey)
{
    if ((qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) || (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)) {
        return qtKey;  // Qt's codes for these are their ASCII capitals
    }
    switch (qtKey) {
        case Qt::Key_Shift:
            return VK_SHIFT;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return VK_RETURN;
        case Qt::Key_Escape:
            return VK_ESCAPE;
        default:
            // Qt's other codes are punctuation (never 13, 16 or 27) or lie far above ASCII.
            return qtKey;
    }
}

int VirtualKeyOf(const QKeyEvent& event)
{
    return VirtualKeyFromQt(event.key(), event.nativeScanCode());
}

int VirtualKeyFromQt(int qtKey, unsigned keycode)
{
    const bool latin = qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z;
    if (!latin && qtKey > Qt::Key_AsciiTilde && qtKey < Qt::Key_Escape) {
        // A letter of another script (Qt's codes for those lie between ASCII and its
        // special keys): the US layout's letter of the same physical key, if it has one.
        if (const char letter = UsLayoutLetter(keycode)) return letter;
    }
    return VirtualKeyFromQt(qtKey);
}

bool IsSystemKeyDown(const QKeyEvent& event)
{
    return (event.modifiers() & Qt::AltModifier) || event.key() == Qt::Key_Alt ||
           event.key() == Qt::Key_F10;
}

bool FrameMemoryKey(int virtualKey, int& camera, int& key)
{
    static const char kCameraA[] = "QWERTYUI";
    static const char kCameraB[] = "ASDFGHJK";
    for (int i = 0; i < 8; ++i) {
        if (virtualKey == kCameraA[i] || virtualKey == kCameraB[i]) {
            camera = virtualKey == kCameraA[i] ? 0 : 1;
            key = i;
            return true;
        }
    }
    return false;
}
