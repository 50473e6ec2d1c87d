#include "SimLink.h"
#include "TestFiles.h"

#include "SimTestMain.h"
#include "VirtualUsbBus.h"

#include <QThread>
#include <QtTest>

#include <atomic>

using namespace calcsim;
using namespace linktest;
using TaviCalc::calcMsg;

Q_DECLARE_METATYPE(calcsim::Fault)
Q_DECLARE_METATYPE(calcsim::FileList)

namespace {

const FileList threeFiles = {{"A.tcb", "alpha"}, {"B.tcb", "bravo!"}, {"C.tcb", "charlie"}};
const QList<FileEntry> threeEntries = {{"A.tcb", 5}, {"B.tcb", 6}, {"C.tcb", 7}};

calcMsg bare(TaviCalc::calcMsg_msgType type)
{
    calcMsg msg;
    msg.set_type(type);
    return msg;
}

} // namespace

// The link's own dialogues: discovery, device information, requests, file list and name.
class TestLinkDialogue : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void discoveryFindsCalculatorsOnly();
    void deviceInformation_data();
    void deviceInformation();
    void command_data();
    void command();
    void portThatDoesNotOpen_data();
    void portThatDoesNotOpen();
    void fileList_data();
    void fileList();
    void rename_data();
    void rename();
    void copiesShareOnePort();
    void twoLinksReadAtOnce();
};

void TestLinkDialogue::initTestCase()
{
    CTaviCalc::setTimeoutsForTesting(shortTimeouts);
}

void TestLinkDialogue::discoveryFindsCalculatorsOnly()
{
    PluggedSimulator first;
    CalcSimulator other;
    const QString otherPort = VirtualUsbBus::plug(other.devicePath(), calculatorVendorId, 0x5741);
    PluggedSimulator second;
    QVERIFY(!otherPort.isEmpty());

    auto names = [] {
        QStringList found;
        for (const QSerialPortInfo& port : CTaviCalc::findCalcs())
            found << port.portName();
        return found;
    };
    QCOMPARE(names(), QStringList({first.portName(), second.portName()}));
    first.unplug();
    QCOMPARE(names(), QStringList{second.portName()});
    VirtualUsbBus::unplug(otherPort);
}

void TestLinkDialogue::deviceInformation_data()
{
    QTest::addColumn<int>("chunk");
    QTest::addColumn<QList<Fault>>("faults");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("next"); // what a send sends next; none: it is refused
    QTest::addColumn<QStringList>("errors");
    const QString renamed = QStringLiteral("Rechner \u00C4");
    const QStringList send256{"SEND_FILE P.tcb 600", "FRAME 0 256", "FRAME 1 256", "FRAME 2 88"};
    const QStringList regain256 = QStringList{"GET_DEVICE_INF"} + send256;
    const QByteArray noInformation = frameOf(bare(calcMsg::SEND_DEVICE_INF));

    QTest::newRow("chunk 256") << 256 << QList<Fault>{} << true << renamed << send256 << QStringList{};
    QTest::newRow("no chunk size keeps 512") << 0 << QList<Fault>{} << true << renamed
                                             << QStringList{"SEND_FILE P.tcb 600", "FRAME 0 512", "FRAME 1 88"}
                                             << QStringList{};
    QTest::newRow("negative chunk size keeps 512")
        << -7 << QList<Fault>{} << true << renamed << QStringList{"SEND_FILE P.tcb 600", "FRAME 0 512", "FRAME 1 88"}
        << QStringList{};
    // A refusal is an answer: the link is in step.
    QTest::newRow("FAILED answer") << 256 << QList<Fault>{failed(1, calcMsg::MEMORY_ERROR, "busy")} << false
                                   << "TaviCalc" << send256 << QStringList{};
    QTest::newRow("answer without device information")
        << 256 << QList<Fault>{noise(1, noInformation), cut(1, noInformation.size())} << false << "TaviCalc"
        << send256 << QStringList{};
    // An answer that never comes is waited for by every later request, which the link refuses
    // rather than read an answer one late.
    QTest::newRow("silent calculator") << 256 << QList<Fault>{fault(1, FaultMode::Silence)} << false
                                       << "TaviCalc" << QStringList{} << QStringList{connection421, outOfStep};
    QTest::newRow("answer cut off") << 256 << QList<Fault>{cutPayload(1, 1)} << false << "TaviCalc" << regain256
                                    << QStringList{parseMessage};
}

// A repeated exchange changes the members only on a whole answer; the chunk size shows in
// the pieces of a later send.
void TestLinkDialogue::deviceInformation()
{
    QFETCH(int, chunk);
    QFETCH(QList<Fault>, faults);
    QFETCH(bool, result);
    QFETCH(QString, name);
    QFETCH(QStringList, next);
    QFETCH(QStringList, errors);
    SimLink s({}, chunk);
    s.sim().setName(QStringLiteral("Rechner \u00C4"));
    s.addFaults(faults);
    QCOMPARE(s.link().getDeviceInf(), result);
    QCOMPARE(s.link().getName(), name);

    s.sim().clearFaults();
    s.sim().clearReceived();
    QCOMPARE(s.link().sendFile(fileNamed("P.tcb", 600), testBytes(600)), !next.isEmpty());
    QCOMPARE(s.sent(), next);
    QCOMPARE(s.errors(), errors);
}

void TestLinkDialogue::command_data()
{
    QTest::addColumn<QList<Fault>>("faults");
    QTest::addColumn<bool>("result");
    QTest::addColumn<int>("answerType");
    QTest::addColumn<QStringList>("errors");
    QTest::addColumn<QString>("lastErrorText");
    const QString unknown = QStringLiteral("Unknown error.");
    const QString connection423 = QStringLiteral("Connection error (error code: 423).");
    const int success = calcMsg::SUCCESS;

    QTest::newRow("answered") << QList<Fault>{} << true << success << QStringList{} << unknown;
    // A calculator that refuses its device information is in step all the same.
    QTest::newRow("late, then the device information refused")
        << QList<Fault>{late(1), failed(2, calcMsg::MEMORY_ERROR)} << false << 0
        << QStringList{connection421, readDevice} << connection423;
    QTest::newRow("silent") << QList<Fault>{fault(1, FaultMode::Silence)} << false << 0
                            << QStringList{connection421, readDevice} << connection423;
    // What follows a cut frame cannot be told apart from an answer: the line is given up on.
    QTest::newRow("silent mid-frame") << QList<Fault>{fault(1, FaultMode::Cut)} << false << 0
                                      << QStringList{connection421, outOfStep, readDevice} << connection423;
    QTest::newRow("undecodable") << QList<Fault>{fault(1, FaultMode::Undecodable)} << false << 0
                                 << QStringList{"Error parse message"} << unknown;
    QTest::newRow("unexpected type") << QList<Fault>{wrongType(1, calcMsg::SEND_FILES_NUM)} << true
                                     << int(calcMsg::SEND_FILES_NUM) << QStringList{} << unknown;
    QTest::newRow("noise before the preamble") << QList<Fault>{fault(1, FaultMode::Garbage)} << true << success
                                               << QStringList{} << unknown;
    QTest::newRow("preamble split") << QList<Fault>{split(1, {2})} << true << success << QStringList{} << unknown;
    QTest::newRow("length split") << QList<Fault>{split(1, {5})} << true << success << QStringList{} << unknown;
    QTest::newRow("disconnected") << QList<Fault>{fault(1, FaultMode::Disconnect)} << false << 0
                                  << QStringList{connection421, readDevice} << connection423;
}

void TestLinkDialogue::command()
{
    QFETCH(QList<Fault>, faults);
    QFETCH(bool, result);
    QFETCH(int, answerType);
    QFETCH(QStringList, errors);
    QFETCH(QString, lastErrorText);
    SimLink s(threeFiles);
    s.addFaults(faults);
    calcMsg answer;
    QCOMPARE(s.link().sendCommand(calcMsg::CLEAR_FILESYSTEM, answer), result);
    if (result)
        QCOMPARE(int(answer.type()), answerType);
    QCOMPARE(s.sent(), QStringList{"CLEAR_FILESYSTEM"});
    QCOMPARE(s.errors(), errors);
    s.link().onError();
    QCOMPARE(s.errors().constLast(), lastErrorText);

    // Whatever the failure left behind, the next answer is read whole, or, while the answer
    // owed never comes, the next request is refused.
    if (!s.sim().isDisconnected()) {
        const bool refused = !faults.isEmpty()
                             && (faults.first().mode == FaultMode::Silence || faults.first().mode == FaultMode::Cut);
        QCOMPARE(s.link().sendCommand(calcMsg::REBOOT, answer), !refused);
        if (!refused)
            QCOMPARE(answer.type(), calcMsg::SUCCESS);
    }
}

void TestLinkDialogue::portThatDoesNotOpen_data()
{
    QTest::addColumn<bool>("busy");
    QTest::newRow("missing") << false;
    QTest::newRow("busy") << true;
}

void TestLinkDialogue::portThatDoesNotOpen()
{
    QFETCH(bool, busy);
    PluggedSimulator sim;
    sim->setFiles(threeFiles);
    QSerialPort holder(discovered(sim.portName()));
    if (busy)
        QVERIFY(holder.open(QIODevice::ReadWrite));
    const QSerialPortInfo info = busy ? discovered(sim.portName()) : QSerialPortInfo(QStringLiteral("ttyACM77"));

    QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^Port wasn't open: "));
    CTaviCalc link(info);
    QSignalSpy errors(&link, &CTaviCalc::errorNotify);
    QCOMPARE(link.getName(), QString());
    // Whatever cannot start says so, or its job would end as a success.
    QCOMPARE(link.getFilesInfo(), QList<FileEntry>{});
    QVERIFY(!link.setDeviceName("x"));
    QCOMPARE(texts(errors), QStringList({"Error write device", "Error write device"}));
    errors.clear();
    QVERIFY(!link.sendFile(fileNamed("A.tcb", 1), "a"));
    QCOMPARE(link.getData(fileNamed("A.tcb", 5)), std::optional<QByteArray>());
    QVERIFY(!link.delFile(fileNamed("A.tcb", 5)));
    QCOMPARE(texts(errors), QStringList({"Error write device", "Error write device", "Error write device"}));
    errors.clear();
    QCOMPARE(link.createBackup(), std::optional<QString>());
    QByteArray buffer;
    QVERIFY(!link.RX(buffer));
    QCOMPARE(texts(errors), QStringList({"Error write device", "Connection error (error code: 422)"}));
    QCOMPARE(sim->receivedTypes(), QList<int>{});
}

void TestLinkDialogue::fileList_data()
{
    QTest::addColumn<FileList>("files");
    QTest::addColumn<QList<Fault>>("faults");
    QTest::addColumn<QList<FileEntry>>("entries");
    QTest::addColumn<QStringList>("sent");
    QTest::addColumn<QStringList>("errors");
    const QStringList listed{"GET_FILES_NUM", "GET_FILES_INF", "SUCCESS", "SUCCESS"};

    QTest::newRow("no files") << FileList{} << QList<Fault>{} << QList<FileEntry>{}
                              << QStringList{"GET_FILES_NUM"} << QStringList{};
    QTest::newRow("one file") << FileList{{"A.tcb", "alpha"}} << QList<Fault>{}
                              << QList<FileEntry>{{"A.tcb", 5}} << QStringList(listed.mid(0, 2)) << QStringList{};
    QTest::newRow("three files") << threeFiles << QList<Fault>{} << threeEntries << listed << QStringList{};
    QTest::newRow("silence ends the list") << threeFiles << QList<Fault>{fault(3, FaultMode::Silence)}
                                           << QList<FileEntry>{threeEntries.at(0)} << QStringList(listed.mid(0, 3))
                                           << QStringList{connection421};
    // A list that ends short of its count is not the calculator's list: it ends at the
    // answer it cannot use, with a text.
    QTest::newRow("FAILED in place of a record")
        << threeFiles << QList<Fault>{continuing(failed(3, calcMsg::MEMORY_ERROR), 50)}
        << QList<FileEntry>{threeEntries.at(0)} << QStringList(listed.mid(0, 3)) << QStringList{"Memory error."};
    QTest::newRow("wrong answer in place of a record")
        << threeFiles << QList<Fault>{continuing(wrongType(2, calcMsg::SEND_FILES_NUM), 50)} << QList<FileEntry>{}
        << QStringList(listed.mid(0, 2)) << QStringList{"Unknown error."};
    QTest::newRow("wrong answer to the count") << threeFiles << QList<Fault>{wrongType(1, calcMsg::SEND_FILE_INF)}
                                               << QList<FileEntry>{} << QStringList{"GET_FILES_NUM"}
                                               << QStringList{"Unknown error."};
    QTest::newRow("FAILED answer to the count") << threeFiles << QList<Fault>{failed(1, calcMsg::WRITE_ERROR, "busy")}
                                                << QList<FileEntry>{} << QStringList{"GET_FILES_NUM"}
                                                << QStringList{"busy"};
    // An answer that does not decode is not taken for what it would have said.
    QTest::newRow("count cut off after its type") << threeFiles << QList<Fault>{cutPayload(1, 2, "\x28\x80")}
                                                  << QList<FileEntry>{} << QStringList{"GET_FILES_NUM"}
                                                  << QStringList{parseMessage};
    QTest::newRow("record cut off in its name") << threeFiles << QList<Fault>{cutPayload(3, 4)}
                                                << QList<FileEntry>{threeEntries.at(0)} << QStringList(listed.mid(0, 3))
                                                << QStringList{parseMessage};
    // The size follows the name: it is read all the same, so the file is fetched, not taken as empty.
    QTest::newRow("name not UTF-8") << threeFiles << QList<Fault>{fault(3, FaultMode::BadUtf8)}
                                    << QList<FileEntry>{threeEntries.at(0), {QString::fromUtf8("bad\xC3\x28"),
                                                                             threeEntries.at(1).second},
                                                        threeEntries.at(2)}
                                    << listed << QStringList{};
    QTest::newRow("UTF-8 name") << FileList{{"\xC3\x84RGER.tcb", "x"}} << QList<Fault>{}
                                << QList<FileEntry>{{"\u00C4RGER.tcb", 1}} << QStringList(listed.mid(0, 2)) << QStringList{};
    QTest::newRow("CALC inside a name") << FileList{{"CALC.tcb", "CALC"}, {"B", "b"}} << QList<Fault>{}
                                        << QList<FileEntry>{{"CALC.tcb", 4}, {"B", 1}} << QStringList(listed.mid(0, 3))
                                        << QStringList{};
    QTest::newRow("noise before a record") << threeFiles << QList<Fault>{fault(3, FaultMode::Garbage)}
                                           << threeEntries << listed << QStringList{};
    QTest::newRow("preamble split") << threeFiles << QList<Fault>{split(2, {2})} << threeEntries << listed
                                    << QStringList{};
    QTest::newRow("length split") << threeFiles << QList<Fault>{split(2, {5})} << threeEntries << listed
                                  << QStringList{};
    QTest::newRow("two records in one read") << threeFiles << QList<Fault>{fault(2, FaultMode::Merge)}
                                             << threeEntries << listed << QStringList{};
    QTest::newRow("empty frame ahead of the record")
        << FileList{{"A.tcb", "alpha"}} << QList<Fault>{noise(2, frameOf(calcMsg()))} << QList<FileEntry>{}
        << QStringList(listed.mid(0, 2)) << QStringList{"Unknown error."};
}

void TestLinkDialogue::fileList()
{
    QFETCH(FileList, files);
    QFETCH(QList<Fault>, faults);
    QFETCH(QList<FileEntry>, entries);
    QFETCH(QStringList, sent);
    QFETCH(QStringList, errors);
    SimLink s(files);
    s.addFaults(faults);
    QCOMPARE(s.link().getFilesInfo(), entries);
    QCOMPARE(s.sent(), sent);
    QCOMPARE(s.errors(), errors);
}

void TestLinkDialogue::rename_data()
{
    QTest::addColumn<QString>("newName");
    QTest::addColumn<QList<Fault>>("faults");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("errors");
    QTest::newRow("accepted") << QStringLiteral("Neu \u00C4") << QList<Fault>{} << true << "Neu \u00C4"
                              << QStringList{};
    QTest::newRow("refused") << "Neu" << QList<Fault>{failed(1, calcMsg::WRITE_ERROR, "no")} << false << "TaviCalc"
                             << QStringList{"no"};
    QTest::newRow("refused, kind only") << "Neu" << QList<Fault>{failed(1, calcMsg::MEMORY_ERROR)} << false
                                        << "TaviCalc" << QStringList{"Memory error."};
    QTest::newRow("empty name") << "" << QList<Fault>{} << true << "" << QStringList{};
}

void TestLinkDialogue::rename()
{
    QFETCH(QString, newName);
    QFETCH(QList<Fault>, faults);
    QFETCH(bool, result);
    QFETCH(QString, name);
    QFETCH(QStringList, errors);
    SimLink s;
    s.addFaults(faults);
    QCOMPARE(s.link().setDeviceName(newName), result);
    QCOMPARE(s.link().getName(), name);
    QCOMPARE(s.sent(), QStringList{"CHANGE_NAME \"" + newName + '"'});
    QCOMPARE(s.errors(), errors);
}

void TestLinkDialogue::copiesShareOnePort()
{
    PluggedSimulator sim;
    sim->setFiles(threeFiles);
    const QSerialPortInfo info = discovered(sim.portName());
    auto link = std::make_unique<CTaviCalc>(info);
    {
        CTaviCalc copy(*link);
        QCOMPARE(copy.getName(), QStringLiteral("TaviCalc"));
        QCOMPARE(copy.portName(), sim.portName());
        QCOMPARE(copy.getNumberOfFiles(), 3);
    }
    QCOMPARE(link->getNumberOfFiles(), 3);
    CTaviCalc assigned;
    assigned = *link;
    link.reset();
    QCOMPARE(assigned.getFilesInfo(), threeEntries);
    // While a share remains the port stays taken; with the last one it is free again.
    QSerialPort other(info);
    QVERIFY(!other.open(QIODevice::ReadWrite));
    assigned = CTaviCalc();
    QVERIFY(other.open(QIODevice::ReadWrite));
}

// Each link keeps its own reader: two links reading at once on two threads each get their
// own calculator's answers whole.
void TestLinkDialogue::twoLinksReadAtOnce()
{
    constexpr int rounds = 20;
    PluggedSimulator sims[2];
    FileList files[2];
    for (int i = 0; i < 2; ++i) {
        for (int f = 0; f < 4; ++f)
            files[i].append({QByteArray("F") + QByteArray::number(i) + QByteArray::number(f),
                             testBytes(700 + 300 * f, quint32(i * 10 + f + 1))});
        sims[i]->setFiles(files[i]);
    }
    // Atomic, so that ThreadSanitizer sees the hand-over too: QThread::wait does not show it.
    std::atomic<int> faults[2] = {0, 0};
    auto reading = [&](int i, const QSerialPortInfo& info) {
        return QThread::create([&faults, &files, i, info] {
            CTaviCalc link(info);
            for (int round = 0; round < rounds; ++round) {
                const QList<FileEntry> listed = link.getFilesInfo();
                faults[i] += listed.size() != files[i].size();
                for (const auto& file : files[i])
                    faults[i] += link.getData(fileNamed(file.first, file.second.size())) != file.second;
            }
        });
    };
    std::unique_ptr<QThread> threads[2] = {std::unique_ptr<QThread>(reading(0, discovered(sims[0].portName()))),
                                           std::unique_ptr<QThread>(reading(1, discovered(sims[1].portName())))};
    for (auto& thread : threads)
        thread->start();
    for (auto& thread : threads)
        QVERIFY(thread->wait(60000));
    QCOMPARE(faults[0], 0);
    QCOMPARE(faults[1], 0);
}

CALCSIM_TEST_GUILESS_MAIN(TestLinkDialogue)
#include "tst_linkdialogue.moc"
