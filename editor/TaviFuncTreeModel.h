#pragma once

#include "editor/TaviFuncTreeItem.h"

#include <QAbstractItemModel>
#include <QByteArray>
#include <QHash>
#include <QStringList>

#include <memory>

// The function catalogue as a read-only tree of one column. Every item carries its
// TaviFuncType entry under the role "name"; the model owns the nodes and the entries.
class TaviFuncTreeModel : public QAbstractItemModel
{
    Q_OBJECT

public:
    enum TreeModelRoles {
        TreeModelRoleName = Qt::UserRole + 1,
        TreeModelRoleDesc,
    };
    Q_ENUM(TreeModelRoles)

    // Builds the whole tree from the catalogue text: one node per non-blank line, nested
    // by leading blanks, calculator characters written as "\x" and two hex digits.
    explicit TaviFuncTreeModel(QByteArray catalogue, QObject* parent = nullptr);
    ~TaviFuncTreeModel() override;

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& index) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QHash<int, QByteArray> roleNames() const override;

    // Expands the "\x" escapes in place and reads the bytes as Latin-1 up to the first NUL.
    static QString unescapeHexCodes(QByteArray& data);
    // Appends one node per line below the parent, nesting by leading blanks.
    void buildFuncTree(const QStringList& lines, TaviFuncTreeItem* parent);
    // The entry of one line's text, "name@description" or a bare name, owned by the model.
    QVariant parseFuncLine(const QString& text);

private:
    // The node of an index; the root for an invalid one.
    TaviFuncTreeItem* itemFor(const QModelIndex& index) const;

    std::unique_ptr<TaviFuncTreeItem> m_rootItem;
    QHash<int, QByteArray> m_roleNames;
};
