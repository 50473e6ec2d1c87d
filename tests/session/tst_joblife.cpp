#include "CalculatorFixture.h"

#include "SimTestMain.h"

#include <QtTest>

namespace {

// The workers the session holds, listed or waiting for their job: each is connected to the
// session's error slot for as long as it exists.
int workersAlive(QObject* session)
{
    static QStringList dumped;
    dumped.clear();
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& text) { dumped << text; });
    session->dumpObjectInfo();
    qInstallMessageHandler(previous);
    return dumped.filter("<-- CTaviWorker").filter("onErrorChange").size();
}

} // namespace

class TestJobLife : public CalculatorTest
{
    Q_OBJECT

private slots:
    void jobsRunOnSelectedCalculator();
    void jobWhileJobRunsDoesNothing();
    void jobsNeedCurrentCalculator();
    void unknownListTakesNoSend_data();
    void unknownListTakesNoSend();
    void unplugMidJob();
    void idleDroppedWorkerIsReleased();
    void exitWaitsForJob();
};

// The window selects the second calculator through the list model, as the user's click does.
void TestJobLife::jobsRunOnSelectedCalculator()
{
    calcsim::PluggedSimulator other;
    other->setName("OTHER");
    other->addFile("Z.TXT", "z");
    QVERIFY(f.rig->waitForCalcs(2));
    QVERIFY(f.rig->calcModel.setProperty("currentIndex", 1));
    QCOMPARE(f.rig->files(), (QList<FileEntry>{{"Z.TXT", 1}}));
    QVERIFY(f.runJob("send"));
    QVERIFY(f.runJob("rename"));
    QCOMPARE(f.rig->status(), QString("Calculator name successfully changed"));
    QCOMPARE(namesOn(other.simulator()), (QStringList{"Z.TXT", "N.TXT"}));
    QCOMPARE(f.rig->files(), (QList<FileEntry>{{"Z.TXT", 1}, {"N.TXT", 3}}));
    QCOMPARE(other->name(), QString("NEW"));
    QCOMPARE(f.rig->calcModel.data(f.rig->calcModel.index(1), Qt::DisplayRole).toString(), QString("NEW"));
    QCOMPARE(f.rig->calcModel.data(f.rig->calcModel.index(0), Qt::DisplayRole).toString(), QString("CALC"));
    QCOMPARE(namesOn(f.sim->simulator()), (QStringList{"A.TXT", "B.TXT"}));
}

// While a job runs, the other job methods and the editor's send leave no trace: the running
// worker keeps its thread and its inputs.
void TestJobLife::jobWhileJobRunsDoesNothing()
{
    CTaviCalcSession& session = *f.rig->session;
    f.startJob("send");
    session.onErrorChange("pending");
    f.log->lines.clear();
    session.addSelected(0);
    session.deleteSelectedFiles();
    session.changeCalcName("OTHER");
    session.createBackup();
    session.restoreBackup(QUrl::fromLocalFile(f.archive));
    session.fromCalcUrls(false, QUrl::fromLocalFile(f.dir.path()));
    QCOMPARE(session.downloadFiles(), QList<QUrl>());
    session.sendFiles();
    session.sendFileFromEdit("S.tcb", "1 END");
    QCOMPARE(f.rig->error(), QString("pending"));
    QVERIFY(f.log->waitFor("busy:0"));
    // The send itself went well; the error text it did not report is no outcome of it.
    QCOMPARE(outline(f.log->lines, "pending"),
             (QStringList{"busy:1", "files", "status:Files successful sent to calculator", "busy:0"}));
    QCOMPARE(namesOn(f.sim->simulator()), (QStringList{"A.TXT", "B.TXT", "N.TXT"}));
    QCOMPARE(f.sim->simulator().name(), QString("CALC"));
}

// Without a current calculator no job starts; a pending error is cleared all the same and the
// send list waits for the next calculator.
void TestJobLife::jobsNeedCurrentCalculator()
{
    CTaviCalcSession& session = *f.rig->session;
    session.toCalcUrls({QUrl::fromLocalFile(f.localFile("N.TXT", "new"))});
    f.sim->unplug();
    QVERIFY(f.rig->waitForCalcs(0));
    session.onErrorChange("pending");
    f.log->lines.clear();
    session.sendFiles();
    session.changeCalcName("NEW");
    session.createBackup();
    QCOMPARE(session.downloadFiles(), QList<QUrl>());
    QCOMPARE(f.log->lines, QStringList{"error:"});

    calcsim::PluggedSimulator other;
    QVERIFY(f.rig->waitForCalcs(1));
    session.sendFiles();
    QVERIFY(f.log->waitFor("busy:0"));
    QCOMPARE(contentOn(other.simulator(), "N.TXT"), QByteArray("new"));
}

void TestJobLife::unknownListTakesNoSend_data()
{
    QTest::addColumn<QString>("cause"); // what left the list unknown
    QTest::newRow("busy at its first read") << "first read";
    for (const QString job : {"send", "delete", "restore"})
        QTest::newRow(qPrintable(job + " whose reload failed")) << job;
    QTest::newRow("editor's send whose reload failed") << "editor";
}

// A calculator whose list is unknown may hold any file: every send to it is refused before
// any question, and nothing reaches it, until a job has read its list. While it is current,
// the status line says so: after the job's own outcome, and whenever it is selected again.
void TestJobLife::unknownListTakesNoSend()
{
    QFETCH(QString, cause);
    CTaviCalcSession& session = *f.rig->session;
    if (cause == "first read") {
        QVERIFY(f.plugCalculator(twoFiles, true));
    } else {
        // The job goes through; the list read after it does not.
        f.breakJob(cause == "editor" ? "send" : cause, "wrong count");
        if (cause == "editor")
            QVERIFY(!session.sendFileFromEdit("E.TXT", "1 END"));
        else
            QVERIFY(f.runJob(cause));
    }
    const QString notice = unknownListNotice(cause == "first read" ? f.sim->portName() : "CALC");
    QCOMPARE(f.rig->status(), cause == "first read" ? notice : "Error: " + f.rig->error() + "; " + notice);
    calcsim::PluggedSimulator other;
    QVERIFY(f.rig->waitForCalcs(2));
    QVERIFY(f.rig->calcModel.setProperty("currentIndex", 1));
    QVERIFY(f.rig->calcModel.setProperty("currentIndex", 0));
    QCOMPARE(f.rig->status(), notice);

    f.log->lines.clear();
    session.toCalcUrls({QUrl::fromLocalFile(f.localFile("A.TXT", "new"))});
    QVERIFY(!session.isToCalcExistingCollision());
    QVERIFY(!session.isToCalcNameCollision());
    session.sendFiles();
    QCOMPARE(f.rig->status(), listUnknown);
    f.rig->session->onStatusChange("");
    QVERIFY(!session.sendFileFromEdit("A.TXT", "1 END"));
    QCOMPARE(f.log->lines.filter("status:"), (QStringList{"status:" + listUnknown, "status:", "status:" + listUnknown}));
    QCOMPARE(contentOn(f.sim->simulator(), "A.TXT"), QByteArray("abc"));

    // The list a restore reads at its end is known: a send asks again before it replaces.
    QVERIFY(f.runJob("restore"));
    QCOMPARE(f.rig->status(), QString("Backup successfully sent to calculator"));
    QCOMPARE(f.rig->files(), (QList<FileEntry>{{"A.TXT", 3}, {"B.TXT", 3}}));
    session.toCalcUrls({QUrl::fromLocalFile(f.localFile("A.TXT", "new"))});
    QVERIFY(session.isToCalcExistingCollision());
}

// The calculator goes while its job waits for an answer: polling drops it at once, the job
// ends with the link's text, and only then is its worker released.
void TestJobLife::unplugMidJob()
{
    // Long enough for polling to drop the calculator while the job still waits.
    CTaviCalc::Timeouts waits = CTaviCalc::timeouts();
    waits.firstByte = 8000;
    CTaviCalc::setTimeoutsForTesting(waits);
    silence(f.sim->simulator(), 2, 2);
    f.rig->session->changeCalcName("NEW");
    QVERIFY(f.log->waitFor("busy:1"));
    f.sim->unplug();
    QVERIFY(f.rig->waitForCalcs(0));
    QVERIFY(f.rig->busy());
    QCOMPARE(workersAlive(f.rig->session.get()), 1);
    f.sim.reset();
    QVERIFY(f.log->waitFor("busy:0"));
    QVERIFY(!f.rig->error().isEmpty());
    QCOMPARE(f.rig->status(), "Error: " + f.rig->error());
    QCOMPARE(f.rig->calcModel.rowCount(), 0);
    QCOMPARE(f.rig->fileModel.rowCount(), 0);
    QCOMPARE(workersAlive(f.rig->session.get()), 0);
}

void TestJobLife::idleDroppedWorkerIsReleased()
{
    QCOMPARE(workersAlive(f.rig->session.get()), 1);
    f.sim->unplug();
    QVERIFY(f.rig->waitForCalcs(0));
    QCOMPARE(workersAlive(f.rig->session.get()), 0);
}

// Destroying the session waits for the running job, which completes its work.
void TestJobLife::exitWaitsForJob()
{
    f.startJob("send");
    f.log.reset();
    f.rig->session.reset();
    QCOMPARE(contentOn(f.sim->simulator(), "N.TXT"), QByteArray("new"));
}

CALCSIM_TEST_MAIN(TestJobLife)
#include "tst_joblife.moc"
