#pragma once

#include <QByteArray>
#include <QFile>

// The catalogue resource as the application ships it, read whole.
inline QByteArray shippedCatalogue()
{
    QFile file(QStringLiteral(TAVILINK_CATALOGUE));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read the catalogue %s", TAVILINK_CATALOGUE);
    return file.readAll();
}
