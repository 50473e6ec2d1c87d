#include "session/CTaviCalcSession.h"

#include "link/CTaviCalc.h"
#include "link/LinkTexts.h"
#include "session/CTaviWorker.h"
#include "session/SessionTexts.h"
#include "session/TaviFileModel.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace {

// A text that tells of an unknown list goes on with what brings the list back, in the words
// the link uses for a calculator out of step.
QString withReplugAdvice(const QString& text)
{
    return text + SessionTexts::adviceLead + LinkTexts::replugAdvice;
}

} // namespace

// The editor's collision check, against the list of the calculator its send goes to, which
// the file table need not show. An unknown list holds no name: the send that follows is
// refused before any question.
bool CTaviCalcSession::isFileExist(QString name)
{
    const CTaviWorker* worker = pinnedWorker(editorPin);
    return worker && worker->isFileListKnown() && TaviFileModel::isNameIn(worker->getFilesInfo(), name);
}

bool CTaviCalcSession::isFileWillBeSend(QString name)
{
    const QString wanted = name.toUpper();
    return std::any_of(sendList.cbegin(), sendList.cend(),
                       [&](const SendItem& item) { return item.second.toUpper() == wanted; });
}

// Sorts the chosen files: empty ones, what is no file at all and names that leave nothing to
// store a file under aside, renamed ones to a warning, names already on the calculator or
// already to be sent to a replace question, the rest straight to sending. Each file goes under
// the name the calculator will store.
void CTaviCalcSession::toCalcUrls(const QList<QUrl>& urls)
{
    toCalcExistingCollisions.clear();
    sendList.clear();
    toCalcNameCollisions.clear();
    toCalcSetAside.clear();
    // Nothing to ask about: the calculator has left, or the send that follows is refused.
    if (pinnedLeft() || isFileListUnknown(operationWorker()))
        return;
    for (const QUrl& url : urls) {
        const QString path = url.toLocalFile();
        // A folder's URL may end in "/" and so have no last segment: its path names it then.
        const QString fileName = url.fileName().isEmpty() ? path : url.fileName();
        const QFileInfo file(path);
        if (!file.isFile() || file.size() == 0) {
            toCalcZeroSizeNames.append(fileName);
            toCalcSetAside.append(fileName);
            continue;
        }
        const SendItem item(path, CTaviCalc::storedFileName(fileName));
        if (item.second.isEmpty())
            toCalcSetAside.append(fileName);
        else if (item.second.size() != fileName.size())
            toCalcNameCollisions.append(item);
        else
            takeIntoSendList(item);
    }
}

// The calculator's list was never read whole: it may hold any file.
bool CTaviCalcSession::isFileListUnknown(const CTaviWorker* worker)
{
    return worker && !worker->isFileListKnown();
}

// A send to a calculator whose files are unknown could replace one unasked: it is refused,
// on the status line, as the other refusals before a job are.
bool CTaviCalcSession::refuseUnknownList(const CTaviWorker* worker)
{
    if (!isFileListUnknown(worker))
        return false;
    onStatusChange(withReplugAdvice(SessionTexts::errorPrefix + QString(SessionTexts::fileListUnknown)));
    return true;
}

// While the current calculator's list is unknown the user is told which calculator it is and
// how to get its list back; otherwise nothing (an empty text).
QString CTaviCalcSession::unknownListNotice() const
{
    const CTaviWorker* worker = currentWorker();
    if (!isFileListUnknown(worker))
        return QString("");
    const QString name = worker->getDeviceName().isEmpty() ? worker->getPortName() : worker->getDeviceName();
    return withReplugAdvice(QString(SessionTexts::fileListUnknownOf).arg(name));
}

QString CTaviCalcSession::withUnknownListNotice(const QString& text) const
{
    const QString notice = unknownListNotice();
    return notice.isEmpty() ? text : text + SessionTexts::failureSeparator + notice;
}

// Checked against the lists as they stand now, so earlier answers of the same pass count.
// The file table shows the main window's pinned calculator while it is listed: a poll keeps
// the current calculator, and the window's dialogs are modal and hold drops back.
void CTaviCalcSession::takeIntoSendList(const SendItem& item)
{
    if (fileModel->isFileExist(item.second) || isFileWillBeSend(item.second))
        toCalcExistingCollisions.append(item);
    else
        sendList.append(item);
}

bool CTaviCalcSession::isToCalcZeroSizeCollision()
{
    return !toCalcZeroSizeNames.isEmpty();
}

QString CTaviCalcSession::collisionToCalcZeroSizeFileName()
{
    return toCalcZeroSizeNames.isEmpty() ? QString("") : toCalcZeroSizeNames.takeFirst();
}

// Each answer is asked for only while the calculator is listed.
bool CTaviCalcSession::isToCalcExistingCollision()
{
    return !pinnedLeft() && !toCalcExistingCollisions.isEmpty();
}

QString CTaviCalcSession::collisionToCalcFileName()
{
    return toCalcExistingCollisions.isEmpty() ? QString("") : toCalcExistingCollisions.first().second;
}

void CTaviCalcSession::releaseToCalcCollision(bool replace)
{
    if (toCalcExistingCollisions.isEmpty())
        return;
    const SendItem collision = toCalcExistingCollisions.takeFirst();
    if (!replace)
        return;
    for (SendItem& item : sendList) {
        if (item.second == collision.second) {
            item = collision;
            return;
        }
    }
    sendList.append(collision);
}

// Each true answer consumes one name-change case; the caller reads its two names next.
bool CTaviCalcSession::isToCalcNameCollision()
{
    if (pinnedLeft() || toCalcNameCollisions.isEmpty())
        return false;
    const SendItem item = toCalcNameCollisions.first();
    nameToCalcCollisionOld = QFileInfo(item.first).fileName();
    nameToCalcCollisionNew = item.second;
    takeIntoSendList(item);
    toCalcNameCollisions.removeFirst();
    return true;
}

QString CTaviCalcSession::getNameToCalcCollisionOld()
{
    return nameToCalcCollisionOld;
}

QString CTaviCalcSession::getNameToCalcCollisionNew()
{
    return nameToCalcCollisionNew;
}

void CTaviCalcSession::addSelected(int row)
{
    const FileEntry entry = fileModel->getFileInfAt(row);
    if (entry.first.isEmpty() && entry.second == 0)
        return;
    selectedFiles.append(entry);
}

// A calculator name without a local name is set aside and named when the download ends.
void CTaviCalcSession::fromCalcUrls(bool checkCollision, QUrl destFolder)
{
    fromCalcCollisions.clear();
    downloadList.clear();
    fromCalcSetAside.clear();
    downloadDir = destFolder.toLocalFile();
    if (pinnedLeft())
        return;
    for (const FileEntry& entry : qAsConst(selectedFiles)) {
        if (CTaviCalc::localFileName(entry.first).isEmpty())
            fromCalcSetAside.append(entry.first);
        else if (checkCollision && isLocalNameTaken(entry.first))
            fromCalcCollisions.append(entry);
        else
            downloadList.append(entry);
    }
    selectedFiles.clear();
}

// Where a download writes the calculator file.
QString CTaviCalcSession::downloadPath(const QString& calcName) const
{
    return downloadDir + QLatin1Char('/') + CTaviCalc::localFileName(calcName);
}

// Taken by a file already in the folder, or by an earlier file of this download.
bool CTaviCalcSession::isLocalNameTaken(const QString& calcName) const
{
    const QString path = downloadPath(calcName);
    return QFileInfo::exists(path)
           || std::any_of(downloadList.cbegin(), downloadList.cend(),
                          [&](const FileEntry& entry) { return downloadPath(entry.first) == path; });
}

bool CTaviCalcSession::isFromCalcCollision()
{
    return !pinnedLeft() && !fromCalcCollisions.isEmpty();
}

QString CTaviCalcSession::collisionFromCalcFileName()
{
    return fromCalcCollisions.isEmpty() ? QString("") : CTaviCalc::localFileName(fromCalcCollisions.first().first);
}

void CTaviCalcSession::releaseFromCalcCollision(bool replace)
{
    if (fromCalcCollisions.isEmpty())
        return;
    const FileEntry collision = fromCalcCollisions.takeFirst();
    if (replace)
        downloadList.append(collision);
}
