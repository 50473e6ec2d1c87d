#include "session/CTaviCalcSession.h"

#include "session/SessionTexts.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>

namespace {

bool isSameFile(const QString& first, const QString& second)
{
    const QString canonical = QFileInfo(first).canonicalFilePath();
    return !canonical.isEmpty() && canonical == QFileInfo(second).canonicalFilePath();
}

} // namespace

QString CTaviCalcSession::getProgramName(bool withVersion)
{
    QString name = SessionTexts::programName;
    if (withVersion)
        name += SessionTexts::programVersion;
    return name;
}

QString CTaviCalcSession::getInfo()
{
    return QStringList{getProgramName(true), SessionTexts::copyright, SessionTexts::rightsNotice,
                       SessionTexts::calculatorNotice}
        .join("\n\n");
}

QString CTaviCalcSession::fileNameFromUrl(QUrl fileUrl)
{
    return fileUrl.fileName();
}

// The folder keeps its trailing separator, so folder + file name gives the path back.
QString CTaviCalcSession::fileDirFromUrl(QUrl fileUrl)
{
    QString folder = fileUrl.toLocalFile();
    folder.chop(fileUrl.fileName().size());
    return folder;
}

// Written beside the old file and renamed over it, so a failed write keeps the old program.
bool CTaviCalcSession::saveFileOnComputer(QString fileName, QString fileData)
{
    QSaveFile file(fileName);
    // In a folder that takes no new files, an existing writable file is still written.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        return false;
    QByteArray bytes = fileData.toLatin1();
    if (!bytes.endsWith('\n'))
        bytes.append('\n');
    // A short write (a full disk) does not stop the commit by itself: checked here, the
    // partial copy is discarded instead.
    return file.write(bytes) == bytes.size() && file.flush() && file.commit();
}

// Saving the archive onto its own path keeps it, also from the removal that follows the save.
void CTaviCalcSession::renameBackup(QString oldName, QString newName)
{
    if (isSameFile(oldName, newName)) {
        keptBackup = oldName;
        return;
    }
    QFile::remove(newName);
    QFile::rename(oldName, newName);
}

void CTaviCalcSession::removeFile(QString name)
{
    const bool kept = isSameFile(name, keptBackup);
    keptBackup.clear();
    if (!kept)
        QFile::remove(name);
}
