#include "editor/TaviFuncTreeModel.h"
#include "editor/TaviFuncType.h"
#include "ShippedCatalogue.h"

#include <QAbstractItemModelTester>
#include <QtTest>

namespace {

constexpr int nameRole = TaviFuncTreeModel::TreeModelRoleName;
constexpr int descRole = TaviFuncTreeModel::TreeModelRoleDesc;

TaviFuncType* entryAt(const QAbstractItemModel& model, const QModelIndex& index)
{
    return model.data(index, nameRole).value<TaviFuncType*>();
}

// The tree below the parent as "name(child,child(grandchild)),name".
QString outline(const QAbstractItemModel& model, const QModelIndex& parent = QModelIndex())
{
    QStringList nodes;
    for (int row = 0; row < model.rowCount(parent); ++row) {
        const QModelIndex index = model.index(row, 0, parent);
        QString node = entryAt(model, index)->funcName();
        if (model.rowCount(index) > 0)
            node += QLatin1Char('(') + outline(model, index) + QLatin1Char(')');
        nodes.append(node);
    }
    return nodes.join(QLatin1Char(','));
}

// The index reached from the top through the given rows.
QModelIndex indexAt(const QAbstractItemModel& model, const QList<int>& rows)
{
    QModelIndex index;
    for (int row : rows)
        index = model.index(row, 0, index);
    return index;
}

} // namespace

class TestFuncTree : public QObject
{
    Q_OBJECT

private slots:
    void unescapeHexCodes_data();
    void unescapeHexCodes();
    void buildFuncTreePlacesLines_data();
    void buildFuncTreePlacesLines();
    void parseFuncLine_data();
    void parseFuncLine();
    void shippedCatalogueIsAValidModel();
    void rowCount_data();
    void rowCount();
    void index_data();
    void index();
    void parentOfNestedEntry();
    void dataGivesTheEntryUnderNameOnly_data();
    void dataGivesTheEntryUnderNameOnly();
    void headerData_data();
    void headerData();
    void flagsAndRoleNames();
};

void TestFuncTree::unescapeHexCodes_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("expanded");
    QTest::addColumn<QString>("text");

    QTest::newRow("plain") << QByteArray("sin(") << QByteArray("sin(") << QStringLiteral("sin(");
    QTest::newRow("calculator character") << QByteArray("\\xd4") << QByteArray("\xd4")
                                          << QStringLiteral("\u00d4");
    QTest::newRow("upper-case digits") << QByteArray("a\\xD4b") << QByteArray("a\xd4" "b")
                                       << QStringLiteral("a\u00d4b");
    QTest::newRow("upper-case X is text") << QByteArray("\\XD4") << QByteArray("\\XD4") << QStringLiteral("\\XD4");
    QTest::newRow("escapes back to back") << QByteArray("\\x99\\x9e") << QByteArray("\x99\x9e")
                                          << QStringLiteral("\u0099\u009e");
    QTest::newRow("one digit at the end") << QByteArray("a\\x7") << QByteArray("a\x07") << QStringLiteral("a\u0007");
    QTest::newRow("one digit then text") << QByteArray("\\x4g5") << QByteArray("\x04" "5")
                                         << QStringLiteral("\u0004" "5");
    QTest::newRow("no digits vanish") << QByteArray("a\\xzzb") << QByteArray("ab") << QStringLiteral("ab");
    QTest::newRow("escape after one without digits") << QByteArray("\\xzz\\x41") << QByteArray("\\x41")
                                                     << QStringLiteral("\\x41");
    QTest::newRow("x at the end") << QByteArray("a\\x") << QByteArray("a") << QStringLiteral("a");
    QTest::newRow("backslash at the end") << QByteArray("a\\") << QByteArray("a\\") << QStringLiteral("a\\");
    QTest::newRow("inserted backslash starts nothing") << QByteArray("\\x5cx41") << QByteArray("\\x41")
                                                       << QStringLiteral("\\x41");
    QTest::newRow("byte above 0x7f is Latin-1") << QByteArray("\xe9") << QByteArray("\xe9") << QStringLiteral("\u00e9");
    QTest::newRow("NUL ends the text") << QByteArray("ab\\x00cd") << QByteArray("ab\0cd", 5) << QStringLiteral("ab");
    QTest::newRow("empty") << QByteArray() << QByteArray() << QString();
}

void TestFuncTree::unescapeHexCodes()
{
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, expanded);
    QFETCH(QString, text);

    QCOMPARE(TaviFuncTreeModel::unescapeHexCodes(data), text);
    QCOMPARE(data, expanded);
}

void TestFuncTree::buildFuncTreePlacesLines_data()
{
    QTest::addColumn<QByteArray>("catalogue");
    QTest::addColumn<QString>("tree");

    QTest::newRow("one level per line down, several up") << QByteArray("K\n P\n   Q\n  R") << "K(P(Q),R)";
    QTest::newRow("two first lines with one blank") << QByteArray(" A\n B") << "A(B)";
    QTest::newRow("second level keeps its indentation") << QByteArray("C\n  x\n  y\n z") << "C(x,y),z";
    QTest::newRow("up to the top at once") << QByteArray("A\n B\n  C\n   D\nE") << "A(B(C(D))),E";
    QTest::newRow("between two levels") << QByteArray("A\n  B\n    C\n   D\n   E") << "A(B(C),D(E))";
    QTest::newRow("blank lines skipped") << QByteArray("A\n\n   \n B\n") << "A(B)";
    QTest::newRow("trailing blanks kept") << QByteArray("A \n B  @x") << "A (B  )";
    QTest::newRow("tab is text") << QByteArray("A\n\tB") << "A,\tB";
    QTest::newRow("carriage return is text") << QByteArray("A\r\n B") << "A\r(B)";
    QTest::newRow("escape inside a name") << QByteArray("T/\\x99\n \\x99min") << "T/\u0099(\u0099min)";
    QTest::newRow("empty catalogue") << QByteArray() << "";
}

void TestFuncTree::buildFuncTreePlacesLines()
{
    QFETCH(QByteArray, catalogue);
    QFETCH(QString, tree);

    TaviFuncTreeModel model(catalogue);
    QCOMPARE(outline(model), tree);
}

void TestFuncTree::parseFuncLine_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("desc");

    QTest::newRow("name and description") << "sin(@sin(value)" << "sin(" << "sin(value)";
    QTest::newRow("bare name") << "Ans" << "Ans" << "Ans";
    QTest::newRow("third part ignored") << "a@b@c" << "a" << "b";
    QTest::newRow("empty name") << "@desc" << "" << "desc";
    QTest::newRow("empty description") << "name@" << "name" << "";
    QTest::newRow("blank ends the name") << "while @while condition do commands end" << "while "
                                         << "while condition do commands end";
}

void TestFuncTree::parseFuncLine()
{
    QFETCH(QString, text);
    QFETCH(QString, name);
    QFETCH(QString, desc);
    TaviFuncTreeModel model{QByteArray()};

    auto* entry = model.parseFuncLine(text).value<TaviFuncType*>();
    QVERIFY(entry);
    QCOMPARE(entry->funcName(), name);
    QCOMPARE(entry->funcDesc(), desc);
    QCOMPARE(entry->parent(), &model);
    QCOMPARE(entry->property("funcDesc").toString(), desc);
}

void TestFuncTree::shippedCatalogueIsAValidModel()
{
    TaviFuncTreeModel model(shippedCatalogue());
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
}

void TestFuncTree::rowCount_data()
{
    QTest::addColumn<QList<int>>("rows");
    QTest::addColumn<int>("count");

    QTest::newRow("top level") << QList<int>() << 13;
    QTest::newRow("Keypad") << QList<int>{0} << 36;
    QTest::newRow("Math") << QList<int>{2} << 6;
    QTest::newRow("Math > Numeric") << QList<int>{2, 1} << 14;
    QTest::newRow("Symbols") << QList<int>{10} << 85;
    QTest::newRow("entry") << QList<int>{0, 0} << 0;
}

void TestFuncTree::rowCount()
{
    QFETCH(QList<int>, rows);
    QFETCH(int, count);
    TaviFuncTreeModel model(shippedCatalogue());

    const QModelIndex index = indexAt(model, rows);
    QCOMPARE(model.rowCount(index), count);
    QCOMPARE(model.columnCount(index), 1);
}

void TestFuncTree::index_data()
{
    QTest::addColumn<QList<int>>("parentRows");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("name");

    QTest::newRow("first category") << QList<int>() << 0 << 0 << "Keypad";
    QTest::newRow("last category") << QList<int>() << 12 << 0 << "StatPlots";
    QTest::newRow("below the last category") << QList<int>() << 13 << 0 << "";
    QTest::newRow("negative row") << QList<int>() << -1 << 0 << "";
    QTest::newRow("second column at the top") << QList<int>() << 0 << 1 << "";
    QTest::newRow("second column below") << QList<int>{0} << 0 << 1 << "";
    QTest::newRow("last Keypad entry") << QList<int>{0} << 35 << 0 << "Ans";
    QTest::newRow("below the last Keypad entry") << QList<int>{0} << 36 << 0 << "";
    QTest::newRow("below an entry") << QList<int>{0, 0} << 0 << 0 << "";
}

void TestFuncTree::index()
{
    QFETCH(QList<int>, parentRows);
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(QString, name);
    TaviFuncTreeModel model(shippedCatalogue());

    const QModelIndex index = model.index(row, column, indexAt(model, parentRows));
    QCOMPARE(index.isValid(), !name.isEmpty());
    if (index.isValid())
        QCOMPARE(entryAt(model, index)->funcName(), name);
}

void TestFuncTree::parentOfNestedEntry()
{
    TaviFuncTreeModel model(shippedCatalogue());
    const QModelIndex math = model.index(2, 0);
    const QModelIndex numeric = model.index(1, 0, math);
    const QModelIndex abs = model.index(0, 0, numeric);
    QCOMPARE(entryAt(model, abs)->funcName(), QStringLiteral("abs("));

    QCOMPARE(model.parent(abs), numeric);
    QCOMPARE(model.parent(abs).row(), 1);
    QCOMPARE(model.parent(abs).column(), 0);
    QCOMPARE(model.parent(numeric), math);
    QVERIFY(!model.parent(math).isValid());
    QVERIFY(!model.parent(QModelIndex()).isValid());
}

void TestFuncTree::dataGivesTheEntryUnderNameOnly_data()
{
    QTest::addColumn<QList<int>>("rows");
    QTest::addColumn<int>("role");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("desc");

    QTest::newRow("category") << QList<int>{0} << nameRole << "Keypad" << "Keypad";
    QTest::newRow("group") << QList<int>{2, 1} << nameRole << "Numeric" << "Numeric";
    QTest::newRow("entry") << QList<int>{0, 0} << nameRole << "\u0098" << "Negation: -value";
    QTest::newRow("desc role") << QList<int>{0, 0} << descRole << "" << "";
    QTest::newRow("display role") << QList<int>{0} << int(Qt::DisplayRole) << "" << "";
    QTest::newRow("role after desc") << QList<int>{0} << descRole + 1 << "" << "";
    QTest::newRow("invalid index") << QList<int>() << nameRole << "" << "";
}

void TestFuncTree::dataGivesTheEntryUnderNameOnly()
{
    QFETCH(QList<int>, rows);
    QFETCH(int, role);
    QFETCH(QString, name);
    QFETCH(QString, desc);
    TaviFuncTreeModel model(shippedCatalogue());

    const QVariant value = model.data(indexAt(model, rows), role);
    QCOMPARE(value.isValid(), !name.isEmpty());
    if (!value.isValid())
        return;
    auto* entry = value.value<TaviFuncType*>();
    QVERIFY(entry);
    QCOMPARE(entry->funcName(), name);
    QCOMPARE(entry->funcDesc(), desc);
}

void TestFuncTree::headerData_data()
{
    QTest::addColumn<int>("section");
    QTest::addColumn<Qt::Orientation>("orientation");
    QTest::addColumn<int>("role");
    QTest::addColumn<QVariant>("expected");

    QTest::newRow("the one column") << 0 << Qt::Horizontal << int(Qt::DisplayRole) << QVariant(QStringLiteral("RootData"));
    QTest::newRow("second section") << 1 << Qt::Horizontal << int(Qt::DisplayRole) << QVariant();
    QTest::newRow("negative section") << -1 << Qt::Horizontal << int(Qt::DisplayRole) << QVariant();
    QTest::newRow("vertical") << 0 << Qt::Vertical << int(Qt::DisplayRole) << QVariant();
    QTest::newRow("other role") << 0 << Qt::Horizontal << nameRole << QVariant();
}

void TestFuncTree::headerData()
{
    QFETCH(int, section);
    QFETCH(Qt::Orientation, orientation);
    QFETCH(int, role);
    QFETCH(QVariant, expected);
    TaviFuncTreeModel model(shippedCatalogue());

    QCOMPARE(model.headerData(section, orientation, role), expected);
}

void TestFuncTree::flagsAndRoleNames()
{
    TaviFuncTreeModel model(shippedCatalogue());
    QCOMPARE(model.flags(QModelIndex()), Qt::NoItemFlags);
    QCOMPARE(model.flags(model.index(0, 0)), Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    QCOMPARE(model.flags(model.index(0, 0, model.index(0, 0))), Qt::ItemIsSelectable | Qt::ItemIsEnabled);

    const QHash<int, QByteArray> roles{{257, "name"}, {258, "desc"}};
    QCOMPARE(model.roleNames(), roles);
}

QTEST_MAIN(TestFuncTree)
#include "tst_functree.moc"
