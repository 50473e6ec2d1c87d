#include "editor/TaviFuncTreeItem.h"

TaviFuncTreeItem::TaviFuncTreeItem(const QList<QVariant>& data, TaviFuncTreeItem* parentItem)
    : m_itemData(data)
    , m_parentItem(parentItem)
{
}

TaviFuncTreeItem::~TaviFuncTreeItem()
{
    qDeleteAll(m_childItems);
}

void TaviFuncTreeItem::appendChild(TaviFuncTreeItem* child)
{
    m_childItems.append(child);
}

TaviFuncTreeItem* TaviFuncTreeItem::child(int row) const
{
    return m_childItems.value(row, nullptr);
}

int TaviFuncTreeItem::childCount() const
{
    return m_childItems.size();
}

int TaviFuncTreeItem::columnCount() const
{
    return m_itemData.size();
}

QVariant TaviFuncTreeItem::data(int column) const
{
    return m_itemData.value(column);
}

int TaviFuncTreeItem::row() const
{
    if (!m_parentItem)
        return 0;
    return m_parentItem->m_childItems.indexOf(const_cast<TaviFuncTreeItem*>(this));
}

TaviFuncTreeItem* TaviFuncTreeItem::parentItem() const
{
    return m_parentItem;
}
