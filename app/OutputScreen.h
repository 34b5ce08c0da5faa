// The screen the show goes to in full screen: the performer's choice in the Output Screen
// menu, remembered in the settings file, found again among the screens Qt lists, and told
// when screens come and go.
#ifndef KOVRA_APP_OUTPUTSCREEN_H
#define KOVRA_APP_OUTPUTSCREEN_H

#include <QObject>
#include <functional>

#include "ScreenMatch.h"

class IniProfile;
class QMenu;
class QScreen;

class COutputScreen : public QObject {
public:
    // `changed` is called when the choice changes (`chosen` true) or a screen comes or goes.
    explicit COutputScreen(std::function<void(bool chosen)> changed);

    // The chosen screen while Qt lists it; null for the window's own screen, or while the
    // chosen one is absent (the choice is kept for when it comes back).
    QScreen* Current() const;
    void Choose(const ScreenId& screen);
    // SCREEN, SCREENMODEL and SCREENSERIAL of the [OUTPUT] section.
    void ExchangeSettings(IniProfile& profile, bool load);
    // Fills the Output Screen submenu afresh each time it opens.
    void AttachMenu(QMenu* menu);

private:
    void FillMenu(QMenu* menu);

    const std::function<void(bool)> m_changed;
    ScreenId m_chosen;
    bool m_bInFile = false;
};

#endif
