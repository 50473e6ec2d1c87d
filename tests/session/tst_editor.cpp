#include "CalculatorFixture.h"

#include "SimTestMain.h"

#include <QtTest>

namespace {

const QByteArray program("10 PRINT\x00 hidden", 16);
const calcsim::FileList calculatorFiles{{"A.TXT", "abc"},   {"P.tcb", program},   {"Q.TCB", program},
                                        {"R.Tcb", program}, {"PROGRAM", program}, {"E.tcb", ""}};

} // namespace

class TestEditor : public CalculatorTest
{
    Q_OBJECT

public:
    TestEditor()
        : CalculatorTest(calculatorFiles)
    {
    }

private slots:
    void editorFetch_data();
    void editorFetch();
    void editorSend_data();
    void editorSend();
    void editorSendWithoutCalculator();
};

void TestEditor::editorFetch_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("failing");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QStringList>("opened"); // name and text; empty: nothing opened
    const QString typeError = "File type error. Please select TaviBasic program file";
    QTest::newRow("cut at null byte") << 1 << false << "" << QStringList{"P.tcb", "10 PRINT"};
    QTest::newRow("upper-case extension") << 2 << false << "" << QStringList{"Q.TCB", "10 PRINT"};
    QTest::newRow("mixed-case extension") << 3 << false << typeError << QStringList();
    QTest::newRow("no dot") << 4 << false << typeError << QStringList();
    QTest::newRow("row -1") << -1 << false << "File information error" << QStringList();
    QTest::newRow("past the end") << 6 << false << "File information error" << QStringList();
    // A failed fetch opens no editor, which would look like an empty program, and says why.
    QTest::newRow("fetch fails") << 1 << true << "Error: Connection error (error code: 421)" << QStringList();
    QTest::newRow("empty program") << 5 << false << "" << QStringList{"E.tcb", ""};
}

// The fetch runs before the call returns; refused rows cost no serial traffic.
void TestEditor::editorFetch()
{
    QFETCH(int, row);
    QFETCH(bool, failing);
    QFETCH(QString, status);
    QFETCH(QStringList, opened);
    QCOMPARE(f.rig->fileModel.rowCount(), 6);
    if (failing)
        silence(f.sim->simulator(), 2, 2);
    QSignalSpy open(f.rig->session.get(), &CTaviCalcSession::openEditFromCalc);
    f.rig->session->downloadForEdit(row);
    QCOMPARE(open.count(), opened.isEmpty() ? 0 : 1);
    if (!opened.isEmpty())
        QCOMPARE((QStringList{open.at(0).at(0).toString(), open.at(0).at(1).toString()}), opened);
    // A failure's text also opens the error dialog.
    QStringList shown;
    if (failing)
        shown << "error:" + status.mid(QString("Error: ").size());
    if (!status.isEmpty())
        shown << "status:" + status;
    QCOMPARE(f.log->lines, shown);
    QCOMPARE(f.sim->simulator().receivedTypes().isEmpty(), opened.isEmpty() && !failing);
}

void TestEditor::editorSend_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("failing");
    QTest::addColumn<QByteArray>("stored");
    QTest::newRow("program") << "1 END" << false << QByteArray("1 END\n");
    QTest::newRow("empty text") << "" << false << QByteArray("\n");
    QTest::newRow("send fails") << "1 END" << true << QByteArray();
}

// The status line shows the outcome and the file table the calculator's fresh list.
void TestEditor::editorSend()
{
    QFETCH(QString, text);
    QFETCH(bool, failing);
    QFETCH(QByteArray, stored);
    if (failing)
        answerLate(f.sim->simulator(), 2);
    QCOMPARE(f.rig->session->sendFileFromEdit("S.tcb", text), !failing);
    QCOMPARE(contentOn(f.sim->simulator(), "S.tcb"), stored);
    QCOMPARE(f.rig->files().size(), f.sim->simulator().files().size());
    if (failing) {
        QVERIFY(!f.rig->error().isEmpty());
        QCOMPARE(f.rig->status(), "Error: " + f.rig->error());
        return;
    }
    QCOMPARE(f.rig->error(), QString());
    QCOMPARE(f.rig->status(), QString("File 'S.tcb' successfully sent"));
    QCOMPARE(f.rig->files().last(), FileEntry("S.tcb", stored.size()));
}

void TestEditor::editorSendWithoutCalculator()
{
    f.sim->unplug();
    QVERIFY(f.rig->waitForCalcs(0));
    QVERIFY(!f.rig->session->sendFileFromEdit("S.tcb", "1 END"));
    QCOMPARE(f.rig->status(), QString("Calculator for sending the file is not selected"));
    QCOMPARE(f.sim->simulator().receivedTypes(), QList<int>());
}

CALCSIM_TEST_MAIN(TestEditor)
#include "tst_editor.moc"
