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
                             LinkTexts::mayBeCleared})
        texts << QString::fromUtf8(text);
    texts << QString::fromUtf8(LinkTexts::outOfStep) + QString::fromUtf8(LinkTexts::replugAdvice);
    for (const char* text : LinkTexts::errorKinds)
        texts << QString::fromUtf8(text);
    return texts;
}

// The texts of a job that names files it did not do, or whose request went unanswered: some of
// the names it was given, in their order. Meant for short lists: there are 2^n of them.
inline QStringList undoneTexts(const QStringList& names)
{
    QStringList texts;
    for (int subset = 1; subset < (1 << names.size()); ++subset) {
        QStringList named;
        for (int index = 0; index < names.size(); ++index) {
            if (subset & (1 << index))
                named << names.at(index);
        }
        for (const char* lead : {LinkTexts::notDone, LinkTexts::notKnown})
            texts << QString::fromUtf8(lead) + named.join(QLatin1String(LinkTexts::listSeparator));
    }
    return texts;
}
