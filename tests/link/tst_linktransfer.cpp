#include "SimLink.h"
#include "TestFiles.h"

#include "SimTestMain.h"

#include <QtTest>

using namespace calcsim;
using namespace linktest;
using TaviCalc::calcMsg;

Q_DECLARE_METATYPE(calcsim::Fault)

namespace {

const QByteArray fileName = "F.bin";
const QByteArray shorterFile = "S.bin"; // held with fewer bytes than the fetch asks for

// The rows of every size that matters for each chunk size.
void addSizeRows(const char* what)
{
    QTest::addColumn<int>("chunk");
    QTest::addColumn<int>("size");
    for (int chunk : {512, 256}) {
        for (int size : {0, 1, chunk - 1, chunk, chunk + 1, 1300})
            QTest::addRow("chunk %d, %s %d bytes", chunk, what, size) << chunk << size;
    }
}

QStringList repeated(const QString& text, int times)
{
    QStringList list;
    for (int i = 0; i < times; ++i)
        list << text;
    return list;
}

} // namespace

// The three single-file dialogues: fetch, send and delete.
class TestLinkTransfer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void fetchPieces_data();
    void fetchPieces();
    void sendPieces_data();
    void sendPieces();
    void fetchFailures_data();
    void fetchFailures();
    void sendFailures_data();
    void sendFailures();
    void deleteFile_data();
    void deleteFile();
};

void TestLinkTransfer::initTestCase()
{
    CTaviCalc::setTimeoutsForTesting(shortTimeouts);
}

void TestLinkTransfer::fetchPieces_data()
{
    addSizeRows("fetching");
}

// A fetch takes ceil(size / chunk) pieces and acknowledges each but the last.
void TestLinkTransfer::fetchPieces()
{
    QFETCH(int, chunk);
    QFETCH(int, size);
    const QByteArray content = testBytes(size);
    SimLink s({{fileName, content}}, chunk);
    const std::optional<QByteArray> fetched = s.link().getData(fileNamed(fileName, size));
    const int pieces = (size + chunk - 1) / chunk;
    QCOMPARE(fetched, size == 0 ? std::optional<QByteArray>() : content);
    const QStringList request = size == 0 ? QStringList{} : QStringList{"GET_FILE F.bin " + QString::number(size)};
    QCOMPARE(s.sent(), request + repeated("SUCCESS", pieces - 1));
    QCOMPARE(s.errors(), QStringList{});
}

void TestLinkTransfer::sendPieces_data()
{
    addSizeRows("sending");
}

// A send takes floor(size / chunk) + 1 pieces, the last one short, and reads every answer.
void TestLinkTransfer::sendPieces()
{
    QFETCH(int, chunk);
    QFETCH(int, size);
    const QByteArray content = testBytes(size);
    SimLink s({}, chunk);
    QVERIFY(s.link().sendFile(fileNamed(fileName, size), content));
    QStringList expected{"SEND_FILE F.bin " + QString::number(size)};
    for (int offset = 0, number = 0; size > 0 && offset <= size; offset += chunk, ++number)
        expected << QString("FRAME %1 %2").arg(number).arg(qMin(chunk, size - offset));
    QCOMPARE(s.sent(), expected);
    QCOMPARE(s.sim().files(), FileList({{fileName, content}}));
    QCOMPARE(s.errors(), QStringList{});
}

void TestLinkTransfer::fetchFailures_data()
{
    QTest::addColumn<QByteArray>("requested");
    QTest::addColumn<QList<Fault>>("faults");
    QTest::addColumn<QByteArray>("fetched"); // null: no value
    QTest::addColumn<int>("acknowledged");
    QTest::addColumn<QStringList>("errors");
    // Three pieces of 512 bytes: the simulator's answers 1, 2 and 3.
    const QByteArray c = testBytes(1536);
    const QStringList wrongNumber{"Wrong frame number."};
    const QStringList wrongSize{"Wrong data size."};

    QTest::newRow("missing file") << QByteArray("NONE.bin") << QList<Fault>{} << QByteArray() << 0
                                  << QStringList{fileNotExist};
    QTest::newRow("FAILED with text and number") << fileName << QList<Fault>{failed(1, calcMsg::WRITE_ERROR, "flash", 9)}
                                                 << QByteArray() << 0 << QStringList{"flash (error code: 9)"};
    QTest::newRow("FAILED at a middle piece") << fileName << QList<Fault>{failed(2, calcMsg::MEMORY_ERROR)}
                                              << QByteArray() << 1 << QStringList{"Memory error."};
    QTest::newRow("other type for a piece") << fileName << QList<Fault>{wrongType(2, calcMsg::SEND_FILE_INF)}
                                            << QByteArray() << 1 << QStringList{"Unknown error."};
    QTest::newRow("silent mid-file") << fileName << QList<Fault>{fault(2, FaultMode::Silence)} << QByteArray() << 1
                                     << QStringList{connection421};
    QTest::newRow("cut mid-piece") << fileName << QList<Fault>{fault(2, FaultMode::Cut)} << QByteArray() << 1
                                   << QStringList{connection421, outOfStep};
    QTest::newRow("disconnected mid-file") << fileName << QList<Fault>{fault(3, FaultMode::Disconnect)}
                                           << QByteArray() << 2 << QStringList{connection421};
    QTest::newRow("last piece cut short") << fileName << QList<Fault>{cutPayload(3, 1)} << QByteArray() << 2
                                          << QStringList{parseMessage};
    QTest::newRow("negative frame number") << fileName << QList<Fault>{frameNumber(2, -1)} << QByteArray() << 1
                                           << wrongNumber;
    QTest::newRow("frame number past the end") << fileName << QList<Fault>{frameNumber(2, 7)} << QByteArray() << 1
                                               << wrongNumber;
    QTest::newRow("huge frame number") << fileName << QList<Fault>{frameNumber(1, 0x7FFFFFFF)} << QByteArray() << 0
                                       << wrongNumber;
    QTest::newRow("size beyond the file") << fileName << QList<Fault>{frameSize(3, 600)} << QByteArray() << 2
                                          << wrongSize;
    QTest::newRow("negative size") << fileName << QList<Fault>{frameSize(2, -1)} << QByteArray() << 1 << wrongSize;
    QTest::newRow("size beyond its data") << fileName << QList<Fault>{frameSize(2, 513)} << QByteArray() << 1
                                          << wrongSize;
    // A piece shorter than a chunk ends the file: the calculator waits for no acknowledgement.
    QTest::newRow("short piece before the last") << fileName << QList<Fault>{frameSize(2, 100)} << QByteArray() << 1
                                                 << wrongSize;
    QTest::newRow("file shorter than listed") << shorterFile << QList<Fault>{} << QByteArray() << 1 << wrongSize;
    QTest::newRow("repeated piece leaves a gap") << fileName << QList<Fault>{frameNumber(2, 0)} << QByteArray()
                                                 << 2 << wrongSize;
    QTest::newRow("pieces out of order") << fileName << QList<Fault>{frameNumber(1, 1), frameNumber(2, 0)}
                                         << c.mid(512, 512) + c.left(512) + c.mid(1024) << 2 << QStringList{};
    QTest::newRow("noise and split pieces") << fileName << QList<Fault>{fault(2, FaultMode::Garbage), split(3, {3, 100})}
                                            << c << 2 << QStringList{};
    QTest::newRow("two pieces in one read") << fileName << QList<Fault>{fault(1, FaultMode::Merge)} << c << 2
                                            << QStringList{};
}

void TestLinkTransfer::fetchFailures()
{
    QFETCH(QByteArray, requested);
    QFETCH(QList<Fault>, faults);
    QFETCH(QByteArray, fetched);
    QFETCH(int, acknowledged);
    QFETCH(QStringList, errors);
    SimLink s({{fileName, testBytes(1536)}, {shorterFile, testBytes(1000)}});
    s.addFaults(faults);
    const std::optional<QByteArray> result = s.link().getData(fileNamed(requested, 1536));
    QCOMPARE(result, fetched.isNull() ? std::optional<QByteArray>() : fetched);
    QCOMPARE(s.sent(), QStringList{"GET_FILE " + requested + " 1536"} + repeated("SUCCESS", acknowledged));
    QCOMPARE(s.errors(), errors);
}

void TestLinkTransfer::sendFailures_data()
{
    QTest::addColumn<QList<Fault>>("faults");
    QTest::addColumn<bool>("result");
    QTest::addColumn<int>("pieces");
    QTest::addColumn<QStringList>("errors");
    // 1300 bytes: the announcement is answer 1, the pieces of 512, 512 and 276 answers 2 to 4.
    QTest::newRow("accepted") << QList<Fault>{} << true << 3 << QStringList{};
    QTest::newRow("announcement refused, kind only") << QList<Fault>{failed(1, calcMsg::FILE_NOT_EXIST)} << false
                                                     << 0 << QStringList{fileNotExist};
    QTest::newRow("announcement refused with a text") << QList<Fault>{failed(1, calcMsg::MEMORY_ERROR, "full")}
                                                      << false << 0 << QStringList{"full"};
    QTest::newRow("announcement refused, kind not named") << QList<Fault>{failed(1, calcMsg::errType(9))}
                                                          << false << 0 << QStringList{"Unknown error."};
    QTest::newRow("announcement refused, kind negative") << QList<Fault>{failed(1, calcMsg::errType(-1))}
                                                         << false << 0 << QStringList{"Unknown error."};
    QTest::newRow("announcement answered otherwise") << QList<Fault>{wrongType(1, calcMsg::SEND_FILES_NUM)}
                                                     << false << 0 << QStringList{"Unknown error."};
    QTest::newRow("announcement unanswered") << QList<Fault>{fault(1, FaultMode::Silence)} << false << 0
                                             << QStringList{connection421};
    QTest::newRow("middle piece refused") << QList<Fault>{failed(3, calcMsg::WRITE_ERROR)} << false << 2
                                          << QStringList{"Write error."};
    QTest::newRow("piece answered otherwise goes on") << QList<Fault>{wrongType(3, calcMsg::SEND_FILE_INF)} << true
                                                      << 3 << QStringList{};
    QTest::newRow("piece unanswered") << QList<Fault>{fault(2, FaultMode::Silence)} << false << 1
                                      << QStringList{connection421};
}

void TestLinkTransfer::sendFailures()
{
    QFETCH(QList<Fault>, faults);
    QFETCH(bool, result);
    QFETCH(int, pieces);
    QFETCH(QStringList, errors);
    SimLink s;
    s.addFaults(faults);
    QCOMPARE(s.link().sendFile(fileNamed(fileName, 1300), testBytes(1300)), result);
    const QStringList all{"SEND_FILE F.bin 1300", "FRAME 0 512", "FRAME 1 512", "FRAME 2 276"};
    QCOMPARE(s.sent(), all.mid(0, pieces + 1));
    QCOMPARE(s.errors(), errors);
}

void TestLinkTransfer::deleteFile_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QList<Fault>>("faults");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QStringList>("errors");
    QTest::newRow("deleted") << fileName << QList<Fault>{} << true << QStringList{};
    QTest::newRow("missing") << QByteArray("NONE.bin") << QList<Fault>{} << false << QStringList{fileNotExist};
    QTest::newRow("refused") << fileName << QList<Fault>{failed(1, calcMsg::WRITE_ERROR, "locked", 3)} << false
                             << QStringList{"locked (error code: 3)"};
}

void TestLinkTransfer::deleteFile()
{
    QFETCH(QByteArray, name);
    QFETCH(QList<Fault>, faults);
    QFETCH(bool, result);
    QFETCH(QStringList, errors);
    SimLink s({{fileName, "x"}});
    s.addFaults(faults);
    QCOMPARE(s.link().delFile(fileNamed(name, 1)), result);
    QCOMPARE(s.sent(), QStringList{"DELETE_FILE " + name + " 1"});
    QCOMPARE(s.errors(), errors);
}

CALCSIM_TEST_GUILESS_MAIN(TestLinkTransfer)
#include "tst_linktransfer.moc"
