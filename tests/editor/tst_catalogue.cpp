#include "editor/TaviFuncTreeModel.h"
#include "editor/TaviFuncType.h"
#include "ShippedCatalogue.h"

#include <QRegularExpression>
#include <QtTest>

namespace {

struct CatalogueParent
{
    const char* path;
    const char* children;
};

// Every node of the catalogue that has children, by its path from the top (" > " between
// the names), with the names of its children in file order, separated by blanks.
// Calculator characters are written as in the file.
const CatalogueParent catalogueParents[] = {
    {R"()",
     R"(Keypad Angle Math List Statistics Matrix Program Variables Distribution Test Symbols )"
     R"(Draw StatPlots)"},
    {R"(Keypad)",
     R"(\x98 \xa8 \xd4 sin( cos( tan( ^ \x82 log( ln( / * - + sin\xd4( cos\xd4( tan\xd4( \xd2 )"
     R"(\x7f( \xd6 \xd0 \xd5^( u v w n \xd0^( \xa6\xc1 \xa6\xc2 \xa6\xc3 \xa6\xc4 \xa6\xc5 )"
     R"(\xa6\xc6 \x99 \xa5 Ans)"},
    {R"(Angle)",
     R"(\xbf ' \xca \x9eDMS R\x9ePr( R\x9eP\x99( P\x9eRx( P\x9eRy()"},
    {R"(Math)",
     R"(Math Numeric Complex Probability Fraction Hyperb)"},
    {R"(Math > Math)",
     R"(\x9eFrac \x9eDec \x83 \xd1\x7f( \xa1( fMin( fMax( nDeriv( fnInt( \xa2( logBASE()"},
    {R"(Math > Numeric)",
     R"(abs( round( iPart( fPart( int( min( max( lcm( gcd( remainder( \x9en/d\x9f\x9eUn/d )"
     R"(\x9eF\x9f\x9eD \xa0 \x9d)"},
    {R"(Math > Complex)",
     R"(conj( real( imag( angle( abs( \x9eRect \x9ePolar)"},
    {R"(Math > Probability)",
     R"(rand( nPr( nCr( ! randInt( randNorm( randBin( randIntNoRep()"},
    {R"(Math > Fraction)",
     R"(\x9d \xa0 \x9en/d\x9f\x9eUn/d \x9eF\x9f\x9eD)"},
    {R"(Math > Hyperb)",
     R"(sinh( cosh( tanh()"},
    {R"(List)",
     R"(Names Operations Math)"},
    {R"(List > Names)",
     R"(\xa6\xc1 \xa6\xc2 \xa6\xc3 \xa6\xc4 \xa6\xc5 \xa6\xc6)"},
    {R"(List > Operations)",
     R"(SortA( SortD( dim( Fill( seq( cumSum( \x9aList( Select( augment( List\x9ematr( )"
     R"(Matr\x9elist( \xa7 setUpEditor( ClrList( clrAllLists() resize()"},
    {R"(List > Math)",
     R"(min( max( mean( median( sum( prod( stdDev( variance()"},
    {R"(Statistics)",
     R"(Edit Tests Calc)"},
    {R"(Statistics > Edit)",
     R"(SortA( SortD( ClrList( clrAllLists() setUpEditor()"},
    {R"(Statistics > Tests)",
     R"(ANOVA()"},
    {R"(Statistics > Calc)",
     R"(\xdf\xdeVarStats \xe0\xdeVarStats Med\xdeMed LinReg\xe1ax\xceb\xe2 LinReg\xe1a\xcebx\xe2 )"
     R"(QuadReg CubicReg QuartReg LnReg ExpReg PwrReg Logistic SinReg)"},
    {R"(Matrix)",
     R"(Names Math)"},
    {R"(Matrix > Names)",
     R"([A] [B] [C] [D] [E] [F] [G] [H] [I] [J] [SYSM])"},
    {R"(Matrix > Math)",
     R"(det( \xcc transpose( dim( Fill( identity( randM( augment( Matr\x9elist( List\x9ematr( )"
     R"(cumSum( ref( rref( rowSwap( row\xce( \xcdrow( \xcdrow\xce( resize()"},
    {R"(Program)",
     R"(Control I/O Time Operations)"},
    {R"(Program > Control)",
     R"(if then else while for end in do Pause() Pause( Wait()"},
    {R"(Program > I/O)",
     R"(Input( Prompt( Disp( Disp() DispGraph() DispTable() Output( getKey() ClrHome() eval( )"
     R"(expr( toString( String\x9eEqu( Equ\x9eString)"},
    {R"(Program > Time)",
     R"(startTmr() checkTmr( getTime() setTime( getTmFmt() setTmFmt( getTmStr( getDate() )"
     R"(setDate( getDtFmt() setDtFmt( getDtStr( timeCnv( dayOfWk( dbd()"},
    {R"(Program > Operations)",
     R"(delPrgm)"},
    {R"(Variables)",
     R"(Variables Y-vars Color)"},
    {R"(Variables > Variables)",
     R"(Window Zoom GDB Statistics Table String)"},
    {R"(Variables > Variables > Window)",
     R"(X/Y T/\x99 U/V/W)"},
    {R"(Variables > Variables > Window > X/Y)",
     R"(Xmin Xmax Xscl Ymin Ymax Yscl Xres \x9aX \x9aY XFact YFact TraceStep)"},
    {R"(Variables > Variables > Window > T/\x99)",
     R"(Tmin Tmax Tstep \x99min \x99max \x99step)"},
    {R"(Variables > Variables > Window > U/V/W)",
     R"(u(nMin) v(nMin) w(nMin) nMin nMax PlotStart PlotStep)"},
    {R"(Variables > Variables > Zoom)",
     R"(ZX/ZY ZT/Z\x99 ZU)"},
    {R"(Variables > Variables > Zoom > ZX/ZY)",
     R"(ZXmin ZXmax ZXscl ZYmin ZYmax ZYscl ZXres)"},
    {R"(Variables > Variables > Zoom > ZT/Z\x99)",
     R"(ZTmin ZTmax ZTstep Z\x99min Z\x99max Z\x99step)"},
    {R"(Variables > Variables > Zoom > ZU)",
     R"(Zu(nMin) Zv(nMin) Zw(nMin) ZnMin ZnMax ZPlotStart ZPlotStep)"},
    {R"(Variables > Variables > GDB)",
     R"(GDB0 GDB1 GDB2 GDB3 GDB4 GDB5 GDB6 GDB7 GDB8 GDB9)"},
    {R"(Variables > Variables > Statistics)",
     R"(XY \xa2 Eq Test Pts)"},
    {R"(Variables > Variables > Statistics > XY)",
     R"(n \xa9 Sx \xabx \xaa Sy \xaby minX maxX minY maxY)"},
    {R"(Variables > Variables > Statistics > \xa2)",
     R"(\xa2x \xa2x\xbd \xa2y \xa2y\xbd \xa2xy)"},
    {R"(Variables > Variables > Statistics > Eq)",
     R"(RegEQ a b c d e r r\xbd \xbe\xbd)"},
    {R"(Variables > Variables > Statistics > Test)",
     R"(p z t X\xbd F df \xb2 \xb2\xc1 \xb2\xc2 s \xa9\xc1 \xa9\xc2 Sx\xc1 Sx\xc2 Sxp n\xc1 )"
     R"(n\xc2 lower upper)"},
    {R"(Variables > Variables > Statistics > Pts)",
     R"(x\xc1 y\xc1 x\xc2 y\xc2 x\xc3 y\xc3 Q\xc1 Med Q\xc3)"},
    {R"(Variables > Variables > Table)",
     R"(TblStart \x9aTbl TblInput)"},
    {R"(Variables > Variables > String)",
     R"(Str\xc0 Str\xc1 Str\xc2 Str\xc3 Str\xc4 Str\xc5 Str\xc6 Str\xc7 Str\xc8 Str\xc9)"},
    {R"(Variables > Y-vars)",
     R"(Function Parametric Polar OnOff)"},
    {R"(Variables > Y-vars > Function)",
     R"(Y\xc0 Y\xc1 Y\xc2 Y\xc3 Y\xc4 Y\xc5 Y\xc6 Y\xc7 Y\xc8 Y\xc9)"},
    {R"(Variables > Y-vars > Parametric)",
     R"(X\xc0\xbc Y\xc0\xbc X\xc1\xbc Y\xc1\xbc X\xc2\xbc Y\xc2\xbc X\xc3\xbc Y\xc3\xbc )"
     R"(X\xc4\xbc Y\xc4\xbc)"},
    {R"(Variables > Y-vars > Polar)",
     R"(r\xc0 r\xc1 r\xc2 r\xc3 r\xc4 r\xc5 r\xc6 r\xc7 r\xc8 r\xc9)"},
    {R"(Variables > Y-vars > OnOff)",
     R"(FnOn FnOff)"},
    {R"(Variables > Color)",
     R"(BLUE RED BLACK MAGENTA GREEN ORANGE BROWN NAVY LTBLUE YELLOW WHITE LTGRAY MEDGRAY GRAY )"
     R"(DARKGRAY)"},
    {R"(Distribution)",
     R"(Distribution Draw)"},
    {R"(Distribution > Distribution)",
     R"(normalpdf( normalcdf( invNorm( invT( tpdf( tcdf( X\xbdpdf( X\xbdcdf( Fpdf( Fcdf( )"
     R"(binompdf( binomcdf( invBinom( poissonpdf( poissoncdf( geometpdf( geometcdf()"},
    {R"(Distribution > Draw)",
     R"(ShadeNorm( Shade_t( ShadeX\xbd( ShadeF()"},
    {R"(Test)",
     R"(Test Logic)"},
    {R"(Test > Test)",
     R"(= \xb1 > \x96 < \x95)"},
    {R"(Test > Logic)",
     R"(and or xor not()"},
    {R"(Symbols)",
     R"(CENTER LEFT RIGHT Ans Equ\x9eString( inString( length( sub( ClrAllLists cos( cos\xd4( )"
     R"(cosh( cosh\xd4( sin( sin\xd4( sinh( sinh\xd4( tan( tanh( tan\xd4( tanh\xd4( \xd0^( \x99 )"
     R"(\xd6 \xd0 \xd6 \xa5 + - * . ( ) { } [ ] , \xa8 \ : ? \x80 \x81 \x82 \x83 \x84 \x85 \x86 )"
     R"(\x87 \x88 \x89 \x8a \xc0 \xc1 \xc2 \xc3 \xc4 \xc5 \xc6 \xc7 \xc8 \xc9 \x99 \x9a \x9e )"
     R"(\x9f \xa1 \xa2 \xa6 \xa7 \xa9 \xaa \xab \xaf \xb1 \xb2 \xb3 \xb4 \xbc \xbf \xcb \xcc )"
     R"(\xd2 \xd4)"},
    {R"(Draw)",
     R"(Draw Points Store Background)"},
    {R"(Draw > Draw)",
     R"(ClrDraw Line( Horizontal Vertical Tangent( DrawF Shade( DrawInv Circle Text()"},
    {R"(Draw > Points)",
     R"(Pt_On( Pt_Off Pt_Change( Pxl_On( Pxl_Off( Pxl_Change( Pxl_Test()"},
    {R"(Draw > Store)",
     R"(StorePic RecallPic StoreGDB RecallGDB)"},
    {R"(Draw > Background)",
     R"(BackgroundOn BackgroundOff)"},
    {R"(StatPlots)",
     R"(Plots)"},
    {R"(StatPlots > Plots)",
     R"(PlotsOn PlotsOff)"},
};

const QString pathSeparator = QStringLiteral(" > ");
constexpr int lineCount = 583;
constexpr int maxDepth = 4;
constexpr char16_t firstCalculatorCode = 0x7F;
const QString symbolsCategory = QStringLiteral("Symbols");

// A name as the file writes it: calculator characters as "\x" and two lower-case digits.
QString escaped(const QString& name)
{
    QString text;
    for (QChar c : name) {
        if (c.unicode() >= firstCalculatorCode)
            text += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            text += c;
    }
    return text;
}

struct Node
{
    QModelIndex index;
    QString parentPath;
    QString name;

    QString path() const { return parentPath.isEmpty() ? name : parentPath + pathSeparator + name; }
};

void collect(const QAbstractItemModel& model, const QModelIndex& parent, const QString& parentPath,
             QVector<Node>& nodes)
{
    for (int row = 0; row < model.rowCount(parent); ++row) {
        const QModelIndex index = model.index(row, 0, parent);
        auto* entry = model.data(index, TaviFuncTreeModel::TreeModelRoleName).value<TaviFuncType*>();
        nodes.append({index, parentPath, escaped(entry->funcName())});
        collect(model, index, nodes.last().path(), nodes);
    }
}

// Every node in file order.
QVector<Node> preorder(const QAbstractItemModel& model)
{
    QVector<Node> nodes;
    collect(model, QModelIndex(), QString(), nodes);
    return nodes;
}

// The children's names of every node that has children, by the node's path.
QMap<QString, QStringList> childrenByPath(const QVector<Node>& nodes)
{
    QMap<QString, QStringList> children;
    for (const Node& node : nodes)
        children[node.parentPath].append(node.name);
    return children;
}

int leadingBlanks(const QByteArray& line)
{
    int blanks = 0;
    while (blanks < line.size() && line.at(blanks) == ' ')
        ++blanks;
    return blanks;
}

} // namespace

class TestCatalogue : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void fileFollowsTheFormat();
    void childrenInFileOrder_data();
    void childrenInFileOrder();
    void noOtherNodeHasChildren();
    void descriptionsWhereDue();

private:
    QByteArray m_bytes;
    QList<QByteArray> m_lines;
    std::unique_ptr<TaviFuncTreeModel> m_model;
    QVector<Node> m_nodes;
};

void TestCatalogue::initTestCase()
{
    m_bytes = shippedCatalogue();
    m_lines = m_bytes.split('\n');
    m_model = std::make_unique<TaviFuncTreeModel>(m_bytes);
    m_nodes = preorder(*m_model);
}

void TestCatalogue::fileFollowsTheFormat()
{
    QCOMPARE(m_lines.size(), lineCount);
    QVERIFY(!m_bytes.endsWith('\n'));
    for (char byte : m_bytes)
        QVERIFY2(byte == '\n' || (byte >= ' ' && byte <= '~'), qPrintable(QString::number(uchar(byte), 16)));

    // Escapes are "\x" and two lower-case digits, and only calculator characters are escaped.
    const QRegularExpression escape(QStringLiteral(R"(\\x([0-9a-f]{2})?)"));
    for (auto match = escape.globalMatch(QString::fromLatin1(m_bytes)); match.hasNext();) {
        const QString code = match.next().captured(1);
        QVERIFY2(!code.isEmpty() && code.toInt(nullptr, 16) >= firstCalculatorCode, qPrintable(code));
    }

    int previousDepth = -1;
    for (const QByteArray& line : m_lines) {
        const int depth = leadingBlanks(line);
        QVERIFY2(depth < line.size(), line.constData());
        QVERIFY2(depth <= previousDepth + 1 && depth <= maxDepth, line.constData());
        QVERIFY2(line.count('@') <= 1, line.constData());
        previousDepth = depth;
    }
}

void TestCatalogue::childrenInFileOrder_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QStringList>("children");

    for (const CatalogueParent& parent : catalogueParents) {
        const QString path = QString::fromLatin1(parent.path);
        QTest::newRow(path.isEmpty() ? "top level" : parent.path)
            << path << QString::fromLatin1(parent.children).split(QLatin1Char(' '));
    }
}

void TestCatalogue::childrenInFileOrder()
{
    QFETCH(QString, path);
    QFETCH(QStringList, children);

    QCOMPARE(childrenByPath(m_nodes).value(path), children);
}

void TestCatalogue::noOtherNodeHasChildren()
{
    QSet<QString> listed;
    for (const CatalogueParent& parent : catalogueParents)
        listed.insert(QString::fromLatin1(parent.path));
    const QList<QString> parents = childrenByPath(m_nodes).keys();

    QCOMPARE(QSet<QString>(parents.begin(), parents.end()), listed);
    QCOMPARE(m_nodes.size(), lineCount);
}

void TestCatalogue::descriptionsWhereDue()
{
    // Nodes and lines correspond one to one, in file order.
    QCOMPARE(m_nodes.size(), m_lines.size());
    for (int i = 0; i < m_nodes.size(); ++i) {
        const Node& node = m_nodes.at(i);
        const QByteArray& line = m_lines.at(i);
        const bool bare = m_model->rowCount(node.index) > 0 || node.parentPath == symbolsCategory;
        auto* entry = m_model->data(node.index, TaviFuncTreeModel::TreeModelRoleName).value<TaviFuncType*>();
        QVERIFY2(line.contains('@') != bare, line.constData());
        if (bare)
            continue;
        QVERIFY2(!entry->funcDesc().isEmpty(), line.constData());
        // A function's description shows how it is called.
        if (entry->funcName().endsWith(QLatin1Char('(')) || entry->funcName().endsWith(QLatin1String("()")))
            QVERIFY2(entry->funcDesc().contains(entry->funcName()), line.constData());
    }
}

QTEST_MAIN(TestCatalogue)
#include "tst_catalogue.moc"
