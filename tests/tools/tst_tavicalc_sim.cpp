#include "Dialogue.h"
#include "TestFiles.h"

#include <QProcess>
#include <QSerialPortInfo>
#include <QTemporaryDir>
#include <QtTest>

using TaviCalc::calcMsg;

namespace {

const QString simulator = QStringLiteral(TAVICALC_SIM);
const QString probe = QStringLiteral(CALCSIM_PROBE);
constexpr int runMs = 20000;

// A folder holding two calculator files.
QString filesFolder(const QTemporaryDir& folder)
{
    for (const char* name : {"HELLO.tcb", "X.tcb"})
        writeFile(folder.filePath(QString::fromLatin1(name)), name);
    return folder.path();
}

} // namespace

class TestTaviCalcSim : public QObject
{
    Q_OBJECT

private slots:
    void plugMode_data();
    void plugMode();
    void servesOnePseudoTerminalByDefault();
};

void TestTaviCalcSim::plugMode_data()
{
    QTest::addColumn<QStringList>("arguments"); // FILES stands for a folder of two files
    QTest::addColumn<QStringList>("output");
    QTest::addColumn<int>("exitCode");

    QTest::newRow("the last name and folder serve the rest")
        << QStringList {"--plug", "3", "--files", "FILES", "--name", "Alpha", "--name", "Beta", "--", probe}
        << QStringList {"ttyACM0 Alpha 2", "ttyACM1 Beta 2", "ttyACM2 Beta 2"} << 0;
    QTest::newRow("an empty calculator")
        << QStringList {"--plug", "1", "--", probe} << QStringList {"ttyACM0 TaviCalc 0"} << 0;
    QTest::newRow("the command's exit code")
        << QStringList {"--plug", "1", "--", "/bin/sh", "-c", "exit 7"} << QStringList() << 7;
    QTest::newRow("no calculator") << QStringList {"--plug", "0", "--", probe} << QStringList() << 2;
    QTest::newRow("no command") << QStringList {"--plug", "1"} << QStringList() << 2;
}

void TestTaviCalcSim::plugMode()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, output);
    QFETCH(int, exitCode);

    QTemporaryDir folder;
    arguments.replaceInStrings(QRegularExpression("^FILES$"), filesFolder(folder));
    QProcess run;
    run.start(simulator, arguments);
    QVERIFY(run.waitForFinished(runMs));
    QCOMPARE(QString::fromLocal8Bit(run.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts), output);
    QCOMPARE(run.exitCode(), exitCode);
    // Nothing of the virtual bus leaks out of the run.
    QVERIFY(!QFile::exists(QStringLiteral("/dev/ttyACM0")));
}

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
