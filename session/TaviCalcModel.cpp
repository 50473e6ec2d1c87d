#include "session/TaviCalcModel.h"

TaviCalcModel::TaviCalcModel(QObject* parent)
    : QAbstractListModel(parent)
{
}

int TaviCalcModel::rowCount(const QModelIndex&) const
{
    return names.size();
}

QVariant TaviCalcModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !isRow(index.row()))
        return QVariant();
    return names.at(index.row());
}

int TaviCalcModel::getCurrentIndex() const
{
    return currentIndex;
}

void TaviCalcModel::setCurrentIndex(int index)
{
    if (index == currentIndex)
        return;
    currentIndex = index;
    emit indexOrSizeChange(currentIndex);
}

// Runs once at start-up, before any view is attached, so no row notifications.
void TaviCalcModel::initialize(QStringList list)
{
    names = list;
    if (names.isEmpty())
        return;
    currentIndex = 0;
    emit indexOrSizeChange(currentIndex);
}

void TaviCalcModel::pushBack(QString name)
{
    const int row = names.size();
    beginInsertRows(QModelIndex(), row, row);
    names.append(name);
    endInsertRows();
    // The first calculator to arrive becomes current by itself.
    if (names.size() == 1)
        currentIndex = 0;
    emit indexOrSizeChange(currentIndex);
}

void TaviCalcModel::deleteAt(int row)
{
    if (!isRow(row))
        return;
    beginRemoveRows(QModelIndex(), row, row);
    names.removeAt(row);
    endRemoveRows();
    // Keep naming the same calculator; when it is the one removed, the one before it
    // becomes current, or the one moving up into row 0.
    if (currentIndex > row || (currentIndex == row && currentIndex != 0))
        --currentIndex;
    emit indexOrSizeChange(currentIndex);
}

void TaviCalcModel::changeName(QString name)
{
    if (!isRow(currentIndex))
        return;
    names[currentIndex] = name;
    const QModelIndex changed = index(currentIndex);
    emit dataChanged(changed, changed);
}

QString TaviCalcModel::debugInf()
{
    return QStringLiteral("\n") + QString::number(currentIndex);
}

QString TaviCalcModel::getName()
{
    return isRow(currentIndex) ? names.at(currentIndex) : QString("");
}

bool TaviCalcModel::isRow(int row) const
{
    return row >= 0 && row < names.size();
}
