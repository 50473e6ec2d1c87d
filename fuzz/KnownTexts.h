#pragma once

#include "link/LinkTexts.h"

#include <QStringList>

// Every text of the link's own tables: its messages and the texts of the error kinds. What
// else it may show comes from a calculator's answer.
inline QStringList knownLinkTexts()
{
    QStringList texts;
    for (const char* text : {LinkTexts::nothingReceived, LinkTexts::portClosed, LinkTexts::writeDevice,
                             LinkTexts::readDevice, LinkTexts::parseMessage, LinkTexts::incorrectResponse,
                             LinkTexts::cantWriteBackup, LinkTexts::cantOpenBackup, LinkTexts::cantReadBackup,
                             LinkTexts::cantClear, LinkTexts::cantReboot, LinkTexts::cantConnect,
                             LinkTexts::outOfStep})
        texts << QString::fromUtf8(text);
    for (const char* text : LinkTexts::errorKinds)
        texts << QString::fromUtf8(text);
    return texts;
}

// The text of a job that lost step, naming the files it did not do: those that follow the
// first "count" of the names it was given, in their order.
inline QString notDoneText(const QStringList& names, int count)
{
    return QString::fromUtf8(LinkTexts::outOfStepNotDone) + names.mid(count).join(QLatin1String(LinkTexts::listSeparator));
}
