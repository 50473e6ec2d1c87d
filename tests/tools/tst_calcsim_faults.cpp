#include "Dialogue.h"

#include "CalcSimulator.h"
#include "PluggedSimulator.h"
#include "SimTestMain.h"

#include <QtTest>

#include <functional>

using namespace calcsim;
using TaviCalc::calcMsg;

Q_DECLARE_METATYPE(TaviCalc::calcMsg)
Q_DECLARE_METATYPE(calcsim::Fault)
Q_DECLARE_METATYPE(QList<calcsim::Fault>)

class TestCalcSimFaults : public QObject
{
    Q_OBJECT

private slots:
    void faultsInRuns_data();
    void faultsInRuns();
    void faultShapesTheLine_data();
    void faultShapesTheLine();
    void spoiledPayloadsKeepTheirType_data();
    void spoiledPayloadsKeepTheirType();
    void everyFaultHitsOnlyItsMessage_data();
    void everyFaultHitsOnlyItsMessage();
};

// How faults meet the runs of messages that wait for acknowledgements, the backup list and a store.
void TestCalcSimFaults::faultsInRuns_data()
{
    QTest::addColumn<int>("chunk");
    QTest::addColumn<QList<calcMsg>>("script");
    QTest::addColumn<QStringList>("answers"); // to each message of the script
    QTest::addColumn<QList<Fault>>("faults");

    const QList<calcMsg> listAndAck = {request(calcMsg::GET_FILES_INF), request(calcMsg::SUCCESS)};
    const calcMsg ack = request(calcMsg::SUCCESS);
    const QStringList records = {"SEND_FILE_INF A.tcb 5", "SEND_FILE_INF B.tcb 600", "SEND_FILE_INF C.tcb 1"};
    QTest::newRow("merge sends the next record without waiting")
        << 512 << QList<calcMsg> {request(calcMsg::GET_FILES_INF), ack, ack}
        << QStringList {records.at(0) + ", " + records.at(1), "", records.at(2)}
        << QList<Fault> {fault(1, FaultMode::Merge)};
    Fault goOn = fault(1, FaultMode::Silence);
    goOn.continueAfterMs = ComputerPort::defaultQuietMs / 4;
    QTest::newRow("silence, then the run goes on unacknowledged")
        << 512 << QList<calcMsg> {request(calcMsg::GET_FILES_INF), ack} << QStringList(records.mid(1))
        << QList<Fault> {goOn};
    Fault failedThenOn = fault(2, FaultMode::Failed);
    failedThenOn.error = calcMsg::MEMORY_ERROR;
    failedThenOn.continueAfterMs = 0;
    QTest::newRow("failed in place of a record, then the run goes on")
        << 512 << listAndAck << QStringList {records.at(0), "FAILED 3, " + records.at(2)}
        << QList<Fault> {failedThenOn};
    QTest::newRow("a silenced record waits for its acknowledgement")
        << 512 << listAndAck << QStringList {"", records.at(1)}
        << QList<Fault> {fault(1, FaultMode::Silence)};
    QTest::newRow("noise in front of a record")
        << 512 << listAndAck << QStringList(records.mid(0, 2)) << QList<Fault> {fault(2, FaultMode::Garbage)};
    QTest::newRow("a split record") << 512 << listAndAck << QStringList(records.mid(0, 2))
                                    << QList<Fault> {fault(1, FaultMode::Split), fault(2, FaultMode::Split)};
    QTest::newRow("a record left out of the backup list")
        << 512 << QList<calcMsg> {request(calcMsg::GET_BACKUP_INFO)}
        << QStringList {records.at(0) + ", " + records.at(2) + ", SEND_FILE_INF  0"}
        << QList<Fault> {fault(2, FaultMode::Silence)};
    QTest::newRow("a refused store piece")
        << 256 << upload("C.tcb", pattern(600), 256).mid(0, 2) << QStringList {"SUCCESS", "FAILED 0"}
        << QList<Fault> {fault(2, FaultMode::Failed)};
}

void TestCalcSimFaults::faultsInRuns()
{
    QFETCH(int, chunk);
    QFETCH(QList<calcMsg>, script);
    QFETCH(QStringList, answers);
    QFETCH(QList<Fault>, faults);

    PluggedSimulator calc;
    calc->setFiles(startFiles() + FileList {{"C.tcb", "c"}});
    calc->setChunkSize(chunk);
    for (const Fault& fault : faults)
        calc->addFault(fault);
    ComputerPort computer(calc.portInfo());
    QCOMPARE(answersTo(computer, script), answers);
}

// A file of two pieces is fetched; the fault hits the first piece. Each row gives the reads
// that the computer sees, built from the clean frames. The line counts as quiet only after
// several split pauses.
constexpr int splitPauseMs = 100;
constexpr int shapeQuietMs = 3 * splitPauseMs;

void TestCalcSimFaults::faultShapesTheLine_data()
{
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<QList<QByteArray>>("reads");

    constexpr int chunk = 256;
    const QByteArray content = pattern(chunk + 10);
    const calcMsg first = piece(0, content.left(chunk));
    const QByteArray clean = ComputerPort::framed(first);
    const auto framedWith = [&](const std::function<void(calcMsg&)>& change) {
        calcMsg msg = first;
        change(msg);
        return QList<QByteArray> {ComputerPort::framed(msg)};
    };

    QTest::newRow("Silence") << fault(1, FaultMode::Silence) << QList<QByteArray>();
    Fault failed = fault(1, FaultMode::Failed);
    failed.error = calcMsg::WRITE_ERROR;
    failed.errorNum = -5;
    failed.errorStr = "abc";
    calcMsg failure;
    failure.set_type(calcMsg::FAILED);
    failure.set_error(calcMsg::WRITE_ERROR);
    failure.set_errornum(-5);
    failure.set_errorstr("abc");
    QTest::newRow("Failed") << failed << QList<QByteArray> {ComputerPort::framed(failure)};
    Fault wrongType = fault(1, FaultMode::WrongType);
    wrongType.type = calcMsg::SEND_FILE_INF;
    QTest::newRow("WrongType") << wrongType
                               << framedWith([](calcMsg& msg) { msg.set_type(calcMsg::SEND_FILE_INF); });
    QTest::newRow("Garbage") << fault(1, FaultMode::Garbage) << QList<QByteArray> {Fault().noise + clean};
    Fault split = fault(1, FaultMode::Split);
    split.offsets = {3, 10};
    split.pauseMs = splitPauseMs;
    QTest::newRow("Split") << split << QList<QByteArray> {clean.left(3), clean.mid(3, 7), clean.mid(10)};
    QTest::newRow("Merge") << fault(1, FaultMode::Merge)
                           << QList<QByteArray> {clean + ComputerPort::framed(piece(1, content.mid(chunk)))};
    Fault cut = fault(1, FaultMode::Cut);
    cut.cutAt = 20;
    QTest::newRow("Cut") << cut << QList<QByteArray> {clean.left(20)};
    QTest::newRow("Cut by default") << fault(1, FaultMode::Cut)
                                    << QList<QByteArray> {clean.left(6 + (clean.size() - 6) / 2)};
    Fault number = fault(1, FaultMode::BadFrameNumber);
    number.frameNum = 7;
    QTest::newRow("BadFrameNumber") << number
                                    << framedWith([](calcMsg& msg) { msg.mutable_frame()->set_framenum(7); });
    Fault size = fault(1, FaultMode::BadFrameSize);
    size.size = chunk + 1;
    QTest::newRow("BadFrameSize") << size << framedWith([](calcMsg& msg) {
        msg.mutable_frame()->set_size(chunk + 1);
    });
    QTest::newRow("Disconnect") << fault(1, FaultMode::Disconnect) << QList<QByteArray>();
    Fault late = fault(1, FaultMode::Late);
    late.lateMs = shapeQuietMs / 2;
    QTest::newRow("Late") << late << QList<QByteArray> {clean};
}

void TestCalcSimFaults::faultShapesTheLine()
{
    QFETCH(Fault, fault);
    QFETCH(QList<QByteArray>, reads);

    PluggedSimulator calc;
    calc->setChunkSize(256);
    calc->setFiles({{"F.tcb", pattern(266)}});
    ComputerPort computer(calc.portInfo());
    computer.send(request(calcMsg::GET_DEVICE_INF));
    QCOMPARE(computer.payloadsUntilQuiet().size(), 1);
    calc->clearReceived(); // faults count from here
    calc->addFault(fault);
    computer.send(request(calcMsg::GET_FILE, "F.tcb", 266));
    QCOMPARE(computer.readsUntilQuiet(shapeQuietMs), reads);
    QCOMPARE(calc->isDisconnected(), fault.mode == FaultMode::Disconnect);
}

// The faults that spoil a payload keep what comes before the spoiled field, the type first.
void TestCalcSimFaults::spoiledPayloadsKeepTheirType_data()
{
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<calcMsg>("ask");
    QTest::addColumn<int>("type");
    QTest::addColumn<QByteArray>("name");

    const calcMsg list = request(calcMsg::GET_FILES_INF);
    const calcMsg device = request(calcMsg::GET_DEVICE_INF);
    QTest::newRow("undecodable record")
        << fault(1, FaultMode::Undecodable) << list << int(calcMsg::SEND_FILE_INF) << QByteArray("A.tcb");
    QTest::newRow("file name not UTF-8")
        << fault(1, FaultMode::BadUtf8) << list << int(calcMsg::SEND_FILE_INF) << Fault().badText;
    QTest::newRow("calculator name not UTF-8")
        << fault(1, FaultMode::BadUtf8) << device << int(calcMsg::SEND_DEVICE_INF) << Fault().badText;
    Fault failed = fault(1, FaultMode::Failed);
    QTest::newRow("error text not UTF-8") << failed << device << int(calcMsg::FAILED) << QByteArray();
}

void TestCalcSimFaults::spoiledPayloadsKeepTheirType()
{
    QFETCH(Fault, fault);
    QFETCH(calcMsg, ask);
    QFETCH(int, type);
    QFETCH(QByteArray, name);

    PluggedSimulator calc;
    calc->setFiles(startFiles());
    calc->addFault(fault);
    if (fault.mode == FaultMode::Failed)
        calc->addFault(::fault(1, FaultMode::BadUtf8));
    ComputerPort computer(calc.portInfo());
    computer.send(ask);
    const QList<QByteArray> payloads = computer.payloadsUntilQuiet();
    QCOMPARE(payloads.size(), 1);
    calcMsg answer;
    QVERIFY(!answer.ParseFromArray(payloads.first().constData(), payloads.first().size()));
    QCOMPARE(int(answer.type()), type);
    const std::string& spoiled = answer.has_finf() ? answer.finf().name() : answer.devinf().name();
    QCOMPARE(QByteArray::fromStdString(spoiled), name);
}

// Whatever the mode, the message before the fault arrives as in a clean run, the line differs
// where the fault hits, and the simulator goes on answering afterwards (unless disconnected).
void TestCalcSimFaults::everyFaultHitsOnlyItsMessage_data()
{
    QTest::addColumn<Fault>("fault");
    for (FaultMode mode : allFaultModes)
        QTest::newRow(faultModeName(mode)) << fault(2, mode);
}

void TestCalcSimFaults::everyFaultHitsOnlyItsMessage()
{
    QFETCH(Fault, fault);

    const FileList threeFiles = startFiles() + FileList {{"C.tcb", "c"}};
    const auto listReads = [&](PluggedSimulator& calc) {
        calc->setFiles(threeFiles);
        ComputerPort computer(calc.portInfo());
        QList<QList<QByteArray>> steps;
        computer.send(request(calcMsg::GET_FILES_INF));
        steps.append(computer.readsUntilQuiet());
        for (int record = 1; record < threeFiles.size(); ++record) {
            computer.send(request(calcMsg::SUCCESS));
            steps.append(computer.readsUntilQuiet());
        }
        return steps;
    };
    PluggedSimulator cleanCalc;
    const QList<QList<QByteArray>> clean = listReads(cleanCalc);
    PluggedSimulator calc;
    calc->addFault(fault);
    const QList<QList<QByteArray>> faulty = listReads(calc);
    QCOMPARE(faulty.first(), clean.first());
    QVERIFY(faulty.mid(1) != clean.mid(1));

    QCOMPARE(calc->isDisconnected(), fault.mode == FaultMode::Disconnect);
    if (calc->isDisconnected())
        return;
    calc->clearFaults();
    ComputerPort computer(calc.portInfo());
    // A late message still comes whole, and the answers to what was sent meanwhile follow it.
    if (fault.mode == FaultMode::Late) {
        const auto joined = [](const QList<QList<QByteArray>>& steps) {
            QList<QByteArray> reads;
            for (const QList<QByteArray>& step : steps)
                reads += step;
            return ComputerPort::payloadsOf(reads);
        };
        const QList<QList<QByteArray>> later = faulty.mid(1) << computer.readsUntilQuiet(fault.lateMs);
        QCOMPARE(joined(later), joined(clean.mid(1)));
    }
    computer.send(request(calcMsg::GET_FILES_NUM));
    const QList<QByteArray> payloads = computer.payloadsUntilQuiet();
    QCOMPARE(payloads.size(), 1);
    QCOMPARE(summary(payloads.first()), QStringLiteral("SEND_FILES_NUM 3"));
}

CALCSIM_TEST_GUILESS_MAIN(TestCalcSimFaults)
#include "tst_calcsim_faults.moc"
