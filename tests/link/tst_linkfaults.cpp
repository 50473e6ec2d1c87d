#include "SimLink.h"
#include "TestFiles.h"
#include "ZipCheck.h"

#include "SimTestMain.h"

#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

using namespace calcsim;
using namespace linktest;

Q_DECLARE_METATYPE(calcsim::Fault)
Q_DECLARE_METATYPE(calcsim::FaultMode)

namespace {

// Files of one, two and three pieces, so that a fault can fall on any answer of a dialogue.
const FileList files = {{"A.tcb", testBytes(300, 1)}, {"B.tcb", testBytes(900, 2)}, {"C.tcb", testBytes(1300, 3)}};

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

private:
    QTemporaryDir temporaryFolder;
};

void TestLinkFaults::initTestCase()
{
    CTaviCalc::setTimeoutsForTesting(shortTimeouts);
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
// next request, on the same link or on the next job's.
void TestLinkFaults::leftoversAreNotTheNextAnswer_data()
{
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<bool>("nextJob");
    QTest::newRow("answer after the wait, same link") << late(1) << false;
    QTest::newRow("answer after the wait, next job") << late(1) << true;
    QTest::newRow("frame cut after CAL, same link") << cut(1, 3) << false;
}

void TestLinkFaults::leftoversAreNotTheNextAnswer()
{
    QFETCH(Fault, fault);
    QFETCH(bool, nextJob);
    SimLink s(files);
    s.addFaults({fault});
    QVERIFY(!s.link().setDeviceName("Neu"));
    QVERIFY(!s.errors().isEmpty());
    // Until the calculator has answered.
    QThread::msleep(waitBeyondTimeoutMs);
    const QStringList failure = nextJob ? QStringList() : s.errors();
    if (nextJob)
        s.reopen();
    QCOMPARE(s.link().getName(), nextJob ? s.sim().name() : QStringLiteral("TaviCalc"));
    QCOMPARE(s.link().getFilesInfo().size(), files.size());
    QCOMPARE(s.errors(), failure);
}

CALCSIM_TEST_GUILESS_MAIN(TestLinkFaults)
#include "tst_linkfaults.moc"
