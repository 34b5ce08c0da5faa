// Dialog units, in which the dialogs' layouts are given: a quarter of the font's average
// character width across, an eighth of its height down, so a layout scales with its font.
#ifndef KOVRA_RES_DIALOGUNITS_H
#define KOVRA_RES_DIALOGUNITS_H

#include <QFont>
#include <QFontMetrics>
#include <QRect>
#include <QSize>
#include <QString>

class CDialogUnits {
public:
    explicit CDialogUnits(const QFont& font)
    {
        const QFontMetrics metrics(font);
        const QString alphabet =
            QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
        m_baseX = (metrics.horizontalAdvance(alphabet) / 26 + 1) / 2;
        m_baseY = metrics.height();
    }
    // Edges are converted, not the width and height, so adjoining controls stay adjoining.
    QRect Rect(int x, int y, int w, int h) const
    {
        return QRect(X(x), Y(y), X(x + w) - X(x), Y(y + h) - Y(y));
    }
    QSize Size(int w, int h) const { return QSize(X(w), Y(h)); }
    int X(int units) const { return (units * m_baseX + 2) / 4; }
    int Y(int units) const { return (units * m_baseY + 4) / 8; }

private:
    int m_baseX = 6;
    int m_baseY = 13;
};

#endif
