#include "SimLink.h"
#include "TestFiles.h"
#include "ZipCheck.h"

#include "SimTestMain.h"

#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

using namespace calcsim;
using namespace linktest;
using TaviCalc::calcMsg;

Q_DECLARE_METATYPE(calcsim::Fault)
Q_DECLARE_METATYPE(calcsim::FaultMode)
Q_DECLARE_METATYPE(calcsim::FileList)

namespace {

// Files of one, two and three pieces, so that a fault can fall on any answer of a dialogue.
const FileList files = {{"A.tcb", testBytes(300, 1)}, {"B.tcb", testBytes(900, 2)}, {"C.tcb", testBytes(1300, 3)}};
const FileList small = {{"A.TXT", "AAA"}, {"B.TXT", "BBB"}, {"C.TXT", "CCC"}};

QList<FileEntry> entriesOf(const FileList& files)
{
    QList<FileEntry> entries;
    for (const auto& file : files)
        entries.append({QString::fromUtf8(file.first), file.second.size()});
    return entries;
}

// What a folder holds, name to content.
FileList folderFiles(const QString& folder)
{
    FileList found;
    for (const QString& name : QDir(folder).entryList(QDir::Files))
        found.append({name.toUtf8(), readFile(QDir(folder).filePath(name))});
    return found;
}

} // namespace

// Whatever the calculator or the line does to one answer, the link comes back in time and
// never passes off wrong content as a file: a fetch brings the file or nothing, a send that
// reports success stored the file, and a backup holds only true copies. Every fault mode of
// the simulator is tried on each of the first answers of each dialogue.
class TestLinkFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void noWrongContent_data();
    void noWrongContent();
    void leftoversAreNotTheNextAnswer_data();
    void leftoversAreNotTheNextAnswer();
    void lateAnswerInAList_data();
    void lateAnswerInAList();
    void nextJobAfterLostStep_data();
    void nextJobAfterLostStep();
    void busyCalculatorOwesAcrossJobs();

private:
    QTemporaryDir temporaryFolder;
};

void TestLinkFaults::initTestCase()
{
    CTaviCalc::setTimeoutsForTesting(shortTimeouts);
    qRegisterMetaType<FileEntry>();
    QVERIFY(temporaryFolder.isValid());
    qputenv("TMPDIR", QFile::encodeName(temporaryFolder.path()));
}

void TestLinkFaults::noWrongContent_data()
{
    QTest::addColumn<FaultMode>("mode");
    QTest::addColumn<int>("message");
    for (FaultMode mode : allFaultModes) {
        for (int message = 1; message <= 3; ++message)
            QTest::addRow("%s at answer %d", faultModeName(mode), message) << mode << message;
    }
}

void TestLinkFaults::noWrongContent()
{
    QFETCH(FaultMode, mode);
    QFETCH(int, message);
    const QList<Fault> faults{fault(message, mode)};
    const auto& last = files.last();
    {
        SimLink s(files);
        s.addFaults(faults);
        const std::optional<QByteArray> fetched = s.link().getData(fileNamed(last.first, last.second.size()));
        QVERIFY(fetched ? *fetched == last.second : !s.errors().isEmpty());
    }
    {
        SimLink s;
        s.addFaults(faults);
        if (s.link().sendFile(fileNamed(last.first, last.second.size()), last.second))
            QCOMPARE(s.sim().files(), FileList{last});
        else
            QVERIFY(!s.errors().isEmpty());
    }
    {
        SimLink s(files);
        s.addFaults(faults);
        QVERIFY(s.link().getFilesInfo().size() <= files.size());
    }
    {
        SimLink s(files);
        s.addFaults(faults);
        const std::optional<QString> archive = s.link().createBackup();
        if (archive && !archive->isEmpty()) {
            for (const zipcheck::Entry& entry : zipcheck::entries(zipcheck::inspect(*archive)))
                QVERIFY(files.contains({entry.name, entry.content}));
        }
    }
}

// What a calculator still sends for an exchange the link gave up on is not the answer to the
// next request, on the same link or on the next job's. After a frame cut off, what follows
// cannot be told apart from an answer: nothing more is asked.
void TestLinkFaults::leftoversAreNotTheNextAnswer_data()
{
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<bool>("nextJob");
    QTest::addColumn<bool>("followed");
    QTest::newRow("answer after the wait, same link") << late(1) << false << true;
    QTest::newRow("answer after the wait, next job") << late(1) << true << true;
    QTest::newRow("frame cut after CAL, same link") << cut(1, 3) << false << false;
    QTest::newRow("frame cut after CAL, next job") << cut(1, 3) << true << false;
}

void TestLinkFaults::leftoversAreNotTheNextAnswer()
{
    QFETCH(Fault, fault);
    QFETCH(bool, nextJob);
    QFETCH(bool, followed);
    SimLink s(files);
    s.addFaults({fault});
    QVERIFY(!s.link().setDeviceName("Neu"));
    QVERIFY(!s.errors().isEmpty());
    // Until the calculator has answered.
    QThread::msleep(waitBeyondTimeoutMs);
    const QStringList failure = nextJob ? QStringList() : s.errors();
    if (nextJob)
        s.reopen();
    QCOMPARE(s.link().getFilesInfo().size(), followed ? files.size() : 0);
    QCOMPARE(s.errors(), followed ? failure : failure + QStringList{outOfStep});
    if (followed)
        QCOMPARE(s.link().getName(), nextJob ? s.sim().name() : QStringLiteral("TaviCalc"));
    else
        QCOMPARE(s.sent(), QStringList{"CHANGE_NAME \"Neu\""});
}

// A late answer inside a list. Within two waits the link regains step and the list goes on;
// later than that the list ends at once, after the exchange that tried, and names the files it
// did not do. No file on either side ends with another file's content, and none is reported
// done that is not.
void TestLinkFaults::lateAnswerInAList_data()
{
    QTest::addColumn<QString>("job");
    QTest::addColumn<FileList>("files");
    QTest::addColumn<FileList>("held"); // by the calculator at the start
    QTest::addColumn<QList<Fault>>("faults");
    QTest::addColumn<QStringList>("done");
    QTest::addColumn<QStringList>("errors");
    const FileList large = {{"A.TXT", testBytes(1300, 1)}, {"B.TXT", testBytes(1300, 2)}, {"C.TXT", testBytes(1300, 3)}};
    const Fault firstAnswer = late(1, beyondTwoWaitsMs);
    const QStringList lost{connection421, notDone("A.TXT, B.TXT, C.TXT"), outOfStep};
    // A change whose answer never came may have been made: the calculator deleted A.TXT.
    const QStringList lostChanging{connection421, notDone("B.TXT, C.TXT"), notKnown("A.TXT"), outOfStep};
    QTest::newRow("download, first piece within two waits")
        << "download" << small << small << QList<Fault>{late(1)} << QStringList{"B.TXT", "C.TXT"}
        << QStringList{connection421, notDone("A.TXT")};
    QTest::newRow("download, first piece") << "download" << small << small << QList<Fault>{firstAnswer}
                                           << QStringList{} << lost;
    QTest::newRow("download, middle piece") << "download" << large << large << QList<Fault>{late(2, beyondTwoWaitsMs)}
                                            << QStringList{} << lost;
    QTest::newRow("delete, answer within two waits")
        << "delete" << small << small << QList<Fault>{late(1)} << QStringList{"B.TXT", "C.TXT"}
        << QStringList{connection421, notKnown("A.TXT")};
    // The calculator refuses the last file, which it does not hold.
    QTest::newRow("delete") << "delete" << small << small.mid(0, 2) << QList<Fault>{firstAnswer} << QStringList{}
                            << lostChanging;
    QTest::newRow("send, answer to a piece") << "send" << large << FileList{} << QList<Fault>{late(2, beyondTwoWaitsMs)}
                                             << QStringList{} << lostChanging;
}

void TestLinkFaults::lateAnswerInAList()
{
    QFETCH(QString, job);
    QFETCH(FileList, files);
    QFETCH(FileList, held);
    QFETCH(QList<Fault>, faults);
    QFETCH(QStringList, done);
    QFETCH(QStringList, errors);
    QTemporaryDir local;
    QList<FileEntry> entries;
    QList<SendItem> items;
    for (const auto& file : files) {
        entries.append({QString::fromUtf8(file.first), file.second.size()});
        items.append({local.filePath(QString::fromUtf8(file.first)), QString::fromUtf8(file.first)});
        if (job == "send")
            QVERIFY(writeFile(items.last().first, file.second));
    }
    SimLink s(held);
    s.addFaults(faults);
    QSignalSpy deleted(&s.link(), &CTaviCalc::fileDeleted);
    QSignalSpy sent(&s.link(), &CTaviCalc::fileSend);
    QStringList reported;
    if (job == "download") {
        for (const QUrl& url : s.link().genGetFilesRequest(entries, local.path()))
            reported << url.fileName();
    } else if (job == "delete") {
        s.link().genDelFilesRequest(entries);
        reported = texts(deleted);
    } else {
        s.link().genSendFilesRequest(items);
        for (const QList<QVariant>& arguments : sent)
            reported << arguments.at(0).value<FileEntry>().first;
    }
    QThread::msleep(beyondTwoWaitsMs); // until the calculator has answered everything
    QCOMPARE(reported, done);
    QCOMPARE(s.errors(), errors);
    // Nothing is piled onto a calculator that still owes an answer: step is regained only once
    // it has come.
    QCOMPARE(s.sent().contains("GET_DEVICE_INF"), !errors.contains(outOfStep));
    for (const QString& name : QDir(local.path()).entryList(QDir::Files))
        QVERIFY(files.contains({name.toUtf8(), readFile(local.filePath(name))}));
    for (const auto& left : s.sim().files())
        QVERIFY(files.contains(left));
    if (job == "delete") {
        for (const auto& left : s.sim().files())
            QVERIFY(!done.contains(QString::fromUtf8(left.first)));
    }
}

void TestLinkFaults::nextJobAfterLostStep_data()
{
    QTest::addColumn<QString>("job");
    QTest::newRow("download") << "download";
    QTest::newRow("delete") << "delete";
    QTest::newRow("rename") << "rename";
    QTest::newRow("restore") << "restore";
}

// A job that lost step leaves the late answer owed; the next job, started at once on the same
// line, passes over it and reads only its own answers.
void TestLinkFaults::nextJobAfterLostStep()
{
    QFETCH(QString, job);
    QTemporaryDir local;
    QTemporaryDir archiveFolder;
    const QString archive = archiveFolder.filePath("backup.tbk");
    zipcheck::make(archive, zipcheck::asEntries({{"P.TXT", "PPP"}}));
    SimLink s(small);
    s.sim().setRebootMs(0);
    s.addFaults({late(1, beyondTwoWaitsMs)});
    s.link().genGetFilesRequest(entriesOf(small), local.path());
    QVERIFY(s.errors().contains(outOfStep));
    s.reopen();
    if (job == "download") {
        QCOMPARE(s.link().genGetFilesRequest(entriesOf(small.mid(1, 1)), local.path()).size(), 1);
        QCOMPARE(folderFiles(local.path()), small.mid(1, 1));
    } else if (job == "delete") {
        QSignalSpy deleted(&s.link(), &CTaviCalc::fileDeleted);
        s.link().genDelFilesRequest(entriesOf(small.mid(1, 1)));
        QCOMPARE(texts(deleted), QStringList{"B.TXT"});
        QCOMPARE(s.sim().files(), small.mid(0, 1) + small.mid(2));
    } else if (job == "rename") {
        QVERIFY(s.link().setDeviceName("NEU"));
        QCOMPARE(s.sim().name(), QStringLiteral("NEU"));
    } else {
        s.link().restoreBackup(QUrl::fromLocalFile(archive));
        QCOMPARE(s.sim().files(), (FileList{{"P.TXT", "PPP"}}));
    }
    QCOMPARE(s.errors(), QStringList{});
}

// Three downloads in a row while the calculator stays busy: the second asks nothing and writes
// nothing, the third passes over the late answer and downloads its own file.
void TestLinkFaults::busyCalculatorOwesAcrossJobs()
{
    QTemporaryDir local;
    SimLink s(small);
    s.addFaults({late(1, beyondTwoWaitsMs)});
    QStringList errors;
    for (int job = 0; job < small.size(); ++job) {
        if (job > 0)
            s.reopen();
        s.link().genGetFilesRequest(entriesOf(small.mid(job, 1)), local.path());
        errors << s.errors().join("; ");
    }
    QCOMPARE(errors, QStringList({connection421 + "; " + notDone("A.TXT"), notDone("B.TXT") + "; " + outOfStep, ""}));
    QCOMPARE(folderFiles(local.path()), small.mid(2));
    QCOMPARE(s.sent().filter("GET_FILE"), QStringList({"GET_FILE A.TXT 3", "GET_FILE C.TXT 3"}));
}

CALCSIM_TEST_GUILESS_MAIN(TestLinkFaults)
#include "tst_linkfaults.moc"
