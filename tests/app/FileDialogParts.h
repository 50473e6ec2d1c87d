#pragma once

#include <QQuickItem>

// The first part of Qt's own file dialog (the one written in QML) that has this property or
// method: its file list ("sortIndicatorColumn"), or the path field where the user types a
// path and accepts it ("doAccept()").
inline QQuickItem* fileDialogPart(const QObject* dialog, const char* member)
{
    QList<QQuickItem*> items{qvariant_cast<QQuickItem*>(dialog->property("contentItem"))};
    while (!items.isEmpty() && items.first()) {
        QQuickItem* item = items.takeFirst();
        const QMetaObject* type = item->metaObject();
        if (type->indexOfMethod(member) >= 0 || type->indexOfProperty(member) >= 0)
            return item;
        items += item->childItems();
    }
    return nullptr;
}
