#include "Dialogue.h"

#include "CalcSimulator.h"
#include "PluggedSimulator.h"
#include "SimTestMain.h"
#include "VirtualUsbBus.h"

#include <QSerialPortInfo>
#include <QtTest>

using namespace calcsim;
using TaviCalc::calcMsg;

Q_DECLARE_METATYPE(TaviCalc::calcMsg)
Q_DECLARE_METATYPE(calcsim::FileList)

class TestCalcSim : public QObject
{
    Q_OBJECT

private slots:
    void busListsPluggedCalculatorsInPlugOrder();
    void unplugAndPlugAgain();
    void rawExchangeOnTheRealPort();
    void dialogues_data();
    void dialogues();
    void rebootIgnoresTheLineForAMoment();
};

void TestCalcSim::busListsPluggedCalculatorsInPlugOrder()
{
    PluggedSimulator first;
    PluggedSimulator second;
    QStringList listed;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        QCOMPARE(info.vendorIdentifier(), calculatorVendorId);
        QCOMPARE(info.productIdentifier(), calculatorProductId);
        QCOMPARE(info.systemLocation(), QStringLiteral("/dev/") + info.portName());
        listed << info.portName();
    }
    QCOMPARE(listed, QStringList({first.portName(), second.portName()}));
    QCOMPARE(first.portInfo().portName(), first.portName());
    QVERIFY(first.portInfo().hasVendorIdentifier());
}

void TestCalcSim::unplugAndPlugAgain()
{
    CalcSimulator sim;
    const QString port = VirtualUsbBus::plug(sim.devicePath());
    QVERIFY(!port.isEmpty());
    const QString serial = QSerialPortInfo(port).serialNumber();
    QVERIFY(!serial.isEmpty());
    VirtualUsbBus::unplug(port);
    QVERIFY(QSerialPortInfo::availablePorts().isEmpty());
    QVERIFY(QSerialPortInfo(port).isNull());
    const QString again = VirtualUsbBus::plug(sim.devicePath());
    QCOMPARE(again, port); // the freed number is taken again, as the kernel does
    // Each plug is a calculator of its own, told apart by its serial number.
    QVERIFY(QSerialPortInfo(again).serialNumber() != serial);
    ComputerPort computer {QSerialPortInfo(again)};
    QVERIFY(computer.isOpen());
    computer.send(request(calcMsg::GET_FILES_NUM));
    QCOMPARE(computer.payloadsUntilQuiet().size(), 1);
    VirtualUsbBus::unplug(again);
}

void TestCalcSim::rawExchangeOnTheRealPort()
{
    PluggedSimulator calc;
    calc->setName(QStringLiteral("Ünïcode"));
    calc->setVersions("hv", "fv", "pv");
    calc->setChunkSize(256);
    ComputerPort computer(calc.portInfo());
    QVERIFY(computer.isOpen());
    computer.send(request(calcMsg::GET_DEVICE_INF));
    const QList<QByteArray> reads = computer.readsUntilQuiet();
    QCOMPARE(reads.size(), 1);
    QCOMPARE(reads.first().left(4), QByteArray("CALC"));
    const QList<QByteArray> payloads = ComputerPort::payloadsOf(reads);
    QCOMPARE(payloads.size(), 1);
    calcMsg answer;
    QVERIFY(answer.ParseFromArray(payloads.first().constData(), payloads.first().size()));
    QCOMPARE(answer.type(), calcMsg::SEND_DEVICE_INF);
    QCOMPARE(QString::fromStdString(answer.devinf().name()), QStringLiteral("Ünïcode"));
    QCOMPARE(answer.devinf().maxchunksize(), 256);
    QCOMPARE(calc->receivedTypes(), QList<int>({calcMsg::GET_DEVICE_INF}));
}

void TestCalcSim::dialogues_data()
{
    QTest::addColumn<int>("chunk");
    QTest::addColumn<QList<calcMsg>>("script");
    QTest::addColumn<QStringList>("answers"); // to each message of the script
    QTest::addColumn<FileList>("files");      // afterwards

    const QByteArray c600 = pattern(600);
    const FileList withC = startFiles() + FileList {{"C.tcb", c600}};

    QTest::newRow("device information")
        << 512 << QList<calcMsg> {request(calcMsg::GET_DEVICE_INF)}
        << QStringList {"SEND_DEVICE_INF TaviCalc H1.2 F3.4 P5.6 512"} << startFiles();
    QTest::newRow("file count") << 512 << QList<calcMsg> {request(calcMsg::GET_FILES_NUM)}
                                << QStringList {"SEND_FILES_NUM 2"} << startFiles();
    QTest::newRow("file list waits for acknowledgements")
        << 512
        << QList<calcMsg> {request(calcMsg::GET_FILES_INF), request(calcMsg::SUCCESS),
               request(calcMsg::SUCCESS)}
        << QStringList {"SEND_FILE_INF A.tcb 5", "SEND_FILE_INF B.tcb 600", ""} << startFiles();
    QTest::newRow("fetch in numbered pieces")
        << 256
        << QList<calcMsg> {request(calcMsg::GET_FILE, "B.tcb", 600), request(calcMsg::SUCCESS),
               request(calcMsg::SUCCESS)}
        << QStringList {"FRAME 0 256 256", "FRAME 1 256 256", "FRAME 2 88 88"} << startFiles();
    QTest::newRow("fetch of a missing file") << 512 << QList<calcMsg> {request(calcMsg::GET_FILE, "X.tcb", 3)}
                                             << QStringList {"FAILED 1"} << startFiles();
    QTest::newRow("store") << 256 << upload("C.tcb", c600, 256)
                           << QStringList {"SUCCESS", "SUCCESS", "SUCCESS", "SUCCESS"} << withC;
    const FileList exact = startFiles() + FileList {{"D.tcb", pattern(512)}};
    QTest::newRow("store of whole chunks ends with an empty piece")
        << 256 << upload("D.tcb", pattern(512), 256)
        << QStringList {"SUCCESS", "SUCCESS", "SUCCESS", "SUCCESS"} << exact;
    const FileList empty = startFiles() + FileList {{"E.tcb", {}}};
    QTest::newRow("store of an empty file")
        << 512 << upload("E.tcb", {}, 512) << QStringList {"SUCCESS"} << empty;
    QTest::newRow("store replaces in place")
        << 512 << upload("A.tcb", "bye", 512) << QStringList {"SUCCESS", "SUCCESS"}
        << FileList {{"A.tcb", "bye"}, startFiles().at(1)};
    QTest::newRow("store under another letter case replaces in place, renamed")
        << 512 << upload("a.TCB", "bye", 512) << QStringList {"SUCCESS", "SUCCESS"}
        << FileList {{"a.TCB", "bye"}, startFiles().at(1)};
    QTest::newRow("delete") << 512 << QList<calcMsg> {request(calcMsg::DELETE_FILE, "A.tcb", 5)}
                            << QStringList {"SUCCESS"} << FileList {startFiles().at(1)};
    QTest::newRow("delete of a missing file")
        << 512 << QList<calcMsg> {request(calcMsg::DELETE_FILE, "a.tcb", 5)} << QStringList {"FAILED 1"}
        << startFiles();
    QTest::newRow("rename") << 512 << QList<calcMsg> {nameChange("Mine"), request(calcMsg::GET_DEVICE_INF)}
                            << QStringList {"SUCCESS", "SEND_DEVICE_INF Mine H1.2 F3.4 P5.6 512"}
                            << startFiles();
    QTest::newRow("backup list comes unacknowledged")
        << 512 << QList<calcMsg> {request(calcMsg::GET_BACKUP_INFO)}
        << QStringList {"SEND_FILE_INF A.tcb 5, SEND_FILE_INF B.tcb 600, SEND_FILE_INF  0"} << startFiles();
    QTest::newRow("clear") << 512
                           << QList<calcMsg> {request(calcMsg::CLEAR_FILESYSTEM),
                                  request(calcMsg::GET_FILES_NUM)}
                           << QStringList {"SUCCESS", "SEND_FILES_NUM 0"} << FileList();
    QTest::newRow("a new request abandons the file list")
        << 512
        << QList<calcMsg> {request(calcMsg::GET_FILES_INF), request(calcMsg::GET_FILES_NUM),
               request(calcMsg::SUCCESS)}
        << QStringList {"SEND_FILE_INF A.tcb 5", "SEND_FILES_NUM 2", ""} << startFiles();
    QList<calcMsg> abandoned = upload("C.tcb", c600, 256).mid(0, 2);
    abandoned.append(request(calcMsg::GET_FILES_NUM));
    QTest::newRow("a new request abandons a store")
        << 256 << abandoned << QStringList {"SUCCESS", "SUCCESS", "SEND_FILES_NUM 2"} << startFiles();
    QTest::newRow("a misreported chunk size still moves 512 bytes")
        << 0
        << QList<calcMsg> {request(calcMsg::GET_DEVICE_INF), request(calcMsg::GET_FILE, "B.tcb", 600),
               request(calcMsg::SUCCESS)}
        << QStringList {"SEND_DEVICE_INF TaviCalc H1.2 F3.4 P5.6 0", "FRAME 0 512 512", "FRAME 1 88 88"}
        << startFiles();
    QTest::newRow("a piece with a negative number is refused")
        << 512 << QList<calcMsg> {request(calcMsg::SEND_FILE, "C.tcb", 10), piece(-1, "abc")}
        << QStringList {"SUCCESS", "FAILED 7"} << startFiles();
    calcMsg longPiece = piece(0, "abc");
    longPiece.mutable_frame()->set_size(4);
    QTest::newRow("a piece longer than its data is refused")
        << 512 << QList<calcMsg> {request(calcMsg::SEND_FILE, "C.tcb", 10), longPiece}
        << QStringList {"SUCCESS", "FAILED 6"} << startFiles();
    calcMsg unknown;
    unknown.set_type(TaviCalc::calcMsg_msgType(17));
    QTest::newRow("an unknown request is refused") << 512 << QList<calcMsg> {unknown, request(calcMsg::FRAME)}
                                                   << QStringList {"FAILED 4", "FAILED 4"} << startFiles();
}

void TestCalcSim::dialogues()
{
    QFETCH(int, chunk);
    QFETCH(QList<calcMsg>, script);
    QFETCH(QStringList, answers);
    QFETCH(FileList, files);

    PluggedSimulator calc;
    calc->setFiles(startFiles());
    calc->setChunkSize(chunk);
    ComputerPort computer(calc.portInfo());
    QCOMPARE(answersTo(computer, script), answers);
    QCOMPARE(calc->files(), files);
    QCOMPARE(calc->receivedTypes(), typesOf(script));
}

void TestCalcSim::rebootIgnoresTheLineForAMoment()
{
    constexpr int rebootMs = 400;
    PluggedSimulator calc;
    calc->setRebootMs(rebootMs);
    ComputerPort computer(calc.portInfo());
    QElapsedTimer sinceReboot;
    computer.send(request(calcMsg::REBOOT));
    sinceReboot.start();
    QCOMPARE(computer.payloadsUntilQuiet().size(), 1);
    computer.send(request(calcMsg::GET_FILES_NUM));
    const QList<QByteArray> whileDeaf = computer.payloadsUntilQuiet();
    if (sinceReboot.elapsed() >= rebootMs)
        QSKIP("the machine was too slow to ask while the calculator restarts");
    QVERIFY(whileDeaf.isEmpty());
    QTest::qWait(rebootMs);
    computer.send(request(calcMsg::GET_FILES_NUM));
    QCOMPARE(computer.payloadsUntilQuiet().size(), 1);
    QCOMPARE(calc->receivedTypes(), QList<int>({calcMsg::REBOOT, calcMsg::GET_FILES_NUM}));
}

CALCSIM_TEST_GUILESS_MAIN(TestCalcSim)
#include "tst_calcsim.moc"
