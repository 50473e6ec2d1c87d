#pragma once

#include <QList>
#include <QVariant>

// One node of the function catalogue tree. A node owns its children, not the entries
// its column data points to.
class TaviFuncTreeItem
{
public:
    TaviFuncTreeItem(const QList<QVariant>& data, TaviFuncTreeItem* parentItem);
    ~TaviFuncTreeItem();
    TaviFuncTreeItem(const TaviFuncTreeItem&) = delete;
    TaviFuncTreeItem& operator=(const TaviFuncTreeItem&) = delete;

    // Adds the child at the end and takes ownership of it.
    void appendChild(TaviFuncTreeItem* child);
    // The child at the row, or null when there is none.
    TaviFuncTreeItem* child(int row) const;
    int childCount() const;
    int columnCount() const;
    QVariant data(int column) const;
    // The position among the parent's children; 0 for the root.
    int row() const;
    TaviFuncTreeItem* parentItem() const;

private:
    QList<TaviFuncTreeItem*> m_childItems;
    QList<QVariant> m_itemData;
    TaviFuncTreeItem* m_parentItem;
};
