#include "app/widgets/dialog_units.h"

#include <QFontMetrics>
#include <QWidget>

QFont dialog_font(int points)
{
    QFont font;
    font.setFamilies({QStringLiteral("MS PGothic"), QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic"),
                      QStringLiteral("Noto Sans CJK JP"), QStringLiteral("VL PGothic"), QStringLiteral("sans-serif")});
    font.setPointSize(points);
    return font;
}

DialogUnits::DialogUnits(const QFont& font)
{
    QFontMetrics metrics(font);
    // The average width of the 52 Latin letters, rounded as the dialog manager does.
    const int letters =
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    m_baseX = (letters / 26 + 1) / 2;
    m_baseY = metrics.height();
    if (m_baseX < 1)
        m_baseX = 1;
    if (m_baseY < 1)
        m_baseY = 1;
}

QRect DialogUnits::rect(int x, int y, int width, int height) const
{
    return QRect(x * m_baseX / 4, y * m_baseY / 8, width * m_baseX / 4, height * m_baseY / 8);
}

QSize DialogUnits::size(int width, int height) const
{
    return QSize(width * m_baseX / 4, height * m_baseY / 8);
}

void DialogUnits::place(QWidget* widget, int x, int y, int width, int height) const
{
    widget->setGeometry(rect(x, y, width, height));
}
