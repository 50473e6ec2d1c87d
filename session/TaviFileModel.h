#pragma once

#include "link/LinkTypes.h"

#include <QAbstractListModel>
#include <QHash>
#include <QList>

// The current calculator's files, one row per entry, in the order the calculator reported
// them. Reloading is a removal of all rows followed by an insertion, never a reset.
class TaviFileModel : public QAbstractListModel
{
    Q_OBJECT

public:
    static constexpr int nameRole = Qt::UserRole;
    // Role 257 is left unused.
    static constexpr int sizeRole = Qt::UserRole + 2;

    explicit TaviFileModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    void initialize(QList<FileEntry> list);
    void setFileNames(QList<FileEntry> list);
    void clear();
    FileEntry getFileInfAt(int row) const;
    bool isFileExist(QString name) const;
    // The same lookup in a list of the calculator's files.
    static bool isNameIn(const QList<FileEntry>& list, const QString& name);
    void addFile(FileEntry entry);
    void deleteByName(QString name);
    void deleteAt(int row);

    Q_INVOKABLE QString getName(int row);

private:
    bool isRow(int row) const;

    QList<FileEntry> files;
    QHash<int, QByteArray> roles;
};
