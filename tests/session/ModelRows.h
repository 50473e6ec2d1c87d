#pragma once

#include "session/TaviCalcModel.h"
#include "session/TaviFileModel.h"

// What the two list models show, row by row, read through their roles as a view reads them.
inline QStringList calcNames(const TaviCalcModel& model)
{
    QStringList names;
    for (int row = 0; row < model.rowCount(); ++row)
        names << model.data(model.index(row), Qt::DisplayRole).toString();
    return names;
}

inline QList<FileEntry> fileRows(const TaviFileModel& model)
{
    QList<FileEntry> files;
    for (int row = 0; row < model.rowCount(); ++row) {
        const QModelIndex index = model.index(row);
        files.append({model.data(index, TaviFileModel::nameRole).toString(),
                      model.data(index, TaviFileModel::sizeRole).toInt()});
    }
    return files;
}
