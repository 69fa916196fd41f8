// What a table model shows, as the models' tests read it: a column's texts, the headings.
#pragma once

#include <QAbstractItemModel>
#include <QStringList>

#include <ostream>

// Texts in the failures' messages as text.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace tideplot::testing {

// A column's cells for a role, as texts.
inline QStringList Column(const QAbstractItemModel& model, int column, int role = Qt::DisplayRole)
{
    QStringList texts;
    for (int row = 0; row < model.rowCount(); ++row)
        texts << model.index(row, column).data(role).toString();
    return texts;
}

// A row's cells for a role, as texts.
inline QStringList Row(const QAbstractItemModel& model, int row, int role = Qt::DisplayRole)
{
    QStringList texts;
    for (int column = 0; column < model.columnCount(); ++column)
        texts << model.index(row, column).data(role).toString();
    return texts;
}

inline QStringList Headings(const QAbstractItemModel& model)
{
    QStringList texts;
    for (int column = 0; column < model.columnCount(); ++column)
        texts << model.headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
    return texts;
}

} // namespace tideplot::testing
