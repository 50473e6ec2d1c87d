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
                             LinkTexts::cantClear, LinkTexts::cantReboot, LinkTexts::cantConnect})
        texts << QString::fromUtf8(text);
    for (const char* text : LinkTexts::errorKinds)
        texts << QString::fromUtf8(text);
    return texts;
}
