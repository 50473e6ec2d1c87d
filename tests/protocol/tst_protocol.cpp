#include "protocol/Frame.h"
#include "protocol/FrameReader.h"
#include "protocol/serializeData.pb.h"

#include <QtTest>

using TaviCalc::calcMsg;

namespace {

QByteArray encode(const google::protobuf::MessageLite& msg)
{
    QByteArray bytes(int(msg.ByteSizeLong()), '\0');
    msg.SerializeToArray(bytes.data(), bytes.size());
    return bytes;
}

QByteArray framed(QByteArray payload)
{
    addSize(payload);
    addPreamble(payload);
    return payload;
}

// Feeds the stream to one reader cut at the given offsets and collects every frame.
QList<QByteArray> readAll(const QByteArray& stream, const QList<int>& cuts)
{
    FrameReader reader;
    QList<QByteArray> frames;
    int from = 0;
    QList<int> ends = cuts;
    ends.append(stream.size());
    for (int end : ends) {
        reader.feed(stream.mid(from, end - from));
        from = end;
        QByteArray payload;
        while (reader.takeFrame(payload))
            frames.append(payload);
    }
    return frames;
}

} // namespace

class TestProtocol : public QObject
{
    Q_OBJECT

private slots:
    void frameLayout_data();
    void frameLayout();
    void preambleWindowKeepsLastFourBytes();
    void readerCutsFrames_data();
    void readerCutsFrames();
    void readerDropsCutFrame();
    void schemaWireFacts();
    void decodingRejectsBadUtf8_data();
    void decodingRejectsBadUtf8();
    void emptyAndUnknownDecode();
};

void TestProtocol::frameLayout_data()
{
    QTest::addColumn<int>("payloadSize");
    QTest::addColumn<QByteArray>("header");
    QTest::newRow("empty") << 0 << QByteArray("CALC\x00\x00", 6);
    QTest::newRow("300 bytes") << 300 << QByteArray("CALC\x2C\x01", 6);
    QTest::newRow("largest") << 65535 << QByteArray("CALC\xFF\xFF", 6);
}

void TestProtocol::frameLayout()
{
    QFETCH(int, payloadSize);
    QFETCH(QByteArray, header);
    const QByteArray payload(payloadSize, 'p');
    const QByteArray frame = framed(payload);
    QCOMPARE(frame.left(Frame::headerSize), header);
    QCOMPARE(frame.mid(Frame::headerSize), payload);
}

void TestProtocol::preambleWindowKeepsLastFourBytes()
{
    PreambleWindow window = newPreambleWindow();
    QCOMPARE(QByteArray(window.data(), int(window.size())), QByteArray(4, '\0'));
    QString seen;
    for (char c : QByteArray("xCACALCALC"))
        seen += isPreamble(window, c) ? '1' : '0';
    // "CALC" completes at the seventh byte and again, overlapping, at the tenth.
    QCOMPARE(seen, QString("0000001001"));
}

void TestProtocol::readerCutsFrames_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QList<int>>("cuts");
    QTest::addColumn<QList<QByteArray>>("frames");

    const QByteArray a = framed("first");
    const QByteArray b = framed(QByteArray("has CALC inside"));
    const QByteArray empty = framed(QByteArray());
    QTest::newRow("one frame, one read") << a << QList<int>{} << QList<QByteArray>{"first"};
    QTest::newRow("noise before the preamble") << QByteArray("CAL\x01zz") + a << QList<int>{}
                                               << QList<QByteArray>{"first"};
    QTest::newRow("preamble split between reads") << a << QList<int>{2} << QList<QByteArray>{"first"};
    QTest::newRow("length split between reads") << a << QList<int>{5} << QList<QByteArray>{"first"};
    QTest::newRow("payload byte by byte") << a << QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}
                                          << QList<QByteArray>{"first"};
    QTest::newRow("two frames in one read") << a + b << QList<int>{}
                                            << QList<QByteArray>{"first", "has CALC inside"};
    QTest::newRow("next frame split after the first") << a + b << QList<int>{a.size() + 3}
                                                      << QList<QByteArray>{"first", "has CALC inside"};
    QTest::newRow("empty payload") << empty + a << QList<int>{} << QList<QByteArray>{"", "first"};
    QTest::newRow("incomplete frame") << a.left(a.size() - 1) << QList<int>{} << QList<QByteArray>{};
}

void TestProtocol::readerCutsFrames()
{
    QFETCH(QByteArray, stream);
    QFETCH(QList<int>, cuts);
    QFETCH(QList<QByteArray>, frames);
    QCOMPARE(readAll(stream, cuts), frames);
}

void TestProtocol::readerDropsCutFrame()
{
    FrameReader reader;
    reader.feed(framed("abcdef").left(8));
    QByteArray payload;
    QVERIFY(!reader.takeFrame(payload));
    QVERIFY(!reader.isHunting());
    reader.dropPartialFrame();
    QVERIFY(reader.isHunting());
    reader.feed(framed("next"));
    QVERIFY(reader.takeFrame(payload));
    QCOMPARE(payload, QByteArray("next"));
    // A frame cut after "CAL": only a cleared reader reads the next frame from its own preamble.
    reader.feed("CAL");
    QVERIFY(!reader.takeFrame(payload));
    reader.clear();
    reader.feed(framed("after"));
    QVERIFY(reader.takeFrame(payload));
    QCOMPARE(payload, QByteArray("after"));
}

void TestProtocol::schemaWireFacts()
{
    // Piece 0 carries no frameNum field; the receiver reads 0.
    calcMsg piece;
    piece.set_type(calcMsg::FRAME);
    piece.mutable_frame()->set_size(512);
    piece.mutable_frame()->add_data(std::string(512, 'd'));
    calcMsg decoded;
    const QByteArray pieceBytes = encode(piece);
    QVERIFY(decoded.ParseFromArray(pieceBytes.constData(), pieceBytes.size()));
    QCOMPARE(decoded.frame().framenum(), 0);
    QCOMPARE(decoded.frame().size(), 512);
    QVERIFY(!pieceBytes.contains(char((2 << 3) | 0))); // frameNum tag never written

    // fileInf: name is field 2, size field 3; an unknown field 1 is skipped.
    TaviCalc::fileInf file;
    file.set_name("AB");
    file.set_size(7);
    QCOMPARE(encode(file), QByteArray("\x12\x02" "AB" "\x18\x07", 6));
    TaviCalc::fileInf withField1;
    const QByteArray unknown("\x08\x05\x12\x01Z", 5);
    QVERIFY(withField1.ParseFromArray(unknown.constData(), unknown.size()));
    QCOMPARE(QByteArray::fromStdString(withField1.name()), QByteArray("Z"));

    // A negative number takes ten bytes and comes back unchanged.
    calcMsg negative;
    negative.set_errornum(-5);
    const QByteArray negativeBytes = encode(negative);
    QCOMPARE(negativeBytes.size(), 1 + 10);
    QVERIFY(decoded.ParseFromArray(negativeBytes.constData(), negativeBytes.size()));
    QCOMPARE(decoded.errornum(), -5);

    // A present but empty fInf is written as tag and zero length.
    calcMsg endOfList;
    endOfList.set_type(calcMsg::SEND_FILE_INF);
    endOfList.mutable_finf();
    QCOMPARE(encode(endOfList), QByteArray("\x08\x0A\x1A\x00", 4));
}

void TestProtocol::decodingRejectsBadUtf8_data()
{
    QTest::addColumn<QByteArray>("payload");
    // type SEND_FILE_INF with fInf.name = 0xFF
    QTest::newRow("file name") << QByteArray("\x08\x0A\x1A\x03\x12\x01\xFF", 7);
    // devName = 0xC3 (a lead byte without its continuation)
    QTest::newRow("device name") << QByteArray("\x3A\x01\xC3", 3);
    // devInf.Name = 0xFE
    QTest::newRow("devInf name") << QByteArray("\x22\x03\x22\x01\xFE", 5);
}

void TestProtocol::decodingRejectsBadUtf8()
{
    QFETCH(QByteArray, payload);
    calcMsg msg;
    QVERIFY(!msg.ParseFromArray(payload.constData(), payload.size()));
}

void TestProtocol::emptyAndUnknownDecode()
{
    calcMsg msg;
    QVERIFY(msg.ParseFromArray("", 0));
    QCOMPARE(msg.type(), calcMsg::NONE);
    QVERIFY(!msg.has_finf());
    QCOMPARE(QByteArray::fromStdString(msg.finf().name()), QByteArray());

    const QByteArray type17("\x08\x11", 2);
    QVERIFY(msg.ParseFromArray(type17.constData(), type17.size()));
    QCOMPARE(int(msg.type()), 17);
}

QTEST_GUILESS_MAIN(TestProtocol)
#include "tst_protocol.moc"
