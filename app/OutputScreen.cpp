// The output screen's choice; see OutputScreen.h.
#include "OutputScreen.h"

#include <QActionGroup>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <utility>
#include <vector>

#include "IniFile.h"

namespace {

ScreenId IdOf(const QScreen* screen)
{
    return {screen->name().toStdString(), screen->model().toStdString(),
            screen->serialNumber().toStdString()};
}

}  // namespace

COutputScreen::COutputScreen(std::function<void(bool)> changed) : m_changed(std::move(changed))
{
    // A removed screen is out of Qt's list when this is told, and its windows not yet moved.
    connect(qGuiApp, &QGuiApplication::screenAdded, this, [this] { m_changed(false); });
    connect(qGuiApp, &QGuiApplication::screenRemoved, this, [this] { m_changed(false); });
}

QScreen* COutputScreen::Current() const
{
    const QList<QScreen*> screens = QGuiApplication::screens();
    std::vector<ScreenId> ids;
    for (const QScreen* screen : screens) ids.push_back(IdOf(screen));
    const int found = MatchScreen(ids, m_chosen);
    return found < 0 ? nullptr : screens[found];
}

void COutputScreen::Choose(const ScreenId& screen)
{
    m_chosen = screen;
    m_changed(true);
}

void COutputScreen::ExchangeSettings(IniProfile& profile, bool load)
{
    if (load) {
        m_chosen = {};
        m_bInFile = profile.GetString("OUTPUT", "SCREEN", m_chosen.name);
        profile.GetString("OUTPUT", "SCREENMODEL", m_chosen.model);
        profile.GetString("OUTPUT", "SCREENSERIAL", m_chosen.serial);
        return;
    }
    // A file of before the choice gets the keys only once a screen is chosen.
    if (!m_bInFile && m_chosen.name.empty()) return;
    profile.Set("OUTPUT", "SCREEN", m_chosen.name);
    profile.Set("OUTPUT", "SCREENMODEL", m_chosen.model);
    profile.Set("OUTPUT", "SCREENSERIAL", m_chosen.serial);
}

void COutputScreen::AttachMenu(QMenu* menu)
{
    connect(menu, &QMenu::aboutToShow, this, [this, menu] { FillMenu(menu); });
    FillMenu(menu);
}

void COutputScreen::FillMenu(QMenu* menu)
{
    // clear() deletes the actions, not the group of the last fill.
    qDeleteAll(menu->findChildren<QActionGroup*>(Qt::FindDirectChildrenOnly));
    menu->clear();
    auto* group = new QActionGroup(menu);
    QAction* same = menu->addAction("Same Screen as the Window");
    same->setCheckable(true);
    same->setChecked(m_chosen.name.empty());
    group->addAction(same);
    connect(same, &QAction::triggered, this, [this] { Choose({}); });
    // The chosen screen is ticked while it is there; an absent one is kept, unticked.
    QScreen* const current = Current();
    for (QScreen* screen : QGuiApplication::screens()) {
        const ScreenId id = IdOf(screen);
        const QSize size = screen->size();
        QAction* item =
            menu->addAction(QString::fromStdString(ScreenLabel(id, size.width(), size.height())));
        item->setCheckable(true);
        item->setChecked(screen == current);
        group->addAction(item);
        connect(item, &QAction::triggered, this, [this, id] { Choose(id); });
    }
}
