#include "SessionRig.h"
#include "session/CTaviWorker.h"

#include "PluggedSimulator.h"
#include "SimTestMain.h"
#include "TestFiles.h"

#include <QtTest>

using FileList = QList<FileEntry>;

class TestWorker : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void jobPublishesOnMainThread();
    void refusedDeviceInformationKeepsList();
};

void TestWorker::initTestCase()
{
    calcsim::shortenLinkWaits();
}

// A job's results reach the main thread with its finished(), never earlier: polling may read
// the worker's list at any moment of a job.
void TestWorker::jobPublishesOnMainThread()
{
    calcsim::PluggedSimulator sim;
    sim->addFile("A.TXT", "abc");
    CTaviWorker worker(sim.portInfo(), nullptr);
    QTemporaryDir dir;
    const QString sent = dir.filePath("S.TXT");
    QVERIFY(writeFile(sent, "sent"));
    worker.sendList = {{sent, "S.TXT"}};

    QThread thread;
    QThread* handedBackTo = nullptr;
    worker.moveToThread(&thread);
    connect(&thread, &QThread::started, &worker, &CTaviWorker::sendFiles);
    connect(&worker, &CTaviWorker::finished, &thread, [&] {
        handedBackTo = worker.thread();
        thread.quit();
    }, Qt::DirectConnection);
    thread.start();
    QVERIFY(thread.wait(10000));
    // The job is over on its thread, but the main thread has not taken its finished() yet.
    QCOMPARE(handedBackTo, qApp->thread());
    QCOMPARE(worker.getFilesInfo(), (FileList{{"A.TXT", 3}}));
    QTRY_COMPARE(worker.getFilesInfo(), (FileList{{"A.TXT", 3}, {"S.TXT", 4}}));
}

// A calculator that refuses its device information is in step: the list read decides whether
// its list is known.
void TestWorker::refusedDeviceInformationKeepsList()
{
    calcsim::PluggedSimulator sim;
    sim->addFile("A.TXT", "abc");
    calcsim::Fault refusal;
    refusal.mode = calcsim::FaultMode::Failed;
    refusal.error = TaviCalc::calcMsg::MEMORY_ERROR;
    sim->addFault(refusal);
    CTaviWorker worker(sim.portInfo(), nullptr);
    QVERIFY(worker.isFileListKnown());
    QCOMPARE(worker.getFilesInfo(), (FileList{{"A.TXT", 3}}));
}

CALCSIM_TEST_MAIN(TestWorker)
#include "tst_worker.moc"
