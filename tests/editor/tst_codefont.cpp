#include <QFontDatabase>
#include <QPainterPath>
#include <QRawFont>
#include <QtTest>

namespace {

const QString family = QStringLiteral("Tavi Code");
constexpr uint lastCode = 0xFF;
constexpr uint firstCalculatorCode = 0x7F;
constexpr qreal pixelSize = 256;

QRawFont loadFont(const char* path)
{
    return QRawFont(QString::fromLocal8Bit(path), pixelSize, QFont::PreferNoHinting);
}

quint32 glyphOf(const QRawFont& font, uint code)
{
    const QChar character(code);
    quint32 glyph = 0;
    int count = 1;
    font.glyphIndexesForChars(&character, 1, &glyph, &count);
    return glyph;
}

QPainterPath outlineOf(const QRawFont& font, uint code)
{
    return font.pathForGlyph(glyphOf(font, code));
}

// The glyph as drawn; outlines that differ only in where their contours start look the same.
QImage imageOf(const QRawFont& font, uint code)
{
    return font.alphaMapForGlyph(glyphOf(font, code));
}

qreal advanceOf(const QRawFont& font, uint code)
{
    return font.advancesForGlyphIndexes({glyphOf(font, code)}).constFirst().x();
}

} // namespace

class TestCodeFont : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void coversLatin1Exactly();
    void registersAsOneRegularFamily();
    void advancesVary();
    void everyCalculatorCodeIsDrawn();
    void glyphsComeFromTheBaseFont_data();
    void glyphsComeFromTheBaseFont();
    void smallFiguresSitHighOrLow_data();
    void smallFiguresSitHighOrLow();

private:
    QRawFont m_font;
    QRawFont m_base;
};

void TestCodeFont::initTestCase()
{
    m_font = loadFont(TAVILINK_CODE_FONT);
    m_base = loadFont(TAVILINK_CODE_FONT_BASE);
    QVERIFY(m_font.isValid());
    QVERIFY(m_base.isValid());
}

void TestCodeFont::coversLatin1Exactly()
{
    for (uint code = 0; code <= lastCode; ++code) {
        QVERIFY2(m_font.supportsCharacter(code), qPrintable(QString::number(code, 16)));
        QVERIFY(glyphOf(m_font, code) != 0);
    }
    for (uint code : {0x100u, 0x3B8u, 0x2192u, 0xFFFDu})
        QVERIFY2(!m_font.supportsCharacter(code), qPrintable(QString::number(code, 16)));
}

void TestCodeFont::registersAsOneRegularFamily()
{
    const int id = QFontDatabase::addApplicationFont(QStringLiteral(TAVILINK_CODE_FONT));
    QVERIFY(id >= 0);
    QCOMPARE(QFontDatabase::applicationFontFamilies(id), QStringList{family});
    QCOMPARE(m_font.familyName(), family);
    QCOMPARE(m_font.styleName(), QStringLiteral("Regular"));
    QCOMPARE(m_font.weight(), int(QFont::Normal));
    QCOMPARE(m_font.style(), QFont::StyleNormal);
    QVERIFY(!QFontDatabase().isFixedPitch(family));
    QVERIFY(QFontDatabase::removeApplicationFont(id));
}

void TestCodeFont::advancesVary()
{
    QVERIFY(advanceOf(m_font, 'i') < advanceOf(m_font, 'm'));
    QVERIFY(advanceOf(m_font, 'l') < advanceOf(m_font, 'W'));
    QVERIFY(advanceOf(m_font, 0xC1) < advanceOf(m_font, 0xA0));
}

void TestCodeFont::everyCalculatorCodeIsDrawn()
{
    for (uint code = firstCalculatorCode; code <= lastCode; ++code)
        QVERIFY2(!outlineOf(m_font, code).isEmpty(), qPrintable(QString::number(code, 16)));
}

void TestCodeFont::glyphsComeFromTheBaseFont_data()
{
    QTest::addColumn<uint>("code");
    QTest::addColumn<uint>("baseCharacter");

    QTest::newRow("A") << uint('A') << uint('A');
    QTest::newRow("tilde") << uint('~') << uint('~');
    QTest::newRow("square root") << 0x7Fu << 0x221Au;
    QTest::newRow("squared") << 0x82u << 0xB2u;
    QTest::newRow("less or equal") << 0x95u << 0x2264u;
    QTest::newRow("greater or equal") << 0x96u << 0x2265u;
    QTest::newRow("theta") << 0x99u << 0x3B8u;
    QTest::newRow("Delta") << 0x9Au << 0x394u;
    QTest::newRow("right-pointing triangle") << 0x9Eu << 0x25BAu;
    QTest::newRow("left-pointing triangle") << 0x9Fu << 0x25C4u;
    QTest::newRow("Sigma") << 0xA2u << 0x3A3u;
    QTest::newRow("pi") << 0xA5u << 0x3C0u;
    QTest::newRow("store arrow") << 0xA8u << 0x2192u;
    QTest::newRow("not equal") << 0xB1u << 0x2260u;
    QTest::newRow("degree") << 0xBFu << 0xB0u;
    for (uint digit = 0; digit <= 9; ++digit)
        QTest::addRow("subscript %u", digit) << 0xC0u + digit << 0x2080u + digit;
}

void TestCodeFont::glyphsComeFromTheBaseFont()
{
    QFETCH(uint, code);
    QFETCH(uint, baseCharacter);

    QCOMPARE(imageOf(m_font, code), imageOf(m_base, baseCharacter));
    QCOMPARE(advanceOf(m_font, code), advanceOf(m_base, baseCharacter));
}

void TestCodeFont::smallFiguresSitHighOrLow_data()
{
    QTest::addColumn<uint>("code");
    QTest::addColumn<bool>("raised");

    QTest::newRow("superscript 0") << 0x80u << true;
    QTest::newRow("superscript 9") << 0x89u << true;
    QTest::newRow("inverse") << 0xD4u << true;
    QTest::newRow("superscript 2 in names") << 0xBDu << true;
    QTest::newRow("transpose") << 0xCCu << true;
    QTest::newRow("radian") << 0xCAu << true;
    QTest::newRow("subscript 0") << 0xC0u << false;
    QTest::newRow("subscript 1") << 0xC1u << false;
    QTest::newRow("subscript 9") << 0xC9u << false;
}

void TestCodeFont::smallFiguresSitHighOrLow()
{
    QFETCH(uint, code);
    QFETCH(bool, raised);
    // Outlines run downwards from the baseline at 0; a capital reaches up to -capHeight.
    const qreal capHeight = -outlineOf(m_font, 'H').boundingRect().top();
    const QRectF bounds = outlineOf(m_font, code).boundingRect();

    QVERIFY(bounds.height() < 0.7 * capHeight);
    if (raised)
        QVERIFY(bounds.bottom() < -0.3 * capHeight);
    else
        QVERIFY(bounds.top() > -0.6 * capHeight && bounds.bottom() >= 0);
}

QTEST_MAIN(TestCodeFont)
#include "tst_codefont.moc"
