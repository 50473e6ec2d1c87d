#include "SessionRig.h"

#include "PluggedSimulator.h"
#include "SimTestMain.h"

#include <QtTest>
#include <QWindow>

#include <memory>
#include <vector>

using calcsim::PluggedSimulator;
using FileList = QList<FileEntry>;
using Calculators = std::vector<std::unique_ptr<PluggedSimulator>>;

namespace {

// One calculator per name, each holding one file named after it.
Calculators plug(const QStringList& names)
{
    Calculators calculators;
    for (const QString& name : names) {
        calculators.push_back(std::make_unique<PluggedSimulator>());
        calculators.back()->simulator().setName(name);
        calculators.back()->simulator().addFile(name.toUtf8() + ".TXT", name.toUtf8());
    }
    return calculators;
}

} // namespace

class TestPolling : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void followsPorts_data();
    void followsPorts();
    void arrivalsAreAnnounced();
    void silentCalculatorIsListed();
};

void TestPolling::initTestCase()
{
    calcsim::shortenLinkWaits();
}

void TestPolling::followsPorts_data()
{
    QTest::addColumn<QStringList>("plugged");
    QTest::addColumn<int>("clicked"); // -1: no click
    QTest::addColumn<QList<int>>("unplugged");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<int>("index");
    QTest::newRow("two in one tick") << QStringList{"A", "B"} << -1 << QList<int>() << QStringList{"A", "B"} << 0;
    QTest::newRow("current row 0 of two goes") << QStringList{"A", "B"} << -1 << QList<int>{0} << QStringList{"B"}
                                               << 0;
    QTest::newRow("only one goes") << QStringList{"A"} << -1 << QList<int>{0} << QStringList() << 0;
    QTest::newRow("current last row goes") << QStringList{"A", "B", "C"} << 2 << QList<int>{2}
                                           << QStringList{"A", "B"} << 1;
    QTest::newRow("row before current goes") << QStringList{"A", "B", "C"} << 2 << QList<int>{0}
                                             << QStringList{"B", "C"} << 1;
    QTest::newRow("two go at once") << QStringList{"A", "B", "C"} << 1 << QList<int>{0, 2} << QStringList{"B"}
                                    << 0;
}

void TestPolling::followsPorts()
{
    QFETCH(QStringList, plugged);
    QFETCH(int, clicked);
    QFETCH(QList<int>, unplugged);
    QFETCH(QStringList, names);
    QFETCH(int, index);
    SessionRig rig;
    Calculators calculators = plug(plugged);
    QVERIFY(rig.waitForCalcs(plugged.size()));
    QCOMPARE(calcNames(rig.calcModel), plugged);
    if (clicked >= 0)
        rig.calcModel.setProperty("currentIndex", clicked);
    for (int row : unplugged)
        calculators.at(row)->unplug();
    QVERIFY(rig.waitForCalcs(names.size()));
    QCOMPARE(calcNames(rig.calcModel), names);
    QCOMPARE(rig.calcModel.getCurrentIndex(), index);
    QCOMPARE(rig.session->property("currentIndex").toInt(), index);
    const FileList files = names.isEmpty() ? FileList() : FileList{{names.at(index) + ".TXT", 1}};
    QCOMPARE(rig.files(), files);
}

// Each arrival clears the status line, reloads the current file list, clears the window's
// file selection and raises the window.
void TestPolling::arrivalsAreAnnounced()
{
    QWindow first;
    QWindow second;
    first.show();
    second.show();
    SessionRig rig;
    EventLog log(rig);
    Calculators calculators;
    for (const QString& name : QStringList{"A", "B"}) {
        second.requestActivate();
        QTRY_COMPARE(QGuiApplication::focusWindow(), &second);
        rig.session->onStatusChange("done");
        calculators.push_back(std::move(plug({name}).front()));
        QVERIFY(rig.waitForCalcs(int(calculators.size())));
        QTRY_COMPARE(QGuiApplication::focusWindow(), &first);
    }
    const QStringList expected{"status:done", "status:", "files:1", "index:-1,0", "connect",
                               "status:done", "status:", "files:1", "index:0,0",  "connect"};
    QCOMPARE(log.lines, expected);
    QCOMPARE(rig.files(), (FileList{{"A.TXT", 1}}));
}

void TestPolling::silentCalculatorIsListed()
{
    SessionRig rig;
    EventLog log(rig);
    PluggedSimulator quiet;
    quiet->setName("QUIET");
    quiet->addFile("F.TXT", "f");
    silence(quiet.simulator(), 1, 4);
    QVERIFY(rig.waitForCalcs(1));
    QCOMPARE(calcNames(rig.calcModel), QStringList{""});
    QCOMPARE(rig.files(), FileList());
    // Its list is unknown, not empty, and the user is told so; with no name, its port names it.
    QCOMPARE(rig.status(), unknownListNotice(quiet.portName()));
    QCOMPARE(rig.error(), QString());
    QCOMPARE(log.lines.filter("error:"), QStringList());
}

CALCSIM_TEST_MAIN(TestPolling)
#include "tst_polling.moc"
