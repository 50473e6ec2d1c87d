#include "session/TaviFileModel.h"

TaviFileModel::TaviFileModel(QObject* parent)
    : QAbstractListModel(parent)
{
    roles[nameRole] = "nameRole";
    roles[sizeRole] = "sizeRole";
}

int TaviFileModel::rowCount(const QModelIndex&) const
{
    return files.size();
}

QVariant TaviFileModel::data(const QModelIndex& index, int role) const
{
    if (!isRow(index.row()))
        return QVariant();
    const FileEntry& entry = files.at(index.row());
    switch (role) {
    case nameRole:
        return entry.first;
    case sizeRole:
        return entry.second;
    default:
        return QVariant();
    }
}

QHash<int, QByteArray> TaviFileModel::roleNames() const
{
    return roles;
}

// Runs once at start-up, before any view is attached, so no row notifications.
void TaviFileModel::initialize(QList<FileEntry> list)
{
    files = list;
}

// Announces the whole list as inserted rows, so callers clear the model first.
void TaviFileModel::setFileNames(QList<FileEntry> list)
{
    if (list.isEmpty())
        return;
    beginInsertRows(QModelIndex(), 0, list.size() - 1);
    files = list;
    endInsertRows();
}

void TaviFileModel::clear()
{
    if (files.isEmpty())
        return;
    beginRemoveRows(QModelIndex(), 0, files.size() - 1);
    files.clear();
    endRemoveRows();
}

FileEntry TaviFileModel::getFileInfAt(int row) const
{
    return isRow(row) ? files.at(row) : FileEntry(QString(), 0);
}

// Names that differ only in letter case are the same file on the calculator.
bool TaviFileModel::isFileExist(QString name) const
{
    return isNameIn(files, name);
}

bool TaviFileModel::isNameIn(const QList<FileEntry>& list, const QString& name)
{
    const QString wanted = name.toUpper();
    for (const FileEntry& entry : list) {
        if (entry.first.toUpper() == wanted)
            return true;
    }
    return false;
}

void TaviFileModel::addFile(FileEntry entry)
{
    const QString wanted = entry.first.toUpper();
    for (int row = 0; row < files.size(); ++row) {
        if (files.at(row).first == wanted) {
            files[row] = entry;
            const QModelIndex changed = index(row);
            emit dataChanged(changed, changed);
            return;
        }
    }
    const int row = files.size();
    beginInsertRows(QModelIndex(), row, row);
    files.append(entry);
    endInsertRows();
}

void TaviFileModel::deleteByName(QString name)
{
    for (int row = 0; row < files.size(); ++row) {
        if (files.at(row).first == name) {
            deleteAt(row);
            return;
        }
    }
}

void TaviFileModel::deleteAt(int row)
{
    if (!isRow(row))
        return;
    beginRemoveRows(QModelIndex(), row, row);
    files.removeAt(row);
    endRemoveRows();
}

QString TaviFileModel::getName(int row)
{
    return isRow(row) ? files.at(row).first : QString("");
}

bool TaviFileModel::isRow(int row) const
{
    return row >= 0 && row < files.size();
}
