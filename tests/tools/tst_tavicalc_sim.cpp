#include "Dialogue.h"

#include <QProcess>
#include <QSerialPortInfo>
#include <QTemporaryDir>
#include <QtTest>

using TaviCalc::calcMsg;

namespace {

const QString simulator = QStringLiteral(TAVICALC_SIM);
constexpr int runMs = 20000;

// A folder holding two calculator files.
QString filesFolder(const QTemporaryDir& folder)
{
    for (const char* name : {"HELLO.tcb", "X.tcb"}) {
        QFile file(folder.filePath(QString::fromLatin1(name)));
        file.open(QIODevice::WriteOnly);
        file.write(name);
    }
    return folder.path();
}

} // namespace

class TestTaviCalcSim : public QObject {
    Q_OBJECT

private slots:
    void servesOnePseudoTerminalByDefault();
};

void TestTaviCalcSim::servesOnePseudoTerminalByDefault()
{
    QTemporaryDir folder;
    QProcess run;
    run.start(simulator, {"--name", "Solo", "--files", filesFolder(folder)});
    QVERIFY(run.waitForReadyRead(runMs));
    const QString devicePath = QString::fromLocal8Bit(run.readLine()).trimmed();
    QVERIFY(devicePath.startsWith(QStringLiteral("/dev/pts/")));

    ComputerPort computer(devicePath);
    QVERIFY(computer.isOpen());
    QCOMPARE(answersTo(computer, {request(calcMsg::GET_DEVICE_INF), request(calcMsg::GET_FILES_INF)}),
        QStringList({"SEND_DEVICE_INF Solo H1.2 F3.4 P5.6 512", "SEND_FILE_INF HELLO.tcb 9"}));
    run.kill();
    run.waitForFinished(runMs);
}

QTEST_GUILESS_MAIN(TestTaviCalcSim)
#include "tst_tavicalc_sim.moc"
