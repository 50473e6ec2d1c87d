#include "session/CTaviCalcSession.h"

#include "session/CTaviWorker.h"
#include "session/SessionTexts.h"

#include <QThread>

void CTaviCalcSession::sendFiles()
{
    if (!mayStartJob() || refuseUnknownList(operationWorker()))
        return;
    startJob({SLOT(sendFiles()), SLOT(onFilesListChange()), SLOT(onSendFilesEnd()), false},
             [this](CTaviWorker& worker) { worker.sendList = sendList; });
}

QList<QUrl> CTaviCalcSession::downloadFiles()
{
    if (!mayStartJob())
        return {};
    startJob({SLOT(getFiles()), nullptr, SLOT(onDownloadFilesEnd()), false}, [this](CTaviWorker& worker) {
        worker.fileList = downloadList;
        worker.destDir = downloadDir;
    });
    // Where the job will write each file, once even where a later file replaces an earlier
    // one; none of them need exist yet.
    QList<QUrl> urls;
    for (const FileEntry& entry : qAsConst(downloadList)) {
        const QUrl url = QUrl::fromLocalFile(downloadPath(entry.first));
        if (!urls.contains(url))
            urls.append(url);
    }
    return urls;
}

void CTaviCalcSession::deleteSelectedFiles()
{
    if (!mayStartJob())
        return;
    startJob({SLOT(delFiles()), SLOT(onFilesListChange()), SLOT(onDeleteSelectedFilesEnd()), false},
             [this](CTaviWorker& worker) { worker.fileList = selectedFiles; });
    selectedFiles.clear();
}

void CTaviCalcSession::createBackup()
{
    if (!mayStartJob())
        return;
    backupCalcName = operationWorker()->getDeviceName();
    startJob({SLOT(createBackup()), nullptr, nullptr, true}, [](CTaviWorker&) {});
}

void CTaviCalcSession::restoreBackup(const QUrl& url)
{
    if (!mayStartJob())
        return;
    startJob({SLOT(restoreBackup()), SLOT(onFilesListChange()), SLOT(onRestoreBackupEnd()), false},
             [&url](CTaviWorker& worker) { worker.backupUrl = url; });
}

void CTaviCalcSession::changeCalcName(QString name)
{
    if (!mayStartJob())
        return;
    startJob({SLOT(setDeviceName()), SLOT(onDevNameChange()), SLOT(onChangeCalcNameEnd()), false},
             [&name](CTaviWorker& worker) { worker.newName = name; });
}

// One job at a time: a running worker must not be moved or given new inputs. Otherwise a
// pending error text is cleared, and a job starts only on the calculator it was begun for,
// still behind its port.
bool CTaviCalcSession::mayStartJob()
{
    if (!jobs.isEmpty())
        return false;
    if (!error.isEmpty())
        onErrorChange(QString(""));
    pollIfSwapped(operationWorker());
    return !pinnedLeft() && operationWorker() != nullptr;
}

void CTaviCalcSession::startJob(const JobWiring& wiring,
                                const std::function<void(CTaviWorker&)>& setInputs)
{
    CTaviWorker* worker = operationWorker();
    auto* thread = new QThread();
    setInputs(*worker);
    worker->moveToThread(thread);
    Job job{thread, worker, {}};
    jobFailures.clear();
    job.workerLinks << connect(worker, &CTaviWorker::errorNotify, this,
                               [this](const QString& text) { noteFailure(jobFailures, text); });
    if (wiring.relaysBackup)
        job.workerLinks << connect(worker, SIGNAL(backupLoaded(QString)), this, SIGNAL(backupLoaded(QString)));
    connect(thread, SIGNAL(started()), this, SLOT(onIAmBusy()));
    connect(thread, SIGNAL(started()), worker, wiring.workerSlot);
    if (wiring.reloadSlot)
        job.workerLinks << connect(worker, SIGNAL(finished()), this, wiring.reloadSlot);
    job.workerLinks << connect(worker, SIGNAL(finished()), thread, SLOT(quit()));
    if (wiring.endSlot)
        connect(thread, SIGNAL(finished()), this, wiring.endSlot);
    connect(thread, SIGNAL(finished()), this, SLOT(onIAmNotBusy()));
    connect(thread, SIGNAL(finished()), thread, SLOT(deleteLater()));
    connect(thread, &QThread::finished, this, [this, thread] { endJob(thread); });
    jobs.append(job);
    thread->start(QThread::InheritPriority);
}

// The worker's finished() has been delivered by now: its connections to the session served
// this job only. A worker that polling dropped meanwhile is released here.
void CTaviCalcSession::endJob(QThread* thread)
{
    const auto job = std::find_if(jobs.begin(), jobs.end(), [thread](const Job& j) { return j.thread == thread; });
    for (const QMetaObject::Connection& link : qAsConst(job->workerLinks))
        disconnect(link);
    CTaviWorker* worker = job->worker;
    jobs.erase(job);
    if (!workers.contains(worker))
        delete worker;
}

// Each failure is named once, in the order it came, in the outcome and in the error text
// alike. Connected after the relay of addCalc, which has just shown this text alone.
void CTaviCalcSession::noteFailure(QStringList& failures, const QString& text)
{
    if (!failures.contains(text))
        failures.append(text);
    const QString all = failures.join(SessionTexts::failureSeparator);
    if (all != text)
        onErrorChange(all);
}

bool CTaviCalcSession::isInJob(const CTaviWorker* worker) const
{
    return std::any_of(jobs.cbegin(), jobs.cend(), [worker](const Job& job) { return job.worker == worker; });
}
