#include "ui/boatcolours.h"

#include "models/tablemodels.h"

#include <QBrush>
#include <QColor>

namespace tideplot {

QVariant BoatCellBrush(const QModelIndex& source, int role)
{
    const QVariant rgb = source.data(role == Qt::BackgroundRole ? BoatColourRole : BoatTextColourRole);
    if (!rgb.isValid())
        return {};
    return QBrush(QColor::fromRgb(rgb.toUInt()));
}

} // namespace tideplot
