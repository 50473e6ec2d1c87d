#include "SessionRig.h"
#include "session/CTaviWorker.h"

#include "PluggedSimulator.h"
#include "SimTestMain.h"

#include <QtTest>

using calcsim::PluggedSimulator;
using FileList = QList<FileEntry>;
using Operation = std::function<void(CTaviWorker&)>;

Q_DECLARE_METATYPE(Operation)

namespace {

const QByteArray program("10 PRINT\x00 hidden", 16);

// What the worker emits, in order; a run of error texts counts once, since the link may
// report one failure in two texts.
class WorkerLog : public QObject
{
public:
    explicit WorkerLog(CTaviWorker& worker)
    {
        connect(&worker, &CTaviWorker::errorNotify, this, [this] {
            if (lines.isEmpty() || lines.last() != "error")
                lines << "error";
        });
        connect(&worker, &CTaviWorker::fileForEditRecv, this,
                [this](const QString& name, const QString& text) { lines << "edit:" + name + "|" + text; });
        connect(&worker, &CTaviWorker::backupLoaded, this, [this] { lines << "backup"; });
        connect(&worker, &CTaviWorker::finished, this, [this] { lines << "finished"; });
    }
    QStringList lines;
};

void prepare(PluggedSimulator& sim)
{
    sim->setName("CALC");
    sim->addFile("A.TXT", "abc");
    sim->addFile("P.tcb", program);
}

} // namespace

class TestWorker : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void firstRead_data();
    void firstRead();
    void operations_data();
    void operations();
    void jobPublishesOnMainThread();

private:
    QTemporaryDir dir;
};

void TestWorker::initTestCase()
{
    shortenLinkWaits();
}

void TestWorker::firstRead_data()
{
    QTest::addColumn<bool>("answers");
    QTest::newRow("answers") << true;
    QTest::newRow("silent") << false;
}

void TestWorker::firstRead()
{
    QFETCH(bool, answers);
    PluggedSimulator sim;
    prepare(sim);
    if (!answers)
        silence(sim.simulator(), 1, 4);
    CTaviWorker worker(sim.portInfo(), nullptr);
    QCOMPARE(worker.getPortName(), sim.portName());
    QCOMPARE(worker.getDeviceName(), answers ? QString("CALC") : QString());
    QCOMPARE(worker.getFilesInfo(), answers ? (FileList{{"A.TXT", 3}, {"P.tcb", 16}}) : FileList());
}

void TestWorker::operations_data()
{
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<int>("silentAnswers"); // from the second message on; 0: every answer comes
    QTest::addColumn<QStringList>("log");
    QTest::addColumn<QString>("name");
    QTest::addColumn<FileList>("files");
    const FileList before{{"A.TXT", 3}, {"P.tcb", 16}};
    const FileList changed{{"P.tcb", 16}, {"Z.TXT", 1}};
    const QString folder = dir.path();

    QTest::newRow("empty send reloads") << Operation([](CTaviWorker& w) { w.sendFiles(); }) << 0
                                        << QStringList{"finished"} << "CALC" << changed;
    QTest::newRow("rename") << Operation([](CTaviWorker& w) { w.newName = "NEW"; w.setDeviceName(); }) << 0
                            << QStringList{"finished"} << "NEW" << before;
    QTest::newRow("rename unanswered") << Operation([](CTaviWorker& w) { w.newName = "NEW"; w.setDeviceName(); })
                                       << 1 << QStringList{"error", "finished"} << "CALC" << before;
    QTest::newRow("download fails") << Operation([folder](CTaviWorker& w) {
        w.fileList = {{"P.tcb", 16}};
        w.destDir = folder;
        w.getFiles();
    }) << 1 << QStringList{"error", "finished"} << "CALC" << before;
    QTest::newRow("backup fails") << Operation([](CTaviWorker& w) { w.createBackup(); }) << 3
                                  << QStringList{"error", "finished"} << "CALC" << before;
    QTest::newRow("backup") << Operation([](CTaviWorker& w) { w.createBackup(); }) << 0
                            << QStringList{"backup", "finished"} << "CALC" << before;
    QTest::newRow("fetch cut at null byte") << Operation([](CTaviWorker& w) {
        w.fileList = {{"P.tcb", 16}};
        w.getFileForEdit();
    }) << 0 << QStringList{"edit:P.tcb|10 PRINT", "finished"} << "CALC" << before;
    QTest::newRow("fetch fails silently") << Operation([](CTaviWorker& w) {
        w.fileList = {{"P.tcb", 16}};
        w.getFileForEdit();
    }) << 1 << QStringList{"edit:|", "finished"} << "CALC" << before;
    QTest::newRow("editor send fails") << Operation([](CTaviWorker& w) { w.sendFileFromEdit("Q.tcb", "1"); })
                                       << 1 << QStringList{"error", "finished"} << "CALC" << changed;
}

// The slots run here on the main thread, as the editor's direct calls do.
void TestWorker::operations()
{
    QFETCH(Operation, operation);
    QFETCH(int, silentAnswers);
    QFETCH(QStringList, log);
    QFETCH(QString, name);
    QFETCH(FileList, files);
    PluggedSimulator sim;
    prepare(sim);
    CTaviWorker worker(sim.portInfo(), nullptr);
    // A change the worker can only see by reloading.
    sim->setFiles({{"P.tcb", program}, {"Z.TXT", "z"}});
    sim->clearReceived();
    silence(sim.simulator(), 2, 1 + silentAnswers);
    WorkerLog events(worker);
    operation(worker);
    QCOMPARE(events.lines, log);
    QCOMPARE(worker.getDeviceName(), name);
    QCOMPARE(worker.getFilesInfo(), files);
    QCOMPARE(worker.thread(), QThread::currentThread());
}

// A job's results reach the main thread with its finished(), never earlier.
void TestWorker::jobPublishesOnMainThread()
{
    PluggedSimulator sim;
    prepare(sim);
    CTaviWorker worker(sim.portInfo(), nullptr);
    const QString sent = dir.filePath("S.TXT");
    QFile file(sent);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("sent");
    file.close();
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
    QCOMPARE(worker.getFilesInfo(), (FileList{{"A.TXT", 3}, {"P.tcb", 16}}));
    QTRY_COMPARE(worker.getFilesInfo(), (FileList{{"A.TXT", 3}, {"P.tcb", 16}, {"S.TXT", 4}}));
    QCOMPARE(contentOn(sim.simulator(), "S.TXT"), QByteArray("sent"));
}

CALCSIM_TEST_MAIN(TestWorker)
#include "tst_worker.moc"
