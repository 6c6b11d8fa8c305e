#include "app_icon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

// The same picture as kestrel.svg, for a Qt without its SVG plugin.
QPixmap painted_icon(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 32.0, size / 32.0);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x2f, 0x5d, 0x8a));
    painter.drawRoundedRect(QRectF(1, 1, 30, 30), 5, 5);
    QPainterPath bird;
    bird.moveTo(5, 20);
    for (const QPointF& point : {QPointF(14, 12), QPointF(19, 5), QPointF(21, 11), QPointF(27, 14), QPointF(20, 16),
                                 QPointF(17, 26), QPointF(14, 18)})
        bird.lineTo(point);
    bird.closeSubpath();
    painter.setBrush(QColor(0xf2, 0xb8, 0x4b));
    painter.drawPath(bird);
    painter.setBrush(QColor(0x2f, 0x5d, 0x8a));
    painter.drawEllipse(QPointF(19.5, 9), 1.2, 1.2);
    return pixmap;
}

} // namespace

// The resources live in a static library: register them explicitly (outside
// any namespace, as the resource initialiser is declared at global scope).
static void init_resources()
{
    Q_INIT_RESOURCE(kestrel);
}

QIcon app_icon()
{
    static QIcon icon;
    if (!icon.isNull())
        return icon;
    init_resources();
    icon = QIcon(QStringLiteral(":/kestrel.svg"));
    if (icon.pixmap(32, 32).isNull()) {
        icon = QIcon();
        for (int size : {16, 32, 48, 64})
            icon.addPixmap(painted_icon(size));
    }
    return icon;
}
