#pragma once

#include <QIdentityProxyModel>
#include <QSortFilterProxyModel>
#include <QVariant>

// The boats' cells of the windows' tables drawn in their colours: the models give each boat
// cell's colours as numbers (models/tablemodels.h: BoatColourRole, BoatTextColourRole); a
// view shows a model through one of these proxies, which give the brushes Qt draws with as
// the cell's Qt::BackgroundRole and Qt::ForegroundRole.
namespace tideplot {

// The brush of a cell's `role` (Qt::BackgroundRole or Qt::ForegroundRole) from its cell in
// `source`; nothing for another role or a cell with no colour.
QVariant BoatCellBrush(const QModelIndex& source, int role);

template <class Proxy> class BoatColoured : public Proxy {
public:
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (role == Qt::BackgroundRole || role == Qt::ForegroundRole)
            return BoatCellBrush(Proxy::mapToSource(index), role);
        return Proxy::data(index, role);
    }
};

// A model as it is, its boats' cells coloured.
using BoatColouredTable = BoatColoured<QIdentityProxyModel>;
// A model sorted by a column's Qt::UserRole as the user clicks its heading, its boats' cells
// coloured.
using SortedBoatColouredTable = BoatColoured<QSortFilterProxyModel>;

} // namespace tideplot
