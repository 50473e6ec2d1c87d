// What a calculator's answers may claim beyond the limits of the line, as the fuzzers found
// it: the link keeps to what it can carry.
#include "SimLink.h"
#include "TestFiles.h"

#include "SimTestMain.h"

#include <QtTest>

#include <limits>

using namespace linktest;

class TestLinkLimits : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void chunkSizeFitsFrame_data();
    void chunkSizeFitsFrame();
};

void TestLinkLimits::initTestCase()
{
    CTaviCalc::setTimeoutsForTesting(shortTimeouts);
}

// A chunk too large for one frame would make every read reserve twice its size and every
// full piece overflow its frame's length, so the link keeps its default; the pieces of a
// send show the chunk it uses.
void TestLinkLimits::chunkSizeFitsFrame_data()
{
    QTest::addColumn<int>("chunk");
    QTest::addColumn<QStringList>("pieces");
    const QStringList defaultPieces{"FRAME 0 512", "FRAME 1 88"};
    QTest::newRow("largest that fits") << CTaviCalc::largestChunkSize << QStringList{"FRAME 0 600"};
    QTest::newRow("one byte too large") << CTaviCalc::largestChunkSize + 1 << defaultPieces;
    QTest::newRow("largest number") << std::numeric_limits<int>::max() << defaultPieces;
}

void TestLinkLimits::chunkSizeFitsFrame()
{
    QFETCH(int, chunk);
    QFETCH(QStringList, pieces);
    SimLink s({}, chunk);
    s.link().sendFile(fileNamed("P.tcb", 600), testBytes(600));
    QCOMPARE(s.sent(), QStringList{"SEND_FILE P.tcb 600"} + pieces);
}

CALCSIM_TEST_GUILESS_MAIN(TestLinkLimits)
#include "tst_linklimits.moc"
