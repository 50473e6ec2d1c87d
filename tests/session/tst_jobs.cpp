#include "SessionRig.h"

#include "PluggedSimulator.h"
#include "SimTestMain.h"

#include <QtTest>

#include <memory>

using calcsim::Fault;
using calcsim::FaultMode;
using calcsim::PluggedSimulator;
using FileList = QList<FileEntry>;

namespace {

const QString sentStatus = "Files successful sent to calculator";

// The log with each run of error texts as one "error" line and file reloads without their
// sizes, so that rows compare the order of events whatever the link's texts are.
QStringList outline(const QStringList& lines, const QString& error)
{
    QStringList out;
    for (const QString& line : lines) {
        QString entry = line;
        if (line.startsWith("error:"))
            entry = "error";
        else if (line.startsWith("files:"))
            entry = "files";
        else if (!error.isEmpty() && line == "status:Error: " + error)
            entry = "status:Error";
        if (entry != "error" || out.isEmpty() || out.last() != "error")
            out << entry;
    }
    return out;
}

// The workers the session holds, alive or waiting for their job: each is connected to the
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

class TestJobs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void jobEndsInOrder_data();
    void jobEndsInOrder();
    void jobsInARowDeliverOnce_data();
    void jobsInARowDeliverOnce();
    void jobWhileJobRunsDoesNothing();
    void jobsNeedCurrentCalculator();
    void downloadReturnsUrlsAtOnce();
    void unplugMidJob();
    void idleDroppedWorkerIsReleased();
    void exitWaitsForJob();
    void editorFetch_data();
    void editorFetch();
    void editorSend_data();
    void editorSend();
    void editorSendWithoutCalculator();

private:
    bool plugCalculator(const calcsim::FileList& files);
    void startJob(const QString& job);
    bool runJob(const QString& job);
    QString localFile(const QString& name, const QByteArray& content);

    QTemporaryDir dir;
    QString archive;
    std::unique_ptr<PluggedSimulator> sim;
    std::unique_ptr<SessionRig> rig;
    std::unique_ptr<EventLog> log;
};

void TestJobs::initTestCase()
{
    shortenLinkWaits();
    // The backup archive and the copy command use the temporary folder: one of our own.
    QVERIFY(QDir(dir.path()).mkdir("tmp"));
    qputenv("TMPDIR", dir.filePath("tmp").toLocal8Bit());
    // An archive of A.TXT and B.TXT for the restore job, written by a link of our own.
    PluggedSimulator source;
    source->addFile("A.TXT", "abc");
    source->addFile("B.TXT", "bcd");
    CTaviCalc link(source.portInfo());
    const std::optional<QString> written = link.createBackup();
    QVERIFY(written && !written->isEmpty());
    archive = dir.filePath("saved.tbk");
    QVERIFY(QFile::rename(*written, archive));
}

void TestJobs::init()
{
    rig = std::make_unique<SessionRig>();
    QVERIFY(plugCalculator({{"A.TXT", "abc"}, {"B.TXT", "bcd"}}));
    log = std::make_unique<EventLog>(*rig);
}

void TestJobs::cleanup()
{
    log.reset();
    rig.reset();
    sim.reset();
    shortenLinkWaits();
}

// A calculator named CALC with these files, in place of the one plugged before.
bool TestJobs::plugCalculator(const calcsim::FileList& files)
{
    if (sim) {
        sim.reset();
        if (!rig->waitForCalcs(0))
            return false;
    }
    sim = std::make_unique<PluggedSimulator>();
    sim->simulator().setName("CALC");
    sim->simulator().setFiles(files);
    sim->simulator().setRebootMs(20);
    if (!rig->waitForCalcs(1))
        return false;
    sim->simulator().clearReceived();
    return true;
}

QString TestJobs::localFile(const QString& name, const QByteArray& content)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(content);
    return path;
}

// Starts one job the way the main window does, with its lists settled.
void TestJobs::startJob(const QString& job)
{
    CTaviCalcSession& session = *rig->session;
    if (job == "send") {
        session.toCalcUrls({QUrl::fromLocalFile(localFile("N.TXT", "new"))});
        session.sendFiles();
    } else if (job == "download") {
        session.addSelected(0);
        session.fromCalcUrls(false, QUrl::fromLocalFile(dir.path()));
        session.downloadFiles();
    } else if (job == "delete") {
        session.addSelected(1);
        session.deleteSelectedFiles();
    } else if (job == "backup") {
        session.createBackup();
    } else if (job == "restore") {
        session.restoreBackup(QUrl::fromLocalFile(archive));
    } else if (job == "rename") {
        session.changeCalcName("NEW");
    }
}

bool TestJobs::runJob(const QString& job)
{
    const int ended = log->count("busy:0");
    startJob(job);
    return QTest::qWaitFor([&] { return log->count("busy:0") > ended; }, 15000);
}

void TestJobs::jobEndsInOrder_data()
{
    QTest::addColumn<QString>("job");
    QTest::addColumn<bool>("failing");
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<QStringList>("calculatorFiles");
    const QStringList both{"A.TXT", "B.TXT"};
    const QList<std::tuple<QString, QString, QString, QStringList>> jobs{
        {"send", "files", sentStatus, {"A.TXT", "B.TXT", "N.TXT"}},
        {"download", "", "Files successfully download on path: " + dir.path() + "/", both},
        {"delete", "files", "Files successfully deleted", {"A.TXT"}},
        {"backup", "backup", "", both},
        {"restore", "files", "Backup successfully sent to calculator", both},
        {"rename", "name:NEW", "Calculator name successfully changed", both},
    };
    for (const auto& [job, reload, status, files] : jobs) {
        QStringList ok{"busy:1"};
        QStringList failing{"busy:1", "error"};
        if (!reload.isEmpty())
            ok << reload;
        if (reload.startsWith("files") || reload.startsWith("name"))
            failing << (reload == "files" ? "files" : "name:CALC");
        if (!status.isEmpty()) {
            ok << "status:" + status;
            failing << "status:Error";
        }
        ok << "busy:0";
        failing << "busy:0";
        QTest::newRow(qPrintable(job)) << job << false << ok << files;
        QTest::newRow(qPrintable(job + " failing")) << job << true << failing << QStringList();
    }
}

// Relayed errors, then the reload, then the outcome, then the window is given back.
void TestJobs::jobEndsInOrder()
{
    QFETCH(QString, job);
    QFETCH(bool, failing);
    QFETCH(QStringList, events);
    QFETCH(QStringList, calculatorFiles);
    if (job == "restore")
        sim->simulator().setFiles({{"C.TXT", "c"}});
    rig->session->onErrorChange("left over");
    log->lines.clear();
    if (failing)
        sim->simulator().addFault({2, FaultMode::Silence});
    QVERIFY(runJob(job));
    const QStringList seen = outline(log->lines, rig->error());
    // The start clears the left-over error first.
    QCOMPARE(seen.first(), QString("error"));
    QCOMPARE(log->lines.first(), QString("error:"));
    QCOMPARE(seen.mid(1), events);
    if (failing) {
        QVERIFY(!rig->error().isEmpty());
        return;
    }
    QCOMPARE(rig->error(), QString(""));
    QCOMPARE(namesOn(sim->simulator()), calculatorFiles);
    QCOMPARE(rig->files().size(), calculatorFiles.size());
}

void TestJobs::jobsInARowDeliverOnce_data()
{
    QTest::addColumn<QStringList>("jobs");
    QTest::addColumn<QStringList>("events");
    const QStringList sent{"busy:1", "files", "status:" + sentStatus, "busy:0"};
    const QStringList backup{"busy:1", "backup", "busy:0"};
    const QStringList renamed{"busy:1", "name:NEW", "status:Calculator name successfully changed", "busy:0"};
    QTest::newRow("two sends") << QStringList{"send", "send"} << sent + sent;
    QTest::newRow("two backups") << QStringList{"backup", "backup"} << backup + backup;
    QTest::newRow("rename then send") << QStringList{"rename", "send"} << renamed + sent;
}

void TestJobs::jobsInARowDeliverOnce()
{
    QFETCH(QStringList, jobs);
    QFETCH(QStringList, events);
    QSignalSpy backups(rig->session.get(), &CTaviCalcSession::backupLoaded);
    for (const QString& job : jobs)
        QVERIFY(runJob(job));
    QCOMPARE(outline(log->lines, QString()), events);
    QCOMPARE(backups.count(), events.count("backup"));
    for (const QList<QVariant>& backup : backups)
        QVERIFY(QFile::exists(backup.at(0).toString()));
}

// The running worker keeps its thread and its inputs; the calls leave no trace.
void TestJobs::jobWhileJobRunsDoesNothing()
{
    CTaviCalcSession& session = *rig->session;
    startJob("send");
    session.onErrorChange("pending");
    log->lines.clear();
    session.addSelected(0);
    session.deleteSelectedFiles();
    session.changeCalcName("OTHER");
    session.createBackup();
    session.restoreBackup(QUrl::fromLocalFile(archive));
    session.fromCalcUrls(false, QUrl::fromLocalFile(dir.path()));
    QCOMPARE(session.downloadFiles(), QList<QUrl>());
    session.sendFiles();
    QCOMPARE(rig->error(), QString("pending"));
    QVERIFY(log->waitFor("busy:0"));
    QCOMPARE(outline(log->lines, "pending"), (QStringList{"busy:1", "files", "status:Error", "busy:0"}));
    QCOMPARE(namesOn(sim->simulator()), (QStringList{"A.TXT", "B.TXT", "N.TXT"}));
    QCOMPARE(sim->simulator().name(), QString("CALC"));
}

// Without a current calculator no job starts; a pending error is cleared all the same and the
// send list waits for the next calculator.
void TestJobs::jobsNeedCurrentCalculator()
{
    CTaviCalcSession& session = *rig->session;
    session.toCalcUrls({QUrl::fromLocalFile(localFile("N.TXT", "new"))});
    sim->unplug();
    QVERIFY(rig->waitForCalcs(0));
    session.onErrorChange("pending");
    log->lines.clear();
    session.sendFiles();
    session.changeCalcName("NEW");
    session.createBackup();
    QCOMPARE(session.downloadFiles(), QList<QUrl>());
    QCOMPARE(log->lines, QStringList{"error:"});

    PluggedSimulator other;
    QVERIFY(rig->waitForCalcs(1));
    session.sendFiles();
    QVERIFY(log->waitFor("busy:0"));
    QCOMPARE(contentOn(other.simulator(), "N.TXT"), QByteArray("new"));
}

void TestJobs::downloadReturnsUrlsAtOnce()
{
    CTaviCalcSession& session = *rig->session;
    QTemporaryDir folder;
    session.addSelected(1);
    session.addSelected(0);
    session.fromCalcUrls(false, QUrl::fromLocalFile(folder.path()));
    const QList<QUrl> urls = session.downloadFiles();
    const QList<QUrl> expected{QUrl::fromLocalFile(folder.path() + "/B.TXT"),
                               QUrl::fromLocalFile(folder.path() + "/A.TXT")};
    QCOMPARE(urls, expected);
    QVERIFY(log->waitFor("busy:0"));
    QFile fetched(urls.at(1).toLocalFile());
    QVERIFY(fetched.open(QIODevice::ReadOnly));
    QCOMPARE(fetched.readAll(), QByteArray("abc"));
}

// The calculator goes while its job waits for an answer: polling drops it at once, the job
// ends with the link's text, and only then is its worker released.
void TestJobs::unplugMidJob()
{
    // Long enough for polling to drop the calculator while the job still waits.
    CTaviCalc::Timeouts waits = CTaviCalc::timeouts();
    waits.firstByte = 8000;
    CTaviCalc::setTimeoutsForTesting(waits);
    sim->simulator().addFault({2, FaultMode::Silence});
    rig->session->changeCalcName("NEW");
    QVERIFY(log->waitFor("busy:1"));
    sim->unplug();
    QVERIFY(rig->waitForCalcs(0));
    QVERIFY(rig->busy());
    QCOMPARE(workersAlive(rig->session.get()), 1);
    sim.reset();
    QVERIFY(log->waitFor("busy:0"));
    QVERIFY(!rig->error().isEmpty());
    QCOMPARE(rig->status(), "Error: " + rig->error());
    QCOMPARE(rig->calcModel.rowCount(), 0);
    QCOMPARE(rig->fileModel.rowCount(), 0);
    QCOMPARE(workersAlive(rig->session.get()), 0);
}

void TestJobs::idleDroppedWorkerIsReleased()
{
    QCOMPARE(workersAlive(rig->session.get()), 1);
    sim->unplug();
    QVERIFY(rig->waitForCalcs(0));
    QCOMPARE(workersAlive(rig->session.get()), 0);
}

// Destroying the session waits for the running job, which completes its work.
void TestJobs::exitWaitsForJob()
{
    startJob("send");
    log.reset();
    rig->session.reset();
    QCOMPARE(contentOn(sim->simulator(), "N.TXT"), QByteArray("new"));
}

void TestJobs::editorFetch_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<int>("row"); // -2: the row of the file
    QTest::addColumn<bool>("failing");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QStringList>("opened");
    const QString typeError = "File type error. Please select TaviBasic program file";
    QTest::newRow("null byte") << QByteArray("P.tcb") << -2 << false << "" << QStringList{"P.tcb", "10 PRINT"};
    QTest::newRow("upper case") << QByteArray("Q.TCB") << -2 << false << "" << QStringList{"Q.TCB", "10 PRINT"};
    QTest::newRow("mixed case") << QByteArray("R.Tcb") << -2 << false << typeError << QStringList();
    QTest::newRow("no dot") << QByteArray("PROGRAM") << -2 << false << typeError << QStringList();
    QTest::newRow("row -1") << QByteArray("P.tcb") << -1 << false << "File information error" << QStringList();
    QTest::newRow("past the end") << QByteArray("P.tcb") << 3 << false << "File information error"
                                  << QStringList();
    QTest::newRow("fetch fails") << QByteArray("P.tcb") << -2 << true << "" << QStringList{"", ""};
}

void TestJobs::editorFetch()
{
    QFETCH(QByteArray, name);
    QFETCH(int, row);
    QFETCH(bool, failing);
    QFETCH(QString, status);
    QFETCH(QStringList, opened);
    QVERIFY(plugCalculator({{"A.TXT", "abc"}, {"B.TXT", "bcd"}, {name, QByteArray("10 PRINT\x00 hidden", 16)}}));
    QCOMPARE(rig->fileModel.rowCount(), 3);
    if (failing)
        sim->simulator().addFault({2, FaultMode::Silence});
    QSignalSpy open(rig->session.get(), &CTaviCalcSession::openEditFromCalc);
    log->lines.clear();
    rig->session->downloadForEdit(row == -2 ? 2 : row);
    QCOMPARE(open.count(), opened.isEmpty() ? 0 : 1);
    if (!opened.isEmpty())
        QCOMPARE(open.at(0).at(0).toString() + "|" + open.at(0).at(1).toString(), opened.join("|"));
    QCOMPARE(log->lines, status.isEmpty() ? QStringList() : QStringList{"status:" + status});
    QCOMPARE(sim->simulator().receivedTypes().isEmpty(), opened.isEmpty());
}

void TestJobs::editorSend_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("failing");
    QTest::addColumn<QByteArray>("stored");
    QTest::newRow("program") << "1 END" << false << QByteArray("1 END\n");
    QTest::newRow("empty text") << "" << false << QByteArray("\n");
    QTest::newRow("send fails") << "1 END" << true << QByteArray();
}

// The status line shows the outcome and the file table the calculator's fresh list.
void TestJobs::editorSend()
{
    QFETCH(QString, text);
    QFETCH(bool, failing);
    QFETCH(QByteArray, stored);
    if (failing)
        sim->simulator().addFault({2, FaultMode::Silence});
    rig->session->sendFileFromEdit("S.tcb", text);
    QCOMPARE(contentOn(sim->simulator(), "S.tcb"), stored);
    QCOMPARE(rig->files().size(), sim->simulator().files().size());
    if (failing) {
        QVERIFY(!rig->error().isEmpty());
        QCOMPARE(rig->status(), "Error: " + rig->error());
        return;
    }
    QCOMPARE(rig->error(), QString());
    QCOMPARE(rig->status(), QString("File 'S.tcb' successfully sent"));
    QCOMPARE(rig->files().last(), FileEntry("S.tcb", stored.size()));
}

void TestJobs::editorSendWithoutCalculator()
{
    sim->unplug();
    QVERIFY(rig->waitForCalcs(0));
    rig->session->sendFileFromEdit("S.tcb", "1 END");
    QCOMPARE(rig->status(), QString("Calculator for sending the file is not selected"));
    QCOMPARE(sim->simulator().receivedTypes(), QList<int>());
}

CALCSIM_TEST_MAIN(TestJobs)
#include "tst_jobs.moc"
