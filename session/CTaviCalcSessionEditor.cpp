#include "session/CTaviCalcSession.h"

#include "session/CTaviWorker.h"
#include "session/SessionTexts.h"
#include "session/TaviFileModel.h"

namespace {

// A substring test, not an extension test: either mark anywhere in the name will do.
bool isProgramFile(const QString& name)
{
    return name.contains(SessionTexts::programMarkLower) || name.contains(SessionTexts::programMarkUpper);
}

} // namespace

// The editor's fetch runs on the main thread, outside the job pattern and without error texts.
void CTaviCalcSession::downloadForEdit(int row)
{
    const FileEntry entry = fileModel->getFileInfAt(row);
    if (entry == FileEntry(QString(""), 0)) {
        onStatusChange(SessionTexts::fileInfoError);
        return;
    }
    if (!isProgramFile(entry.first)) {
        onStatusChange(SessionTexts::fileTypeError);
        return;
    }
    // A worker running a job belongs to the job's thread.
    CTaviWorker* worker = currentWorker();
    if (!worker || isInJob(worker))
        return;
    worker->fileList = {entry};
    connect(worker, SIGNAL(fileForEditRecv(QString,QString)), this, SIGNAL(openEditFromCalc(QString,QString)));
    worker->getFileForEdit();
    disconnect(worker, SIGNAL(fileForEditRecv(QString,QString)), this, SIGNAL(openEditFromCalc(QString,QString)));
    worker->fileList.clear();
}

// The editor's send runs on the main thread; the link's error texts arrive before it returns.
void CTaviCalcSession::sendFileFromEdit(QString fileName, QString fileData)
{
    CTaviWorker* worker = currentWorker();
    if (!worker) {
        onStatusChange(SessionTexts::noCalculatorToSend);
        return;
    }
    if (isInJob(worker))
        return;
    bool failed = false;
    const QMetaObject::Connection watch =
        connect(worker, &CTaviWorker::errorNotify, this, [&failed] { failed = true; });
    worker->sendFileFromEdit(fileName, fileData);
    disconnect(watch);
    onFilesListChange();
    onStatusChange(failed ? errorStatus()
                          : SessionTexts::programSentBefore + fileName + SessionTexts::programSentAfter);
}
