#include "ui/artwork.h"

#include <QPainter>
#include <QSvgRenderer>

namespace tideplot {

QPixmap Artwork(const QString& name, int sizePx, double devicePixelRatio)
{
    QSvgRenderer svg(QStringLiteral(":/tideplot/%1.svg").arg(name));
    const int side = qRound(sizePx * devicePixelRatio);
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    if (svg.isValid()) {
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        svg.render(&painter);
    }
    pixmap.setDevicePixelRatio(devicePixelRatio);
    return pixmap;
}

QIcon ArtworkIcon(const QString& name)
{
    QIcon icon;
    for (int size : {16, 24, 32, 48})
        icon.addPixmap(Artwork(name, size));
    return icon;
}

} // namespace tideplot
