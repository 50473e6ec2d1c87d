#include "link/CTaviCalc.h"
#include "link/CalcPortFilter.h"

#include <QSignalSpy>
#include <QtTest>

using TaviCalc::calcMsg;

Q_DECLARE_METATYPE(PortDescription)

// The link's rules that need no calculator: short names, error texts and port discovery.
class TestLinkRules : public QObject
{
    Q_OBJECT

private slots:
    void shortName_data();
    void shortName();
    void calculatorErrorText_data();
    void calculatorErrorText();
    void linkWithoutPortReports();
    void discovery_data();
    void discovery();
};

void TestLinkRules::shortName_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");
    const QString fffd(QChar(0xFFFD));

    QTest::newRow("plain") << "prog.tcb" << "PROG.tcb";
    QTest::newRow("blanks removed") << "My Program.tcb" << "MYPROGRAM.tcb";
    QTest::newRow("inner dots removed") << "my prog.r2.tcb" << "MYPROGR2.tcb";
    QTest::newRow("parentheses kept") << "Game (1).TCB" << "GAME(1).TCB";
    QTest::newRow("colon and question mark") << "report:b?.tcb" << "REPORT_B_.tcb";
    QTest::newRow("equals and plus") << "sum=a+b.tcb" << "SUM_A_B.tcb";
    QTest::newRow("long base") << "averyveryverylongname.txt" << "AVERYVERYVERYL.txt";
    QTest::newRow("long name without dot") << "thisisaverylongname" << "THISISAVERYLON";
    QTest::newRow("long extension") << "data.json" << "DATA.jso";
    QTest::newRow("extension keeps case") << "readme.Txt" << "README.Txt";
    QTest::newRow("many dots") << "abc.d.e.f.ghij" << "ABCDEF.ghi";
    QTest::newRow("leading dot") << ".hidden" << "HIDDEN";
    QTest::newRow("leading dots") << "..a.b.c" << "AB.c";
    QTest::newRow("trailing dot") << "a." << "A.";
    QTest::newRow("trailing dot after dots") << "x.abc." << "XABC.";
    QTest::newRow("Latin-1 letter") << "café.tcb" << "CAF" + fffd + ".tcb";
    QTest::newRow("Greek letter") << "Δelta.tcb" << "_ELTA.tcb";
    QTest::newRow("only dots") << "..." << "";
    QTest::newRow("only blanks") << "   " << "";
    QTest::newRow("empty") << "" << "";
    QTest::newRow("only removed characters") << "\t\x7f\n" << "";
    QTest::newRow("tab and line feed") << "a\tb\nc.tcb" << "ABC.tcb";
    QTest::newRow("no-break space") << "a\u00A0b.tcb" << "A" + fffd + "B.tcb";
    QTest::newRow("emoji") << "a\U0001F600.tcb" << "A__.tcb";
    QTest::newRow("UTF-8 bytes as Latin-1") << "caf\u00C3\u00A9.tcb" << "CAF\u00C9.tcb";
    QTest::newRow("full upper-casing") << "stra\u00C3\u009Fe.tcb" << "STRASSE.tcb";
    // Cut after upper-casing, so the base still fits.
    QTest::newRow("full upper-casing at the cut") << "abcdefghijklm\u00C3\u009F.tcb" << "ABCDEFGHIJKLMS.tcb";
    QTest::newRow("full upper-casing at the cut, no dot") << "abcdefghijklm\u00C3\u009F" << "ABCDEFGHIJKLMS";
    QTest::newRow("decoded control character") << "a\u00C4\u0080b" << "AB";
    QTest::newRow("null ends the name") << QString::fromLatin1("ab\0cd.tcb", 9) << "AB";
    QTest::newRow("delete removed") << "a\x7F" "b.tcb" << "AB.tcb";
    QTest::newRow("replaced characters, first half") << "a+\"\\*,/:;b.x" << "A________B.x";
    QTest::newRow("replaced characters, second half") << "a=<>?[]|b.x" << "A_______B.x";
    QTest::newRow("punctuation kept") << "(')&#%_-.x" << "(')&#%_-.x";
    QTest::newRow("other space kept") << "a\u2003b" << "A_B";
    QTest::newRow("second pass of replacement") << "CAF" + fffd + ".tcb" << "CAF_.tcb";
    QTest::newRow("second pass of decoded letter") << "CAF\u00C9.tcb" << "CAF" + fffd + ".tcb";
    QTest::newRow("ASCII result is stable") << "REPORT_B_.tcb" << "REPORT_B_.tcb";
}

void TestLinkRules::shortName()
{
    QFETCH(QString, input);
    QFETCH(QString, expected);
    QCOMPARE(CTaviCalc::convertToSfn(input), expected);
    // The stored name no conversion changes further, whether a file is sent under its own
    // name or under its short name; for ASCII it is the short name.
    const QString stored = CTaviCalc::storedFileName(input);
    QCOMPARE(CTaviCalc::convertToSfn(stored), stored);
    QCOMPARE(CTaviCalc::storedFileName(expected), stored);
    if (expected.toLatin1() == expected.toUtf8())
        QCOMPARE(stored, expected);
}

void TestLinkRules::calculatorErrorText_data()
{
    QTest::addColumn<QByteArray>("errorStr");
    QTest::addColumn<int>("errorNum");
    QTest::addColumn<QString>("expected");
    QTest::newRow("text and number") << QByteArray("abc") << 3 << "abc (error code: 3)";
    QTest::newRow("text only") << QByteArray("abc") << 0 << "abc";
    QTest::newRow("number only") << QByteArray() << 7 << " (error code: 7)";
    QTest::newRow("negative number") << QByteArray("abc") << -5 << "abc (error code: -5)";
    QTest::newRow("neither") << QByteArray() << 0 << "";
    QTest::newRow("UTF-8 text") << QByteArray("voll \xC3\xA4") << 0 << "voll \u00E4";
}

void TestLinkRules::calculatorErrorText()
{
    QFETCH(QByteArray, errorStr);
    QFETCH(int, errorNum);
    QFETCH(QString, expected);
    calcMsg msg;
    msg.set_type(calcMsg::FAILED);
    msg.set_error(calcMsg::WRITE_ERROR);
    msg.set_errorstr(errorStr.toStdString());
    msg.set_errornum(errorNum);
    QCOMPARE(CTaviCalc::msgErrorToStr(msg), expected);
}

// A link made by the default constructor has no port: every read reports the closed port,
// and an empty text stands for the kind of the last error.
void TestLinkRules::linkWithoutPortReports()
{
    CTaviCalc link;
    QSignalSpy spy(&link, &CTaviCalc::errorNotify);
    link.onError();
    link.onError(QStringLiteral("own text"));
    QByteArray buffer("x");
    QVERIFY(!link.TX(buffer));
    QCOMPARE(buffer, QByteArray("x"));
    QVERIFY(!link.RX(buffer));
    link.onError();
    const QStringList texts{"Unknown error.", "own text", "Connection error (error code: 422)",
                            "Connection error (error code: 423)."};
    QCOMPARE(spy.size(), texts.size());
    for (int i = 0; i < texts.size(); ++i)
        QCOMPARE(spy.at(i).at(0).toString(), texts.at(i));
}

void TestLinkRules::discovery_data()
{
    QTest::addColumn<QList<PortDescription>>("ports");
    QTest::addColumn<QList<int>>("anyName");
    QTest::addColumn<QList<int>>("noCallIn");
    const quint16 vendor = 0x0483;
    const quint16 product = 0x5740;

    QTest::newRow("no ports") << QList<PortDescription>{} << QList<int>{} << QList<int>{};
    QTest::newRow("call-in and call-out pair")
        << QList<PortDescription>{{"tty.usbmodem1", vendor, product}, {"cu.usbmodem1", vendor, product}}
        << QList<int>{0, 1} << QList<int>{1};
    QTest::newRow("Linux node") << QList<PortDescription>{{"ttyACM0", vendor, product}} << QList<int>{0}
                                << QList<int>{};
    QTest::newRow("upper-case TTY is no call-in node")
        << QList<PortDescription>{{"TTY.usbmodem1", vendor, product}} << QList<int>{0} << QList<int>{0};
    QTest::newRow("another product")
        << QList<PortDescription>{{"ttyACM0", vendor, 0x5741}, {"cu.usbmodem2", vendor, 0x5741}}
        << QList<int>{} << QList<int>{};
    QTest::newRow("another vendor") << QList<PortDescription>{{"cu.usbmodem3", 0x0484, product}}
                                    << QList<int>{} << QList<int>{};
    QTest::newRow("no identifiers") << QList<PortDescription>{{"ttyS0", 0, 0}, {"cu.Bluetooth", 0, 0}}
                                    << QList<int>{} << QList<int>{};
    QTest::newRow("order kept among others")
        << QList<PortDescription>{{"ttyACM1", vendor, product}, {"ttyS0", 0, 0}, {"ttyACM0", vendor, product},
                                  {"cu.a", vendor, product}}
        << QList<int>{0, 2, 3} << QList<int>{3};
}

void TestLinkRules::discovery()
{
    QFETCH(QList<PortDescription>, ports);
    QFETCH(QList<int>, anyName);
    QFETCH(QList<int>, noCallIn);
    QCOMPARE(calcPortPositions(ports, PortNameRule::AnyName), anyName);
    QCOMPARE(calcPortPositions(ports, PortNameRule::NoCallInNodes), noCallIn);
}

QTEST_GUILESS_MAIN(TestLinkRules)
#include "tst_linkrules.moc"
